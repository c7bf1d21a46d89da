#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "animation.h"
#include "file_io.h"
#include "host.h"
#include "lwenvel.h"
#include "lwserver.h"
#include "lwtxtr.h"
#include "lwvparm.h"
#include "textures.h"

namespace {

using hostsim::LoadState;
using hostsim::SaveState;

const LWBlockIdent kQual{LWID_('Q', 'U', 'A', 'L'), "Quality"};
const LWBlockIdent kNext{LWID_('N', 'E', 'X', 'T'), "Next"};
const LWBlockIdent kEndIds{0, nullptr};

struct KeySpec {
    double time;
    double value;
    int shape = hostsim::kShapeTcb;
};

class Animation : public ::testing::Test {
protected:
    template <typename T>
    static const T* service(const char* name) {
        return static_cast<const T*>(hostsim::Host::lookupFunction()(name, GFUSE_TRANSIENT));
    }

    LWEnvelopeID keyed(const std::vector<KeySpec>& keys, LWChanGroupID group = nullptr, const char* name = "E") {
        LWEnvelopeID e = env->create(group, name, LWET_FLOAT);
        addKeys(e, keys);
        return e;
    }
    void addKeys(LWEnvelopeID e, const std::vector<KeySpec>& keys) {
        for (const KeySpec& k : keys) {
            LWEnvKeyframeID key = env->createKey(e, k.time, k.value);
            int shape = k.shape;
            EXPECT_EQ(env->keySet(e, key, LWKEY_SHAPE, &shape), 1);
        }
    }
    void setBehaviours(LWEnvelopeID e, int pre, int post) {
        EXPECT_EQ(env->egSet(e, nullptr, LWENVTAG_PREBEHAVE, &pre), 1);
        EXPECT_EQ(env->egSet(e, nullptr, LWENVTAG_POSTBEHAVE, &post), 1);
    }
    void setKey(LWEnvelopeID e, LWEnvKeyframeID key, LWKeyTag tag, double v) {
        EXPECT_EQ(env->keySet(e, key, tag, &v), 1);
    }
    LWEnvKeyframeID keyAt(LWEnvelopeID e, int index) {
        LWEnvKeyframeID k = env->nextKey(e, nullptr);
        for (int i = 0; i < index && k; ++i) k = env->nextKey(e, k);
        return k;
    }
    std::vector<double> keyTimes(LWEnvelopeID e) {
        std::vector<double> times;
        for (LWEnvKeyframeID k = env->nextKey(e, nullptr); k; k = env->nextKey(e, k)) {
            double t = 0;
            env->keyGet(e, k, LWKEY_TIME, &t);
            times.push_back(t);
        }
        return times;
    }
    // The value getVal gives, as many components as the parameter has.
    std::vector<double> get(LWVParmID p, double time) {
        double v[3] = {-1, -1, -1};
        EXPECT_EQ(vp->getVal(p, time, nullptr, v), 0.0);  // no texture counts without a micropolygon
        const int n = host.animation().isParameter(p) ? host.animation().parameter(p).components : 0;
        return std::vector<double>(v, v + n);
    }
    // The envelopes getEnv gives, up to the first null.
    std::vector<LWEnvelopeID> envelopes(LWVParmID p) {
        LWEnvelopeID e[3] = {};
        vp->getEnv(p, e);
        std::vector<LWEnvelopeID> out;
        for (LWEnvelopeID x : e)
            if (x) out.push_back(x);
        return out;
    }
    LWVParmID param(int kind, const char* name, LWChanGroupID group, std::vector<double> value) {
        LWVParmID p = vp->create(kind, LWVPDT_NOTXTR);
        vp->setup(p, name, group, nullptr, nullptr, "KorvalithPro", nullptr);
        value.resize(3);
        vp->setVal(p, value.data());
        return p;
    }
    // Everything a parameter holds, flattened, to compare two parameters.
    std::vector<double> contents(LWVParmID p) {
        const hostsim::ParameterInfo info = host.animation().parameter(p);
        std::vector<double> out{double(info.kind), double(info.state)};
        out.insert(out.end(), info.value.begin(), info.value.begin() + info.components);
        const std::vector<LWEnvelopeID> envs = envelopes(p);
        for (size_t c = 0; c < envs.size(); ++c) {
            int pre = -1, post = -1, count = -1;
            env->egGet(envs[c], nullptr, LWENVTAG_PREBEHAVE, &pre);
            env->egGet(envs[c], nullptr, LWENVTAG_POSTBEHAVE, &post);
            env->egGet(envs[c], nullptr, LWENVTAG_KEYCOUNT, &count);
            out.insert(out.end(), {double(pre), double(post), double(count)});
            for (LWEnvKeyframeID k = env->nextKey(envs[c], nullptr); k; k = env->nextKey(envs[c], k)) {
                int shape = -1;
                env->keyGet(envs[c], k, LWKEY_SHAPE, &shape);
                out.push_back(shape);
                for (LWKeyTag tag : {LWKEY_TIME, LWKEY_VALUE, LWKEY_TENSION, LWKEY_CONTINUITY, LWKEY_BIAS,
                                     LWKEY_PARAM_0, LWKEY_PARAM_1, LWKEY_PARAM_2, LWKEY_PARAM_3}) {
                    double v = -99;
                    env->keyGet(envs[c], k, tag, &v);
                    out.push_back(v);
                }
            }
        }
        return out;
    }

    // The parameter saved inside a group block of the caller, followed by a
    // sibling block that a reader must still find.
    std::string save(LWVParmID p, int mode) {
        SaveState s(mode);
        LWSAVE_BEGIN(s.state(), &kQual, 0);
        EXPECT_EQ(vp->save(p, s.state()), nullptr);
        LWSAVE_END(s.state());
        LWSAVE_BEGIN(s.state(), &kNext, 1);
        const int32_t marker = 4242;
        LWSAVE_I4(s.state(), &marker, 1);
        LWSAVE_END(s.state());
        EXPECT_TRUE(s.finish()) << s.error();
        return s.data();
    }
    // Loads the parameter from the caller's block; marker gets the sibling's value.
    LWError load(LWVParmID p, const std::string& data, int mode, int32_t* marker = nullptr) {
        LoadState l(data, mode);
        const LWBlockIdent ids[] = {kQual, kNext, kEndIds};
        LWError error = "block not found";
        while (LWID id = LWLOAD_FIND(l.state(), ids)) {
            if (id == kQual.id) error = vp->load(p, l.state());
            else if (marker) LWLOAD_I4(l.state(), marker, 1);
            LWLOAD_END(l.state());
        }
        return error;
    }

