/* "Texture Functions 3": the host's textures, their layers and their
 * evaluation. Plain C.
 *
 * A texture (LWTextureID) is a stack of layers (LWTLayerID) that together
 * give one value of the texture's return type. Each layer is an image map,
 * a procedural texture or a gradient and carries the settings that getParam
 * and setParam address by tag. A texture context (LWTxtrContextID) lists
 * the input parameters that gradient layers of the textures made with it
 * may follow; the plug-in that made the context computes their values
 * through its LWTxtrParamFuncs.
 *
 * Evaluation takes a micropolygon (LWMicropol): the spot being textured. */
#ifndef KORVALITH_SDK_LWTXTR_H
#define KORVALITH_SDK_LWTXTR_H

typedef struct st_TxtrLayer *LWTLayerID;
typedef struct st_LWMicropol *LWMicropolID;
typedef struct st_TxtrContext *LWTxtrContextID;

#include "lwenvel.h"
#include "lwio.h"
#include "lwmeshes.h"
#include "lwrender.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Where a spot lies in its polygon: the polygon's vertices as indices and
 * ids, their perspective weights and the spot's size on the polygon. */
typedef struct st_LWVertexIndexes {
    int VertexIndexes[4];
    LWPntID Verts[4];
    float Weights[4];
    float SpotSizeWidth;
    float SpotSizeHeight;
} LWVertexIndexes;

/* Which layers an evaluation takes (LWMicropol context): all of them, those
 * in object coordinates only, those in world coordinates only. */
#define TCC_ANY 0
#define TCC_OBJECT 1
#define TCC_WORLD 2

/* The spot a texture is evaluated at. */
typedef struct st_LWMicropol {
    double oPos[3], wPos[3], oScl[3]; /* object and world position; texture scale in object space */
    double gNorm[3], wNorm[3], ray[3]; /* geometric and shading normal; viewing ray direction */
    double bumpHeight, txVal;          /* bump height; the value the texture modifies */
    double spotSize;
    double raySource[3];
    double rayLength;
    double cosine;
    double oXfrm[9], wXfrm[9]; /* object and world transformations, 3 x 3 row by row */
    LWItemID objID, srfID;     /* the object, and the surface (given as an item id) */
    LWPntID verts[4];          /* the vertices around the spot */
    float weights[4];
    float vertsWPos[4][3];
    int polNum, oAxis, wAxis, context; /* polygon number, dominant axes, a TCC_ value */
    LWIlluminateFunc *illuminate;
    LWRayTraceFunc *rayTrace;
    LWRayCastFunc *rayCast;
    LWRayShadeFunc *rayShade;
    void *userData;
    LWPolID polygon;
    LWVertexIndexes *VertexIndexes;
} LWMicropol;

/* One input parameter of a texture context. */
typedef struct st_LWTxtrParamDesc {
    char *name;              /* shown in a gradient's input popup */
    double start, end;       /* the gradient's nominal range */
    int type, flags, itemType; /* an LWIPT_ type; LWGF_ flags; an LWGI_ item type */
    LWItemID itemID;         /* the item the parameter follows, if any */
    char *itemName;
} LWTxtrParamDesc;

/* Parameter types (the units a gradient shows). */
#define LWIPT_FLOAT 2
#define LWIPT_DISTANCE 3
#define LWIPT_PERCENT 4
#define LWIPT_ANGLE 5

/* Parameter flags. */
#define LWGF_FIXED_MIN (1 << 0)
#define LWGF_FIXED_MAX (1 << 1)
#define LWGF_FIXED_START (1 << 2)
#define LWGF_FIXED_END (1 << 3)
#define LWGF_AUTOSIZE (1 << 4)
#define LWGF_LINKED (1 << 5)

/* Item types a parameter may follow. */
#define LWGI_NONE (-1)
#define LWGI_OBJECT 0
#define LWGI_LIGHT 1
#define LWGI_CAMERA 2
#define LWGI_BONE 3
#define LWGI_VMAP 4

/* What paramTime answers, handed to paramEvaluate and paramCleanup. */
typedef void *gParamData;

/* The context maker's callbacks; paramNb counts the context's parameters
 * from 1 in the order they were added (0 is the previous layer). */
typedef struct st_LWTxtrParamFuncs {
    double (*paramEvaluate)(LWTxtrParamDesc *param, int paramNb, LWMicropol *mp, gParamData data);
    gParamData (*paramTime)(void *userData, LWTxtrParamDesc *param, int paramNb, LWTime t, LWFrame f);
    void (*paramCleanup)(LWTxtrParamDesc *param, int paramNb, gParamData data);
} LWTxtrParamFuncs;

#define LWTEXTUREFUNCS_GLOBAL "Texture Functions 3"

