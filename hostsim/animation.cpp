#include "animation.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

#include "handler_records.h"
#include "host.h"
#include "instances.h"
#include "lwchannel.h"
#include "scene.h"
#include "textures.h"

namespace hostsim {

namespace {

struct Group;
struct Channel;
struct Envelope;
struct Parameter;

struct Key {
    double time = 0.0;
    double value = 0.0;
    int shape = kShapeTcb;
    double tension = 0.0;
    double continuity = 0.0;
    double bias = 0.0;
    double param[4] = {0.0, 0.0, 0.0, 0.0};
};

using Keys = std::vector<std::unique_ptr<Key>>;

struct Envelope {
    std::string name;
    int type = LWET_FLOAT;
    Keys keys;  // sorted by time, times distinct
    int pre = kBehaviourConstant;
    int post = kBehaviourConstant;
    int visible = 1;
    Channel* channel = nullptr;  // its own channel, for envelopes created in a group
    Parameter* owner = nullptr;  // the parameter it belongs to, if any
    LWEnvEventFunc event = nullptr;
    void* eventData = nullptr;
    int age = 0;
};

// A server applied to a channel, with the handler function the host calls
// when the channel is evaluated (null when the server set none).
struct AppliedServer {
    std::string cls;
    std::string name;
    unsigned int flags = 0;
    LWInstance instance = nullptr;
    void (*evaluate)(LWInstance, const LWChannelAccess*) = nullptr;
};

// A channel shows an envelope of its own, one component of a parameter, or
// a value from elsewhere (an item's motion).
struct Channel {
    std::string name;
    int type = LWET_FLOAT;
    Group* group = nullptr;
    Envelope* env = nullptr;
    Parameter* parm = nullptr;
    int component = 0;
    Animation::ChannelSource source;
    LWChanEventFunc event = nullptr;
    void* eventData = nullptr;
    std::vector<AppliedServer> servers;  // in the order they were applied
};

struct Group {
    std::string name;
    bool hostOwned = false;  // the host's own (an item's): the service cannot destroy it
    Group* parent = nullptr;
    std::vector<Group*> children;
    std::vector<Channel*> channels;
};

struct Parameter {
    int kind = LWVP_FLOAT;
    int texType = LWVPDT_NOTXTR;
    int count = 1;
    std::array<double, 3> value{};
    int state = 0;  // LWVPSF_ENV; the texture's presence is LWVPSF_TEX
    std::array<Envelope*, 3> env{};
    std::array<Channel*, 3> chan{};
    std::string channelName;
    std::string pluginName;
    Group* group = nullptr;
    LWTxtrContextID context = nullptr;
    LWVP_EventFunc* event = nullptr;
    void* userData = nullptr;
    LWTextureID texture = nullptr;  // a texture of "Texture Functions 3", owned
};

// ------------------------------------------------------------------ kinds

// The four kinds that come as one value or, with LWVPF_VECTOR, three; a
// colour always has three.
bool validKind(int kind) {
    if (kind == LWVP_COLOR) return true;
    const int base = kind & ~LWVPF_VECTOR;
    return base == LWVP_FLOAT || base == LWVP_PERCENT || base == LWVP_DIST || base == LWVP_ANGLE;
}

bool validTexType(int type) { return type == LWVPDT_NOTXTR || (type >= LWVPDT_VECTOR && type <= LWVPDT_DISPLACEMENT); }

int componentsOf(int kind) { return (kind & LWVPF_VECTOR) ? 3 : 1; }

int channelTypeOf(int kind) {
    switch (kind & ~LWVPF_VECTOR) {
        case LWVP_PERCENT: return LWET_PERCENT;
        case LWVP_DIST: return LWET_DISTANCE;
        case LWVP_ANGLE: return LWET_ANGLE;
        default: return LWET_FLOAT;
    }
}

std::string componentName(const Parameter& p, int c) {
    if (p.count == 1) return p.channelName.empty() ? "Value" : p.channelName;
    static const char* const xyz[] = {"X", "Y", "Z"};
    static const char* const rgb[] = {"R", "G", "B"};
    const char* suffix = (p.kind == LWVP_COLOR ? rgb : xyz)[c];
    return p.channelName.empty() ? suffix : p.channelName + "." + suffix;
}

bool validShape(int shape) { return shape >= kShapeTcb && shape <= kShapeBezier2D; }
bool validBehaviour(int b) { return b >= kBehaviourReset && b <= kBehaviourLinear; }

// ------------------------------------------------------------ evaluation
//
// Tangents are measured in value per span: the change a straight line with
// that slope makes over the span they belong to.

double span(const Keys& k, size_t i) { return k[i + 1]->time - k[i]->time; }

// Time offset of a Bezier handle, kept inside its span.
double handleTime(double t, double length) { return std::clamp(t, -length, length); }

// Tangent leaving key i into the span i -> i+1, decided by key i.
double outgoing(const Keys& k, size_t i) {
    const Key& k0 = *k[i];
    const Key& k1 = *k[i + 1];
    const double d = k1.value - k0.value;
    const double dt = span(k, i);
    switch (k0.shape) {
        case kShapeTcb:
        case kShapeLinear: {
            double a = 1.0, b = 1.0;
            if (k0.shape == kShapeTcb) {
                a = (1.0 - k0.tension) * (1.0 + k0.continuity) * (1.0 + k0.bias);
                b = (1.0 - k0.tension) * (1.0 - k0.continuity) * (1.0 - k0.bias);
            }
            if (i == 0) return b * d;
            const Key& kp = *k[i - 1];
            // Scaled by the span's share of both neighbouring spans, so that
            // the slope is continuous in time where keys are unevenly spaced.
            return dt / (k1.time - kp.time) * (a * (k0.value - kp.value) + b * d);
        }
        case kShapeHermite:
        case kShapeBezier: return k0.param[1] * dt;
        case kShapeBezier2D: {
            const double ht = handleTime(k0.param[2], dt);
            return ht > 1e-12 ? k0.param[3] / ht * dt : 0.0;
        }
        default: return 0.0;  // stepped
    }
}

// Tangent arriving at key i+1 from the span i -> i+1, decided by key i+1.
double incoming(const Keys& k, size_t i) {
    const Key& k0 = *k[i];
    const Key& k1 = *k[i + 1];
    const double d = k1.value - k0.value;
    const double dt = span(k, i);
    switch (k1.shape) {
        case kShapeTcb:
        case kShapeLinear: {
            double a = 1.0, b = 1.0;
            if (k1.shape == kShapeTcb) {
                a = (1.0 - k1.tension) * (1.0 - k1.continuity) * (1.0 + k1.bias);
                b = (1.0 - k1.tension) * (1.0 + k1.continuity) * (1.0 - k1.bias);
            }
            if (i + 2 >= k.size()) return a * d;
            const Key& kn = *k[i + 2];
            return dt / (kn.time - k0.time) * (b * (kn.value - k1.value) + a * d);
        }
        case kShapeHermite:
        case kShapeBezier: return k1.param[0] * dt;
        case kShapeBezier2D: {
            const double ht = handleTime(k1.param[0], dt);
            return ht < -1e-12 ? k1.param[1] / -ht * dt : 0.0;
        }
        default: return 0.0;
    }
}

double cubicBezier(double p0, double p1, double p2, double p3, double s) {
    const double r = 1.0 - s;
    return r * r * r * p0 + 3.0 * r * r * s * p1 + 3.0 * r * s * s * p2 + s * s * s * p3;
}

// The span i -> i+1 as a Bezier curve in time and value; key i's outgoing
// handle comes from its tangent when key i is not a Bezier key itself.
double evaluateBez2(const Keys& k, size_t i, double time) {
    const Key& k0 = *k[i];
    const Key& k1 = *k[i + 1];
    const double dt = span(k, i);
    double t1, v1;
    if (k0.shape == kShapeBezier2D) {
        t1 = handleTime(k0.param[2], dt);
        v1 = k0.param[3];
        if (t1 < 0.0) t1 = 0.0;
    } else {
        t1 = dt / 3.0;
        v1 = outgoing(k, i) / 3.0;
    }
    double t2 = handleTime(k1.param[0], dt);
    if (t2 > 0.0) t2 = 0.0;
    const double x0 = k0.time, x1 = k0.time + t1, x2 = k1.time + t2, x3 = k1.time;
    // With both handle times inside the span, time grows monotonically
    // along the curve, so bisection finds the curve parameter.
    double lo = 0.0, hi = 1.0;
    for (int n = 0; n < 60; ++n) {
        const double mid = 0.5 * (lo + hi);
        if (cubicBezier(x0, x1, x2, x3, mid) < time) lo = mid;
        else hi = mid;
    }
    const double s = 0.5 * (lo + hi);
    return cubicBezier(k0.value, k0.value + v1, k1.value + k1.param[1], k1.value, s);
}

double evaluateSpan(const Keys& k, size_t i, double time) {
    const Key& k0 = *k[i];
    const Key& k1 = *k[i + 1];
    const double s = (time - k0.time) / span(k, i);
    switch (k1.shape) {
        case kShapeStepped: return k0.value;
        case kShapeLinear: return k0.value + s * (k1.value - k0.value);
        case kShapeBezier2D: return evaluateBez2(k, i, time);
        default: {
            // Hermite basis.
            const double s2 = s * s, s3 = s2 * s;
            const double h2 = 3.0 * s2 - 2.0 * s3;
            const double h1 = 1.0 - h2;
            const double h4 = s3 - s2;
            const double h3 = h4 - s2 + s;
            return h1 * k0.value + h2 * k1.value + h3 * outgoing(k, i) + h4 * incoming(k, i);
        }
    }
}

// Slope (value per second) at the start of the span i -> i+1 and at its end.
double startSlope(const Keys& k, size_t i) {
    switch (k[i + 1]->shape) {
        case kShapeStepped: return 0.0;
        case kShapeLinear: return (k[i + 1]->value - k[i]->value) / span(k, i);
        default: return outgoing(k, i) / span(k, i);
    }
}

double endSlope(const Keys& k, size_t i) {
    switch (k[i + 1]->shape) {
        case kShapeStepped: return 0.0;
        case kShapeLinear: return (k[i + 1]->value - k[i]->value) / span(k, i);
        default: return incoming(k, i) / span(k, i);
    }
}

double evaluateKeys(const Keys& k, int pre, int post, double time) {
    if (k.empty()) return 0.0;
    const Key& first = *k.front();
    const Key& last = *k.back();
    if (std::isnan(time)) return first.value;
    if (k.size() == 1 || std::isinf(time)) {
        // Nothing repeats; an infinite time sees the end key, or 0 on reset.
        if (time < first.time) return pre == kBehaviourReset ? 0.0 : first.value;
        if (time > last.time) return post == kBehaviourReset ? 0.0 : last.value;
        return first.value;
    }
    double offset = 0.0;
    if (time < first.time || time > last.time) {
        const bool before = time < first.time;
        const int behaviour = before ? pre : post;
        const Key& end = before ? first : last;
        switch (behaviour) {
            case kBehaviourReset: return 0.0;
            case kBehaviourLinear:
                return end.value + (time - end.time) * (before ? startSlope(k, 0) : endSlope(k, k.size() - 2));
            case kBehaviourRepeat:
            case kBehaviourOscillate:
            case kBehaviourOffsetRepeat: {
                const double length = last.time - first.time;
                const double cycles = std::floor((time - first.time) / length);
                time -= cycles * length;
                time = std::clamp(time, first.time, last.time);
                if (behaviour == kBehaviourOscillate && std::fmod(std::fabs(cycles), 2.0) == 1.0)
                    time = first.time + last.time - time;
                if (behaviour == kBehaviourOffsetRepeat) offset = cycles * (last.value - first.value);
                break;
            }
            default: return end.value;  // constant
        }
    }
    // The span whose end is the first key after time.
    auto after = std::upper_bound(k.begin(), k.end(), time,
                                  [](double t, const std::unique_ptr<Key>& key) { return t < key->time; });
    size_t j = static_cast<size_t>(after - k.begin());
    if (j == 0) return first.value + offset;
    if (j >= k.size()) return last.value + offset;
    if (time == k[j - 1]->time) return k[j - 1]->value + offset;
    return evaluateSpan(k, j - 1, time) + offset;
}

// ---------------------------------------------------------------- events

struct PendingEvent {
    LWEnvEventFunc func;
    void* data;
    LWEnvelopeID env;
    LWEnvEvent event;
    void* eventData;
};

struct PendingParameterEvent {
    LWVP_EventFunc* func;
    LWVParmID parm;
    void* userData;
    en_lwvpec code;
};

struct PendingChannelEvent {
    LWChanEventFunc func;
    void* data;
    LWChannelID chan;
    int event;
    void* eventData;
};

// Events collected under the lock and delivered after it is released, and
// the textures and server instances whose destruction waits for the same
// moment.
struct Events {
    explicit Events(Animation::Impl* owner) : im(owner) {}
    Animation::Impl* im;
    std::vector<PendingEvent> list;
    std::vector<PendingChannelEvent> channelEvents;
    std::vector<PendingParameterEvent> parameterEvents;
    std::vector<LWTextureID> deadTextures;
    std::vector<LWInstance> deadInstances;
    void add(Envelope* e, LWEnvEvent event, Key* key) {
        if (e->event)
            list.push_back({e->event, e->eventData, reinterpret_cast<LWEnvelopeID>(e), event, static_cast<void*>(key)});
    }
    void add(const Parameter* p, en_lwvpec code) {
        if (p->event)
            parameterEvents.push_back({p->event, const_cast<Parameter*>(p), p->userData, code});
    }
    void add(const Channel* c, int event, void* eventData = nullptr) {
        if (!c || !c->event) return;
        // One value event per channel and batch is enough.
        if (event == LWCEVNT_VALUE)
            for (const PendingChannelEvent& p : channelEvents)
                if (p.chan == c && p.event == LWCEVNT_VALUE) return;
        channelEvents.push_back({c->event, c->eventData, const_cast<Channel*>(c), event, eventData});
    }
    // Delivers everything, then destroys what waited; defined after Impl.
    void fire();
};

// -------------------------------------------------------- saved blocks

const LWBlockIdent kKind{LWID_('V', 'P', 'K', 'D'), "ParameterKind"};
const LWBlockIdent kValue{LWID_('V', 'P', 'V', 'L'), "StaticValue"};
const LWBlockIdent kState{LWID_('V', 'P', 'S', 'T'), "State"};
const LWBlockIdent kCompEnv{LWID_('V', 'P', 'E', 'V'), "ComponentEnvelope"};
const LWBlockIdent kCompIndex{LWID_('V', 'P', 'C', 'I'), "Component"};
const LWBlockIdent kTexture{LWID_('V', 'P', 'T', 'X'), "Texture"};
const LWBlockIdent kBehaviours{LWID_('E', 'B', 'E', 'H'), "Behaviors"};
const LWBlockIdent kKeyCount{LWID_('E', 'K', 'C', 'T'), "KeyCount"};
const LWBlockIdent kKey{LWID_('E', 'K', 'E', 'Y'), "Key"};
const LWBlockIdent kEndList{0, nullptr};

const LWBlockIdent kParameterBlocks[] = {kKind, kValue, kState, kCompEnv, kTexture, kEndList};
const LWBlockIdent kEnvelopeBlocks[] = {kBehaviours, kKeyCount, kKey, kEndList};
const LWBlockIdent kComponentBlocks[] = {kCompIndex, kBehaviours, kKeyCount, kKey, kEndList};

void saveI4(const LWSaveState* s, const LWBlockIdent& id, const int32_t* v, int n) {
    LWSAVE_BEGIN(s, &id, 1);
    LWSAVE_I4(s, v, n);
    LWSAVE_END(s);
}

void saveEnvelopeBlocks(const LWSaveState* s, const Envelope& e) {
    const int32_t behaviours[2] = {e.pre, e.post};
    saveI4(s, kBehaviours, behaviours, 2);
    const int32_t count = static_cast<int32_t>(e.keys.size());
    saveI4(s, kKeyCount, &count, 1);
    for (const auto& key : e.keys) {
        LWSAVE_BEGIN(s, &kKey, 1);
        const double head[2] = {key->time, key->value};
        LWSAVE_DP(s, head, 2);
        const int32_t shape = key->shape;
        LWSAVE_I4(s, &shape, 1);
        const double rest[7] = {key->tension, key->continuity, key->bias, key->param[0],
                                key->param[1], key->param[2], key->param[3]};
        LWSAVE_DP(s, rest, 7);
        LWSAVE_END(s);
    }
}

// An envelope as read from blocks, applied only once all of it is sound.
struct EnvelopeData {
    bool haveBehaviours = false;
    int pre = kBehaviourConstant;
    int post = kBehaviourConstant;
    int32_t count = -1;
    std::vector<Key> keys;
};

// Reads one envelope block the caller has just found. Returns an error text
// or null.
LWError readEnvelopeBlock(const LWLoadState* s, LWID id, EnvelopeData& d) {
    if (id == kBehaviours.id) {
        int32_t b[2];
        if (LWLOAD_I4(s, b, 2) != 2) return "Envelope behaviours are cut short";
        if (!validBehaviour(b[0]) || !validBehaviour(b[1])) return "Envelope behaviour is unknown";
        d.pre = b[0];
        d.post = b[1];
        d.haveBehaviours = true;
    } else if (id == kKeyCount.id) {
        if (LWLOAD_I4(s, &d.count, 1) != 1) return "Envelope key count is cut short";
        if (d.count < 0) return "Envelope key count is negative";
    } else if (id == kKey.id) {
        double head[2], rest[7];
        int32_t shape;
        if (LWLOAD_DP(s, head, 2) != 2 || LWLOAD_I4(s, &shape, 1) != 1 || LWLOAD_DP(s, rest, 7) != 7)
            return "Envelope key is cut short";
        if (!std::isfinite(head[0])) return "Envelope key time is not a number";
        if (!validShape(shape)) return "Envelope key shape is unknown";
        Key k;
        k.time = head[0];
        k.value = head[1];
        k.shape = shape;
        k.tension = rest[0];
        k.continuity = rest[1];
        k.bias = rest[2];
        for (int i = 0; i < 4; ++i) k.param[i] = rest[3 + i];
        d.keys.push_back(k);
    }
    return nullptr;
}

LWError finishEnvelope(EnvelopeData& d) {
    if (!d.haveBehaviours || d.count < 0) return "Envelope data is incomplete";
    if (static_cast<size_t>(d.count) != d.keys.size()) return "Envelope keys are missing";
    std::sort(d.keys.begin(), d.keys.end(), [](const Key& a, const Key& b) { return a.time < b.time; });
    for (size_t i = 1; i < d.keys.size(); ++i)
        if (d.keys[i].time == d.keys[i - 1].time) return "Envelope has two keys at the same time";
    return nullptr;
}

LWError loadEnvelopeData(const LWLoadState* s, EnvelopeData& d) {
    LWError error = nullptr;
    while (LWID id = LWLOAD_FIND(s, kEnvelopeBlocks)) {
        if (!error) error = readEnvelopeBlock(s, id, d);
        LWLOAD_END(s);
    }
    return error ? error : finishEnvelope(d);
}

struct ParameterData {
    int kind = -1;
    int valueCount = 0;
    double value[3] = {0.0, 0.0, 0.0};
    int state = -1;
    std::map<int, EnvelopeData> envelopes;
    bool haveTexture = false;
    std::vector<LayerSettings> layers;
};

LWError loadParameterData(const LWLoadState* s, const Textures* textures, ParameterData& d) {
    LWError error = nullptr;
    while (LWID id = LWLOAD_FIND(s, kParameterBlocks)) {
        if (error) {
            LWLOAD_END(s);
            continue;
        }
        if (id == kKind.id) {
            int32_t kind;
            if (LWLOAD_I4(s, &kind, 1) != 1) error = "Parameter kind is cut short";
            else if (!validKind(kind)) error = "Parameter kind is unknown";
            else d.kind = kind;
        } else if (id == kValue.id) {
            d.valueCount = std::max(0, LWLOAD_DP(s, d.value, 3));
        } else if (id == kState.id) {
            int32_t state;
            if (LWLOAD_I4(s, &state, 1) != 1) error = "Parameter state is cut short";
            else if (state & ~(LWVPSF_ENV | LWVPSF_TEX)) error = "Parameter state is unknown";
            else d.state = state;
        } else if (id == kCompEnv.id) {
            int32_t index = -1;
            EnvelopeData env;
            while (LWID inner = LWLOAD_FIND(s, kComponentBlocks)) {
                if (!error) {
                    if (inner == kCompIndex.id) {
                        if (LWLOAD_I4(s, &index, 1) != 1) error = "Parameter component is cut short";
                    } else {
                        error = readEnvelopeBlock(s, inner, env);
                    }
                }
                LWLOAD_END(s);
            }
            if (!error) error = finishEnvelope(env);
            if (!error && (index < 0 || index > 2)) error = "Parameter envelope has no valid component";
            if (!error) d.envelopes[index] = std::move(env);
        } else if (id == kTexture.id) {
            d.haveTexture = true;
            if (!textures) error = "Parameter texture cannot be read without textures";
            else error = textures->readLayers(s, d.layers);
        }
        LWLOAD_END(s);
    }
    if (error) return error;
    if (d.kind < 0 || d.state < 0 || d.valueCount == 0) return "Parameter data is incomplete";
    const int count = componentsOf(d.kind);
    if (d.valueCount != count) return "Parameter value does not match its kind";
    for (const auto& [index, env] : d.envelopes)
        if (index >= count) return "Parameter envelope has no valid component";
    if (d.state & LWVPSF_ENV)
        for (int c = 0; c < count; ++c)
            if (!d.envelopes.count(c)) return "Parameter envelope is missing";
    if ((d.state & LWVPSF_TEX) && !d.haveTexture) return "Parameter texture is missing";
    return nullptr;
}

std::atomic<Animation::Impl*> g_impl{nullptr};

}  // namespace

// ==================================================================== Impl

struct Animation::Impl {
    mutable std::shared_mutex mutex;
    std::unordered_map<const void*, std::unique_ptr<Group>> groups;
    std::vector<Group*> roots;
    std::unordered_map<const void*, std::unique_ptr<Channel>> channels;
    std::unordered_map<const void*, std::unique_ptr<Envelope>> envelopes;
    std::unordered_map<const void*, std::unique_ptr<Parameter>> parameters;
    std::vector<Parameter*> parameterOrder;
    std::unordered_map<const void*, int> edits;
    int keys = 0;

