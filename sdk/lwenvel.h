/* "Animation Envelopes" and "Channel Info 2": channel groups, envelopes and
 * their keys, and the channels that groups hold. Plain C.
 *
 * A channel group has a name, a parent group (null for a root group), child
 * groups and channels, both in creation order. An envelope is a list of keys
 * sorted by time, with a behaviour before its first key and after its last.
 * An envelope created in a group appears there as a channel of the same
 * name; animated parameters ("LWVParmFuncs 2") enter their channels into
 * groups as well.
 *
 * Evaluation. No key: 0. One key: its value (also outside it, except that a
 * pre or post behaviour of reset answers 0 there). Between two keys the
 * shape of the later key (LWKEY_SHAPE) decides the span:
 *   0 TCB       Kochanek-Bartels spline through the keys; tension, continuity
 *               and bias of each key shape the tangents at that key.
 *   1 Hermite, 2 Bezier
 *               cubic through the two keys with the tangents of the keys:
 *               LWKEY_PARAM_0 is a key's incoming slope, LWKEY_PARAM_1 its
 *               outgoing slope, both in value per second.
 *   5 2D Bezier Bezier curve in time and value: LWKEY_PARAM_0/1 are the
 *               time and value offsets of a key's incoming handle,
 *               LWKEY_PARAM_2/3 those of its outgoing handle (handle times
 *               are kept inside their span).
 *   3 linear    straight line between the two keys.
 *   4 stepped   the earlier key's value until the later key's time.
 * Exactly at a key's time the value is the key's value.
 * Before the first and after the last key the behaviours apply
 * (LWENVTAG_PREBEHAVE, LWENVTAG_POSTBEHAVE):
 *   0 reset: 0; 1 constant: the end key's value; 2 repeat: the keyed span
 *   over again; 3 oscillate: the span forwards and backwards in turn;
 *   4 offset repeat: the span repeated, each repetition shifted by the
 *   difference between the last and the first key's value; 5 linear: the
 *   line through the end key along the curve's slope at that key.
 *
 * Every function accepts null or unknown handles and then does nothing,
 * answering 0 or null. Handles stay valid until their object is destroyed;
 * destroying a group destroys its child groups, their channels and the
 * envelopes created in them. */
#ifndef KORVALITH_SDK_LWENVEL_H
#define KORVALITH_SDK_LWENVEL_H

#include "lwio.h"
#include "lwtypes.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void *LWEnvelopeID;
typedef void *LWChanGroupID;
typedef void *LWEnvKeyframeID;

/* What keySet and keyGet read or write through their value pointer. */
typedef enum en_LWKeyTag {
    LWKEY_VALUE,      /* double */
    LWKEY_TIME,       /* double (LWTime) */
    LWKEY_SHAPE,      /* int, a shape code (see above) */
    LWKEY_TENSION,    /* double */
    LWKEY_CONTINUITY, /* double */
    LWKEY_BIAS,       /* double */
    LWKEY_PARAM_0,    /* double, meaning by shape (see above) */
    LWKEY_PARAM_1,
    LWKEY_PARAM_2,
    LWKEY_PARAM_3
} LWKeyTag;

/* Envelope and channel types: how values are shown and what unit they have. */
#define LWET_FLOAT 2
#define LWET_DISTANCE 3
#define LWET_PERCENT 4
#define LWET_ANGLE 5 /* radians */

/* What egSet and egGet read or write through their value pointer (int). */
typedef enum en_LWEnvTag {
    LWENVTAG_VISIBLE,    /* shown in the graph editor: 0 or 1 */
    LWENVTAG_PREBEHAVE,  /* behaviour before the first key (see above) */
    LWENVTAG_POSTBEHAVE, /* behaviour after the last key */
    LWENVTAG_KEYCOUNT    /* number of keys; egGet only */
} LWEnvTag;

