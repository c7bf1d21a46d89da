#include "texture_panel.h"

#include "host_access.h"
#include "image_layer.h"
#include "layer_instance.h"
#include "lwhost.h"
#include "panel_table.h"

namespace korvalith {

namespace {

// Ids of the panel's groups, tab groups and stacks (no control has them).
enum : unsigned int {
    kProjectionGroup = 0x9600,
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
};

// Stack map by the "Projection" popup's position, one entry per projection
// (Planar, Cylindrical, Spherical, Cubic, Front, Spherical Section): the
// first four show nothing, Front the first member, Spherical Section the
// second.
const int kByProjection[] = {-1, -1, -1, -1, 0, 1};
const char* const kSegmentNames[] = {"Left Edge", "Width", "Top Edge", "Height", nullptr};
const char* const kTilingNames[] = {"Reset", "Repeat", "Mirror", "Edge", nullptr};

}  // namespace

LWXPanelID createTexturePanel(LayerInstance* instance) {
    HostService<LWXPanelFuncs> xpanel(slots::xpanel);
    HostService<LWMessageFuncs> messages(slots::messages);
    const LWXPanelFuncs* x = xpanel.table();
    const CoreServices* core = instance ? instance->core() : nullptr;
    if (!x || !instance || !core) return nullptr;
    LWXPanelID panel = x->create(LWXP_VIEW, sharedControls());
    if (!panel) return nullptr;
    x->describe(panel, sharedDataDescription(), panelGetValue, panelSetValue);

    LWXPanelHint hints[] = {
        // What the texture does not show.
        XpDELETE(cid::kTextureAxis), XpDELETE(cid::kReferenceObject), XpDELETE(cid::kWorldCoordinates),
        XpDELETE(cid::kAutomaticSizing), XpDELETE(cid::kScale), XpDELETE(cid::kPosition), XpDELETE(cid::kRotation),
        XpDELETE(cid::kFalloff), XpDELETE(cid::kFalloffType), XpDELETE(cid::kSurfaceChannel),
        XpDELETE(cid::kStrength), XpDELETE(cid::kInvert), XpDELETE(cid::kUVMap), XpDELETE(cid::kBumpAmplitude),
        XpDELETE(cid::kBlending), XpDELETE(cid::kBgColour),
        // Shortened labels.
        XpLABEL(cid::kFixedProjection, "Fixed"), XpLABEL(cid::kLowResPreview, "Low Preview"),
        XpLABEL(cid::kLowResFPrime, "Low FPrime"), XpLABEL(cid::kCreateProxy, "Create Proxy..."),
        XpLABEL(cid::kUpdateGLLayer, "Update GL Layer..."), XpLABEL(cid::kOpenBrowser, "Korvalith Browser..."),
        XpLABEL(cid::kOpenConverter, "Korvalith Converter..."), XpLABEL(cid::kAbout, "About Korvalith..."),
        // Fixed popups.
        XpSTRLIST(cid::kSegmentAngles, kSegmentNames), XpSTRLIST(cid::kUTiling, kTilingNames),
        XpSTRLIST(cid::kVTiling, kTilingNames),
        // The projection group: two stacks switched by the projection.
        XpGROUP_(kFrontFixedGroup), XpH(cid::kFixedProjection), XpH(cid::kTime), XpEND,
        XpSTACK_(kSegmentStack, cid::kSegmentAngles), XpH(cid::kLeftEdge), XpH(cid::kSegmentWidth),
        XpH(cid::kTopEdge), XpH(cid::kSegmentHeight), XpEND,
        XpSTACK_MAP_(kProjectionStack1, cid::kProjection, kByProjection), XpH(kFrontFixedGroup),
        XpH(cid::kSegmentAngles), XpEND,
        XpSTACK_MAP_(kProjectionStack2, cid::kProjection, kByProjection), XpH(cid::kReferenceCamera),
        XpH(kSegmentStack), XpEND,
        XpGROUP_(kProjectionGroup), XpH(kProjectionStack1), XpH(kProjectionStack2), XpEND,
        // The tabs "Image", "Editing", "Options".
        XpGROUP_(kImageTab), XpH(cid::kImage), XpH(cid::kChannel),
        XpH(cid::kPreview), XpEND,
        XpGROUP_(kEditingTab), XpH(cid::kBrightness), XpH(cid::kContrast),
        XpH(cid::kHue), XpH(cid::kSaturation), XpH(cid::kGamma), XpH(cid::kCorrectionInvert), XpH(cid::kDefault),
        XpEND,
        XpGROUP_(kOptionsTab), XpH(cid::kAbout), XpH(cid::kOpenBrowser),
        XpH(cid::kOpenConverter), XpH(cid::kLowResPreview), XpH(cid::kImageInformation), XpH(cid::kLowResFPrime),
        XpH(cid::kReplaceImage), XpH(cid::kFreeMemory), XpH(cid::kCreateProxy), XpH(cid::kUpdateGLLayer), XpEND,
        XpLABEL(kImageTab, "Image"), XpLABEL(kEditingTab, "Editing"), XpLABEL(kOptionsTab, "Options"),
        XpTABS_(kMainTabs), XpH(kImageTab), XpH(kEditingTab), XpH(kOptionsTab), XpEND,
        XpGROUP_(kQualityGroup), XpH(cid::kQuality), XpH(cid::kLodBlending), XpH(cid::kReturnValue), XpEND,
        // The tabs "UV Tiles", "UV Tiling", "UV Offset".
        XpGROUP_(kUVTilesTab), XpH(cid::kUTiles), XpH(cid::kVTiles), XpEND,
        XpGROUP_(kUVTilingTab), XpH(cid::kUTiling), XpH(cid::kVTiling), XpEND,
        XpGROUP_(kUVOffsetTab), XpH(cid::kUOffset), XpH(cid::kVOffset), XpEND,
        XpLABEL(kUVTilesTab, "UV Tiles"), XpLABEL(kUVTilingTab, "UV Tiling"), XpLABEL(kUVOffsetTab, "UV Offset"),
        XpTABS_(kUVTabs), XpH(kUVTilesTab), XpH(kUVTilingTab), XpH(kUVOffsetTab), XpEND,
        XpORDER_(0), XpH(cid::kProjection), XpH(kProjectionGroup), XpH(kMainTabs), XpH(kQualityGroup),
        XpH(kUVTabs), XpEND,
        // The buttons that need an image.
        XpENABLE_(cid::kImage), XpH(cid::kImageInformation), XpH(cid::kUpdateGLLayer), XpH(cid::kCreateProxy),
        XpH(cid::kReplaceImage), XpEND,
        // Popups, the thumbnail and the change notification.
        XpPOPFUNCS(cid::kImage, core->choiceCount, core->choiceName),
        XpPOPFUNCS(cid::kChannel, imageChannelCount, imageChannelName),
        XpPOPFUNCS(cid::kReferenceCamera, itemRefCount, itemRefName),
        XpDRAWCBFUNC(cid::kPreview, korvalithDrawThumbnail),
        XpCHGNOTIFY(panelChanged),
        XpEND};
    x->hint(panel, 0, hints);
    if (hostApplicationType() == LWSYS_MODELER) {
        LWXPanelHint modeler[] = {XpDELETE(cid::kPreview), XpEND};
        x->hint(panel, 0, modeler);
    }
    instance->bindPanel(panel);
    return panel;
}

}  // namespace korvalith