    LWEnvelopeFuncs envelopeFuncs{};
    LWChannelInfo channelInfo{};
    LWVParmFuncs vparmFuncs{};
    Host* host = nullptr;  // for the textures of parameters

    Textures* textures() const { return host ? &host->textures() : nullptr; }
    Instances* instances() const { return host ? &host->instances() : nullptr; }

    // ---- handle checks
    Group* group(const void* id) const {
        auto it = groups.find(id);
        return it == groups.end() ? nullptr : it->second.get();
    }
    Channel* channel(const void* id) const {
        auto it = channels.find(id);
        return it == channels.end() ? nullptr : it->second.get();
    }
    Envelope* envelope(const void* id) const {
        auto it = envelopes.find(id);
        return it == envelopes.end() ? nullptr : it->second.get();
    }
    Parameter* parameter(const void* id) const {
        auto it = parameters.find(id);
        return it == parameters.end() ? nullptr : it->second.get();
    }
    static Key* key(const Envelope* e, const void* id) {
        for (const auto& k : e->keys)
            if (k.get() == id) return k.get();
        return nullptr;
    }
    static size_t keyIndex(const Envelope* e, const Key* k) {
        for (size_t i = 0; i < e->keys.size(); ++i)
            if (e->keys[i].get() == k) return i;
        return e->keys.size();
    }

