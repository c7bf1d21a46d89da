// The table of the global service "KorvalithCoreServices": the only way
// other code, in this module or another, reaches the image core. A plain
// table of functions in fixed slot order; images and pixel blocks are
// opaque handles.
#pragma once

#include <cstdint>

#include "lwio.h"
#include "lwxpanel.h"

namespace korvalith {
class CoreImage;
class ColourSettings;
struct PixelBlock;
}  // namespace korvalith

#define KORVALITH_CORE_SERVICES "KorvalithCoreServices"
#define KORVALITH_CORE_API_VERSION 112

extern "C" {

typedef korvalith::CoreImage KorvalithImage;

// What the core has read since start-up, for hosts that report it.
struct KorvalithStatistics {
    uint64_t tilesRead;     // tiles read from image files
    uint64_t tileBytes;     // their pixel bytes
    uint64_t decodedBytes;  // bytes the codec decoded for them
    uint64_t codecCacheBytes;
    uint64_t failedTileReads;  // tile reads that failed (the tiles hold no pixels until a pass frees them)
};

// What a file's header says beyond the answers of the 42 operations, for
// hosts that show it.
struct KorvalithFileFacts {
    int resolutionLevels;     // the codestream's decomposition levels + 1
    int codestreamTileWidth;  // codestream tiles (the image size for an untiled file)
    int codestreamTileHeight;
    int codestreamTilesX;
    int codestreamTilesY;
    int precision;            // bits per sample of the first component
    int isSigned;
    uint32_t iccProfileBytes; // an embedded ICC profile's size, 0 without one; samples are delivered as stored
};

struct CoreServices {
    int (*apiVersion)(void);                                                          // 0
    KorvalithImage* (*acquireImage)(const char* path);                                // 1
    void (*releaseImage)(KorvalithImage* image);                                      // 2
    int (*imageCount)(void);                                                          // 3
    int (*imageIndex)(KorvalithImage* image);                                         // 4
    KorvalithImage* (*imageAt)(int position);                                         // 5
    const char* (*imageTitle)(KorvalithImage* image);                                 // 6
    void (*saveImageRef)(KorvalithImage* image, const LWSaveState* save);             // 7
    KorvalithImage* (*loadImageRef)(const LWLoadState* load);                         // 8
    int (*choiceCount)(void* ignored);                                                // 9
    const char* (*choiceName)(void* ignored, int index);                              // 10
    int (*channelChoiceCount)(KorvalithImage* image);                                 // 11
    const char* (*channelChoiceName)(KorvalithImage* image, int index);               // 12
    void (*drawLogo)(LWXPDrAreaID area, int width, int height);                       // 13
    void (*drawPreview)(KorvalithImage* image, LWXPDrAreaID area, int width, int height, int channel,
                        korvalith::ColourSettings* settings);                         // 14
    int (*getPreviewFlag)(void);                                                      // 15
    void (*setPreviewFlag)(int value);                                                // 16
    int (*getFPrimeFlag)(void);                                                       // 17
    void (*setFPrimeFlag)(int value);                                                 // 18
    uint32_t (*memoryUsed)(KorvalithImage* image);                                    // 19
    void (*freeMemory)(KorvalithImage* image);                                        // 20
    int (*replaceImageFile)(KorvalithImage* image, const char* path);                 // 21
    int (*imageWidth)(KorvalithImage* image);                                         // 22
    int (*imageHeight)(KorvalithImage* image);                                        // 23
    const char* (*imageName)(KorvalithImage* image);                                  // 24
    const char* (*imagePath)(KorvalithImage* image);                                  // 25
    const char* (*imageTypeName)(KorvalithImage* image);                              // 26
    int (*compressionRate)(KorvalithImage* image);                                    // 27
    int (*fileBandCount)(KorvalithImage* image);                                      // 28
    const char* (*cellTypeName)(KorvalithImage* image);                               // 29
    int (*cellBytes)(KorvalithImage* image);                                          // 30
    korvalith::PixelBlock* (*createPixelBlock)(KorvalithImage* image, int width, int height);  // 31
    void (*blockPixel)(korvalith::PixelBlock* block, int x, int y, float rgba[4]);   // 32
    void (*freePixelBlock)(korvalith::PixelBlock* block);                            // 33
    float (*sampleImage)(KorvalithImage* image, const double uv[2], double footprint, double blendWidth,
                         int channel, float rgba[4], float* scalar, int hmode, int vmode);  // 34
    float (*sampleGradient)(KorvalithImage* image, const double uv[2], double footprint, double blendWidth,
                            int channel, float* dx, float* dy, int hmode, int vmode);  // 35
    void (*reloadImage)(KorvalithImage* image);                                       // 36
    void (*imageNewFrame)(KorvalithImage* image, int frame);                          // 37
    void (*releaseImageData)(KorvalithImage* image);                                  // 38
    void (*addImageRef)(KorvalithImage* image);                                       // 39
    void (*showAbout)(const char* title, const char* text);                           // 40
    int (*isSupportedFile)(const char* path);                                         // 41
    // Appended after the 42 operations; clients of the 42 never see them.
    void (*statistics)(KorvalithStatistics* out);                                     // 42
    // Why the last failure happened: of the image's file (a tile that could
    // not be read) when an image is given, else of this thread's last failed
    // acquireImage, replaceImageFile or isSupportedFile. Begins with the
    // path; empty when nothing failed. Valid until this thread's next call.
    const char* (*lastError)(KorvalithImage* image);                                  // 43
    // Fills the facts of the image's file; 0 (nothing written) without one.
    int (*fileFacts)(KorvalithImage* image, KorvalithFileFacts* out);                 // 44
};

}  // extern "C"

namespace korvalith {

// The table; built once, never changed.
const CoreServices* coreServices();

}  // namespace korvalith
