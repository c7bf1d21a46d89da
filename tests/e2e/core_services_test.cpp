// The core services table as clients reach it: through the host's lookup,
// answered by the loaded KorvalithPro module.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <cstdlib>
#include <fstream>

#include "core_fixture.h"
#include "core_services.h"
#include "host.h"
#include "jp2_fixture.h"
#include "lwglobsrv.h"

namespace {

using CoreServicesTest = CoreFixture;

TEST_F(CoreServicesTest, TableVersionAndBalancedLookup) {
    EXPECT_EQ(core->apiVersion(), 112);
    EXPECT_EQ(host.use(KORVALITH_CORE_SERVICES).held(), 1);
    // A longer name with the same beginning is not the service: asked for
    // it, the module's global server answers no data.
    int sentinel = 0;
    LWGlobalService service{"KorvalithCoreServices2", &sentinel};
    EXPECT_EQ(host.activate(LWGLOBALSERVICE_CLASS, KORVALITH_CORE_SERVICES, LWGLOBALSERVICE_VERSION, &service), 0);
    EXPECT_EQ(service.data, nullptr);
}

TEST_F(CoreServicesTest, NullImageAnswers) {
    const double uv[2] = {0.5, 0.5};
    float rgba[4] = {7, 7, 7, 7};
    float scalar = 7, dx = 7, dy = 7;
    EXPECT_EQ(core->imageIndex(nullptr), -2);
    EXPECT_EQ(core->imageTitle(nullptr), nullptr);
    EXPECT_EQ(core->channelChoiceCount(nullptr), 0);
    EXPECT_STREQ(core->channelChoiceName(nullptr, 0), "(none)");
    EXPECT_STREQ(core->cellTypeName(nullptr), "*none*");
    EXPECT_EQ(core->cellBytes(nullptr), 0);
    EXPECT_EQ(core->imageWidth(nullptr), 0);
    EXPECT_EQ(core->imageHeight(nullptr), 0);
    EXPECT_EQ(core->imageName(nullptr), nullptr);
    EXPECT_EQ(core->imagePath(nullptr), nullptr);
    EXPECT_EQ(core->imageTypeName(nullptr), nullptr);
    EXPECT_EQ(core->compressionRate(nullptr), 0);
    EXPECT_EQ(core->fileBandCount(nullptr), 0);
    EXPECT_EQ(core->replaceImageFile(nullptr, "x.jp2"), 0);
    EXPECT_EQ(core->createPixelBlock(nullptr, 4, 4), nullptr);
    EXPECT_EQ(core->sampleImage(nullptr, uv, 0, 0, 0, rgba, &scalar, 0, 0), 0.0f);
    EXPECT_EQ(core->sampleGradient(nullptr, uv, 0, 0, 0, &dx, &dy, 0, 0), 0.0f);
    EXPECT_EQ(rgba[0], 7);
    EXPECT_EQ(scalar, 7);
    EXPECT_EQ(dx, 7);
    EXPECT_EQ(core->memoryUsed(nullptr), 0u);
    EXPECT_EQ(core->acquireImage(nullptr), nullptr);
    EXPECT_EQ(core->acquireImage("/no/such/file.jp2"), nullptr);
    // Operations with nothing to do do nothing.
    core->releaseImage(nullptr);
    core->addImageRef(nullptr);
    core->reloadImage(nullptr);
    core->imageNewFrame(nullptr, 3);
    core->releaseImageData(nullptr);
    core->freeMemory(nullptr);
    core->freePixelBlock(nullptr);
    core->blockPixel(nullptr, 0, 0, rgba);
}

TEST_F(CoreServicesTest, ChoicesWithoutImages) {
    EXPECT_EQ(core->choiceCount(nullptr), 2);
    EXPECT_STREQ(core->choiceName(nullptr, 0), "(none)");
    EXPECT_STREQ(core->choiceName(nullptr, 1), "(load image)");
    EXPECT_EQ(core->choiceName(nullptr, 2), nullptr);
    EXPECT_EQ(core->choiceName(nullptr, -1), nullptr);
}

TEST_F(CoreServicesTest, ImagesAreSharedByPathAndReleasedByCount) {
    const std::string path = testfiles::writeJp2("shared.jp2", 300, 200, 3);
    KorvalithImage* a = core->acquireImage(path.c_str());
    ASSERT_NE(a, nullptr);
    KorvalithImage* b = core->acquireImage(path.c_str());
    EXPECT_EQ(a, b);
    EXPECT_EQ(core->imageCount(), 1);
    EXPECT_STREQ(core->imageTitle(a), "shared.jp2 (2)");
    EXPECT_STREQ(core->choiceName(nullptr, core->imageIndex(a) + 2), "shared.jp2 (2)");
    EXPECT_EQ(core->imageAt(0), a);
    EXPECT_EQ(core->imageAt(1), nullptr);

    core->releaseImage(a);
    EXPECT_EQ(core->imageCount(), 1);
    EXPECT_STREQ(core->imageTitle(a), "shared.jp2 (1)");
    core->addImageRef(a);
    core->releaseImage(a);
    core->releaseImage(a);
    EXPECT_EQ(core->imageCount(), 0);
    EXPECT_EQ(core->imageIndex(a), -2);
    // A handle that is gone is not touched again.
    core->releaseImage(a);
    EXPECT_EQ(core->imageCount(), 0);
}

TEST_F(CoreServicesTest, SameFileThroughAnotherPathTextIsAnotherImage) {
    const std::string path = testfiles::writeJp2("Case.jp2", 64, 64, 1);
    const std::string other = ::testing::TempDir() + "CASE.jp2";
    std::filesystem::remove(other);
    std::filesystem::create_symlink(path, other);
    KorvalithImage* a = core->acquireImage(path.c_str());
    KorvalithImage* b = core->acquireImage(other.c_str());
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(core->imageCount(), 2);
    core->releaseImage(a);
    core->releaseImage(b);
}

TEST_F(CoreServicesTest, ImageQueries) {
    const std::string path = testfiles::writeJp2("queries.jp2", 300, 200, 4);
    KorvalithImage* image = core->acquireImage(path.c_str());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(core->imageWidth(image), 300);
    EXPECT_EQ(core->imageHeight(image), 200);
    EXPECT_EQ(core->fileBandCount(image), 4);
    EXPECT_STREQ(core->imageName(image), "queries.jp2");
    EXPECT_EQ(std::string(core->imagePath(image)), path);
    EXPECT_STREQ(core->imageTypeName(image), "JPEG 2000");
    EXPECT_STREQ(core->cellTypeName(image), "8bit");
    EXPECT_EQ(core->cellBytes(image), 1);
    EXPECT_GE(core->compressionRate(image), 1);
    EXPECT_EQ(core->channelChoiceCount(image), 8);
    EXPECT_STREQ(core->channelChoiceName(image, 0), "RGBA");
    EXPECT_EQ(core->channelChoiceName(image, 8), nullptr);
    EXPECT_EQ(core->isSupportedFile(path.c_str()), 1);
    EXPECT_EQ(core->isSupportedFile("/no/such.jp2"), 0);
    core->releaseImage(image);
}

TEST_F(CoreServicesTest, SamplesReadTheFilesPixels) {
    const std::string path = testfiles::writeJp2("pixels.jp2", 300, 200, 3);
    KorvalithImage* image = core->acquireImage(path.c_str());
    ASSERT_NE(image, nullptr);
    for (auto [x, y] : {std::pair{0, 0}, {17, 9}, {150, 100}, {297, 197}}) {
        const double uv[2] = {(x + 0.5) / 300, (y + 0.5) / 200};
        float rgba[4];
        float scalar;
        EXPECT_FLOAT_EQ(core->sampleImage(image, uv, 0, 0, 0, rgba, &scalar, 0, 0), 1.0f);
        for (int b = 0; b < 3; ++b) EXPECT_FLOAT_EQ(rgba[b], testfiles::defaultPattern(x, y, b) * 0.003921569f);
    }
    core->releaseImage(image);
}

TEST_F(CoreServicesTest, NewFrameRunsOneReleasePassPerFrame) {
    const std::string path = testfiles::writeJp2("frames.jp2", 600, 600, 1);
    KorvalithImage* image = core->acquireImage(path.c_str());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(core->memoryUsed(image), 1152u);
    const double uv[2] = {0.3, 0.3};
    float rgba[4], scalar;
    core->sampleImage(image, uv, 0, 0, 0, rgba, &scalar, 0, 0);
    const uint32_t sampled = core->memoryUsed(image);
    EXPECT_GT(sampled, 1152u);
    core->imageNewFrame(image, 1);  // the tile was used: it survives
    EXPECT_EQ(core->memoryUsed(image), sampled);
    core->imageNewFrame(image, 1);  // same frame: no pass
    EXPECT_EQ(core->memoryUsed(image), sampled);
    core->imageNewFrame(image, 2);
    EXPECT_EQ(core->memoryUsed(image), 1152u);
    EXPECT_EQ(core->memoryUsed(nullptr), 1152u);

    core->sampleImage(image, uv, 0, 0, 0, rgba, &scalar, 0, 0);
    core->releaseImageData(image);
    EXPECT_EQ(core->memoryUsed(image), 1152u);
    core->sampleImage(image, uv, 0, 0, 0, rgba, &scalar, 0, 0);
    core->freeMemory(nullptr);
    EXPECT_EQ(core->memoryUsed(nullptr), 1152u);
    core->sampleImage(image, uv, 0, 0, 0, rgba, &scalar, 0, 0);
    core->reloadImage(image);
    EXPECT_EQ(core->memoryUsed(image), 1152u);
    core->releaseImage(image);
}

TEST_F(CoreServicesTest, ReplacingTheFile) {
    const std::string first = testfiles::writeJp2("first.jp2", 300, 200, 3);
    const std::string bigger = testfiles::writeJp2("bigger.jp2", 1200, 900, 1);
    const std::string notImage = ::testing::TempDir() + "not_an_image.jp2";
    std::ofstream(notImage) << "plain text";
    KorvalithImage* image = core->acquireImage(first.c_str());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(core->replaceImageFile(image, notImage.c_str()), 0);
    EXPECT_EQ(core->imageWidth(image), 300);  // still the old file
    const double uv[2] = {(17 + 0.5) / 300, (9 + 0.5) / 200};
    float rgba[4], scalar;
    EXPECT_FLOAT_EQ(core->sampleImage(image, uv, 0, 0, 0, rgba, &scalar, 0, 0), 1.0f);
    EXPECT_FLOAT_EQ(rgba[1], testfiles::defaultPattern(17, 9, 1) * 0.003921569f);

    EXPECT_EQ(core->replaceImageFile(image, bigger.c_str()), 1);
    EXPECT_EQ(core->imageWidth(image), 1200);
    EXPECT_EQ(core->fileBandCount(image), 1);
    EXPECT_EQ(core->imageIndex(image), 0);
    EXPECT_STREQ(core->imageTitle(image), "bigger.jp2 (1)");
    const double centre[2] = {(600 + 0.5) / 1200, (450 + 0.5) / 900};
    EXPECT_FLOAT_EQ(core->sampleImage(image, centre, 0, 0, 0, rgba, &scalar, 0, 0), 1.0f);
    EXPECT_FLOAT_EQ(scalar, testfiles::defaultPattern(600, 450, 0) * 0.003921569f);
    core->releaseImage(image);
}

TEST_F(CoreServicesTest, PixelBlocks) {
    const std::string path = testfiles::writeJp2("block.jp2", 64, 32, 3);
    KorvalithImage* image = core->acquireImage(path.c_str());
    ASSERT_NE(image, nullptr);
    korvalith::PixelBlock* block = core->createPixelBlock(image, 64, 32);
    ASSERT_NE(block, nullptr);
    float rgba[4] = {};
    core->blockPixel(block, 5, 6, rgba);
    for (int b = 0; b < 3; ++b) EXPECT_FLOAT_EQ(rgba[b], testfiles::defaultPattern(5, 6, b) * 0.003921569f);
    EXPECT_EQ(rgba[3], 1.0f);
    float untouched[4] = {9, 9, 9, 9};
    core->blockPixel(block, 64, 0, untouched);
    core->blockPixel(block, -1, 0, untouched);
    EXPECT_EQ(untouched[0], 9);
    core->freePixelBlock(block);
    core->releaseImage(image);
}

TEST_F(CoreServicesTest, OptionFlags) {
    EXPECT_EQ(core->getPreviewFlag(), 1);
    EXPECT_EQ(core->getFPrimeFlag(), 0);
    core->setPreviewFlag(0);
    core->setFPrimeFlag(1);
    EXPECT_EQ(core->getPreviewFlag(), 0);
    EXPECT_EQ(core->getFPrimeFlag(), 1);
    core->setPreviewFlag(1);
    core->setFPrimeFlag(0);
}

}  // namespace

