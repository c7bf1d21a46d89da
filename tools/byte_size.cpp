#include "byte_size.h"

#include <cstdio>

namespace korvalith {

std::string formatByteSize(double bytes) {
    static const char* const kUnits[] = {"Bytes", "KB", "MB", "GB", "TB"};
    constexpr int kLastUnit = 4;
    double value = bytes;
    int unit = 0;
    while (value > 1024.0 && unit < kLastUnit) {
        value *= 1.0 / 1024.0;
        ++unit;
    }
    // Sized by a first pass: values far beyond 1024 TB need long texts.
    const int length = std::snprintf(nullptr, 0, "%.2f %s", value, kUnits[unit]);
    if (length <= 0) return {};
    std::string text(static_cast<size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, "%.2f %s", value, kUnits[unit]);
    return text;
}

}  // namespace korvalith
