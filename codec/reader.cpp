// Reading JPEG 2000 files by view.
//
// A tiled file keeps one OpenJPEG codec that decodes whole codestream tiles
// (opj_get_decoded_tile may be called again and again on one codec; the
// resolution factor is set before each tile whose level differs from the
// last, which gives the same samples as a codec kept per level, measured on
// the benchmark files, at one parsed header per file); decoded tiles go into
// the shared cache as compact cells, and views are cut from them. A file of a
// single tile is read by window decodes, each with a fresh codec, because a
// codec cannot decode a second window. JP2 files are decoded through their
// codestream box; the colour plan (colour.cpp) turns components into the
// delivered bands on every path.

#include "internal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>

namespace korvalith::codec {
namespace {

using namespace detail;

std::atomic<uint64_t> nextFileId{1};

// Window decodes of a single-tile file are done in strips of about this size.
constexpr uint64_t kStripBytes = 64ull << 20;

// Geometry of one resolution level.
struct Level {
    bool ready = false;
    int64_t originX = 0, originY = 0;  // absolute coordinates of the image's first pixel
    int64_t width = 0, height = 0;
    std::vector<int64_t> colStarts, rowStarts;  // absolute tile starts, plus the end
    uint64_t maxBlockBytes = 0;
};

// A rectangle of the reference grid, [x0, x1) x [y0, y1).
struct Area {
    int64_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// The codec that decodes whole tiles, at the reduction last set.
struct TileDecoder {
    StreamPtr stream;
    ImagePtr image;
    CodecPtr codec;
    int reduction = 0;
    void reset() {
        codec.reset();
        image.reset();
        stream.reset();
    }
};

struct View {
    bool active = false;
    std::vector<int> bands;
    int width = 0, height = 0;
    int64_t x0 = 0, y0 = 0, spanX = 0, spanY = 0;  // file rectangle start and size
    int reduction = 0;
    bool average = false;
    bool strips = false;  // window decodes instead of whole tiles
    int line = 0;
    int64_t lastRow = 0;  // last level row the view needs (relative)
    // Columns: pick mode holds one (slot, local x) per output pixel; the
    // averaging mode holds per output pixel a list of runs within slots.
    std::vector<int> slot, local;
    std::vector<int> runStart;  // averaging: runs of pixel i are [runStart[i], runStart[i+1])
    std::vector<int> runSlot, runLocal, runCount;
    std::vector<int> colCount;
    std::vector<uint8_t> slotUsed;
    // Blocks of the level rows being read.
    int firstTileCol = 0;
    int64_t tileRow = -1;
    std::vector<std::shared_ptr<const Block>> blocks;
    int64_t minCol = 0, maxCol = 0;  // relative level columns covered by the view
    std::vector<uint64_t> sums;
};

class Jpeg2000File final : public File {
public:
    ~Jpeg2000File() override {
        view_ = View{};
        tileDecoder_.reset();
        cacheDropFile(id_);
        if (fd_ >= 0) ::close(fd_);
    }

    Status open(const std::string& path);

    const FileInfo& info() const override { return info_; }
    const std::string& path() const override { return path_; }
    const std::string& lastError() const override { return lastError_; }

    Status setView(int bandCount, const int* bands, int width, int height, int x0, int y0, int x1,
                   int y1) override;
    Status readLine(uint8_t** lines) override { return readLineAs(lines); }
    Status readLine(int16_t** lines) override { return readLineAs(lines); }
    Status readLine(int32_t** lines) override { return readLineAs(lines); }

private:
    // Every reason starts with the path.
    Status fail(Status s, const std::string& what) {
        lastError_ = path_ + ": " + what;
        return s;
    }
    // A failure of OpenJPEG, with the first error it reported.
    Status failDecode(Status s, const std::string& what) {
        std::string why = what;
        if (!sink_.firstError.empty()) why += ": " + sink_.firstError;
        sink_.firstError.clear();
        return fail(s, why);
    }

    void fillInfo(const Jp2Header* jp2);
    Level& level(int r);
    Status makeDecoder(int r, CodecPtr& codec, StreamPtr& stream, ImagePtr& image);
    Status toBlock(const opj_image_t* image, int r, const Area& decoded, const Area& wanted, Block& block);
    Status decodeTile(int r, uint32_t tile, std::shared_ptr<const Block>& out);
    Status decodeStrip(int r, int64_t absRow, int64_t rows, std::shared_ptr<const Block>& out);
    Status ensureRow(int64_t row);
    const uint32_t* lut(int kind, int precision);
    template <class Out>
    Status readLineAs(Out** lines);
    template <class S, class Out>
    Status readRows(Out** lines, int64_t rowA, int64_t rowB);

