#include "core_services.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "activation.h"
#include "codec.h"
#include "host_access.h"
#include "host_guard.h"
#include "image_file_request.h"
#include "lwhost.h"
#include "path_separator.h"
#include "registry.h"
#include "sampler.h"
#include "services_ui.h"
#include "tile_store.h"

namespace korvalith {

// Pixels of a whole image read at a chosen size.
struct PixelBlock {
    int width = 0;
    int height = 0;
    std::unique_ptr<float[]> values;  // width × height × bands; null when the read failed
    int bands = 0;
    const ChannelSpec* channel = nullptr;  // the image's first channel choice, not owned
};

namespace {

ImageRegistry& registry() { return ImageRegistry::instance(); }

// The two option flags: "Low Res Preview" and "Low Res FPrime". Written
// from the interface, read while rendering.
std::atomic<uint8_t> g_previewFlag{1};
std::atomic<uint8_t> g_fprimeFlag{0};

constexpr LWID kFileId = LWID_('F', 'I', 'L', 'E');
const LWBlockIdent kFileBlock[] = {{kFileId, "Filename"}, {0, nullptr}};


ImageSource* sourceOf(CoreImage* image) { return image ? image->source() : nullptr; }

int apiVersion() { return KORVALITH_CORE_API_VERSION; }
CoreImage* acquireImage(const char* path) { return registry().acquireImage(path); }
void releaseImage(CoreImage* image) { registry().releaseImage(image); }
int imageCount() { return registry().imageCount(); }
int imageIndex(CoreImage* image) { return registry().imageIndex(image); }
CoreImage* imageAt(int position) { return registry().imageAt(position); }
const char* imageTitle(CoreImage* image) { return registry().imageTitle(image); }

void saveImageRef(CoreImage* image, const LWSaveState* save) {
    if (!save) return;
    const ImageSource* source = sourceOf(image);
    const char* path = source && source->path() ? source->path() : "";
    save->beginBlk(save->writeData, &kFileBlock[0], 1);
    save->writeStr(save->writeData, path);
    save->endBlk(save->writeData);
}

// The image of one reference that failed to open, after asking the user:
// a replacement chosen in the file dialog, or null.
// The first line of a message about a file that failed to open: the
// registry's reason, which begins with the path.
std::string failureLine(const std::string& path) {
    const std::string& reason = ImageRegistry::lastFailure();
    return reason.rfind(path, 0) == 0 ? reason : path;
}

// The image of one reference that failed to open, after asking the user:
// a replacement chosen in the file dialog, or null.
CoreImage* replaceMissingImage(std::string path) {
    for (;;) {
        if (CoreImage* image = registry().acquireImage(path.c_str())) return image;
        const std::string line = failureLine(path);
        HostService<LWMessageFuncs> messages(slots::messages);
        if (hostApplicationType() == LWSYS_SCREAMERNET) {
            if (messages.available())
                messages->error("Korvalith Pro V1.0.5a (Win64): Error opening image ", line.c_str());
            return nullptr;
        }
        if (!messages.available() ||
            !messages->yesNo("Korvalith Pro V1.0.5a (Win64) Aug 18 2006: Error", line.c_str(),
                             "Error opening image file.\nThe file either does not exist or can't be loaded by "
                             "Korvalith Pro.\nReplace with another image file?"))
            return nullptr;
        std::string chosen;
        if (!requestImageFile("Replace Image", &chosen)) return nullptr;
        path = chosen;
    }
}

CoreImage* loadImageRef(const LWLoadState* load) {
    if (!load) return nullptr;
    CoreImage* result = nullptr;
    while (load->findBlk(load->readData, kFileBlock) == kFileId) {
        char buffer[1025] = {};
        load->readStr(load->readData, buffer, 1024);
        CoreImage* image = buffer[0] ? replaceMissingImage(buffer) : nullptr;
        // Only the last reference is kept: an earlier one gives its image back.
        registry().releaseImage(result);
        result = image;
        load->endBlk(load->readData);
    }
    return result;
}

int choiceCount(void*) { return registry().choiceCount(); }
const char* choiceName(void*, int index) { return registry().choiceName(index); }

int channelChoiceCount(CoreImage* image) {
    const ImageSource* source = sourceOf(image);
    return source ? source->channelCount() : 0;
}

const char* channelChoiceName(CoreImage* image, int index) {
    if (!image) return "(none)";
    const ImageSource* source = sourceOf(image);
    return source ? source->channelName(index) : nullptr;
}

void drawPreview(CoreImage* image, LWXPDrAreaID area, int width, int height, int channel, ColourSettings* settings) {
    if (!image) {
        drawLogo(area, width, height);
        return;
    }
    const LWXPDrawFuncs* draw = drawFunctions();
    if (!draw) return;
    ScopedHostLock guard(image->lock(), kImagePreview);
    const uint8_t* rgb = image->preview().bitmap(width, height, channel, settings);
    if (!rgb) return;
    for (int i = 0; i < height; ++i)
        for (int j = 0; j < width; ++j, rgb += 3) draw->drawRGBPixel(area, rgb[0], rgb[1], rgb[2], j, i);
}

int getPreviewFlag() { return g_previewFlag.load(std::memory_order_relaxed); }
void setPreviewFlag(int value) { g_previewFlag.store(static_cast<uint8_t>(value), std::memory_order_relaxed); }
int getFPrimeFlag() { return g_fprimeFlag.load(std::memory_order_relaxed); }
void setFPrimeFlag(int value) { g_fprimeFlag.store(static_cast<uint8_t>(value), std::memory_order_relaxed); }

uint32_t memoryUsed(CoreImage* image) { return registry().memoryUsed(image); }
void freeMemory(CoreImage* image) { registry().freeMemory(image); }
int replaceImageFile(CoreImage* image, const char* path) { return registry().replaceImageFile(image, path); }

int imageWidth(CoreImage* image) { return sourceOf(image) ? sourceOf(image)->width() : 0; }
int imageHeight(CoreImage* image) { return sourceOf(image) ? sourceOf(image)->height() : 0; }
const char* imageName(CoreImage* image) { return sourceOf(image) ? sourceOf(image)->name() : nullptr; }
const char* imagePath(CoreImage* image) { return sourceOf(image) ? sourceOf(image)->path() : nullptr; }
const char* imageTypeName(CoreImage* image) { return sourceOf(image) ? sourceOf(image)->typeName() : nullptr; }
int compressionRate(CoreImage* image) { return sourceOf(image) ? sourceOf(image)->compressionRate() : 0; }
int fileBandCount(CoreImage* image) { return sourceOf(image) ? sourceOf(image)->fileBandCount() : 0; }
const char* cellTypeNameOf(CoreImage* image) { return sourceOf(image) ? sourceOf(image)->cellTypeName() : "*none*"; }
int cellBytesOf(CoreImage* image) { return sourceOf(image) ? sourceOf(image)->cellBytes() : 0; }

PixelBlock* createPixelBlock(CoreImage* image, int width, int height) {
    ImageSource* source = sourceOf(image);
    if (!source || width <= 0 || height <= 0) return nullptr;
    auto block = std::make_unique<PixelBlock>();
    block->width = width;
    block->height = height;
    block->bands = source->fileBandCount();
    block->channel = source->channel(0);
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height) * static_cast<size_t>(block->bands);
    block->values.reset(new (std::nothrow) float[count]);
    if (block->values &&
        !source->readRegionFloat(block->values.get(), 0, 0, source->width() - 1, source->height() - 1, width, height))
        block->values.reset();
    return block.release();
}

void blockPixel(PixelBlock* block, int x, int y, float rgba[4]) {
    if (!block || !block->values || !block->channel || !rgba) return;
    // Pixels outside the block are not there to read.
    if (x < 0 || y < 0 || x >= block->width || y >= block->height) return;
    const float* p = block->values.get() +
                     (static_cast<size_t>(y) * static_cast<size_t>(block->width) + static_cast<size_t>(x)) *
                         static_cast<size_t>(block->bands);
    const ChannelSpec& c = *block->channel;
    rgba[0] = p[0];
    if (c.bandCount == 4) {
        rgba[1] = p[c.bands[1]];
        rgba[2] = p[c.bands[2]];
        rgba[3] = p[c.bands[3]];
    } else if (c.bandCount == 3) {
        rgba[1] = p[c.bands[1]];
        rgba[2] = p[c.bands[2]];
        if (c.kind == kChannelAverage || c.kind == kChannelLuminance) {
            const float s = c.kind == kChannelAverage ? (rgba[0] + rgba[1] + rgba[2]) * 0.33333334f
                                                      : 0.299f * rgba[0] + 0.587f * rgba[1] + 0.114f * rgba[2];
            rgba[0] = rgba[1] = rgba[2] = s;
        }
        rgba[3] = 1.0f;
    } else {
        rgba[1] = rgba[2] = p[0];
        rgba[3] = 1.0f;
    }
}

void freePixelBlock(PixelBlock* block) { delete block; }

float sample(CoreImage* image, const double uv[2], double footprint, double blendWidth, int channel, float rgba[4],
             float* scalar, int hmode, int vmode) {
    return sampleImage(image, uv, footprint, blendWidth, channel, rgba, scalar, hmode, vmode);
}

float gradient(CoreImage* image, const double uv[2], double footprint, double blendWidth, int channel, float* dx,
               float* dy, int hmode, int vmode) {
    return sampleGradient(image, uv, footprint, blendWidth, channel, dx, dy, hmode, vmode);
}

void reloadImage(CoreImage* image) {
    if (image) image->resetPyramid();
}

void imageNewFrame(CoreImage* image, int frame) {
    if (!image || image->lastFrame == frame) return;
    image->lastFrame = frame;
    image->release();
}

void releaseImageData(CoreImage* image) {
    if (image) image->releaseAll();
}

void addImageRef(CoreImage* image) { registry().addImageRef(image); }

int isSupportedFile(const char* path) { return ImageRegistry::isSupportedFile(path); }

void statistics(KorvalithStatistics* out) {
    if (!out) return;
    out->tilesRead = tilesRead();
    out->tileBytes = tileBytesRead();
    out->decodedBytes = codec::decodedBytes();
    out->codecCacheBytes = codec::cacheBytes();
    out->failedTileReads = failedTileReads();
}

int fileFacts(CoreImage* image, KorvalithFileFacts* out) {
    const ImageSource* source = sourceOf(image);
    const codec::FileInfo* info = source ? source->fileInfo() : nullptr;
    if (!info || !out) return 0;
    *out = {info->resolutionLevels, info->tileWidth, info->tileHeight, info->tilesX, info->tilesY,
            info->precision, info->isSigned ? 1 : 0, info->hasIccProfile ? info->iccProfileBytes : 0};
    return 1;
}

// The text stays valid until this thread's next call.
const char* lastError(CoreImage* image) {
    thread_local std::string text;
    if (image) text = sourceOf(image) ? sourceOf(image)->lastError() : std::string();
    else text = ImageRegistry::lastFailure();
    return text.c_str();
}

// No exception leaves the table: each operation answers its failure result
// instead (null, 0, false, coverage 0; −2 for imageIndex).
template <auto F, auto... Failure>
constexpr auto guarded = &Guarded<F, Failure...>::call;

const CoreServices kTable = {
    guarded<apiVersion>,
    guarded<acquireImage>,
    guarded<releaseImage>,
    guarded<imageCount>,
    guarded<imageIndex, -2>,
    guarded<imageAt>,
    guarded<imageTitle>,
    guarded<saveImageRef>,
    guarded<loadImageRef>,
    guarded<choiceCount>,
    guarded<choiceName>,
    guarded<channelChoiceCount>,
    guarded<channelChoiceName>,
    guarded<drawLogo>,
    guarded<drawPreview>,
    guarded<getPreviewFlag>,
    guarded<setPreviewFlag>,
    guarded<getFPrimeFlag>,
    guarded<setFPrimeFlag>,
    guarded<memoryUsed>,
    guarded<freeMemory>,
    guarded<replaceImageFile>,
    guarded<imageWidth>,
    guarded<imageHeight>,
    guarded<imageName>,
    guarded<imagePath>,
    guarded<imageTypeName>,
    guarded<compressionRate>,
    guarded<fileBandCount>,
    guarded<cellTypeNameOf>,
    guarded<cellBytesOf>,
    guarded<createPixelBlock>,
    guarded<blockPixel>,
    guarded<freePixelBlock>,
    guarded<sample>,
    guarded<gradient>,
    guarded<reloadImage>,
    guarded<imageNewFrame>,
    guarded<releaseImageData>,
    guarded<addImageRef>,
    guarded<showAbout>,
    guarded<isSupportedFile>,
    guarded<statistics>,
    guarded<lastError>,
    guarded<fileFacts>,
};

}  // namespace

const CoreServices* coreServices() { return &kTable; }

}  // namespace korvalith
