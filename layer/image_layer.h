// The layer that textures, shaders and texture nodes share: which image,
// which channel, level-of-detail settings, strength, the mapping and the
// colour correction. Every image access goes through the core services.
#pragma once

#include <memory>

#include "anim_param.h"
#include "colour_correction.h"
#include "core_services.h"
#include "lwxpanel.h"
#include "mapping.h"

namespace korvalith {

// Panel control ids of the shared control table.
namespace cid {
constexpr unsigned int kImage = 0x9000, kChannel = 0x9001, kPreview = 0x9002, kQuality = 0x9003,
                        kLodBlending = 0x9004;
constexpr unsigned int kProjection = 0x9102, kUVMap = 0x9103, kUTiling = 0x9104, kVTiling = 0x9105,
                        kFixedProjection = 0x9106, kReferenceObject = 0x9107, kReferenceCamera = 0x9108,
                        kWorldCoordinates = 0x9109, kAutomaticSizing = 0x910A, kTextureAxis = 0x910B,
                        kScale = 0x910C, kPosition = 0x910D, kRotation = 0x910E, kFalloff = 0x910F,
                        kFalloffType = 0x9110, kLowResPreview = 0x9111, kLowResFPrime = 0x9112,
                        kSurfaceChannel = 0x9113, kStrength = 0x9114, kInvert = 0x9115, kImageInformation = 0x9116,
                        kAbout = 0x9117, kFreeMemory = 0x9118, kReplaceImage = 0x9119, kOpenConverter = 0x911A,
                        kOpenBrowser = 0x911B, kCreateProxy = 0x911C, kUpdateGLLayer = 0x911D,
                        kSegmentAngles = 0x911E, kTopEdge = 0x9121, kLeftEdge = 0x9122, kSegmentWidth = 0x9123,
                        kSegmentHeight = 0x9124, kReturnValue = 0x912B, kUTiles = 0x913B, kVTiles = 0x913D,
                        kVOffset = 0x913E, kUOffset = 0x913F, kTime = 0x9145, kBrightness = 0x9147,
                        kContrast = 0x9148, kHue = 0x9149, kSaturation = 0x914A, kGamma = 0x914B,
                        kCorrectionInvert = 0x914C, kDefault = 0x914D, kBlending = 0x914E, kBumpAmplitude = 0x914F,
                        kBgColour = 0x9150;
}  // namespace cid

// The core services table, looked up transiently; null without KorvalithPro.
const CoreServices* coreTable();

// Shows the host's error box with two lines.
void showError(const char* line1, const char* line2);

class ImageLayer {
public:
    // withCorrection: the texture node's layer has no colour correction.
    explicit ImageLayer(bool withCorrection = true);
    ~ImageLayer();
    ImageLayer(const ImageLayer&) = delete;
    ImageLayer& operator=(const ImageLayer&) = delete;

    // Obtains the services, names and creates the channel group, makes the
    // parameters, mapping and correction. 0 on success, 2 when a service is missing.
    // With ownGroup false the parameters go straight into parent (a node's
    // own group), which the layer then never destroys.
    int setUp(const char* pluginName, LWChanGroupID parent, bool ownGroup = true);
    void destroy();
    void copyFrom(const ImageLayer& other);

    // The panel of the owning instance; binds the controls' data.
    void attachPanel(LWXPanelID panel);
    void* panelGet(unsigned int id);
    int panelSet(unsigned int id, void* value);

    LWError load(const LWLoadState* state);
    LWError save(const LWSaveState* state);

    // The image shown; one registry reference is held while not null.
    KorvalithImage* image() const { return image_; }
    // Replaces the image with one that already carries a reference for this layer.
    void adoptImage(KorvalithImage* image);
    int imageChoice() const { return imageChoice_; }
    LWChanGroupID channelGroup() const { return group_; }
    // The core table the layer looked up at its set-up (null before).
    const CoreServices* core() const { return core_; }
    LWXPanelID panel() const { return panel_; }

    int channel = 0;
    AnimParam lodBlending, quality, strength;
    LayerMapping mapping;
    std::unique_ptr<SimpleColourCorrection> correction;
    int surfaceChannel = 0;
    bool invert = false;

private:
    void releaseImage();
    int newImageStep();
    int loadImageFromRequest();
    void setChannelControlData();

    const CoreServices* core_ = nullptr;
    KorvalithImage* image_ = nullptr;
    LWChanGroupID group_ = nullptr;
    bool ownsGroup_ = true;
    int imageChoice_ = 0;
    LWXPanelID panel_ = nullptr;
    int slot_ = 0;  // int values handed to the panel
};

// Draw callback of the "Preview" thumbnail: the layer is the control's data.
extern "C" void korvalithDrawThumbnail(LWXPanelID panel, unsigned int cid, LWXPDrAreaID area, int w, int h);

}  // namespace korvalith
