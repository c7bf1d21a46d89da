#include "raycaster.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include <sys/mman.h>

#include "host.h"
#include "lwrender.h"
#include "scene.h"

namespace hostsim {

namespace {

using V3 = std::array<double, 3>;

V3 add(const V3& a, const V3& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
V3 sub(const V3& a, const V3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
V3 scale(const V3& a, double s) { return {a[0] * s, a[1] * s, a[2] * s}; }
double dot(const V3& a, const V3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
V3 cross(const V3& a, const V3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
bool normalize(V3& v) {
    const double len = std::sqrt(dot(v, v));
    if (!(len > 0) || !std::isfinite(len)) return false;
    v = scale(v, 1 / len);
    return true;
}

// Allocator for the big per-frame arrays: blocks of a megabyte and more are
// mapped and marked for huge pages, which makes first touching a large
// scene's arrays several times faster where the system offers them.
template <typename T>
struct FrameAllocator {
    using value_type = T;
    static constexpr size_t kLarge = size_t{1} << 20;
    static constexpr size_t kHugePage = size_t{2} << 20;
    FrameAllocator() = default;
    template <typename U>
    FrameAllocator(const FrameAllocator<U>&) {}
    static size_t mapped(size_t n) { return (n * sizeof(T) + kHugePage - 1) / kHugePage * kHugePage; }
    T* allocate(size_t n) {
        if (n > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
        if (n * sizeof(T) < kLarge) return std::allocator<T>().allocate(n);
        void* p = mmap(nullptr, mapped(n), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
        madvise(p, mapped(n), MADV_HUGEPAGE);
#endif
        return static_cast<T*>(p);
    }
    void deallocate(T* p, size_t n) {
        if (n * sizeof(T) < kLarge)
            std::allocator<T>().deallocate(p, n);
        else
            munmap(p, mapped(n));
    }
    template <typename U>
    bool operator==(const FrameAllocator<U>&) const {
        return true;
    }
};
template <typename T>
using FrameVector = std::vector<T, FrameAllocator<T>>;

constexpr int kTile = 16;
constexpr double kAmbient = 0.15;
constexpr int kLeafSize = 4;
constexpr int kBins = 16;
constexpr double kEdgeSlack = 1e-10;  // in barycentric units
// Beyond this depth nodes are halved by count, so that no tree is deeper
// than this plus log2 of the triangle count, well inside kStackSize.
constexpr uint32_t kMaxSahDepth = 64;
constexpr int kStackSize = 128;
// Scenes of this many triangles and more build their hierarchy on threads.
constexpr uint32_t kParallelBuild = 1 << 16;

// One object as it stands in the frame being rendered.
struct Instance {
    LWItemID item;
    std::shared_ptr<const Mesh> mesh;
    Surface surface;
    SurfaceValues values;  // the surface's, before the normal is known
    ItemTransform transform;
    // Rows that carry an object-space normal into world space: the inverse
    // transpose of the transform's linear part, up to a positive factor.
    std::array<V3, 3> normalRows;
    bool smooth;  // has a normal per vertex; flat shading otherwise
    bool mapped;  // has a UV per vertex; UV 0, 0 otherwise
};

// A world-space triangle, kept in the form the intersection test wants.
struct Triangle {
    V3 v0, e1, e2;
    uint32_t instance;
    uint32_t index;  // in its mesh
};

// Leaves hold triangles [first, first + count); an inner node (count 0) has
// its two children at first and first + 1.
struct Node {
    V3 lo, hi;
    uint32_t first;
    uint32_t count;
};

struct Box {
    V3 lo{HUGE_VAL, HUGE_VAL, HUGE_VAL};
    V3 hi{-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    void grow(const V3& p) {
        for (int c = 0; c < 3; ++c) {
            lo[c] = std::min(lo[c], p[c]);
            hi[c] = std::max(hi[c], p[c]);
        }
    }
    void grow(const Box& b) {
        for (int c = 0; c < 3; ++c) {
            lo[c] = std::min(lo[c], b.lo[c]);
            hi[c] = std::max(hi[c], b.hi[c]);
        }
    }
    double area() const {
        const V3 d = sub(hi, lo);
        if (d[0] < 0) return 0;
        return d[0] * d[1] + d[1] * d[2] + d[2] * d[0];
    }
};

struct Hit {
    double t;
    double u, v;  // barycentric weights of the second and third vertex
    uint32_t triangle = UINT32_MAX;
};

// Bounding volume hierarchy over all triangles of a frame, split by binned
// surface area heuristic along the longest axis of the triangles' centres.
class Bvh {
public:
    // A triangle's bounds, rounded outwards to floats to halve the data the
    // build streams through, and its index.
    struct Prim {
        float lo[3], hi[3];
        uint32_t index;
        Prim() = default;
        Prim(const Box& b, uint32_t i) : index(i) {
            for (int c = 0; c < 3; ++c) {
                lo[c] = float(b.lo[c]);
                if (lo[c] > b.lo[c]) lo[c] = std::nextafter(lo[c], -HUGE_VALF);
                hi[c] = float(b.hi[c]);
                if (hi[c] < b.hi[c]) hi[c] = std::nextafter(hi[c], HUGE_VALF);
            }
        }
        Box box() const { return {{lo[0], lo[1], lo[2]}, {hi[0], hi[1], hi[2]}}; }
        // Twice the centre, in the units of Task::centres.
        double centre(int axis) const { return double(lo[axis]) + hi[axis]; }
        V3 centre() const { return {centre(0), centre(1), centre(2)}; }
    };

    // Builds over triangles given by their bounds and index, on up to
    // `threads` threads; make(index) gives the triangle once the tree has
    // settled where it goes.
    template <typename Make>
    Bvh(FrameVector<Prim> prims, const Make& make, int threads) {
        const uint32_t n = uint32_t(prims.size());
        if (n == 0) return;
        nodes_.reserve(2 * size_t(n));
        nodes_.push_back(Node{});
        // The top of the tree is split here; subtrees below a size are
        // handed to the threads, each building into its own array, and then
        // appended to the tree.
        const bool parallel = threads > 1 && n >= kParallelBuild;
        const uint32_t handOff = parallel ? std::max<uint32_t>(kParallelBuild / 8, n / (8 * threads)) : 0;
        std::vector<Task> deferred;
        build(nodes_, prims, measure(prims, 0, n, 0), handOff, deferred);
        if (!deferred.empty()) {
            std::vector<FrameVector<Node>> parts(deferred.size());
            std::atomic<size_t> next{0};
            std::exception_ptr failure;
            std::mutex failureMutex;
            const auto work = [&] {
                try {
                    for (size_t i; (i = next++) < deferred.size();) {
                        Task task = deferred[i];
                        task.node = 0;
                        parts[i].push_back(Node{});
                        std::vector<Task> none;
                        build(parts[i], prims, task, 0, none);
                    }
                } catch (...) {
                    std::lock_guard lock(failureMutex);
                    if (!failure) failure = std::current_exception();
                    next = deferred.size();
                }
            };
            {
                std::vector<std::jthread> pool;
                for (int i = 1; i < threads; ++i) pool.emplace_back(work);
                work();
            }
            if (failure) std::rethrow_exception(failure);
            for (size_t i = 0; i < deferred.size(); ++i) {
                // Part node k > 0 lands at offset + k; its root replaces the
                // placeholder node of the deferred task.
                const uint32_t offset = uint32_t(nodes_.size()) - 1;
                const auto moved = [&](Node node) {
                    if (node.count == 0) node.first += offset;
                    return node;
                };
                nodes_[deferred[i].node] = moved(parts[i][0]);
                for (size_t k = 1; k < parts[i].size(); ++k) nodes_.push_back(moved(parts[i][k]));
                parts[i] = {};
            }
        }
        triangles_.reserve(n);
        for (const Prim& p : prims) triangles_.push_back(make(p.index));
    }

    const Triangle& triangle(uint32_t i) const { return triangles_[i]; }

    // The closest hit in (tMin, hit.t), with kSkip of a triangle other
    // than skip.
    template <bool kSkip = false>
    void intersect(const V3& o, const V3& d, double tMin, Hit& hit, uint32_t skip = UINT32_MAX) const {
        if (nodes_.empty()) return;
        V3 inv;
        for (int c = 0; c < 3; ++c) inv[c] = 1 / (d[c] != 0 ? d[c] : std::copysign(1e-300, d[c]));
        uint32_t stack[kStackSize];
        int top = 0;
        uint32_t at = 0;
        for (;;) {
            const Node& node = nodes_[at];
            if (node.count > 0) {
                for (uint32_t i = node.first; i < node.first + node.count; ++i)
                    if (!kSkip || i != skip) triangleTest(i, o, d, tMin, hit);
            } else {
                const uint32_t left = node.first, right = node.first + 1;
                const double tl = boxTest(nodes_[left], o, inv, tMin, hit.t);
                const double tr = boxTest(nodes_[right], o, inv, tMin, hit.t);
                if (tl <= tr) {
                    if (tr != HUGE_VAL) stack[top++] = right;
                    if (tl != HUGE_VAL) {
                        at = left;
                        continue;
                    }
                } else {
                    if (tl != HUGE_VAL) stack[top++] = left;
                    at = right;
                    continue;
                }
            }
            if (top == 0) return;
            at = stack[--top];
        }
    }

private:
    // Entry distance into the box, or HUGE_VAL when the ray misses it
    // within (tMin, tMax).
    static double boxTest(const Node& n, const V3& o, const V3& inv, double tMin, double tMax) {
        double t0 = tMin, t1 = tMax;
        for (int c = 0; c < 3; ++c) {
            double a = (n.lo[c] - o[c]) * inv[c];
            double b = (n.hi[c] - o[c]) * inv[c];
            if (a > b) std::swap(a, b);
            t0 = a > t0 ? a : t0;
            t1 = b < t1 ? b : t1;
        }
        return t0 <= t1 ? t0 : HUGE_VAL;
    }

    // Inlined into the traversal, as it is its inner loop.
    [[gnu::always_inline]] void triangleTest(uint32_t i, const V3& o, const V3& d, double tMin, Hit& hit) const {
        const Triangle& tri = triangles_[i];
        const V3 p = cross(d, tri.e2);
        const double det = dot(tri.e1, p);
        if (det == 0 || !std::isfinite(det)) return;
        const double invDet = 1 / det;
        const V3 s = sub(o, tri.v0);
        // A hair of slack keeps rays through shared edges and vertices from
        // slipping between the triangles.
        const double u = dot(s, p) * invDet;
        if (u < -kEdgeSlack || u > 1 + kEdgeSlack) return;
        const V3 q = cross(s, tri.e1);
        const double v = dot(d, q) * invDet;
        if (v < -kEdgeSlack || u + v > 1 + kEdgeSlack) return;
        const double t = dot(tri.e2, q) * invDet;
        if (t > tMin && t < hit.t) {
            hit.t = t;
            hit.u = u;
            hit.v = v;
            hit.triangle = i;
        }
    }

    // A node to fill: its triangles [begin, end) and their bounds and the
    // bounds of their centres (doubled, as Prim::centre gives them).
    struct Task {
        uint32_t node, begin, end, depth;
        Box bounds, centres;
    };


    static int longestAxis(const Box& b) {
        const V3 e = sub(b.hi, b.lo);
        return e[0] >= e[1] && e[0] >= e[2] ? 0 : (e[1] >= e[2] ? 1 : 2);
    }

    static Task measure(const FrameVector<Prim>& prims, uint32_t begin, uint32_t end, uint32_t depth) {
        Task t{0, begin, end, depth, {}, {}};
        for (uint32_t i = begin; i < end; ++i) {
            t.bounds.grow(prims[i].box());
            t.centres.grow(prims[i].centre());
        }
        return t;
    }

    // Fills the tree below root into nodes, except for subtrees of at most
    // handOff triangles (none for 0), which are left in `deferred` with their
    // node empty.
    static void build(FrameVector<Node>& nodes, FrameVector<Prim>& prims, const Task& root, uint32_t handOff,
                      std::vector<Task>& deferred) {
        std::vector<Task> todo{root};
        while (!todo.empty()) {
            const Task task = todo.back();
            todo.pop_back();
            if (task.end - task.begin <= handOff) {  // never for handOff 0
                deferred.push_back(task);
                continue;
            }
            Node& node = nodes[task.node];
            node.lo = task.bounds.lo;
            node.hi = task.bounds.hi;
            const uint32_t count = task.end - task.begin;
            Task left{}, right{};
            bool leaf = count <= kLeafSize;
            if (!leaf && (task.depth >= kMaxSahDepth || !split(prims, task, left, right))) {
                // No useful split by area, or deep in an unlucky tree: small
                // nodes become leaves, big ones are halved by count along the
                // longest axis, which bounds the depth the traversal meets.
                if (count <= 4 * kLeafSize && task.depth < kMaxSahDepth) {
                    leaf = true;
                } else {
                    const uint32_t mid = task.begin + count / 2;
                    const int axis = longestAxis(task.centres);
                    std::nth_element(prims.begin() + task.begin, prims.begin() + mid, prims.begin() + task.end,
                                     [&](const Prim& a, const Prim& b) {
                                         return a.centre(axis) < b.centre(axis);
                                     });
                    left = measure(prims, task.begin, mid, task.depth + 1);
                    right = measure(prims, mid, task.end, task.depth + 1);
                }
            }
            if (leaf) {
                node.first = task.begin;
                node.count = count;
                continue;
            }
            const uint32_t first = uint32_t(nodes.size());
            node.first = first;
            node.count = 0;
            nodes.push_back(Node{});
            nodes.push_back(Node{});
            left.node = first;
            right.node = first + 1;
            todo.push_back(right);
            todo.push_back(left);
        }
    }

    // Splits the task's triangles where the binned surface area heuristic
    // puts the cut; false when a leaf is cheaper or no cut separates them.
    static bool split(FrameVector<Prim>& prims, const Task& task, Task& leftTask, Task& rightTask) {
        const uint32_t count = task.end - task.begin;
        const int axis = longestAxis(task.centres);
        const double lo = task.centres.lo[axis];
        const double extent = task.centres.hi[axis] - lo;
        if (!(extent > 0)) return false;
        const double k = kBins / extent * (1 - 1e-9);
        const auto binOf = [&](const Prim& p) { return std::min(kBins - 1, int((p.centre(axis) - lo) * k)); };
        Box binBox[kBins], binCentres[kBins];
        uint32_t binCount[kBins] = {};
        for (uint32_t i = task.begin; i < task.end; ++i) {
            const int b = binOf(prims[i]);
            binBox[b].grow(prims[i].box());
            binCentres[b].grow(prims[i].centre());
            ++binCount[b];
        }
        double rightArea[kBins];
        uint32_t rightCount[kBins];
        Box acc;
        uint32_t n = 0;
        for (int b = kBins - 1; b > 0; --b) {
            acc.grow(binBox[b]);
            n += binCount[b];
            rightArea[b] = acc.area();
            rightCount[b] = n;
        }
        Box left;
        uint32_t leftCount = 0;
        double best = HUGE_VAL;
        int bestBin = -1;
        for (int b = 1; b < kBins; ++b) {
            left.grow(binBox[b - 1]);
            leftCount += binCount[b - 1];
            if (leftCount == 0 || rightCount[b] == 0) continue;
            const double cost = left.area() * leftCount + rightArea[b] * rightCount[b];
            if (cost < best) {
                best = cost;
                bestBin = b;
            }
        }
        if (bestBin < 0) return false;
        // A leaf's cost against the split's, both relative to the node's
        // area, with a traversal step worth about one triangle test.
        const double area = task.bounds.area();
        if (count <= 4 * kLeafSize && area > 0 && best / area + 1 >= count) return false;
        const auto middle = std::partition(prims.begin() + task.begin, prims.begin() + task.end,
                                           [&](const Prim& p) { return binOf(p) < bestBin; });
        const uint32_t mid = uint32_t(middle - prims.begin());
        leftTask = {0, task.begin, mid, task.depth + 1, {}, {}};
        rightTask = {0, mid, task.end, task.depth + 1, {}, {}};
        for (int b = 0; b < kBins; ++b) {
            Task& side = b < bestBin ? leftTask : rightTask;
            side.bounds.grow(binBox[b]);
            side.centres.grow(binCentres[b]);
        }
        return true;
    }

    FrameVector<Node> nodes_;
    FrameVector<Triangle> triangles_;
};

// A linear colour component as the byte of its gamma 2.2 value:
// lround(c^(1 / 2.2) * 255), 0 below 0 and 255 from 1 on.
uint8_t gammaByte(double c) {
    if (!(c > 0)) return 0;
    if (c >= 1) return 255;
    return uint8_t(std::lround(std::pow(c, 1 / 2.2) * 255));
}

// The same bytes without a power per component: the least value of each
// byte, found once by that formula, and for each of kBins equal steps of
// 0 … 1 the byte at its start, from which a few comparisons reach the byte.
class GammaBytes {
public:
    GammaBytes() {
        least_[0] = 0;
        for (int b = 1; b < 256; ++b) {
            double c = std::pow((b - 0.5) / 255, 2.2);
            while (gammaByte(c) >= b) c = std::nextafter(c, -1.0);
            while (gammaByte(c) < b) c = std::nextafter(c, 2.0);
            least_[size_t(b)] = c;
        }
        least_[256] = HUGE_VAL;
        for (size_t i = 0; i < kBins; ++i) {
            const double start = double(i) / kBins;
            uint8_t b = 0;
            while (least_[size_t(b) + 1] <= start) ++b;
            first_[i] = b;
        }
    }
    uint8_t operator()(double c) const {
        if (!(c > 0)) return 0;
        if (c >= 1) return 255;
        size_t b = first_[size_t(c * kBins)];
        while (least_[b + 1] <= c) ++b;
        return uint8_t(b);
    }

private:
    static constexpr size_t kBins = 4096;
    std::array<double, 257> least_;
    std::array<uint8_t, kBins> first_;
};

uint8_t toByte(double c) {
    static const GammaBytes bytes;
    return bytes(c);
}

double clamp01(double v) { return v > 0 ? (v < 1 ? v : 1) : 0; }

// A ray to follow: where it starts, where it goes and where it came from.
struct Ray {
    V3 origin, dir;  // dir unit
    double tMin = 0;
    uint32_t skip = UINT32_MAX;  // the triangle (in the hierarchy) the ray leaves
    int bounce = 0;
    LWItemID source = nullptr;
    double travelled = 0;  // path length from the camera to the origin
    int x = 0, y = 0;
};

// Secondary rays start this far from their spot, relative to its distance
// from the origin, so that rounding does not let them hit what they leave.
constexpr double kSecondaryStart = 1e-9;

class Tracer;

// What a render thread is doing, for the ray functions shaders call.
struct ThreadContext {
    const Tracer* tracer = nullptr;
    int thread = 0;
    uint64_t rays = 0, hits = 0;
    // The spot being shaded, while a shader runs; null otherwise.
    const Ray* ray = nullptr;
    const SurfaceHit* hit = nullptr;
    uint32_t triangle = UINT32_MAX;
    // An exception a ray function caught; rethrown when the shader returns.
    std::exception_ptr pending;
};
thread_local ThreadContext* t_context = nullptr;

class Tracer {
public:
    Tracer(const Bvh& bvh, const std::vector<Instance>& instances, std::vector<std::pair<LWItemID, V3>> lights,
           const V3& eye, const RenderSettings& settings, const SurfaceShader& shader, double pixelAngle)
        : bvh_(bvh), instances_(instances), lightItems_(std::move(lights)), background_(settings.background),
          shader_(shader), maxBounces_(settings.maxBounces), pixelAngle_(pixelAngle) {
        for (const auto& [item, position] : lightItems_) lights_.push_back(position);
        if (lights_.empty()) lights_.push_back(eye);
    }

    // The colour seen along the ray; its distance to the hit in *t (-1 for none).
    V3 trace(const Ray& ray, ThreadContext& ctx, double* t = nullptr) const {
        Hit hit{HUGE_VAL, 0, 0};
        cast(ray, ctx, hit);
        if (t) *t = hit.triangle == UINT32_MAX ? -1 : hit.t;
        if (hit.triangle == UINT32_MAX) return background_;
        SurfaceHit sh;
        describe(ray, hit, sh);
        SurfaceValues values;
        shade(ray, hit, sh, values, ctx, true);
        return light(ray, hit, sh, values, ctx);
    }

    void cast(const Ray& ray, ThreadContext& ctx, Hit& hit) const {
        ++ctx.rays;
        if (ray.skip == UINT32_MAX)
            bvh_.intersect(ray.origin, ray.dir, ray.tMin, hit);
        else
            bvh_.intersect<true>(ray.origin, ray.dir, ray.tMin, hit, ray.skip);
        if (hit.triangle != UINT32_MAX) ++ctx.hits;
    }

    // The hit as shaders see it.
    void describe(const Ray& ray, const Hit& hit, SurfaceHit& sh) const {
        const Triangle& tri = bvh_.triangle(hit.triangle);
        const Instance& in = instances_[tri.instance];
        const Mesh& mesh = *in.mesh;
        const auto& idx = mesh.triangles[tri.index];
        const double w = 1 - hit.u - hit.v;
        sh.object = in.item;
        sh.surface = &in.surface;
        const V3 world = add(ray.origin, scale(ray.dir, hit.t));
        V3 local{}, normal{};
        for (int c = 0; c < 3; ++c)
            local[c] = w * mesh.positions[idx[0]][c] + hit.u * mesh.positions[idx[1]][c] +
                       hit.v * mesh.positions[idx[2]][c];
        if (in.smooth)
            for (int c = 0; c < 3; ++c)
                normal[c] = w * mesh.normals[idx[0]][c] + hit.u * mesh.normals[idx[1]][c] + hit.v * mesh.normals[idx[2]][c];
        if (in.mapped)
            for (int c = 0; c < 2; ++c)
                sh.uv[c] = w * mesh.uvs[idx[0]][c] + hit.u * mesh.uvs[idx[1]][c] + hit.v * mesh.uvs[idx[2]][c];
        // The smooth normal in world space, turned to the side of the
        // surface that the ray came from.
        V3 geometric = cross(tri.e1, tri.e2);
        if (dot(geometric, ray.dir) > 0) geometric = scale(geometric, -1);
        normalize(geometric);
        V3 n = add(add(scale(in.normalRows[0], normal[0]), scale(in.normalRows[1], normal[1])),
                   scale(in.normalRows[2], normal[2]));
        if (!normalize(n)) n = geometric;
        if (dot(n, geometric) < 0) n = scale(n, -1);
        for (int c = 0; c < 3; ++c) {
            sh.world[c] = world[c];
            sh.local[c] = local[c];
            sh.normal[c] = n[c];
            sh.geometric[c] = geometric[c];
            sh.rayOrigin[c] = ray.origin[c];
            sh.rayDirection[c] = ray.dir[c];
            sh.vertexWorld[0][c] = tri.v0[c];
            sh.vertexWorld[1][c] = tri.v0[c] + tri.e1[c];
            sh.vertexWorld[2][c] = tri.v0[c] + tri.e2[c];
        }
        sh.distance = hit.t;
        sh.spotSize = (ray.travelled + hit.t) * pixelAngle_;
        sh.x = ray.x;
        sh.y = ray.y;
        sh.polygon = tri.index;
        sh.vertices = idx;
        sh.weights = {w, hit.u, hit.v};
        sh.transform = in.transform;
        sh.source = ray.source;
        sh.bounce = ray.bounce;
    }

    // The surface's values at the hit, through the shader when asked for.
    void shade(const Ray& ray, const Hit& hit, const SurfaceHit& sh, SurfaceValues& values, ThreadContext& ctx,
               bool withShader) const {
        values = instances_[bvh_.triangle(hit.triangle).instance].values;
        values.normal = {sh.normal[0], sh.normal[1], sh.normal[2]};
        if (!shader_ || !withShader) return;
        {
            // The spot the thread's ray functions start from while the
            // shader runs; the outer one again afterwards, even when the
            // shader throws (a ray function of the outer spot's shader
            // catches that and goes on).
            struct Spot {
                ThreadContext& ctx;
                const Ray* ray;
                const SurfaceHit* hit;
                uint32_t triangle;
                ~Spot() {
                    ctx.ray = ray;
                    ctx.hit = hit;
                    ctx.triangle = triangle;
                }
            } outer{ctx, ctx.ray, ctx.hit, ctx.triangle};
            ctx.ray = &ray;
            ctx.hit = &sh;
            ctx.triangle = hit.triangle;
            shader_(sh, values, ctx.thread);
        }
        if (ctx.pending) std::rethrow_exception(std::exchange(ctx.pending, nullptr));
    }

    // The colour of the hit with its values (see the header).
    V3 light(const Ray& ray, const Hit& hit, const SurfaceHit& sh, const SurfaceValues& v,
             ThreadContext& ctx) const {
        // The smooth normal is unit already; only a normal the shader set is
        // made unit.
        V3 n = v.normal;
        if (n[0] != sh.normal[0] || n[1] != sh.normal[1] || n[2] != sh.normal[2]) {
            if (!std::isfinite(n[0]) || !std::isfinite(n[1]) || !std::isfinite(n[2]) || !normalize(n))
                n = {sh.normal[0], sh.normal[1], sh.normal[2]};
        }
        const V3 world{sh.world[0], sh.world[1], sh.world[2]};
        const V3 view = scale(ray.dir, -1);
        double diffuse = 0, specular = 0;
        const bool shiny = v.specular > 0;
        const double exponent = v.roughness > 0 ? 1 / v.roughness : HUGE_VAL;
        for (const V3& position : lights_) {
            V3 l = sub(position, world);
            if (!normalize(l)) continue;
            const double lambert = dot(n, l);
            if (lambert <= 0) continue;
            diffuse += lambert;
            if (shiny) {
                V3 h = add(l, view);
                if (normalize(h)) specular += std::pow(std::max(0.0, dot(n, h)), exponent);
            }
        }
        V3 colour;
        const double lit = v.diffuse * (kAmbient + diffuse) + v.luminous;
        for (int c = 0; c < 3; ++c) {
            colour[c] = v.colour[c] * lit;
            if (shiny) colour[c] += v.specular * specular * (1 + v.colourHighlights * (v.colour[c] - 1));
        }
        const double mirror = clamp01(v.mirror), transparency = clamp01(v.transparency);
        if (mirror > 0 || transparency > 0) {
            const bool further = ray.bounce < maxBounces_;
            Ray next;
            next.origin = world;
            next.tMin = kSecondaryStart * (1 + std::max({std::abs(world[0]), std::abs(world[1]), std::abs(world[2])}));
            next.skip = hit.triangle;
            next.bounce = ray.bounce + 1;
            next.source = sh.object;
            next.travelled = ray.travelled + hit.t;
            next.x = ray.x;
            next.y = ray.y;
            if (mirror > 0) {
                next.dir = sub(ray.dir, scale(n, 2 * dot(ray.dir, n)));
                const V3 reflected = further && normalize(next.dir) ? trace(next, ctx) : background_;
                for (int c = 0; c < 3; ++c) colour[c] = (1 - mirror) * colour[c] + mirror * reflected[c];
            }
            if (transparency > 0) {
                next.dir = ray.dir;
                const V3 behind = further ? trace(next, ctx) : background_;
                for (int c = 0; c < 3; ++c) {
                    const double filter = 1 + v.colourFilter * (v.colour[c] - 1);
                    colour[c] = (1 - transparency) * colour[c] + transparency * behind[c] * filter;
                }
            }
        }
        return colour;
    }

    // A ray a shader casts from a position: from the spot being shaded when
    // there is one, one bounce further.
    bool rayFrom(const ThreadContext& ctx, const LWDVector position, const LWDVector direction, Ray& ray) const {
        if (!position || !direction) return false;
        ray.origin = {position[0], position[1], position[2]};
        ray.dir = {direction[0], direction[1], direction[2]};
        if (!normalize(ray.dir)) return false;
        for (const double c : ray.origin)
            if (!std::isfinite(c)) return false;
        ray.tMin = kSecondaryStart * (1 + std::max({std::abs(ray.origin[0]), std::abs(ray.origin[1]), std::abs(ray.origin[2])}));
        if (ctx.hit) {
            ray.bounce = ctx.hit->bounce + 1;
            ray.source = ctx.hit->object;
            ray.travelled = ctx.ray->travelled + ctx.hit->distance;
            ray.x = ctx.hit->x;
            ray.y = ctx.hit->y;
            // Leaving the spot's own triangle: it cannot be hit again.
            const V3 spot{ctx.hit->world[0], ctx.hit->world[1], ctx.hit->world[2]};
            if (length2(sub(spot, ray.origin)) <= ray.tMin * ray.tMin) ray.skip = ctx.triangle;
        }
        return true;
    }
    bool mayBounce(const Ray& ray) const { return ray.bounce <= maxBounces_; }

    const V3& background() const { return background_; }
    // The light's position, when it is one of the frame's lights.
    const V3* lightPosition(LWItemID light) const {
        for (const auto& [item, position] : lightItems_)
            if (item == light) return &position;
        return nullptr;
    }

private:
    static double length2(const V3& v) { return dot(v, v); }

    const Bvh& bvh_;
    const std::vector<Instance>& instances_;
    std::vector<std::pair<LWItemID, V3>> lightItems_;
    std::vector<V3> lights_;  // positions lighting the hits
    V3 background_;
    const SurfaceShader& shader_;
    int maxBounces_;
    double pixelAngle_;
};

// The ray functions: plain C callbacks, so nothing is thrown through them.
double rayCastFunction(const LWDVector position, const LWDVector direction) {
    ThreadContext* ctx = t_context;
    Ray ray;
    if (!ctx || !ctx->tracer->rayFrom(*ctx, position, direction, ray)) return -1;
    Hit hit{HUGE_VAL, 0, 0};
    ctx->tracer->cast(ray, *ctx, hit);
    return hit.triangle == UINT32_MAX ? -1 : hit.t;
}

double rayTraceFunction(const LWDVector position, const LWDVector direction, LWDVector color) {
    ThreadContext* ctx = t_context;
    Ray ray;
    V3 colour{0, 0, 0};
    double t = -1;
    if (ctx && ctx->tracer->rayFrom(*ctx, position, direction, ray)) {
        colour = ctx->tracer->background();
        try {
            if (ctx->tracer->mayBounce(ray)) {
                colour = ctx->tracer->trace(ray, *ctx, &t);
            } else {
                Hit hit{HUGE_VAL, 0, 0};
                ctx->tracer->cast(ray, *ctx, hit);
                t = hit.triangle == UINT32_MAX ? -1 : hit.t;
            }
        } catch (...) {
            if (!ctx->pending) ctx->pending = std::current_exception();
            colour = ctx->tracer->background();
            t = -1;
        }
    }
    if (color)
        for (int c = 0; c < 3; ++c) color[c] = colour[c];
    return t;
}

double rayShadeFunction(const LWDVector position, const LWDVector direction, LWShaderAccess* access) {
    ThreadContext* ctx = t_context;
    Ray ray;
    if (!ctx || !ctx->tracer->rayFrom(*ctx, position, direction, ray)) return -1;
    try {
        Hit hit{HUGE_VAL, 0, 0};
        ctx->tracer->cast(ray, *ctx, hit);
        if (hit.triangle == UINT32_MAX) return -1;
        SurfaceHit sh;
        ctx->tracer->describe(ray, hit, sh);
        SurfaceValues values;
        ctx->tracer->shade(ray, hit, sh, values, *ctx, ctx->tracer->mayBounce(ray));
        if (access) fillShaderAccess(sh, values, *access);
        return hit.t;
    } catch (...) {
        if (!ctx->pending) ctx->pending = std::current_exception();
        return -1;
    }
}

int illuminateFunction(LWItemID light, const LWDVector position, LWDVector direction, LWDVector color) {
    ThreadContext* ctx = t_context;
    const V3* at = ctx ? ctx->tracer->lightPosition(light) : nullptr;
    V3 l{0, 0, 0};
    const bool lit = at && position && normalize(l = sub(*at, V3{position[0], position[1], position[2]}));
    for (int c = 0; c < 3; ++c) {
        if (direction) direction[c] = lit ? l[c] : 0;
        if (color) color[c] = lit ? 1 : 0;
    }
    return lit ? 1 : 0;
}

// Makes the thread's ray functions trace this render while it lives.
class ThreadScope {
public:
    explicit ThreadScope(ThreadContext& ctx) : outer_(t_context) { t_context = &ctx; }
    ~ThreadScope() { t_context = outer_; }
    ThreadScope(const ThreadScope&) = delete;
    ThreadScope& operator=(const ThreadScope&) = delete;

private:
    ThreadContext* outer_;
};

}  // namespace

RayFunctions rayFunctions() {
    if (!t_context) return {};
    return {illuminateFunction, rayTraceFunction, rayCastFunction, rayShadeFunction};
}

Canvas render(const Scene& scene, const Geometry& geometry, const RenderSettings& settings,
              const SurfaceShader& shader, RenderStats* stats, const RenderProgress& progress) {
    const auto started = std::chrono::steady_clock::now();
    const int width = settings.width, height = settings.height;
    if (width < 1 || height < 1 || width > Canvas::kMaxSide || height > Canvas::kMaxSide)
        throw HostError("the image size must be 1 to " + std::to_string(Canvas::kMaxSide) + " pixels a side");
    if (settings.threads < 0) throw HostError("the thread count must not be negative");
    if (settings.maxBounces < 0) throw HostError("the bounce count must not be negative");
    const LWTime time = settings.time;

    const LWItemID camera = scene.renderCamera(time);
    if (!camera) throw HostError("the scene has no camera");
    const double zoom = scene.zoomFactor(camera, time);
    if (!(zoom > 0) || !std::isfinite(zoom)) throw HostError("the camera's zoom factor is not a positive number");
    const V3 eye = scene.param(camera, LWIP_W_POSITION, time);
    const V3 right = scene.param(camera, LWIP_W_RIGHT, time);
    const V3 up = scene.param(camera, LWIP_W_UP, time);
    const V3 forward = scene.param(camera, LWIP_W_FORWARD, time);
    const double aspect = width * scene.settings().pixelAspect / height;
    const V3 stepX = scale(right, aspect / zoom);
    const V3 stepY = scale(up, 1 / zoom);
    const double pixelAngle = 2 * std::atan(1 / zoom) / height;

    std::vector<std::pair<LWItemID, V3>> lights;
    for (const LWItemID light : scene.items(LWI_LIGHT))
        lights.emplace_back(light, scene.param(light, LWIP_W_POSITION, time));

    const int tilesX = (width + kTile - 1) / kTile, tilesY = (height + kTile - 1) / kTile;

    // The frame's objects in world space. Surfaces are copied so that the
    // shader sees the values the frame started with.
    std::vector<Instance> instances;
    std::vector<FrameVector<V3>> worlds;  // per instance: its vertices in world space
    struct Ref {
        uint32_t instance, index;
    };
    FrameVector<Ref> refs;
    FrameVector<Bvh::Prim> prims;
    const auto objects = geometry.objects();
    {
        size_t total = 0;
        for (const LWItemID item : objects)
            if (auto mesh = geometry.mesh(item)) total += mesh->triangles.size();
        refs.reserve(total);
        prims.reserve(total);
    }
    for (const LWItemID item : objects) {
        if (!scene.contains(item)) continue;
        auto mesh = geometry.mesh(item);
        if (!mesh || mesh->triangles.empty()) continue;
        const Surface* surface = geometry.surface(item);
        const size_t vertices = mesh->positions.size();
        Instance in{item,
                    mesh,
                    surface ? *surface : Surface{},
                    {},
                    scene.worldTransform(item, time),
                    {},
                    mesh->normals.size() == vertices,
                    mesh->uvs.size() == vertices};
        const double noNormal[3] = {0, 0, 0};
        in.values = surfaceValues(in.surface, noNormal);
        const auto& ax = in.transform.axes;
        const double det = dot(ax[0], cross(ax[1], ax[2]));
        const double sign = det < 0 ? -1 : 1;
        in.normalRows = {scale(cross(ax[1], ax[2]), sign), scale(cross(ax[2], ax[0]), sign),
                         scale(cross(ax[0], ax[1]), sign)};
        const auto toWorld = [&](const V3& p) {
            return add(add(add(scale(ax[0], p[0]), scale(ax[1], p[1])), scale(ax[2], p[2])), in.transform.origin);
        };
        FrameVector<V3> world(mesh->positions.size());
        for (size_t i = 0; i < world.size(); ++i) world[i] = toWorld(mesh->positions[i]);
        const uint32_t index = uint32_t(instances.size());
        for (size_t t = 0; t < mesh->triangles.size(); ++t) {
            const auto& tri = mesh->triangles[t];
            if (tri[0] >= world.size() || tri[1] >= world.size() || tri[2] >= world.size())
                throw HostError(std::string("the mesh of \"") + (scene.name(item) ? scene.name(item) : "") +
                                "\" has a triangle with a vertex it does not have");
            Box box;
            for (const uint32_t v : tri) box.grow(world[v]);
            prims.emplace_back(box, uint32_t(refs.size()));
            refs.push_back({index, uint32_t(t)});
        }
        instances.push_back(std::move(in));
        worlds.push_back(std::move(world));
    }
    const int threads = std::min(settings.threads > 0 ? settings.threads
                                                      : int(std::max(1u, std::thread::hardware_concurrency())),
                                 tilesX * tilesY);
    const Bvh bvh(std::move(prims), [&](uint32_t i) {
        const Ref r = refs[i];
        const auto& tri = instances[r.instance].mesh->triangles[r.index];
        const auto& world = worlds[r.instance];
        const V3& a = world[tri[0]];
        return Triangle{a, sub(world[tri[1]], a), sub(world[tri[2]], a), r.instance, r.index};
    }, threads);
    refs = {};
    worlds = {};

    Canvas canvas(width, height);
    const int tiles = tilesX * tilesY;

    std::atomic<int> nextTile{0};
    std::atomic<int> tilesDone{0};
    std::atomic<bool> failed{false};
    std::atomic<uint64_t> rayCount{0}, hitCount{0};
    std::mutex reportMutex;
    std::atomic<int> reportedPercent{0};
    std::exception_ptr failure;

    const Tracer tracer(bvh, instances, std::move(lights), eye, settings, shader, pixelAngle);
    const auto work = [&](int thread) {
        ThreadContext ctx;
        ctx.tracer = &tracer;
        ctx.thread = thread;
        const ThreadScope scope(ctx);
        try {
            Ray ray;
            ray.origin = eye;
            ray.source = camera;
            for (;;) {
                if (failed.load(std::memory_order_relaxed)) break;
                const int tile = nextTile.fetch_add(1);
                if (tile >= tiles) break;
                const int x0 = (tile % tilesX) * kTile, y0 = (tile / tilesX) * kTile;
                const int x1 = std::min(width, x0 + kTile), y1 = std::min(height, y0 + kTile);
                for (int y = y0; y < y1; ++y) {
                    const double ndcY = 1 - 2 * (y + 0.5) / height;
                    for (int x = x0; x < x1; ++x) {
                        const double ndcX = 2 * (x + 0.5) / width - 1;
                        ray.dir = add(forward, add(scale(stepX, ndcX), scale(stepY, ndcY)));
                        normalize(ray.dir);
                        ray.x = x;
                        ray.y = y;
                        const V3 colour = tracer.trace(ray, ctx);
                        canvas.setPixel(x, y, {toByte(colour[0]), toByte(colour[1]), toByte(colour[2])});
                    }
                }
                const int done = tilesDone.fetch_add(1) + 1;
                if (progress && done * 100 / tiles > reportedPercent) {
                    std::lock_guard lock(reportMutex);
                    const int percent = done * 100 / tiles;
                    if (percent > reportedPercent.load()) {
                        reportedPercent = percent;
                        progress(double(done) / tiles);
                    }
                }
            }
        } catch (...) {
            std::lock_guard lock(reportMutex);
            if (!failure) failure = std::current_exception();
            failed = true;
        }
        rayCount += ctx.rays;
        hitCount += ctx.hits;
    };

    {
        std::vector<std::jthread> pool;
        pool.reserve(threads - 1);
        for (int i = 1; i < threads; ++i) pool.emplace_back(work, i);
        work(0);
    }
    if (failure) std::rethrow_exception(failure);
    if (stats) {
        stats->rays = rayCount;
        stats->hits = hitCount;
        stats->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    }
    return canvas;
}

}  // namespace hostsim
