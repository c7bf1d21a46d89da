/* Scene queries: "LW Item Info 3", "LW Scene Info 3", "LW Camera Info 2",
 * "LW Object Info 4",
 * and the records of item and render handlers. Plain C.
 *
 * Items (objects, lights, cameras, bones) are named by opaque ids that are
 * never reused while the host runs; an id of an item that was deleted, or
 * any other id the host does not know, answers like a null id: null items,
 * null names, zero values. Times are in seconds. */
#ifndef KORVALITH_SDK_LWRENDER_H
#define KORVALITH_SDK_LWRENDER_H

#include "lwenvel.h"
#include "lwhandler.h"
#include "lwmeshes.h"
#include "lwtypes.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void *LWItemID;
#define LWITEM_NULL ((LWItemID)0)

typedef int LWItemType;
#define LWI_OBJECT 0
#define LWI_LIGHT 1
#define LWI_CAMERA 2
#define LWI_BONE 3

typedef int LWItemParam;

/* ---------------------------------------------------------------- items */

/* Item parameters read with param. Angles are radians; axes are unit
 * vectors. Without the W_ prefix a value is the item's own, in its
 * parent's space: POSITION, ROTATION (heading, pitch, bank), SCALING and
 * PIVOT as set, RIGHT/UP/FORWARD the item's +X/+Y/+Z axes as turned by its
 * rotation (bank about Z first, then pitch about X, then heading about Y).
 * W_POSITION is the item's position in world space through every parent's
 * pivot, scaling, rotation and position; W_RIGHT/W_UP/W_FORWARD are its
 * axes in world space through every parent's rotation (scaling does not
 * bend them, so they stay orthonormal). PIVOT_ROT is the rotation of the
 * pivot (heading, pitch, bank). */
#define LWIP_POSITION 1
#define LWIP_RIGHT 2
#define LWIP_UP 3
#define LWIP_FORWARD 4
#define LWIP_ROTATION 5
#define LWIP_SCALING 6
#define LWIP_PIVOT 7
#define LWIP_W_POSITION 8
#define LWIP_W_RIGHT 9
#define LWIP_W_UP 10
#define LWIP_W_FORWARD 11
#define LWIP_PIVOT_ROT 12

#define LWITEMINFO_GLOBAL "LW Item Info 3"

typedef struct st_LWItemInfo {
    /* First item of a type in creation order. For LWI_BONE the second
     * argument is the object whose bones are listed; otherwise it is
     * ignored. Null when there is none. */
    LWItemID (*first)(LWItemType type, LWItemID boneObject);
    /* Next item of the same type (for bones: of the same object), or null. */
    LWItemID (*next)(LWItemID item);
    /* Children of an item in creation order; nextChild answers null when
     * prevChild is not a child of parent. */
    LWItemID (*firstChild)(LWItemID parent);
    LWItemID (*nextChild)(LWItemID parent, LWItemID prevChild);
    LWItemID (*parent)(LWItemID item);
    LWItemID (*target)(LWItemID item);
    LWItemID (*goal)(LWItemID item);
    /* The item's type, or -1 for an id that is no item. */
    LWItemType (*type)(LWItemID item);
    /* The item's name, or null for an id that is no item. The text stays
     * valid until the item is renamed or deleted. */
    const char *(*name)(LWItemID item);
    /* Writes the parameter at the time into vector; an unknown parameter
     * or an id that is no item writes (0, 0, 0). */
    void (*param)(LWItemID item, LWItemParam param, LWTime time, LWDVector vector);
    /* The LWVECF_ bits tell which components of the parameter are limited,
     * and min and max receive the limits of those. This host sets no
     * limits: the answer is 0 and min and max are left alone. */
    unsigned int (*limits)(LWItemID item, LWItemParam param, LWDVector min, LWDVector max);
    /* An item's tags are texts numbered from 1. getTag answers tag tagNum,
     * or null when there is none; the text stays valid until that tag is
     * set again or the item is deleted. setTag replaces tag tagNum, or
     * adds a tag at the end when tagNum is 0; other numbers and a null
     * text change nothing. */
    const char *(*getTag)(LWItemID item, int tagNum);
    void (*setTag)(LWItemID item, int tagNum, const char *tag);
    /* The channel group of the item's motion channels (see the host's
     * scene), or null for an id that is no item. */
    LWChanGroupID (*chanGroup)(LWItemID item);
    /* Name and LWSRVF_ flags of the index-th plug-in server (from 1) of a
     * class applied to the item; null and 0 when there is none. */
    const char *(*server)(LWItemID item, const char *cls, int index);
    unsigned int (*serverFlags)(LWItemID item, const char *cls, int index);
    /* Writes the LWMOTCTL_ code that moves each component of POSITION,
     * ROTATION or SCALING; other parameters and unknown items write 0s. */
    void (*controller)(LWItemID item, LWItemParam param, int type[3]);
    /* LWITEMF_ bits; 0 for an id that is no item. */
    unsigned int (*flags)(LWItemID item);
    /* How far ahead (in seconds) alignment to the path looks. */
    LWTime (*lookAhead)(LWItemID item);
    /* How strongly the item's goal pulls it. */
    double (*goalStrength)(LWItemID item);
    /* Writes the IK stiffness of each component of POSITION or ROTATION;
     * other parameters and unknown items write 0s. */
    void (*stiffness)(LWItemID item, LWItemParam param, LWDVector vector);
} LWItemInfo;