    // ---- groups and channels
    Group* makeGroup(Group* parent, const char* name) {
        auto g = std::make_unique<Group>();
        g->name = name ? name : "";
        g->parent = parent;
        Group* raw = g.get();
        (parent ? parent->children : roots).push_back(raw);
        groups.emplace(raw, std::move(g));
        return raw;
    }

    Channel* makeChannel(Group* g, std::string name, int type) {
        auto c = std::make_unique<Channel>();
        c->name = std::move(name);
        c->type = type;
        c->group = g;
        Channel* raw = c.get();
        g->channels.push_back(raw);
        channels.emplace(raw, std::move(c));
        return raw;
    }

    // The channel's event function hears of it and its servers' instances
    // are destroyed once the lock is released; without events (the host
    // ends) neither happens.
    void dropChannel(Channel* c, Events* events) {
        if (events) {
            events->add(c, LWEEVNT_DESTROY);
            for (const AppliedServer& s : c->servers) events->deadInstances.push_back(s.instance);
        }
        auto& list = c->group->channels;
        list.erase(std::remove(list.begin(), list.end(), c), list.end());
        channels.erase(c);
    }

    // The channel that shows an envelope: its own, or its parameter's.
    Channel* channelOf(const Envelope* e) const {
        if (e->channel) return e->channel;
        if (const Parameter* p = e->owner)
            for (int c = 0; c < p->count; ++c)
                if (p->env[static_cast<size_t>(c)] == e) return p->chan[static_cast<size_t>(c)];
        return nullptr;
    }

