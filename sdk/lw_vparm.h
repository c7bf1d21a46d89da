/* "LWVParmFuncs 2": animated parameters. Plain C.
 *
 * A parameter holds one value (or a triple) of a kind (plain number,
 * percentage, distance, angle, colour). Without an envelope its value is the
 * static value set with setVal; once enveloped (state LWVPSF_ENV) each
 * component follows its own envelope of the "Animation Envelopes" service,
 * and getVal evaluates them at the asked time. setup names the parameter's
 * channels and puts them into a channel group, so that the envelopes appear
 * in the host's graph editor. load and save store the parameter, static
 * value and envelopes, inside the block the caller has opened. */
#ifndef KORVALITH_SDK_LW_VPARM_H
#define KORVALITH_SDK_LW_VPARM_H

#include "lw_io.h"
#include "lw_types.h"

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
    LWVParmID (*create)(int envType, int texType);
    void (*destroy)(LWVParmID parm);
    /* channelName: the parameter's channel name; an empty name leaves the
     * channels named by component ("X", "Y", "Z" or "R", "G", "B"). */
    void (*setup)(LWVParmID parm, const char *channelName, LWChanGroupID group, void *gadgetCallback,
                  void *eventCallback, const char *pluginName, void *userData);
    LWError (*load)(LWVParmID parm, const LWLoadState *load);
    LWError (*save)(LWVParmID parm, const LWSaveState *save);
    /* Writes 1 or 3 values into result; returns the number written. */
    int (*getVal)(LWVParmID parm, double time, LWMicropolygonID mp, double *result);
    /* Sets the static value (1 or 3 values); returns the number taken. */
    int (*setVal)(LWVParmID parm, const double *value);
    /* The component envelopes (null when not enveloped); returns their number. */
    int (*getEnv)(LWVParmID parm, LWEnvelopeID envs[3]);
    void (*setState)(LWVParmID parm, int state);
    int (*getState)(LWVParmID parm);
    void (*editEnv)(LWVParmID parm);
    /* Copies kind, static value, state and envelopes; to keeps its own channel group and names. */
    void (*copy)(LWVParmID to, LWVParmID from);
} LWVParmFuncs;

#ifdef __cplusplus
}
#endif

#endif
