// Hand-made JPEG 2000 codestreams: a main header (SOC, SIZ, COD, QCD) and
// tiles whose packets are all empty, so a file of a few hundred bytes can
// claim any image, tile, code-block, precinct and layer layout. Decoded, such
// a file is flat: every wavelet coefficient is zero.
#pragma once

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace testfiles {

struct CodingStyle {
    int levels = 5;  // decomposition levels
    int codeBlockWidth = 64, codeBlockHeight = 64;
    int layers = 1;
    int precinct = 15;  // log2 of the precinct size at every resolution; 15 is the default (no precincts)
};

struct HandMadeCodestream {
    uint32_t width = 256, height = 256;
    uint32_t tileWidth = 0, tileHeight = 0;  // 0: one tile holds the whole image
    int components = 1;
    int precision = 8;
    CodingStyle style;
    // A COD segment of its own in every tile-part header, as the standard
    // allows: it takes precedence over the main header's for that tile.
    bool ownTileStyle = false;
    CodingStyle tileStyle;
    // Packets written per tile at most (one byte each, an empty packet
    // header); the tile-part ends after them, as a truncated file would.
    uint64_t maxPacketBytes = 1u << 20;
};

namespace j2k {

inline void put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(uint8_t(x >> 8));
    v.push_back(uint8_t(x));
}
inline void put32(std::vector<uint8_t>& v, uint32_t x) {
    put16(v, x >> 16);
    put16(v, x & 0xFFFF);
}
inline int log2Of(int size) {
    int e = 0;
    while ((1 << (e + 1)) <= size) ++e;
    return e;
}

inline void putCod(std::vector<uint8_t>& v, const CodingStyle& s) {
    const bool precincts = s.precinct != 15;
    put16(v, 0xFF52);
    put16(v, uint32_t(12 + (precincts ? s.levels + 1 : 0)));
    v.push_back(precincts ? 1 : 0);  // Scod
    v.push_back(0);                  // LRCP
    put16(v, uint32_t(s.layers));
    v.push_back(0);  // no component transform
    v.push_back(uint8_t(s.levels));
    v.push_back(uint8_t(log2Of(s.codeBlockWidth) - 2));
    v.push_back(uint8_t(log2Of(s.codeBlockHeight) - 2));
    v.push_back(0);  // code-block style
    v.push_back(1);  // reversible 5/3
    for (int r = 0; precincts && r <= s.levels; ++r) v.push_back(uint8_t(s.precinct | s.precinct << 4));
}

inline uint64_t ceilShift(uint64_t a, int s) { return (a + (uint64_t(1) << s) - 1) >> s; }

// Packets of one tile: layers x the precincts of every resolution of every
// component.
inline uint64_t packetsOf(const CodingStyle& s, uint64_t x0, uint64_t y0, uint64_t x1, uint64_t y1, int components) {
    uint64_t precincts = 0;
    for (int r = 0; r <= s.levels; ++r) {
        const int level = s.levels - r;
        const uint64_t rx0 = ceilShift(x0, level), rx1 = ceilShift(x1, level);
        const uint64_t ry0 = ceilShift(y0, level), ry1 = ceilShift(y1, level);
        if (rx0 == rx1 || ry0 == ry1) continue;
        const uint64_t pw = ceilShift(rx1, s.precinct) - (rx0 >> s.precinct);
        const uint64_t ph = ceilShift(ry1, s.precinct) - (ry0 >> s.precinct);
        precincts += pw * ph;
    }
    return precincts * uint64_t(components) * uint64_t(s.layers);
}

}  // namespace j2k

inline std::vector<uint8_t> codestreamBytes(const HandMadeCodestream& c) {
    using j2k::put16;
    using j2k::put32;
    const uint32_t tw = c.tileWidth ? c.tileWidth : c.width, th = c.tileHeight ? c.tileHeight : c.height;
    std::vector<uint8_t> v;
    put16(v, 0xFF4F);
    put16(v, 0xFF51);
    put16(v, uint32_t(38 + 3 * c.components));
    put16(v, 0);
    put32(v, c.width);
    put32(v, c.height);
    put32(v, 0);
    put32(v, 0);
    put32(v, tw);
    put32(v, th);
    put32(v, 0);
    put32(v, 0);
    put16(v, uint32_t(c.components));
    for (int i = 0; i < c.components; ++i) {
        v.push_back(uint8_t(c.precision - 1));
        v.push_back(1);
        v.push_back(1);
    }
    j2k::putCod(v, c.style);
    // No quantisation; exponents of a reversible transform: LL, then HL, LH,
    // HH of each level.
    const int subbands = 3 * c.style.levels + 1;
    put16(v, 0xFF5C);
    put16(v, uint32_t(3 + subbands));
    v.push_back(2 << 5);
    v.push_back(uint8_t(c.precision << 3));
    for (int l = 0; l < c.style.levels; ++l)
        for (int gain : {1, 1, 2}) v.push_back(uint8_t((c.precision + gain) << 3));

    const uint32_t tilesX = (c.width + tw - 1) / tw, tilesY = (c.height + th - 1) / th;
    for (uint32_t t = 0; t < tilesX * tilesY; ++t) {
        std::vector<uint8_t> header;
        if (c.ownTileStyle) j2k::putCod(header, c.tileStyle);
        const uint64_t x0 = uint64_t(t % tilesX) * tw, y0 = uint64_t(t / tilesX) * th;
        const uint64_t x1 = std::min<uint64_t>(x0 + tw, c.width), y1 = std::min<uint64_t>(y0 + th, c.height);
        const uint64_t packets = std::min<uint64_t>(
            c.maxPacketBytes, j2k::packetsOf(c.ownTileStyle ? c.tileStyle : c.style, x0, y0, x1, y1, c.components));
        put16(v, 0xFF90);
        put16(v, 10);
        put16(v, t);
        put32(v, uint32_t(12 + header.size() + 2 + packets));
        v.push_back(0);
        v.push_back(1);
        v.insert(v.end(), header.begin(), header.end());
        put16(v, 0xFF93);
        v.insert(v.end(), size_t(packets), 0);
    }
    put16(v, 0xFFD9);
    return v;
}

inline void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline void writeCodestream(const std::string& path, const HandMadeCodestream& c) { writeBytes(path, codestreamBytes(c)); }

}  // namespace testfiles