/* Event codes. The LWEEVNT_ key and destroy codes go to an envelope's
 * event function (setEnvEvent) after the change is made, eventData the
 * key concerned (null for DESTROY). Channel event functions
 * (setChannelEvent) receive the codes this host sends to channels:
 *   LWCEVNT_VALUE    the channel's value may have changed at some time:
 *                    keys or behaviours of its envelope, the static value
 *                    or state of its parameter, the motion of its item, or
 *                    its list of servers changed; eventData null.
 *   LWCEVNT_CREATE   an envelope came into being behind the channel (its
 *                    parameter became enveloped); eventData the envelope.
 *   LWEEVNT_DESTROY  the channel is being destroyed; eventData null.
 *   LWEEVNT_RENAME   the channel's group, or one above it, was renamed;
 *                    eventData the renamed group.
 * LWCEVNT_TRACK and LWCEVNT_EDITTEST belong to interactive editing, which
 * this host does not have: it never sends them. An event function's
 * answer is ignored. */
typedef enum en_LWEnvEvent {
    LWEEVNT_DESTROY,
    LWEEVNT_KEY_INSERT,
    LWEEVNT_KEY_DELETE,
    LWEEVNT_KEY_VALUE,
    LWEEVNT_KEY_TIME,
    LWCEVNT_VALUE,
    LWCEVNT_TRACK,
    LWCEVNT_CREATE,
    LWCEVNT_EDITTEST,
    LWEEVNT_RENAME
} LWEnvEvent;
typedef int (*LWEnvEventFunc)(void *data, LWEnvelopeID env, LWEnvEvent event, void *eventData);

#define LWENVELOPEFUNCS_GLOBAL "Animation Envelopes"

typedef struct st_LWEnvelopeFuncs {
    /* A new envelope of a type (LWET_), without keys, pre and post
     * behaviour constant. With a group it appears there as a channel
     * named name. */
    LWEnvelopeID (*create)(LWChanGroupID group, const char *name, int type);
    /* Destroys an envelope and its channel. The envelopes of an animated
     * parameter belong to the parameter and are left alone. */
    void (*destroy)(LWEnvelopeID env);
    /* A new group, last among the children of parent (null: a root group). */
    LWChanGroupID (*createGroup)(LWChanGroupID parent, const char *name);
    /* Destroys a group with its child groups, channels and the envelopes
     * created in them. Channels of animated parameters leave the group; the
     * parameters stay usable and keep their values and envelopes. The
     * groups of the scene's items belong to the host and stay. */
    void (*destroyGroup)(LWChanGroupID group);
    /* Copies keys and behaviours; to keeps its name, type and group. */
    LWError (*copy)(LWEnvelopeID to, LWEnvelopeID from);
    /* Reads or writes behaviours and keys as blocks inside the block the
     * caller has opened. A failed load leaves the envelope unchanged. */
    LWError (*load)(LWEnvelopeID env, const LWLoadState *load);
    LWError (*save)(LWEnvelopeID env, const LWSaveState *save);
    double (*evaluate)(LWEnvelopeID env, LWTime time);
    /* Asks for the graph editor on the envelope; the host records the
     * request. Returns 1 when the envelope exists. */
    int (*edit)(LWChanGroupID group, LWEnvelopeID env, int flags, void *data);
    /* A counter that changes whenever keys or behaviours change. */
    int (*envAge)(LWEnvelopeID env);
    /* Adds a key (shape TCB, tension, continuity, bias and parameters 0);
     * a key already at that time takes the value instead. */
    LWEnvKeyframeID (*createKey)(LWEnvelopeID env, LWTime time, double value);
    void (*destroyKey)(LWEnvelopeID env, LWEnvKeyframeID key);
    /* The key at exactly this time, or null. */
    LWEnvKeyframeID (*findKey)(LWEnvelopeID env, LWTime time);
    /* Keys in time order; null key: the first (nextKey) or last (prevKey). */
    LWEnvKeyframeID (*nextKey)(LWEnvelopeID env, LWEnvKeyframeID key);
    LWEnvKeyframeID (*prevKey)(LWEnvelopeID env, LWEnvKeyframeID key);
    /* Return 1 on success, 0 for an unknown key or tag, a value that is not
     * finite, an unknown shape, or a time another key already has. */
    int (*keySet)(LWEnvelopeID env, LWEnvKeyframeID key, LWKeyTag tag, void *value);
    int (*keyGet)(LWEnvelopeID env, LWEnvKeyframeID key, LWKeyTag tag, void *value);
    /* One event function per envelope (null removes it); returns 1. */
    int (*setEnvEvent)(LWEnvelopeID env, LWEnvEventFunc ev, void *data);
    /* Envelope settings (LWENVTAG_); the group argument is not used. Return
     * 1 on success, 0 for an unknown tag or value. */
    int (*egSet)(LWEnvelopeID env, LWChanGroupID group, int tag, void *value);
    int (*egGet)(LWEnvelopeID env, LWChanGroupID group, int tag, void *value);
} LWEnvelopeFuncs;

