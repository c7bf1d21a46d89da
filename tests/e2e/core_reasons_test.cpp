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

}  // namespace
