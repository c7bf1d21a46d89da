// A small writer of JP2 files around a codestream: signature, file type,
// header box (image header, colour ("colr"), and channel definition,
// palette and component mapping boxes as a test needs them), codestream box.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "j2k_codestream.h"

namespace testfiles::jp2 {

using Bytes = std::vector<uint8_t>;

inline Bytes box(const char (&type)[5], const Bytes& payload) {
    const uint32_t length = uint32_t(payload.size() + 8);
    Bytes b(length);
    for (int i = 0; i < 4; ++i) {
        b[size_t(i)] = uint8_t(length >> (24 - 8 * i));
        b[size_t(4 + i)] = uint8_t(type[i]);
    }
    std::copy(payload.begin(), payload.end(), b.begin() + 8);
    return b;
}

inline Bytes imageHeader(int width, int height, int components, int bitsPerComponent = 8) {
    Bytes p;
    j2k::put32(p, uint32_t(height));
    j2k::put32(p, uint32_t(width));
    j2k::put16(p, uint32_t(components));
    p.insert(p.end(), {uint8_t(bitsPerComponent - 1), 7, 0, 0});
    return box("ihdr", p);
}

// Enumerated colour spaces: 12 CMYK, 16 sRGB, 17 grey, 18 sYCC, 24 e-sYCC.
inline Bytes enumeratedColour(uint32_t colourSpace) {
    Bytes p = {1, 0, 0};
    j2k::put32(p, colourSpace);
    return box("colr", p);
}

// A restricted ICC profile (method 2) of these bytes.
inline Bytes iccColour(const Bytes& profile) {
    Bytes p = {2, 0, 0};
    p.insert(p.end(), profile.begin(), profile.end());
    return box("colr", p);
}

struct ChannelDefinition {
    int channel;
    int type;         // 0 colour, 1 opacity, 2 premultiplied opacity
    int association;  // 0 whole image, 1… colour number
};

inline Bytes channelDefinitions(const std::vector<ChannelDefinition>& entries) {
    Bytes p;
    j2k::put16(p, uint32_t(entries.size()));
    for (const ChannelDefinition& e : entries) {
        j2k::put16(p, uint32_t(e.channel));
        j2k::put16(p, uint32_t(e.type));
        j2k::put16(p, uint32_t(e.association));
    }
    return box("cdef", p);
}

// Palette of 8-bit columns: values[entry][column].
inline Bytes palette(const std::vector<std::vector<uint8_t>>& values) {
    Bytes p;
    j2k::put16(p, uint32_t(values.size()));
    const size_t columns = values.empty() ? 0 : values[0].size();
    p.push_back(uint8_t(columns));
    p.insert(p.end(), columns, 7);
    for (const auto& entry : values) p.insert(p.end(), entry.begin(), entry.end());
    return box("pclr", p);
}

struct Mapping {
    int component;
    int paletteColumn;  // -1: the component itself
};

inline Bytes componentMapping(const std::vector<Mapping>& entries) {
    Bytes p;
    for (const Mapping& m : entries) {
        j2k::put16(p, uint32_t(m.component));
        p.push_back(m.paletteColumn < 0 ? 0 : 1);
        p.push_back(uint8_t(m.paletteColumn < 0 ? 0 : m.paletteColumn));
    }
    return box("cmap", p);
}

// The whole file: the header box holds imageHeader, then the given boxes.
inline Bytes file(const Bytes& codestream, const Bytes& imageHeaderBox, const std::vector<Bytes>& headerBoxes) {
    Bytes header = imageHeaderBox;
    for (const Bytes& b : headerBoxes) header.insert(header.end(), b.begin(), b.end());
    Bytes out = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
    const Bytes ftyp = {'j', 'p', '2', ' ', 0, 0, 0, 0, 'j', 'p', '2', ' '};
    for (const Bytes& b : {box("ftyp", ftyp), box("jp2h", header), box("jp2c", codestream)})
        out.insert(out.end(), b.begin(), b.end());
    return out;
}

}  // namespace testfiles::jp2