    void dropGroup(Group* g, Events* events) {
        while (!g->children.empty()) dropGroup(g->children.back(), events);
        while (!g->channels.empty()) {
            Channel* c = g->channels.back();
            if (c->parm) {
                // The parameter lives on without channels until its next setup.
                Parameter* p = c->parm;
                p->chan[static_cast<size_t>(c->component)] = nullptr;
                p->group = nullptr;
                dropChannel(c, events);
            } else if (c->env) {
                dropEnvelope(c->env, events);
            } else {
                dropChannel(c, events);
            }
        }
        auto& siblings = g->parent ? g->parent->children : roots;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), g), siblings.end());
        groups.erase(g);
    }

    // ---- envelopes
    Envelope* makeEnvelope(Group* g, const char* name, int type) {
        auto e = std::make_unique<Envelope>();
        e->name = name ? name : "";
        e->type = type;
        Envelope* raw = e.get();
        if (g) {
            raw->channel = makeChannel(g, raw->name, type);
            raw->channel->env = raw;
        }
        envelopes.emplace(raw, std::move(e));
        return raw;
    }

    void dropEnvelope(Envelope* e, Events* events) {
        if (e->channel) dropChannel(e->channel, events);
        keys -= static_cast<int>(e->keys.size());
        if (events) events->add(e, LWEEVNT_DESTROY, nullptr);
        edits.erase(e);
        envelopes.erase(e);
    }

    Key* insertKey(Envelope* e, const Key& k) {
        auto pos = std::upper_bound(e->keys.begin(), e->keys.end(), k.time,
                                    [](double t, const std::unique_ptr<Key>& key) { return t < key->time; });
        auto it = e->keys.insert(pos, std::make_unique<Key>(k));
        ++keys;
        ++e->age;
        return it->get();
    }

    void setKeys(Envelope* e, const std::vector<Key>& list, int pre, int post) {
        keys -= static_cast<int>(e->keys.size());
        e->keys.clear();
        for (const Key& k : list) e->keys.push_back(std::make_unique<Key>(k));
        keys += static_cast<int>(e->keys.size());
        e->pre = pre;
        e->post = post;
        ++e->age;
    }

    void copyEnvelope(Envelope* to, const Envelope* from) {
        if (to == from) return;
        std::vector<Key> list;
        for (const auto& k : from->keys) list.push_back(*k);
        setKeys(to, list, from->pre, from->post);
    }

    // ---- parameters
    void makeParameterChannels(Parameter* p) {
        if (!p->group) return;
        for (int c = 0; c < p->count; ++c) {
            Channel* ch = makeChannel(p->group, componentName(*p, c), channelTypeOf(p->kind));
            ch->parm = p;
            ch->component = c;
            p->chan[static_cast<size_t>(c)] = ch;
        }
    }

    void dropParameterChannels(Parameter* p, Events* events) {
        for (Channel*& ch : p->chan) {
            if (ch) dropChannel(ch, events);
            ch = nullptr;
        }
    }

    // Every channel of the parameter hears that its value may have changed.
    void parameterChanged(const Parameter* p, Events* events) const {
        if (events)
            for (const Channel* ch : p->chan) events->add(ch, LWCEVNT_VALUE);
    }

    void envelopParameter(Parameter* p, Events* events) {
        if (!(p->state & LWVPSF_ENV) && events) events->add(p, LWVPEC_ENVNEW);
        for (int c = 0; c < p->count; ++c) {
            Envelope*& e = p->env[static_cast<size_t>(c)];
            if (e) continue;
            e = makeEnvelope(nullptr, componentName(*p, c).c_str(), channelTypeOf(p->kind));
            e->owner = p;
            Key k;
            k.value = p->value[static_cast<size_t>(c)];
            insertKey(e, k);
            if (events) events->add(p->chan[static_cast<size_t>(c)], LWCEVNT_CREATE, e);
        }
        p->state |= LWVPSF_ENV;
    }

    void dropParameterEnvelopes(Parameter* p, Events* events) {
        if ((p->state & LWVPSF_ENV) && events) {
            events->add(p, LWVPEC_ENVOLD);
            parameterChanged(p, events);
        }
        for (Envelope*& e : p->env) {
            if (e) dropEnvelope(e, events);
            e = nullptr;
        }
        p->state &= ~LWVPSF_ENV;
    }

    // Detaches the parameter's texture; the caller destroys it unlocked.
    void dropParameterTexture(Parameter* p, Events* events) {
        if (!p->texture) return;
        if (events) {
            events->add(p, LWVPEC_TEXOLD);
            events->deadTextures.push_back(p->texture);
        }
        edits.erase(p->texture);
        p->texture = nullptr;
        p->state &= ~LWVPSF_TEX;
    }

    // The parameter goes without events to its own event function.
    void dropParameter(Parameter* p, Events* events) {
        dropParameterChannels(p, events);
        const auto event = std::exchange(p->event, nullptr);
        dropParameterEnvelopes(p, events);
        if (p->texture && events) events->deadTextures.push_back(p->texture);
        p->event = event;
        parameterOrder.erase(std::remove(parameterOrder.begin(), parameterOrder.end(), p), parameterOrder.end());
        edits.erase(p);
        parameters.erase(p);
    }

    double componentValue(const Parameter* p, int c, double time) const {
        const Envelope* e = p->env[static_cast<size_t>(c)];
        if ((p->state & LWVPSF_ENV) && e) return evaluateKeys(e->keys, e->pre, e->post, time);
        return p->value[static_cast<size_t>(c)];
    }

    // Parameters' textures are left to the textures, which the host clears
    // on its own.
    void clear() {
        while (!parameterOrder.empty()) dropParameter(parameterOrder.back(), nullptr);
        while (!roots.empty()) dropGroup(roots.back(), nullptr);
        while (!envelopes.empty()) dropEnvelope(envelopes.begin()->second.get(), nullptr);
        edits.clear();
    }
};

void Events::fire() {
    for (const PendingEvent& p : list) p.func(p.data, p.env, p.event, p.eventData);
    for (const PendingChannelEvent& p : channelEvents) p.func(p.data, p.chan, p.event, p.eventData);
    for (const PendingParameterEvent& p : parameterEvents) p.func(p.parm, p.userData, p.code, nullptr);
    if (Textures* textures = im ? im->textures() : nullptr)
        for (LWTextureID t : deadTextures) textures->destroy(t);
    if (Instances* instances = im ? im->instances() : nullptr)
        for (LWInstance i : deadInstances) instances->destroy(i);
}

