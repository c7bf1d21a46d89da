// The stand-in host's textures ("Texture Functions 3"): texture contexts,
// textures, their layers and the layers' settings.
//
// Model:
// - A context keeps the parameter functions it was made with and the
//   parameters added to it, numbered from 1 in the order they were added.
//   contextDestroy does nothing while a texture still uses the context.
// - A texture has a return type (TRT_), a name, a context (may be null), the
//   caller's user data, a channel group (null until setEnvGroup) and its
//   layers in order.
// - A layer has a type (TLT_), the settings of LayerSettings and a channel
//   group of its own, made when the layer is added: "Layer1", "Layer2", ...
//   by its position then, under the texture's group, or at the top level
//   while the texture has none (a group given by setEnvGroup that has died
//   since gives the layer no group). Destroying a texture, or replacing its
//   layers by copy or load, destroys the groups of its layers; the group
//   given by setEnvGroup stays the caller's.
// - getParam and setParam read and write the settings of the tags POSI to
//   INPUT and answer 1; they answer 0 (and change nothing) for a null
//   pointer, an id that is no layer, a value outside the tag's range (a
//   projection, axis, repeat or blending mode this host does not know, an
//   INPUT outside 0 to 15, a double that is not finite) and for the animated
//   UV tags AUVN, AUVU, AUVC and AUVO: this host has no animated UV servers.
//   Switches (AA, PIXBLEND, ACTIVE, INVERT, COORD) store 0 or 1.
// - newtime calls the context's paramTime for each of its parameters with
//   the texture's user data and keeps the answers; cleanup hands each to
//   paramCleanup. A newtime while answers are kept, and destroying the
//   texture, clean up first. Plug-in callbacks run with no lock held.
// - The stand-in has no texture engine: evaluate and layerEvaluate leave the
//   value as the caller set it and answer opacity 0 (no layer covers the
//   spot), for every layer type.
// - evaluateUV maps by the layer's projection, in world or object
//   coordinates by COORD: the position is moved by -POSI, turned back by
//   ROTA (heading, pitch, bank as items turn) and divided by SIZE, giving
//   p = (x, y, z); then, with a, b the two axes after AXIS in X, Y, Z order
//   (Y, Z for X; Z, X for Y; X, Y for Z):
//     planar       u = p[a] + 0.5, v = p[b] + 0.5
//     cubic        planar about the dominant axis handed in (wAxis in world
//                  coordinates, oAxis in object coordinates)
//     cylindrical  u = atan2(p[a], p[b]) / 2pi + 0.5, v = p[AXIS] + 0.5
//     spherical    u as cylindrical, v = asin(p[AXIS] / |p|) / pi + 0.5
//   and (0, 0) for front and UV projections, whose coordinates come from
//   the camera and the mesh. WWRP and HWRP multiply u and v of cylindrical
//   and spherical projections.
// - noise is Perlin's improved noise over a fixed permutation, mapped from
//   [-1, 1] to [0, 1]: 0.5 at whole-numbered points, and at points that are
//   not finite.
// - Ids of destroyed contexts, textures and layers are never reused and
//   answer like null ids: null, -1 types, 0 values.
//
// Saved form (what save writes inside the block the caller opened):
//   'TLCT' "LayerCount"     leaf  I4 number of layers
//   'TLAY' "TextureLayer"   group, one per layer in order:
//     'TLTY' "LayerType"    leaf  I4 type
//     'TLVC' "Placement"    leaf  DP x 12: position, rotation, size, falloff
//     'TLNM' "Numbers"      leaf  DP x 4: width wrap, height wrap, opacity,
//                                 antialiasing threshold
//     'TLSW' "Settings"     leaf  I4 x 11: projection, axis, world
//                                 coordinates, antialiasing, pixel blending,
//                                 width repeat, height repeat, active,
//                                 invert, blending, input
//     'TLRO' "ReferenceObject" leaf STR the object's name (only when set)
// Load reads to the end of the caller's block, skips blocks with other
// codes, and replaces the texture's layers only when the count and every
// layer read are sound; otherwise the texture stays as it was. The
// reference object is found again by name among the scene's objects (none
// when no object has that name). Image and vertex map handles are kept and
// copied with a layer but not saved: they are ids of services whose handles
// do not outlive this host.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