#define LWCHANNELINFO_GLOBAL "Channel Info 2"

/* A channel's event function: event is an LWEnvEvent code (see above). */
typedef int (*LWChanEventFunc)(void *data, LWChannelID chan, int event, void *eventData);

/* Channel servers. A channel carries an ordered list of plug-in servers
 * applied to it, each with its class, name, flags (LWSRVF_ bits of
 * lwrender.h) and instance; indices count from 1 among the servers of one
 * class. This host applies servers of the class "ChannelHandler"
 * (lwchannel.h): each evaluation of the channel hands its value, after
 * the envelope, through the handlers in list order, skipping those flagged
 * LWSRVF_DISABLED. Servers live as long as their channel. */
typedef struct st_LWChannelInfo {
    /* Children of parent (null: the root groups) in creation order; a null
     * group asks for the first, otherwise the one after group. */
    LWChanGroupID (*nextGroup)(LWChanGroupID parent, LWChanGroupID group);
    /* Channels of group in creation order; null chan asks for the first. */
    LWChannelID (*nextChannel)(LWChanGroupID group, LWChannelID chan);
    const char *(*groupName)(LWChanGroupID group);
    const char *(*channelName)(LWChannelID chan);
    LWChanGroupID (*groupParent)(LWChanGroupID group);
    LWChanGroupID (*channelParent)(LWChannelID chan);
    /* An LWET_ type. */
    int (*channelType)(LWChannelID chan);
    /* The channel's value at time: its envelope's, the static value of a
     * parameter that has no envelope, or its item's motion, then passed
     * through its enabled channel handlers. */
    double (*channelEvaluate)(LWChannelID chan, LWTime time);
    /* The envelope behind the channel; null for a parameter without one
     * and for the motion channels of items. */
    LWEnvelopeID (*channelEnvelope)(LWChannelID chan);
    /* One event function per channel (null removes it); returns 1, or 0
     * for an unknown channel. */
    int (*setChannelEvent)(LWChannelID chan, LWChanEventFunc ev, void *data);
    /* Name of the idx-th server of class cls on the channel, or null. */
    const char *(*server)(LWChannelID chan, const char *cls, int idx);
    /* Its flags, or 0 when there is no such server. */
    unsigned int (*serverFlags)(LWChannelID chan, const char *cls, int idx);
    /* Its instance, or null when there is no such server. */
    LWInstance (*serverInstance)(LWChannelID chan, const char *cls, int idx);
    /* Applies the server of class cls and name at the end of the channel's
     * list, with flags. Answers its index, or 0 when the channel is
     * unknown, the class is not one this host applies to channels, no
     * loaded module serves the name, its activation fails or it makes no
     * instance. */
    int (*serverApply)(LWChannelID chan, const char *cls, const char *name, int flags);
    /* Removes and destroys the server of that class and name whose
     * instance is inst (a null inst: the first of that name). */
    void (*serverRemove)(LWChannelID chan, const char *cls, const char *name, LWInstance inst);
} LWChannelInfo;

#ifdef __cplusplus
}
#endif

#endif