namespace {

Animation::Impl* impl() { return g_impl.load(); }

template <typename T>
T* handle(const void* p) {
    return reinterpret_cast<T*>(const_cast<void*>(p));
}

// The handle a plug-in sees for one of the model's objects.
void* toId(const void* p) { return const_cast<void*>(p); }

// ======================================================= "Animation Envelopes"

LWEnvelopeID envCreate(LWChanGroupID group, const char* name, int type) {
    Animation::Impl* im = impl();
    if (!im) return nullptr;
    std::unique_lock lock(im->mutex);
    Group* g = nullptr;
    if (group && !(g = im->group(group))) return nullptr;
    return toId(im->makeEnvelope(g, name, type));
}

void envDestroy(LWEnvelopeID env) {
    Animation::Impl* im = impl();
    if (!im) return;
    Events events(im);
    {
        std::unique_lock lock(im->mutex);
        Envelope* e = im->envelope(env);
        if (!e || e->owner) return;
        im->dropEnvelope(e, &events);
    }
    events.fire();
}

LWChanGroupID envCreateGroup(LWChanGroupID parent, const char* name) {
    Animation::Impl* im = impl();
    if (!im) return nullptr;
    std::unique_lock lock(im->mutex);
    Group* p = nullptr;
    if (parent && !(p = im->group(parent))) return nullptr;
    return toId(im->makeGroup(p, name));
}

void destroyGroup(Animation::Impl* im, LWChanGroupID group, bool evenHostOwned) {
    if (!im) return;
    Events events(im);
    {
        std::unique_lock lock(im->mutex);
        Group* g = im->group(group);
        if (!g || (g->hostOwned && !evenHostOwned)) return;
        im->dropGroup(g, &events);
    }
    events.fire();
}

void envDestroyGroup(LWChanGroupID group) { destroyGroup(impl(), group, false); }

LWError envCopy(LWEnvelopeID to, LWEnvelopeID from) {
    Animation::Impl* im = impl();
    if (!im) return nullptr;
    Events events(im);
    {
        std::unique_lock lock(im->mutex);
        Envelope* t = im->envelope(to);
        const Envelope* f = im->envelope(from);
        if (!t || !f || t == f) return nullptr;
        im->copyEnvelope(t, f);
        events.add(im->channelOf(t), LWCEVNT_VALUE);
    }
    events.fire();
    return nullptr;
}

LWError envLoad(LWEnvelopeID env, const LWLoadState* load) {
    Animation::Impl* im = impl();
    if (!im || !env) return nullptr;
    {
        std::shared_lock lock(im->mutex);
        if (!im->envelope(env)) return nullptr;
    }
    if (!load) return "No load state";
    // The state is read without the lock; the result is applied under it.
    EnvelopeData data;
    if (LWError error = loadEnvelopeData(load, data)) return error;
    Events events(im);
    {
        std::unique_lock lock(im->mutex);
        if (Envelope* e = im->envelope(env)) {
            im->setKeys(e, data.keys, data.pre, data.post);
            events.add(im->channelOf(e), LWCEVNT_VALUE);
        }
    }
    events.fire();
    return nullptr;
}

LWError envSave(LWEnvelopeID env, const LWSaveState* save) {
    Animation::Impl* im = impl();
    if (!im) return nullptr;
    std::shared_lock lock(im->mutex);
    const Envelope* e = im->envelope(env);
    if (!e) return nullptr;
    if (!save) return "No save state";
    saveEnvelopeBlocks(save, *e);
    return nullptr;
}

double envEvaluate(LWEnvelopeID env, LWTime time) {
    Animation::Impl* im = impl();
    if (!im) return 0.0;
    std::shared_lock lock(im->mutex);
    const Envelope* e = im->envelope(env);
    return e ? evaluateKeys(e->keys, e->pre, e->post, time) : 0.0;
}

int envEdit(LWChanGroupID, LWEnvelopeID env, int, void*) {
    Animation::Impl* im = impl();
    if (!im) return 0;
    std::unique_lock lock(im->mutex);
    if (!im->envelope(env)) return 0;
    ++im->edits[env];
    return 1;
}

int envAge(LWEnvelopeID env) {
    Animation::Impl* im = impl();
    if (!im) return 0;
    std::shared_lock lock(im->mutex);
    const Envelope* e = im->envelope(env);
    return e ? e->age : 0;
}

LWEnvKeyframeID envCreateKey(LWEnvelopeID env, LWTime time, double value) {
    Animation::Impl* im = impl();
    if (!im || !std::isfinite(time)) return nullptr;
    Events events(im);
    Key* result = nullptr;
    {
        std::unique_lock lock(im->mutex);
        Envelope* e = im->envelope(env);
        if (!e) return nullptr;
        for (const auto& k : e->keys)
            if (k->time == time) result = k.get();
        if (result) {
            result->value = value;
            ++e->age;
            events.add(e, LWEEVNT_KEY_VALUE, result);
        } else {
            Key k;
            k.time = time;
            k.value = value;
            result = im->insertKey(e, k);
            events.add(e, LWEEVNT_KEY_INSERT, result);
        }
        events.add(im->channelOf(e), LWCEVNT_VALUE);
    }
    events.fire();
    return toId(result);
}

void envDestroyKey(LWEnvelopeID env, LWEnvKeyframeID key) {
    Animation::Impl* im = impl();
    if (!im) return;
    Events events(im);
    {
        std::unique_lock lock(im->mutex);
        Envelope* e = im->envelope(env);
        if (!e) return;
        Key* k = Animation::Impl::key(e, key);
        if (!k) return;
        // The handle is reported after the key is gone, as an identity only.
        events.add(e, LWEEVNT_KEY_DELETE, k);
        e->keys.erase(e->keys.begin() + static_cast<std::ptrdiff_t>(Animation::Impl::keyIndex(e, k)));
        --im->keys;
        ++e->age;
        events.add(im->channelOf(e), LWCEVNT_VALUE);
    }
    events.fire();
}

LWEnvKeyframeID envFindKey(LWEnvelopeID env, LWTime time) {
    Animation::Impl* im = impl();
    if (!im) return nullptr;
    std::shared_lock lock(im->mutex);
    const Envelope* e = im->envelope(env);
    if (!e) return nullptr;
    for (const auto& k : e->keys)
        if (k->time == time) return toId(k.get());
    return nullptr;
}

LWEnvKeyframeID envNextKey(LWEnvelopeID env, LWEnvKeyframeID key) {
    Animation::Impl* im = impl();
    if (!im) return nullptr;
    std::shared_lock lock(im->mutex);
    const Envelope* e = im->envelope(env);
    if (!e || e->keys.empty()) return nullptr;
    if (!key) return toId(e->keys.front().get());
    const size_t i = Animation::Impl::keyIndex(e, handle<Key>(key));
    return i + 1 < e->keys.size() ? toId(e->keys[i + 1].get()) : nullptr;
}

LWEnvKeyframeID envPrevKey(LWEnvelopeID env, LWEnvKeyframeID key) {
    Animation::Impl* im = impl();
    if (!im) return nullptr;
    std::shared_lock lock(im->mutex);
    const Envelope* e = im->envelope(env);
    if (!e || e->keys.empty()) return nullptr;
    if (!key) return toId(e->keys.back().get());
    const size_t i = Animation::Impl::keyIndex(e, handle<Key>(key));
    return i > 0 && i < e->keys.size() ? toId(e->keys[i - 1].get()) : nullptr;
}

double* keyDouble(Key* k, LWKeyTag tag) {
    switch (tag) {
        case LWKEY_VALUE: return &k->value;
        case LWKEY_TIME: return &k->time;
        case LWKEY_TENSION: return &k->tension;
        case LWKEY_CONTINUITY: return &k->continuity;
        case LWKEY_BIAS: return &k->bias;
        case LWKEY_PARAM_0: return &k->param[0];
        case LWKEY_PARAM_1: return &k->param[1];
        case LWKEY_PARAM_2: return &k->param[2];
        case LWKEY_PARAM_3: return &k->param[3];
        default: return nullptr;
    }
}

int envKeySet(LWEnvelopeID env, LWEnvKeyframeID key, LWKeyTag tag, void* value) {
    Animation::Impl* im = impl();
    if (!im || !value) return 0;
    Events events(im);
    {
        std::unique_lock lock(im->mutex);
        Envelope* e = im->envelope(env);
        Key* k = e ? Animation::Impl::key(e, key) : nullptr;
        if (!k) return 0;
        if (tag == LWKEY_SHAPE) {
            const int shape = *static_cast<const int*>(value);
            if (!validShape(shape)) return 0;
            k->shape = shape;
        } else if (tag == LWKEY_TIME) {
            const double t = *static_cast<const double*>(value);
            if (!std::isfinite(t)) return 0;
            for (const auto& other : e->keys)
                if (other.get() != k && other->time == t) return 0;
            k->time = t;
            std::stable_sort(e->keys.begin(), e->keys.end(),
                             [](const std::unique_ptr<Key>& a, const std::unique_ptr<Key>& b) { return a->time < b->time; });
            events.add(e, LWEEVNT_KEY_TIME, k);
        } else if (double* field = keyDouble(k, tag)) {
            *field = *static_cast<const double*>(value);
            if (tag == LWKEY_VALUE) events.add(e, LWEEVNT_KEY_VALUE, k);
        } else {
            return 0;
        }
        ++e->age;
        events.add(im->channelOf(e), LWCEVNT_VALUE);
    }
    events.fire();
    return 1;
}

int envKeyGet(LWEnvelopeID env, LWEnvKeyframeID key, LWKeyTag tag, void* value) {
    Animation::Impl* im = impl();
    if (!im || !value) return 0;
    std::shared_lock lock(im->mutex);
    Envelope* e = im->envelope(env);
    Key* k = e ? Animation::Impl::key(e, key) : nullptr;
    if (!k) return 0;
    if (tag == LWKEY_SHAPE) {
        *static_cast<int*>(value) = k->shape;
        return 1;
    }
    const double* field = keyDouble(k, tag);
    if (!field) return 0;
    *static_cast<double*>(value) = *field;
    return 1;
}

int envSetEvent(LWEnvelopeID env, LWEnvEventFunc ev, void* data) {
    Animation::Impl* im = impl();
    if (!im) return 0;
    std::unique_lock lock(im->mutex);
    Envelope* e = im->envelope(env);
    if (!e) return 0;
    e->event = ev;
    e->eventData = ev ? data : nullptr;
    return 1;
}

int envEgSet(LWEnvelopeID env, LWChanGroupID, int tag, void* value) {
    Animation::Impl* im = impl();
    if (!im || !value) return 0;
    Events events(im);
    {
        std::unique_lock lock(im->mutex);
        Envelope* e = im->envelope(env);
        if (!e) return 0;
        const int v = *static_cast<const int*>(value);
        switch (tag) {
            case LWENVTAG_VISIBLE: e->visible = v ? 1 : 0; return 1;
            case LWENVTAG_PREBEHAVE:
            case LWENVTAG_POSTBEHAVE:
                if (!validBehaviour(v)) return 0;
                (tag == LWENVTAG_PREBEHAVE ? e->pre : e->post) = v;
                ++e->age;
                events.add(im->channelOf(e), LWCEVNT_VALUE);
                break;
            default: return 0;
        }
    }
    events.fire();
    return 1;
}

int envEgGet(LWEnvelopeID env, LWChanGroupID, int tag, void* value) {
    Animation::Impl* im = impl();
    if (!im || !value) return 0;
    std::shared_lock lock(im->mutex);
    const Envelope* e = im->envelope(env);
    if (!e) return 0;
    int* out = static_cast<int*>(value);
    switch (tag) {
        case LWENVTAG_VISIBLE: *out = e->visible; return 1;
        case LWENVTAG_PREBEHAVE: *out = e->pre; return 1;
        case LWENVTAG_POSTBEHAVE: *out = e->post; return 1;
        case LWENVTAG_KEYCOUNT: *out = static_cast<int>(e->keys.size()); return 1;
        default: return 0;
    }
}

// ======================================================== "Channel Info 2"

LWChanGroupID ciNextGroup(LWChanGroupID parent, LWChanGroupID group) {
    Animation::Impl* im = impl();
    if (!im) return nullptr;
    std::shared_lock lock(im->mutex);
    const std::vector<Group*>* list = &im->roots;
    if (parent) {
        const Group* p = im->group(parent);
        if (!p) return nullptr;
        list = &p->children;
    }
    if (!group) return list->empty() ? nullptr : toId(list->front());
    auto it = std::find(list->begin(), list->end(), handle<Group>(group));
    if (it == list->end() || ++it == list->end()) return nullptr;
    return toId(*it);
}

LWChannelID ciNextChannel(LWChanGroupID group, LWChannelID chan) {
    Animation::Impl* im = impl();
    if (!im) return nullptr;
    std::shared_lock lock(im->mutex);
    const Group* g = im->group(group);
    if (!g) return nullptr;
    const auto& list = g->channels;
    if (!chan) return list.empty() ? nullptr : toId(list.front());
    auto it = std::find(list.begin(), list.end(), handle<Channel>(chan));
    if (it == list.end() || ++it == list.end()) return nullptr;
    return toId(*it);
}

const char* ciGroupName(LWChanGroupID group) {
    Animation::Impl* im = impl();
    if (!im) return nullptr;
    std::shared_lock lock(im->mutex);
    const Group* g = im->group(group);
    return g ? g->name.c_str() : nullptr;
}

const char* ciChannelName(LWChannelID chan) {
    Animation::Impl* im = impl();
    if (!im) return nullptr;
    std::shared_lock lock(im->mutex);
    const Channel* c = im->channel(chan);
    return c ? c->name.c_str() : nullptr;
}

LWChanGroupID ciGroupParent(LWChanGroupID group) {
    Animation::Impl* im = impl();
    if (!im) return nullptr;
    std::shared_lock lock(im->mutex);
    const Group* g = im->group(group);
    return g ? toId(g->parent) : nullptr;
}

LWChanGroupID ciChannelParent(LWChannelID chan) {
    Animation::Impl* im = impl();
    if (!im) return nullptr;
    std::shared_lock lock(im->mutex);
    const Channel* c = im->channel(chan);
    return c ? toId(c->group) : nullptr;
}

int ciChannelType(LWChannelID chan) {
    Animation::Impl* im = impl();
    if (!im) return 0;
    std::shared_lock lock(im->mutex);
    const Channel* c = im->channel(chan);
    return c ? c->type : 0;
}

// The channels being evaluated on this thread, innermost last, with their
// values so far: a channel handler's getChannel and setChannel work on them.
struct Evaluation {
    LWChannelID chan;
    double value;
};
thread_local std::vector<Evaluation*> t_evaluations;

bool evaluating(LWChannelID chan) {
    return std::any_of(t_evaluations.begin(), t_evaluations.end(), [&](const Evaluation* e) { return e->chan == chan; });
}

// The channel's value before its handlers. A source is called unlocked:
// it reads another model (the scene).
bool baseValue(Animation::Impl* im, LWChannelID chan, double time, double& value,
               std::vector<AppliedServer>* servers) {
    Animation::ChannelSource source;
    {
        std::shared_lock lock(im->mutex);
        const Channel* c = im->channel(chan);
        if (!c) return false;
        if (servers)
            for (const AppliedServer& s : c->servers)
                if (s.evaluate && !(s.flags & LWSRVF_DISABLED)) servers->push_back(s);
        if (c->parm) value = im->componentValue(c->parm, c->component, time);
        else if (c->env) value = evaluateKeys(c->env->keys, c->env->pre, c->env->post, time);
        else if (c->source) source = c->source;
        else value = 0.0;
    }
    if (source) value = source(time);
    return true;
}

void accessGetChannel(LWChannelID chan, LWTime time, double* value);
void accessSetChannel(LWChannelID chan, const double value);

double ciChannelEvaluate(LWChannelID chan, LWTime time) {
    Animation::Impl* im = impl();
    if (!im) return 0.0;
    std::vector<AppliedServer> servers;
    double value = 0.0;
    if (!baseValue(im, chan, time, value, &servers) || servers.empty()) return value;
    const double fps = im->host ? im->host->scene().framesPerSecond() : 30.0;
    Evaluation evaluation{chan, value};
    t_evaluations.push_back(&evaluation);
    for (const AppliedServer& s : servers) {
        const LWChannelAccess access{chan,
                                     static_cast<LWFrame>(std::lround(time * fps)),
                                     time,
                                     evaluation.value,
                                     accessGetChannel,
                                     accessSetChannel,
                                     ciChannelName};
        s.evaluate(s.instance, &access);
    }
    t_evaluations.pop_back();
    return evaluation.value;
}

// A channel that is being evaluated on this thread answers its value before
// its handlers: evaluating it again would not end.
void accessGetChannel(LWChannelID chan, LWTime time, double* value) {
    if (!value) return;
    Animation::Impl* im = impl();
    double v = 0.0;
    if (im && evaluating(chan)) baseValue(im, chan, time, v, nullptr);
    else v = ciChannelEvaluate(chan, time);
    *value = v;
}

void accessSetChannel(LWChannelID chan, const double value) {
    if (!t_evaluations.empty() && t_evaluations.back()->chan == chan) t_evaluations.back()->value = value;
}

LWEnvelopeID ciChannelEnvelope(LWChannelID chan) {
    Animation::Impl* im = impl();
    if (!im) return nullptr;
    std::shared_lock lock(im->mutex);
    const Channel* c = im->channel(chan);
    if (!c) return nullptr;
    if (c->parm) return toId(c->parm->env[static_cast<size_t>(c->component)]);
    return toId(c->env);
}

int ciSetChannelEvent(LWChannelID chan, LWChanEventFunc ev, void* data) {
    Animation::Impl* im = impl();
    if (!im) return 0;
    std::unique_lock lock(im->mutex);
    Channel* c = im->channel(chan);
    if (!c) return 0;
    c->event = ev;
    c->eventData = ev ? data : nullptr;
    return 1;
}

// The idx-th server (from 1) of a class on a channel; call under the lock.
const AppliedServer* findServer(const Channel* c, const char* cls, int idx) {
    if (!c || !cls || idx < 1) return nullptr;
    for (const AppliedServer& s : c->servers)
        if (s.cls == cls && --idx == 0) return &s;
    return nullptr;
}

const char* ciServer(LWChannelID chan, const char* cls, int idx) {
    Animation::Impl* im = impl();
    if (!im) return nullptr;
    std::shared_lock lock(im->mutex);
    const AppliedServer* s = findServer(im->channel(chan), cls, idx);
    return s ? s->name.c_str() : nullptr;
}

unsigned int ciServerFlags(LWChannelID chan, const char* cls, int idx) {
    Animation::Impl* im = impl();
    if (!im) return 0;
    std::shared_lock lock(im->mutex);
    const AppliedServer* s = findServer(im->channel(chan), cls, idx);
    return s ? s->flags : 0;
}

LWInstance ciServerInstance(LWChannelID chan, const char* cls, int idx) {
    Animation::Impl* im = impl();
    if (!im) return nullptr;
    std::shared_lock lock(im->mutex);
    const AppliedServer* s = findServer(im->channel(chan), cls, idx);
    return s ? s->instance : nullptr;
}

// Activation and the instance's creation run unlocked: the server's code
// may use the host's services.
int ciServerApply(LWChannelID chan, const char* cls, const char* name, int flags) {
    Animation::Impl* im = impl();
    if (!im || !im->host || !cls || !name || std::strcmp(cls, LWCHANNEL_HCLASS) != 0) return 0;
    {
        std::shared_lock lock(im->mutex);
        if (!im->channel(chan)) return 0;
    }
    ChannelHandlerRecords records;
    try {
        if (records.activate(*im->host, name) != AFUNC_OK) return 0;
    } catch (const HostError&) {
        return 0;  // no loaded module serves the name
    }
    LWInstance instance = im->host->instances().create(&records.inst, records.items(), chan);
    if (!instance) return 0;
    Events events(im);
    int index = 0;
    {
        std::unique_lock lock(im->mutex);
        Channel* c = im->channel(chan);
        if (c) {
            c->servers.push_back({cls, name, static_cast<unsigned int>(flags), instance, records.local.evaluate});
            index = static_cast<int>(std::count_if(c->servers.begin(), c->servers.end(),
                                                   [&](const AppliedServer& s) { return s.cls == cls; }));
            events.add(c, LWCEVNT_VALUE);
        } else {
            events.deadInstances.push_back(instance);  // the channel went meanwhile
        }
    }
    events.fire();
    return index;
}

void ciServerRemove(LWChannelID chan, const char* cls, const char* name, LWInstance inst) {
    Animation::Impl* im = impl();
    if (!im || !cls || !name) return;
    Events events(im);
    {
        std::unique_lock lock(im->mutex);
        Channel* c = im->channel(chan);
        if (!c) return;
        auto it = std::find_if(c->servers.begin(), c->servers.end(), [&](const AppliedServer& s) {
            return s.cls == cls && s.name == name && (!inst || s.instance == inst);
        });
        if (it == c->servers.end()) return;
        events.deadInstances.push_back(it->instance);
        c->servers.erase(it);
        events.add(c, LWCEVNT_VALUE);
    }
    events.fire();
}

// ======================================================== "LWVParmFuncs 2"

LWVParmID vpCreate(int envType, int texType) {
    Animation::Impl* im = impl();
    if (!im || !validKind(envType) || !validTexType(texType)) return nullptr;
    std::unique_lock lock(im->mutex);
    auto p = std::make_unique<Parameter>();
    p->kind = envType;
    p->texType = texType;
    p->count = componentsOf(envType);
    Parameter* raw = p.get();
    im->parameters.emplace(raw, std::move(p));
    im->parameterOrder.push_back(raw);
    return raw;
}

void vpDestroy(LWVParmID parm) {
    Animation::Impl* im = impl();
    if (!im) return;
    Events events(im);
    {
        std::unique_lock lock(im->mutex);
        Parameter* p = im->parameter(parm);
        if (!p) return;
        im->dropParameter(p, &events);
    }
    events.fire();
}

void vpSetup(LWVParmID parm, const char* channelName, LWChanGroupID group, LWTxtrContextID gc,
             LWVP_EventFunc* eventFunc, const char* pluginName, void* userData) {
    Animation::Impl* im = impl();
    if (!im) return;
    LWTextureID texture = nullptr;
    LWChanGroupID textureGroup = nullptr;
    Events events(im);
    {
        std::unique_lock lock(im->mutex);
        Parameter* p = im->parameter(parm);
        if (!p) return;
        p->channelName = channelName ? channelName : "";
        p->pluginName = pluginName ? pluginName : "";
        p->context = gc;
        p->event = eventFunc;
        p->userData = userData;
        im->dropParameterChannels(p, &events);
        p->group = im->group(group);
        im->makeParameterChannels(p);
        for (int c = 0; c < p->count; ++c)
            if (Envelope* e = p->env[static_cast<size_t>(c)]) e->name = componentName(*p, c);
        texture = p->texture;
        textureGroup = toId(p->group);
    }
    events.fire();
    if (texture && im->textures()) im->textures()->setGroup(texture, textureGroup);
}

// Gives the parameter a texture when it may have one and has none yet. The
// texture is made unlocked and named like the parameter.
void giveTexture(Animation::Impl* im, LWVParmID parm, Events& events) {
    Textures* textures = im->textures();
    if (!textures) return;
    int type = LWVPDT_NOTXTR;
    std::string name;
    LWTxtrContextID context = nullptr;
    void* userData = nullptr;
    LWChanGroupID group = nullptr;
    {
        std::shared_lock lock(im->mutex);
        const Parameter* p = im->parameter(parm);
        if (!p || p->texture || p->texType == LWVPDT_NOTXTR) return;
        type = p->texType;
        name = p->channelName;
        context = p->context;
        userData = p->userData;
        group = toId(p->group);
    }
    // The textures take their own lock, and call into this model under it:
    // they are asked only once this model's lock is released.
    if (!textures->isContext(context)) context = nullptr;
    LWTextureID made = textures->create(type, name.c_str(), context, userData);
    if (!made) return;
    textures->setGroup(made, group);
    std::unique_lock lock(im->mutex);
    Parameter* p = im->parameter(parm);
    if (!p || p->texture) {
        events.deadTextures.push_back(made);  // destroyed or textured meanwhile
        return;
    }
    p->texture = made;
    p->state |= LWVPSF_TEX;
    events.add(p, LWVPEC_TEXNEW);
}

LWError vpCopy(LWVParmID to, LWVParmID from) {
    Animation::Impl* im = impl();
    if (!im || to == from) return nullptr;
    Events events(im);
    LWTextureID fromTexture = nullptr;
    {
        std::unique_lock lock(im->mutex);
        Parameter* t = im->parameter(to);
        const Parameter* f = im->parameter(from);
        if (!t || !f) return nullptr;
        if (t->kind != f->kind) {
            // Another kind may have another number of components and other
            // channel names: the target's envelopes and channels are remade.
            im->dropParameterEnvelopes(t, &events);
            im->dropParameterChannels(t, &events);
            t->kind = f->kind;
            t->count = f->count;
            im->makeParameterChannels(t);
        }
        if (t->texType != f->texType || !f->texture) im->dropParameterTexture(t, &events);
        t->texType = f->texType;
        t->value = f->value;
        if (f->state & LWVPSF_ENV) {
            im->envelopParameter(t, &events);
            for (int c = 0; c < t->count; ++c)
                im->copyEnvelope(t->env[static_cast<size_t>(c)], f->env[static_cast<size_t>(c)]);
        } else {
            im->dropParameterEnvelopes(t, &events);
        }
        im->parameterChanged(t, &events);
        fromTexture = f->texture;
    }
    if (fromTexture) {
        giveTexture(im, to, events);
        LWTextureID target = nullptr;
        {
            std::shared_lock lock(im->mutex);
            if (const Parameter* t = im->parameter(to)) target = t->texture;
        }
        if (target) im->textures()->copy(target, fromTexture);
    }
    events.fire();
    return nullptr;
}

LWError vpLoad(LWVParmID parm, const LWLoadState* load) {
    Animation::Impl* im = impl();
    if (!im || !parm) return nullptr;
    {
        std::shared_lock lock(im->mutex);
        if (!im->parameter(parm)) return nullptr;
    }
    if (!load) return "No load state";
    ParameterData data;
    if (LWError error = loadParameterData(load, im->textures(), data)) return error;

    Events events(im);
    bool textured = false;
    {
        std::unique_lock lock(im->mutex);
        Parameter* p = im->parameter(parm);
        if (!p) return nullptr;
        const int shared = std::min(p->count, componentsOf(data.kind));
        for (int c = 0; c < shared; ++c) p->value[static_cast<size_t>(c)] = data.value[c];
        if (data.state & LWVPSF_ENV) {
            im->envelopParameter(p, &events);
            for (int c = 0; c < p->count; ++c) {
                Envelope* e = p->env[static_cast<size_t>(c)];
                if (c < shared) {
                    const EnvelopeData& d = data.envelopes.at(c);
                    im->setKeys(e, d.keys, d.pre, d.post);
                } else {
                    Key k;
                    k.value = p->value[static_cast<size_t>(c)];
                    im->setKeys(e, {k}, kBehaviourConstant, kBehaviourConstant);
                }
            }
        } else {
            im->dropParameterEnvelopes(p, &events);
        }
        im->parameterChanged(p, &events);
        // A parameter made without a texture type keeps having no texture.
        textured = (data.state & LWVPSF_TEX) && p->texType != LWVPDT_NOTXTR;
        if (!textured) im->dropParameterTexture(p, &events);
    }
    if (textured) {
        giveTexture(im, parm, events);
        LWTextureID texture = nullptr;
        {
            std::shared_lock lock(im->mutex);
            if (const Parameter* p = im->parameter(parm)) texture = p->texture;
        }
        if (texture) im->textures()->setLayers(texture, data.layers);
    }
    events.fire();
    return nullptr;
}

LWError vpSave(LWVParmID parm, const LWSaveState* save) {
    Animation::Impl* im = impl();
    if (!im) return nullptr;
    LWTextureID texture = nullptr;
    {
        std::shared_lock lock(im->mutex);
        const Parameter* p = im->parameter(parm);
        if (!p) return nullptr;
        if (!save) return "No save state";
        const int32_t kind = p->kind;
        saveI4(save, kKind, &kind, 1);
        LWSAVE_BEGIN(save, &kValue, 1);
        LWSAVE_DP(save, p->value.data(), p->count);
        LWSAVE_END(save);
        const int32_t state = p->state;
        saveI4(save, kState, &state, 1);
        if (p->state & LWVPSF_ENV) {
            for (int c = 0; c < p->count; ++c) {
                LWSAVE_BEGIN(save, &kCompEnv, 0);
                const int32_t index = c;
                saveI4(save, kCompIndex, &index, 1);
                saveEnvelopeBlocks(save, *p->env[static_cast<size_t>(c)]);
                LWSAVE_END(save);
            }
        }
        texture = p->texture;
    }
    // The texture's layers are written unlocked: the texture looks items up.
    if (texture) {
        LWSAVE_BEGIN(save, &kTexture, 0);
        im->textures()->save(texture, save);
        LWSAVE_END(save);
    }
    return nullptr;
}

double vpGetVal(LWVParmID parm, LWTime time, LWMicropolID mp, double* result) {
    Animation::Impl* im = impl();
    if (!im || !result) return 0.0;
    LWTextureID texture = nullptr;
    {
        std::shared_lock lock(im->mutex);
        const Parameter* p = im->parameter(parm);
        if (!p) return 0.0;
        for (int c = 0; c < p->count; ++c) result[c] = im->componentValue(p, c, time);
        texture = p->texture;
    }
    // Without a micropolygon the texture does not count.
    return texture && mp ? im->textures()->evaluate(texture, mp, result) : 0.0;
}

int vpSetVal(LWVParmID parm, double* value) {
    Animation::Impl* im = impl();
    if (!im || !value) return 0;
    Events events(im);
    int count = 0;
    {
        std::unique_lock lock(im->mutex);
        Parameter* p = im->parameter(parm);
        if (!p || (p->state & LWVPSF_ENV)) return 0;
        for (int c = 0; c < p->count; ++c) p->value[static_cast<size_t>(c)] = value[c];
        im->parameterChanged(p, &events);
        count = p->count;
    }
    events.fire();
    return count;
}

int vpGetState(LWVParmID parm) {
    Animation::Impl* im = impl();
    if (!im) return 0;
    std::shared_lock lock(im->mutex);
    const Parameter* p = im->parameter(parm);
    return p ? p->state : 0;
}

void vpSetState(LWVParmID parm, int state) {
    Animation::Impl* im = impl();
    if (!im) return;
    Events events(im);
    {
        std::unique_lock lock(im->mutex);
        Parameter* p = im->parameter(parm);
        if (!p) return;
        if (state & LWVPSF_ENV) im->envelopParameter(p, &events);
        else im->dropParameterEnvelopes(p, &events);
        if (!(state & LWVPSF_TEX)) im->dropParameterTexture(p, &events);
    }
    if (state & LWVPSF_TEX) giveTexture(im, parm, events);
    events.fire();
}

void vpEditEnv(LWVParmID parm) {
    Animation::Impl* im = impl();
    if (!im) return;
    std::unique_lock lock(im->mutex);
    const Parameter* p = im->parameter(parm);
    if (p && (p->state & LWVPSF_ENV)) ++im->edits[parm];
}

void vpEditTex(LWVParmID parm) {
    Animation::Impl* im = impl();
    if (!im) return;
    std::unique_lock lock(im->mutex);
    const Parameter* p = im->parameter(parm);
    if (p && p->texture) ++im->edits[p->texture];
}

void vpInitMP(LWMicropolID mp) {
    if (!mp) return;
    std::memset(mp, 0, sizeof *mp);
    for (int i = 0; i < 3; ++i) mp->oXfrm[i * 4] = mp->wXfrm[i * 4] = 1.0;
    mp->context = TCC_ANY;
}

void vpGetEnv(LWVParmID parm, LWEnvelopeID envlist[3]) {
    Animation::Impl* im = impl();
    if (!envlist) return;
    for (size_t c = 0; c < 3; ++c) envlist[c] = nullptr;
    if (!im) return;
    std::shared_lock lock(im->mutex);
    const Parameter* p = im->parameter(parm);
    if (!p) return;
    for (size_t c = 0; c < 3; ++c) envlist[c] = toId(p->env[c]);
}

LWTextureID vpGetTex(LWVParmID parm) {
    Animation::Impl* im = impl();
    if (!im) return nullptr;
    std::shared_lock lock(im->mutex);
    const Parameter* p = im->parameter(parm);
    return p ? p->texture : nullptr;
}

}  // namespace

