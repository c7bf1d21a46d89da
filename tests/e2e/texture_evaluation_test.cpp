// Evaluation of the texture through the loaded module, spot by spot, against
// the core's own sampler at the (u, v) and footprint that the projection
// formulas give, worked out here and not by the plug-in's code: every
// projection and axis, the colour, gradient and plain branches, the
// footprint factors, colour correction, tiling and animated settings.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "file_io.h"
#include "lwenvel.h"
#include "lwio.h"
#include "lwrender.h"
#include "lwtexture.h"
#include "lwvparm.h"
#include "texture_fixture.h"

namespace {

using Vec = std::array<double, 3>;

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 2 * kPi;

double dot(const Vec& a, const Vec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double length(const Vec& a) { return std::sqrt(dot(a, a)); }
Vec minus(const Vec& a, const Vec& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec cross(const Vec& a, const Vec& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
Vec normalised(const Vec& a) {
    const double l = length(a);
    return l > 0 ? Vec{a[0] / l, a[1] / l, a[2] / l} : a;
}
// A zero scale component counts as negative.
double sgn(double s) { return s <= 0 ? -1 : 1; }

enum Kind { kPlanar = 0, kCylindrical = 1, kSpherical = 2, kCubic = 3, kFront = 4, kUV = 5, kSection = 6 };
// Position of a kind in the texture's "Projection" popup, which has no UV.
int popupPosition(int kind) { return kind == kSection ? 5 : kind; }

// The test images, 640 x 520: three pyramid levels (520 / 4 ≤ 256) in tiles
// of 161 x 131, so the sampler reads a footprint f at level position
// log2(1 / (f · 131)), 0 the coarsest level and 2 the finest.
constexpr int kImageWidth = 640, kImageHeight = 520;
double levelPosition(double footprint) { return std::log2(1 / (std::fabs(footprint) * 131)); }

// ---- what the projections give, from their formulas

struct Mapped {
    bool mapped = false;
    double u = 0, v = 0;
    Vec uDirection{}, vDirection{};
    double footprint = 0;  // world units, or 1 where the scales carry it
    double uScale = 1, vScale = 1;
};

Mapped planar(int axis, const Vec& p, const Vec& s, double footprint) {
    Mapped m;
    m.mapped = true;
    m.footprint = footprint;
    const double x = p[0], y = p[1], z = p[2];
    switch (axis) {
        case 0:
            m.u = z + 0.5, m.v = 0.5 - y;
            m.uDirection = {0, 0, 1}, m.vDirection = {0, -1, 0};
            m.uScale = 1 / std::fabs(s[2]), m.vScale = 1 / std::fabs(s[1]);
            break;
        case 1:
            m.u = x + 0.5, m.v = 0.5 - z;
            m.uDirection = {1, 0, 0}, m.vDirection = {0, 0, -1};
            m.uScale = 1 / std::fabs(s[0]), m.vScale = 1 / std::fabs(s[2]);
            break;
        default:
            m.u = x + 0.5, m.v = 0.5 - y;
            m.uDirection = {1, 0, 0}, m.vDirection = {0, -1, 0};
            m.uScale = 1 / std::fabs(s[0]), m.vScale = 1 / std::fabs(s[1]);
            break;
    }
    return m;
}

// The face of the largest component; ties go to Z, then to X over Y.
int cubeFace(const Vec& p) {
    const double a = std::fabs(p[0]), b = std::fabs(p[1]), c = std::fabs(p[2]);
    if (a >= b) return c >= a ? 2 : 0;
    return c >= b ? 2 : 1;
}

Mapped cylindrical(int axis, const Vec& p, const Vec& s, double footprint) {
    Mapped m;
    m.mapped = true;
    const double x = p[0], y = p[1], z = p[2];
    double angle, radiusSum, axisScale;
    switch (axis) {
        case 0:
            angle = std::atan2(z * sgn(s[2]), -y * sgn(s[1]));
            m.v = 0.5 - x;
            m.uDirection = {0, -z, y}, m.vDirection = {-1, 0, 0};
            axisScale = s[0], radiusSum = std::fabs(s[2]) + std::fabs(s[1]);
            break;
        case 1:
            angle = std::atan2(-x * sgn(s[0]), z * sgn(s[2]));
            m.v = 0.5 - y;
            m.uDirection = {-z, 0, x}, m.vDirection = {0, -1, 0};
            axisScale = s[1], radiusSum = std::fabs(s[2]) + std::fabs(s[0]);
            break;
        default:
            angle = std::atan2(-x * sgn(s[0]), -y * sgn(s[1]));
            m.v = 0.5 - z;
            m.uDirection = {y, -x, 0}, m.vDirection = {0, 0, -1};
            axisScale = s[2], radiusSum = std::fabs(s[1]) + std::fabs(s[0]);
            break;
    }
    m.u = angle / kTwoPi;
    m.uDirection = normalised(m.uDirection);
    m.uScale = std::atan(footprint / (length(p) * radiusSum)) / kTwoPi;
    m.vScale = footprint / std::fabs(axisScale);
    m.footprint = 1;
    return m;
}

// Longitude, latitude, directions and angular footprint around the axis.
struct Globe {
    double longitude, latitude, k;
    Vec uDirection, vDirection;
};

Globe globe(int axis, const Vec& p, const Vec& s, double footprint) {
    const double r = length(p);
    const Vec n{p[0] / r, p[1] / r, p[2] / r};
    const double xs = p[0] * sgn(s[0]), ys = p[1] * sgn(s[1]), zs = p[2] * sgn(s[2]);
    Globe g;
    double radiusSum;
    switch (axis) {
        case 0:
            g.longitude = std::atan2(zs, -ys);
            g.latitude = std::atan2(xs, std::sqrt(ys * ys + zs * zs));
            g.uDirection = {0, n[2], -n[1]};
            radiusSum = std::fabs(s[2]) + std::fabs(s[1]);
            break;
        case 1:
            g.longitude = std::atan2(-xs, zs);
            g.latitude = std::atan2(ys, std::sqrt(xs * xs + zs * zs));
            g.uDirection = {-n[2], 0, n[0]};
            radiusSum = std::fabs(s[2]) + std::fabs(s[0]);
            break;
        default:
            g.longitude = std::atan2(-xs, -ys);
            g.latitude = std::atan2(zs, std::sqrt(xs * xs + ys * ys));
            g.uDirection = {n[1], -n[0], 0};
            radiusSum = std::fabs(s[1]) + std::fabs(s[0]);
            break;
    }
    g.uDirection = normalised(g.uDirection);
    g.vDirection = normalised(cross(n, g.uDirection));
    g.k = std::atan(footprint / (r * radiusSum));
    return g;
}

Mapped spherical(int axis, const Vec& p, const Vec& s, double footprint) {
    const Globe g = globe(axis, p, s, footprint);
    Mapped m;
    m.mapped = true;
    m.u = g.longitude / kTwoPi;
    m.v = 0.5 - g.latitude / kPi;
    m.uDirection = g.uDirection, m.vDirection = g.vDirection;
    m.uScale = g.k / kTwoPi, m.vScale = g.k / kPi;
    m.footprint = 1;
    return m;
}

struct Segment {
    double left = 0, top = 0, width = kTwoPi, height = kPi;
};

Mapped section(int axis, const Vec& p, const Vec& s, double footprint, const Segment& seg) {
    const Globe g = globe(axis, p, s, footprint);
    Mapped m;
    m.mapped = true;
    m.u = (g.longitude - seg.left) / seg.width;
    m.v = (kPi / 2 - g.latitude - seg.top) / seg.height;
    m.uDirection = g.uDirection, m.vDirection = g.vDirection;
    m.uScale = g.k / std::fabs(seg.width * kTwoPi), m.vScale = g.k / std::fabs(seg.height * kPi);
    m.footprint = 1;
    return m;
}

struct CameraPose {
    Vec right, up, forward, position;
    double zoom;
};

// The world point seen through the camera: u across the frame, v down it;
// v grows along the camera's right vector and u along its up vector.
Mapped front(const CameraPose& c, double aspect, const Vec& p, double footprint) {
    const Vec d = minus(p, c.position);
    const double depth = dot(d, c.forward) / c.zoom;
    double x = dot(d, c.right), y = dot(d, c.up);
    if (depth != 0) x /= depth, y /= depth;
    Mapped m;
    m.mapped = true;
    m.u = (x / aspect + 1) * 0.5;
    m.v = 0.5 - y * 0.5;
    m.footprint = std::min(std::fabs(footprint / aspect * 0.5), std::fabs(footprint * 0.5));
    m.vDirection = normalised(c.right), m.uDirection = normalised(c.up);
    return m;
}

// ---- the colour correction, from its formulas, in single precision

struct Correction {
    double brightness = 1, contrast = 1, hue = 0, saturation = 1, gamma = 1;
    bool invert = false;

    bool adjusts() const { return !(brightness == 1 && contrast == 1 && hue == 0 && saturation == 1); }
    float level(float x) const {
        return (static_cast<float>(brightness) * x - 0.5f) * static_cast<float>(contrast) + 0.5f;
    }
    float finish(float x) const {
        if (gamma != 1) x = std::pow(x, 1.0f / static_cast<float>(gamma));
        return invert ? 1 - x : x;
    }
    float scalar(float x) const { return finish(adjusts() ? level(x) : x); }
    void colour(float c[3]) const {
        if (adjusts()) {
            const float mx = std::max(c[0], std::max(c[1], c[2])), mn = std::min(c[0], std::min(c[1], c[2]));
            const float d = mx - mn;
            float h = 0, s = 0;
            if (mx != 0) {
                s = d / mx;
                if (d != 0)
                    h = c[0] == mx   ? (c[1] - c[2]) / d
                        : c[1] == mx ? (c[2] - c[0]) / d + 2
                                     : (c[0] - c[1]) / d + 4;
                if (h < 0) h += 6;
                h *= 1.0471976f;
            }
            hsv(h + static_cast<float>(hue), s * static_cast<float>(saturation), level(mx), c);
        }
        for (int i = 0; i < 3; ++i) c[i] = finish(c[i]);
    }
    static void hsv(float h, float s, float v, float c[3]) {
        if (s == 0) {
            c[0] = c[1] = c[2] = v;
            return;
        }
        float hh = h * 0.95492965f;
        while (hh < 0) hh += 6;
        while (hh >= 6) hh -= 6;
        const int i = static_cast<int>(std::floor(hh));
        const float f = hh - static_cast<float>(i);
        const float p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
        const float rows[6][3] = {{v, t, p}, {q, v, p}, {p, v, t}, {p, q, v}, {t, p, v}, {v, p, q}};
        for (int k = 0; k < 3; ++k) c[k] = rows[i][k];
    }
};

// ---- the table

enum Picture { kGrey, kColour };  // one-band noise; three-band noise shown as "RGB"
constexpr double kSpotSize = 0.01;
constexpr double kFPrimeSpot = 1e-14;
constexpr double kFixedSpot = -1;  // (size.x + size.y + size.z) / 3000

// An envelope on one of the instance's parameters, with keys at frames 0 and 30.
struct Animated {
    const char* channel = nullptr;
    double atFirst = 0, atLast = 0;
};

struct Row {
    const char* name;
    int projection = kPlanar;
    int axis = 2;
    Vec size{1, 1, 1};
    int flags = 0;
    Picture picture = kGrey;
    double distance = 2.3;  // of the spots from the render camera
    double spotSize = kSpotSize;
    int mode = LWINIT_RENDER;
    bool lowResPreview = true, lowResFPrime = false;
    // Full blending by default: the blend weight follows the footprint, so a
    // footprint off by any factor shows, not only one that changes level.
    double quality = 1, lodBlending = 1;
    double uTiles = 1, vTiles = 1, uOffset = 0, vOffset = 0;
    int uTiling = 1, vTiling = 1;
    Correction correction{};
    Segment segment{};
    double fixedTime = -1;  // front projection fixed at this time; -1: not fixed
    bool referenceCamera = false, movingCamera = false;
    Animated animated{};
    bool modeler = false;
    bool someUncovered = false;  // some spots fall off the image
};

// Texture positions of the spots, over every sign and every cube face.
const Vec kSpots[] = {
    {0.12, -0.23, 0.31}, {-0.34, 0.17, -0.26}, {0.29, 0.38, -0.11}, {-0.21, -0.33, 0.19}, {0.07, 0.21, -0.41},
};
const Vec kCameraRest{0, 0, -4};
constexpr double kAmplitude = 0.7;
constexpr double kUntouched = -7;
constexpr double kTolerance = 2e-6;

// The distances put the spots' footprints on the middle level, where a
// factor of two either way reads another level.
const Row kRows[] = {
    {.name = "planar X, colour, the layer's own blending", .axis = 0, .flags = LWTXEF_COLOR, .lodBlending = 0.25},
    {.name = "planar Y, scaled", .axis = 1, .size = {2, 1, 0.5}, .distance = 1.84},
    {.name = "planar Z, gradient", .axis = 2, .flags = LWTXEF_VECTOR},
    {.name = "cubic, colour", .projection = kCubic, .size = {1, 0.8, 1.25}, .flags = LWTXEF_COLOR},
    {.name = "cylindrical X", .projection = kCylindrical, .axis = 0, .distance = 3.9},
    {.name = "cylindrical Y, gradient", .projection = kCylindrical, .axis = 1, .flags = LWTXEF_VECTOR,
     .distance = 3.9},
    {.name = "cylindrical Z, colour", .projection = kCylindrical, .axis = 2, .size = {1.5, 0.8, 1.2},
     .flags = LWTXEF_COLOR, .distance = 3.9},
    {.name = "spherical X, gradient, corrected", .projection = kSpherical, .axis = 0, .flags = LWTXEF_VECTOR,
     .distance = 8.7, .correction = {.brightness = 0.7, .contrast = 1.4, .gamma = 1.3}},
    {.name = "spherical Y", .projection = kSpherical, .axis = 1, .size = {0.8, 1.3, 1.1}, .distance = 8.7},
    {.name = "spherical Z, colour", .projection = kSpherical, .axis = 2, .flags = LWTXEF_COLOR, .distance = 8.7},
    {.name = "spherical section Y, colour", .projection = kSection, .axis = 1, .flags = LWTXEF_COLOR,
     .distance = 24.6, .segment = {.left = 0.3, .top = 0.2, .width = 4, .height = 2.5}},
    {.name = "spherical section X, gradient", .projection = kSection, .axis = 0, .flags = LWTXEF_VECTOR,
     .distance = 21, .segment = {.left = -0.5, .top = 0.4, .width = 3, .height = 2}},
    {.name = "front, gradient", .projection = kFront, .flags = LWTXEF_VECTOR, .distance = 6.1},
    {.name = "front, tiles do not apply", .projection = kFront, .flags = LWTXEF_COLOR, .distance = 6.1,
     .uTiles = 2.5, .vTiles = 0.6},
    {.name = "front through a reference camera", .projection = kFront, .distance = 6.1, .referenceCamera = true},
    {.name = "front fixed at time 0 while the camera moves", .projection = kFront, .distance = 6.1,
     .fixedTime = 0, .movingCamera = true},
    {.name = "FPrime spot in a preview, Low Res FPrime off", .spotSize = kFPrimeSpot, .mode = LWINIT_PREVIEW},
    {.name = "FPrime spot in a render, Low Res FPrime on", .distance = 0.092, .spotSize = kFPrimeSpot,
     .lowResFPrime = true},
    {.name = "fixed preview footprint", .flags = LWTXEF_COLOR, .spotSize = kFixedSpot, .mode = LWINIT_PREVIEW,
     .lowResPreview = false},
    {.name = "the same spot size in a render is not fixed", .flags = LWTXEF_COLOR, .spotSize = kFixedSpot},
    {.name = "quality 0.5", .distance = 1.15, .quality = 0.5},
    {.name = "low-resolution preview", .flags = LWTXEF_COLOR, .distance = 0.092, .mode = LWINIT_PREVIEW},
    {.name = "corrected grey", .flags = LWTXEF_COLOR,
     .correction = {.brightness = 0.8, .contrast = 0.75, .hue = 1, .saturation = 0.5, .gamma = 1.6}},
    {.name = "corrected and inverted scalar", .correction = {.brightness = 1.2, .contrast = 0.7, .invert = true}},
    {.name = "corrected colour", .flags = LWTXEF_COLOR, .picture = kColour,
     .correction = {.brightness = 0.9, .contrast = 0.8, .hue = 2.2, .saturation = 0.7, .gamma = 1.4}},
    {.name = "off the image with Reset tiling", .flags = LWTXEF_COLOR, .distance = 3.45, .uTiles = 3,
     .uTiling = 0, .vTiling = 0, .correction = {.brightness = 0.8, .contrast = 1.5}, .someUncovered = true},
    {.name = "Mirror across, Edge down, no blending", .distance = 4.65, .lodBlending = 0, .uTiles = 2.5,
     .vTiles = 1.7, .uTiling = 2, .vTiling = 3},
    {.name = "stored UV projection", .projection = kUV, .flags = LWTXEF_COLOR | LWTXEF_VECTOR},
    {.name = "animated U tiles", .animated = {.channel = "WidthWrap", .atFirst = 1, .atLast = 2.2}},
    {.name = "animated quality", .distance = 1.7, .animated = {.channel = "Quality", .atFirst = 1, .atLast = 0.5}},
    {.name = "Modeler has no front projection", .projection = kFront, .flags = LWTXEF_COLOR, .modeler = true},
    // The rows below state behaviour that is being built.
    {.name = "animated quality with FPrime", .distance = 0.07, .spotSize = kFPrimeSpot, .lowResFPrime = true,
     .animated = {.channel = "Quality", .atFirst = 1, .atLast = 0.5}},
    {.name = "U and V offsets", .uOffset = 0.3, .vOffset = -0.2},
    {.name = "animated U offset", .animated = {.channel = "UOffset", .atFirst = 0, .atLast = 0.45}},
    {.name = "cylindrical with a negative scale", .projection = kCylindrical, .axis = 0, .size = {1, -0.5, 0.8},
     .distance = 3},
    {.name = "spherical with a negative scale", .projection = kSpherical, .axis = 2, .size = {-0.6, 0.5, 0.7},
     .flags = LWTXEF_COLOR, .distance = 4.8},
    {.name = "Modeler footprint is the spot size", .flags = LWTXEF_COLOR, .spotSize = 6e-5, .quality = 0.5,
     .modeler = true},
};

class TextureEvaluation : public TextureFixture {
protected:
    void run(const Row& row, const std::string& grey, const std::string& colour);

    // A parameter of the instance made last, by its channel's name.
    LWVParmID parameter(const char* channel) {
        const std::string path = host.animation().groupPath(host.textures().layerGroup(layer)) + "/KorvalithPro";
        return host.animation().findParameter(host.animation().findGroup(path), channel);
    }

    LWItemID side = nullptr;  // a second camera, for the front projection's reference
};

void TextureEvaluation::run(const Row& row, const std::string& grey, const std::string& colour) {
    host.scene().setPosition(camera, kCameraRest);
    if (row.movingCamera) {
        host.scene().setKey(camera, hostsim::Motion::Position, 0, kCameraRest);
        host.scene().setKey(camera, hostsim::Motion::Position, 1, {0.6, 0.3, -5});
    }
    LWTextureHandler* h = &handler;
    hostsim::TextureHandlerRecords modeler;
    if (row.modeler) {
        host.setApplication(hostsim::AppType::Modeler);
        ASSERT_EQ(modeler.activate(host, "KorvalithPro"), 0);
        h = &modeler.local;
    }

    // The user's settings, made in the panel.
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    ASSERT_NE(panel, nullptr);
    showImage(*this, core, panel, row.picture == kGrey ? grey : colour);
    if (row.projection != kUV) {
        SET_INT(panel, 0x9102, popupPosition(row.projection));
    }
    if (row.projection == kSection) {
        // "Segment Angles" shows one angle at a time: Left, Width, Top, Height.
        const std::pair<unsigned long, double> angles[] = {{0x9122, row.segment.left},
                                                           {0x9123, row.segment.width},
                                                           {0x9121, row.segment.top},
                                                           {0x9124, row.segment.height}};
        for (int i = 0; i < 4; ++i) {
            SET_INT(panel, 0x911E, i);
            ASSERT_TRUE(panel->setFloat(angles[i].first, angles[i].second));
        }
    }
    if (row.fixedTime >= 0) {
        SET_INT(panel, 0x9106, 1);
        ASSERT_TRUE(panel->setFloat(0x9145, row.fixedTime));
    }
    if (row.referenceCamera) {
        SET_INT(panel, 0x9108, 2);
    }
    SET_INT(panel, 0x9104, row.uTiling);
    SET_INT(panel, 0x9105, row.vTiling);
    const Correction& cc = row.correction;
    const std::pair<unsigned long, double> values[] = {
        {0x913B, row.uTiles},  {0x913D, row.vTiles},      {0x913F, row.uOffset},     {0x913E, row.vOffset},
        {0x9003, row.quality}, {0x9004, row.lodBlending}, {0x9147, cc.brightness},   {0x9148, cc.contrast},
        {0x9149, cc.hue},      {0x914A, cc.saturation},   {0x914B, cc.gamma}};
    for (const auto& [id, value] : values) ASSERT_TRUE(panel->setFloat(id, value)) << std::hex << id;
    SET_INT(panel, 0x914C, cc.invert);
    SET_INT(panel, 0x9111, row.lowResPreview);
    SET_INT(panel, 0x9112, row.lowResFPrime);

    LWVParmID animated = nullptr;
    if (row.animated.channel) {
        animated = parameter(row.animated.channel);
        ASSERT_NE(animated, nullptr);
        host.animation().vparmFuncs()->setState(animated, LWVPSF_ENV);
        LWEnvelopeID envelopes[3] = {};
        host.animation().vparmFuncs()->getEnv(animated, envelopes);
        ASSERT_NE(envelopes[0], nullptr);
        ASSERT_NE(host.animation().envelopeFuncs()->createKey(envelopes[0], 0.0, row.animated.atFirst), nullptr);
        ASSERT_NE(host.animation().envelopeFuncs()->createKey(envelopes[0], 1.0, row.animated.atLast), nullptr);
    }
    // A setting's value at a time: the envelope's where there is one.
    auto setting = [&](const char* channel, double value, double time) {
        return animated && std::strcmp(channel, row.animated.channel) == 0
                   ? host.animation().parameterValue(animated, time)[0]
                   : value;
    };

    if (row.projection == kUV) {
        // The texture offers no UV projection; a stored block can still carry it.
        hostsim::SaveState saved(LWIO_ASCII);
        ASSERT_EQ(h->inst->save(instance, saved.state()), nullptr);
        ASSERT_TRUE(saved.finish());
        std::string text = saved.data();
        const std::string planarLine = "ProjectionType 0\n";
        const size_t at = text.find(planarLine);
        ASSERT_NE(at, std::string::npos);
        text.replace(at, planarLine.size(), "ProjectionType 5\n");
        hostsim::LoadState loaded(text, LWIO_ASCII);
        ASSERT_EQ(h->inst->load(instance, loaded.state()), nullptr);
        ASSERT_FALSE(loaded.failed()) << loaded.error();
    }
    ASSERT_EQ(core->imageCount(), 1);
    KorvalithImage* shown = core->imageAt(0);
    ASSERT_EQ(h->rend->init(instance, row.mode), nullptr);

    const bool yieldsNothing = row.projection == kUV || (row.modeler && row.projection == kFront);
    const std::vector<int> frames = animated || row.movingCamera ? std::vector<int>{0, 30} : std::vector<int>{0};
    std::vector<std::vector<double>> results;
    bool onMiddleLevel = false, someValue = false, uncovered = false;
    for (int frame : frames) {
        const double time = frame / 30.0;
        ASSERT_EQ(h->rend->newTime(instance, frame, time), nullptr);

        // What this frame's settings and camera give.
        const double quality = setting("Quality", row.quality, time);
        const double uTiles = setting("WidthWrap", row.uTiles, time);
        const double uOffset = setting("UOffset", row.uOffset, time);
        const bool preview = row.lowResPreview && (row.mode == LWINIT_PREVIEW || row.modeler);
        const double footprintFactor = (preview ? 25.0 : 1.0) / quality;
        const double fprimeFactor = (row.lowResFPrime ? 25.0 : 1.0) / quality;
        const Vec cameraPosition = host.scene().param(camera, LWIP_W_POSITION, time);
        const auto fov = host.scene().fovAngles(camera, time);
        const auto settings = host.scene().settings();
        const double pixelAngle =
            std::max(std::tan(fov[1] / settings.frameHeight), std::tan(fov[0] / settings.frameWidth));
        const double aspect = settings.frameWidth * settings.pixelAspect / settings.frameHeight;
        LWItemID frontCamera = row.referenceCamera ? side : camera;
        const double poseTime = row.fixedTime >= 0 ? row.fixedTime : time;
        const CameraPose pose{host.scene().param(frontCamera, LWIP_RIGHT, poseTime),
                              host.scene().param(frontCamera, LWIP_UP, poseTime),
                              host.scene().param(frontCamera, LWIP_FORWARD, poseTime),
                              host.scene().param(frontCamera, LWIP_W_POSITION, poseTime),
                              host.scene().zoomFactor(frontCamera, poseTime)};

        std::vector<double> frameResults;
        for (const Vec& p : kSpots) {
            SCOPED_TRACE(testing::Message() << "frame " << frame << ", spot (" << p[0] << ", " << p[1] << ", " << p[2]
                                            << ")");
            const double spotSize = row.spotSize == kFixedSpot ? (row.size[0] + row.size[1] + row.size[2]) / 3000
                                                               : row.spotSize;
            const Vec world{kCameraRest[0] + 0.3 * p[0] * row.distance, kCameraRest[1] + 0.3 * p[1] * row.distance,
                            kCameraRest[2] + row.distance};
            LWTextureAccess access{};
            for (int i = 0; i < 3; ++i) {
                access.wPos[i] = world[i];
                access.tPos[i] = p[i];
                access.size[i] = row.size[i];
                access.txGrad[i] = kUntouched;
            }
            for (double& c : access.txRGBA) c = kUntouched;
            access.amp = kAmplitude;
            access.spotSize = spotSize;
            access.axis = row.axis;
            access.flags = row.flags;
            const double value = h->evaluate(instance, &access);
            frameResults.push_back(value);

            // The spot's world footprint: its distance from the render
            // camera through one pixel; Modeler has no camera and gives the spot size.
            const double worldFootprint =
                row.modeler ? spotSize : length(minus(world, cameraPosition)) * pixelAngle;
            Mapped m;
            switch (row.projection) {
                case kPlanar: m = planar(row.axis, p, row.size, worldFootprint); break;
                case kCubic: m = planar(cubeFace(p), p, row.size, worldFootprint); break;
                case kCylindrical: m = cylindrical(row.axis, p, row.size, worldFootprint); break;
                case kSpherical: m = spherical(row.axis, p, row.size, worldFootprint); break;
                case kSection: m = section(row.axis, p, row.size, worldFootprint, row.segment); break;
                case kFront:
                    if (!row.modeler) m = front(pose, aspect, world, worldFootprint);
                    break;
                default: break;  // UV: the texture gets nothing
            }
            ASSERT_EQ(m.mapped, !yieldsNothing);
            if (!m.mapped) {
                EXPECT_EQ(value, 0.0);
                for (double c : access.txRGBA) EXPECT_EQ(c, kUntouched);
                for (double g : access.txGrad) EXPECT_EQ(g, kUntouched);
                continue;
            }
            if (row.projection != kFront) {
                m.u = m.u * uTiles + uOffset;
                m.v = m.v * row.vTiles + row.vOffset;
                m.uScale /= std::fabs(uTiles);
                m.vScale /= std::fabs(row.vTiles);
            }
            const double footprint = m.footprint * (spotSize == kFPrimeSpot ? fprimeFactor : footprintFactor);
            const float summed = static_cast<float>(row.size[2] + row.size[1] + row.size[0]) * 0.000333333f;
            const bool fixed =
                row.mode == LWINIT_PREVIEW && std::fabs(static_cast<float>(spotSize) - summed) < 2.3841858e-7f;
            const double imageFootprint = fixed ? 0.03 : (m.uScale + m.vScale) * 0.5 * footprint;
            if (!fixed) {
                const double t = levelPosition(imageFootprint);
                onMiddleLevel = onMiddleLevel || (t >= 1 && t < 2);
            }
            const double lod = setting("MipMapOverlap", row.lodBlending, time);
            const double uv[2] = {m.u, m.v};

            double expected;
            if (row.flags & LWTXEF_COLOR) {
                float rgba[4] = {0, 0, 0, 0}, scalar = 0;
                const float coverage =
                    core->sampleImage(shown, uv, imageFootprint, lod, 0, rgba, &scalar, row.uTiling, row.vTiling);
                uncovered = uncovered || coverage == 0;
                cc.colour(rgba);
                const double k = coverage != 0 ? 1.0 / coverage : 1.0;
                for (int i = 0; i < 3; ++i) EXPECT_NEAR(access.txRGBA[i], rgba[i] * k, kTolerance) << "colour " << i;
                EXPECT_NEAR(access.txRGBA[3], static_cast<double>(coverage) * rgba[3], kTolerance) << "alpha";
                for (double g : access.txGrad) EXPECT_EQ(g, kUntouched);
                expected = static_cast<double>(cc.scalar(scalar)) * coverage;
            } else if (row.flags & LWTXEF_VECTOR) {
                float du = 0, dv = 0;
                const float coverage =
                    core->sampleGradient(shown, uv, imageFootprint, lod, 0, &du, &dv, row.uTiling, row.vTiling);
                for (int i = 0; i < 3; ++i)
                    EXPECT_NEAR(access.txGrad[i],
                                kAmplitude * du * m.uDirection[i] + kAmplitude * dv * m.vDirection[i], kTolerance)
                        << "gradient " << i;
                for (double c : access.txRGBA) EXPECT_EQ(c, kUntouched);
                expected = cc.scalar(coverage);
            } else {
                float rgba[4] = {0, 0, 0, 0}, scalar = 0;
                const float coverage =
                    core->sampleImage(shown, uv, imageFootprint, lod, 0, rgba, &scalar, row.uTiling, row.vTiling);
                uncovered = uncovered || coverage == 0;
                for (double c : access.txRGBA) EXPECT_EQ(c, kUntouched);
                for (double g : access.txGrad) EXPECT_EQ(g, kUntouched);
                expected = static_cast<double>(cc.scalar(scalar)) * coverage;
            }
            EXPECT_NEAR(value, expected, kTolerance);
            someValue = someValue || value != 0;
        }
        results.push_back(frameResults);
    }
    h->rend->cleanup(instance);
    destroy(instance);
    if (row.modeler) {
        host.setApplication(hostsim::AppType::Layout);
        ASSERT_EQ(records.activate(host, "KorvalithPro"), 0);
    }

    // The row must be able to show a fault: values that are not all 0, a
    // footprint that a wrong factor moves to another level, an animation
    // that changes what the spots show.
    if (yieldsNothing) return;
    EXPECT_TRUE(someValue) << "every spot gave 0";
    if (row.spotSize != kFixedSpot || row.mode != LWINIT_PREVIEW) {
        EXPECT_TRUE(onMiddleLevel) << "no spot reads the middle level";
    }
    EXPECT_EQ(uncovered, row.someUncovered);
    if (results.size() == 2) {
        EXPECT_NE(results[0], results[1]) << "the frames show the same values";
    }
}

TEST_F(TextureEvaluation, EverySpotEqualsTheSamplerWhereTheFormulasPutIt) {
    host.scene().setFrameSize(640, 480);
    side = host.scene().addCamera("Side");
    host.scene().setPosition(side, {1, 0.5, -6});
    host.scene().setRotation(side, {0.15, -0.1, 0.05});
    host.scene().setZoomFactor(side, 2.5);
    const std::string grey = image("noise-grey.jp2", kImageWidth, kImageHeight, 1, testfiles::noisePattern(7));
    const std::string colour = image("noise-colour.jp2", kImageWidth, kImageHeight, 3, testfiles::noisePattern(11));
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        run(row, grey, colour);
    }
    // The options are the core's, for every layer: back to their defaults.
    core->setPreviewFlag(1);
    core->setFPrimeFlag(0);
}

}  // namespace
