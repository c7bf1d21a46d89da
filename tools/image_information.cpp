#include "image_information.h"

#include <cstdio>

#include "byte_size.h"

namespace korvalith {

namespace {
template <typename... Args>
std::string format(const char* pattern, Args... args) {
    const int length = std::snprintf(nullptr, 0, pattern, args...);
    std::string text(static_cast<size_t>(length > 0 ? length : 0), '\0');
    std::snprintf(text.data(), text.size() + 1, pattern, args...);
    return text;
}

const char* orEmpty(const char* text) { return text ? text : ""; }
}  // namespace

std::vector<std::string> imageInformationLines(const CoreServices& core, KorvalithImage* image) {
    const int width = core.imageWidth(image), height = core.imageHeight(image);
    const int bands = core.fileBandCount(image);
    const double raw = static_cast<double>(core.cellBytes(image)) * bands * height * width;
    const uint32_t used = core.memoryUsed(image);
    const float usedMiB = static_cast<float>(used * (1.0 / 1048576.0));
    const double percentage = usedMiB / (raw * (1.0 / 1048576.0)) * 100.0;
    return {
        format("Image: %s", orEmpty(core.imageName(image))),
        format("File: %s", orEmpty(core.imagePath(image))),
        format("Image Type: %s", orEmpty(core.imageTypeName(image))),
        format("Size: %i x %i Pixels - %i Bands - %s", width, height, bands, orEmpty(core.cellTypeName(image))),
        format("Raw Size: %s - Compression: 1:%i", formatByteSize(raw).c_str(), core.compressionRate(image)),
        format("Actual RAM Used: %s (%.2f%% of the raw image size)", formatByteSize(used).c_str(), percentage),
    };
}

}  // namespace korvalith
