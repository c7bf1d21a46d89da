/* "Surface Functions 3": the scene's surfaces, their channels and their
 * textures. Plain C.
 *
 * A surface belongs to an object (sceneObject names it as the scene knows
 * the object) and carries named channels (the SURF_ names): getFlt answers
 * a channel's value (three doubles for colours), getTex the texture that a
 * channel's layers make, getEnv its envelope, chanGrp the surface's channel
 * group. byName and byObject answer null-terminated arrays the host owns.
 * Names answered belong to the host. */
#ifndef KORVALITH_SDK_LWSURF_H
#define KORVALITH_SDK_LWSURF_H

#include "lwenvel.h"
#include "lwnodes.h"
#include "lwtypes.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct st_LWSurface *LWSurfaceID;
typedef struct st_LWSurfLib *LWSurfLibID;

#define LWSURFACEFUNCS_GLOBAL "Surface Functions 3"

/* Channel names. */
#define SURF_COLR "BaseColor"
#define SURF_LUMI "Luminosity"
#define SURF_DIFF "Diffuse"
#define SURF_SPEC "Specularity"
#define SURF_REFL "Reflectivity"
#define SURF_TRAN "Transparency"
#define SURF_TRNL "Translucency"
#define SURF_RIND "IOR"
#define SURF_BUMP "Bump"
#define SURF_GLOS "Glossiness"
#define SURF_SHRP "DiffuseSharpness"
#define SURF_CLRF "ColorFilter"
#define SURF_CLRH "ColorHighlights"
#define SURF_ADTR "AdditiveTransparency"

typedef struct st_LWSurfaceFuncs {
    LWSurfaceID (*create)(const char *objName, const char *surfName);
    LWSurfaceID (*first)(void);
    LWSurfaceID (*next)(LWSurfaceID surf);
    LWSurfaceID *(*byName)(const char *name, const char *objName);
    LWSurfaceID *(*byObject)(const char *name);
    const char *(*name)(LWSurfaceID surf);
    const char *(*sceneObject)(LWSurfaceID surf);

    int (*getInt)(LWSurfaceID surf, const char *channel);
    double *(*getFlt)(LWSurfaceID surf, const char *channel);
    LWEnvelopeID (*getEnv)(LWSurfaceID surf, const char *channel);
    LWTextureID (*getTex)(LWSurfaceID surf, const char *channel);
    LWImageID (*getImg)(LWSurfaceID surf, const char *channel);

    LWChanGroupID (*chanGrp)(LWSurfaceID surf);
    const char *(*getColorVMap)(LWSurfaceID surf);
    void (*setColorVMap)(LWSurfaceID surf, const char *vmapName, int type);

    LWSurfLibID (*createLib)(void);
    void (*destroyLib)(LWSurfLibID lib);
    void (*copyLib)(LWSurfLibID to, LWSurfLibID from);
    LWSurfLibID (*objectLib)(const char *objName);
    LWSurfLibID (*loadLib)(const char *name);
    LWError (*saveLib)(LWSurfLibID lib, const char *name);
    int (*renameLib)(LWSurfLibID lib, const char *name);
    const char *(*nameLib)(LWSurfLibID lib);
    int (*slibCount)(LWSurfLibID lib);
    LWSurfaceID (*slibByIndex)(LWSurfLibID lib, int index);
    NodeEditorID (*getNodeEditor)(LWSurfaceID surf);
} LWSurfaceFuncs;

#ifdef __cplusplus
}
#endif

#endif
