// Recognising files by their first bytes, and the parts of the JP2 box
// structure and the codestream main header that the adapter reads itself.

#include "internal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace korvalith::codec {
namespace detail {
namespace {

uint32_t be16(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }
uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
uint64_t be64(const uint8_t* p) { return uint64_t(be32(p)) << 32 | be32(p + 4); }

constexpr uint8_t kJp2Signature[12] = {0x00, 0x00, 0x00, 0x0C, 0x6A, 0x50, 0x20, 0x20, 0x0D, 0x0A, 0x87, 0x0A};

constexpr uint32_t boxType(const char (&t)[5]) {
    return uint32_t(uint8_t(t[0])) << 24 | uint32_t(uint8_t(t[1])) << 16 | uint32_t(uint8_t(t[2])) << 8 |
           uint8_t(t[3]);
}

// The JP2 header box holds only small boxes; anything bigger is refused.
constexpr uint64_t kMaxHeaderBoxBytes = 16u << 20;

struct Box {
    uint32_t type = 0;
    uint64_t payload = 0;  // offset of the contents
    uint64_t length = 0;   // length of the contents
};

// Reads the box header at `offset` within [offset, end). Returns false on a
// malformed header.
bool readBox(int fd, uint64_t offset, uint64_t end, Box& box) {
    uint8_t h[16];
    if (end - offset < 8 || readAt(fd, offset, h, 8) != 8) return false;
    uint64_t length = be32(h);
    box.type = be32(h + 4);
    uint64_t headerBytes = 8;
    if (length == 1) {
        if (end - offset < 16 || readAt(fd, offset + 8, h + 8, 8) != 8) return false;
        length = be64(h + 8);
        headerBytes = 16;
    } else if (length == 0) {
        length = end - offset;
    }
    if (length < headerBytes || length > end - offset) return false;
    box.payload = offset + headerBytes;
    box.length = length - headerBytes;
    return true;
}

bool parseColr(const uint8_t* p, uint64_t n, Jp2Header& h) {
    if (n < 3) return false;
    if (h.hasColourSpace) return true;  // the first colour box wins
    h.hasColourSpace = true;
    if (p[0] == 1) {
        if (n < 7) return false;
        h.enumeratedColourSpace = be32(p + 3);
    } else if (p[0] == 2 || p[0] == 3) {
        // An ICC profile: restricted (JP2) or any (JPX).
        h.iccProfileBytes = uint32_t(std::min<uint64_t>(n - 3, UINT32_MAX));
    }
    return true;
}

bool parsePclr(const uint8_t* p, uint64_t n, Jp2Header& h, std::string& why) {
    if (n < 3) return false;
    Palette& pal = h.palette;
    pal.entries = int(be16(p));
    pal.columns = p[2];
    if (pal.entries < 1 || pal.entries > 1024 || pal.columns < 1) {
        why = "palette with " + std::to_string(pal.entries) + " entries and " + std::to_string(pal.columns) +
              " columns";
        return false;
    }
    if (n < 3u + pal.columns) return false;
    size_t entryBytes = 0;
    for (int c = 0; c < pal.columns; ++c) {
        int bits = (p[3 + c] & 0x7F) + 1;
        if (bits > 31) {
            why = "palette column of " + std::to_string(bits) + " bits";
            return false;
        }
        pal.bits.push_back(bits);
        pal.isSigned.push_back((p[3 + c] & 0x80) != 0);
        entryBytes += size_t(bits + 7) / 8;
    }
    const uint8_t* q = p + 3 + pal.columns;
    if (n - 3 - pal.columns < uint64_t(entryBytes) * pal.entries) return false;
    pal.values.resize(size_t(pal.entries) * pal.columns);
    for (int e = 0; e < pal.entries; ++e) {
        for (int c = 0; c < pal.columns; ++c) {
            int bytes = (pal.bits[c] + 7) / 8;
            uint64_t v = 0;
            for (int k = 0; k < bytes; ++k) v = v << 8 | *q++;
            int bits = pal.bits[c];
            v &= (uint64_t(1) << bits) - 1;
            // Stored as the unsigned value the adapter delivers: signed
            // entries are shifted up by half the range.
            int64_t s = int64_t(v);
            if (pal.isSigned[c]) {
                if (v >> (bits - 1)) s -= int64_t(1) << bits;
                s += int64_t(1) << (bits - 1);
            }
            pal.values[size_t(e) * pal.columns + c] = s;
        }
    }
    h.hasPalette = true;
    return true;
}

bool parseCmap(const uint8_t* p, uint64_t n, Jp2Header& h) {
    if (n == 0 || n % 4 != 0 || !h.mapping.empty()) return false;
    for (uint64_t i = 0; i < n; i += 4) {
        ComponentMapping m;
        m.component = int(be16(p + i));
        int type = p[i + 2];
        if (type > 1) return false;
        m.paletteColumn = type == 1 ? int(p[i + 3]) : -1;
        h.mapping.push_back(m);
    }
    return true;
}

bool parseCdef(const uint8_t* p, uint64_t n, Jp2Header& h) {
    if (n < 2 || !h.definitions.empty()) return false;
    uint32_t count = be16(p);
    if (count == 0 || n != 2 + 6ull * count) return false;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = p + 2 + 6 * i;
        h.definitions.push_back({int(be16(e)), int(be16(e + 2)), int(be16(e + 4))});
    }
    return true;
}

Status parseHeaderBox(int fd, const Box& jp2h, Jp2Header& h, std::string& why) {
    if (jp2h.length > kMaxHeaderBoxBytes) {
        why = "JP2 header box of " + std::to_string(jp2h.length) + " bytes";
        return Status::TooLarge;
    }
    std::vector<uint8_t> bytes(jp2h.length);
    if (readAt(fd, jp2h.payload, bytes.data(), bytes.size()) != bytes.size()) {
        why = "truncated JP2 header box";
        return Status::Corrupt;
    }
    // Child boxes are parsed from memory; lengths are checked against the
    // parent before any contents are touched.
    uint64_t off = 0;
    bool sawIhdr = false;
    while (off < bytes.size()) {
        uint64_t rest = bytes.size() - off;
        if (rest < 8) break;
        uint64_t length = be32(&bytes[off]);
        uint32_t type = be32(&bytes[off + 4]);
        uint64_t headerBytes = 8;
        if (length == 1) {
            if (rest < 16) break;
            length = be64(&bytes[off + 8]);
            headerBytes = 16;
        } else if (length == 0) {
            length = rest;
        }
        if (length < headerBytes || length > rest) {
            why = "the box at byte " + std::to_string(jp2h.payload + off) + " inside the JP2 header claims " +
                  std::to_string(length) + " bytes where the header holds " + std::to_string(rest);
            return Status::Corrupt;
        }
        const uint8_t* payload = &bytes[off + headerBytes];
        uint64_t n = length - headerBytes;
        bool ok = true;
        if (type == boxType("ihdr")) {
            sawIhdr = n >= 14;
            ok = sawIhdr;
        } else if (type == boxType("colr")) {
            ok = parseColr(payload, n, h);
        } else if (type == boxType("pclr")) {
            ok = !h.hasPalette && parsePclr(payload, n, h, why);
        } else if (type == boxType("cmap")) {
            ok = parseCmap(payload, n, h);
        } else if (type == boxType("cdef")) {
            ok = parseCdef(payload, n, h);
        }
        if (!ok) {
            const char name[5] = {char(type >> 24), char(type >> 16), char(type >> 8), char(type), 0};
            std::string detail = why.empty() ? std::to_string(n) + " bytes" : why;
            why = "malformed '" + std::string(name) + "' box in the JP2 header (" + detail + ")";
            return Status::Corrupt;
        }
        off += length;
    }
    if (!sawIhdr) {
        why = "JP2 header without an image header box";
        return Status::Corrupt;
    }
    return Status::Ok;
}

}  // namespace