/* limits: the limited components. */
#define LWVECF_0 (1 << 0)
#define LWVECF_1 (1 << 1)
#define LWVECF_2 (1 << 2)

/* Flags of an applied server. */
#define LWSRVF_DISABLED (1 << 0)
#define LWSRVF_HIDDEN (1 << 1)

/* controller codes. */
#define LWMOTCTL_KEYFRAMES 0
#define LWMOTCTL_TARGETING 1
#define LWMOTCTL_ALIGN_TO_PATH 2
#define LWMOTCTL_IK 3

/* flags. */
#define LWITEMF_ACTIVE (1 << 0)
#define LWITEMF_UNAFFECT_BY_IK (1 << 1)
#define LWITEMF_FULLTIME_IK (1 << 2)
#define LWITEMF_GOAL_ORIENT (1 << 3)
#define LWITEMF_REACH_GOAL (1 << 4)

/* ---------------------------------------------------------------- cameras */

#define LWCAMERAINFO_GLOBAL "LW Camera Info 2"

/* Every function answers 0 (and writes 0s) for an id that is no camera. */
typedef struct st_LWCameraInfo {
    /* Zoom factor z: tan(vertical fov / 2) = 1 / z. */
    double (*zoomFactor)(LWItemID camera, LWTime time);
    /* Focal length in millimetres: z times half the aperture height. */
    double (*focalLength)(LWItemID camera, LWTime time);
    /* Distance at which objects are in focus. */
    double (*focalDistance)(LWItemID camera, LWTime time);
    double (*fStop)(LWItemID camera, LWTime time);
    /* Motion blur length as a fraction of a frame. */
    double (*blurLength)(LWItemID camera, LWTime time);
    /* Full field-of-view angles in radians, centred on the view
     * direction: tan(vertical / 2) = 1 / z and tan(horizontal / 2) = A / z
     * with A = the camera's width * pixel aspect / height. */
    void (*fovAngles)(LWItemID camera, LWTime time, double *horizontal, double *vertical);
    /* LWCAMF_ bits. */
    unsigned int (*flags)(LWItemID camera);
    /* The frame the camera renders, in pixels, and its pixel aspect. */
    void (*resolution)(LWItemID camera, int *width, int *height);
    double (*pixelAspect)(LWItemID camera, LWTime time);
    /* Distance between the eyes of a stereo camera. */
    double (*separation)(LWItemID camera, LWTime time);
    /* The limited region and the mask rectangle in pixels (first and last
     * column and row). */
    void (*regionLimits)(LWItemID camera, int *x0, int *y0, int *x1, int *y1);
    void (*maskLimits)(LWItemID camera, int *x0, int *y0, int *x1, int *y1);
    /* Colour of the masked-out area. */
    void (*maskColor)(LWItemID camera, LWDVector color);
} LWCameraInfo;

#define LWCAMF_STEREO (1 << 0)
#define LWCAMF_LIMITED_REGION (1 << 1)
#define LWCAMF_MASK (1 << 2)

/* ---------------------------------------------------------------- scene */

#define LWSCENEINFO_GLOBAL "LW Scene Info 3"

/* A record that the host keeps current: read its fields whenever needed;
 * the pointer the lookup answers stays valid as long as the host runs. */
typedef struct st_LWSceneInfo {
    const char *name;     /* scene name, never null */
    const char *filename; /* scene file, never null ("" when unsaved) */
    int numPoints;
    int numPolygons;
    int renderType; /* LWRTYPE_ */
    int renderOpts; /* LWROPT_ bits */
    LWFrame frameStart;
    LWFrame frameEnd;
    LWFrame frameStep;
    double framesPerSecond;
    int frameWidth; /* pixels, at least 1 */
    int frameHeight;
    double pixelAspect; /* width of a pixel over its height, > 0 */
    int minSamplesPerPixel;
    int maxSamplesPerPixel;
    int limitedRegion[4]; /* x0, y0, x1, y1 */
    int recursionDepth;
    /* The camera that renders at the time, or null when the scene has
     * no camera. */
    LWItemID (*renderCamera)(LWTime time);
    int numThreads;
} LWSceneInfo;

#define LWRTYPE_WIRE 0
#define LWRTYPE_QUICK 1
#define LWRTYPE_REALISTIC 2

