// Why an image cannot be opened or read reaches the client through the
// loaded module: the codec's reason, beginning with the path.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <string>

#include "core_fixture.h"
#include "j2k_codestream.h"
#include "jp2_fixture.h"

namespace {

class CoreReasons : public CoreFixture {};

TEST_F(CoreReasons, AFailedOpenSaysWhy) {
    const std::string dir = ::testing::TempDir();
    testfiles::HandMadeCodestream giant;
    giant.width = giant.height = 1048576;  // one tile: about 200 bytes claiming 2^40 pixels
    testfiles::writeCodestream(dir + "giant.j2k", giant);
    const std::string empty = dir + "empty.jp2";
    testfiles::writeBytes(empty, {});
    const struct {
        std::string path;
        std::string reason;
    } cases[] = {
        {dir + "giant.j2k",
         dir + "giant.j2k: the image claims 1048576 x 1048576 pixels in one codestream tile; this file cannot be "
               "read in parts"},
        {"/no/such/dir/a.jp2", "/no/such/dir/a.jp2: No such file or directory"},
        {empty, empty + ": neither a JPEG 2000 nor an ECW file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(core->acquireImage(c.path.c_str()), nullptr);
        EXPECT_EQ(std::string(core->lastError(nullptr)).substr(0, c.reason.size()), c.reason);
        EXPECT_FALSE(core->isSupportedFile(c.path.c_str()));
    }
    // Refusing the giant took no memory worth the name.
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    EXPECT_LT(usage.ru_maxrss, 1024L * 1024);  // KiB: under 1 GiB

    // A good file replaced by one that fails keeps the good one and says why.
    const std::string good = testfiles::writeJp2("reasons_good.jp2", 64, 64, 3);
    KorvalithImage* image = core->acquireImage(good.c_str());
    ASSERT_NE(image, nullptr);
    EXPECT_FALSE(core->replaceImageFile(image, (dir + "giant.j2k").c_str()));
    EXPECT_NE(std::string(core->lastError(nullptr)).find("cannot be read in parts"), std::string::npos);
    EXPECT_STREQ(core->imagePath(image), good.c_str());
    EXPECT_STREQ(core->lastError(image), "");  // its own reads went well
    core->releaseImage(image);
}

// A file that opens but whose codestream tile cannot be decoded: the
// sample reads nothing, the statistics count the failure, and the image
// keeps the codec's reason.
TEST_F(CoreReasons, AFailedTileReadIsCountedWithItsReason) {
    const std::string path = std::string(KORVALITH_TESTDATA) + "/jp2/malformed/issue726.j2k";
    KorvalithImage* image = core->acquireImage(path.c_str());
    ASSERT_NE(image, nullptr) << core->lastError(nullptr);
    KorvalithStatistics before{}, after{};
    core->statistics(&before);
    const double uv[2] = {0.5, 0.5};
    float rgba[4] = {0, 0, 0, 0}, scalar = 0;
    core->sampleImage(image, uv, 0, 0, 0, rgba, &scalar, 0, 0);
    core->statistics(&after);
    EXPECT_GT(after.failedTileReads, before.failedTileReads);
    const std::string reason = core->lastError(image);
    EXPECT_EQ(reason.rfind(path + ": ", 0), 0u) << reason;
    EXPECT_NE(reason.find("cannot be decoded"), std::string::npos) << reason;
    core->releaseImage(image);
}

}  // namespace