// =============================================================== Animation

Animation::Animation() : impl_(std::make_unique<Impl>()) {
    impl_->envelopeFuncs = {envCreate,    envDestroy,    envCreateGroup, envDestroyGroup, envCopy,
                            envLoad,      envSave,       envEvaluate,    envEdit,         envAge,
                            envCreateKey, envDestroyKey, envFindKey,     envNextKey,      envPrevKey,
                            envKeySet,    envKeyGet,     envSetEvent,    envEgSet,        envEgGet};
    impl_->channelInfo = {ciNextGroup,      ciNextChannel,     ciGroupName,       ciChannelName,
                          ciGroupParent,    ciChannelParent,   ciChannelType,     ciChannelEvaluate,
                          ciChannelEnvelope, ciSetChannelEvent, ciServer,         ciServerFlags,
                          ciServerInstance, ciServerApply,     ciServerRemove};
    impl_->vparmFuncs = {vpCreate,   vpDestroy,  vpSetup,   vpCopy,    vpLoad,   vpSave,  vpGetVal,   vpSetVal,
                         vpGetState, vpSetState, vpEditEnv, vpEditTex, vpInitMP, vpGetEnv, vpGetTex};
    g_impl.store(impl_.get());
}

Animation::~Animation() {
    Impl* expected = impl_.get();
    g_impl.compare_exchange_strong(expected, nullptr);
    // Plug-in modules are gone by now: no event functions are called.
    std::unique_lock lock(impl_->mutex);
    impl_->clear();
}