#define LWROPT_SHADOWTRACE (1 << 0)
#define LWROPT_REFLECTTRACE (1 << 1)
#define LWROPT_REFRACTTRACE (1 << 2)
#define LWROPT_FIELDS (1 << 3)
#define LWROPT_EVENFIELDS (1 << 4)
#define LWROPT_MOTIONBLUR (1 << 5)
#define LWROPT_DEPTHOFFIELD (1 << 6)
#define LWROPT_LIMITEDREGION (1 << 7)
#define LWROPT_PARTICLEBLUR (1 << 8)

/* ------------------------------------------------------------- objects */

#define LWOBJECTINFO_GLOBAL "LW Object Info 4"

/* An object item's render values. meshInfo hands out a mesh of the object
 * that its caller destroys (frozen non-zero: the points where the frame
 * puts them, reached by pntOtherPos); null for an item that is no object
 * or has no mesh. */
typedef struct st_LWObjectInfo {
    const char *(*filename)(LWItemID object);
    int (*numPoints)(LWItemID object);
    int (*numPolygons)(LWItemID object);
    unsigned int (*shadowOpts)(LWItemID object);
    double (*dissolve)(LWItemID object, LWTime time);
    LWMeshInfoID (*meshInfo)(LWItemID object, int frozen);
    unsigned int (*flags)(LWItemID object);
    double (*fog)(LWItemID object, LWTime time);
    LWTextureID (*dispMap)(LWItemID object);
    LWTextureID (*clipMap)(LWItemID object);
    void (*patchLevel)(LWItemID object, int *display, int *render);
    void (*metaballRes)(LWItemID object, double *display, double *render);
    LWItemID (*boneSource)(LWItemID object);
    LWItemID (*morphTarget)(LWItemID object);
    double (*morphAmount)(LWItemID object, LWTime time);
    unsigned int (*edgeOpts)(LWItemID object);
    void (*edgeColor)(LWItemID object, LWTime time, LWDVector color);
    int (*subdivOrder)(LWItemID object);
    double (*polygonSize)(LWItemID object, LWTime time);
    int (*excluded)(LWItemID object, LWItemID light);
} LWObjectInfo;

#define LWOSHAD_SELF (1 << 0)
#define LWOSHAD_CAST (1 << 1)
#define LWOSHAD_RECEIVE (1 << 2)

#define LWOBJF_UNSEEN_BY_CAMERA (1 << 0)
#define LWOBJF_UNSEEN_BY_RAYS (1 << 1)
#define LWOBJF_UNAFFECT_BY_FOG (1 << 2)
#define LWOBJF_MORPH_MTSE (1 << 3)
#define LWOBJF_MORPH_SURFACES (1 << 4)

/* --------------------------------------------------- rendering callbacks */

/* Functions the renderer hands to what it evaluates (through a texture's
 * micropolygon, say). Positions and directions are world space; colours
 * are RGB. */
struct st_LWShaderAccess;
/* Distance to the nearest surface along the ray, or a negative value when
 * it hits nothing. */
typedef double LWRayCastFunc(const LWDVector position, const LWDVector direction);
/* Like LWRayCastFunc, and the colour seen along the ray. */
typedef double LWRayTraceFunc(const LWDVector position, const LWDVector direction, LWDVector color);
/* Like LWRayCastFunc, and the shading of the surface that is hit. */
typedef double LWRayShadeFunc(const LWDVector position, const LWDVector direction,
                              struct st_LWShaderAccess *shaderAccess);
/* The light's direction and colour at a position; 0 when it does not
 * reach it. */
typedef int LWIlluminateFunc(LWItemID light, const LWDVector position, LWDVector direction, LWDVector color);

/* ------------------------------------------------------ handler extensions */

/* An item's renaming, handed to changeName. */
typedef struct st_LWNameChangeData {
    const char *oldName;
    const char *newName;
    LWItemID id;
} LWNameChangeData;

/* Items an instance depends on, renumbered and renamed items. A server
 * that tracks no items leaves its handler's item record null. */
typedef struct st_LWItemFuncs {
    /* The items the instance depends on, ended by a null id; null for none. */
    const LWItemID *(*useItems)(LWInstance inst);
    /* Pairs of old and new ids, ended by a null old id; a null new id
     * means the item was deleted. */
    void (*changeID)(LWInstance inst, const LWItemID *ids);
    void (*changeName)(LWInstance inst, const LWNameChangeData *change);
} LWItemFuncs;

/* Render modes handed to init. */
#define LWINIT_PREVIEW 0
#define LWINIT_RENDER 1

typedef struct st_LWRenderFuncs {
    LWError (*init)(LWInstance inst, int mode);
    void (*cleanup)(LWInstance inst);
    LWError (*newTime)(LWInstance inst, LWFrame frame, LWTime time);
} LWRenderFuncs;

#ifdef __cplusplus
}
#endif

#endif
