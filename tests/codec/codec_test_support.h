// Helpers of the codec tests: where the shared test files are, a reference
// decode straight through OpenJPEG, and fixtures written with the
// compression client.
#pragma once

#include "codec.h"

#include <gtest/gtest.h>
#include <openjpeg.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace korvalith::codec::test {

namespace fs = std::filesystem;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

inline fs::path testData() {
    if (const char* env = std::getenv("KORVALITH_TESTDATA"); env && *env) return env;
    return KORVALITH_TESTDATA;
}

inline fs::path jp2Dir(const char* which) { return testData() / "jp2" / which; }

inline std::vector<fs::path> filesIn(const fs::path& dir) {
    std::vector<fs::path> out;
    if (fs::is_directory(dir))
        for (const auto& e : fs::directory_iterator(dir))
            if (e.is_regular_file() && e.path().filename() != "COPYRIGHT") out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

// A directory of its own under the test temp dir, removed at the end.
class TempDir {
public:
    TempDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("korvalith_codec_") + (info ? info->name() : "test") + "_" +
                           std::to_string(::getpid());
        for (char& c : name)
            if (c == '/') c = '_';
        path_ = fs::path(::testing::TempDir()) / name;
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// ---- Reference decode through OpenJPEG alone ------------------------------

struct RefComponent {
    int w = 0, h = 0, dx = 1, dy = 1, precision = 8;
    bool isSigned = false;
    bool alpha = false;
    std::vector<int32_t> data;
    int32_t at(int x, int y) const { return data[size_t(y) * size_t(w) + size_t(x)]; }
};

struct RefImage {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    OPJ_COLOR_SPACE colourSpace = OPJ_CLRSPC_UNKNOWN;
    std::vector<RefComponent> comps;
};

inline void quietOpj(const char*, void*) {}

// Decodes a whole file (or a window of it, reference-grid coordinates) at a
// reduction with a fresh codec, as a plain OpenJPEG client would. JP2 files
// go through OpenJPEG's JP2 reader, which applies palette and channel
// definitions.
inline bool opjDecode(const fs::path& path, int reduce, RefImage& out, const int* window = nullptr) {
    std::ifstream f(path, std::ios::binary);
    unsigned char head[4] = {};
    f.read(reinterpret_cast<char*>(head), 4);
    OPJ_CODEC_FORMAT format = head[0] == 0xFF && head[1] == 0x4F ? OPJ_CODEC_J2K : OPJ_CODEC_JP2;
    opj_stream_t* stream = opj_stream_create_default_file_stream(path.c_str(), OPJ_TRUE);
    opj_codec_t* codec = opj_create_decompress(format);
    opj_set_error_handler(codec, quietOpj, nullptr);
    opj_set_warning_handler(codec, quietOpj, nullptr);
    opj_set_info_handler(codec, quietOpj, nullptr);
    opj_dparameters_t p;
    opj_set_default_decoder_parameters(&p);
    opj_image_t* image = nullptr;
    bool ok = opj_setup_decoder(codec, &p) && opj_read_header(stream, codec, &image) &&
              opj_set_decoded_resolution_factor(codec, OPJ_UINT32(reduce)) &&
              (!window || opj_set_decode_area(codec, image, window[0], window[1], window[2], window[3])) &&
              opj_decode(codec, stream, image) && opj_end_decompress(codec, stream);
    if (ok) {
        out.x0 = int(image->x0);
        out.y0 = int(image->y0);
        out.x1 = int(image->x1);
        out.y1 = int(image->y1);
        out.colourSpace = image->color_space;
        out.comps.clear();
        for (OPJ_UINT32 c = 0; c < image->numcomps; ++c) {
            const opj_image_comp_t& ic = image->comps[c];
            RefComponent rc;
            rc.w = int(ic.w);
            rc.h = int(ic.h);
            rc.dx = int(ic.dx);
            rc.dy = int(ic.dy);
            rc.precision = int(ic.prec);
            rc.isSigned = ic.sgnd != 0;
            rc.alpha = ic.alpha != 0;
            rc.data.assign(ic.data, ic.data + size_t(ic.w) * ic.h);
            out.comps.push_back(std::move(rc));
        }
    }
    opj_image_destroy(image);
    opj_destroy_codec(codec);
    opj_stream_destroy(stream);
    return ok;
}

// The normalisation cells follow: the file's value range 0 … 2^p − 1
// (signed values moved up by half of it) onto 0 … top, rounded.
inline int64_t normalised(int64_t value, int precision, bool isSigned, int64_t top) {
    int64_t max = (int64_t(1) << precision) - 1;
    int64_t u = isSigned ? value + (int64_t(1) << (precision - 1)) : value;
    u = std::clamp<int64_t>(u, 0, max);
    return (u * top + max / 2) / max;
}

// ---- Files written by OpenJPEG itself ---------------------------------------

// Components of any sampling, precision and signedness, encoded losslessly
// by OpenJPEG's own encoder into a raw codestream; the JP2 wrapper of
// jp2_boxes.h puts boxes of a test's choosing around it.
struct OpjSource {
    int width = 64, height = 64;  // of the image on the reference grid
    int x0 = 0, y0 = 0;           // its origin there
    struct Component {
        int dx = 1, dy = 1;
        int precision = 8;
        bool isSigned = false;
    };
    std::vector<Component> components = {Component{}};
    int tile = 0;    // 0: one tile
    int levels = 3;  // decomposition levels
    // Sample of component c at component coordinates (x, y).
    std::function<int32_t(int c, int x, int y)> sample;
};

inline OpjSource::Component sampled(int dx, int dy, int precision = 8, bool isSigned = false) {
    return {dx, dy, precision, isSigned};
}

inline bool opjEncode(const fs::path& path, const OpjSource& src) {
    std::vector<opj_image_cmptparm_t> parms(src.components.size());
    for (size_t c = 0; c < parms.size(); ++c) {
        const auto& in = src.components[c];
        opj_image_cmptparm_t& p = parms[c];
        std::memset(&p, 0, sizeof p);
        auto cells = [](int a, int d) { return (a + d - 1) / d; };
        p.dx = OPJ_UINT32(in.dx);
        p.dy = OPJ_UINT32(in.dy);
        p.x0 = OPJ_UINT32(cells(src.x0, in.dx));
        p.y0 = OPJ_UINT32(cells(src.y0, in.dy));
        p.w = OPJ_UINT32(cells(src.x0 + src.width, in.dx)) - p.x0;
        p.h = OPJ_UINT32(cells(src.y0 + src.height, in.dy)) - p.y0;
        p.prec = OPJ_UINT32(in.precision);
        p.sgnd = in.isSigned ? 1 : 0;
    }
    opj_image_t* image = opj_image_create(OPJ_UINT32(parms.size()), parms.data(), OPJ_CLRSPC_UNSPECIFIED);
    if (!image) return false;
    image->x0 = OPJ_UINT32(src.x0);
    image->y0 = OPJ_UINT32(src.y0);
    image->x1 = OPJ_UINT32(src.x0 + src.width);
    image->y1 = OPJ_UINT32(src.y0 + src.height);
    for (size_t c = 0; c < parms.size(); ++c)
        for (OPJ_UINT32 y = 0; y < parms[c].h; ++y)
            for (OPJ_UINT32 x = 0; x < parms[c].w; ++x)
                image->comps[c].data[y * parms[c].w + x] = src.sample(int(c), int(x), int(y));
    opj_cparameters_t p;
    opj_set_default_encoder_parameters(&p);
    p.numresolution = src.levels + 1;
    p.tcp_mct = 0;
    if (src.tile) {
        p.tile_size_on = OPJ_TRUE;
        p.cp_tdx = p.cp_tdy = src.tile;
    }
    opj_codec_t* codec = opj_create_compress(OPJ_CODEC_J2K);
    opj_set_error_handler(codec, quietOpj, nullptr);
    opj_set_warning_handler(codec, quietOpj, nullptr);
    opj_stream_t* stream = opj_stream_create_default_file_stream(path.c_str(), OPJ_FALSE);
    bool ok = opj_setup_encoder(codec, &p, image) && opj_start_compress(codec, image, stream) &&
              opj_encode(codec, stream) && opj_end_compress(codec, stream);
    opj_stream_destroy(stream);
    opj_destroy_codec(codec);
    opj_image_destroy(image);
    return ok;
}

inline std::vector<uint8_t> readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {});
}

