// The compression client: writes tiled JPEG 2000 with TLM and PLT markers,
// tile row by tile row, so memory stays bounded by one row of tiles.

#include "internal.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>

namespace korvalith::codec {
namespace {

using namespace detail;
using Clock = std::chrono::steady_clock;

// Tile side used when the client leaves the choice to the adapter. Measured
// on a 16384 x 8192 RGB file (bench/codec): a cold read of one pyramid tile
// (513 x 257 pixels) takes 59 ms with 512-pixel tiles and 166 ms with
// 1024-pixel tiles at full resolution, and the same at reduced levels; the
// compressed sizes are equal.
constexpr int kDefaultTile = 512;
// The automatic pyramid goes down until the coarsest level fits this size.
constexpr int kCoarsestLevel = 256;

struct Output {
    FILE* file = nullptr;
    int error = 0;  // errno of the first failed write
};

OPJ_SIZE_T writeOutput(void* buffer, OPJ_SIZE_T n, void* data) {
    auto* out = static_cast<Output*>(data);
    if (std::fwrite(buffer, 1, n, out->file) != n) {
        if (!out->error) out->error = errno ? errno : EIO;
        return OPJ_SIZE_T(-1);
    }
    return n;
}

OPJ_OFF_T skipOutput(OPJ_OFF_T n, void* data) {
    auto* out = static_cast<Output*>(data);
    if (fseeko(out->file, n, SEEK_CUR) != 0) {
        if (!out->error) out->error = errno;
        return -1;
    }
    return n;
}

OPJ_BOOL seekOutput(OPJ_OFF_T n, void* data) {
    auto* out = static_cast<Output*>(data);
    if (fseeko(out->file, n, SEEK_SET) != 0) {
        if (!out->error) out->error = errno;
        return OPJ_FALSE;
    }
    return OPJ_TRUE;
}

struct Plan {
    OPJ_CODEC_FORMAT format = OPJ_CODEC_JP2;
    int tile = kDefaultTile;
    int levels = 1;
    int tilesX = 1, tilesY = 1;
    int cellBytes = 1;
    bool lossless = true;
    bool colourTransform = false;
    bool alpha = false;
    uint64_t rawBytes = 0;
};

struct Job {
    bool open = false;
    bool ran = false;
    Status failure = Status::Ok;
    std::string error;
    Plan plan;
    std::string path;
    Output output;
    MessageSink sink;
    StreamPtr stream;
    ImagePtr image;
    CodecPtr codec;
    Clock::time_point started;
};

struct ClientRecord : CompressClient {
    Job job;
};

std::mutex registryMutex;
std::unordered_set<const CompressClient*>& registry() {
    static auto* clients = new std::unordered_set<const CompressClient*>;
    return *clients;
}

ClientRecord* record(CompressClient* client) {
    std::lock_guard lock(registryMutex);
    return client && registry().count(client) ? static_cast<ClientRecord*>(client) : nullptr;
}

Status failJob(Job& job, Status s, std::string why) {
    job.error = std::move(why);
    return s;
}

std::string lowerExtension(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

int floorLog2(uint64_t v) {
    int n = -1;
    while (v) {
        v >>= 1;
        ++n;
    }
    return n;
}

Status makePlan(ClientRecord& c, Plan& plan) {
    Job& job = c.job;
    const std::string ext = lowerExtension(c.outputFile);
    if (c.outputFile.empty()) return failJob(job, Status::InvalidParameter, "no output file");
    if (ext == ".ecw")
        return failJob(job, Status::EcwNotSupported, c.outputFile + ": ECW output needs an ECW codec, and this build has none");
    if (ext == ".jp2" || ext == ".jpf" || ext == ".jpx")
        plan.format = OPJ_CODEC_JP2;
    else if (ext == ".j2k" || ext == ".j2c" || ext == ".jpc")
        plan.format = OPJ_CODEC_J2K;
    else
        return failJob(job, Status::UnknownFormat, c.outputFile + ": unknown output extension (use .jp2, .j2k, .j2c or .jpc)");
    if (c.inputBands < 1 || c.inputBands > 16384)
        return failJob(job, Status::InvalidParameter, std::to_string(c.inputBands) + " input bands");
    if ((c.format == CompressFormat::Greyscale && c.inputBands != 1) ||
        (c.format == CompressFormat::RGB && c.inputBands != 3) ||
        (c.format != CompressFormat::Greyscale && c.format != CompressFormat::RGB &&
         c.format != CompressFormat::MultiBand))
        return failJob(job, Status::InvalidParameter, "the format does not match " + std::to_string(c.inputBands) + " bands");
    if (c.inputWidth < 1 || c.inputHeight < 1)
        return failJob(job, Status::InvalidParameter, "empty input image");
    if (c.precision < 1 || c.precision > 16)
        return failJob(job, Status::InvalidParameter, std::to_string(c.precision) + " bits per sample (1 to 16 are written)");
    if (std::isnan(c.targetCompression))
        return failJob(job, Status::InvalidParameter, "the target compression is not a number");
    if (!c.readCallback) return failJob(job, Status::InvalidParameter, "no read callback");
    if (c.resolutionLevels < 0 || c.resolutionLevels > 33)
        return failJob(job, Status::InvalidParameter, std::to_string(c.resolutionLevels) + " resolution levels");

    const int64_t W = c.inputWidth, H = c.inputHeight;
    plan.cellBytes = c.precision <= 8 ? 1 : 2;
    plan.lossless = !(c.targetCompression > 1);
    plan.colourTransform = c.format == CompressFormat::RGB || (c.format == CompressFormat::MultiBand && c.inputBands == 4);
    plan.alpha = c.format == CompressFormat::MultiBand && (c.inputBands == 2 || c.inputBands == 4);
    plan.rawBytes = uint64_t(W) * uint64_t(H) * uint64_t(c.inputBands) * uint64_t(plan.cellBytes);

    auto tileCount = [&](int64_t t) { return uint64_t(ceilDiv(W, t)) * uint64_t(ceilDiv(H, t)); };
    if (c.tileSize == 0) {
        // A codestream holds at most 65535 tiles: huge images get larger tiles.
        int64_t t = kDefaultTile;
        while (tileCount(t) > 65535) t *= 2;
        plan.tile = int(t);
    } else {
        if (c.tileSize < 32 || c.tileSize > 32768)
            return failJob(job, Status::InvalidParameter, "tiles of " + std::to_string(c.tileSize) + " pixels");
        if (tileCount(c.tileSize) > 65535)
            return failJob(job, Status::InvalidParameter, "tiles of " + std::to_string(c.tileSize) +
                                                              " pixels give more than 65535 tiles");
        plan.tile = c.tileSize;
    }
    if (uint64_t(plan.tile) * plan.tile * uint64_t(c.inputBands) * plan.cellBytes >= (uint64_t(1) << 32))
        return failJob(job, Status::TooLarge, "tiles of " + std::to_string(plan.tile) + " pixels and " +
                                                  std::to_string(c.inputBands) + " bands");
    plan.tilesX = int(ceilDiv(W, plan.tile));
    plan.tilesY = int(ceilDiv(H, plan.tile));

    // OpenJPEG needs 2^(levels - 1) to fit the tile size.
    const int cap = std::min(33, floorLog2(uint64_t(plan.tile)) + 1);
    if (c.resolutionLevels == 0) {
        int levels = 1;
        while (levels < cap && (std::max(W, H) >> (levels - 1)) > kCoarsestLevel) ++levels;
        // Small images still get the usual few decompositions: they are what
        // makes the wavelet compress, as long as the coarsest level keeps a pixel.
        levels = std::max(levels, std::min({6, cap, floorLog2(uint64_t(std::min(W, H))) + 1}));
        plan.levels = levels;
    } else {
        if (c.resolutionLevels > cap)
            return failJob(job, Status::InvalidParameter, std::to_string(c.resolutionLevels) +
                                                              " resolution levels need tiles of at least " +
                                                              std::to_string(1ll << (c.resolutionLevels - 1)) + " pixels");
        plan.levels = c.resolutionLevels;
    }
    return Status::Ok;
}

void abandon(Job& job) {
    job.codec.reset();
    job.stream.reset();
    job.image.reset();
    if (job.output.file) {
        std::fclose(job.output.file);
        job.output.file = nullptr;
        ::unlink(job.path.c_str());
    }
    job.open = false;
    job.ran = false;
}

std::string writeError(const Job& job, const std::string& what) {
    std::string why = job.path + ": " + what;
    if (job.output.error) why += ": " + std::string(std::strerror(job.output.error));
    else if (!job.sink.firstError.empty()) why += ": " + job.sink.firstError;
    return why;
}

}  // namespace

CompressClient* compressAllocClient() {
    auto* client = new (std::nothrow) ClientRecord;
    if (!client) return nullptr;
    std::lock_guard lock(registryMutex);
    registry().insert(client);
    return client;
}

Status compressOpen(CompressClient* client, bool calculateSizesOnly) {
    ClientRecord* c = record(client);
    if (!c) return Status::InvalidParameter;
    Job& job = c->job;
    if (job.open) return failJob(job, Status::InvalidParameter, "a compression is already open for this client");
    job.failure = Status::Ok;
    job.error.clear();
    Plan plan;
    if (Status s = makePlan(*c, plan); s != Status::Ok) return s;
    job.plan = plan;
    if (calculateSizesOnly) return Status::Ok;

    job.path = c->outputFile;
    job.output = Output{};
    job.output.file = std::fopen(job.path.c_str(), "wb");
    if (!job.output.file)
        return failJob(job, Status::CompressOpenFailed, "cannot create " + job.path + ": " + std::strerror(errno));
    job.open = true;
    job.started = Clock::now();
    try {
        std::vector<opj_image_cmptparm_t> parms(size_t(c->inputBands));
        for (auto& p : parms) {
            std::memset(&p, 0, sizeof p);
            p.dx = p.dy = 1;
            p.w = OPJ_UINT32(c->inputWidth);
            p.h = OPJ_UINT32(c->inputHeight);
            p.prec = OPJ_UINT32(c->precision);
            p.sgnd = 0;
        }
        OPJ_COLOR_SPACE space = c->inputBands >= 3 && plan.colourTransform ? OPJ_CLRSPC_SRGB
                                : c->inputBands <= 2                        ? OPJ_CLRSPC_GRAY
                                                                            : OPJ_CLRSPC_UNSPECIFIED;
        job.image.reset(opj_image_tile_create(OPJ_UINT32(c->inputBands), parms.data(), space));
        job.codec.reset(opj_create_compress(plan.format));
        if (!job.image || !job.codec) {
            abandon(job);
            return failJob(job, Status::OutOfMemory, "no memory for the encoder");
        }
        opj_image_t* image = job.image.get();
        image->x0 = image->y0 = 0;
        image->x1 = OPJ_UINT32(c->inputWidth);
        image->y1 = OPJ_UINT32(c->inputHeight);
        if (plan.alpha) image->comps[c->inputBands - 1].alpha = 1;
        installHandlers(job.codec.get(), &job.sink);

        opj_cparameters_t p;
        opj_set_default_encoder_parameters(&p);
        p.tile_size_on = OPJ_TRUE;
        p.cp_tx0 = p.cp_ty0 = 0;
        p.cp_tdx = p.cp_tdy = plan.tile;
        p.numresolution = plan.levels;
        p.tcp_numlayers = 1;
        p.cp_disto_alloc = 1;
        p.tcp_rates[0] = plan.lossless ? 0.0f : c->targetCompression;
        p.irreversible = plan.lossless ? 0 : 1;
        p.tcp_mct = plan.colourTransform ? 1 : 0;
        if (!opj_setup_encoder(job.codec.get(), &p, image)) {
            std::string why = writeError(job, "encoder set-up failed");
            abandon(job);
            return failJob(job, Status::InvalidParameter, why);
        }
        if (c->encoderThreads > 1) opj_codec_set_threads(job.codec.get(), c->encoderThreads);
        const char* const options[] = {"TLM=YES", "PLT=YES", nullptr};
        if (!opj_encoder_set_extra_options(job.codec.get(), options)) {
            std::string why = writeError(job, "TLM and PLT markers cannot be enabled");
            abandon(job);
            return failJob(job, Status::InvalidParameter, why);
        }
        job.stream.reset(opj_stream_create(1 << 20, OPJ_FALSE));
        if (!job.stream) {
            abandon(job);
            return failJob(job, Status::OutOfMemory, "no memory for the output stream");
        }
        opj_stream_set_user_data(job.stream.get(), &job.output, nullptr);
        opj_stream_set_write_function(job.stream.get(), writeOutput);
        opj_stream_set_skip_function(job.stream.get(), skipOutput);
        opj_stream_set_seek_function(job.stream.get(), seekOutput);
        if (!opj_start_compress(job.codec.get(), image, job.stream.get())) {
            std::string why = writeError(job, "the file header cannot be written");
            abandon(job);
            return failJob(job, Status::WriteFailed, why);
        }
    } catch (const std::bad_alloc&) {
        abandon(job);
        return failJob(job, Status::OutOfMemory, "no memory for the encoder");
    }
    return Status::Ok;
}

Status compressRun(CompressClient* client) {
    ClientRecord* c = record(client);
    if (!c) return Status::InvalidParameter;
    Job& job = c->job;
    if (!job.open) return failJob(job, Status::NotOpen, "the compression is not open");
    if (job.failure != Status::Ok) return job.failure;
    if (job.ran) return failJob(job, Status::InvalidParameter, "the image has already been compressed");
    const Plan& plan = job.plan;
    const int W = c->inputWidth, H = c->inputHeight, nb = c->inputBands, T = plan.tile;
    const float top = float((1u << c->precision) - 1);
    auto failRun = [&](Status s, std::string why) {
        job.failure = s;
        return failJob(job, s, std::move(why));
    };
    try {
        std::vector<float> floats(size_t(W) * size_t(nb));
        std::vector<float*> lines(static_cast<size_t>(nb));
        for (int b = 0; b < nb; ++b) lines[size_t(b)] = floats.data() + size_t(b) * size_t(W);
        // One row of tiles, band-sequential, and one tile in OpenJPEG's order.
        std::vector<uint8_t> rowCells(size_t(nb) * size_t(T) * size_t(W) * size_t(plan.cellBytes));
        std::vector<uint8_t> tileCells(size_t(nb) * size_t(T) * size_t(T) * size_t(plan.cellBytes));
        for (int ty = 0; ty < plan.tilesY; ++ty) {
            const int rows = std::min(T, H - ty * T);
            for (int yy = 0; yy < rows; ++yy) {
                const int line = ty * T + yy;
                if (!c->readCallback(client, line, lines.data()))
                    return failRun(Status::ReadCallbackFailed, "the read callback failed at line " + std::to_string(line));
                for (int b = 0; b < nb; ++b) {
                    const float* src = lines[size_t(b)];
                    size_t base = (size_t(b) * size_t(T) + size_t(yy)) * size_t(W);
                    for (int x = 0; x < W; ++x) {
                        float v = src[x];
                        v = v > 0 ? std::min(v, top) : 0.0f;  // NaN and negatives become 0
                        uint32_t cell = uint32_t(v + 0.5f);
                        if (plan.cellBytes == 1)
                            rowCells[base + size_t(x)] = uint8_t(cell);
                        else
                            reinterpret_cast<uint16_t*>(rowCells.data())[base + size_t(x)] = uint16_t(cell);
                    }
                }
                if (c->statusCallback) c->statusCallback(client, line);
            }
            for (int tx = 0; tx < plan.tilesX; ++tx) {
                const int x0 = tx * T, cols = std::min(T, W - x0);
                const size_t cb = size_t(plan.cellBytes);
                uint8_t* dst = tileCells.data();
                for (int b = 0; b < nb; ++b)
                    for (int yy = 0; yy < rows; ++yy) {
                        const uint8_t* src = rowCells.data() + ((size_t(b) * size_t(T) + size_t(yy)) * size_t(W) + size_t(x0)) * cb;
                        std::memcpy(dst, src, size_t(cols) * cb);
                        dst += size_t(cols) * cb;
                    }
                const auto bytes = OPJ_UINT32(dst - tileCells.data());
                if (!opj_write_tile(job.codec.get(), OPJ_UINT32(ty * plan.tilesX + tx), tileCells.data(), bytes,
                                    job.stream.get()))
                    return failRun(Status::WriteFailed, writeError(job, "tile " + std::to_string(ty * plan.tilesX + tx) +
                                                                            " cannot be written"));
            }
        }
    } catch (const std::bad_alloc&) {
        return failRun(Status::OutOfMemory, "no memory for a row of tiles");
    }
    job.ran = true;
    return Status::Ok;
}

Status compressClose(CompressClient* client) {
    ClientRecord* c = record(client);
    if (!c) return Status::InvalidParameter;
    Job& job = c->job;
    if (!job.open) return failJob(job, Status::NotOpen, "the compression is not open");
    if (job.failure != Status::Ok || !job.ran) {
        Status s = job.failure != Status::Ok ? job.failure : Status::NotOpen;
        std::string why = job.failure != Status::Ok ? job.error : "close before the image was compressed";
        abandon(job);
        return failJob(job, s, why);
    }
    if (!opj_end_compress(job.codec.get(), job.stream.get())) {
        std::string why = writeError(job, "the file cannot be finished");
        abandon(job);
        return failJob(job, Status::WriteFailed, why);
    }
    job.codec.reset();
    job.stream.reset();
    job.image.reset();
    FILE* file = job.output.file;
    job.output.file = nullptr;
    bool flushed = std::fflush(file) == 0 && !job.output.error;
    int error = errno;
    if (std::fclose(file) != 0 && flushed) {
        flushed = false;
        error = errno;
    }
    if (!flushed) {
        job.open = false;
        job.ran = false;
        ::unlink(job.path.c_str());
        return failJob(job, Status::WriteFailed, job.path + ": " + std::strerror(job.output.error ? job.output.error : error));
    }
    struct stat st;
    uint64_t bytes = ::stat(job.path.c_str(), &st) == 0 ? uint64_t(st.st_size) : 0;
    double seconds = std::chrono::duration<double>(Clock::now() - job.started).count();
    c->outputBytes = bytes;
    c->actualCompression = bytes ? float(double(job.plan.rawBytes) / double(bytes)) : 0.0f;
    c->compressionSeconds = seconds;
    c->compressionMBSec = seconds > 0 ? double(job.plan.rawBytes) / (1024.0 * 1024.0) / seconds : 0.0;
    job.open = false;
    job.ran = false;
    return Status::Ok;
}

void compressFreeClient(CompressClient* client) {
    ClientRecord* c = record(client);
    if (!c) return;
    if (c->job.open) abandon(c->job);
    {
        std::lock_guard lock(registryMutex);
        registry().erase(client);
    }
    delete c;
}

std::string compressLastError(CompressClient* client) {
    ClientRecord* c = record(client);
    return c ? c->job.error : std::string("not a client of this library");
}

}  // namespace korvalith::codec
