// Small previews of an image for panels: the image read once per size as
// floats, and RGB bitmaps per colour settings and channel built from it.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <vector>

#include "cache_item.h"
#include "colour_settings.h"
#include "image_source.h"

namespace korvalith {

class PreviewCache final : public CacheItem {
public:
    // Drops every size group with its float image and bitmaps.
    bool release() override;
    // Takes the image's current source and drops everything.
    void setSource(ImageSource* source);
    ImageSource* source() const { return source_; }

    // The RGB bitmap (width × height × 3 bytes, rows top to bottom) of the
    // channel under the settings (may be null); reads the file only the
    // first time a size is asked for. Null without a source or when the
    // read failed.
    const uint8_t* bitmap(int width, int height, int channel, ColourSettings* settings);

    // How often the file was read and bitmaps were built, for tests.
    int fileReads() const { return fileReads_; }
    int bitmapBuilds() const { return bitmapBuilds_; }

private:
    struct Entry {
        ColourSettings* settings;
        int channel;
        std::vector<uint8_t> rgb;  // empty until built
    };
    struct SizeGroup {
        int width, height;
        std::unique_ptr<float[]> image;
        std::list<Entry> entries;
    };
    void build(const SizeGroup& group, Entry& entry);

    ImageSource* source_ = nullptr;
    std::list<SizeGroup> groups_;
    int fileReads_ = 0;
    int bitmapBuilds_ = 0;
};

}  // namespace korvalith
