/* "Texture Functions 3": textures and their layers. Plain C.
 *
 * A texture is a stack of layers that together give one value of its
 * return type. Each texture has a channel group of the "Animation
 * Envelopes" service, made under the parent group given at creation and
 * named after the texture; each layer has its own group, made under the
 * texture's group when the layer is added (named "Layer1", "Layer2", ... by
 * its position then). Destroying a texture, or replacing its layers by
 * copy, destroys the groups the host made for them. Ids of destroyed
 * textures and layers are never reused and answer like null ids. */
#ifndef KORVALITH_SDK_LWTXTR_H
#define KORVALITH_SDK_LWTXTR_H

#include "lwtypes.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LWTEXTUREFUNCS_GLOBAL "Texture Functions 3"

/* Return types of a texture. */
#define TRT_VECTOR 0
#define TRT_COLOR 1
#define TRT_PERCENT 2
#define TRT_SCALAR 3
#define TRT_DISPLACEMENT 4

/* Layer types. */
#define TLT_IMAGE 0
#define TLT_PROC 1
#define TLT_GRAD 2

typedef struct st_LWTextureFuncs {
    /* A new empty texture, or null for a return type outside TRT_VECTOR ..
     * TRT_DISPLACEMENT or a parentGroup that is no live channel group. name
     * may be null (an empty name). parentGroup may be null (the texture's
     * group is then a top-level one). context is what the texture belongs to (a
     * surface, a plug-in's record); the host hands it back from context. */
    LWTextureID (*create)(int returnType, const char *name, LWChanGroupID parentGroup, void *context);
    /* Destroys the texture, its layers and the groups it made. */
    void (*destroy)(LWTextureID txtr);
    /* Replaces to's layers by copies of from's layers (types, in order,
     * each with a new group under to's group). Name, return type, context
     * and group of to stay. Nothing when they are the same texture. */
    void (*copy)(LWTextureID to, LWTextureID from);
    /* Makes group the texture's channel group: layers added from now on get
     * their groups under it (top-level groups while it is null, none
     * when it is no live group).
     * Existing layers keep theirs. */
    void (*setEnvGroup)(LWTextureID txtr, LWChanGroupID group);
    LWTLayerID (*firstLayer)(LWTextureID txtr);
    LWTLayerID (*lastLayer)(LWTextureID txtr);
    /* The layer after layer in txtr, or null (also when layer is not one of
     * txtr's). */
    LWTLayerID (*nextLayer)(LWTextureID txtr, LWTLayerID layer);
    /* Appends a layer of the type; null for an unknown type. */
    LWTLayerID (*layerAdd)(LWTextureID txtr, int layerType);
    /* Changes the layer's type; an unknown type is ignored. */
    void (*layerSetType)(LWTLayerID layer, int layerType);
    /* The layer's type, or -1 for an id that is no layer. */
    int (*layerType)(LWTLayerID layer);
    LWChanGroupID (*layerEnvGroup)(LWTLayerID layer);
    /* The texture that holds the layer. */
    LWTextureID (*texture)(LWTLayerID layer);
    /* The name given at creation ("" for none), or null for an id that is
     * no texture. */
    const char *(*name)(LWTextureID txtr);
    /* The return type, or -1 for an id that is no texture. */
    int (*type)(LWTextureID txtr);
    void *(*context)(LWTextureID txtr);
    LWChanGroupID (*envGroup)(LWTextureID txtr);
} LWTextureFuncs;

#ifdef __cplusplus
}
#endif

#endif