#include "lwtxtr.h"
#include "lwtypes.h"

namespace hostsim {

class Host;

// Every setting a layer has, as the tags name them.
struct LayerSettings {
    int type = TLT_PROC;
    std::array<double, 3> position{0, 0, 0};
    std::array<double, 3> rotation{0, 0, 0};
    std::array<double, 3> size{1, 1, 1};
    std::array<double, 3> falloff{0, 0, 0};
    int projection = TXPRJ_PLANAR;
    int axis = 2;
    double widthWrap = 1.0;
    double heightWrap = 1.0;
    int worldCoordinates = 0;
    LWImageID image = nullptr;
    void* vmap = nullptr;
    LWItemID referenceObject = nullptr;
    double opacity = 1.0;
    int antialiasing = 1;
    double antialiasThreshold = 0.015;
    int pixelBlending = 1;
    int widthRepeat = TXRPT_REPEAT;
    int heightRepeat = TXRPT_REPEAT;
    int active = 1;
    int invert = 0;
    int blend = TXBLN_NORMAL;
    int input = 0;

    bool operator==(const LayerSettings&) const = default;
};

// A parameter of a context as it was added (texts copied).
struct ContextParam {
    std::string name;
    double start = 0.0;
    double end = 0.0;
    int type = 0;
    int flags = 0;
    int itemType = LWGI_NONE;
    LWItemID itemID = nullptr;
    std::string itemName;
};

class Textures {
public:
    Textures();
    ~Textures();
    Textures(const Textures&) = delete;
    Textures& operator=(const Textures&) = delete;
    // Enters "Texture Functions 3" into the host's service table.
    void registerWith(Host& host);
    const LWTextureFuncs* funcs() const;

    // --- contexts ---
    LWTxtrContextID createContext(const LWTxtrParamFuncs& funcs);
    void destroyContext(LWTxtrContextID context);
    void addContextParam(LWTxtrContextID context, const LWTxtrParamDesc& param);
    bool isContext(LWTxtrContextID context) const;
    std::vector<ContextParam> contextParams(LWTxtrContextID context) const;

    // --- textures ---
    // Null for a return type outside TRT_VECTOR .. TRT_DISPLACEMENT or a
    // context that is not live; name may be null (empty).
    LWTextureID create(int returnType, const char* name, LWTxtrContextID context, void* userData);
    void destroy(LWTextureID txtr);
    // Replaces to's layers by copies of from's (types and settings, each
    // with a new group). Name, return type, context, user data and group of
    // to stay. Nothing when they are the same texture.
    void copy(LWTextureID to, LWTextureID from);
    void newTime(LWTextureID txtr, LWTime time, LWFrame frame);
    void cleanup(LWTextureID txtr);
    // Null, or the reason the texture was left as it was.
    LWError load(LWTextureID txtr, const LWLoadState* state);
    void save(LWTextureID txtr, const LWSaveState* state) const;
    double evaluate(LWTextureID txtr, LWMicropolID mp, double* value) const;
    void setGroup(LWTextureID txtr, LWChanGroupID group);
    bool isTexture(LWTextureID txtr) const;
    const char* name(LWTextureID txtr) const;
    int type(LWTextureID txtr) const;
    LWTxtrContextID context(LWTextureID txtr) const;
    void* userData(LWTextureID txtr) const;
    LWChanGroupID group(LWTextureID txtr) const;
    // Live textures in creation order.
    std::vector<LWTextureID> textures() const;
    // The parameter answers newtime keeps for the texture (none after cleanup).
    std::vector<gParamData> timeData(LWTextureID txtr) const;

