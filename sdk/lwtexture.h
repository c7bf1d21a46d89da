/* Texture handlers ("TextureHandler" and "TextureInterface"): the record a
 * texture server fills, and the access record of one shaded spot. Plain C. */
#ifndef KORVALITH_SDK_LWTEXTURE_H
#define KORVALITH_SDK_LWTEXTURE_H

#include "lwhandler.h"
#include "lwrender.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LWTEXTURE_HCLASS "TextureHandler"
#define LWTEXTURE_ICLASS "TextureInterface"
#define LWTEXTURE_VERSION 5

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

#ifdef __cplusplus
}
#endif

#endif
