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
 * pre or post behaviour of LWBEH_RESET answers 0 there). Between two keys
 * the shape of the later key decides the span:
 *   SHAPE_TCB   Kochanek-Bartels spline through the keys; tension, continuity
 *               and bias of each key shape the tangents at that key.
 *   SHAPE_HERM, SHAPE_BEZI
 *               cubic through the two keys with the tangents of the keys:
 *               LWKEY_PARAM_0 is a key's incoming slope, LWKEY_PARAM_1 its
 *               outgoing slope, both in value per second.
 *   SHAPE_BEZ2  Bezier curve in time and value: LWKEY_PARAM_0/1 are the
 *               time and value offsets of a key's incoming handle,
 *               LWKEY_PARAM_2/3 those of its outgoing handle (handle times
 *               are kept inside their span).
 *   SHAPE_LINE  straight line between the two keys.
 *   SHAPE_STEP  the earlier key's value until the later key's time.
 * Exactly at a key's time the value is the key's value.
 * Before the first and after the last key the behaviours apply:
 *   LWBEH_RESET 0; LWBEH_CONSTANT the end key's value; LWBEH_REPEAT the keyed
 *   span over again; LWBEH_OSCILLATE the span forwards and backwards in turn;
 *   LWBEH_OFFSET the span repeated, each repetition shifted by the difference
 *   between the last and the first key's value; LWBEH_LINEAR the line through
 *   the end key along the curve's slope at that key.
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

#define LWENVELOPEFUNCS_GLOBAL "Animation Envelopes"
#define LWCHANNELINFO_GLOBAL "Channel Info 2"

/* Envelope and channel types: how values are shown and what unit they have. */
#define LWET_FLOAT 2
#define LWET_DISTANCE 3
#define LWET_PERCENT 4
#define LWET_ANGLE 5 /* radians */

/* Key shapes (the shape of the span that ends at the key). */
#define SHAPE_TCB 0
#define SHAPE_HERM 1
#define SHAPE_BEZI 2
#define SHAPE_LINE 3
#define SHAPE_STEP 4
#define SHAPE_BEZ2 5

/* Pre and post behaviours. */
#define LWBEH_RESET 0
#define LWBEH_CONSTANT 1
#define LWBEH_REPEAT 2
#define LWBEH_OSCILLATE 3
#define LWBEH_OFFSET 4
#define LWBEH_LINEAR 5

/* What keySet and keyGet read or write through their value pointer. */
typedef enum en_LWKeyTag {
    LWKEY_VALUE,      /* double */
    LWKEY_TIME,       /* double (LWTime) */
    LWKEY_SHAPE,      /* int, a SHAPE_ code */
    LWKEY_TENSION,    /* double */
    LWKEY_CONTINUITY, /* double */
    LWKEY_BIAS,       /* double */
    LWKEY_PARAM_0,    /* double, meaning by shape (see above) */
    LWKEY_PARAM_1,
    LWKEY_PARAM_2,
    LWKEY_PARAM_3
} LWKeyTag;

/* What egSet and egGet read or write through their value pointer (int). */
#define LWENVTAG_VISIBLE 0    /* shown in the graph editor: 0 or 1 */
#define LWENVTAG_PREBEHAVE 1  /* an LWBEH_ code */
#define LWENVTAG_POSTBEHAVE 2 /* an LWBEH_ code */
#define LWENVTAG_KEYCOUNT 3   /* number of keys; egGet only */

/* Envelope events, reported to the function set with setEnvEvent after the
 * change is made. eventData is the key concerned (null for DESTROY). */
typedef enum en_LWEnvEvent {
    LWEEVNT_DESTROY,
    LWEEVNT_KEY_INSERT,
    LWEEVNT_KEY_DELETE,
    LWEEVNT_KEY_VALUE,
    LWEEVNT_KEY_TIME
} LWEnvEvent;
typedef int (*LWEnvEventFunc)(void *data, LWEnvelopeID env, LWEnvEvent event, void *eventData);

typedef struct st_LWEnvelopeFuncs {
    /* A new envelope of a type (LWET_), without keys, pre and post
     * behaviour LWBEH_CONSTANT. With a group it appears there as a channel
     * named name. */
    LWEnvelopeID (*create)(LWChanGroupID group, const char *name, int type);
    /* Destroys an envelope and its channel. The envelopes of an animated
     * parameter belong to the parameter and are left alone. */
    void (*destroy)(LWEnvelopeID env);
    /* A new group, last among the children of parent (null: a root group). */
    LWChanGroupID (*createGroup)(LWChanGroupID parent, const char *name);
    /* Destroys a group with its child groups, channels and the envelopes
     * created in them. Channels of animated parameters leave the group; the
     * parameters stay usable and keep their values and envelopes. */
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
    /* The channel's value at time: its envelope's, or the static value of a
     * parameter that has no envelope. */
    double (*channelEvaluate)(LWChannelID chan, LWTime time);
    /* The envelope behind the channel; null for a parameter without one. */
    LWEnvelopeID (*channelEnvelope)(LWChannelID chan);
} LWChannelInfo;

#ifdef __cplusplus
}
#endif

#endif
