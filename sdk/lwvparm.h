/* "LWVParmFuncs 2": animated parameters. Plain C.
 *
 * A parameter holds one value (or a triple) of a kind (plain number,
 * percentage, distance, angle, colour). Without an envelope its value is the
 * static value set with setVal; once enveloped (state LWVPSF_ENV) each
 * component follows its own envelope of the "Animation Envelopes" service,
 * and getVal evaluates them at the asked time. setup names the parameter's
 * channels and puts them into a channel group, so that the envelopes appear
 * in the host's graph editor. load and save store the parameter, static
 * value and envelopes, inside the block the caller has opened.
 *
 * Every function accepts a null or destroyed parameter and then does
 * nothing, answering 0 or null. */
#ifndef KORVALITH_SDK_LWVPARM_H
#define KORVALITH_SDK_LWVPARM_H

#include "lwio.h"
#include "lwtypes.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LWVPARMFUNCS_GLOBAL "LWVParmFuncs 2"

/* Kinds; a triple adds LWVPDT_VECTOR. */
#define LWVP_FLOAT 0x10
#define LWVP_PERCENT 0x20
#define LWVP_DIST 0x30
#define LWVP_ANGLE 0x40
#define LWVP_COLOR 0x50
#define LWVPDT_VECTOR 0x01
/* The texture argument of create: no texture. */
#define LWVPDT_NOTXTR (-1)

/* State flags. */
#define LWVPSF_ENV 0x1 /* the value follows envelopes */

typedef struct st_LWVParmFuncs {
    /* A parameter of a kind (one of the five kinds, with or without
     * LWVPDT_VECTOR), static value 0, not enveloped; null for other kinds. */
    LWVParmID (*create)(int envType, int texType);
    /* Destroys the parameter with its channels and envelopes. */
    void (*destroy)(LWVParmID parm);
    /* channelName: the parameter's channel name. A single value's channel
     * carries it; a triple's channels carry it with ".X", ".Y", ".Z" (".R",
     * ".G", ".B" for colours). An empty name leaves a triple's channels named
     * by component alone and a single value's channel "Value". A second
     * setup renames the channels and moves them to the new group; a null
     * group leaves the parameter without channels. This host never calls
     * the two callbacks. */
    void (*setup)(LWVParmID parm, const char *channelName, LWChanGroupID group, void *gadgetCallback,
                  void *eventCallback, const char *pluginName, void *userData);
    /* Read or write the kind, static value, state and envelopes as blocks
     * inside the block the caller has opened (load reads to the end of that
     * block). A failed load answers an error text and leaves the parameter
     * as it was; a parameter keeps its own kind when loading. */
    LWError (*load)(LWVParmID parm, const LWLoadState *load);
    LWError (*save)(LWVParmID parm, const LWSaveState *save);
    /* Writes 1 or 3 values into result; returns the number written. */
    int (*getVal)(LWVParmID parm, double time, LWMicropolygonID mp, double *result);
    /* Sets the static value (1 or 3 values); returns the number taken. */
    int (*setVal)(LWVParmID parm, const double *value);
    /* The component envelopes (null when not enveloped); returns their number. */
    int (*getEnv)(LWVParmID parm, LWEnvelopeID envs[3]);
    /* LWVPSF_ENV gives each component an envelope holding one key at time 0
     * with its static value; 0 drops the envelopes and keeps the static
     * value. The envelopes belong to the parameter: the envelope service's
     * destroy leaves them alone. */
    void (*setState)(LWVParmID parm, int state);
    int (*getState)(LWVParmID parm);
    /* Asks for the graph editor on the parameter; the host records it. */
    void (*editEnv)(LWVParmID parm);
    /* Copies kind, static value, state and envelopes; to keeps its own
     * channel group and names. Copying onto itself does nothing. */
    void (*copy)(LWVParmID to, LWVParmID from);
} LWVParmFuncs;

#ifdef __cplusplus
}
#endif

#endif
