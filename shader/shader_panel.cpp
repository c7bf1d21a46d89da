#include "shader_panel.h"

#include "auto_size.h"
#include "host_access.h"
#include "host_guard.h"
#include "image_layer.h"
#include "lwhandler.h"
#include "lwhost.h"
#include "panel_table.h"
#include "shader_instance.h"
#include "surface_channels.h"
#include "uv_map_list.h"

namespace korvalith {

namespace {

// Ids of the panel's groups, tab groups and stacks (no control has them).
enum : unsigned int {
    kSurfaceGroup = 0x9700,
    kProjectionGroup,
    kProjectionStack1,
    kProjectionStack2,
    kFrontFixedGroup,
    kSegmentStack,
    kMainTabs,
    kImageTab,
    kEditingTab,
    kOptionsTab,
    kQualityGroup,
    kUVTabs,
    kUVTilesTab,
    kUVTilingTab,
    kUVOffsetTab,
    kTransformGroup,
    kReferenceStack,
    kTransformTabs,
    kScaleTab,
    kPositionTab,
    kRotationTab,
    kFalloffTab,
};

// Maps by the "Projection" popup's position, one entry per projection
// (Planar, Cylindrical, Spherical, Cubic, Front, UV, Spherical Section).
// The first stack: nothing, the front's fixed time, the UV map, the
// segment choice; the second: the segment angles for Spherical Section.
const int kFirstStack[] = {-1, -1, -1, -1, 0, 1, 2};
const int kSecondStack[] = {-1, -1, -1, -1, -1, -1, 0};
// The reference camera for Front and Spherical Section, else the object.
const int kReferenceByProjection[] = {1, 1, 1, 1, 0, 1, 0};
// "Texture Axis" for the kinds that have one; the transform for those and Cubic.
const int kAxisEnabled[] = {1, 1, 1, 0, 0, 0, 0};
const int kTransformEnabled[] = {1, 1, 1, 1, 0, 0, 0};

const char* const kSegmentNames[] = {"Left Edge", "Width", "Top Edge", "Height", nullptr};
const char* const kTilingNames[] = {"Reset", "Repeat", "Mirror", "Edge", nullptr};
const char* const kFalloffNames[] = {"Cubic", "Spherical", "Linear X", "Linear Y", "Linear Z", nullptr};

// "Automatic Sizing": the instance is the panel's data 0. The panel is
// refreshed and the host told even when nothing could be sized.
void autoSizeButton(LWXPanelID panel, int) {
    guardHostCall([&] {
        auto* xpanel = static_cast<const LWXPanelFuncs*>(lookupService(LWXPANELFUNCS_GLOBAL, GFUSE_TRANSIENT));
        if (!xpanel) return;
        auto* instance = static_cast<LayerInstance*>(xpanel->getData(panel, 0));
        if (!instance) return;
        autoSize(*instance);
        xpanel->viewRefresh(panel);
        auto* update = reinterpret_cast<LWInstUpdate*>(lookupService(LWINSTUPDATE_GLOBAL, GFUSE_TRANSIENT));
        if (update) update(instance->className(), instance);
    });
}

}  // namespace

LWXPanelID createShaderPanel(ShaderInstance* instance) {
    HostService<LWXPanelFuncs> xpanel(slots::xpanel);
    HostService<LWMessageFuncs> messages(slots::messages);
    const LWXPanelFuncs* x = xpanel.table();
    const CoreServices* core = instance ? instance->core() : nullptr;
    if (!x || !instance || !core) return nullptr;
    LWXPanelID panel = x->create(LWXP_VIEW, sharedControls());
    if (!panel) return nullptr;
    x->describe(panel, sharedDataDescription(), panelGetValue, panelSetValue);

    LWXPanelHint hints[] = {
        // What the shader does not show.
        XpDELETE(cid::kReturnValue), XpDELETE(cid::kBumpAmplitude), XpDELETE(cid::kBlending),
        XpDELETE(cid::kBgColour),
        // Shortened labels.
        XpLABEL(cid::kFixedProjection, "Fixed"), XpLABEL(cid::kLowResPreview, "Low Preview"),
        XpLABEL(cid::kLowResFPrime, "Low FPrime"), XpLABEL(cid::kCreateProxy, "Create Proxy..."),
        XpLABEL(cid::kUpdateGLLayer, "Update GL Layer..."), XpLABEL(cid::kOpenBrowser, "Korvalith Browser..."),
        XpLABEL(cid::kOpenConverter, "Korvalith Converter..."), XpLABEL(cid::kAbout, "About Korvalith..."),
        // Fixed popups.
        XpSTRLIST(cid::kSurfaceChannel, kSurfaceChannelNames), XpSTRLIST(cid::kSegmentAngles, kSegmentNames),
        XpSTRLIST(cid::kUTiling, kTilingNames), XpSTRLIST(cid::kVTiling, kTilingNames),
        XpSTRLIST(cid::kFalloffType, kFalloffNames),
        // The surface group.
        XpGROUP_(kSurfaceGroup), XpH(cid::kSurfaceChannel), XpH(cid::kInvert), XpH(cid::kStrength), XpEND,
        // The projection group: two stacks switched by the projection.
        XpGROUP_(kFrontFixedGroup), XpH(cid::kFixedProjection), XpH(cid::kTime), XpEND,
        XpSTACK_(kSegmentStack, cid::kSegmentAngles), XpH(cid::kLeftEdge), XpH(cid::kSegmentWidth),
        XpH(cid::kTopEdge), XpH(cid::kSegmentHeight), XpEND,
        XpSTACK_MAP_(kProjectionStack1, cid::kProjection, kFirstStack), XpH(kFrontFixedGroup), XpH(cid::kUVMap),
        XpH(cid::kSegmentAngles), XpEND,
        XpSTACK_MAP_(kProjectionStack2, cid::kProjection, kSecondStack), XpH(kSegmentStack), XpEND,
        XpGROUP_(kProjectionGroup), XpH(kProjectionStack1), XpH(kProjectionStack2), XpEND,
        // The tabs "Image", "Editing", "Options".
        XpGROUP_(kImageTab), XpH(cid::kImage), XpH(cid::kChannel), XpH(cid::kPreview), XpEND,
        XpGROUP_(kEditingTab), XpH(cid::kBrightness), XpH(cid::kContrast), XpH(cid::kHue), XpH(cid::kSaturation),
        XpH(cid::kGamma), XpH(cid::kCorrectionInvert), XpH(cid::kDefault), XpEND,
        XpGROUP_(kOptionsTab), XpH(cid::kAbout), XpH(cid::kOpenBrowser), XpH(cid::kOpenConverter),
        XpH(cid::kLowResPreview), XpH(cid::kImageInformation), XpH(cid::kLowResFPrime), XpH(cid::kReplaceImage),
        XpH(cid::kFreeMemory), XpH(cid::kCreateProxy), XpH(cid::kUpdateGLLayer), XpEND,
        XpLABEL(kImageTab, "Image"), XpLABEL(kEditingTab, "Editing"), XpLABEL(kOptionsTab, "Options"),
        XpTABS_(kMainTabs), XpH(kImageTab), XpH(kEditingTab), XpH(kOptionsTab), XpEND,
        XpGROUP_(kQualityGroup), XpH(cid::kQuality), XpH(cid::kLodBlending), XpEND,
        // The tabs "UV Tiles", "UV Tiling", "UV Offset".
        XpGROUP_(kUVTilesTab), XpH(cid::kUTiles), XpH(cid::kVTiles), XpEND,
        XpGROUP_(kUVTilingTab), XpH(cid::kUTiling), XpH(cid::kVTiling), XpEND,
        XpGROUP_(kUVOffsetTab), XpH(cid::kUOffset), XpH(cid::kVOffset), XpEND,
        XpLABEL(kUVTilesTab, "UV Tiles"), XpLABEL(kUVTilingTab, "UV Tiling"), XpLABEL(kUVOffsetTab, "UV Offset"),
        XpTABS_(kUVTabs), XpH(kUVTilesTab), XpH(kUVTilingTab), XpH(kUVOffsetTab), XpEND,
        // The transform group: axis, reference item, world coordinates,
        // automatic sizing and the tabs of the four vectors.
        XpSTACK_MAP_(kReferenceStack, cid::kProjection, kReferenceByProjection), XpH(cid::kReferenceCamera),
        XpH(cid::kReferenceObject), XpEND,
        XpGROUP_(kScaleTab), XpH(cid::kScale), XpEND,
        XpGROUP_(kPositionTab), XpH(cid::kPosition), XpEND,
        XpGROUP_(kRotationTab), XpH(cid::kRotation), XpEND,
        XpGROUP_(kFalloffTab), XpH(cid::kFalloff), XpH(cid::kFalloffType), XpEND,
        XpLABEL(kScaleTab, "Scale"), XpLABEL(kPositionTab, "Position"), XpLABEL(kRotationTab, "Rotation"),
        XpLABEL(kFalloffTab, "Falloff"),
        XpTABS_(kTransformTabs), XpH(kScaleTab), XpH(kPositionTab), XpH(kRotationTab), XpH(kFalloffTab), XpEND,
        XpGROUP_(kTransformGroup), XpH(cid::kTextureAxis), XpH(kReferenceStack), XpH(cid::kWorldCoordinates),
        XpH(cid::kAutomaticSizing), XpH(kTransformTabs), XpEND,
        XpORDER_(0), XpH(kSurfaceGroup), XpH(cid::kProjection), XpH(kProjectionGroup), XpH(kMainTabs),
        XpH(kQualityGroup), XpH(kUVTabs), XpH(kTransformGroup), XpEND,
        // Enable rules: the axis, the transform, the buttons that need an image.
        XpENABLE_MAP_(cid::kProjection, kAxisEnabled), XpH(cid::kTextureAxis), XpEND,
        XpENABLE_MAP_(cid::kProjection, kTransformEnabled), XpH(cid::kScale), XpH(cid::kPosition),
        XpH(cid::kRotation), XpH(cid::kFalloff), XpH(cid::kFalloffType), XpH(cid::kReferenceObject),
        XpH(kTransformTabs), XpH(kScaleTab), XpH(kPositionTab), XpH(kRotationTab), XpH(kFalloffTab),
        XpH(cid::kAutomaticSizing), XpEND,
        XpENABLE_(cid::kImage), XpH(cid::kImageInformation), XpH(cid::kUpdateGLLayer), XpH(cid::kCreateProxy),
        XpH(cid::kReplaceImage), XpEND,
        // Popups, the thumbnail, the sizing button and the change notification.
        XpPOPFUNCS(cid::kImage, core->choiceCount, core->choiceName),
        XpPOPFUNCS(cid::kChannel, imageChannelCount, imageChannelName),
        XpPOPFUNCS(cid::kReferenceObject, itemRefCount, itemRefName),
        XpPOPFUNCS(cid::kReferenceCamera, itemRefCount, itemRefName),
        XpPOPFUNCS(cid::kUVMap, uvMapListCount, uvMapListName),
        XpDRAWCBFUNC(cid::kPreview, korvalithDrawThumbnail),
        XpBUTNOTIFY(cid::kAutomaticSizing, autoSizeButton),
        XpCHGNOTIFY(panelChanged),
        XpEND};
    x->hint(panel, 0, hints);
    instance->bindPanel(panel);
    x->setData(panel, cid::kUVMap, &instance->uvMaps());
    return panel;
}

}  // namespace korvalith
