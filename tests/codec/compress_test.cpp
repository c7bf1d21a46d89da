// The compression client: round trips, the written structure (tiles,
// levels, TLM and PLT markers), bounded memory, callbacks and refusals.

#include "codec_test_support.h"

#include <malloc.h>
#include <sys/stat.h>

namespace korvalith::codec::test {
namespace {

std::vector<uint8_t> readAll(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

// Offset of the codestream inside a file (0 for a raw codestream).
size_t codestreamStart(const std::vector<uint8_t>& bytes) {
    for (size_t i = 0; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0x4F && i + 3 < bytes.size() && bytes[i + 2] == 0xFF &&
            bytes[i + 3] == 0x51)
            return i;
    return bytes.size();
}

// Marker codes of the main header, and of the first tile-part header.
void headerMarkers(const std::vector<uint8_t>& bytes, std::vector<int>& main, std::vector<int>& tilePart) {
    size_t p = codestreamStart(bytes) + 2;
    std::vector<int>* into = &main;
    while (p + 4 <= bytes.size() && bytes[p] == 0xFF) {
        int marker = 0xFF00 | bytes[p + 1];
        if (marker == 0xFF93) break;  // start of data of the first tile-part
        if (marker == 0xFF90) into = &tilePart;
        into->push_back(marker);
        p += 2 + (size_t(bytes[p + 2]) << 8 | bytes[p + 3]);
    }
}

bool has(const std::vector<int>& v, int marker) { return std::find(v.begin(), v.end(), marker) != v.end(); }

TEST(CodecCompress, LosslessRoundTripsAreExact) {
    TempDir dir;
    struct Case {
        const char* name;
        int width, height, bands, precision;
        CompressFormat format;
        int tile;
    };
    const Case cases[] = {
        {"grey.jp2", 300, 200, 1, 8, CompressFormat::Greyscale, 0},
        {"rgb.j2k", 333, 270, 3, 8, CompressFormat::RGB, 128},    // 3 x 3 tiles, partial edges
        {"rgba16.jp2", 150, 140, 4, 16, CompressFormat::MultiBand, 64},
        {"greyalpha12.jpc", 97, 131, 2, 12, CompressFormat::MultiBand, 64},
        {"bilevel.j2c", 70, 50, 1, 1, CompressFormat::Greyscale, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        f.width = c.width;
        f.height = c.height;
        f.bands = c.bands;
        f.precision = c.precision;
        f.format = c.format;
        f.tileSize = c.tile;
        f.pixel = texture(c.precision, c.bands);
        const fs::path path = dir / c.name;
        CompressClient result;
        ASSERT_EQ(writeFixture(path, f, &result), Status::Ok);
        EXPECT_EQ(result.outputBytes, fs::file_size(path));
        const double raw = double(c.width) * c.height * c.bands * (c.precision <= 8 ? 1 : 2);
        EXPECT_NEAR(result.actualCompression, raw / double(result.outputBytes), 1e-3 * result.actualCompression);
        EXPECT_GE(result.compressionSeconds, 0.0);

        RefImage ref;
        ASSERT_TRUE(opjDecode(path, 0, ref));
        ASSERT_EQ(ref.comps.size(), size_t(c.bands));
        for (int b = 0; b < c.bands; ++b) {
            ASSERT_EQ(ref.comps[size_t(b)].precision, c.precision);
            for (int y = 0; y < c.height; ++y)
                for (int x = 0; x < c.width; ++x)
                    ASSERT_EQ(ref.comps[size_t(b)].at(x, y), int32_t(f.pixel(b, x, y))) << b << " " << x << "," << y;
        }
        auto file = File::open(path.string());
        ASSERT_TRUE(file);
        EXPECT_EQ(file->info().bands, c.bands);
        EXPECT_EQ(file->info().precision, c.precision);
    }
}

TEST(CodecCompress, LossyOutputIsNearTheTargetRatio) {
    TempDir dir;
    for (float ratio : {5.0f, 20.0f}) {
        SCOPED_TRACE(ratio);
        Fixture f;
        f.width = 640;
        f.height = 480;
        f.bands = 3;
        f.format = CompressFormat::RGB;
        f.ratio = ratio;
        f.pixel = texture(8, 1);
        const fs::path path = dir / ("lossy" + std::to_string(int(ratio)) + ".jp2");
        CompressClient result;
        ASSERT_EQ(writeFixture(path, f, &result), Status::Ok);
        EXPECT_GT(result.actualCompression, ratio * 0.8f);
        EXPECT_LT(result.actualCompression, ratio * 1.25f);
        // Lossy, yet close to the source.
        RefImage ref;
        ASSERT_TRUE(opjDecode(path, 0, ref));
        double err = 0;
        for (int y = 0; y < f.height; ++y)
            for (int x = 0; x < f.width; ++x) err += std::abs(ref.comps[1].at(x, y) - f.pixel(1, x, y));
        EXPECT_LT(err / (f.width * f.height), 20.0);
    }
}

TEST(CodecCompress, WritesTiledPyramidsWithTlmAndPltMarkers) {
    TempDir dir;
    Fixture f;
    f.width = 3000;
    f.height = 1100;
    f.bands = 3;
    f.format = CompressFormat::RGB;
    f.ratio = 20;
    f.pixel = texture(8, 2);
    for (const char* name : {"big.jp2", "big.j2k"}) {
        SCOPED_TRACE(name);
        const fs::path path = dir / name;
        ASSERT_EQ(writeFixture(path, f), Status::Ok);
        std::vector<uint8_t> bytes = readAll(path);
        std::vector<int> mainHeader, tileHeader;
        headerMarkers(bytes, mainHeader, tileHeader);
        EXPECT_TRUE(has(mainHeader, 0xFF55)) << "TLM";
        EXPECT_TRUE(has(tileHeader, 0xFF58)) << "PLT";
        EXPECT_EQ(codestreamStart(bytes) == 0, std::string(name).ends_with(".j2k"));

        auto file = File::open(path.string());
        ASSERT_TRUE(file);
        const FileInfo& info = file->info();
        // Several rows of tiles, and levels down to at most 256 pixels (and
        // never fewer than the usual six).
        EXPECT_GT(info.tilesY, 1);
        EXPECT_TRUE(info.tileWidth == 512 || info.tileWidth == 1024) << info.tileWidth;
        EXPECT_LE(std::max(info.width, info.height) >> (info.resolutionLevels - 1), 256);
        EXPECT_GE(info.resolutionLevels, 6);
    }
}

TEST(CodecCompress, ExplicitTileSizeAndLevelsAreWritten) {
    TempDir dir;
    Fixture f;
    f.width = 200;
    f.height = 90;
    f.tileSize = 64;
    f.levels = 3;
    f.pixel = texture(8);
    const fs::path path = dir / "explicit.jp2";
    ASSERT_EQ(writeFixture(path, f), Status::Ok);
    auto file = File::open(path.string());
    ASSERT_TRUE(file);
    EXPECT_EQ(file->info().tileWidth, 64);
    EXPECT_EQ(file->info().tilesX, 4);
    EXPECT_EQ(file->info().tilesY, 2);
    EXPECT_EQ(file->info().resolutionLevels, 3);
}

// Memory during compression is bounded by a row of tiles, not the image.
struct MemoryProbe {
    size_t baseline = 0;
    size_t peak = 0;
};

bool probingLine(CompressClient* client, int y, float** lines) {
    auto* probe = static_cast<MemoryProbe*>(client->clientData);
    for (int x = 0; x < client->inputWidth; ++x) lines[0][x] = float((x ^ y) & 0xFF);
    probe->peak = std::max(probe->peak, mallinfo2().uordblks);
    return true;
}

TEST(CodecCompress, MemoryStaysWithinARowOfTiles) {
    if (kSanitized) GTEST_SKIP() << "the sanitizer's allocator is not visible to mallinfo2";
    TempDir dir;
    MemoryProbe probe;
    probe.baseline = mallinfo2().uordblks;
    CompressClient* c = compressAllocClient();
    c->inputBands = 1;
    c->inputWidth = 6144;
    c->inputHeight = 4096;
    c->format = CompressFormat::Greyscale;
    c->tileSize = 256;
    c->targetCompression = 10;
    c->outputFile = (dir / "wide.jp2").string();
    c->readCallback = probingLine;
    c->clientData = &probe;
    ASSERT_EQ(compressOpen(c), Status::Ok);
    ASSERT_EQ(compressRun(c), Status::Ok);
    ASSERT_EQ(compressClose(c), Status::Ok);
    compressFreeClient(c);
    const size_t image = size_t(6144) * 4096;  // 24 MiB of 8-bit samples
    EXPECT_LT(probe.peak - probe.baseline, image / 4) << "bytes in use beyond the start";
}

struct Recorder {
    std::vector<int> reads, finished;
    int failAt = -1;
};

bool recordingRead(CompressClient* client, int y, float** lines) {
    auto* r = static_cast<Recorder*>(client->clientData);
    r->reads.push_back(y);
    for (int b = 0; b < client->inputBands; ++b)
        for (int x = 0; x < client->inputWidth; ++x) lines[b][x] = 256.0f;  // clamped to 255
    return y != r->failAt;
}

void recordingStatus(CompressClient* client, int y) { static_cast<Recorder*>(client->clientData)->finished.push_back(y); }

CompressClient* recordingClient(const fs::path& path, Recorder& r) {
    CompressClient* c = compressAllocClient();
    c->inputBands = 3;
    c->inputWidth = 40;
    c->inputHeight = 300;
    c->format = CompressFormat::RGB;
    c->tileSize = 64;
    c->outputFile = path.string();
    c->readCallback = recordingRead;
    c->statusCallback = recordingStatus;
    c->clientData = &r;
    return c;
}

TEST(CodecCompress, CallbacksRunOncePerLineInOrder) {
    TempDir dir;
    Recorder r;
    CompressClient* c = recordingClient(dir / "lines.jp2", r);
    ASSERT_EQ(compressOpen(c), Status::Ok);
    ASSERT_EQ(compressRun(c), Status::Ok);
    ASSERT_EQ(compressClose(c), Status::Ok);
    compressFreeClient(c);
    std::vector<int> all(300);
    for (int i = 0; i < 300; ++i) all[size_t(i)] = i;
    EXPECT_EQ(r.reads, all);
    EXPECT_EQ(r.finished, all);
    // Values above the precision are clamped to its top.
    RefImage ref;
    ASSERT_TRUE(opjDecode(dir / "lines.jp2", 0, ref));
    EXPECT_EQ(ref.comps[0].at(5, 5), 255);
}

TEST(CodecCompress, AFailingReadEndsTheCompressionAndFreeRemovesTheOutput) {
    TempDir dir;
    Recorder r;
    r.failAt = 130;
    const fs::path path = dir / "partial.jp2";
    CompressClient* c = recordingClient(path, r);
    ASSERT_EQ(compressOpen(c), Status::Ok);
    EXPECT_EQ(compressRun(c), Status::ReadCallbackFailed);
    EXPECT_NE(compressLastError(c).find("130"), std::string::npos);
    EXPECT_EQ(r.reads.back(), 130);
    EXPECT_EQ(r.finished.back(), 129);
    EXPECT_TRUE(fs::exists(path));
    compressFreeClient(c);
    EXPECT_FALSE(fs::exists(path));
}

TEST(CodecCompress, FreeAbandonsAnOpenCompression) {
    TempDir dir;
    Recorder r;
    const fs::path path = dir / "abandoned.j2k";
    CompressClient* c = recordingClient(path, r);
    ASSERT_EQ(compressOpen(c), Status::Ok);
    EXPECT_TRUE(fs::exists(path));
    compressFreeClient(c);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(r.reads.empty());
}

TEST(CodecCompress, CallsOutOfOrderAreRefused) {
    TempDir dir;
    Recorder r;
    CompressClient* c = recordingClient(dir / "order.jp2", r);
    EXPECT_EQ(compressRun(c), Status::NotOpen);
    EXPECT_EQ(compressClose(c), Status::NotOpen);
    ASSERT_EQ(compressOpen(c), Status::Ok);
    EXPECT_EQ(compressOpen(c), Status::InvalidParameter);
    ASSERT_EQ(compressRun(c), Status::Ok);
    EXPECT_EQ(compressRun(c), Status::InvalidParameter);
    ASSERT_EQ(compressClose(c), Status::Ok);
    EXPECT_EQ(compressClose(c), Status::NotOpen);
    compressFreeClient(c);
    // A record the library did not allocate is not touched.
    CompressClient foreign;
    EXPECT_EQ(compressOpen(&foreign), Status::InvalidParameter);
    EXPECT_EQ(compressRun(&foreign), Status::InvalidParameter);
    compressFreeClient(&foreign);
}

TEST(CodecCompress, SizesOnlyChecksWithoutWriting) {
    TempDir dir;
    Recorder r;
    const fs::path path = dir / "sizes.jp2";
    CompressClient* c = recordingClient(path, r);
    EXPECT_EQ(compressOpen(c, true), Status::Ok);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(compressRun(c), Status::NotOpen);
    c->outputFile = (dir / "sizes.ecw").string();
    EXPECT_EQ(compressOpen(c, true), Status::EcwNotSupported);
    compressFreeClient(c);
}

TEST(CodecCompress, BadClientsAndTargetsAreRefused) {
    TempDir dir;
    struct Case {
        const char* what;
        std::function<void(CompressClient&)> change;
        Status want;
        const char* messagePart;
    };
    const Case cases[] = {
        {"ECW target", [&](CompressClient& c) { c.outputFile = (dir / "out.ECW").string(); }, Status::EcwNotSupported, "ECW"},
        {"unknown extension", [&](CompressClient& c) { c.outputFile = (dir / "out.png").string(); }, Status::UnknownFormat, "extension"},
        {"no output", [](CompressClient& c) { c.outputFile.clear(); }, Status::InvalidParameter, "output"},
        {"missing directory", [&](CompressClient& c) { c.outputFile = (dir / "nowhere" / "out.jp2").string(); },
         Status::CompressOpenFailed, "No such file or directory"},
        {"directory as output", [&](CompressClient& c) { c.outputFile = (dir.path() / "sub.jp2").string(); fs::create_directory(dir / "sub.jp2"); },
         Status::CompressOpenFailed, "sub.jp2"},
        {"no bands", [](CompressClient& c) { c.inputBands = 0; }, Status::InvalidParameter, "bands"},
        {"RGB with one band", [](CompressClient& c) { c.inputBands = 1; }, Status::InvalidParameter, "format"},
        {"greyscale with three bands", [](CompressClient& c) { c.format = CompressFormat::Greyscale; }, Status::InvalidParameter, "format"},
        {"unknown format value", [](CompressClient& c) { c.format = CompressFormat(9); }, Status::InvalidParameter, "format"},
        {"empty image", [](CompressClient& c) { c.inputHeight = 0; }, Status::InvalidParameter, "empty"},
        {"zero bits", [](CompressClient& c) { c.precision = 0; }, Status::InvalidParameter, "bits"},
        {"17 bits", [](CompressClient& c) { c.precision = 17; }, Status::InvalidParameter, "bits"},
        {"NaN ratio", [](CompressClient& c) { c.targetCompression = std::nanf(""); }, Status::InvalidParameter, "number"},
        {"no read callback", [](CompressClient& c) { c.readCallback = nullptr; }, Status::InvalidParameter, "callback"},
        {"tiny tiles", [](CompressClient& c) { c.tileSize = 16; }, Status::InvalidParameter, "tiles"},
        {"too many tiles", [](CompressClient& c) { c.inputWidth = 1 << 20; c.inputHeight = 1 << 16; c.tileSize = 64; },
         Status::InvalidParameter, "65535"},
        {"levels beyond the tile", [](CompressClient& c) { c.tileSize = 64; c.resolutionLevels = 8; }, Status::InvalidParameter, "levels"},
        {"negative levels", [](CompressClient& c) { c.resolutionLevels = -1; }, Status::InvalidParameter, "levels"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        Recorder r;
        CompressClient* c = recordingClient(dir / "out.jp2", r);
        k.change(*c);
        EXPECT_EQ(compressOpen(c), k.want);
        EXPECT_NE(compressLastError(c).find(k.messagePart), std::string::npos) << compressLastError(c);
        EXPECT_EQ(compressRun(c), Status::NotOpen);
        compressFreeClient(c);
        EXPECT_FALSE(fs::exists(dir / "out.jp2"));
        EXPECT_TRUE(r.reads.empty());
    }
}

TEST(CodecCompress, AFullDiskFailsTheWriteAndLeavesNoOutput) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    TempDir dir;
    const fs::path link = dir / "full.jp2";
    fs::create_symlink("/dev/full", link);
    Recorder r;
    CompressClient* c = recordingClient(link, r);
    Status s = compressOpen(c);
    if (s == Status::Ok) s = compressRun(c);
    if (s == Status::Ok) s = compressClose(c);
    EXPECT_EQ(s, Status::WriteFailed);
    EXPECT_NE(compressLastError(c).find("No space"), std::string::npos) << compressLastError(c);
    compressFreeClient(c);
    EXPECT_FALSE(fs::is_symlink(link));
}

}  // namespace
}  // namespace korvalith::codec::test