void Animation::registerWith(Host& host) {
    impl_->host = &host;
    host.registerService(LWENVELOPEFUNCS_GLOBAL, &impl_->envelopeFuncs);
    host.registerService(LWCHANNELINFO_GLOBAL, &impl_->channelInfo);
    host.registerService(LWVPARMFUNCS_GLOBAL, &impl_->vparmFuncs);
}

const LWEnvelopeFuncs* Animation::envelopeFuncs() const { return &impl_->envelopeFuncs; }
const LWChannelInfo* Animation::channelInfo() const { return &impl_->channelInfo; }
const LWVParmFuncs* Animation::vparmFuncs() const { return &impl_->vparmFuncs; }

int Animation::liveGroups() const {
    std::shared_lock lock(impl_->mutex);
    return static_cast<int>(impl_->groups.size());
}

int Animation::liveChannels() const {
    std::shared_lock lock(impl_->mutex);
    return static_cast<int>(impl_->channels.size());
}

int Animation::liveEnvelopes() const {
    std::shared_lock lock(impl_->mutex);
    return static_cast<int>(impl_->envelopes.size());
}

int Animation::liveParameters() const {
    std::shared_lock lock(impl_->mutex);
    return static_cast<int>(impl_->parameters.size());
}

int Animation::liveKeys() const {
    std::shared_lock lock(impl_->mutex);
    return impl_->keys;
}