namespace {

std::string testData() {
    const char* env = std::getenv("KORVALITH_TESTDATA");
    return env && *env ? env : KORVALITH_TESTDATA;
}

// Every damaged file is refused or sampled at every level without a crash.
TEST_F(CoreServicesTest, MalformedFilesAreRefusedOrReadSafely) {
    const std::filesystem::path dir = std::filesystem::path(testData()) / "jp2" / "malformed";
    ASSERT_TRUE(std::filesystem::is_directory(dir)) << dir;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        SCOPED_TRACE(entry.path().string());
        ++files;
        KorvalithImage* image = core->acquireImage(entry.path().c_str());
        if (!image) continue;
        const double points[][2] = {{0.5, 0.5}, {0, 0}, {0.99, 0.01}};
        for (const auto& uv : points)
            for (double footprint : {0.0, 0.01, 1.0}) {
                float rgba[4], scalar, dx, dy;
                const float c = core->sampleImage(image, uv, footprint, 0.5, 0, rgba, &scalar, 1, 1);
                EXPECT_TRUE(c >= 0 && c <= 1);
                core->sampleGradient(image, uv, footprint, 0.5, 0, &dx, &dy, 2, 3);
            }
        korvalith::PixelBlock* block = core->createPixelBlock(image, 8, 8);
        core->freePixelBlock(block);
        core->releaseImage(image);
    }
    EXPECT_GT(files, 10);
}

}  // namespace

namespace {

TEST_F(CoreFixture, StatisticsCountTilesReadAndBytesDecoded) {
    const std::string path = testfiles::writeJp2("statistics.jp2", 600, 300, 3);
    KorvalithStatistics before{};
    core->statistics(&before);
    KorvalithImage* image = core->acquireImage(path.c_str());
    ASSERT_NE(image, nullptr);
    const double uv[2] = {0.5, 0.5};
    float rgba[4], scalar;
    core->sampleImage(image, uv, 0, 0, 0, rgba, &scalar, 0, 0);
    core->sampleImage(image, uv, 0, 0, 0, rgba, &scalar, 0, 0);  // the same tile: read once
    KorvalithStatistics after{};
    core->statistics(&after);
    EXPECT_EQ(after.tilesRead - before.tilesRead, 1u);
    EXPECT_EQ(after.tileBytes - before.tileBytes, core->memoryUsed(image) - 1152u - 80u - 72u);
    EXPECT_GT(after.decodedBytes, before.decodedBytes);
    core->releaseImage(image);
}

}  // namespace
