// What OpenJPEG will hold in memory, and how many packets it will walk, to
// decode any part of a codestream, judged from its headers before OpenJPEG
// sees them. A few hundred bytes can claim an image whose decoder state
// alone takes gigabytes; such files are refused at open with the reason.

#include "internal.h"

#include <algorithm>
#include <array>
#include <map>
#include <tuple>

namespace korvalith::codec::detail {
namespace {

uint32_t be16(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }
uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

constexpr uint32_t kSot = 0xFF90, kSod = 0xFF93, kEoc = 0xFFD9, kCod = 0xFF52, kCoc = 0xFF53;

// Coding style of one tile-component as OpenJPEG keeps it: resolutions,
// code-block exponents and the precinct exponents of each resolution.
struct Style {
    int resolutions = 0;  // 0: not given (no COD seen)
    int cblkW = 6, cblkH = 6;
    std::array<uint8_t, 33> ppx{}, ppy{};
    bool operator<(const Style& o) const {
        return std::tie(resolutions, cblkW, cblkH, ppx, ppy) < std::tie(o.resolutions, o.cblkW, o.cblkH, o.ppx, o.ppy);
    }
};

struct TileStyle {
    int layers = 1;
    std::vector<Style> components;
};

// Parses SPcod / SPcoc (from the decomposition levels on). Returns false for
// values OpenJPEG refuses itself; the caller then leaves the style alone and
// lets OpenJPEG report the error.
bool parseSpcod(const uint8_t* p, size_t n, bool precincts, Style& s) {
    if (n < 5) return false;
    const int levels = p[0];
    if (levels > 32 || p[1] > 8 || p[2] > 8 || p[1] + p[2] > 8) return false;
    Style out;
    out.resolutions = levels + 1;
    out.cblkW = p[1] + 2;
    out.cblkH = p[2] + 2;
    out.ppx.fill(15);
    out.ppy.fill(15);
    if (precincts) {
        if (n < 5 + size_t(out.resolutions)) return false;
        for (int r = 0; r < out.resolutions; ++r) {
            out.ppx[size_t(r)] = p[5 + r] & 0x0F;
            out.ppy[size_t(r)] = p[5 + r] >> 4;
            if (r > 0 && (out.ppx[size_t(r)] == 0 || out.ppy[size_t(r)] == 0)) return false;
        }
    }
    s = out;
    return true;
}

// Applies a COD or COC segment (contents after the length) to a tile style
// the way OpenJPEG does: COD sets every component, COC one.
void applySegment(uint32_t marker, const uint8_t* p, size_t n, size_t components, TileStyle& t) {
    if (marker == kCod) {
        if (n < 5) return;
        Style s;
        if (!parseSpcod(p + 5, n - 5, (p[0] & 1) != 0, s)) return;
        const int layers = int(be16(p + 2));
        if (layers < 1) return;
        t.layers = layers;
        std::fill(t.components.begin(), t.components.end(), s);
    } else if (marker == kCoc) {
        const size_t indexBytes = components < 257 ? 1 : 2;
        if (n < indexBytes + 1) return;
        const size_t c = indexBytes == 1 ? p[0] : be16(p);
        Style s;
        if (c >= components || !parseSpcod(p + indexBytes + 1, n - indexBytes - 1, (p[indexBytes] & 1) != 0, s)) return;
        t.components[c] = s;
    }
}

// Walks the marker segments from `offset` until a marker in `stops` (or the
// end of [base, end)), applying COD and COC. Returns the offset of the stop
// marker, or 0 when the segments run off the data or are malformed.
uint64_t walkHeader(int fd, uint64_t offset, uint64_t end, size_t components, TileStyle& t,
                    std::initializer_list<uint32_t> stops) {
    std::vector<uint8_t> segment;
    while (offset + 2 <= end) {
        uint8_t h[4];
        const size_t got = readAt(fd, offset, h, end - offset >= 4 ? 4 : 2);
        if (got < 2) return 0;
        const uint32_t marker = be16(h);
        if (std::find(stops.begin(), stops.end(), marker) != stops.end()) return offset;
        if ((marker >> 8) != 0xFF || got < 4) return 0;
        const uint32_t length = be16(h + 2);
        if (length < 2 || offset + 2 + length > end) return 0;
        if (marker == kCod || marker == kCoc) {
            segment.resize(length - 2);
            if (readAt(fd, offset + 4, segment.data(), segment.size()) != segment.size()) return 0;
            applySegment(marker, segment.data(), segment.size(), components, t);
        }
        offset += 2 + uint64_t(length);
    }
    return 0;
}

// Counts of what a header claims overflow 64 bits (2^31-pixel tiles of 1 x 1
// code-blocks, 65535 layers, 16384 components): they are kept in 128.
using Count = unsigned __int128;

struct Cost {
    Count codeBlocks = 0;
    Count precinctBands = 0;
    Count precincts = 0;     // per resolution, summed over resolutions
    Count maxPrecincts = 0;  // largest precinct count of one resolution
    Count positions = 0;     // positions a position-driven progression visits
    int resolutions = 0;
};

int64_t ceilShift(int64_t a, int s) { return s >= 63 ? (a > 0) : (a + (int64_t(1) << s) - 1) >> s; }

// Upper bound of the structures OpenJPEG sets up for one tile-component of
// (at most) w x h samples, whatever the tile's position: every division
// that depends on alignment counts one more.
Cost componentCost(const Style& s, int64_t w, int64_t h, int dx, int dy) {
    Cost c;
    c.resolutions = s.resolutions;
    int64_t minPrecinctW = INT64_MAX, minPrecinctH = INT64_MAX;
    for (int r = 0; r < s.resolutions; ++r) {
        const int level = s.resolutions - 1 - r;
        const int64_t rw = ceilShift(w, level) + 1, rh = ceilShift(h, level) + 1;
        const int ppx = s.ppx[size_t(r)], ppy = s.ppy[size_t(r)];
        const Count pw = Count(ceilShift(rw, ppx) + 1), ph = Count(ceilShift(rh, ppy) + 1);
        const Count precincts = pw * ph;
        const int bands = r == 0 ? 1 : 3;
        const int cbgW = r == 0 ? ppx : ppx - 1, cbgH = r == 0 ? ppy : ppy - 1;
        const int cbW = std::min(s.cblkW, cbgW), cbH = std::min(s.cblkH, cbgH);
        const int64_t bw = r == 0 ? rw : ceilShift(rw, 1) + 1, bh = r == 0 ? rh : ceilShift(rh, 1) + 1;
        // Precinct edges fall on code-block edges (a precinct spans a power
        // of two at least as large as a code-block, from a multiple of it),
        // so the code-blocks of all precincts of a band are those of the
        // band; one more per row and column covers any alignment.
        const Count cols = Count(ceilShift(bw, cbW) + 1), rows = Count(ceilShift(bh, cbH) + 1);
        c.codeBlocks += Count(bands) * cols * rows;
        c.precinctBands += Count(bands) * precincts;
        c.precincts += precincts;
        c.maxPrecincts = std::max(c.maxPrecincts, precincts);
        // A precinct of this resolution spans 2^(pp + level) samples, dx
        // reference-grid columns each.
        minPrecinctW = std::min(minPrecinctW, int64_t(dx) << std::min(ppx + level, 40));
        minPrecinctH = std::min(minPrecinctH, int64_t(dy) << std::min(ppy + level, 40));
    }
    if (s.resolutions > 0)
        c.positions = Count(w * dx / minPrecinctW + 2) * Count(h * dy / minPrecinctH + 2);
    return c;
}

struct TileReport {
    Count stateBytes = 0;
    Count codeBlocks = 0;
    Count packets = 0;  // packets and positions OpenJPEG walks
};

// Sum over the components of one tile of w x h reference-grid pixels.
TileReport tileCost(const TileStyle& t, const Siz& siz, int64_t w, int64_t h, std::map<Style, Cost>* memo) {
    TileReport report;
    Count maxPrecincts = 0, positions = 0;
    int maxResolutions = 0;
    for (size_t c = 0; c < t.components.size(); ++c) {
        const Style& s = t.components[c];
        const SizComponent& sc = siz.components[c];
        Cost cost;
        // Components of one sampling share a cost; the memo holds those of
        // full-size tiles, the only ones asked for more than once.
        if (memo && sc.dx == 1 && sc.dy == 1) {
            auto it = memo->find(s);
            if (it == memo->end()) it = memo->emplace(s, componentCost(s, w, h, 1, 1)).first;
            cost = it->second;
        } else {
            cost = componentCost(s, ceilDiv(w, sc.dx) + 1, ceilDiv(h, sc.dy) + 1, sc.dx, sc.dy);
        }
        report.codeBlocks += cost.codeBlocks;
        report.stateBytes += cost.codeBlocks * kDecoderBytesPerCodeBlock +
                             cost.precinctBands * kDecoderBytesPerPrecinctBand +
                             Count(cost.resolutions) * kDecoderBytesPerResolution;
        report.packets += cost.precincts * Count(t.layers);
        maxPrecincts = std::max(maxPrecincts, cost.maxPrecincts);
        maxResolutions = std::max(maxResolutions, cost.resolutions);
        positions = std::max(positions, cost.positions);
    }
    // The packet iterator's inclusion table: two bytes for every layer (one
    // more), resolution, component and precinct of the largest resolution.
    const Count components = t.components.size();
    report.stateBytes += 2 * (Count(t.layers) + 1) * Count(maxResolutions) * components * maxPrecincts;
    report.packets += positions * Count(maxResolutions) * components;
    return report;
}

std::string number(Count n) { return n > UINT64_MAX ? "more than 2^64" : std::to_string(uint64_t(n)); }
std::string megabytes(Count bytes) { return number((bytes + (1u << 19)) >> 20) + " MB"; }

}  // namespace

Status checkDecoderCost(int fd, uint64_t base, uint64_t length, const Siz& siz, int& fewestResolutions,
                        std::string& why) {
    fewestResolutions = 0;
    const uint64_t tiles = uint64_t(siz.tilesX) * siz.tilesY;
    const uint64_t components = siz.components.size();
    const uint64_t index = tiles * (kDecoderBytesPerTile + components * kDecoderBytesPerTileComponent);
    if (index > kMaxDecoderIndexBytes) {
        why = "the codestream claims " + std::to_string(tiles) + " tiles of " + std::to_string(components) +
              (components == 1 ? " component" : " components") + "; OpenJPEG would need about " + megabytes(index) +
              " to index them, so this file cannot be read in bounded memory";
        return Status::TooLarge;
    }

    // The main header's coding style, then each tile's own COD and COC from
    // its tile-part headers, following the chain of tile-parts the way
    // OpenJPEG does. Where the headers are damaged the walk stops; OpenJPEG
    // stops there too and reports the damage itself.
    const uint64_t end = base + length;
    TileStyle main;
    main.components.resize(components);
    const uint64_t sizLength = 2 + 38 + 3 * components;
    uint64_t sot = walkHeader(fd, base + 2 + sizLength, end, components, main, {kSot, kEoc});
    for (const Style& s : main.components)
        if (s.resolutions == 0) return Status::Ok;  // no coding style: OpenJPEG refuses the header
    auto fewest = [&](const TileStyle& t) {
        for (const Style& s : t.components)
            fewestResolutions = fewestResolutions ? std::min(fewestResolutions, s.resolutions) : s.resolutions;
    };
    fewest(main);

    const int64_t fullW = std::min<int64_t>(siz.tileWidth, int64_t(siz.x1) - siz.x0);
    const int64_t fullH = std::min<int64_t>(siz.tileHeight, int64_t(siz.y1) - siz.y0);
    std::map<Style, Cost> memo;
    const TileReport mainCost = tileCost(main, siz, fullW, fullH, &memo);
    TileReport worst = mainCost;
    int64_t worstTile = -1;  // -1: the main header's style

    std::vector<TileStyle> styles;  // per tile with its own segments, in the order found
    std::vector<uint32_t> styleTile;
    std::vector<int> styleOf(size_t(tiles), -1);
    // At most one step per tile-part, and a tile-part takes at least 14 bytes.
    for (uint64_t steps = 0; sot && steps < length / 14 + 1; ++steps) {
        uint8_t h[12];
        if (readAt(fd, sot, h, 12) != 12 || be16(h) != kSot || be16(h + 2) != 10) break;
        const uint32_t tile = be16(h + 4);
        const uint64_t psot = be32(h + 6);
        if (tile >= tiles) break;
        const uint64_t partEnd = psot == 0 ? end : sot + psot;
        if (psot != 0 && (psot < 14 || partEnd > end)) break;
        int& k = styleOf[tile];
        if (k < 0) {
            k = int(styles.size());
            styles.push_back(main);
            styleTile.push_back(tile);
        }
        if (!walkHeader(fd, sot + 12, partEnd, components, styles[size_t(k)], {kSod})) break;
        if (psot == 0) break;
        sot = partEnd;
    }
    for (size_t k = 0; k < styles.size(); ++k) {
        const TileStyle& t = styles[k];
        fewest(t);
        bool same = t.layers == main.layers;
        for (size_t c = 0; same && c < components; ++c)
            same = !(t.components[c] < main.components[c]) && !(main.components[c] < t.components[c]);
        if (same) continue;
        const TileReport cost = tileCost(t, siz, fullW, fullH, &memo);
        if (cost.stateBytes > worst.stateBytes || cost.packets > worst.packets) {
            worst.stateBytes = std::max(worst.stateBytes, cost.stateBytes);
            worst.packets = std::max(worst.packets, cost.packets);
            worst.codeBlocks = std::max(worst.codeBlocks, cost.codeBlocks);
            worstTile = int64_t(styleTile[k]);
        }
    }

    const bool untiled = tiles == 1;
    const std::string claim =
        untiled ? "the image claims " + std::to_string(siz.x1 - siz.x0) + " x " + std::to_string(siz.y1 - siz.y0) +
                      " pixels in one codestream tile"
                : "the image claims codestream tiles of " + std::to_string(fullW) + " x " + std::to_string(fullH) +
                      " pixels" + (worstTile >= 0 ? " (tile " + std::to_string(worstTile) + ")" : std::string());
    if (worst.stateBytes > kMaxDecoderTileBytes) {
        why = claim + "; this file cannot be read in parts (decoding any part of " + (untiled ? "it" : "a tile") +
              " would set up " + number(worst.codeBlocks) + " code-blocks, about " +
              megabytes(worst.stateBytes) + " of decoder state)";
        return Status::TooLarge;
    }
    // Every packet takes at least one byte, so a complete file holds at least
    // as many bytes as packets: more packets than bytes is a claim, not data.
    if (worst.packets > kMaxDecoderTilePackets && worst.packets > length) {
        why = claim + "; this file cannot be read in parts (decoding any part of " + (untiled ? "it" : "a tile") +
              " would walk " + number(worst.packets) + " packets, in a codestream of " +
              std::to_string(length) + " bytes)";
        return Status::TooLarge;
    }
    return Status::Ok;
}

}  // namespace korvalith::codec::detail
