/* Shader handlers ("ShaderHandler" and "ShaderInterface"): the host calls
 * evaluate for every spot of a surface the shader is applied to, with an
 * access record that describes the spot and holds the surface values the
 * shader may change. Plain C.
 *
 * Positions are world space unless named object space (oPos); oXfrm and
 * wXfrm are 3 x 3 matrices row by row (object to world and back). objID is
 * the object's item; spots of surfaces that belong to no item carry an id
 * whose low 16 bits are 0x7FFF. verts, weights and vertsWPos give up to
 * four vertices of the polygon around the spot and their weights (null ids
 * and zero weights past the polygon's own). Colours are linear RGB. */
#ifndef KORVALITH_SDK_LWSHADER_H
#define KORVALITH_SDK_LWSHADER_H

#include "lwhandler.h"
#include "lwmeshes.h"
#include "lwrender.h"
#include "lwtypes.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LWSHADER_HCLASS "ShaderHandler"
#define LWSHADER_ICLASS "ShaderInterface"
#define LWSHADER_VERSION 4

typedef struct st_LWShaderAccess {
    int sx, sy;
    double oPos[3], wPos[3];
    double gNorm[3];
    double spotSize;
    double raySource[3];
    double rayLength;
    double cosine;
    double oXfrm[9], wXfrm[9];
    LWItemID objID;
    int polNum;

    double wNorm[3];
    double color[3];
    double luminous;
    double diffuse;
    double specular;
    double mirror;
    double transparency;
    double eta;
    double roughness;

    LWIlluminateFunc *illuminate;
    LWRayTraceFunc *rayTrace;
    LWRayCastFunc *rayCast;
    LWRayShadeFunc *rayShade;

    int flags;
    int bounces;
    LWItemID sourceID;
    double wNorm0[3];
    double bumpHeight;
    double translucency;
    double colorHL;
    double colorFL;
    double addTransparency;
    double difSharpness;

    LWPntID verts[4];
    float weights[4];
    float vertsWPos[4][3];
    LWPolID polygon;
} LWShaderAccess;

typedef struct st_LWShaderHandler {
    LWInstanceFuncs *inst;
    LWItemFuncs *item;
    LWRenderFuncs *rend;
    void (*evaluate)(LWInstance inst, LWShaderAccess *access);
    unsigned int (*flags)(LWInstance inst);
} LWShaderHandler;

/* What a shader changes, as flags answers it. */
#define LWSHF_NORMAL (1 << 0)
#define LWSHF_COLOR (1 << 1)
#define LWSHF_LUMINOUS (1 << 2)
#define LWSHF_DIFFUSE (1 << 3)
#define LWSHF_SPECULAR (1 << 4)
#define LWSHF_MIRROR (1 << 5)
#define LWSHF_TRANSP (1 << 6)
#define LWSHF_ETA (1 << 7)
#define LWSHF_ROUGH (1 << 8)
#define LWSHF_TRANSLUCENT (1 << 9)
#define LWSHF_RAYTRACE (1 << 10)

#ifdef __cplusplus
}
#endif

#endif
