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
// line must stay below these. Tiles whose whole decode would take more are
// read by windows, in strips.
constexpr uint64_t kMaxDecodeBytes = 256ull << 20;
constexpr uint64_t kMaxLineBytes = 1ull << 30;
// Until the first release pass sizes it to the free memory, the cache starts
// at the smallest limit that pass would choose.
constexpr uint64_t kDefaultCacheLimit = 32ull << 20;

// What OpenJPEG 2.5.0 holds besides samples, measured with resident memory
// on hand-made codestreams (header only, empty packets; tests/codec):
// - Parsing the main header sets up coding parameters and an index for every
//   tile the SIZ segment claims: about 8.7 KB per tile plus 1.1 KB per tile
//   and component (65280 tiles of one component: 634 MB; of four: 841 MB),
//   whether the tiles exist in the file or not.
// - Reading a tile's header (opj_read_tile_header, which every tile or
//   window decode goes through) sets up every code-block of every precinct
//   of every resolution of that tile, whatever window is asked for: about
//   400 bytes per code-block and 170 per precinct and band (8192 x 8192
//   pixels of one component in one tile: 64 x 64 code-blocks 7 MB, 16 x 16
//   103 MB, 4 x 4 1.6 GB and 8.9 s). The reduction does not change it.
// - Decoding a tile walks every packet (layer x precinct x resolution x
//   component), about 0.1 us each, and its packet iterator allocates two
//   bytes per layer, resolution, component and precinct of the largest
//   resolution (20000 layers of 64-pixel precincts on 8192 x 8192: 42 s,
//   1.2 GB).
// The model adds these up from the headers (code-block and precinct sizes of
// the main header, and of each tile's own COD and COC), with every division
// rounded up: within 2 % of the measures above for large tiles (8192 x 8192
// in 4 x 4 code-blocks: 1609 MB for 1601 measured), high by up to 2.5 times
// for small tiles of many components, never low.
// Its limits: an open file holds one parsed header at a time (a window
// decoder's replaces the tile decoder's) and one tile's state and samples
// while it decodes, so it stays below about 256 + 384 + 256 MB however its
// header lies, and far below for real files (16384 x 8192 RGB in 512 tiles:
// 1.5 MB of index; 16384 x 16384 RGB untiled with 64 x 64 code-blocks: 80 MB
// of tile state). Not counted: OpenJPEG reads the compressed bytes of the
// tile it decodes whole into memory (an untiled file of 48 MB: 56 MB for a
// 64 x 64 window), which only a file that big on disk can ask for.
constexpr uint64_t kDecoderBytesPerTile = 8900;
constexpr uint64_t kDecoderBytesPerTileComponent = 1130;
constexpr uint64_t kDecoderBytesPerCodeBlock = 400;
constexpr uint64_t kDecoderBytesPerPrecinctBand = 170;
constexpr uint64_t kDecoderBytesPerResolution = 256;
constexpr uint64_t kMaxDecoderIndexBytes = 256ull << 20;
constexpr uint64_t kMaxDecoderTileBytes = 384ull << 20;
// About 2 s of packet walking per tile decode; more is refused when the
// codestream has fewer bytes than packets (each packet takes one at least).
constexpr uint64_t kMaxDecoderTilePackets = 16ull << 20;

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

// Enumerated colour spaces of the JP2 colour box ("colr").
constexpr uint32_t kColourCmyk = 12;
constexpr uint32_t kColourSrgb = 16;
constexpr uint32_t kColourGrey = 17;
constexpr uint32_t kColourSycc = 18;
constexpr uint32_t kColourEsycc = 24;

struct Jp2Header {
    uint64_t codestreamOffset = 0;
    uint64_t codestreamLength = 0;
    bool hasColourSpace = false;
    uint32_t enumeratedColourSpace = 0;  // 0 when the colour is given by a profile
    uint32_t iccProfileBytes = 0;        // size of an embedded ICC profile, 0 without one
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

// Refuses (TooLarge, with a reason) a codestream whose decoding would make
// OpenJPEG hold more than the limits above: its tile index, or the state of
// any one tile as the main header and that tile's own headers set it up.
// Sets fewestResolutions to the fewest resolution levels of any tile and
// component (0 when the headers do not say).
Status checkDecoderCost(int fd, uint64_t base, uint64_t length, const Siz& siz, int& fewestResolutions,
                        std::string& why);

// ---- From components to delivered bands -------------------------------------

enum class ColourTransform { None, Sycc, Esycc, Cmyk };

// A channel of the file: a component, or a palette column indexed by one.
struct SourceChannel {
    int component = 0;
    int paletteColumn = -1;
    int precision = 8;
    bool isSigned = false;
};

struct DeliveredBand {
    int channel = -1;  // the source channel, or -1 for a colour converted to RGB
    int precision = 8;
    bool isSigned = false;  // of the file's samples; cells are always unsigned
};

// How a file's components become the bands the adapter delivers: channels in
// colour order, the colour conversion that applies to the first of them, and
// the bands (converted colours first, then the remaining channels).
struct ColourPlan {
    std::vector<SourceChannel> channels;
    ColourTransform transform = ColourTransform::None;
    std::vector<DeliveredBand> bands;
    Palette palette;
    int cellBytes = 1;  // of the largest band precision
};

// jp2 is null for a raw codestream. Returns Ok or Corrupt with a reason.
Status buildColourPlan(const Siz& siz, const Jp2Header* jp2, ColourPlan& plan, std::string& why);

struct Block;
// Fills the cells of a block (geometry, cell size and data set) from a
// decoded image whose components start at the reference-grid point
// (rx0, ry0), decoded at reduction r.
void fillBlock(const ColourPlan& plan, const Siz& siz, const opj_image_t& image, int r, int64_t rx0, int64_t ry0,
               Block& block);

// ---- OpenJPEG glue ---------------------------------------------------------

// Receives OpenJPEG's messages instead of stderr. Keeps the first error since
// it was last cleared: OpenJPEG reports the cause first and then each caller
// on the way out ("Failed to decode tile 1/1").
struct MessageSink {
    std::string firstError;
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
