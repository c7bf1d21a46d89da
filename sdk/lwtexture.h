/* Procedural texture handlers ("TextureHandler" and "TextureInterface"):
 * the handler record and the access record of one spot. Plain C.
 *
 * The context handed to a texture instance's create is the texture layer
 * the instance serves (an LWTLayerID of "Texture Functions 3"). */
#ifndef KORVALITH_SDK_LWTEXTURE_H
#define KORVALITH_SDK_LWTEXTURE_H

#include "lwrender.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LWTEXTURE_HCLASS "TextureHandler"
#define LWTEXTURE_ICLASS "TextureInterface"
#define LWTEXTURE_VERSION 5

/* One spot, handed to evaluate. The host fills the positions, size,
 * amplitude, spot size, axis, flags and octaves; the texture fills txGrad
 * when its flags carry LWTEXF_GRAD and txRGBA when they carry
 * LWTEXF_SELF_COLOR, and returns its value in either case. */
typedef struct st_LWTextureAccess {
    double wPos[3];  /* world position */
    double tPos[3];  /* texture position: after the layer's position, rotation and scale */
    double size[3];  /* the layer's texture size */
    double amp;      /* amplitude */
    double spotSize; /* approximate diameter of the spot */
    double txGrad[3];
    int axis;        /* the layer's axis: 0 X, 1 Y, 2 Z */
    int flags;       /* LWTXEF_ bits */
    double octaves;  /* fractal octaves asked for (volumes only) */
    double txRGBA[4];
} LWTextureAccess;

/* What a texture activation fills: the members of the host's instance,
 * item and render records, and evaluate and flags. item is null where the
 * host tracks no items (Modeler). */
typedef struct st_LWTextureHandler {
    LWInstanceFuncs *inst;
    LWItemFuncs *item;
    LWRenderFuncs *rend;
    double (*evaluate)(LWInstance inst, LWTextureAccess *access);
    unsigned int (*flags)(LWInstance inst);
} LWTextureHandler;

/* Flags a texture reports. */
#define LWTEXF_GRAD (1 << 0)        /* fills txGrad */
#define LWTEXF_SLOWPREVIEW (1 << 1) /* too slow for a live preview */
#define LWTEXF_AXIS (1 << 2)        /* uses the axis setting */
#define LWTEXF_AALIAS (1 << 3)      /* antialiases itself */
#define LWTEXF_DISPLACE (1 << 4)    /* fit for displacement */
#define LWTEXF_HV_SRF (1 << 5)      /* fit for volume surfaces */
#define LWTEXF_HV_VOL (1 << 6)      /* fit for volumes */
#define LWTEXF_SELF_COLOR (1 << 7)  /* fills txRGBA */

/* What an evaluation is for (LWTextureAccess flags). */
#define LWTXEF_VECTOR (1 << 0) /* a bump */
#define LWTXEF_AXISX (1 << 1)  /* the dimensions evaluated */
#define LWTXEF_AXISY (1 << 2)
#define LWTXEF_AXISZ (1 << 3)
#define LWTXEF_DISPLACE (1 << 4) /* a displacement */
#define LWTXEF_COLOR (1 << 5)    /* a colour */

#ifdef __cplusplus
}
#endif

#endif
