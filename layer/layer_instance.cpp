#include "layer_instance.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "host_scene.h"
#include "image_file_request.h"
#include "lwhost.h"
#include "lwrender.h"
#include "lwserver.h"
#include "lwtexture.h"
#include "lwtxtr.h"
#include "option_buttons.h"

namespace korvalith {

namespace {
bool inModeler() { return hostApplicationType() == LWSYS_MODELER; }
}  // namespace

// ---- LayerInstance

LayerInstance::LayerInstance(int kind, bool withCorrection) : kind_(kind), layer_(withCorrection) {}

LayerInstance::~LayerInstance() { layer_.destroy(); }

void LayerInstance::copy(const LayerInstance& from) {
    if (&from == this) return;
    layer_.copyFrom(from.layer_);
    returnValue = from.returnValue;
}

LWError LayerInstance::renderInit(int mode) {
    renderMode = mode;
    if (const CoreServices* c = core()) c->reloadImage(layer_.image());
    return nullptr;
}

void LayerInstance::renderCleanup() {
    // After a real render all cached data goes back; previews keep it.
    if (renderMode != 0)
        if (const CoreServices* c = core()) c->releaseImageData(layer_.image());
}

LWError LayerInstance::newTime(LWFrame frame, LWTime time) {
    prepareFrame(frame, time);
    return nullptr;
}

const char* LayerInstance::description() {
    const CoreServices* c = core();
    if (!layer_.image() || !c) return setDescription("Korvalith Pro 1.0.5a (Win64)", "");
    return setDescription("Korvalith Pro: ", c->imageName(layer_.image()));
}

const char* LayerInstance::setDescription(const char* prefix, const char* name) {
    const int written = std::snprintf(description_, sizeof description_, "%s%s", prefix, name ? name : "");
    if (written >= static_cast<int>(sizeof description_)) {
        // Cut back to the start of the character that lost its last bytes.
        size_t end = sizeof description_ - 1;
        size_t start = end;
        while (start > 0 && (static_cast<unsigned char>(description_[start - 1]) & 0xC0) == 0x80) --start;
        if (start > 0) {
            const auto lead = static_cast<unsigned char>(description_[start - 1]);
            const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
            if (start - 1 + length > end) end = start - 1;
        }
        description_[end] = '\0';
    }
    return description_;
}

void LayerInstance::prepareFrame(LWFrame frame, LWTime time) {
    KorvalithImage* image = layer_.image();
    const CoreServices* c = core();
    if (!image || !c) return;
    c->imageNewFrame(image, frame);
    if (layer_.correction) layer_.correction->updateCorrection(time);
    if (inModeler()) {
        // Modeler has no camera: a spot's footprint is its own spot size.
        cameraItem = nullptr;
        pixelAngle = 0;
        cameraless = true;
    } else {
        cameraItem = scene::renderCamera(time);
        scene::itemVector(cameraItem, scene::kWorldPosition, time, cameraPosition);
        double horizontal = 0, vertical = 0;
        scene::fieldOfView(cameraItem, time, &horizontal, &vertical);
        scene::FrameInfo frameInfo{1, 1, 1};
        scene::frameInfo(&frameInfo);
        pixelAngle = std::max(std::tan(vertical / frameInfo.height), std::tan(horizontal / frameInfo.width));
        cameraless = false;
    }
    refreshLevelOfDetail(time);
}

void LayerInstance::refreshLevelOfDetail(LWTime time) {
    frameTime_ = time;
    layer_.lodBlending.evaluate(time);
    layer_.quality.evaluate(time);
    layer_.strength.evaluate(time);
    footprintFactor = 1.0 / layer_.quality.x();
    // Interactive previews read coarse levels: Modeler only has those.
    const CoreServices* c = core();
    if (c && (renderMode == 0 || inModeler()) && c->getPreviewFlag()) footprintFactor *= 25;
}

void* LayerInstance::panelGet(unsigned int id) {
    // One process-wide int answers the handler-level controls; two panel
    // reads never overlap (the interface thread makes them).
    static int answer = 0;
    const CoreServices* c = core();
    switch (id) {
        case cid::kLowResPreview: answer = c ? c->getPreviewFlag() : 0; return &answer;
        case cid::kLowResFPrime: answer = c ? c->getFPrimeFlag() : 0; return &answer;
        case cid::kReturnValue: answer = returnValue ? 1 : 0; return &answer;
        default: return layer_.panelGet(id);
    }
}

int LayerInstance::panelSet(unsigned int id, void* value) {
    // Modeler gives no new time after an edit, so the values that decide
    // the level of detail are taken at once there.
    if (inModeler() && (id == cid::kQuality || id == cid::kLodBlending || id == cid::kLowResPreview)) {
        const int code = setHandlerValue(id, value);
        refreshLevelOfDetail(frameTime_);
        return code;
    }
    return setHandlerValue(id, value);
}

int LayerInstance::setHandlerValue(unsigned int id, void* value) {
    const CoreServices* c = core();
    auto intValue = [value] { return value ? *static_cast<const int*>(value) : 0; };
    switch (id) {
        case cid::kLowResPreview: {
            const int v = intValue();
            if (c) c->setPreviewFlag(v != 0);
            if (v == 0) {
                auto* messages =
                    static_cast<const LWMessageFuncs*>(lookupService(LWMESSAGEFUNCS_GLOBAL, GFUSE_TRANSIENT));
                if (messages)
                    messages->warning("Korvalith Pro",
                                      "Turning off 'Low Res Preview' may severely slow down your Layout response time!");
            }
            return 3;
        }
        case cid::kLowResFPrime:
            if (c) c->setFPrimeFlag(intValue() != 0);
            return 3;
        case cid::kReturnValue: returnValue = intValue() != 0; return 1;
        default: return layer_.panelSet(id, value);
    }
}

void LayerInstance::bindPanel(LWXPanelID panel) {
    panel_ = panel;
    layer_.attachPanel(panel);
    const LWXPanelFuncs* xpanel = panelService_.table();
    if (!xpanel || !panel) return;
    xpanel->setData(panel, 0, this);
    xpanel->viewInst(panel, this);
    bindOptionButtons(xpanel, panel);
}

void LayerInstance::replaceImage() {
    const CoreServices* c = core();
    KorvalithImage* image = layer_.image();
    if (!image || !c) return;
    std::string path;
    ImageFileRequest request;
    request.title = "Replace Image";
    request.initialPath = c->imagePath(image);
    request.initialBaseName = c->imageName(image);
    if (!requestImageFile(request, &path)) return;
    if (c->replaceImageFile(image, path.c_str())) {
        layer_.channel = 0;
        if (const LWXPanelFuncs* xpanel = panelService_.table(); xpanel && panel_) xpanel->viewRefresh(panel_);
    } else {
        showError(path.c_str(), "is not a supported image format");
    }
}

bool LayerInstance::setUpLayer(LWChanGroupID parent, bool offersUV, bool ownGroup) {
    if (!coreAvailable() || layer_.setUp("KorvalithPro", parent, ownGroup) != 0) {
        if (!coreAvailable()) showError("Error opening Global", KORVALITH_CORE_SERVICES);
        return false;
    }
    ChoiceList& choices = layer_.mapping.projectionChoices;
    choices.add("Planar", kPlanar);
    choices.add("Cylindrical", kCylindrical);
    choices.add("Spherical", kSpherical);
    choices.add("Cubic", kCubic);
    choices.add("Front", kFront);
    if (offersUV) choices.add("UV", kUV);
    choices.add("Spherical Section", kSphericalSection);
    return true;
}

// ---- TextureInstance

TextureInstance::TextureInstance() : LayerInstance(kTextureInstance) { className_ = LWTEXTURE_HCLASS; }

TextureInstance* TextureInstance::create(void* context) {
    auto* instance = new (std::nothrow) TextureInstance();
    if (!instance) return nullptr;
    instance->context_ = context;
    LWChanGroupID parent = nullptr;
    if (context) {
        HostService<LWTextureFuncs> textures(slots::textureFuncs);
        if (const LWTextureFuncs* t = textures.table()) {
            auto* layer = static_cast<LWTLayerID>(context);
            parent = t->layerEnvGroup(layer);
            if (LWTextureID texture = t->texture(layer)) instance->textureType = t->type(texture);
        }
    }
    if (!instance->setUpLayer(parent, false)) {
        delete instance;
        return nullptr;
    }
    return instance;
}

LWTextureID TextureInstance::targetTexture() const {
    HostService<LWTextureFuncs> textures(slots::textureFuncs);
    const LWTextureFuncs* t = textures.table();
    return t && context_ ? t->texture(ownLayer()) : nullptr;
}

LWError TextureInstance::newTime(LWFrame frame, LWTime time) {
    const CoreServices* c = core();
    if (!layer_.image() || !c) return nullptr;
    layer_.mapping.refreshForTexture(time);
    prepareFrame(frame, time);
    // The quality of this frame, evaluated by prepareFrame.
    fprimeFactor = (c->getFPrimeFlag() ? 25.0 : 1.0) / layer_.quality.x();
    return nullptr;
}

double TextureInstance::spotFootprint(const LWTextureAccess& access) {
    if (std::isfinite(access.spotSize) && access.spotSize > 0) return access.spotSize;
    // No spot size: the spot of an interactive request, a three-thousandth
    // of the summed texture size.
    return (std::fabs(access.size[0]) + std::fabs(access.size[1]) + std::fabs(access.size[2])) / 3000;
}

unsigned int TextureInstance::flags() const {
    // A colour texture gives its own colour unless it returns only a value.
    return textureType == TRT_COLOR && !returnValue ? kFlags | LWTEXF_SELF_COLOR : kFlags;
}

double TextureInstance::evaluate(LWTextureAccess* access) const {
    KorvalithImage* image = layer_.image();
    const CoreServices* c = core();
    if (!image || !c) return 0;
    const double d[3] = {access->wPos[0] - cameraPosition[0], access->wPos[1] - cameraPosition[1],
                         access->wPos[2] - cameraPosition[2]};
    ProjectionSample s;
    s.footprint = cameraless ? spotFootprint(*access) : std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]) * pixelAngle;
    const LayerMapping& mapping = layer_.mapping;
    const int kind = mapping.projectionKind();
    // The host's axis and size go to the projection with the call; nothing
    // of the instance is written here.
    ProjectionFrame frame;
    frame.axis = access->axis;
    for (int i = 0; i < 3; ++i) frame.scale[i] = access->size[i];
    bool mapped;
    if (kind == kFront || kind == kUV) {
        mapped = mapping.projection().mapTexture(access->wPos, frame, s);
    } else {
        mapped = mapping.projection().mapTexture(access->tPos, frame, s);
        if (mapped) mapping.applyTilesAndOffset(s);
    }
    if (!mapped) return 0;
    const double footprint = s.footprint * (access->spotSize == kFPrimeSpotSize ? fprimeFactor : footprintFactor);
    const float summed = static_cast<float>(access->size[2] + access->size[1] + access->size[0]) * 0.000333333f;
    const bool fixedFootprint =
        renderMode == 0 && std::fabs(static_cast<float>(access->spotSize) - summed) < 2.3841858e-7f;
    const double imageFootprint = fixedFootprint ? 0.03 : (s.uScale + s.vScale) * 0.5 * footprint;
    const double uv[2] = {s.u, s.v};
    const SimpleColourCorrection* cc = layer_.correction.get();
    const double blend = layer_.lodBlending.x();
    if (access->flags & LWTXEF_COLOR) {
        float rgba[4] = {0, 0, 0, 0};
        float value = 0;
        const float coverage = c->sampleImage(image, uv, imageFootprint, blend, layer_.channel, rgba, &value,
                                              mapping.uTiling, mapping.vTiling);
        if (cc) {
            cc->correctColour(rgba);
            value = cc->correctScalar(value);
        }
        const double k = coverage != 0 ? 1.0 / coverage : 1.0;
        access->txRGBA[0] = rgba[0] * k;
        access->txRGBA[1] = rgba[1] * k;
        access->txRGBA[2] = rgba[2] * k;
        access->txRGBA[3] = static_cast<double>(coverage) * rgba[3];
        return static_cast<double>(value) * coverage;
    }
    if (access->flags & LWTXEF_VECTOR) {
        float du = 0, dv = 0;
        const float coverage = c->sampleGradient(image, uv, imageFootprint, blend, layer_.channel, &du, &dv,
                                                 mapping.uTiling, mapping.vTiling);
        for (int i = 0; i < 3; ++i)
            access->txGrad[i] = access->amp * du * s.uDirection[i] + access->amp * dv * s.vDirection[i];
        return cc ? cc->correctScalar(coverage) : coverage;
    }
    float rgba[4] = {0, 0, 0, 0};
    float value = 0;
    const float coverage = c->sampleImage(image, uv, imageFootprint, blend, layer_.channel, rgba, &value,
                                          mapping.uTiling, mapping.vTiling);
    return static_cast<double>(cc ? cc->correctScalar(value) : value) * coverage;
}

}  // namespace korvalith
