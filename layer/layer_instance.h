// The instance base that textures, shaders and texture nodes share, and the
// texture instance of the "TextureHandler" server.
#pragma once

#include <string>

#include "host_access.h"
#include "image_layer.h"
#include "lwhandler.h"
#include "lwtexture.h"
#include "lwxpanel.h"

namespace korvalith {

enum InstanceKind : int { kTextureInstance = 0, kShaderInstance = 1, kTextureNodeInstance = 3 };

class LayerInstance {
public:
    explicit LayerInstance(int kind, bool withCorrection = true);
    virtual ~LayerInstance();
    LayerInstance(const LayerInstance&) = delete;
    LayerInstance& operator=(const LayerInstance&) = delete;

    virtual LWError load(const LWLoadState* state);
    virtual LWError save(const LWSaveState* state);
    virtual void copy(const LayerInstance& from);
    virtual LWError renderInit(int mode);
    virtual void renderCleanup();
    // The host texture layer the instance serves and the texture that its
    // OpenGL preview shows; none by default.
    virtual LWTLayerID ownLayer() const { return nullptr; }
    virtual LWTextureID targetTexture() const { return nullptr; }
    virtual void* context() const { return context_; }
    virtual LWError newTime(LWFrame frame, LWTime time);
    virtual const char* description();

    // Panel answers: a pointer to the value (or a parameter id), and the
    // refresh code of a set.
    virtual void* panelGet(unsigned int id);
    virtual int panelSet(unsigned int id, void* value);

    // Per-frame preparation of the footprint: camera, pixel angle, factors.
    void prepareFrame(LWFrame frame, LWTime time);
    // LoD blending, quality and strength at time, and the footprint factor.
    void refreshLevelOfDetail(LWTime time);
    // Replace Image: a new file for the image the layer shows.
    void replaceImage();
    // The panel that shows this instance, set by the interface.
    void bindPanel(LWXPanelID panel);

    const char* className() const { return className_; }
    int kind() const { return kind_; }
    const CoreServices* core() const { return core_.table(); }
    bool coreAvailable() const { return core_.available(); }
    LWXPanelID panel() const { return panel_; }
    ImageLayer& layer() { return layer_; }
    const ImageLayer& layer() const { return layer_; }

    bool returnValue = false;
    int renderMode = 0;
    double footprintFactor = 1;
    double pixelAngle = 0;
    double cameraPosition[3] = {0, 0, 0};
    LWItemID cameraItem = nullptr;
    // No camera (Modeler): spots are measured by their spot size instead.
    bool cameraless = false;

protected:
    // Sets the layer up under the parent group and enters the projection
    // choices (with "UV" where the instance offers it); false, after telling
    // the user when the core is missing, when the instance cannot work.
    // Without ownGroup the layer's parameters go straight into parent.
    bool setUpLayer(LWChanGroupID parent, bool offersUV, bool ownGroup = true);
    // Writes prefix and name into the description buffer and returns it. A
    // line too long for the buffer is cut at the last whole UTF-8
    // character that fits, so the host never shows half a character.
    const char* setDescription(const char* prefix, const char* name);
    // The set of the handler-level controls, or the layer's.
    int setHandlerValue(unsigned int id, void* value);

    const char* className_ = nullptr;
    int kind_;
    void* context_ = nullptr;
    char description_[260] = {};
    HostService<LWXPanelFuncs> panelService_{slots::xpanel};
    LWXPanelID panel_ = nullptr;
    HostService<CoreServices> core_{slots::core};
    ImageLayer layer_;
    LWTime frameTime_ = 0;  // time of the last preparation
};

class TextureInstance final : public LayerInstance {
public:
    // Null when the layer cannot be set up (a host service is missing).
    static TextureInstance* create(void* context);

    LWError newTime(LWFrame frame, LWTime time) override;
    double evaluate(LWTextureAccess* access) const;
    // The world size of a spot without a camera: the host's spot size, or
    // a three-thousandth of the summed texture size when it gives none.
    static double spotFootprint(const LWTextureAccess& access);
    // What every texture reports: its own gradient, a slow preview, an axis
    // and its own antialiasing.
    static constexpr unsigned int kFlags = LWTEXF_GRAD | LWTEXF_SLOWPREVIEW | LWTEXF_AXIS | LWTEXF_AALIAS;
    unsigned int flags() const;
    // The host texture layer this instance serves, and the texture holding it.
    LWTLayerID ownLayer() const override { return static_cast<LWTLayerID>(context_); }
    LWTextureID targetTexture() const override;

    double fprimeFactor = 1;
    int textureType = 3;

private:
    TextureInstance();
};

// The spot size that requests of the FPrime renderer carry.
inline constexpr double kFPrimeSpotSize = 1e-14;

}  // namespace korvalith
