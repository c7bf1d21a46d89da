#include "preview_cache.h"

#include <algorithm>
#include <cmath>

namespace korvalith {

bool PreviewCache::release() {
    groups_.clear();
    return true;
}

void PreviewCache::setSource(ImageSource* source) {
    source_ = source;
    groups_.clear();
}

namespace {
uint8_t toByte(float value) {
    const double v = std::fabs(static_cast<double>(value)) * 255.0 + 0.499999999986;
    if (!(v >= 0)) return 0;  // also not a number
    if (v >= 255) return 255;
    return static_cast<uint8_t>(static_cast<int>(v));
}
}  // namespace

const uint8_t* PreviewCache::bitmap(int width, int height, int channel, ColourSettings* settings) {
    if (!source_ || width <= 0 || height <= 0) return nullptr;
    setUsed(true);
    auto group = std::find_if(groups_.begin(), groups_.end(),
                              [&](const SizeGroup& g) { return g.width == width && g.height == height; });
    if (group == groups_.end()) group = groups_.insert(groups_.end(), SizeGroup{width, height, nullptr, {}});
    if (!group->image) {
        const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height) *
                             static_cast<size_t>(source_->fileBandCount());
        group->image.reset(new (std::nothrow) float[count]);
        ++fileReads_;
        if (!group->image ||
            !source_->readRegionFloat(group->image.get(), 0, 0, source_->width() - 1, source_->height() - 1, width,
                                      height)) {
            group->image.reset();
            return nullptr;
        }
    }
    auto entry = std::find_if(group->entries.begin(), group->entries.end(),
                              [&](const Entry& e) { return e.settings == settings && e.channel == channel; });
    if (entry == group->entries.end()) entry = group->entries.insert(group->entries.end(), Entry{settings, channel, {}});
    if (entry->rgb.empty() || (settings && settings->changed())) build(*group, *entry);
    return entry->rgb.empty() ? nullptr : entry->rgb.data();
}

void PreviewCache::build(const SizeGroup& group, Entry& entry) {
    const ChannelSpec* spec = source_->channel(entry.channel);
    if (!spec) return;
    if (entry.settings) entry.settings->clearChanged();
    ++bitmapBuilds_;
    const int bands = source_->fileBandCount();
    const size_t pixels = static_cast<size_t>(group.width) * static_cast<size_t>(group.height);
    entry.rgb.resize(pixels * 3);
    const int i0 = spec->bands[0];
    const int i1 = spec->bandCount >= 3 ? spec->bands[1] : i0;
    const int i2 = spec->bandCount >= 3 ? spec->bands[2] : i0;
    for (size_t p = 0; p < pixels; ++p) {
        const float* px = group.image.get() + p * static_cast<size_t>(bands);
        float rgb[3] = {px[i0], px[i1], px[i2]};
        if (spec->kind == kChannelBands) {
            if (entry.settings) entry.settings->correctColour(rgb);
        } else {
            float s = spec->kind == kChannelAverage ? (rgb[0] + rgb[1] + rgb[2]) * 0.33333334f
                                                    : 0.299f * rgb[0] + 0.587f * rgb[1] + 0.114f * rgb[2];
            if (entry.settings) s = entry.settings->correctScalar(s);
            rgb[0] = rgb[1] = rgb[2] = s;
        }
        for (int c = 0; c < 3; ++c) entry.rgb[p * 3 + static_cast<size_t>(c)] = toByte(rgb[c]);
    }
}

}  // namespace korvalith
