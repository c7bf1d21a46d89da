/* "Scene Objects 4": the objects loaded into the scene, their layers and
 * the vertex maps they hold. Plain C.
 *
 * Objects are numbered 0 … numObjects() - 1 and their layers 0 …
 * maxLayers(obj) - 1, not every number of which need exist. Vertex maps
 * are listed over all objects by type (a four-character code such as
 * LWVMAP_TXUV); a type of 0 lists the maps of every type. Names answered
 * belong to the host. */
#ifndef KORVALITH_SDK_LWMESHES_H
#define KORVALITH_SDK_LWMESHES_H

#include "lwtypes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Vertex map types. */
#define LWVMAP_TXUV LWID_('T', 'X', 'U', 'V')

/* A layer's mesh, as layerMesh hands it out. */
typedef struct st_LWMeshInfo LWMeshInfo;

/* Point and polygon ids of the host's meshes. */
typedef struct st_GCoreVertex *LWPntID;
typedef struct st_GCorePolygon *LWPolID;

#define LWOBJECTFUNCS_GLOBAL "Scene Objects 4"

typedef struct st_LWObjectFuncs {
    int (*numObjects)(void);
    const char *(*filename)(int obj);
    int (*maxLayers)(int obj);
    int (*layerExists)(int obj, int lnum);
    void (*pivotPoint)(int obj, int lnum, LWFVector pos);
    LWMeshInfo *(*layerMesh)(int obj, int lnum);

    int (*numVMaps)(LWID type);
    /* Name of the index-th map of the type, or null past the end. */
    const char *(*vmapName)(LWID type, int index);
    int (*vmapDim)(LWID type, int index);
    /* Type of the index-th map of the list of every type. */
    LWID (*vmapType)(int index);

    const char *(*layerName)(int obj, int lnum);
    int (*layerVis)(int obj, int lnum);

    const char *(*userName)(int obj);
    const char *(*refName)(int obj);
} LWObjectFuncs;

#ifdef __cplusplus
}
#endif

#endif
