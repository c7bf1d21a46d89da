#include "texture_node_panel.h"

#include "host_access.h"
#include "host_guard.h"
#include "image_layer.h"
#include "lwhandler.h"
#include "lwhost.h"
#include "panel_table.h"
#include "texture_node.h"
#include "uv_map_list.h"

namespace korvalith {

namespace {

// Ids of the panel's groups, tab groups and stacks (no control has them).
enum : unsigned int {
    kNodeGroup = 0x9800,
    kMainTabs,
    kImageTab,
    kOptionsTab,
    kQualityGroup,
    kMappingGroup,
    kProjectionStack,
    kAxisPane,
    kFrontPane,
    kUVPane,
    kSegmentPane,
    kSegmentStack,
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
};

// Maps by the projection's position (Planar, Cylindrical, Spherical, Cubic,
// Front, UV, Spherical Section): the pane under "Mapping"; the reference
// item (0 the object, 1 the camera); whether the transform is in force.
const int kPaneByProjection[] = {0, 0, 0, 0, 1, 2, 3};
const int kReferenceByProjection[] = {0, 0, 0, 0, 1, 0, 1};
const int kTransformEnabled[] = {1, 1, 1, 1, 0, 0, 1};

const char* const kBlendingNames[] = {"Normal",   "Additive",   "Subtractive", "Multiply", "Screen",
                                      "Darken",   "Lighten",    "Difference",  "Negative", "Color Dodge",
                                      "Color Burn", "Red",      "Green",       "Blue",     nullptr};
const char* const kSegmentNames[] = {"Left Edge", "Width", "Top Edge", "Height", nullptr};
const char* const kTilingNames[] = {"Reset", "Repeat", "Mirror", "Edge", nullptr};

// "Automatic Sizing": the node is the button's data. The view is refreshed
// even without one.
void autoSizeButton(LWXPanelID panel, int button) {
    guardHostCall([&] {
        HostService<LWXPanelFuncs> xpanel(slots::xpanel);
        const LWXPanelFuncs* x = xpanel.table();
        if (!x) return;
        auto* node = static_cast<TextureNode*>(x->getData(panel, static_cast<unsigned int>(button)));
        if (node) {
            if (const LWNodeUtilityFuncs* u = node->utilities(); u && u->NodeAutosize) {
                double size[3] = {1, 1, 1}, centre[3] = {0, 0, 0};
                u->NodeAutosize(node->node(), size, centre);
                LayerMapping& mapping = node->layer().mapping;
                mapping.scale.setValue(size[0], size[1], size[2]);
                mapping.position.setValue(centre[0], centre[1], centre[2]);
            }
        }
        x->viewRefresh(panel);
        if (!node) return;
        auto* update = reinterpret_cast<LWInstUpdate*>(lookupService(LWINSTUPDATE_GLOBAL, GFUSE_TRANSIENT));
        if (update) update(node->className(), node);
    });
}

}  // namespace

LWXPanelID textureNodePanel(TextureNode* node) {
    if (!node) return nullptr;
    if (node->panel()) return node->panel();
    HostService<LWXPanelFuncs> xpanel(slots::xpanel);
    const LWXPanelFuncs* x = xpanel.table();
    const CoreServices* core = node->layer().core();
    if (!x || !core) return nullptr;
    LWXPanelID panel = x->create(LWXP_VIEW, sharedControls());
    if (!panel) return nullptr;
    x->describe(panel, sharedDataDescription(), panelGetValue, panelSetValue);

    LWXPanelHint hints[] = {
        // What the node does not show.
        XpDELETE(cid::kChannel), XpDELETE(cid::kReturnValue), XpDELETE(cid::kSurfaceChannel),
        XpDELETE(cid::kFalloff), XpDELETE(cid::kFalloffType), XpDELETE(cid::kBrightness), XpDELETE(cid::kContrast),
        XpDELETE(cid::kHue), XpDELETE(cid::kSaturation), XpDELETE(cid::kGamma), XpDELETE(cid::kCorrectionInvert),
        XpDELETE(cid::kDefault), XpDELETE(cid::kUpdateGLLayer),
        // Panel labels.
        XpLABEL(cid::kStrength, "Opacity"), XpLABEL(cid::kProjection, "Mapping"),
        XpLABEL(cid::kTextureAxis, "Axis"),
        // Fixed popups.
        XpSTRLIST(cid::kBlending, kBlendingNames), XpSTRLIST(cid::kSegmentAngles, kSegmentNames),
        XpSTRLIST(cid::kUTiling, kTilingNames), XpSTRLIST(cid::kVTiling, kTilingNames),
        // The node's own group.
        XpGROUP_(kNodeGroup), XpH(cid::kBgColour), XpH(cid::kBlending), XpH(cid::kInvert), XpH(cid::kStrength),
        XpH(cid::kBumpAmplitude), XpEND,
        // The tabs "Image" and "Options".
        XpGROUP_(kImageTab), XpH(cid::kImage), XpH(cid::kPreview), XpEND,
        XpGROUP_(kOptionsTab), XpH(cid::kAbout), XpH(cid::kOpenBrowser), XpH(cid::kOpenConverter),
        XpH(cid::kLowResPreview), XpH(cid::kImageInformation), XpH(cid::kLowResFPrime), XpH(cid::kReplaceImage),
        XpH(cid::kFreeMemory), XpH(cid::kCreateProxy), XpEND,
        XpLABEL(kImageTab, "Image"), XpLABEL(kOptionsTab, "Options"),
        XpTABS_(kMainTabs), XpH(kImageTab), XpH(kOptionsTab), XpEND,
        XpGROUP_(kQualityGroup), XpH(cid::kQuality), XpH(cid::kLodBlending), XpEND,
        // "Mapping" and the pane its value picks.
        XpGROUP_(kAxisPane), XpH(cid::kTextureAxis), XpEND,
        XpGROUP_(kFrontPane), XpH(cid::kFixedProjection), XpH(cid::kTime), XpEND,
        XpGROUP_(kUVPane), XpH(cid::kUVMap), XpEND,
        XpSTACK_(kSegmentStack, cid::kSegmentAngles), XpH(cid::kLeftEdge), XpH(cid::kSegmentWidth),
        XpH(cid::kTopEdge), XpH(cid::kSegmentHeight), XpEND,
        XpGROUP_(kSegmentPane), XpH(cid::kSegmentAngles), XpH(kSegmentStack), XpEND,
        XpSTACK_MAP_(kProjectionStack, cid::kProjection, kPaneByProjection), XpH(kAxisPane), XpH(kFrontPane),
        XpH(kUVPane), XpH(kSegmentPane), XpEND,
        XpGROUP_(kMappingGroup), XpH(cid::kProjection), XpH(kProjectionStack), XpEND,
        // The tabs "UV Tiles", "UV Tiling", "UV Offset".
        XpGROUP_(kUVTilesTab), XpH(cid::kUTiles), XpH(cid::kVTiles), XpEND,
        XpGROUP_(kUVTilingTab), XpH(cid::kUTiling), XpH(cid::kVTiling), XpEND,
        XpGROUP_(kUVOffsetTab), XpH(cid::kUOffset), XpH(cid::kVOffset), XpEND,
        XpLABEL(kUVTilesTab, "UV Tiles"), XpLABEL(kUVTilingTab, "UV Tiling"), XpLABEL(kUVOffsetTab, "UV Offset"),
        XpTABS_(kUVTabs), XpH(kUVTilesTab), XpH(kUVTilingTab), XpH(kUVOffsetTab), XpEND,
        // The transform group.
        XpSTACK_MAP_(kReferenceStack, cid::kProjection, kReferenceByProjection), XpH(cid::kReferenceObject),
        XpH(cid::kReferenceCamera), XpEND,
        XpGROUP_(kScaleTab), XpH(cid::kScale), XpEND,
        XpGROUP_(kPositionTab), XpH(cid::kPosition), XpEND,
        XpGROUP_(kRotationTab), XpH(cid::kRotation), XpEND,
        XpLABEL(kScaleTab, "Scale"), XpLABEL(kPositionTab, "Position"), XpLABEL(kRotationTab, "Rotation"),
        XpTABS_(kTransformTabs), XpH(kScaleTab), XpH(kPositionTab), XpH(kRotationTab), XpEND,
        XpGROUP_(kTransformGroup), XpH(kReferenceStack), XpH(cid::kWorldCoordinates), XpH(cid::kAutomaticSizing),
        XpH(kTransformTabs), XpEND,
        XpORDER_(0), XpH(kNodeGroup), XpH(kMainTabs), XpH(kQualityGroup), XpH(kMappingGroup), XpH(kUVTabs),
        XpH(kTransformGroup), XpEND,
        // Enable rules: the transform by projection, the buttons that need an image.
        XpENABLE_MAP_(cid::kProjection, kTransformEnabled), XpH(cid::kScale), XpH(cid::kPosition),
        XpH(cid::kRotation), XpH(kTransformTabs), XpH(kScaleTab), XpH(kPositionTab), XpH(kRotationTab),
        XpH(cid::kReferenceObject), XpH(cid::kAutomaticSizing), XpEND,
        XpENABLE_(cid::kImage), XpH(cid::kImageInformation), XpH(cid::kCreateProxy), XpH(cid::kReplaceImage), XpEND,
        // Popups, the thumbnail, the change notification.
        XpPOPFUNCS(cid::kImage, core->choiceCount, core->choiceName),
        XpPOPFUNCS(cid::kReferenceObject, itemRefCount, itemRefName),
        XpPOPFUNCS(cid::kReferenceCamera, itemRefCount, itemRefName),
        XpPOPFUNCS(cid::kUVMap, uvMapListCount, uvMapListName),
        XpDRAWCBFUNC(cid::kPreview, korvalithDrawThumbnail),
        XpCHGNOTIFY(panelChanged),
        XpEND};
    x->hint(panel, 0, hints);
    node->bindPanel(panel);
    LWXPanelHint sizing[] = {XpBUTNOTIFY(cid::kAutomaticSizing, autoSizeButton), XpEND};
    x->hint(panel, 0, sizing);
    x->setData(panel, cid::kUVMap, &node->uvMaps());
    x->setData(panel, cid::kAutomaticSizing, node);
    return panel;
}

}  // namespace korvalith