typedef struct st_LWTextureFuncs {
    /* ---- contexts */
    LWTxtrContextID (*contextCreate)(LWTxtrParamFuncs funcs);
    /* Only once no texture uses the context any more. */
    void (*contextDestroy)(LWTxtrContextID gc);
    void (*contextAddParam)(LWTxtrContextID gc, LWTxtrParamDesc pd);

    /* ---- textures, in the order a handler uses them */
    /* returnType: a TRT_ value; gc may be null; userData is the caller's. */
    LWTextureID (*create)(int returnType, const char *name, LWTxtrContextID gc, void *userData);
    void (*destroy)(LWTextureID txtr);
    void (*copy)(LWTextureID to, LWTextureID from);
    /* Before evaluations at a new time; cleanup after the last one. */
    void (*newtime)(LWTextureID txtr, LWTime t, LWFrame f);
    void (*cleanup)(LWTextureID txtr);
    void (*load)(LWTextureID txtr, const LWLoadState *loadState);
    void (*save)(LWTextureID txtr, const LWSaveState *saveState);
    /* Writes the value into rv (1 or 3 values by the return type) and
     * returns the texture's opacity at the spot. */
    double (*evaluate)(LWTextureID txtr, LWMicropolID mp, double *rv);
    /* The channel group the envelopes of the layers' settings go into. */
    void (*setEnvGroup)(LWTextureID txtr, LWChanGroupID grp);

    /* ---- layers */
    LWTLayerID (*firstLayer)(LWTextureID txtr);
    LWTLayerID (*lastLayer)(LWTextureID txtr);
    LWTLayerID (*nextLayer)(LWTextureID txtr, LWTLayerID layer);
    /* layerType: a TLT_ value. */
    LWTLayerID (*layerAdd)(LWTextureID txtr, int layerType);
    void (*layerSetType)(LWTLayerID layer, int layerType);
    int (*layerType)(LWTLayerID layer);
    double (*layerEvaluate)(LWTLayerID layer, LWMicropolID mp, double *rv);
    LWChanGroupID (*layerEnvGroup)(LWTLayerID layer);
    /* tag: a TXTAG_ value; data points to the value of the tag's type.
     * Nonzero when the layer took or gave the value. */
    int (*setParam)(LWTLayerID layer, int tag, void *data);
    int (*getParam)(LWTLayerID layer, int tag, void *data);
    /* The (u, v) of a position under the layer's implicit projection;
     * the axes are the dominant axes used by cubic projections. */
    void (*evaluateUV)(LWTLayerID layer, int wAxis, int oAxis, double oPos[3], double wPos[3], double uv[2]);

    /* ---- utilities and what create was given */
    /* Perlin noise in [0, 1]. */
    double (*noise)(double p[3]);
    void *(*userData)(LWTextureID txtr);
    LWChanGroupID (*envGroup)(LWTextureID txtr);
    /* The texture that holds the layer. */
    LWTextureID (*texture)(LWTLayerID layer);
    const char *(*name)(LWTextureID txtr);
    int (*type)(LWTextureID txtr);
    LWTxtrContextID (*context)(LWTextureID txtr);
} LWTextureFuncs;

/* Layer types. */
#define TLT_IMAGE 0
#define TLT_PROC 1
#define TLT_GRAD 2

/* Return types. */
#define TRT_VECTOR 0
#define TRT_COLOR 1
#define TRT_PERCENT 2
#define TRT_SCALAR 3
#define TRT_DISPLACEMENT 4

/* Layer settings of getParam and setParam, with the type data points to. */
enum LWTextureTag {
    TXTAG_POSI,     /* double[3]: position */
    TXTAG_ROTA,     /* double[3]: rotation (heading, pitch, bank) */
    TXTAG_SIZE,     /* double[3]: scale */
    TXTAG_FALL,     /* double[3]: falloff per unit distance */
    TXTAG_PROJ,     /* int: a TXPRJ_ projection of image layers */
    TXTAG_AXIS,     /* int: texture axis, 0 X, 1 Y, 2 Z */
    TXTAG_WWRP,     /* double: width wrap amount */
    TXTAG_HWRP,     /* double: height wrap amount */
    TXTAG_COORD,    /* int: 1 world coordinates, 0 object coordinates */
    TXTAG_IMAGE,    /* LWImageID: the image of an image layer */
    TXTAG_VMAP,     /* a vertex map handle: a UV or weight map */
    TXTAG_ROBJ,     /* LWItemID: reference object */
    TXTAG_OPAC,     /* double: opacity */
    TXTAG_AA,       /* int: antialiasing on */
    TXTAG_AAVAL,    /* double: antialiasing threshold */
    TXTAG_PIXBLEND, /* int: pixel blending on */
    TXTAG_WREPEAT,  /* int: a TXRPT_ width repeat mode */
    TXTAG_HREPEAT,  /* int: a TXRPT_ height repeat mode */
    TXTAG_ACTIVE,   /* int: the layer counts */
    TXTAG_INVERT,   /* int: the layer is inverted */
    TXTAG_BLEND,    /* int: a TXBLN_ blending mode */
    TXTAG_INPUT,    /* int: input parameter of a gradient, 0 to 15 */
    TXTAG_AUVN,     /* char: name of an animated UV plug-in */
    TXTAG_AUVU,     /* char: its user data */
    TXTAG_AUVC,     /* int: byte count of its options */
    TXTAG_AUVO      /* char: its options */
};

/* Projections of image layers. */
enum LWTextureProjection { TXPRJ_PLANAR, TXPRJ_CYLINDRICAL, TXPRJ_SPHERICAL, TXPRJ_CUBIC, TXPRJ_FRONT, TXPRJ_UVMAP };

/* Repeat modes. */
enum LWTextureRepeatMode { TXRPT_RESET, TXRPT_REPEAT, TXRPT_MIRROR, TXRPT_EDGE };

/* Blending modes of a layer over those below it. */
enum LWTextureBlendMode {
    TXBLN_NORMAL = 0,
    TXBLN_SUBTRACT,
    TXBLN_DIFFERENCE,
    TXBLN_MULTIPLY,
    TXBLN_DIVIDE,
    TXBLN_ALPHA,
    TXBLN_DISPLACE,
    TXBLN_ADD
};

#ifdef __cplusplus
}
#endif

#endif
