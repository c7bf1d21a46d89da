/* Handler records of instance-based servers, and the texture handler.
 * Plain C.
 *
 * The host fills nothing in these records: the server's activation fills
 * them with its functions, and the host then calls those for each instance
 * it makes. An instance is the plug-in's own pointer (LWInstance). */
#ifndef KORVALITH_SDK_LW_HANDLER_H
#define KORVALITH_SDK_LW_HANDLER_H

#include "lw_io.h"
#include "lw_types.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LWTEXTURE_HCLASS "TextureHandler"
#define LWTEXTURE_ICLASS "TextureInterface"
#define LWTEXTURE_VERSION 5
#define LWINTERFACE_VERSION 4

typedef struct st_LWInstanceFuncs {
    void *priv;
    /* error: where create may leave a text when it makes no instance */
    LWInstance (*create)(void *priv, void *context, LWError *error);
    void (*destroy)(LWInstance inst);
    LWError (*copy)(LWInstance to, LWInstance from);
    LWError (*load)(LWInstance inst, const LWLoadState *load);
    LWError (*save)(LWInstance inst, const LWSaveState *save);
    const char *(*descln)(LWInstance inst);
} LWInstanceFuncs;

/* Items the instance depends on, and renumbered items. */
typedef struct st_LWItemFuncs {
    const LWItemID *(*useItems)(LWInstance inst);
    /* pairs of old and new ids, ended by a null old id */
    void (*changeID)(LWInstance inst, const LWItemID *ids);
} LWItemFuncs;

/* Render modes handed to init. */
#define LWINIT_PREVIEW 0
#define LWINIT_RENDER 1

typedef struct st_LWRenderFuncs {
    LWError (*init)(LWInstance inst, int mode);
    void (*cleanup)(LWInstance inst);
    LWError (*newTime)(LWInstance inst, LWFrame frame, LWTime time);
} LWRenderFuncs;

/* Flags of a texture access. */
#define LWTXEF_GRADIENT 0x01 /* the gradient is asked for */
#define LWTXEF_COLOR 0x20    /* the colour is asked for */

/* Ray sources of a texture access. */
#define LWRT_CAMERA 0
#define LWRT_SHADOW 1
#define LWRT_REFLECTION 2
#define LWRT_REFRACTION 3

/* One shaded spot, handed to a texture's evaluate. The host fills the
 * positions, size, amplitude, spot size, axis, flags and ray source; the
 * texture writes txGrad or txRGBA as the flags ask. */
typedef struct st_LWTextureAccess {
    double wPos[3];  /* world position */
    double tPos[3];  /* texture position: moved, rotated and scaled by the layer's settings */
    double size[3];  /* the layer's texture size */
    double amp;      /* bump amplitude */
    double spotSize; /* world size of the spot */
    int axis;        /* 0 X, 1 Y, 2 Z */
    int flags;
    int raySource;
    double txGrad[3];
    double txRGBA[4];
    LWMicropolygonID mp;
} LWTextureAccess;

typedef struct st_LWTextureHandler {
    LWInstanceFuncs *inst;
    LWItemFuncs *item; /* left null by servers that do not track items */
    LWRenderFuncs *rend;
    double (*evaluate)(LWInstance inst, LWTextureAccess *access);
    unsigned int (*flags)(LWInstance inst);
} LWTextureHandler;

/* The record an interface server fills for one instance; panel is the
 * host's view panel ("LWXPanel") the server made. */
typedef struct st_LWInterface {
    LWInstance inst;
    void *panel;
    LWError (*options)(LWInstance inst);
    LWError (*command)(LWInstance inst, const char *command);
} LWInterface;

#ifdef __cplusplus
}
#endif

#endif