    std::string path_;
    FileInfo info_;
    std::string lastError_;
    MessageSink sink_;
    int fd_ = -1;
    uint64_t id_ = nextFileId.fetch_add(1);
    uint64_t csBase_ = 0, csLength_ = 0;
    Siz siz_;
    int maxReduce_ = 0;
    bool tiled_ = false;
    ColourPlan plan_;
    int cellBytes_ = 1;
    std::vector<Level> levels_;
    TileDecoder tileDecoder_;
    View view_;
    std::vector<uint32_t> luts_[3][17];
};

Status Jpeg2000File::open(const std::string& path) {
    path_ = path;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        int e = errno;
        return fail(e == ENOENT || e == ENOTDIR ? Status::FileNotFound : Status::FileOpenFailed, std::strerror(e));
    }
    if (S_ISDIR(st.st_mode)) return fail(Status::FileOpenFailed, "this is a directory");
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return fail(Status::FileOpenFailed, std::strerror(errno));
    uint64_t fileSize = uint64_t(st.st_size);

    uint8_t head[32];
    size_t n = readAt(fd_, 0, head, sizeof head);
    Jp2Header jp2;
    std::string why;
    switch (sniff(head, n)) {
    case Container::Ecw:
        info_.reader = Reader::Ecw;
        return fail(Status::EcwNotSupported, "an ECW file; this build has no ECW codec");
    case Container::None:
        return fail(Status::UnknownFormat, "neither a JPEG 2000 nor an ECW file");
    case Container::Jp2:
        if (Status s = parseJp2(fd_, fileSize, jp2, why); s != Status::Ok) return fail(s, why);
        csBase_ = jp2.codestreamOffset;
        csLength_ = jp2.codestreamLength;
        break;
    case Container::Codestream:
        csBase_ = 0;
        csLength_ = fileSize;
        break;
    }
    if (Status s = parseSiz(fd_, csBase_, csLength_, siz_, why); s != Status::Ok) return fail(s, why);
    // Before OpenJPEG parses anything: what the headers claim must be
    // decodable in bounded memory.
    int fewestResolutions = 0;
    if (Status s = checkDecoderCost(fd_, csBase_, csLength_, siz_, fewestResolutions, why); s != Status::Ok)
        return fail(s, why);
    tiled_ = uint64_t(siz_.tilesX) * siz_.tilesY > 1;

    CodecPtr codec;
    StreamPtr stream;
    ImagePtr image;
    if (Status s = makeDecoder(0, codec, stream, image); s != Status::Ok) return s;
    // OpenJPEG's view of the header must agree with the one checked above.
    if (image->numcomps != siz_.components.size() || image->x0 != siz_.x0 || image->y0 != siz_.y0 ||
        image->x1 != siz_.x1 || image->y1 != siz_.y1)
        return fail(Status::Corrupt, "OpenJPEG reads the main header differently (image size or components)");
    opj_codestream_info_v2_t* cs = opj_get_cstr_info(codec.get());
    if (!cs) return fail(Status::OutOfMemory, "no memory for the codestream information");
    bool consistent = cs->tw == siz_.tilesX && cs->th == siz_.tilesY && cs->tdx == siz_.tileWidth &&
                      cs->tdy == siz_.tileHeight;
    uint32_t resolutions = 33;
    if (cs->m_default_tile_info.tccp_info) {
        for (uint32_t c = 0; c < cs->nbcomps; ++c)
            resolutions = std::min(resolutions, cs->m_default_tile_info.tccp_info[c].numresolutions);
    } else {
        resolutions = 1;
    }
    opj_destroy_cstr_info(&cs);
    // A tile may have fewer levels than the main header gives; no view asks
    // a tile for more than it has.
    if (fewestResolutions > 0) resolutions = std::min(resolutions, uint32_t(fewestResolutions));
    if (!consistent || resolutions < 1)
        return fail(Status::Corrupt, "OpenJPEG reads the main header differently (tiles or resolution levels)");
    maxReduce_ = int(resolutions) - 1;