    hostsim::Host host;
    const LWEnvelopeFuncs* env = service<LWEnvelopeFuncs>(LWENVELOPEFUNCS_GLOBAL);
    const LWChannelInfo* ci = service<LWChannelInfo>(LWCHANNELINFO_GLOBAL);
    const LWVParmFuncs* vp = service<LWVParmFuncs>(LWVPARMFUNCS_GLOBAL);
};

// ============================================================ interpolation

TEST_F(Animation, LinearAndSteppedSpans) {
    // The later key's shape decides the span: 0 → 2 linear, 2 → 3 stepped,
    // 3 → 5 linear again.
    LWEnvelopeID e = keyed({{0, 0}, {2, 4, hostsim::kShapeLinear}, {3, 10, hostsim::kShapeStepped}, {5, 0, hostsim::kShapeLinear}});
    const struct {
        double time, expected;
    } cases[] = {
        {0.5, 1.0}, {1.0, 2.0}, {2.0, 4.0},  {2.5, 4.0}, {2.999999, 4.0},
        {3.0, 10.0}, {4.0, 5.0}, {4.5, 2.5}, {5.0, 0.0},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(env->evaluate(e, c.time), c.expected) << "t=" << c.time;
}

TEST_F(Animation, TcbPassesThroughEveryKeyWithContinuousSlope) {
    // Unevenly spaced keys: the spline must hit each key exactly and have the
    // same slope on both sides of every inner key.
    const std::vector<KeySpec> keys = {{0, 1}, {0.5, 3}, {2, -1}, {2.25, 0.5}, {4, 2}};
    LWEnvelopeID e = keyed(keys);
    for (const KeySpec& k : keys) EXPECT_DOUBLE_EQ(env->evaluate(e, k.time), k.value);
    const double h = 1e-6;
    for (size_t i = 1; i + 1 < keys.size(); ++i) {
        const double t = keys[i].time;
        const double left = (env->evaluate(e, t) - env->evaluate(e, t - h)) / h;
        const double right = (env->evaluate(e, t + h) - env->evaluate(e, t)) / h;
        EXPECT_NEAR(left, right, 1e-4) << "slope jumps at key " << i;
        // ...and the value does not jump either.
        EXPECT_NEAR(env->evaluate(e, t - h), env->evaluate(e, t + h), 1e-4);
    }
    // Between keys the curve is not a straight line.
    EXPECT_GT(std::fabs(env->evaluate(e, 1.25) - 1.0), 0.05);
}

TEST_F(Animation, TcbWithDefaultsIsCatmullRomAndTensionFlattensTangents) {
    const double p[4] = {0, 2, 1, 3};
    LWEnvelopeID e = keyed({{0, p[0]}, {1, p[1]}, {2, p[2]}, {3, p[3]}});
    for (double s : {0.1, 0.25, 0.5, 0.8}) {
        const double cr = 0.5 * (2 * p[1] + (-p[0] + p[2]) * s + (2 * p[0] - 5 * p[1] + 4 * p[2] - p[3]) * s * s +
                                 (-p[0] + 3 * p[1] - 3 * p[2] + p[3]) * s * s * s);
        EXPECT_NEAR(env->evaluate(e, 1 + s), cr, 1e-12) << "s=" << s;
    }
    // Two keys only: the spline is the straight line between them.
    LWEnvelopeID two = keyed({{0, 1}, {4, 9}});
    EXPECT_NEAR(env->evaluate(two, 1), 3, 1e-12);
    // Tension 1 everywhere: zero tangents, the smoothstep between keys.
    LWEnvelopeID tense = keyed({{0, 0}, {1, 1}, {2, 0}});
    for (int i = 0; i < 3; ++i) setKey(tense, keyAt(tense, i), LWKEY_TENSION, 1.0);
    EXPECT_NEAR(env->evaluate(tense, 0.25), 0.15625, 1e-12);
    EXPECT_NEAR(env->evaluate(tense, 1.5), 0.5, 1e-12);
}

TEST_F(Animation, HermiteAndBezierKeysFollowTheirTangents) {
    // Hermite slopes in value per second: flat ends give the smoothstep.
    LWEnvelopeID flat = keyed({{0, 0, hostsim::kShapeHermite}, {2, 2, hostsim::kShapeHermite}});
    setKey(flat, keyAt(flat, 0), LWKEY_PARAM_1, 0.0);
    setKey(flat, keyAt(flat, 1), LWKEY_PARAM_0, 0.0);
    EXPECT_NEAR(env->evaluate(flat, 0.5), 2 * 0.15625, 1e-12);
    // A slope of 1 at both ends of a line of slope 1 is that line.
    LWEnvelopeID line = keyed({{0, 0, hostsim::kShapeBezier}, {2, 2, hostsim::kShapeBezier}});
    setKey(line, keyAt(line, 0), LWKEY_PARAM_1, 1.0);
    setKey(line, keyAt(line, 1), LWKEY_PARAM_0, 1.0);
    EXPECT_NEAR(env->evaluate(line, 0.7), 0.7, 1e-12);
    // Time-and-value handles a third of the way along the chord: a line too.
    LWEnvelopeID bez = keyed({{0, 0, hostsim::kShapeBezier2D}, {3, 6, hostsim::kShapeBezier2D}});
    setKey(bez, keyAt(bez, 0), LWKEY_PARAM_2, 1.0);
    setKey(bez, keyAt(bez, 0), LWKEY_PARAM_3, 2.0);
    setKey(bez, keyAt(bez, 1), LWKEY_PARAM_0, -1.0);
    setKey(bez, keyAt(bez, 1), LWKEY_PARAM_1, -2.0);
    EXPECT_NEAR(env->evaluate(bez, 1.3), 2.6, 1e-9);
    // Flat handles ease in and out: below the line early, above it late.
    setKey(bez, keyAt(bez, 0), LWKEY_PARAM_3, 0.0);
    setKey(bez, keyAt(bez, 1), LWKEY_PARAM_1, 0.0);
    EXPECT_LT(env->evaluate(bez, 0.5), 1.0);
    EXPECT_GT(env->evaluate(bez, 2.5), 5.0);
    EXPECT_NEAR(env->evaluate(bez, 1.5), 3.0, 1e-9);
}

TEST_F(Animation, PreAndPostBehaviours) {
    // A line from (0, 2) to (1, 10), slope 8.
    const struct {
        int behaviour;
        double time, expected;
    } cases[] = {
        {hostsim::kBehaviourReset, -0.5, 0},      {hostsim::kBehaviourReset, 1.5, 0},      {hostsim::kBehaviourConstant, -0.5, 2},
        {hostsim::kBehaviourConstant, 7, 10},     {hostsim::kBehaviourRepeat, 1.25, 4},    {hostsim::kBehaviourRepeat, -0.75, 4},
        {hostsim::kBehaviourRepeat, 10.5, 6},     {hostsim::kBehaviourOscillate, 1.25, 8}, {hostsim::kBehaviourOscillate, 2.25, 4},
        {hostsim::kBehaviourOscillate, -0.25, 4}, {hostsim::kBehaviourOffsetRepeat, 1.25, 12},   {hostsim::kBehaviourOffsetRepeat, -0.75, -4},
        {hostsim::kBehaviourOffsetRepeat, 3.5, 30},     {hostsim::kBehaviourLinear, 2, 18},      {hostsim::kBehaviourLinear, -1, -6},
    };
    for (const auto& c : cases) {
        LWEnvelopeID e = keyed({{0, 2}, {1, 10, hostsim::kShapeLinear}});
        setBehaviours(e, c.behaviour, c.behaviour);
        EXPECT_NEAR(env->evaluate(e, c.time), c.expected, 1e-9) << "behaviour " << c.behaviour << " t=" << c.time;
        env->destroy(e);
    }
    // Linear extension of a curve continues along its end slope.
    LWEnvelopeID curve = keyed({{0, 0}, {1, 1}, {2, 0}});
    setBehaviours(curve, hostsim::kBehaviourLinear, hostsim::kBehaviourLinear);
    const double h = 1e-6;
    for (double end : {0.0, 2.0}) {
        const double inside = end == 0 ? (env->evaluate(curve, h) - env->evaluate(curve, 0)) / h
                                       : (env->evaluate(curve, 2) - env->evaluate(curve, 2 - h)) / h;
        const double outside = end == 0 ? (env->evaluate(curve, 0) - env->evaluate(curve, -1)) / 1
                                        : (env->evaluate(curve, 3) - env->evaluate(curve, 2)) / 1;
        EXPECT_NEAR(inside, outside, 1e-4) << "end " << end;
    }
    // Without keys 0; one key holds its value except where reset.
    LWEnvelopeID none = env->create(nullptr, "none", LWET_FLOAT);
    EXPECT_EQ(env->evaluate(none, 3), 0.0);
    LWEnvelopeID one = keyed({{1, 5}});
    EXPECT_EQ(env->evaluate(one, -10), 5.0);
    EXPECT_EQ(env->evaluate(one, 10), 5.0);
    setBehaviours(one, hostsim::kBehaviourConstant, hostsim::kBehaviourReset);
    EXPECT_EQ(env->evaluate(one, 10), 0.0);
    EXPECT_EQ(env->evaluate(one, 1), 5.0);
    // Times that are not numbers give values that are.
    setBehaviours(curve, hostsim::kBehaviourRepeat, hostsim::kBehaviourOffsetRepeat);
    for (double t : {INFINITY, -INFINITY, NAN}) EXPECT_TRUE(std::isfinite(env->evaluate(curve, t)));
}

// ============================================================ keys and events

TEST_F(Animation, KeysStaySortedAndUnique) {
    LWEnvelopeID e = keyed({{2, 20}, {0, 0}, {1, 10}});
    EXPECT_EQ(keyTimes(e), (std::vector<double>{0, 1, 2}));
    EXPECT_EQ(host.animation().liveKeys(), 3);

    // A key at an existing time takes the value instead of adding a key.
    LWEnvKeyframeID k1 = env->findKey(e, 1);
    EXPECT_EQ(env->createKey(e, 1, 11), k1);
    EXPECT_EQ(env->evaluate(e, 1), 11);
    EXPECT_EQ(keyTimes(e).size(), 3u);

    // Moving a key in time re-sorts; onto another key's time is refused.
    double t = 5;
    EXPECT_EQ(env->keySet(e, k1, LWKEY_TIME, &t), 1);
    EXPECT_EQ(keyTimes(e), (std::vector<double>{0, 2, 5}));
    EXPECT_EQ(env->prevKey(e, nullptr), k1);
    t = 2;
    EXPECT_EQ(env->keySet(e, k1, LWKEY_TIME, &t), 0);
    t = NAN;
    EXPECT_EQ(env->keySet(e, k1, LWKEY_TIME, &t), 0);
    int shape = 9;
    EXPECT_EQ(env->keySet(e, k1, LWKEY_SHAPE, &shape), 0);
    EXPECT_EQ(env->createKey(e, INFINITY, 1), nullptr);
    EXPECT_EQ(env->findKey(e, 1), nullptr);

    // Every tag reads back what was set.
    for (LWKeyTag tag : {LWKEY_VALUE, LWKEY_TENSION, LWKEY_CONTINUITY, LWKEY_BIAS, LWKEY_PARAM_0, LWKEY_PARAM_1,
                         LWKEY_PARAM_2, LWKEY_PARAM_3}) {
        double in = 0.125 * (tag + 1), out = 0;
        EXPECT_EQ(env->keySet(e, k1, tag, &in), 1);
        EXPECT_EQ(env->keyGet(e, k1, tag, &out), 1);
        EXPECT_EQ(out, in) << "tag " << tag;
    }

    // A key of another envelope is not a key of this one.
    LWEnvelopeID other = keyed({{0, 0}});
    EXPECT_EQ(env->nextKey(e, env->nextKey(other, nullptr)), nullptr);
    double v = 1;
    EXPECT_EQ(env->keySet(e, env->nextKey(other, nullptr), LWKEY_VALUE, &v), 0);
    env->destroyKey(e, env->nextKey(other, nullptr));
    EXPECT_EQ(keyTimes(other).size(), 1u);

    env->destroyKey(e, k1);
    EXPECT_EQ(keyTimes(e), (std::vector<double>{0, 2}));
    env->destroy(e);
    env->destroy(other);
    EXPECT_EQ(host.animation().liveKeys(), 0);
    EXPECT_EQ(host.animation().liveEnvelopes(), 0);
}

TEST_F(Animation, EventsReportKeyChangesAfterTheyAreMade) {
    struct Seen {
        std::vector<int> events;
        std::vector<double> values;  // the envelope's value at 0 when told
        const LWEnvelopeFuncs* env;
    } seen{{}, {}, env};
    LWEnvelopeID e = env->create(nullptr, "E", LWET_FLOAT);
    const int age = env->envAge(e);
    env->setEnvEvent(
        e,
        [](void* data, LWEnvelopeID id, LWEnvEvent event, void*) {
            auto* s = static_cast<Seen*>(data);
            s->events.push_back(event);
            // Calling back into the service from the event must work.
            s->values.push_back(s->env->evaluate(id, 0));
            return 0;
        },
        &seen);
    LWEnvKeyframeID k = env->createKey(e, 0, 3);
    EXPECT_NE(env->envAge(e), age);
    double v = 4, t = 1;
    env->keySet(e, k, LWKEY_VALUE, &v);
    env->keySet(e, k, LWKEY_TIME, &t);
    env->destroyKey(e, k);
    env->destroy(e);
    EXPECT_EQ(seen.events, (std::vector<int>{LWEEVNT_KEY_INSERT, LWEEVNT_KEY_VALUE, LWEEVNT_KEY_TIME,
                                             LWEEVNT_KEY_DELETE, LWEEVNT_DESTROY}));
    EXPECT_EQ(seen.values, (std::vector<double>{3, 4, 4, 0, 0}));
}

// Records what a channel's event function is told, with the channel's
// value at time 1 when it is told (read back through the service).
struct ChannelEvents {
    const LWChannelInfo* ci;
    std::vector<int> events;
    std::vector<void*> data;
    std::vector<double> values;
    void clear() {
        events.clear();
        data.clear();
        values.clear();
    }
    static int tell(void* self, LWChannelID chan, int event, void* eventData) {
        auto* s = static_cast<ChannelEvents*>(self);
        s->events.push_back(event);
        s->data.push_back(eventData);
        s->values.push_back(s->ci->channelEvaluate(chan, 1.0));
        return 0;
    }
};

TEST_F(Animation, ChannelEventsFollowTheEnvelopeBehindTheChannel) {
    LWChanGroupID group = env->createGroup(nullptr, "G");
    LWEnvelopeID e = env->create(group, "X", LWET_FLOAT);
    LWChannelID chan = ci->nextChannel(group, nullptr);
    ChannelEvents seen{ci, {}, {}, {}};
    ASSERT_EQ(ci->setChannelEvent(chan, ChannelEvents::tell, &seen), 1);

    LWEnvKeyframeID k = env->createKey(e, 1.0, 5.0);
    setKey(e, k, LWKEY_VALUE, 6.0);
    int repeat = hostsim::kBehaviourRepeat, visible = 0;
    env->egSet(e, nullptr, LWENVTAG_POSTBEHAVE, &repeat);
    env->egSet(e, nullptr, LWENVTAG_VISIBLE, &visible);  // does not change the value
    LWEnvelopeID other = keyed({{0, 2}});
    env->copy(e, other);
    env->destroyKey(e, env->nextKey(e, nullptr));
    EXPECT_EQ(seen.events, std::vector<int>(5, LWCEVNT_VALUE));
    EXPECT_EQ(seen.values, (std::vector<double>{5, 6, 6, 2, 0}));  // told after each change

    // Renaming the group, with a subgroup, tells the channels in both.
    LWChanGroupID sub = env->createGroup(group, "Sub");
    env->create(sub, "Y", LWET_FLOAT);
    ChannelEvents subSeen{ci, {}, {}, {}};
    ci->setChannelEvent(ci->nextChannel(sub, nullptr), ChannelEvents::tell, &subSeen);
    seen.clear();
    host.animation().renameGroup(group, "Renamed");
    host.animation().renameGroup(group, "Renamed");  // no change, nothing told
    EXPECT_STREQ(ci->groupName(group), "Renamed");
    EXPECT_EQ(seen.events, std::vector<int>{LWEEVNT_RENAME});
    EXPECT_EQ(seen.data, std::vector<void*>{group});
    EXPECT_EQ(subSeen.events, std::vector<int>{LWEEVNT_RENAME});

    // The channel goes with its envelope; a removed event function hears
    // nothing more.
    ci->setChannelEvent(ci->nextChannel(sub, nullptr), nullptr, &subSeen);
    seen.clear();
    subSeen.clear();
    env->destroy(e);
    env->destroyGroup(group);
    EXPECT_EQ(seen.events, std::vector<int>{LWEEVNT_DESTROY});
    EXPECT_EQ(subSeen.events, std::vector<int>{});
}

TEST_F(Animation, ChannelEventsFollowTheParameterBehindTheChannel) {
    LWChanGroupID group = env->createGroup(nullptr, "G");
    LWVParmID p = param(LWVP_FLOAT, "Size", group, {2});
    LWChannelID chan = ci->nextChannel(group, nullptr);
    ChannelEvents seen{ci, {}, {}, {}};
    ci->setChannelEvent(chan, ChannelEvents::tell, &seen);

    double v[3] = {3, 0, 0};
    vp->setVal(p, v);
    vp->setState(p, LWVPSF_ENV);
    const std::vector<LWEnvelopeID> envs = envelopes(p);
    ASSERT_EQ(envs.size(), 1u);
    env->createKey(envs[0], 1.0, 7.0);
    vp->setState(p, 0);
    EXPECT_EQ(seen.events, (std::vector<int>{LWCEVNT_VALUE, LWCEVNT_CREATE, LWCEVNT_VALUE, LWCEVNT_VALUE}));
    EXPECT_EQ(seen.data[1], envs[0]);  // the envelope that came into being
    EXPECT_EQ(seen.values, (std::vector<double>{3, 3, 7, 3}));

    // A second setup makes new channels: the old one is destroyed, and its
    // event function does not pass to the new one.
    seen.clear();
    vp->setup(p, "Size", group, nullptr, nullptr, "KorvalithPro", nullptr);
    EXPECT_NE(ci->nextChannel(group, nullptr), nullptr);
    vp->setVal(p, v);
    EXPECT_EQ(seen.events, std::vector<int>{LWEEVNT_DESTROY});
}

// ============================================================ groups and channels

TEST_F(Animation, GroupsAndChannelsFormATree) {
    hostsim::Animation& a = host.animation();
    LWChanGroupID root = env->createGroup(nullptr, "KorvalithPro");
    LWChanGroupID scale = env->createGroup(root, "Scale");
    LWChanGroupID pos = env->createGroup(root, "Position");
    LWChanGroupID other = env->createGroup(nullptr, "Other");

    EXPECT_EQ(ci->nextGroup(nullptr, nullptr), root);
    EXPECT_EQ(ci->nextGroup(nullptr, root), other);
    EXPECT_EQ(ci->nextGroup(root, nullptr), scale);
    EXPECT_EQ(ci->nextGroup(root, scale), pos);
    EXPECT_EQ(ci->nextGroup(root, pos), nullptr);
    EXPECT_EQ(ci->nextGroup(other, scale), nullptr);  // not a child of other
    EXPECT_EQ(ci->groupParent(pos), root);
    EXPECT_STREQ(ci->groupName(pos), "Position");
    EXPECT_EQ(a.findGroup("KorvalithPro/Scale"), scale);
    EXPECT_EQ(a.findGroup("KorvalithPro/Nope"), nullptr);
    EXPECT_EQ(a.groupPath(scale), "KorvalithPro/Scale");
    EXPECT_EQ(a.childGroupNames(root), (std::vector<std::string>{"Scale", "Position"}));

    LWEnvelopeID ex = keyed({{0, 1}, {1, 3, hostsim::kShapeLinear}}, scale, "X");
    LWEnvelopeID ey = env->create(scale, "Y", LWET_DISTANCE);
    LWChannelID cx = ci->nextChannel(scale, nullptr);
    LWChannelID cy = ci->nextChannel(scale, cx);
    EXPECT_EQ(ci->nextChannel(scale, cy), nullptr);
    EXPECT_STREQ(ci->channelName(cy), "Y");
    EXPECT_EQ(ci->channelType(cy), LWET_DISTANCE);
    EXPECT_EQ(ci->channelParent(cx), scale);
    EXPECT_EQ(ci->channelEnvelope(cx), ex);
    EXPECT_DOUBLE_EQ(ci->channelEvaluate(cx, 0.5), 2.0);
    EXPECT_EQ(a.channelNames(scale), (std::vector<std::string>{"X", "Y"}));

    // Destroying an envelope takes its channel along.
    env->destroy(ey);
    EXPECT_EQ(a.channelNames(scale), (std::vector<std::string>{"X"}));
    EXPECT_EQ(ci->channelName(cy), nullptr);

    // Destroying a group takes its subgroups, channels and envelopes along;
    // their handles are answered like null ones afterwards.
    LWEnvelopeID loose = env->create(nullptr, "loose", LWET_FLOAT);
    env->destroyGroup(root);
    EXPECT_EQ(a.liveGroups(), 1);
    EXPECT_EQ(a.liveChannels(), 0);
    EXPECT_EQ(a.liveEnvelopes(), 1);
    EXPECT_EQ(ci->nextGroup(nullptr, nullptr), other);
    EXPECT_EQ(ci->groupName(scale), nullptr);
    EXPECT_EQ(env->evaluate(ex, 0.5), 0.0);
    EXPECT_EQ(env->createKey(ex, 0, 1), nullptr);
    EXPECT_EQ(env->create(scale, "late", LWET_FLOAT), nullptr);
    EXPECT_EQ(env->createGroup(scale, "late"), nullptr);
    env->destroy(loose);
    env->destroyGroup(other);
    EXPECT_EQ(a.liveGroups(), 0);
    EXPECT_EQ(a.liveEnvelopes(), 0);
}

TEST_F(Animation, NullHandlesDoNothing) {
    double d = 1;
    int i = 1;
    LWEnvelopeID envs[3];
    double values[3] = {7, 7, 7};
    EXPECT_NE(env->create(nullptr, nullptr, LWET_FLOAT), nullptr);  // a nameless loose envelope is fine
    env->destroy(nullptr);
    env->destroyGroup(nullptr);
    EXPECT_EQ(env->copy(nullptr, nullptr), nullptr);
    EXPECT_EQ(env->load(nullptr, nullptr), nullptr);
    EXPECT_EQ(env->save(nullptr, nullptr), nullptr);
    EXPECT_EQ(env->evaluate(nullptr, 1), 0.0);
    EXPECT_EQ(env->edit(nullptr, nullptr, 0, nullptr), 0);
    EXPECT_EQ(env->envAge(nullptr), 0);
    EXPECT_EQ(env->createKey(nullptr, 0, 1), nullptr);
    env->destroyKey(nullptr, nullptr);
    EXPECT_EQ(env->findKey(nullptr, 0), nullptr);
    EXPECT_EQ(env->nextKey(nullptr, nullptr), nullptr);
    EXPECT_EQ(env->prevKey(nullptr, nullptr), nullptr);
    EXPECT_EQ(env->keySet(nullptr, nullptr, LWKEY_VALUE, &d), 0);
    EXPECT_EQ(env->keyGet(nullptr, nullptr, LWKEY_VALUE, &d), 0);
    EXPECT_EQ(env->setEnvEvent(nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(env->egSet(nullptr, nullptr, LWENVTAG_PREBEHAVE, &i), 0);
    EXPECT_EQ(env->egGet(nullptr, nullptr, LWENVTAG_KEYCOUNT, &i), 0);

    EXPECT_EQ(ci->nextChannel(nullptr, nullptr), nullptr);
    EXPECT_EQ(ci->groupName(nullptr), nullptr);
    EXPECT_EQ(ci->channelName(nullptr), nullptr);
    EXPECT_EQ(ci->groupParent(nullptr), nullptr);
    EXPECT_EQ(ci->channelParent(nullptr), nullptr);
    EXPECT_EQ(ci->channelType(nullptr), 0);
    EXPECT_EQ(ci->channelEvaluate(nullptr, 0), 0.0);
    EXPECT_EQ(ci->channelEnvelope(nullptr), nullptr);
    EXPECT_EQ(ci->setChannelEvent(nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(ci->server(nullptr, "ChannelHandler", 1), nullptr);
    EXPECT_EQ(ci->serverFlags(nullptr, "ChannelHandler", 1), 0u);
    EXPECT_EQ(ci->serverInstance(nullptr, "ChannelHandler", 1), nullptr);
    EXPECT_EQ(ci->serverApply(nullptr, "ChannelHandler", "Any", 0), 0);
    ci->serverRemove(nullptr, "ChannelHandler", "Any", nullptr);

    vp->destroy(nullptr);
    vp->setup(nullptr, "x", nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(vp->load(nullptr, nullptr), nullptr);
    EXPECT_EQ(vp->save(nullptr, nullptr), nullptr);
    EXPECT_EQ(vp->getVal(nullptr, 0, nullptr, values), 0.0);
    EXPECT_EQ(values[0], 7.0);
    EXPECT_EQ(vp->setVal(nullptr, values), 0);
    envs[0] = envs[1] = envs[2] = reinterpret_cast<LWEnvelopeID>(&d);
    vp->getEnv(nullptr, envs);
    EXPECT_EQ(envs[0], nullptr);
    EXPECT_EQ(envs[2], nullptr);
    vp->getEnv(nullptr, nullptr);
    vp->setState(nullptr, LWVPSF_ENV | LWVPSF_TEX);
    EXPECT_EQ(vp->getState(nullptr), 0);
    vp->editEnv(nullptr);
    vp->editTex(nullptr);
    vp->initMP(nullptr);
    EXPECT_EQ(vp->getTex(nullptr), nullptr);
    EXPECT_EQ(vp->copy(nullptr, nullptr), nullptr);

    // A live parameter with null arguments.
    LWVParmID p = param(LWVP_FLOAT, "P", nullptr, {1});
    EXPECT_EQ(vp->getVal(p, 0, nullptr, nullptr), 0.0);
    EXPECT_EQ(vp->setVal(p, nullptr), 0);
    EXPECT_EQ(vp->copy(p, nullptr), nullptr);
    EXPECT_EQ(vp->copy(nullptr, p), nullptr);
    EXPECT_NE(vp->save(p, nullptr), nullptr);
    EXPECT_NE(vp->load(p, nullptr), nullptr);
    EXPECT_EQ(get(p, 0), std::vector<double>{1});
}

// ============================================================ parameters

TEST_F(Animation, KindsDecideComponentsChannelNamesAndTypes) {
    LWChanGroupID g = env->createGroup(nullptr, "G");
    const struct {
        int kind;
        const char* name;
        std::vector<std::string> channels;
        int type;
    } cases[] = {
        {LWVP_FLOAT, "Quality", {"Quality"}, LWET_FLOAT},
        {LWVP_PERCENT, "", {"Value"}, LWET_PERCENT},
        {LWVP_ANGLE, "Segment", {"Segment"}, LWET_ANGLE},
        {LWVP_DIST | LWVPF_VECTOR, "Position", {"Position.X", "Position.Y", "Position.Z"}, LWET_DISTANCE},
        {LWVP_ANGLE | LWVPF_VECTOR, "Rotation", {"Rotation.X", "Rotation.Y", "Rotation.Z"}, LWET_ANGLE},
        {LWVP_COLOR, "Tint", {"Tint.R", "Tint.G", "Tint.B"}, LWET_FLOAT},
        {LWVP_PERCENT | LWVPF_VECTOR, nullptr, {"X", "Y", "Z"}, LWET_PERCENT},
    };
    for (const auto& c : cases) {
        LWVParmID p = vp->create(c.kind, LWVPDT_NOTXTR);
        ASSERT_NE(p, nullptr) << c.kind;
        vp->setup(p, c.name, g, nullptr, nullptr, "KorvalithPro", nullptr);
        EXPECT_EQ(host.animation().channelNames(g), c.channels) << c.kind;
        EXPECT_EQ(ci->channelType(ci->nextChannel(g, nullptr)), c.type);
        EXPECT_EQ(get(p, 0).size(), c.channels.size());
        vp->destroy(p);
        EXPECT_EQ(host.animation().liveChannels(), 0);
    }
    // A colour is a triple by its kind alone; other codes are no kinds.
    for (int kind : {0, 0x12, 0x50, 0x60, 0x31 | 0x100, -1})
        EXPECT_EQ(vp->create(kind, LWVPDT_NOTXTR), nullptr) << kind;
    for (int texType : {-2, LWVPDT_DISPLACEMENT + 1}) EXPECT_EQ(vp->create(LWVP_FLOAT, texType), nullptr) << texType;
    EXPECT_EQ(host.animation().liveParameters(), 0);
}

TEST_F(Animation, EnvelopedParameterFollowsItsKeys) {
    LWChanGroupID g = env->createGroup(nullptr, "KorvalithPro");
    LWVParmID rot = param(LWVP_ANGLE | LWVPF_VECTOR, "Rotation", g, {0.1, 0.2, 0.3});
    EXPECT_EQ(get(rot, 5), (std::vector<double>{0.1, 0.2, 0.3}));
    EXPECT_TRUE(envelopes(rot).empty());
    vp->editEnv(rot);  // nothing to edit yet
    EXPECT_EQ(host.animation().editRequests(rot), 0);

    // Enveloping starts each component at its static value with one key at 0.
    vp->setState(rot, LWVPSF_ENV);
    EXPECT_EQ(vp->getState(rot), LWVPSF_ENV);
    const std::vector<LWEnvelopeID> envs = envelopes(rot);
    ASSERT_EQ(envs.size(), 3u);
    vp->editEnv(rot);
    EXPECT_EQ(host.animation().editRequests(rot), 1);
    const double start[3] = {0.1, 0.2, 0.3};
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(keyTimes(envs[c]), std::vector<double>{0});
        EXPECT_EQ(env->evaluate(envs[c], 9), start[c]);
    }
    // Heading turns linearly, pitch steps, bank follows a spline.
    const double pi = 3.141592653589793;
    addKeys(envs[0], {{1, pi, hostsim::kShapeLinear}});
    addKeys(envs[1], {{1, -0.5, hostsim::kShapeStepped}});
    addKeys(envs[2], {{1, 1.3}, {2, 0.3}});
    const std::vector<double> mid = get(rot, 0.5);
    EXPECT_DOUBLE_EQ(mid[0], (0.1 + pi) / 2);
    EXPECT_DOUBLE_EQ(mid[1], 0.2);
    EXPECT_GT(mid[2], 0.3 + 0.5);  // overshoots the line towards the peak
    EXPECT_EQ(get(rot, 1), (std::vector<double>{pi, -0.5, 1.3}));
    EXPECT_EQ(get(rot, 2), (std::vector<double>{pi, -0.5, 0.3}));
    EXPECT_EQ(host.animation().parameterValue(rot, 1)[2], 1.3);

    // The channels show the animated values and the envelopes behind them.
    LWChannelID heading = host.animation().findChannel(g, "Rotation.X");
    EXPECT_EQ(ci->channelEnvelope(heading), envs[0]);
    EXPECT_DOUBLE_EQ(ci->channelEvaluate(heading, 0.5), (0.1 + pi) / 2);

    // Setting a value has no effect while enveloped; the static value stays
    // underneath and returns when the envelopes go.
    double changed[3] = {7, 8, 9};
    EXPECT_EQ(vp->setVal(rot, changed), 0);
    EXPECT_EQ(get(rot, 1)[0], pi);
    // The parameter's envelopes are not the caller's to destroy.
    env->destroy(envs[0]);
    EXPECT_EQ(get(rot, 1)[0], pi);
    vp->setState(rot, 0);
    EXPECT_EQ(get(rot, 1), (std::vector<double>{0.1, 0.2, 0.3}));
    EXPECT_TRUE(envelopes(rot).empty());
    EXPECT_EQ(vp->setVal(rot, changed), 3);
    EXPECT_EQ(get(rot, 1), (std::vector<double>{7, 8, 9}));
    EXPECT_EQ(ci->channelEnvelope(heading), nullptr);
    EXPECT_EQ(ci->channelEvaluate(heading, 1), 7.0);
    EXPECT_EQ(host.animation().liveEnvelopes(), 0);
    EXPECT_EQ(host.animation().liveKeys(), 0);

    vp->destroy(rot);
    env->destroyGroup(g);
    EXPECT_EQ(host.animation().liveParameters(), 0);
    EXPECT_EQ(host.animation().liveChannels(), 0);
}

TEST_F(Animation, CopyTakesValueStateAndKeysButNotPlace) {
    hostsim::Animation& a = host.animation();
    LWChanGroupID ga = env->createGroup(nullptr, "A");
    LWChanGroupID gb = env->createGroup(nullptr, "B");
    LWVParmID from = param(LWVP_DIST | LWVPF_VECTOR, "Size", ga, {1, 2, 3});
    vp->setState(from, LWVPSF_ENV);
    const std::vector<LWEnvelopeID> fe = envelopes(from);
    addKeys(fe[1], {{2, 20, hostsim::kShapeLinear}});
    setBehaviours(fe[1], hostsim::kBehaviourRepeat, hostsim::kBehaviourLinear);

    LWVParmID to = param(LWVP_PERCENT, "Strength", gb, {0.5});
    EXPECT_EQ(vp->copy(to, from), nullptr);
    EXPECT_EQ(contents(to), contents(from));
    EXPECT_EQ(get(to, 1), get(from, 1));
    EXPECT_EQ(a.channelNames(gb), (std::vector<std::string>{"Strength.X", "Strength.Y", "Strength.Z"}));
    EXPECT_EQ(a.parameter(to).group, gb);

    // The copy is deep: editing one leaves the other.
    const std::vector<LWEnvelopeID> te = envelopes(to);
    EXPECT_NE(te[1], fe[1]);
    addKeys(te[1], {{1, -100}});
    EXPECT_NE(get(to, 1)[1], get(from, 1)[1]);

    // Copying a static parameter drops the target's envelopes.
    LWVParmID still = param(LWVP_DIST | LWVPF_VECTOR, "Still", nullptr, {4, 5, 6});
    vp->copy(to, still);
    EXPECT_EQ(vp->getState(to), 0);
    EXPECT_EQ(get(to, 1), (std::vector<double>{4, 5, 6}));

    // Onto itself: nothing changes.
    const std::vector<double> before = contents(from);
    vp->copy(from, from);
    EXPECT_EQ(contents(from), before);

    for (LWVParmID p : {from, to, still}) vp->destroy(p);
    env->destroyGroup(ga);
    env->destroyGroup(gb);
    EXPECT_EQ(a.liveEnvelopes() + a.liveChannels() + a.liveParameters() + a.liveGroups(), 0);
}

// ============================================================ save and load

class ParameterFiles : public Animation, public ::testing::WithParamInterface<int> {
protected:
    // A keyed triple that uses every shape, odd numbers and behaviours.
    LWVParmID richParameter(LWChanGroupID g) {
        LWVParmID p = param(LWVP_ANGLE | LWVPF_VECTOR, "Rotation", g, {0.1, 1.0 / 3, -2e-300});
        vp->setState(p, LWVPSF_ENV);
        const std::vector<LWEnvelopeID> e = envelopes(p);
        addKeys(e[0], {{1.0 / 30, 0.7, hostsim::kShapeTcb}, {0.5, -1, hostsim::kShapeHermite}, {1, 2, hostsim::kShapeBezier}, {2, 3, hostsim::kShapeBezier2D}});
        addKeys(e[1], {{-1, 5, hostsim::kShapeLinear}, {3, 1e17, hostsim::kShapeStepped}});
        LWEnvKeyframeID k = keyAt(e[0], 1);
        setKey(e[0], k, LWKEY_TENSION, 0.3);
        setKey(e[0], k, LWKEY_CONTINUITY, -0.1);
        setKey(e[0], k, LWKEY_BIAS, 1.0 / 7);
        for (LWKeyTag tag : {LWKEY_PARAM_0, LWKEY_PARAM_1, LWKEY_PARAM_2, LWKEY_PARAM_3})
            setKey(e[0], keyAt(e[0], 4), tag, 0.01 * (tag + 1));
        setBehaviours(e[0], hostsim::kBehaviourOscillate, hostsim::kBehaviourOffsetRepeat);
        setBehaviours(e[1], hostsim::kBehaviourReset, hostsim::kBehaviourLinear);
        env->destroyKey(e[2], keyAt(e[2], 0));  // an envelope without keys
        return p;
    }
};

TEST_P(ParameterFiles, RoundTripExactly) {
    const int mode = GetParam();
    LWChanGroupID g = env->createGroup(nullptr, "G");
    LWVParmID rich = richParameter(g);
    LWVParmID plain = param(LWVP_PERCENT, "Quality", g, {0.1});
    for (LWVParmID original : {rich, plain}) {
        const std::string data = save(original, mode);
        // Loads into a fresh parameter of the same kind, and over an
        // enveloped one whose envelopes must make way.
        LWVParmID fresh = param(host.animation().parameter(original).kind, "Loaded", g, {9, 9, 9});
        LWVParmID busy = param(host.animation().parameter(original).kind, "Busy", g, {9, 9, 9});
        vp->setState(busy, LWVPSF_ENV);
        for (LWVParmID target : {fresh, busy}) {
            int32_t marker = 0;
            EXPECT_EQ(load(target, data, mode, &marker), nullptr);
            EXPECT_EQ(marker, 4242) << "the caller's next block was not found";
            EXPECT_EQ(contents(target), contents(original));
            for (double t : {-3.0, 0.02, 0.7, 1.5, 2.5, 9.0}) EXPECT_EQ(get(target, t), get(original, t)) << t;
            EXPECT_EQ(host.animation().parameter(target).channelName, target == fresh ? "Loaded" : "Busy");
        }
        vp->destroy(fresh);
        vp->destroy(busy);
    }
}

TEST_P(ParameterFiles, CutOffFilesNeverHalfLoad) {
    // The parameter's blocks alone, so that every cut lands inside them:
    // no shorter prefix may load, and a failed load leaves the target as it
    // was.
    const int mode = GetParam();
    LWVParmID original = richParameter(nullptr);
    SaveState s(mode);
    vp->save(original, s.state());
    ASSERT_TRUE(s.finish());
    const std::string data = s.data();
    LWVParmID target = param(LWVP_ANGLE | LWVPF_VECTOR, "T", nullptr, {4, 5, 6});
    const std::vector<double> untouched = contents(target);
    for (size_t n = 0; n < data.size(); ++n) {
        LoadState l(data.substr(0, n), mode);
        ASSERT_NE(vp->load(target, l.state()), nullptr) << "cut at " << n;
        ASSERT_EQ(contents(target), untouched) << "cut at " << n;
    }
    LoadState whole(data, mode);
    EXPECT_EQ(vp->load(target, whole.state()), nullptr);
    EXPECT_EQ(contents(target), contents(original));
}

INSTANTIATE_TEST_SUITE_P(BothForms, ParameterFiles, ::testing::Values(LWIO_BINARY, LWIO_ASCII),
                         [](const auto& info) { return info.param == LWIO_BINARY ? "Binary" : "Text"; });

TEST_F(Animation, MalformedParameterBlocksAreReported) {
    const LWBlockIdent kind{LWID_('V', 'P', 'K', 'D'), "ParameterKind"};
    const LWBlockIdent value{LWID_('V', 'P', 'V', 'L'), "StaticValue"};
    const LWBlockIdent state{LWID_('V', 'P', 'S', 'T'), "State"};
    const LWBlockIdent compEnv{LWID_('V', 'P', 'E', 'V'), "ComponentEnvelope"};
    const LWBlockIdent comp{LWID_('V', 'P', 'C', 'I'), "Component"};
    const LWBlockIdent beh{LWID_('E', 'B', 'E', 'H'), "Behaviors"};
    const LWBlockIdent count{LWID_('E', 'K', 'C', 'T'), "KeyCount"};
    const LWBlockIdent key{LWID_('E', 'K', 'E', 'Y'), "Key"};
    struct Writer {
        LWSaveState* s;
        void i4(const LWBlockIdent& id, std::vector<int32_t> v) {
            LWSAVE_BEGIN(s, &id, 1);
            LWSAVE_I4(s, v.data(), int(v.size()));
            LWSAVE_END(s);
        }
        void dp(const LWBlockIdent& id, std::vector<double> v) {
            LWSAVE_BEGIN(s, &id, 1);
            LWSAVE_DP(s, v.data(), int(v.size()));
            LWSAVE_END(s);
        }
        void key(const LWBlockIdent& id, double time, int32_t shape) {
            LWSAVE_BEGIN(s, &id, 1);
            const double head[2] = {time, 1}, rest[7] = {};
            LWSAVE_DP(s, head, 2);
            LWSAVE_I4(s, &shape, 1);
            LWSAVE_DP(s, rest, 7);
            LWSAVE_END(s);
        }
    };
    // One enveloped single value, broken in one place per case.
    struct Case {
        const char* what;
        int32_t kind = LWVP_FLOAT, state = LWVPSF_ENV, component = 0, pre = hostsim::kBehaviourConstant, keyCount = 2;
        std::vector<double> value{2.5};
        std::vector<double> times{0, 1};
        int32_t shape = hostsim::kShapeTcb;
        bool writeState = true, writeEnvelope = true;
    };
    std::vector<Case> cases(12);
    cases[0].what = "sound";
    cases[1].what = "unknown kind", cases[1].kind = 0x77;
    cases[2].what = "unknown state bits", cases[2].state = 0x10;
    cases[3].what = "value count of another kind", cases[3].value = {1, 2, 3};
    cases[4].what = "component out of range", cases[4].component = 1;
    cases[5].what = "unknown behaviour", cases[5].pre = 17;
    cases[6].what = "fewer keys than counted", cases[6].keyCount = 3;
    cases[7].what = "two keys at one time", cases[7].times = {1, 1};
    cases[8].what = "unknown shape", cases[8].shape = 42;
    cases[9].what = "no state", cases[9].writeState = false;
    cases[10].what = "enveloped without envelope", cases[10].writeEnvelope = false;
    cases[11].what = "textured without texture", cases[11].state = LWVPSF_ENV | LWVPSF_TEX;

    for (int mode : {LWIO_BINARY, LWIO_ASCII}) {
        for (size_t i = 0; i < cases.size(); ++i) {
            const Case& c = cases[i];
            SaveState s(mode);
            Writer w{s.state()};
            LWSAVE_BEGIN(s.state(), &kQual, 0);
            w.i4(kind, {c.kind});
            w.dp(value, c.value);
            if (c.writeState) w.i4(state, {c.state});
            if (c.writeEnvelope) {
                LWSAVE_BEGIN(s.state(), &compEnv, 0);
                w.i4(comp, {c.component});
                w.i4(beh, {c.pre, hostsim::kBehaviourConstant});
                w.i4(count, {c.keyCount});
                for (double t : c.times) w.key(key, t, c.shape);
                LWSAVE_END(s.state());
            }
            LWSAVE_END(s.state());
            ASSERT_TRUE(s.finish());

            LWVParmID p = param(LWVP_FLOAT, "P", nullptr, {-7});
            const LWError error = load(p, s.data(), mode);
            if (i == 0) {
                EXPECT_EQ(error, nullptr) << (error ? error : "");
                EXPECT_EQ(get(p, 0.5)[0], 1.0);
                EXPECT_EQ(host.animation().parameter(p).value[0], 2.5);
            } else {
                EXPECT_NE(error, nullptr) << c.what;
                EXPECT_EQ(get(p, 0.5), std::vector<double>{-7}) << c.what;
                EXPECT_EQ(vp->getState(p), 0) << c.what;
            }
            vp->destroy(p);
        }
    }
    EXPECT_EQ(host.animation().liveEnvelopes(), 0);
}

TEST_F(Animation, LoadingKeepsTheParametersOwnKind) {
    // A saved triple loads into a single value as its first component; a
    // saved single value loads into a triple's first component, and the
    // other components keep their values.
    LWVParmID triple = param(LWVP_DIST | LWVPF_VECTOR, "T", nullptr, {1, 2, 3});
    vp->setState(triple, LWVPSF_ENV);
    addKeys(envelopes(triple)[0], {{1, 10, hostsim::kShapeLinear}});
    LWVParmID single = param(LWVP_DIST, "S", nullptr, {5});

    const std::string tripleData = save(triple, LWIO_ASCII);
    const std::string singleData = save(single, LWIO_BINARY);
    EXPECT_EQ(load(single, tripleData, LWIO_ASCII), nullptr);
    EXPECT_EQ(get(single, 0.5), std::vector<double>{5.5});
    LWVParmID other = param(LWVP_DIST | LWVPF_VECTOR, "O", nullptr, {7, 8, 9});
    EXPECT_EQ(load(other, singleData, LWIO_BINARY), nullptr);
    EXPECT_EQ(get(other, 0), (std::vector<double>{5, 8, 9}));
}

// ============================================================ textures and events

// What a parameter's event function was told.
struct Told {
    LWVParmID parm;
    void* userData;
    en_lwvpec code;
};
std::vector<Told> g_told;
int tell(LWVParmID vp, void* userData, en_lwvpec code, void* eventData) {
    EXPECT_EQ(eventData, nullptr);
    g_told.push_back({vp, userData, code});
    return 0;
}
std::vector<en_lwvpec> toldCodes() {
    std::vector<en_lwvpec> codes;
    for (const Told& t : g_told) codes.push_back(t.code);
    g_told.clear();
    return codes;
}

TEST_F(Animation, TexturedParametersOwnATextureOfTheirTextureType) {
    hostsim::Textures& textures = host.textures();
    const LWTextureFuncs* tx = service<LWTextureFuncs>(LWTEXTUREFUNCS_GLOBAL);
    LWChanGroupID g = env->createGroup(nullptr, "G");
    const LWTxtrContextID gc = tx->contextCreate(LWTxtrParamFuncs{});
    int user = 0;
    LWVParmID p = vp->create(LWVP_COLOR, LWVPDT_COLOR);
    vp->setup(p, "Tint", g, gc, nullptr, "KorvalithPro", &user);
    double grey[3] = {0.5, 0.5, 0.5};
    vp->setVal(p, grey);
    EXPECT_EQ(vp->getTex(p), nullptr);
    vp->editTex(p);  // no texture: nothing to edit

    vp->setState(p, LWVPSF_TEX);
    EXPECT_EQ(vp->getState(p), LWVPSF_TEX);
    LWTextureID t = vp->getTex(p);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(tx->type(t), TRT_COLOR);
    EXPECT_STREQ(tx->name(t), "Tint");
    EXPECT_EQ(tx->context(t), gc);
    EXPECT_EQ(tx->userData(t), &user);
    EXPECT_EQ(tx->envGroup(t), g);
    vp->editTex(p);
    EXPECT_EQ(host.animation().editRequests(t), 1);
    // Asked again, the same texture; with envelopes too, both flags.
    vp->setState(p, LWVPSF_TEX | LWVPSF_ENV);
    EXPECT_EQ(vp->getTex(p), t);
    EXPECT_EQ(vp->getState(p), LWVPSF_TEX | LWVPSF_ENV);

    // The texture counts only where a micropolygon is given; this host's
    // textures cover nothing, so the value stays and the opacity is 0.
    LWMicropol mp{};
    vp->initMP(&mp);
    double v[3] = {};
    EXPECT_EQ(vp->getVal(p, 0, &mp, v), 0.0);
    EXPECT_EQ(std::vector<double>(v, v + 3), (std::vector<double>{0.5, 0.5, 0.5}));

    // A parameter made without a texture type never gets one.
    LWVParmID plain = param(LWVP_FLOAT, "Plain", g, {1});
    vp->setState(plain, LWVPSF_TEX);
    EXPECT_EQ(vp->getTex(plain), nullptr);
    EXPECT_EQ(vp->getState(plain), 0);

    // Dropping the flag, or the parameter, destroys the texture.
    vp->setState(p, LWVPSF_ENV);
    EXPECT_FALSE(textures.isTexture(t));
    EXPECT_EQ(vp->getTex(p), nullptr);
    vp->setState(p, LWVPSF_TEX);
    LWTextureID again = vp->getTex(p);
    ASSERT_NE(again, nullptr);
    vp->destroy(p);
    EXPECT_FALSE(textures.isTexture(again));
    vp->destroy(plain);
    tx->contextDestroy(gc);
    EXPECT_FALSE(textures.isContext(gc));
    EXPECT_TRUE(textures.textures().empty());
}

TEST_F(Animation, CopyAndLoadCarryTheTextureLayers) {
    const LWTextureFuncs* tx = service<LWTextureFuncs>(LWTEXTUREFUNCS_GLOBAL);
    LWVParmID from = vp->create(LWVP_PERCENT, LWVPDT_PERCENT);
    vp->setup(from, "Amount", nullptr, nullptr, nullptr, "KorvalithPro", nullptr);
    vp->setState(from, LWVPSF_TEX);
    LWTextureID ft = vp->getTex(from);
    LWTLayerID layer = tx->layerAdd(ft, TLT_GRAD);
    double opacity = 0.25;
    ASSERT_EQ(tx->setParam(layer, TXTAG_OPAC, &opacity), 1);
    tx->layerAdd(ft, TLT_IMAGE);
    auto layers = [&](LWTextureID t) {
        std::vector<std::pair<int, double>> out;
        for (LWTLayerID l = tx->firstLayer(t); l; l = tx->nextLayer(t, l)) {
            double o = -1;
            tx->getParam(l, TXTAG_OPAC, &o);
            out.emplace_back(tx->layerType(l), o);
        }
        return out;
    };
    const auto expected = layers(ft);

    LWVParmID to = vp->create(LWVP_PERCENT, LWVPDT_PERCENT);
    EXPECT_EQ(vp->copy(to, from), nullptr);
    ASSERT_NE(vp->getTex(to), nullptr);
    EXPECT_NE(vp->getTex(to), ft);
    EXPECT_EQ(layers(vp->getTex(to)), expected);

    for (int mode : {LWIO_BINARY, LWIO_ASCII}) {
        const std::string data = save(from, mode);
        LWVParmID loaded = vp->create(LWVP_PERCENT, LWVPDT_PERCENT);
        EXPECT_EQ(load(loaded, data, mode), nullptr);
        EXPECT_EQ(vp->getState(loaded), LWVPSF_TEX);
        EXPECT_EQ(layers(vp->getTex(loaded)), expected);
        // A parameter made without a texture type skips the texture.
        LWVParmID plain = vp->create(LWVP_PERCENT, LWVPDT_NOTXTR);
        EXPECT_EQ(load(plain, data, mode), nullptr);
        EXPECT_EQ(vp->getState(plain), 0);
        EXPECT_EQ(vp->getTex(plain), nullptr);
        // Loading an untextured parameter over a textured one drops its texture.
        LWVParmID bare = vp->create(LWVP_PERCENT, LWVPDT_PERCENT);
        EXPECT_EQ(load(loaded, save(bare, mode), mode), nullptr);
        EXPECT_EQ(vp->getTex(loaded), nullptr);
        for (LWVParmID p : {loaded, plain, bare}) vp->destroy(p);
    }

    // Copying an untextured parameter drops the target's texture.
    LWVParmID bare = vp->create(LWVP_PERCENT, LWVPDT_PERCENT);
    vp->copy(to, bare);
    EXPECT_EQ(vp->getTex(to), nullptr);
    for (LWVParmID p : {from, to, bare}) vp->destroy(p);
    EXPECT_TRUE(host.textures().textures().empty());
}

TEST_F(Animation, TheEventFunctionHearsOfEnvelopesAndTexturesComingAndGoing) {
    g_told.clear();
    int user = 0;
    LWVParmID p = vp->create(LWVP_FLOAT, LWVPDT_SCALAR);
    vp->setup(p, "P", nullptr, nullptr, tell, "KorvalithPro", &user);
    vp->setState(p, LWVPSF_ENV);
    ASSERT_EQ(g_told.size(), 1u);
    EXPECT_EQ(g_told[0].parm, p);
    EXPECT_EQ(g_told[0].userData, &user);
    EXPECT_EQ(toldCodes(), std::vector<en_lwvpec>{LWVPEC_ENVNEW});
    vp->setState(p, LWVPSF_ENV);  // no change, no event
    vp->setState(p, LWVPSF_TEX);
    EXPECT_EQ(toldCodes(), (std::vector<en_lwvpec>{LWVPEC_ENVOLD, LWVPEC_TEXNEW}));

    // Copy and load tell the target what it gained and lost.
    LWVParmID enveloped = param(LWVP_FLOAT, "E", nullptr, {1});
    vp->setState(enveloped, LWVPSF_ENV);
    vp->copy(p, enveloped);
    EXPECT_EQ(toldCodes(), (std::vector<en_lwvpec>{LWVPEC_TEXOLD, LWVPEC_ENVNEW}));
    EXPECT_EQ(load(p, save(param(LWVP_FLOAT, "S", nullptr, {2}), LWIO_BINARY), LWIO_BINARY), nullptr);
    EXPECT_EQ(toldCodes(), std::vector<en_lwvpec>{LWVPEC_ENVOLD});

    // Destroying the parameter tells it nothing.
    vp->setState(p, LWVPSF_ENV | LWVPSF_TEX);
    g_told.clear();
    vp->destroy(p);
    EXPECT_TRUE(g_told.empty());
}

TEST_F(Animation, InitMPGivesIdentityTransformsAndZeroElsewhere) {
    LWMicropol mp;
    std::memset(&mp, 0x5A, sizeof mp);
    vp->initMP(&mp);
    LWMicropol zero;
    std::memset(&zero, 0, sizeof zero);
    for (int i = 0; i < 9; ++i) {
        const double identity = i % 4 == 0 ? 1.0 : 0.0;
        EXPECT_EQ(mp.oXfrm[i], identity) << i;
        EXPECT_EQ(mp.wXfrm[i], identity) << i;
        zero.oXfrm[i] = zero.wXfrm[i] = identity;
    }
    EXPECT_EQ(std::memcmp(&mp, &zero, sizeof mp), 0);
}

// ============================================================ lifetimes

TEST_F(Animation, ParametersOutliveTheirGroup) {
    hostsim::Animation& a = host.animation();
    LWChanGroupID layer = env->createGroup(nullptr, "KorvalithPro");
    LWChanGroupID scale = env->createGroup(layer, "Scale");
    LWVParmID size = param(LWVP_DIST | LWVPF_VECTOR, "Size", scale, {1, 1, 1});
    LWVParmID quality = param(LWVP_PERCENT, "Quality", layer, {0.5});
    vp->setState(quality, LWVPSF_ENV);
    const std::vector<LWEnvelopeID> q = envelopes(quality);
    addKeys(q[0], {{1, 1.5, hostsim::kShapeLinear}});
    EXPECT_EQ(a.findParameter(layer, "Quality"), quality);
    EXPECT_EQ(a.findParameter(a.findGroup("KorvalithPro/Scale"), "Size"), size);
    EXPECT_EQ(a.liveChannels(), 4);

    env->destroyGroup(layer);
    EXPECT_EQ(a.liveGroups(), 0);
    EXPECT_EQ(a.liveChannels(), 0);
    EXPECT_EQ(a.parameter(quality).group, nullptr);
    EXPECT_EQ(get(quality, 0.5), std::vector<double>{1.0});
    EXPECT_EQ(get(size, 0), (std::vector<double>{1, 1, 1}));
    EXPECT_EQ(envelopes(quality), q);
    EXPECT_EQ(env->evaluate(q[0], 1), 1.5);

    // A new setup gives the parameter channels again.
    LWChanGroupID again = env->createGroup(nullptr, "KorvalithPro(0)");
    vp->setup(quality, "Quality", again, nullptr, nullptr, "KorvalithPro", nullptr);
    EXPECT_EQ(ci->channelEnvelope(ci->nextChannel(again, nullptr)), q[0]);
    EXPECT_EQ(a.channelNames(again), std::vector<std::string>{"Quality"});

    vp->destroy(quality);
    vp->destroy(size);
    env->destroyGroup(again);
    EXPECT_EQ(a.liveParameters() + a.liveEnvelopes() + a.liveChannels() + a.liveKeys() + a.liveGroups(), 0);
}

TEST_F(Animation, RenderThreadsEvaluateWhileKeysChange) {
    // Readers on several threads while the keys are added and removed: every
    // value read lies on one of the envelopes the keys ever formed.
    LWVParmID p = param(LWVP_PERCENT | LWVPF_VECTOR, "P", nullptr, {0, 0, 0});
    vp->setState(p, LWVPSF_ENV);
    const std::vector<LWEnvelopeID> e = envelopes(p);
    std::atomic<bool> stop{false};
    std::atomic<int> outside{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 4; ++r)
        readers.emplace_back([&, r] {
            while (!stop.load()) {
                double v[3];
                vp->getVal(p, 0.25 * r, nullptr, v);
                for (double x : v)
                    if (!(x >= 0.0 && x <= 1.0)) ++outside;
                std::this_thread::yield();
            }
        });
    for (int round = 0; round < 50; ++round) {
        for (int c = 0; c < 3; ++c) {
            for (int k = 1; k <= 8; ++k) {
                LWEnvKeyframeID key = env->createKey(e[c], k, (k % 2) ? 1.0 : 0.0);
                int shape = hostsim::kShapeLinear;
                env->keySet(e[c], key, LWKEY_SHAPE, &shape);
            }
            while (LWEnvKeyframeID key = env->findKey(e[c], 8)) env->destroyKey(e[c], key);
            for (int k = 1; k < 8; ++k) env->destroyKey(e[c], env->findKey(e[c], k));
        }
    }
    stop = true;
    for (std::thread& t : readers) t.join();
    EXPECT_EQ(outside.load(), 0);
    EXPECT_EQ(host.animation().liveKeys(), 3);
}

TEST(AnimationHost, EndingTheHostFreesEverything) {
    {
        hostsim::Host host;
        auto* env = static_cast<const LWEnvelopeFuncs*>(host.lookup(LWENVELOPEFUNCS_GLOBAL, GFUSE_TRANSIENT));
        auto* vp = static_cast<const LWVParmFuncs*>(host.lookup(LWVPARMFUNCS_GLOBAL, GFUSE_TRANSIENT));
        LWChanGroupID g = env->createGroup(env->createGroup(nullptr, "A"), "B");
        LWEnvelopeID e = env->create(g, "E", LWET_FLOAT);
        env->createKey(e, 0, 1);
        int calls = 0;
        env->setEnvEvent(
            e, [](void* data, LWEnvelopeID, LWEnvEvent, void*) { return ++*static_cast<int*>(data); }, &calls);
        LWVParmID p = vp->create(LWVP_FLOAT | LWVPF_VECTOR, LWVPDT_NOTXTR);
        vp->setup(p, "P", g, nullptr, nullptr, "KorvalithPro", nullptr);
        vp->setState(p, LWVPSF_ENV);
        host.animation().clear();
        EXPECT_EQ(calls, 0);  // no plug-in code runs while the host clears up
        EXPECT_EQ(host.animation().liveGroups() + host.animation().liveEnvelopes() +
                      host.animation().liveParameters() + host.animation().liveChannels(),
                  0);
        EXPECT_EQ(vp->getState(p), 0);
        // Left alive on purpose: the host's end must free these.
        vp->create(LWVP_FLOAT, LWVPDT_NOTXTR);
        env->create(env->createGroup(nullptr, "C"), "E", LWET_FLOAT);
    }
    // A later host starts empty.
    hostsim::Host host;
    EXPECT_EQ(host.animation().liveParameters() + host.animation().liveGroups(), 0);
    EXPECT_EQ(host.animation().channelInfo()->nextGroup(nullptr, nullptr), nullptr);
}

}  // namespace
