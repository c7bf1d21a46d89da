/* "LWVParmFuncs 2": variant parameters, values that may change with time.
 * Plain C.
 *
 * A parameter holds one value, or three, of a kind (plain number,
 * percentage, distance, angle, colour). Without an envelope its value is the
 * static value set with setVal; once enveloped (state LWVPSF_ENV) each
 * component follows its own envelope. A parameter made with a texture type
 * may also carry a texture (state LWVPSF_TEX) that modulates its value where
 * a micropolygon is given. setup names the parameter's channels and puts
 * them into a channel group, so that its envelopes appear in the graph
 * editor. load and save store the parameter inside the block the caller has
 * opened. */
#ifndef KORVALITH_SDK_LWVPARM_H
#define KORVALITH_SDK_LWVPARM_H

#include "lwenvel.h"
#include "lwio.h"
#include "lwtxtr.h"
#include "lwtypes.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LWVPARMFUNCS_GLOBAL "LWVParmFuncs 2"

typedef void *LWVParmID;

/* Kinds (envType of create). LWVPF_VECTOR makes a triple of the first four;
 * a colour is always a triple. */
#define LWVP_FLOAT 0x10
#define LWVP_PERCENT 0x20
#define LWVP_DIST 0x30
#define LWVP_ANGLE 0x40
#define LWVP_COLOR 0x51
#define LWVPF_VECTOR 0x01

/* Texture types (texType of create): none, or a texture return type. */
#define LWVPDT_NOTXTR (-1)
#define LWVPDT_VECTOR 0
#define LWVPDT_COLOR 1
#define LWVPDT_PERCENT 2
#define LWVPDT_SCALAR 3
#define LWVPDT_DISPLACEMENT 4

/* State flags of getState and setState. */
#define LWVPSF_ENV (1 << 0) /* has (or is to get) envelopes */
#define LWVPSF_TEX (1 << 1) /* has (or is to get) a texture */

/* What the event function of setup is told. eventData is null except for
 * LWVPEC_TXAUTOSIZE, where it is the texture's box to fill: x low, x high,
 * y low, y high, z low, z high. */
typedef enum en_LWVP_EVENTCODES {
    LWVPEC_TXTRACK = 0, /* the texture is being changed */
    LWVPEC_TXUPDATE,    /* the texture has changed */
    LWVPEC_TXAUTOSIZE,  /* asks for the texture's default box */
    LWVPEC_ENVTRACK,    /* an envelope is being changed */
    LWVPEC_ENVUPDATE,   /* an envelope has changed */
    LWVPEC_ENVNEW,      /* envelopes were made */
    LWVPEC_ENVOLD,      /* envelopes are going away */
    LWVPEC_TEXNEW,      /* a texture was made */
    LWVPEC_TEXOLD,      /* the texture is going away */
} en_lwvpec;

typedef int LWVP_EventFunc(LWVParmID vp, void *userData, en_lwvpec eventCode, void *eventData);

typedef struct st_LWVParmFuncs {
    /* envType: a kind; texType: an LWVPDT_ value. */
    LWVParmID (*create)(int envType, int texType);
    void (*destroy)(LWVParmID parm);
    /* Names the channels (the base name of a triple's), puts them into
     * group, and keeps the texture context, the event function, the owning
     * server's name and the user data handed to the event function. */
    void (*setup)(LWVParmID parm, const char *channelName, LWChanGroupID group, LWTxtrContextID gc,
                  LWVP_EventFunc *eventFunc, const char *pluginName, void *userData);
    LWError (*copy)(LWVParmID to, LWVParmID from);
    LWError (*load)(LWVParmID parm, const LWLoadState *load);
    LWError (*save)(LWVParmID parm, const LWSaveState *save);
    /* Writes the value at time t into result (room for three values);
     * with a micropolygon a texture modulates it, and the texture's
     * opacity is returned. */
    double (*getVal)(LWVParmID parm, LWTime t, LWMicropolID mp, double *result);
    /* Sets the static value; no effect while enveloped. Returns the number
     * of values taken (0, 1 or 3). */
    int (*setVal)(LWVParmID parm, double *value);
    int (*getState)(LWVParmID parm);
    /* Makes or drops envelopes and texture to match the flags. */
    void (*setState)(LWVParmID parm, int state);
    /* Open the graph editor or the texture editor on the parameter. */
    void (*editEnv)(LWVParmID parm);
    void (*editTex)(LWVParmID parm);
    /* Sets a micropolygon to its defaults. */
    void (*initMP)(LWMicropolID mp);
    /* The component envelopes, null where there are none. */
    void (*getEnv)(LWVParmID parm, LWEnvelopeID envlist[3]);
    LWTextureID (*getTex)(LWVParmID parm);
} LWVParmFuncs;

#ifdef __cplusplus
}
#endif

#endif