void Animation::clear() {
    std::unique_lock lock(impl_->mutex);
    impl_->clear();
}

LWChanGroupID Animation::createGroup(LWChanGroupID parent, const std::string& name) {
    std::unique_lock lock(impl_->mutex);
    Group* p = nullptr;
    if (parent && !(p = impl_->group(parent))) throw HostError("createGroup: unknown parent group");
    return toId(impl_->makeGroup(p, name.c_str()));
}

LWChanGroupID Animation::createHostGroup(const std::string& name) {
    std::unique_lock lock(impl_->mutex);
    Group* g = impl_->makeGroup(nullptr, name.c_str());
    g->hostOwned = true;
    return toId(g);
}

void Animation::destroyGroup(LWChanGroupID group) { hostsim::destroyGroup(impl_.get(), group, true); }

void Animation::renameGroup(LWChanGroupID group, const std::string& name) {
    Events events(impl_.get());
    {
        std::unique_lock lock(impl_->mutex);
        Group* g = impl_->group(group);
        if (!g || g->name == name) return;
        g->name = name;
        // The paths of the channels below change as well.
        std::vector<const Group*> todo{g};
        while (!todo.empty()) {
            const Group* x = todo.back();
            todo.pop_back();
            for (const Channel* c : x->channels) events.add(c, LWEEVNT_RENAME, group);
            todo.insert(todo.end(), x->children.begin(), x->children.end());
        }
    }
    events.fire();
}

LWChannelID Animation::addChannel(LWChanGroupID group, const std::string& name, int type, ChannelSource source) {
    std::unique_lock lock(impl_->mutex);
    Group* g = impl_->group(group);
    if (!g) throw HostError("addChannel: unknown group");
    Channel* c = impl_->makeChannel(g, name, type);
    c->source = std::move(source);
    return toId(c);
}

void Animation::valueChanged(LWChanGroupID group) {
    Events events(impl_.get());
    {
        std::shared_lock lock(impl_->mutex);
        if (const Group* g = impl_->group(group))
            for (const Channel* c : g->channels) events.add(c, LWCEVNT_VALUE);
    }
    events.fire();
}

void Animation::removeServers() {
    Events events(impl_.get());
    {
        std::unique_lock lock(impl_->mutex);
        for (auto& [id, c] : impl_->channels) {
            for (const AppliedServer& s : c->servers) events.deadInstances.push_back(s.instance);
            c->servers.clear();
        }
    }
    events.fire();
}

LWChanGroupID Animation::findGroup(const std::string& path) const {
    std::shared_lock lock(impl_->mutex);
    const std::vector<Group*>* list = &impl_->roots;
    Group* found = nullptr;
    size_t start = 0;
    while (true) {
        const size_t slash = path.find('/', start);
        const std::string name = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        found = nullptr;
        for (Group* g : *list)
            if (g->name == name) {
                found = g;
                break;
            }
        if (!found) return nullptr;
        if (slash == std::string::npos) break;
        list = &found->children;
        start = slash + 1;
    }
    return toId(found);
}

std::string Animation::groupPath(LWChanGroupID group) const {
    std::shared_lock lock(impl_->mutex);
    const Group* g = impl_->group(group);
    std::string path;
    for (; g; g = g->parent) path = path.empty() ? g->name : g->name + "/" + path;
    return path;
}

std::vector<std::string> Animation::childGroupNames(LWChanGroupID parent) const {
    std::shared_lock lock(impl_->mutex);
    std::vector<std::string> names;
    const std::vector<Group*>* list = &impl_->roots;
    if (parent) {
        const Group* p = impl_->group(parent);
        if (!p) return names;
        list = &p->children;
    }
    for (const Group* g : *list) names.push_back(g->name);
    return names;
}

std::vector<std::string> Animation::channelNames(LWChanGroupID group) const {
    std::shared_lock lock(impl_->mutex);
    std::vector<std::string> names;
    if (const Group* g = impl_->group(group))
        for (const Channel* c : g->channels) names.push_back(c->name);
    return names;
}

LWChannelID Animation::findChannel(LWChanGroupID group, const std::string& name) const {
    std::shared_lock lock(impl_->mutex);
    if (const Group* g = impl_->group(group))
        for (Channel* c : g->channels)
            if (c->name == name) return toId(c);
    return nullptr;
}

bool Animation::isParameter(LWVParmID parm) const {
    std::shared_lock lock(impl_->mutex);
    return impl_->parameter(parm) != nullptr;
}

std::vector<LWVParmID> Animation::parameters() const {
    std::shared_lock lock(impl_->mutex);
    std::vector<LWVParmID> list;
    for (Parameter* p : impl_->parameterOrder) list.push_back(static_cast<LWVParmID>(p));
    return list;
}

LWVParmID Animation::findParameter(LWChanGroupID group, const std::string& channelName) const {
    std::shared_lock lock(impl_->mutex);
    if (const Group* g = impl_->group(group))
        for (const Channel* c : g->channels)
            if (c->parm && (c->name == channelName || c->parm->channelName == channelName))
                return static_cast<LWVParmID>(c->parm);
    return nullptr;
}

ParameterInfo Animation::parameter(LWVParmID parm) const {
    std::shared_lock lock(impl_->mutex);
    const Parameter* p = impl_->parameter(parm);
    if (!p) throw HostError("unknown animated parameter");
    ParameterInfo info;
    info.kind = p->kind;
    info.components = p->count;
    for (int c = 0; c < p->count; ++c) info.value[static_cast<size_t>(c)] = p->value[static_cast<size_t>(c)];
    info.state = p->state;
    info.channelName = p->channelName;
    info.pluginName = p->pluginName;
    info.group = toId(p->group);
    info.texType = p->texType;
    info.context = p->context;
    info.texture = p->texture;
    for (size_t c = 0; c < 3; ++c) info.envelopes[c] = toId(p->env[c]);
    return info;
}

std::array<double, 3> Animation::parameterValue(LWVParmID parm, double time) const {
    std::shared_lock lock(impl_->mutex);
    const Parameter* p = impl_->parameter(parm);
    if (!p) throw HostError("unknown animated parameter");
    std::array<double, 3> v{};
    for (int c = 0; c < p->count; ++c) v[static_cast<size_t>(c)] = impl_->componentValue(p, c, time);
    return v;
}

bool Animation::isEnveloped(LWVParmID parm) const {
    std::shared_lock lock(impl_->mutex);
    const Parameter* p = impl_->parameter(parm);
    return p && (p->state & LWVPSF_ENV);
}

int Animation::editRequests(const void* object) const {
    std::shared_lock lock(impl_->mutex);
    auto it = impl_->edits.find(object);
    return it == impl_->edits.end() ? 0 : it->second;
}

bool Animation::isEnvelope(LWEnvelopeID env) const {
    std::shared_lock lock(impl_->mutex);
    return impl_->envelope(env) != nullptr;
}

int Animation::keyCount(LWEnvelopeID env) const {
    std::shared_lock lock(impl_->mutex);
    const Envelope* e = impl_->envelope(env);
    return e ? static_cast<int>(e->keys.size()) : 0;
}

double Animation::evaluate(LWEnvelopeID env, double time) const {
    std::shared_lock lock(impl_->mutex);
    const Envelope* e = impl_->envelope(env);
    return e ? evaluateKeys(e->keys, e->pre, e->post, time) : 0.0;
}

}  // namespace hostsim
