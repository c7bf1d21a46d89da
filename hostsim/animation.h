// The stand-in host's channel groups, envelopes and animated parameters
// ("Animation Envelopes", "Channel Info 2", "LWVParmFuncs 2").
//
// Model:
// - A group has a name, a parent (none for a root group), child groups and
//   channels, both in creation order.
// - An envelope holds keys sorted by time (no two at the same time) and a
//   pre and post behaviour. An envelope created in a group appears there as
//   a channel of its name; one created without a group has no channel.
// - A parameter has a kind (LWVP_FLOAT, _PERCENT, _DIST or _ANGLE, each
//   with or without LWVPF_VECTOR, or LWVP_COLOR), 1 or 3 components, a
//   texture type (LWVPDT_), a static value and a state. create refuses other
//   kinds and texture types (it answers null).
// - Enveloped (LWVPSF_ENV), each component follows an envelope that belongs
//   to the parameter; setState(LWVPSF_ENV) gives each component an envelope
//   with one key at time 0 holding its static value, and dropping the flag
//   drops the envelopes and keeps the static value. setVal does nothing
//   while enveloped (it answers 0). The envelopes belong to the parameter:
//   the envelope service's destroy leaves them alone.
// - Textured (LWVPSF_TEX), the parameter owns a texture of "Texture
//   Functions 3" of its texture type, named after its channel name, made
//   with the texture context and user data given to setup and put into the
//   parameter's channel group. A parameter made with LWVPDT_NOTXTR never
//   gets one. getVal with a micropolygon evaluates the texture on the value
//   and answers the texture's opacity; without one, or without a texture,
//   it answers 0.
// - setup with a group gives the parameter one channel per component in
//   that group: a 1-value parameter's channel carries the given name
//   ("Value" when none is given); a triple's carry name + ".X", ".Y", ".Z"
//   (".R", ".G", ".B" for colours), or just "X", "Y", "Z" when no name is
//   given. The channels exist whether or not the parameter is enveloped;
//   they evaluate to the parameter's component. A second setup renames the
//   channels and moves them (and the texture) to the new group; a null group
//   leaves the parameter without channels.
// - The event function given to setup is told LWVPEC_ENVNEW and
//   LWVPEC_ENVOLD when the parameter's envelopes come and go, and
//   LWVPEC_TEXNEW and LWVPEC_TEXOLD when its texture does, through
//   setState, copy and load, after the change, with no lock held; never
//   while the parameter is destroyed. The other event codes are not sent.
// - editEnv counts a request for the graph editor while the parameter is
//   enveloped, editTex one for the texture editor while it is textured
//   (counted on the texture); otherwise they do nothing.
// - initMP sets both transformations of a micropolygon to the identity and
//   every other member to 0 or null (context TCC_ANY).
// - copy takes kind, texture type, static value, state, envelopes and the
//   texture's layers; the target keeps its own channel group, names, event
//   function and user data. Copying onto itself does nothing.
// - The host's own groups (those of the scene's items) are destroyed only
//   by the host: the envelope service's destroyGroup leaves them alone.
// - Destroying a group destroys its child groups, the envelopes created in
//   them and their channels; the channels of parameters just leave the group
//   (the parameters keep their values and envelopes and get channels again
//   on their next setup with a group).
// - A channel shows an envelope created in its group, one component of a
//   parameter, or a value from a source outside this model (the scene's
//   item motion channels). It may carry an event function, told
//   LWCEVNT_VALUE after every change that may change its value (keys,
//   behaviours, copy and load of its envelope; static value, state, copy
//   and load of its parameter; its source's change; its servers coming and
//   going), LWCEVNT_CREATE when its parameter gets its envelope,
//   LWEEVNT_RENAME when its group or one above is renamed, and
//   LWEEVNT_DESTROY when it goes.
// - Channel servers: serverApply activates a "ChannelHandler" server of the
//   loaded modules with the host's own records, makes its instance through
//   the host's instances (context: the channel) and appends it to the
//   channel's list. channelEvaluate passes the channel's value through the
//   enabled handlers in list order, unlocked; a handler's getChannel on a
//   channel that is being evaluated on the same thread answers its value
//   before the handlers. The instances are destroyed when the server is
//   removed, the channel goes, or the host quits (removeServers). Parameter
//   values (getVal) and envelopes (evaluate) do not pass through handlers.
// - Handles are checked: null, destroyed or foreign handles make the service
//   functions do nothing and answer 0 or null (getEnv then fills nulls).
// - Evaluation takes a shared lock only, so render threads evaluate at once;
//   changes take the lock exclusively. Envelope event functions are called
//   after the change, with no lock held.
//
// Saved form of a parameter, as blocks inside the block the caller opened:
//   'VPKD' "ParameterKind"     leaf  I4 kind
//   'VPVL' "StaticValue"       leaf  DP x 1 or 3
//   'VPST' "State"             leaf  I4 state flags
//   'VPEV' "ComponentEnvelope" group, one per component when enveloped:
//       'VPCI' "Component"     leaf  I4 component index
//       then the envelope blocks below
//   'VPTX' "Texture"           group, when textured: the texture's layers
//       as the texture service saves them
// Saved form of an envelope (what the envelope save writes):
//   'EBEH' "Behaviors"         leaf  I4 pre, I4 post
//   'EKCT' "KeyCount"          leaf  I4 number of keys
//   'EKEY' "Key"               leaf, one per key in time order: DP time,
//       DP value, I4 shape, DP tension, DP continuity, DP bias, DP params 0-3
// Loading requires all of these blocks (so a cut-off block is noticed),
// skips blocks with other codes, and either applies everything or, on an
// error, changes nothing and answers the error text. A parameter keeps its
// own kind and texture type when loading: components that it does not have
// are skipped, components the file lacks keep their static value (and,
// when the file is enveloped, get a one-key envelope of it), and a texture
// in the file is skipped by a parameter made without a texture type.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "lwenvel.h"
#include "lwtypes.h"
#include "lwvparm.h"

