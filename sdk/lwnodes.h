/* Node handlers ("NodeHandler" and "NodeInterface") and the node editor's
 * services: a node makes its inputs and outputs through "NodeInputFuncs" and
 * "NodeOutputFuncs", reads what is connected to an input with the input's
 * evaluate, and hands the value of the output it is asked for back with
 * setValue. Plain C.
 *
 * Connection values: NOT_COLOR and NOT_VECTOR are 3 doubles, NOT_SCALAR one
 * double, NOT_INTEGER one int. Positions and normals of the access record
 * are world space unless named object space (oPos); oXfrm and wXfrm are 3 x 3
 * matrices row by row (object to world and back). */
#ifndef KORVALITH_SDK_LWNODES_H
#define KORVALITH_SDK_LWNODES_H

#include "lwenvel.h"
#include "lwhandler.h"
#include "lwmeshes.h"
#include "lwrender.h"
#include "lwtypes.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LWNODE_HCLASS "NodeHandler"
#define LWNODE_ICLASS "NodeInterface"
#define LWNODECLASS_VERSION 1

#define LWNODEFUNCS_GLOBAL "NodeFuncs"
#define LWNODEINPUTFUNCS_GLOBAL "NodeInputFuncs"
#define LWNODEOUTPUTFUNCS_GLOBAL "NodeOutputFuncs"
#define LWNODEUTILITYFUNCS_GLOBAL "NodeUtilityFuncs"

/* A surface's node editor. */
typedef struct st_NodeEditor *NodeEditorID;

typedef enum { NPT_RENDER = 0, NPT_CUSTOM, NPT_OFF } NodePreviewType;

typedef enum {
    NOT_COLOR = 1,
    NOT_SCALAR,
    NOT_VECTOR,
    NOT_INTEGER,
    NOT_FUNCTION,
    NOT_MATERIAL,
    NOT_CUSTOM = 1024
} ConnectionType;

typedef void *NodeInputID;
typedef void *NodeOutputID;
typedef void *NodeID;
typedef void *NodeData;
typedef void *NodeValue;

/* The spot a node is evaluated for. wNorm is the shading normal as the
 * nodes before have left it (bumped), wNorm0 the interpolated normal before
 * any bump, gNorm the geometric one. */
typedef struct LWNodalAccess_t {
    int sx, sy;
    double oPos[3], wPos[3];
    double gNorm[3];
    double wNorm[3];
    double wNorm0[3];

    double raySource[3];
    double rayLength;

    double spotSize;
    double cosine;
    double bumpHeight;

    double oXfrm[9], wXfrm[9];

    LWIlluminateFunc *illuminate;
    void *illuminateSample; /* not served by this generation's host: null */
    LWRayTraceFunc *rayTrace;
    LWRayCastFunc *rayCast;
    LWRayShadeFunc *rayShade;
    void *rayTraceMode; /* not served: null */

    int bounces;
    LWItemID sourceID;

    LWItemID objID;
    int polNum;

    LWPntID verts[4];
    float weights[4];
    float vertsWPos[4][3];
    LWPolID polygon;
} LWNodalAccess;

/* Input events: what happened to the connection of an input. */
typedef enum LWNodalEvent_t { NIE_CONNECT = 0, NIE_DISCONNECT, NIE_INPUTNODEDESTROY } LWNodalEvent;

/* Called with the instance, the input, the event and, for NIE_CONNECT, the
 * type of the output connected (0 otherwise). */
typedef int NodeInputEvent(void *userData, NodeInputID input, LWNodalEvent event, ConnectionType type);

typedef struct st_LWNodeHandler {
    LWInstanceFuncs *inst;
    LWItemFuncs *item;
    LWRenderFuncs *rend;
    /* The value of one output of the node at one spot, handed back with
     * setValue on the value slot. */
    void (*evaluate)(LWInstance inst, LWNodalAccess *access, NodeOutputID output, NodeValue value);
    /* Draws the node's preview for the NPT_CUSTOM preview type. */
    void (*customPreview)(LWInstance inst, int width, int height);
} LWNodeHandler;

typedef struct LWNodeInputFuncs_t {
    NodeInputID (*create)(NodeID node, ConnectionType type, const char *name, NodeInputEvent *event);
    void (*destroy)(NodeID node, NodeInputID input);
    /* Writes the connected output's value for the spot and answers
     * non-zero; leaves value alone and answers 0 when nothing is connected. */
    int (*evaluate)(NodeInputID input, LWNodalAccess *access, void *value);
    int (*check)(NodeInputID input); /* non-zero while connected */
    NodeInputID (*first)(NodeID node);
    NodeInputID (*next)(NodeInputID input);
    NodeInputID (*previous)(NodeInputID input);
    int (*numInputs)(NodeID node);
    NodeInputID (*byIndex)(NodeID node, int index); /* the first is 1 */
    int (*getIndex)(NodeID node, NodeInputID input); /* 0 for an input of another node */
    void (*disconnect)(NodeID node, NodeInputID input);
    NodeID (*node)(NodeInputID input);
    NodeOutputID (*connectedOutput)(NodeInputID input);
    const char *(*name)(NodeInputID input);
} LWNodeInputFuncs;

typedef struct LWNodeOutputFuncs_t {
    NodeOutputID (*create)(NodeID node, ConnectionType type, const char *name);
    void (*destroy)(NodeID node, NodeOutputID output);
    void (*setValue)(NodeValue value, void *data);
    void *(*getValue)(NodeValue value);
    ConnectionType (*getType)(NodeValue value);
    NodeOutputID (*first)(NodeID node);
    NodeOutputID (*next)(NodeOutputID output);
    NodeOutputID (*previous)(NodeOutputID output);
    int (*numInputs)(NodeID node); /* the number of outputs, as published */
    NodeOutputID (*byIndex)(NodeID node, int index); /* the first is 1 */
    int (*getIndex)(NodeID node, NodeOutputID output);
    NodeID (*node)(NodeOutputID output);
    const char *(*name)(NodeOutputID output);
} LWNodeOutputFuncs;

typedef struct LWNodeFuncs_t {
    const char *(*nodeName)(NodeID node); /* "Texture (1)" */
    const char *(*serverUserName)(NodeID node);
    LWChanGroupID (*chanGrp)(NodeID node);
    void (*setNodeColor)(NodeID node, int rgb[3]);
    void (*setNodeColor3)(NodeID node, int r, int g, int b);
    void (*setNodePreviewType)(NodeID node, NodePreviewType type);
    void (*UpdateNodePreview)(NodeID node);
} LWNodeFuncs;

typedef enum {
    Blend_Normal,
    Blend_Additive,
    Blend_Subtractive,
    Blend_Multiply,
    Blend_Screen,
    Blend_Darken,
    Blend_Lighten,
    Blend_Difference,
    Blend_Negative,
    Blend_ColorDodge,
    Blend_ColorBurn,
    Blend_Red,
    Blend_Green,
    Blend_Blue
} BlendingMode;

typedef struct LWNodeUtilityFuncs_t {
    /* result = fg blended over bg by alpha in the mode. */
    void (*Blend)(LWDVector result, LWDVector bg, LWDVector fg, double alpha, BlendingMode mode);
    /* The size and centre of the polygons of the node's surface. */
    void (*NodeAutosize)(NodeID node, LWDVector scale, LWDVector position);
} LWNodeUtilityFuncs;

#ifdef __cplusplus
}
#endif

#endif