    // --- layers ---
    LWTLayerID firstLayer(LWTextureID txtr) const;
    LWTLayerID lastLayer(LWTextureID txtr) const;
    // The layer after layer in txtr, or null (also when layer is not one of
    // txtr's).
    LWTLayerID nextLayer(LWTextureID txtr, LWTLayerID layer) const;
    // Null for an unknown type.
    LWTLayerID addLayer(LWTextureID txtr, int layerType);
    // An unknown type is ignored.
    void setLayerType(LWTLayerID layer, int layerType);
    int layerType(LWTLayerID layer) const;
    double evaluateLayer(LWTLayerID layer, LWMicropolID mp, double* value) const;
    LWChanGroupID layerGroup(LWTLayerID layer) const;
    LWTextureID layerTexture(LWTLayerID layer) const;
    int setParam(LWTLayerID layer, int tag, const void* data);
    int getParam(LWTLayerID layer, int tag, void* data) const;
    void evaluateUV(LWTLayerID layer, int wAxis, int oAxis, const double oPos[3], const double wPos[3],
                    double uv[2]) const;
    // Throws HostError for an id that is no layer.
    LayerSettings settings(LWTLayerID layer) const;

    static double noise(const double p[3]);

    // The layers a load would make, read from blocks up to the end of the
    // caller's block; null or the reason the data is unsound. Animated
    // parameters read their texture with this before they change anything.
    LWError readLayers(const LWLoadState* state, std::vector<LayerSettings>& layers) const;
    // Replaces the texture's layers by these.
    void setLayers(LWTextureID txtr, const std::vector<LayerSettings>& layers);

private:
    // One parameter of a context: its copy, and the descriptor the
    // callbacks receive, whose texts point into the copy. Entries never
    // move, so the descriptors stay valid while the context lives.
    struct Param {
        ContextParam copy;
        LWTxtrParamDesc desc{};
    };
    struct Context {
        LWTxtrParamFuncs funcs;
        std::vector<std::unique_ptr<Param>> params;
    };
    struct Texture {
        int returnType = TRT_SCALAR;
        std::string name;
        LWTxtrContextID context = nullptr;
        void* userData = nullptr;
        LWChanGroupID group = nullptr;
        std::vector<LWTLayerID> layers;
        std::vector<gParamData> timeData;  // newtime's answers, one per context parameter
        bool timed = false;
    };
    struct Layer {
        LWTextureID texture;
        LayerSettings settings;
        LWChanGroupID group;
    };
    // A pending call of a context's paramCleanup.
    struct Cleanup {
        void (*func)(LWTxtrParamDesc*, int, gParamData);
        LWTxtrParamDesc* desc;
        int index;
        gParamData data;
    };

    const Texture* findTexture(LWTextureID id) const;
    Texture* findTexture(LWTextureID id);
    const Layer* findLayer(LWTLayerID id) const;
    Layer* findLayer(LWTLayerID id);
    LWTLayerID addLayerLocked(Texture& txtr, LWTextureID id, const LayerSettings& settings);
    // Removes the texture's layers and answers their groups, for dropGroups.
    std::vector<LWChanGroupID> takeLayers(Texture& txtr);
    void dropGroups(const std::vector<LWChanGroupID>& groups);
    // Takes the texture's kept time answers, for runCleanups.
    std::vector<Cleanup> takeTimeData(Texture& txtr);
    static void runCleanups(const std::vector<Cleanup>& cleanups);
    std::string objectName(LWItemID item) const;
    LWItemID objectNamed(const std::string& name) const;

    Host* host_ = nullptr;
    mutable std::shared_mutex mutex_;
    std::map<LWTxtrContextID, Context> contexts_;
    std::map<LWTextureID, Texture> textures_;
    std::map<LWTLayerID, Layer> layers_;
    uintptr_t serial_ = 0;
};

}  // namespace hostsim