namespace hostsim {

class Host;

// Key shapes (the int behind LWKEY_SHAPE) and pre and post behaviours (the
// int behind LWENVTAG_PREBEHAVE and LWENVTAG_POSTBEHAVE), which the
// envelope service takes as documented numbers.
enum KeyShape : int {
    kShapeTcb = 0,
    kShapeHermite = 1,
    kShapeBezier = 2,
    kShapeLinear = 3,
    kShapeStepped = 4,
    kShapeBezier2D = 5,
};
enum Behaviour : int {
    kBehaviourReset = 0,
    kBehaviourConstant = 1,
    kBehaviourRepeat = 2,
    kBehaviourOscillate = 3,
    kBehaviourOffsetRepeat = 4,
    kBehaviourLinear = 5,
};

// What a parameter holds, as the C++ side reads it.
struct ParameterInfo {
    int kind = 0;
    int components = 0;                  // 1 or 3
    std::array<double, 3> value{};       // static value (unused components 0)
    int state = 0;                       // LWVPSF_ flags
    std::string channelName;             // as given to setup
    std::string pluginName;              // as given to setup
    LWChanGroupID group = nullptr;       // null before setup or after its group died
    std::array<LWEnvelopeID, 3> envelopes{};  // null when not enveloped
    int texType = LWVPDT_NOTXTR;
    LWTxtrContextID context = nullptr;       // as given to setup
    LWTextureID texture = nullptr;           // null when not textured
};

class Animation {
public:
    Animation();
    ~Animation();
    Animation(const Animation&) = delete;
    Animation& operator=(const Animation&) = delete;
    // Enters this model's services into the host's service table.
    void registerWith(Host& host);

    const LWEnvelopeFuncs* envelopeFuncs() const;
    const LWChannelInfo* channelInfo() const;
    const LWVParmFuncs* vparmFuncs() const;

    // --- bookkeeping: objects alive now ---
    int liveGroups() const;
    int liveChannels() const;
    int liveEnvelopes() const;  // parameters' envelopes included
    int liveParameters() const;
    int liveKeys() const;
    // Destroys everything: parameters, groups, envelopes (the host does so
    // when it ends).
    void clear();

    // --- groups and channels ---
    LWChanGroupID createGroup(LWChanGroupID parent, const std::string& name);
    // A root group of the host's own (an item's): the envelope service's
    // destroyGroup leaves it alone.
    LWChanGroupID createHostGroup(const std::string& name);
    // Destroys any group, the host's own included.
    void destroyGroup(LWChanGroupID group);
    // Renames a group; the channels in it and below hear LWEEVNT_RENAME.
    void renameGroup(LWChanGroupID group, const std::string& name);
    // A channel whose value comes from elsewhere (an item's motion): the
    // source is called with no lock of this model held. Throws HostError
    // for an unknown group.
    using ChannelSource = std::function<double(double time)>;
    LWChannelID addChannel(LWChanGroupID group, const std::string& name, int type, ChannelSource source);
    // Tells the channels of a group that their values may have changed
    // (LWCEVNT_VALUE), as when the source behind them changed.
    void valueChanged(LWChanGroupID group);
    // Takes every server off every channel and destroys their instances,
    // as the host does before it unloads its modules.
    void removeServers();
    // A group by its path of names from the root, "/" between names
    // ("KorvalithPro/Scale"); the first match in creation order, or null.
    LWChanGroupID findGroup(const std::string& path) const;
    // Path of names from the root, or "" for an unknown group.
    std::string groupPath(LWChanGroupID group) const;
    // Names of the child groups of parent (null: the root groups).
    std::vector<std::string> childGroupNames(LWChanGroupID parent) const;
    // Names of the channels of a group, in order.
    std::vector<std::string> channelNames(LWChanGroupID group) const;
    LWChannelID findChannel(LWChanGroupID group, const std::string& name) const;

    // --- parameters ---
    bool isParameter(LWVParmID parm) const;
    // Live parameters in creation order.
    std::vector<LWVParmID> parameters() const;
    // The parameter whose channel of this name is in group, or null.
    LWVParmID findParameter(LWChanGroupID group, const std::string& channelName) const;
    // Throws HostError for an unknown parameter.
    ParameterInfo parameter(LWVParmID parm) const;
    // The value getVal would give (unused components 0); throws HostError
    // for an unknown parameter.
    std::array<double, 3> parameterValue(LWVParmID parm, double time) const;
    bool isEnveloped(LWVParmID parm) const;
    // How often editEnv (parameters) or edit (envelopes) asked for the graph
    // editor on this object, or editTex for the texture editor on this
    // texture.
    int editRequests(const void* object) const;

    // --- envelopes ---
    bool isEnvelope(LWEnvelopeID env) const;
    int keyCount(LWEnvelopeID env) const;
    double evaluate(LWEnvelopeID env, double time) const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace hostsim
