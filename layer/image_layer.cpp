#include "image_layer.h"

#include <cstdio>
#include <string>

#include "host_access.h"
#include "host_channels.h"
#include "host_guard.h"
#include "image_file_request.h"
#include "lwhost.h"
#include "lwserver.h"
#include "panel_table.h"

namespace korvalith {

namespace {
// The "Default" button: the correction is the button's data.
void resetButton(LWXPanelID panel, int id) {
    guardHostCall([&] {
        auto* xpanel = static_cast<const LWXPanelFuncs*>(lookupService(LWXPANELFUNCS_GLOBAL, GFUSE_TRANSIENT));
        if (!xpanel) return;
        auto* correction =
            static_cast<SimpleColourCorrection*>(xpanel->getData(panel, static_cast<unsigned int>(id)));
        if (!correction) return;
        correction->resetCorrection();
        xpanel->viewRefresh(panel);
    });
}
}  // namespace

const CoreServices* coreTable() {
    return static_cast<const CoreServices*>(lookupService(KORVALITH_CORE_SERVICES, GFUSE_TRANSIENT));
}

void showError(const char* line1, const char* line2) {
    auto* messages = static_cast<const LWMessageFuncs*>(lookupService(LWMESSAGEFUNCS_GLOBAL, GFUSE_TRANSIENT));
    if (messages) messages->error(line1, line2);
}

ImageLayer::ImageLayer(bool withCorrection) {
    if (withCorrection) correction = std::make_unique<SimpleColourCorrection>();
}

ImageLayer::~ImageLayer() { destroy(); }

int ImageLayer::setUp(const char* pluginName, LWChanGroupID parent, bool ownGroup) {
    const char* missing = channels::missingService();
    core_ = coreTable();
    if (!missing && !core_) missing = KORVALITH_CORE_SERVICES;
    if (missing) {
        showError("Error opening Global", missing);
        return 2;
    }
    if (group_ && ownsGroup_) channels::destroyGroup(group_);
    ownsGroup_ = ownGroup;
    if (ownGroup) {
        // The first of "KorvalithPro", "KorvalithPro(0)", "KorvalithPro(1)" …
        // that no child of the parent carries.
        std::string name = pluginName;
        for (int n = 0; channels::hasChildNamed(parent, name.c_str()); ++n) {
            char buffer[300];
            std::snprintf(buffer, sizeof buffer, "%s(%i)", pluginName, n);
            name = buffer;
        }
        group_ = channels::createGroup(parent, name.c_str());
    } else {
        group_ = parent;
    }
    quality.make(kParamPercent, "Quality", group_, 1.0, pluginName);
    lodBlending.make(kParamPercent, "MipMapOverlap", group_, 0.25, pluginName);
    strength.make(kParamPercent, "Strength", group_, 1.0, pluginName);
    mapping.construct(group_);
    if (correction) correction->make(group_);
    return 0;
}

void ImageLayer::releaseImage() {
    if (image_ && core_) core_->releaseImage(image_);
    image_ = nullptr;
}

void ImageLayer::destroy() {
    releaseImage();
    quality.destroy();
    lodBlending.destroy();
    mapping.destroy();
    strength.destroy();
    if (correction) correction->destroy();
    if (ownsGroup_) channels::destroyGroup(group_);
    group_ = nullptr;
}

void ImageLayer::adoptImage(KorvalithImage* image) {
    releaseImage();
    image_ = image;
    imageChoice_ = core_ ? core_->imageIndex(image_) + 2 : 0;
}

void ImageLayer::copyFrom(const ImageLayer& other) {
    if (&other == this) return;
    lodBlending.copyFrom(other.lodBlending);
    quality.copyFrom(other.quality);
    strength.copyFrom(other.strength);
    if (correction && other.correction) correction->copyFrom(*other.correction);
    surfaceChannel = other.surfaceChannel;
    invert = other.invert;
    releaseImage();
    imageChoice_ = other.imageChoice_;
    if (other.image_ && core_) {
        // A copy holds its own reference, taken anew through the file path.
        image_ = core_->acquireImage(core_->imagePath(other.image_));
        imageChoice_ = core_->imageIndex(image_) + 2;
    }
    channel = other.channel;
    mapping.copyFrom(other.mapping);
}

void ImageLayer::setChannelControlData() {
    auto* xpanel = static_cast<const LWXPanelFuncs*>(lookupService(LWXPANELFUNCS_GLOBAL, GFUSE_TRANSIENT));
    if (xpanel && panel_) xpanel->setData(panel_, cid::kChannel, image_);
}

void ImageLayer::attachPanel(LWXPanelID panel) {
    panel_ = panel;
    auto* xpanel = static_cast<const LWXPanelFuncs*>(lookupService(LWXPANELFUNCS_GLOBAL, GFUSE_TRANSIENT));
    if (!xpanel || !panel) return;
    xpanel->setData(panel, cid::kChannel, image_);
    xpanel->setData(panel, cid::kReferenceObject, &mapping.referenceObject);
    xpanel->setData(panel, cid::kReferenceCamera, &mapping.referenceCamera);
    if (correction) xpanel->setData(panel, cid::kDefault, correction.get());
    xpanel->setData(panel, cid::kPreview, this);
    xpanel->setData(panel, cid::kProjection, &mapping.projectionChoices);
    LWXPanelHint projection[] = {XpPOPFUNCS(cid::kProjection, choiceListCount, choiceListName), XpEND};
    xpanel->hint(panel, 0, projection);
    if (correction) {
        LWXPanelHint reset[] = {XpBUTNOTIFY(cid::kDefault, resetButton), XpEND};
        xpanel->hint(panel, 0, reset);
    }
}

void* ImageLayer::panelGet(unsigned int id) {
    switch (id) {
        case cid::kImage:
            imageChoice_ = core_ ? core_->imageIndex(image_) + 2 : 0;
            slot_ = imageChoice_;
            return &slot_;
        case cid::kChannel: return &channel;
        case cid::kQuality: return quality.id();
        case cid::kLodBlending: return lodBlending.id();
        case cid::kSurfaceChannel: return &surfaceChannel;
        case cid::kStrength: return strength.id();
        case cid::kInvert: slot_ = invert ? 1 : 0; return &slot_;
        default: break;
    }
    if (id >= cid::kBrightness && id <= cid::kCorrectionInvert) return correction ? correction->panelGet(id) : nullptr;
    return mapping.panelGet(id);
}

int ImageLayer::newImageStep() {
    channel = 0;
    setChannelControlData();
    return 3;
}

int ImageLayer::loadImageFromRequest() {
    std::string path;
    if (requestImageFile("Load Image", &path) && core_) {
        if (core_->isSupportedFile(path.c_str())) {
            releaseImage();
            image_ = core_->acquireImage(path.c_str());
            imageChoice_ = core_->imageIndex(image_) + 2;
        } else {
            showError(path.c_str(), "is not a supported image format");
        }
    }
    return newImageStep();
}

int ImageLayer::panelSet(unsigned int id, void* value) {
    // Only the int-valued controls read the value; envelope controls hand
    // in other types.
    auto intValue = [value] { return value ? *static_cast<const int*>(value) : 0; };
    switch (id) {
        case cid::kImage: {
            const int v = intValue();
            if (v == 1) return loadImageFromRequest();
            if (v == 0) {
                releaseImage();
                imageChoice_ = 0;
                return newImageStep();
            }
            // The position the image has now: releases elsewhere move it.
            imageChoice_ = core_ ? core_->imageIndex(image_) + 2 : 0;
            if (v == imageChoice_) return 1;
            imageChoice_ = v;
            KorvalithImage* chosen = core_ ? core_->imageAt(v - 2) : nullptr;
            if (chosen == image_) return 3;
            releaseImage();
            image_ = chosen;
            if (image_) core_->addImageRef(image_);
            return newImageStep();
        }
        case cid::kChannel: channel = intValue(); return 3;
        case cid::kSurfaceChannel: surfaceChannel = intValue(); return 1;
        case cid::kQuality:
        case cid::kLodBlending:
        case cid::kStrength: return 1;
        case cid::kInvert: invert = intValue() != 0; return 3;
        default: break;
    }
    if (id >= cid::kBrightness && id <= cid::kCorrectionInvert && correction) {
        if (id == cid::kCorrectionInvert) correction->invert = intValue() != 0;
        correction->markChanged();
        return 1;
    }
    return mapping.panelSet(id, value);
}

extern "C" void korvalithDrawThumbnail(LWXPanelID panel, unsigned int, LWXPDrAreaID area, int w, int h) {
    guardHostCall([&] {
        auto* xpanel = static_cast<const LWXPanelFuncs*>(lookupService(LWXPANELFUNCS_GLOBAL, GFUSE_TRANSIENT));
        const CoreServices* core = coreTable();
        if (!xpanel || !core) return;
        auto* layer = static_cast<ImageLayer*>(xpanel->getData(panel, cid::kPreview));
        if (layer && layer->image())
            core->drawPreview(layer->image(), area, w, h, layer->channel, layer->correction.get());
        else
            core->drawLogo(area, w, h);
    });
}

}  // namespace korvalith