Container sniff(const uint8_t* b, size_t n) {
    if (n >= 12 && std::memcmp(b, kJp2Signature, 12) == 0) return Container::Jp2;
    if (n >= 4 && b[0] == 0xFF && b[1] == 0x4F && b[2] == 0xFF && b[3] == 0x51) return Container::Codestream;
    // ECW main header: 'e', format version, blocking and compression format,
    // level count, sideband count, then width and height (32 bits), band
    // count, scale factor and block sizes (16 bits), all big-endian.
    if (n >= 22 && b[0] == 'e' && b[1] >= 1 && b[1] <= 3 && b[4] >= 1 && be32(b + 6) >= 1 && be32(b + 10) >= 1 &&
        be16(b + 14) >= 1 && be16(b + 16) != 0 && be16(b + 18) >= 1 && be16(b + 20) >= 1)
        return Container::Ecw;
    return Container::None;
}

size_t readAt(int fd, uint64_t offset, void* buffer, size_t n) {
    size_t done = 0;
    while (done < n) {
        ssize_t got = ::pread(fd, static_cast<uint8_t*>(buffer) + done, n - done, off_t(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += size_t(got);
    }
    return done;
}

Status parseJp2(int fd, uint64_t fileSize, Jp2Header& h, std::string& why) {
    uint64_t off = 0;
    bool sawHeader = false;
    // A JP2 file is a short list of top-level boxes; the walk stops at the
    // first codestream box, and every step moves forward by a checked length.
    while (off < fileSize) {
        Box box;
        if (!readBox(fd, off, fileSize, box)) {
            why = "the box at byte " + std::to_string(off) + " is cut short or runs past the end of the file";
            return Status::Corrupt;
        }
        if (box.type == boxType("jp2h")) {
            if (sawHeader) {
                why = "two JP2 header boxes";
                return Status::Corrupt;
            }
            Status s = parseHeaderBox(fd, box, h, why);
            if (s != Status::Ok) return s;
            sawHeader = true;
        } else if (box.type == boxType("jp2c")) {
            if (!sawHeader) {
                why = "codestream before the JP2 header box";
                return Status::Corrupt;
            }
            h.codestreamOffset = box.payload;
            h.codestreamLength = box.length;
            return Status::Ok;
        }
        off = box.payload + box.length;
    }
    why = sawHeader ? "no codestream box after the JP2 header" : "no JP2 header box";
    return Status::Corrupt;
}

Status parseSiz(int fd, uint64_t offset, uint64_t length, Siz& siz, std::string& why) {
    uint8_t head[42];
    if (length < sizeof head || readAt(fd, offset, head, sizeof head) != sizeof head) {
        why = "codestream too short for its main header";
        return Status::Corrupt;
    }
    if (be16(head) != 0xFF4F || be16(head + 2) != 0xFF51) {
        why = "codestream does not start with SOC and SIZ markers";
        return Status::Corrupt;
    }
    uint32_t lsiz = be16(head + 4);
    uint32_t components = be16(head + 40);
    if (components < 1 || components > 16384 || lsiz != 38 + 3 * components) {
        why = "SIZ segment with " + std::to_string(components) + " components and length " + std::to_string(lsiz);
        return Status::Corrupt;
    }
    siz.x1 = be32(head + 8);
    siz.y1 = be32(head + 12);
    siz.x0 = be32(head + 16);
    siz.y0 = be32(head + 20);
    siz.tileWidth = be32(head + 24);
    siz.tileHeight = be32(head + 28);
    siz.tileX0 = be32(head + 32);
    siz.tileY0 = be32(head + 36);
    auto point = [](uint32_t x, uint32_t y) { return "(" + std::to_string(x) + ", " + std::to_string(y) + ")"; };
    if (siz.x1 <= siz.x0 || siz.y1 <= siz.y0) {
        why = "SIZ gives an empty image, from " + point(siz.x0, siz.y0) + " to " + point(siz.x1, siz.y1);
        return Status::Corrupt;
    }
    if (siz.tileWidth == 0 || siz.tileHeight == 0) {
        why = "SIZ gives tiles of " + std::to_string(siz.tileWidth) + " x " + std::to_string(siz.tileHeight) + " pixels";
        return Status::Corrupt;
    }
    if (siz.tileX0 > siz.x0 || siz.tileY0 > siz.y0 || uint64_t(siz.tileX0) + siz.tileWidth <= siz.x0 ||
        uint64_t(siz.tileY0) + siz.tileHeight <= siz.y0) {
        why = "SIZ puts the first tile of " + std::to_string(siz.tileWidth) + " x " + std::to_string(siz.tileHeight) +
              " pixels at " + point(siz.tileX0, siz.tileY0) + ", where it does not hold the image origin " +
              point(siz.x0, siz.y0);
        return Status::Corrupt;
    }
    // Window decodes pass reference-grid coordinates as 32-bit signed values.
    if (siz.x1 > uint32_t(INT32_MAX) || siz.y1 > uint32_t(INT32_MAX)) {
        why = "the image claims " + std::to_string(siz.x1 - siz.x0) + " x " + std::to_string(siz.y1 - siz.y0) +
              " pixels reaching " + point(siz.x1, siz.y1) + " on the reference grid; beyond 2^31 - 1 it cannot be decoded";
        return Status::TooLarge;
    }
    uint64_t tilesX = uint64_t(ceilDiv(int64_t(siz.x1) - siz.tileX0, siz.tileWidth));
    uint64_t tilesY = uint64_t(ceilDiv(int64_t(siz.y1) - siz.tileY0, siz.tileHeight));
    if (tilesX * tilesY > 65535) {
        why = std::to_string(tilesX * tilesY) + " tiles (a codestream holds at most 65535)";
        return Status::Corrupt;
    }
    siz.tilesX = uint32_t(tilesX);
    siz.tilesY = uint32_t(tilesY);
    std::vector<uint8_t> comps(3 * components);
    if (length < 42 + comps.size() || readAt(fd, offset + 42, comps.data(), comps.size()) != comps.size()) {
        why = "truncated SIZ segment";
        return Status::Corrupt;
    }
    for (uint32_t c = 0; c < components; ++c) {
        SizComponent sc;
        sc.precision = (comps[3 * c] & 0x7F) + 1;
        sc.isSigned = (comps[3 * c] & 0x80) != 0;
        sc.dx = comps[3 * c + 1];
        sc.dy = comps[3 * c + 2];
        if (sc.precision > 31 || sc.dx == 0 || sc.dy == 0) {
            why = "component " + std::to_string(c) + " with " + std::to_string(sc.precision) +
                  " bits and sampling " + std::to_string(sc.dx) + " x " + std::to_string(sc.dy);
            return Status::Corrupt;
        }
        siz.components.push_back(sc);
    }
    return Status::Ok;
}

}  // namespace detail

Reader identify(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Reader::None;
    uint8_t head[32];
    size_t n = detail::readAt(fd, 0, head, sizeof head);
    ::close(fd);
    switch (detail::sniff(head, n)) {
    case detail::Container::Jp2:
    case detail::Container::Codestream:
        return Reader::Jpeg2000;
    case detail::Container::Ecw:
        return Reader::Ecw;
    case detail::Container::None:
        break;
    }
    return Reader::None;
}

}  // namespace korvalith::codec
