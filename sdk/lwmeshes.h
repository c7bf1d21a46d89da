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

/* Point and polygon ids of the host's meshes. */
typedef struct st_GCoreVertex *LWPntID;
typedef struct st_GCorePolygon *LWPolID;

/* Polygon types. */
#define LWPOLTYPE_FACE LWID_('F', 'A', 'C', 'E')
#define LWPOLTYPE_CURV LWID_('C', 'U', 'R', 'V')
#define LWPOLTYPE_PTCH LWID_('P', 'T', 'C', 'H')
#define LWPOLTYPE_MBAL LWID_('M', 'B', 'A', 'L')
#define LWPOLTYPE_BONE LWID_('B', 'O', 'N', 'E')

/* Polygon tag types. */
#define LWPTAG_SURF LWID_('S', 'U', 'R', 'F')
#define LWPTAG_PART LWID_('P', 'A', 'R', 'T')
#define LWPTAG_TXUV LWID_('T', 'X', 'U', 'V')

/* Vertex map types. */
#define LWVMAP_PICK LWID_('P', 'I', 'C', 'K')
#define LWVMAP_WGHT LWID_('W', 'G', 'H', 'T')
#define LWVMAP_MNVW LWID_('M', 'N', 'V', 'W')
#define LWVMAP_TXUV LWID_('T', 'X', 'U', 'V')
#define LWVMAP_MORF LWID_('M', 'O', 'R', 'F')
#define LWVMAP_SPOT LWID_('S', 'P', 'O', 'T')
#define LWVMAP_RGB LWID_('R', 'G', 'B', ' ')
#define LWVMAP_RGBA LWID_('R', 'G', 'B', 'A')

/* Scan callbacks: called per point or polygon; a non-zero answer stops
 * the scan, which then answers that value. */
typedef int LWPntScanFunc(void *data, LWPntID point);
typedef int LWPolScanFunc(void *data, LWPolID polygon);

/* A mesh handed out by the host ("Scene Objects 4" layerMesh, "LW Object
 * Info 4" meshInfo). Its creator destroys it when done. Base positions are
 * the points at rest in object space. A vertex map is selected by
 * pntVLookup (type and name; null when the mesh has no such map) and
 * pntVSelect (answers the map's dimension); pntVGet reads a point's value
 * (true when the point is mapped), pntVPGet the value a polygon gives the
 * point (a discontinuous value; false when there is none). polTag answers
 * null for a polygon without a tag of the type. */
typedef struct st_LWMeshInfo *LWMeshInfoID;

typedef struct st_LWMeshInfo {
    void *priv;
    void (*destroy)(LWMeshInfoID mesh);

    int (*numPoints)(LWMeshInfoID mesh);
    int (*numPolygons)(LWMeshInfoID mesh);
    int (*scanPoints)(LWMeshInfoID mesh, LWPntScanFunc *scan, void *data);
    int (*scanPolys)(LWMeshInfoID mesh, LWPolScanFunc *scan, void *data);

    void (*pntBasePos)(LWMeshInfoID mesh, LWPntID point, LWFVector pos);
    void (*pntOtherPos)(LWMeshInfoID mesh, LWPntID point, LWFVector pos);
    void *(*pntVLookup)(LWMeshInfoID mesh, LWID type, const char *name);
    int (*pntVSelect)(LWMeshInfoID mesh, void *vmap);
    int (*pntVGet)(LWMeshInfoID mesh, LWPntID point, float *vector);

    LWID (*polType)(LWMeshInfoID mesh, LWPolID polygon);
    int (*polSize)(LWMeshInfoID mesh, LWPolID polygon);
    LWPntID (*polVertex)(LWMeshInfoID mesh, LWPolID polygon, int vertex);
    const char *(*polTag)(LWMeshInfoID mesh, LWPolID polygon, LWID type);

    int (*pntVPGet)(LWMeshInfoID mesh, LWPntID point, LWPolID polygon, float *vector);
    unsigned int (*polFlags)(LWMeshInfoID mesh, LWPolID polygon);

    int (*pntVIDGet)(LWMeshInfoID mesh, LWPntID point, float *vector, void *vmap);
    int (*pntVPIDGet)(LWMeshInfoID mesh, LWPntID point, LWPolID polygon, float *vector, void *vmap);
} LWMeshInfo;

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