// ---- Reading views through the adapter ---------------------------------

template <class Cell>
struct ViewPixels {
    int w = 0, h = 0, bands = 0;
    std::vector<Cell> cells;  // band-sequential
    Cell at(int band, int x, int y) const { return cells[(size_t(band) * size_t(h) + size_t(y)) * size_t(w) + size_t(x)]; }
};

template <class Cell>
Status readView(File& file, int w, int h, int x0, int y0, int x1, int y1, ViewPixels<Cell>& out,
                std::vector<int> bands = {}) {
    if (bands.empty())
        for (int b = 0; b < file.info().bands; ++b) bands.push_back(b);
    out.w = w;
    out.h = h;
    out.bands = int(bands.size());
    out.cells.assign(size_t(w) * size_t(h) * bands.size(), Cell(-1));
    if (Status s = file.setView(int(bands.size()), bands.data(), w, h, x0, y0, x1, y1); s != Status::Ok) return s;
    std::vector<Cell*> lines(bands.size());
    for (int y = 0; y < h; ++y) {
        for (size_t b = 0; b < bands.size(); ++b) lines[b] = out.cells.data() + (b * size_t(h) + size_t(y)) * size_t(w);
        if (Status s = file.readLine(lines.data()); s != Status::Ok) return s;
    }
    return Status::Ok;
}