    const Jp2Header* colour = csBase_ > 0 ? &jp2 : nullptr;
    if (Status s = buildColourPlan(siz_, colour, plan_, why); s != Status::Ok) return fail(s, why);
    cellBytes_ = plan_.cellBytes;
    levels_.resize(size_t(maxReduce_) + 1);
    if (tiled_) {
        // The parsed header becomes the tile decoder.
        tileDecoder_.codec = std::move(codec);
        tileDecoder_.stream = std::move(stream);
        tileDecoder_.image = std::move(image);
    }
    fillInfo(colour);
    uint64_t raw = 0;
    for (const DeliveredBand& b : plan_.bands) raw += b.precision <= 8 ? 1 : b.precision <= 16 ? 2 : 4;
    raw *= uint64_t(info_.width) * uint64_t(info_.height);
    info_.compressionRate = int(std::clamp<uint64_t>((raw + fileSize / 2) / std::max<uint64_t>(fileSize, 1), 1,
                                                     uint64_t(INT_MAX)));
    return Status::Ok;
}

void Jpeg2000File::fillInfo(const Jp2Header* jp2) {
    const auto& bands = plan_.bands;
    info_.reader = Reader::Jpeg2000;
    info_.width = int(siz_.x1 - siz_.x0);
    info_.height = int(siz_.y1 - siz_.y0);
    info_.bands = int(bands.size());
    int maxPrecision = 1;
    for (const DeliveredBand& b : bands) maxPrecision = std::max(maxPrecision, b.precision);
    info_.cellType = maxPrecision <= 8 ? 0 : 1;
    info_.precision = bands.empty() ? 8 : bands[0].precision;
    info_.isSigned = !bands.empty() && bands[0].isSigned;
    info_.hasIccProfile = jp2 && jp2->iccProfileBytes > 0;
    info_.iccProfileBytes = jp2 ? jp2->iccProfileBytes : 0;
    info_.resolutionLevels = maxReduce_ + 1;
    info_.tilesX = int(siz_.tilesX);
    info_.tilesY = int(siz_.tilesY);
    info_.tileWidth = tiled_ ? int(std::min<uint64_t>(siz_.tileWidth, INT_MAX)) : info_.width;
    info_.tileHeight = tiled_ ? int(std::min<uint64_t>(siz_.tileHeight, INT_MAX)) : info_.height;
}

Level& Jpeg2000File::level(int r) {
    Level& l = levels_[size_t(r)];
    if (l.ready) return l;
    l.originX = ceilDivPow2(siz_.x0, r);
    l.originY = ceilDivPow2(siz_.y0, r);
    l.width = ceilDivPow2(siz_.x1, r) - l.originX;
    l.height = ceilDivPow2(siz_.y1, r) - l.originY;
    auto starts = [r](std::vector<int64_t>& v, uint32_t count, int64_t t0, int64_t size, int64_t first, int64_t end) {
        v.resize(size_t(count) + 1);
        v[0] = ceilDivPow2(first, r);
        for (uint32_t t = 1; t < count; ++t) v[t] = ceilDivPow2(t0 + int64_t(t) * size, r);
        v[count] = ceilDivPow2(end, r);
    };
    starts(l.colStarts, siz_.tilesX, siz_.tileX0, siz_.tileWidth, siz_.x0, siz_.x1);
    starts(l.rowStarts, siz_.tilesY, siz_.tileY0, siz_.tileHeight, siz_.y0, siz_.y1);
    int64_t maxW = 0, maxH = 0;
    for (size_t t = 0; t + 1 < l.colStarts.size(); ++t) maxW = std::max(maxW, l.colStarts[t + 1] - l.colStarts[t]);
    for (size_t t = 0; t + 1 < l.rowStarts.size(); ++t) maxH = std::max(maxH, l.rowStarts[t + 1] - l.rowStarts[t]);
    uint64_t perPixel = uint64_t(siz_.components.size()) * 4 + plan_.bands.size() * uint64_t(cellBytes_);
    // Saturating: tile sizes up to 2^32 on each side must not wrap around.
    unsigned __int128 bytes = static_cast<unsigned __int128>(uint64_t(maxW) * uint64_t(maxH)) * perPixel;
    l.maxBlockBytes = bytes > UINT64_MAX ? UINT64_MAX : uint64_t(bytes);
    l.ready = true;
    return l;
}

Status Jpeg2000File::makeDecoder(int r, CodecPtr& codec, StreamPtr& stream, ImagePtr& image) {
    image.reset();
    sink_.firstError.clear();
    codec.reset(opj_create_decompress(OPJ_CODEC_J2K));
    stream.reset(makeReadStream(fd_, csBase_, csLength_));
    if (!codec || !stream) return fail(Status::OutOfMemory, "no memory for a decoder");
    installHandlers(codec.get(), &sink_);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    if (!opj_setup_decoder(codec.get(), &parameters)) return failDecode(Status::DecodeFailed, "decoder set-up failed");
    opj_image_t* header = nullptr;
    if (!opj_read_header(stream.get(), codec.get(), &header)) {
        opj_image_destroy(header);
        return failDecode(Status::Corrupt, "the codestream header cannot be read");
    }
    image.reset(header);
    if (r > 0 && !opj_set_decoded_resolution_factor(codec.get(), OPJ_UINT32(r)))
        return failDecode(Status::DecodeFailed, "resolution level " + std::to_string(r) + " cannot be decoded");
    return Status::Ok;
}

// The block covers `wanted`; the image holds the components of `decoded`,
// which may start earlier so that it holds the whole cell of every
// subsampled component the block shows.
Status Jpeg2000File::toBlock(const opj_image_t* image, int r, const Area& decoded, const Area& wanted, Block& block) {
    block.x0 = ceilDivPow2(wanted.x0, r);
    block.y0 = ceilDivPow2(wanted.y0, r);
    int64_t w = ceilDivPow2(wanted.x1, r) - block.x0;
    int64_t h = ceilDivPow2(wanted.y1, r) - block.y0;
    if (!image || image->numcomps != siz_.components.size() || w <= 0 || h <= 0)
        return fail(Status::DecodeFailed, "OpenJPEG returned an image of another shape than its header");
    // Every component must come back with exactly the size its sampling
    // gives; anything else would be read out of bounds.
    for (const SourceChannel& ch : plan_.channels) {
        const opj_image_comp_t& comp = image->comps[ch.component];
        const SizComponent& sc = siz_.components[size_t(ch.component)];
        int64_t cw = ceilDivPow2(ceilDiv(decoded.x1, sc.dx), r) - ceilDivPow2(ceilDiv(decoded.x0, sc.dx), r);
        int64_t ch_ = ceilDivPow2(ceilDiv(decoded.y1, sc.dy), r) - ceilDivPow2(ceilDiv(decoded.y0, sc.dy), r);
        if (!comp.data || int64_t(comp.w) != cw || int64_t(comp.h) != ch_ || cw <= 0 || ch_ <= 0 ||
            int(comp.prec) != sc.precision)
            return fail(Status::DecodeFailed, "OpenJPEG returned component " + std::to_string(ch.component) + " as " +
                                                  std::to_string(comp.w) + " x " + std::to_string(comp.h) +
                                                  " samples where its sampling gives " + std::to_string(cw) + " x " +
                                                  std::to_string(ch_));
    }
    block.width = int(w);
    block.height = int(h);
    block.bands = int(plan_.bands.size());
    block.cellBytes = cellBytes_;
    block.data.reset(new uint8_t[block.bytes()]);
    fillBlock(plan_, siz_, *image, r, decoded.x0, decoded.y0, block);
    return Status::Ok;
}

void releaseSamples(opj_image_t* image) {
    for (OPJ_UINT32 c = 0; image && c < image->numcomps; ++c) {
        opj_image_data_free(image->comps[c].data);
        image->comps[c].data = nullptr;
    }
}

Status Jpeg2000File::decodeTile(int r, uint32_t tile, std::shared_ptr<const Block>& out) {
    TileDecoder& d = tileDecoder_;
    if (!d.codec) {
        if (Status s = makeDecoder(r, d.codec, d.stream, d.image); s != Status::Ok) {
            d.reset();
            return s;
        }
        d.reduction = r;
    }
    sink_.firstError.clear();
    if (d.reduction != r) {
        if (!opj_set_decoded_resolution_factor(d.codec.get(), OPJ_UINT32(r))) {
            d.reset();
            return failDecode(Status::DecodeFailed, "resolution level " + std::to_string(r) + " cannot be decoded");
        }
        d.reduction = r;
    }
    if (!opj_get_decoded_tile(d.codec.get(), d.stream.get(), d.image.get(), tile)) {
        // The codec's state is unknown after a failure: start afresh next time.
        d.reset();
        return failDecode(Status::DecodeFailed, "codestream tile " + std::to_string(tile) + " cannot be decoded");
    }
    uint32_t tx = tile % siz_.tilesX, ty = tile / siz_.tilesX;
    Area tileArea;
    tileArea.x0 = std::max<int64_t>(int64_t(siz_.tileX0) + int64_t(tx) * siz_.tileWidth, siz_.x0);
    tileArea.y0 = std::max<int64_t>(int64_t(siz_.tileY0) + int64_t(ty) * siz_.tileHeight, siz_.y0);
    tileArea.x1 = std::min<int64_t>(int64_t(siz_.tileX0) + int64_t(tx + 1) * siz_.tileWidth, siz_.x1);
    tileArea.y1 = std::min<int64_t>(int64_t(siz_.tileY0) + int64_t(ty + 1) * siz_.tileHeight, siz_.y1);
    auto block = std::make_shared<Block>();
    Status s = toBlock(d.image.get(), r, tileArea, tileArea, *block);
    releaseSamples(d.image.get());
    if (s != Status::Ok) return s;
    noteDecoded(block->bytes());
    out = std::move(block);
    return Status::Ok;
}

Status Jpeg2000File::decodeStrip(int r, int64_t absRow, int64_t rows, std::shared_ptr<const Block>& out) {
    Level& l = level(r);
    // Tiles too large to decode whole are read by windows; the tile decoder's
    // parsed header is given back first, so a file never holds two.
    tileDecoder_.reset();
    CodecPtr codec;
    StreamPtr stream;
    ImagePtr image;
    if (Status s = makeDecoder(r, codec, stream, image); s != Status::Ok) return s;
    Area wanted;
    wanted.x0 = std::max<int64_t>(siz_.x0, (l.originX + view_.minCol) << r);
    wanted.x1 = std::min<int64_t>(siz_.x1, (l.originX + view_.maxCol + 1) << r);
    wanted.y0 = std::max<int64_t>(siz_.y0, absRow << r);
    wanted.y1 = std::min<int64_t>(siz_.y1, (absRow + rows) << r);
    // Level pixel X shows sample floor(X / dx) of a subsampled component:
    // the window starts early enough to hold it.
    Area decoded = wanted;
    for (const SourceChannel& ch : plan_.channels) {
        const SizComponent& sc = siz_.components[size_t(ch.component)];
        decoded.x0 = std::min(decoded.x0, floorDiv(ceilDivPow2(wanted.x0, r), sc.dx) * sc.dx << r);
        decoded.y0 = std::min(decoded.y0, floorDiv(ceilDivPow2(wanted.y0, r), sc.dy) * sc.dy << r);
    }
    decoded.x0 = std::max<int64_t>(decoded.x0, siz_.x0);
    decoded.y0 = std::max<int64_t>(decoded.y0, siz_.y0);
    if (!opj_set_decode_area(codec.get(), image.get(), OPJ_INT32(decoded.x0), OPJ_INT32(decoded.y0),
                             OPJ_INT32(decoded.x1), OPJ_INT32(decoded.y1)))
        return failDecode(Status::DecodeFailed, "the window cannot be set");
    if (!opj_decode(codec.get(), stream.get(), image.get()))
        return failDecode(Status::DecodeFailed, "the window cannot be decoded");
    auto block = std::make_shared<Block>();
    Status s = toBlock(image.get(), r, decoded, wanted, *block);
    if (s != Status::Ok) return s;
    noteDecoded(block->bytes());
    out = std::move(block);
    return Status::Ok;
}

Status Jpeg2000File::setView(int bandCount, const int* bands, int width, int height, int x0, int y0, int x1,
                             int y1) {
    view_ = View{};
    if (bandCount < 1 || !bands) return fail(Status::InvalidView, "a view needs at least one band");
    for (int i = 0; i < bandCount; ++i)
        if (bands[i] < 0 || bands[i] >= info_.bands)
            return fail(Status::InvalidView, "band " + std::to_string(bands[i]) + " of a file with " +
                                                 std::to_string(info_.bands) + " bands");
    if (width < 1 || height < 1) return fail(Status::InvalidView, "empty view output");
    if (x0 < 0 || y0 < 0 || x0 > x1 || y0 > y1 || x1 >= info_.width || y1 >= info_.height)
        return fail(Status::InvalidView, "the view rectangle (" + std::to_string(x0) + ", " + std::to_string(y0) +
                                             ") to (" + std::to_string(x1) + ", " + std::to_string(y1) +
                                             ") is not inside the image of " + std::to_string(info_.width) + " x " +
                                             std::to_string(info_.height) + " pixels");
    if (uint64_t(width) * uint64_t(bandCount) * 4 > kMaxLineBytes)
        return fail(Status::TooLarge, "view lines of " + std::to_string(width) + " pixels");
    try {
        View v;
        v.bands.assign(bands, bands + bandCount);
        v.width = width;
        v.height = height;
        v.x0 = x0;
        v.y0 = y0;
        v.spanX = int64_t(x1) - x0 + 1;
        v.spanY = int64_t(y1) - y0 + 1;
        // The coarsest level that still gives the output size; what the file
        // lacks in levels is made up by averaging.
        int wanted = 0;
        while (wanted < 62 && (v.spanX >> (wanted + 1)) >= width && (v.spanY >> (wanted + 1)) >= height) ++wanted;
        v.reduction = std::min(wanted, maxReduce_);
        v.average = v.reduction < wanted;
        const int r = v.reduction;
        Level& l = level(r);
        const uint64_t perPixel = uint64_t(siz_.components.size()) * 4 + plan_.bands.size() * uint64_t(cellBytes_);

        // Output pixel i covers the level interval starting at
        // (x0 + i·span/width) / 2^r and takes the pixel at its start.
        auto start = [&](int64_t origin, int64_t span, int64_t n, int64_t i, int64_t limit) {
            int64_t s = (origin * n + i * span) / (n << r);
            return std::min(s, limit);
        };
        v.minCol = start(v.x0, v.spanX, width, 0, l.width - 1);
        int64_t endCol = v.average ? std::min(start(v.x0, v.spanX, width, width, l.width), l.width)
                                   : start(v.x0, v.spanX, width, width - 1, l.width - 1) + 1;
        v.maxCol = std::max(endCol - 1, v.minCol);
        v.lastRow = v.average ? std::max(std::min(start(v.y0, v.spanY, height, height, l.height), l.height) - 1,
                                         start(v.y0, v.spanY, height, height - 1, l.height - 1))
                              : start(v.y0, v.spanY, height, height - 1, l.height - 1);

        // Which block (slot) and which column of it each level column is.
        int lastTileCol = 0;
        // Tiles too large to hold decoded are read by windows, like a file
        // of a single tile.
        v.strips = !tiled_ || l.maxBlockBytes > kMaxDecodeBytes;
        if (!v.strips) {
            auto tileOf = [&](int64_t col) {
                return int(std::upper_bound(l.colStarts.begin(), l.colStarts.end(), l.originX + col) -
                           l.colStarts.begin()) - 1;
            };
            v.firstTileCol = tileOf(v.minCol);
            lastTileCol = tileOf(v.maxCol);
        } else if (uint64_t(v.maxCol - v.minCol + 1) * perPixel > kMaxDecodeBytes) {
            return fail(Status::TooLarge, "window rows of " + std::to_string(v.maxCol - v.minCol + 1) + " pixels");
        }
        const int slots = lastTileCol - v.firstTileCol + 1;
        v.slotUsed.assign(size_t(slots), 0);
        int tc = v.firstTileCol;
        auto locate = [&](int64_t col, int& slot, int& local) {
            if (v.strips) {
                slot = 0;
                local = int(col - v.minCol);
                return;
            }
            int64_t abs = l.originX + col;
            while (tc + 1 < int(l.colStarts.size()) - 1 && l.colStarts[size_t(tc) + 1] <= abs) ++tc;
            slot = tc - v.firstTileCol;
            local = int(abs - l.colStarts[size_t(tc)]);
        };
        if (!v.average) {
            v.slot.resize(size_t(width));
            v.local.resize(size_t(width));
            for (int i = 0; i < width; ++i) {
                int64_t col = start(v.x0, v.spanX, width, i, l.width - 1);
                locate(col, v.slot[size_t(i)], v.local[size_t(i)]);
                v.slotUsed[size_t(v.slot[size_t(i)])] = 1;
            }
        } else {
            v.runStart.push_back(0);
            v.colCount.resize(size_t(width));
            for (int i = 0; i < width; ++i) {
                int64_t a = start(v.x0, v.spanX, width, i, l.width - 1);
                int64_t b = std::max(a + 1, std::min(start(v.x0, v.spanX, width, i + 1, l.width), l.width));
                v.colCount[size_t(i)] = int(b - a);
                for (int64_t c = a; c < b; ++c) {
                    int slot, local;
                    locate(c, slot, local);
                    if (c > a && v.runSlot.back() == slot) {
                        ++v.runCount.back();
                    } else {
                        v.runSlot.push_back(slot);
                        v.runLocal.push_back(local);
                        v.runCount.push_back(1);
                    }
                    v.slotUsed[size_t(slot)] = 1;
                }
                v.runStart.push_back(int(v.runSlot.size()));
            }
            v.sums.resize(size_t(width) * size_t(bandCount));
        }
        v.blocks.resize(size_t(slots));
        v.active = true;
        view_ = std::move(v);
    } catch (const std::bad_alloc&) {
        view_ = View{};
        return fail(Status::OutOfMemory, "no memory for the view");
    }
    return Status::Ok;
}

Status Jpeg2000File::ensureRow(int64_t row) {
    Level& l = level(view_.reduction);
    int64_t abs = l.originY + row;
    if (!view_.strips) {
        if (view_.tileRow >= 0 && abs >= l.rowStarts[size_t(view_.tileRow)] &&
            abs < l.rowStarts[size_t(view_.tileRow) + 1])
            return Status::Ok;
        int64_t tr = (std::upper_bound(l.rowStarts.begin(), l.rowStarts.end(), abs) - l.rowStarts.begin()) - 1;
        view_.tileRow = -1;
        for (auto& b : view_.blocks) b.reset();
        for (size_t slot = 0; slot < view_.blocks.size(); ++slot) {
            if (!view_.slotUsed[slot]) continue;
            uint32_t tile = uint32_t(tr) * siz_.tilesX + uint32_t(view_.firstTileCol) + uint32_t(slot);
            BlockKey key{id_, uint32_t(view_.reduction), tile};
            std::shared_ptr<const Block> block = cacheFind(key);
            if (!block) {
                if (Status s = decodeTile(view_.reduction, tile, block); s != Status::Ok) return s;
                cacheInsert(key, block);
            }
            view_.blocks[slot] = std::move(block);
        }
        view_.tileRow = tr;
        return Status::Ok;
    }
    const auto& strip = view_.blocks[0];
    if (strip && abs >= strip->y0 && abs < strip->y0 + strip->height) return Status::Ok;
    view_.blocks[0].reset();
    uint64_t perRow = uint64_t(view_.maxCol - view_.minCol + 1) *
                      (uint64_t(siz_.components.size()) * 4 + plan_.bands.size() * uint64_t(cellBytes_));
    int64_t rows = std::max<int64_t>(1, int64_t(kStripBytes / perRow));
    rows = std::min(rows, view_.lastRow - row + 1);
    return decodeStrip(view_.reduction, abs, rows, view_.blocks[0]);
}

const uint32_t* Jpeg2000File::lut(int kind, int precision) {
    std::vector<uint32_t>& table = luts_[kind][precision];
    if (table.empty()) {
        static constexpr uint64_t tops[3] = {255, 32767, 2147483647};
        const uint64_t top = tops[kind];
        const uint64_t max = (uint64_t(1) << precision) - 1;
        table.resize(size_t(max) + 1);
        for (uint64_t v = 0; v <= max; ++v) table[v] = uint32_t((v * top + max / 2) / max);
    }
    return table.data();
}

template <class Out>
constexpr int kindOf() {
    return sizeof(Out) == 1 ? 0 : sizeof(Out) == 2 ? 1 : 2;
}

template <class S, class Out>
Status Jpeg2000File::readRows(Out** lines, int64_t rowA, int64_t rowB) {
    constexpr int kind = kindOf<Out>();
    constexpr uint64_t top = kind == 0 ? 255 : kind == 1 ? 32767 : 2147483647;
    const int nb = int(view_.bands.size());
    const int w = view_.width;
    Level& l = level(view_.reduction);
    // Normalises a stored value of a band to the output range.
    auto normaliser = [&](int band) {
        const int precision = plan_.bands[size_t(band)].precision;
        const uint32_t* table = sizeof(S) < 4 ? lut(kind, precision) : nullptr;
        const uint64_t max = (uint64_t(1) << precision) - 1;
        return [table, max](uint64_t v) {
            return table ? Out(table[v]) : Out((std::min(v, max) * top + max / 2) / max);
        };
    };
    if (!view_.average) {
        if (Status s = ensureRow(rowA); s != Status::Ok) return s;
        const int64_t abs = l.originY + rowA;
        for (int bi = 0; bi < nb; ++bi) {
            const int band = view_.bands[size_t(bi)];
            auto norm = normaliser(band);
            Out* out = lines[bi];
            int i = 0;
            while (i < w) {
                const int slot = view_.slot[size_t(i)];
                const Block& block = *view_.blocks[size_t(slot)];
                const S* src = block.plane<S>(band) + size_t(abs - block.y0) * size_t(block.width);
                for (; i < w && view_.slot[size_t(i)] == slot; ++i) out[i] = norm(src[view_.local[size_t(i)]]);
            }
        }
        return Status::Ok;
    }
    std::fill(view_.sums.begin(), view_.sums.end(), 0);
    for (int64_t row = rowA; row < rowB; ++row) {
        if (Status s = ensureRow(row); s != Status::Ok) return s;
        const int64_t abs = l.originY + row;
        for (int bi = 0; bi < nb; ++bi) {
            const int band = view_.bands[size_t(bi)];
            uint64_t* sums = view_.sums.data() + size_t(bi) * size_t(w);
            for (int i = 0; i < w; ++i) {
                uint64_t sum = 0;
                for (int run = view_.runStart[size_t(i)]; run < view_.runStart[size_t(i) + 1]; ++run) {
                    const Block& block = *view_.blocks[size_t(view_.runSlot[size_t(run)])];
                    const S* src = block.plane<S>(band) + size_t(abs - block.y0) * size_t(block.width) +
                                   view_.runLocal[size_t(run)];
                    for (int k = 0; k < view_.runCount[size_t(run)]; ++k) sum += src[k];
                }
                sums[i] += sum;
            }
        }
    }
    const uint64_t rows = uint64_t(rowB - rowA);
    for (int bi = 0; bi < nb; ++bi) {
        auto norm = normaliser(view_.bands[size_t(bi)]);
        const uint64_t* sums = view_.sums.data() + size_t(bi) * size_t(w);
        Out* out = lines[bi];
        for (int i = 0; i < w; ++i) {
            const uint64_t n = rows * uint64_t(view_.colCount[size_t(i)]);
            out[i] = norm((sums[i] + n / 2) / n);
        }
    }
    return Status::Ok;
}

template <class Out>
Status Jpeg2000File::readLineAs(Out** lines) {
    if (!view_.active || view_.line >= view_.height)
        return fail(Status::NoView, view_.active ? "all lines of the view have been read" : "no view is set");
    if (!lines) return fail(Status::InvalidView, "no line buffers");
    for (size_t b = 0; b < view_.bands.size(); ++b)
        if (!lines[b]) return fail(Status::InvalidView, "no line buffer for band " + std::to_string(b));
    Level& l = level(view_.reduction);
    const int64_t j = view_.line;
    const int64_t n = view_.height, r = view_.reduction;
    int64_t rowA = std::min((view_.y0 * n + j * view_.spanY) / (n << r), l.height - 1);
    int64_t rowB = rowA + 1;
    if (view_.average)
        rowB = std::max(rowA + 1, std::min((view_.y0 * n + (j + 1) * view_.spanY) / (n << r), l.height));
    try {
        Status s;
        switch (cellBytes_) {
        case 1: s = readRows<uint8_t>(lines, rowA, rowB); break;
        case 2: s = readRows<uint16_t>(lines, rowA, rowB); break;
        default: s = readRows<uint32_t>(lines, rowA, rowB); break;
        }
        if (s != Status::Ok) return s;
    } catch (const std::bad_alloc&) {
        return fail(Status::OutOfMemory, "no memory for decoding the view");
    }
    ++view_.line;
    return Status::Ok;
}

}  // namespace

std::unique_ptr<File> File::open(const std::string& path, Status* status, std::string* message) {
    Status s;
    std::string why;
    std::unique_ptr<Jpeg2000File> file;
    try {
        file = std::make_unique<Jpeg2000File>();
        s = file->open(path);
        why = file->lastError();
    } catch (const std::bad_alloc&) {
        s = Status::OutOfMemory;
        why = path + ": out of memory while opening";
    }
    if (status) *status = s;
    if (message) *message = s == Status::Ok ? std::string() : why;
    if (s != Status::Ok) return nullptr;
    return file;
}

}  // namespace korvalith::codec
