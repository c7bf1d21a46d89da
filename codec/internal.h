// Pieces shared by the codec's sources: file-format parsing, the OpenJPEG
// glue (streams, message capture) and the process-wide cache of decoded
// blocks. Not part of the public interface.
#pragma once

#include "codec.h"

#include <openjpeg.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvalith::codec::detail {

// Safety limits. A decoded block (one codestream tile or one strip of a
// window decode, counting OpenJPEG's 32-bit samples and our cells) and a view
// line must stay below these.
constexpr uint64_t kMaxDecodeBytes = 1ull << 30;
constexpr uint64_t kMaxLineBytes = 1ull << 30;
// OpenJPEG keeps per-tile coding parameters for every component; refuse
// headers whose tile × component count would make that table absurd.
constexpr uint64_t kMaxTileComponents = 1ull << 18;
// Until the first release pass sizes it to the free memory, the cache starts
// at the smallest limit that pass would choose.
constexpr uint64_t kDefaultCacheLimit = 32ull << 20;

inline int64_t ceilDiv(int64_t a, int64_t b) { return (a + b - 1) / b; }
inline int64_t ceilDivPow2(int64_t a, int r) { return (a + (int64_t(1) << r) - 1) >> r; }
inline int64_t floorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// ---- File formats -------------------------------------------------------

enum class Container { None, Jp2, Codestream, Ecw };

// Classifies a file by its first bytes (at least 16 are looked at when present).
Container sniff(const uint8_t* bytes, size_t n);

// Reads up to n bytes at offset; returns the number read (short at the end).
size_t readAt(int fd, uint64_t offset, void* buffer, size_t n);

struct Palette {
    int entries = 0;
    int columns = 0;
    std::vector<int> bits;          // per column
    std::vector<uint8_t> isSigned;  // per column
    std::vector<int64_t> values;    // entries × columns, row-major (entry, column)
};

struct ComponentMapping {
    int component = 0;
    int paletteColumn = -1;  // -1: the component is used directly
};

struct ChannelDefinition {
    int channel = 0;
    int type = 0;         // 0 colour, 1 opacity, 2 premultiplied opacity, 65535 unspecified
    int association = 0;  // 0 whole image, 1… colour index, 65535 none
};

struct Jp2Header {
    uint64_t codestreamOffset = 0;
    uint64_t codestreamLength = 0;
    bool hasColourSpace = false;
    uint32_t enumeratedColourSpace = 0;  // 0 when the colour is given by a profile
    bool hasPalette = false;
    Palette palette;
    std::vector<ComponentMapping> mapping;  // empty without a cmap box
    std::vector<ChannelDefinition> definitions;
};

// Parses the box structure of a JP2 family file: signature, header box and
// the first contiguous codestream box. Returns Ok or Corrupt/TooLarge with a
// reason.
Status parseJp2(int fd, uint64_t fileSize, Jp2Header& header, std::string& why);

struct SizComponent {
    int precision = 0;
    bool isSigned = false;
    int dx = 1;
    int dy = 1;
};

// The image and tiling parameters of a codestream's SIZ segment.
struct Siz {
    uint32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    uint32_t tileX0 = 0, tileY0 = 0, tileWidth = 0, tileHeight = 0;
    uint32_t tilesX = 0, tilesY = 0;
    std::vector<SizComponent> components;
};

// Checks SOC and parses SIZ from the start of a codestream, refusing sizes
// that the decoder or this adapter cannot handle safely.
Status parseSiz(int fd, uint64_t offset, uint64_t length, Siz& siz, std::string& why);

// ---- OpenJPEG glue ---------------------------------------------------------

// Receives OpenJPEG's messages instead of stderr; keeps the last error.
struct MessageSink {
    std::string lastError;
};
void installHandlers(opj_codec_t* codec, MessageSink* sink);

// A read stream over [base, base + length) of an open descriptor; positions
// are private to the stream, so several streams may share the descriptor.
opj_stream_t* makeReadStream(int fd, uint64_t base, uint64_t length);

struct OpjDeleter {
    void operator()(opj_codec_t* c) const { opj_destroy_codec(c); }
};
struct OpjStreamDeleter {
    void operator()(opj_stream_t* s) const { opj_stream_destroy(s); }
};
struct OpjImageDeleter {
    void operator()(opj_image_t* i) const { opj_image_destroy(i); }
};
using CodecPtr = std::unique_ptr<opj_codec_t, OpjDeleter>;
using StreamPtr = std::unique_ptr<opj_stream_t, OpjStreamDeleter>;
using ImagePtr = std::unique_ptr<opj_image_t, OpjImageDeleter>;

// ---- Decoded blocks and their cache ------------------------------------

// A rectangle of delivered bands at one resolution level, band-sequential,
// each cell holding the unsigned sample value in cellBytes bytes.
struct Block {
    int64_t x0 = 0;  // level coordinates (absolute on the reduced grid)
    int64_t y0 = 0;
    int width = 0;
    int height = 0;
    int bands = 0;
    int cellBytes = 1;
    std::unique_ptr<uint8_t[]> data;

    uint64_t bytes() const { return uint64_t(width) * height * bands * cellBytes; }
    template <class T>
    const T* plane(int band) const {
        return reinterpret_cast<const T*>(data.get()) + size_t(band) * width * height;
    }
    template <class T>
    T* plane(int band) {
        return reinterpret_cast<T*>(data.get()) + size_t(band) * width * height;
    }
};

struct BlockKey {
    uint64_t file = 0;
    uint32_t reduction = 0;
    uint32_t tile = 0;
    bool operator==(const BlockKey&) const = default;
};

// Process-wide, thread-safe, least-recently-used cache of decoded tiles.
std::shared_ptr<const Block> cacheFind(const BlockKey& key);
void cacheInsert(const BlockKey& key, std::shared_ptr<const Block> block);
void cacheDropFile(uint64_t file);
void cacheClear();
// Counts bytes of decoded blocks, for decodedBytes().
void noteDecoded(uint64_t bytes);

}  // namespace korvalith::codec::detail