// ---- Fixtures written with the compression client ----------------------

using Pixel = std::function<float(int band, int x, int y)>;

struct Fixture {
    int width = 64, height = 64, bands = 1, precision = 8;
    CompressFormat format = CompressFormat::Greyscale;
    float ratio = 1;  // 1: lossless
    int tileSize = 0;
    int levels = 0;
    Pixel pixel;
};

struct WriteContext {
    const Fixture* fixture;
};

inline bool fixtureLine(CompressClient* client, int y, float** lines) {
    const Fixture& f = *static_cast<WriteContext*>(client->clientData)->fixture;
    for (int b = 0; b < f.bands; ++b)
        for (int x = 0; x < f.width; ++x) lines[b][x] = f.pixel(b, x, y);
    return true;
}

inline Status writeFixture(const fs::path& path, const Fixture& f, CompressClient* results = nullptr) {
    CompressClient* c = compressAllocClient();
    WriteContext context{&f};
    c->inputBands = f.bands;
    c->inputWidth = f.width;
    c->inputHeight = f.height;
    c->format = f.format;
    c->precision = f.precision;
    c->targetCompression = f.ratio;
    c->outputFile = path.string();
    c->readCallback = fixtureLine;
    c->clientData = &context;
    c->tileSize = f.tileSize;
    c->resolutionLevels = f.levels;
    Status s = compressOpen(c);
    if (s == Status::Ok) s = compressRun(c);
    if (s == Status::Ok) s = compressClose(c);
    if (results) *results = *c;
    compressFreeClient(c);
    return s;
}

// A deterministic texture with detail at every scale, in 0 … 2^p − 1.
inline Pixel texture(int precision, int seed = 0) {
    const float top = float((1 << precision) - 1);
    return [top, seed](int band, int x, int y) {
        uint32_t h = uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u ^ uint32_t(band + seed) * 83492791u;
        h ^= h >> 13;
        h *= 0x5bd1e995u;
        h ^= h >> 15;
        float noise = float(h & 0xFF) / 255.0f;
        float wave = 0.5f + 0.25f * std::sin(float(x) * 0.05f + float(band)) * std::cos(float(y) * 0.037f);
        float v = 0.75f * wave + 0.25f * noise;
        return std::round(v * top);
    };
}

}  // namespace korvalith::codec::test
