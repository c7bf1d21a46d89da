// No C++ exception leaves the core services table: inside a host it would
// end the process from a render thread. Each operation answers its failure
// result instead.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "core_services.h"
#include "test_support.h"

namespace {

using namespace korvalith;

static ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new coretest::HostEnvironment);

// A source whose reads throw, as a decoder out of memory would.
class ThrowingSource final : public ImageSource {
public:
    ThrowingSource() {
        width_ = height_ = 4096;
        bands_ = 3;
        path_ = name_ = "throwing";
        opened_ = true;
        buildChannels();
    }
    void updateSize() override {}
    bool open(const std::string&) override { return false; }
    bool readRegion8(uint8_t*, int, int, int, int, int, int) override { throw std::bad_alloc(); }
    bool readRegion16(int16_t*, int, int, int, int, int, int) override { throw std::runtime_error("16"); }
    bool readRegion32(int32_t*, int, int, int, int, int, int) override { throw 7; }
};

TEST(ExceptionBoundary, OperationsAnswerTheirFailureResults) {
    CoreImage image;
    ASSERT_TRUE(image.adoptSource(std::make_unique<ThrowingSource>()));
    const CoreServices& core = *coreServices();
    const double uv[2] = {0.5, 0.5};
    float rgba[4] = {9, 9, 9, 9}, scalar = 9, dx = 9, dy = 9;
    EXPECT_EQ(core.sampleImage(&image, uv, 0, 0.5, 0, rgba, &scalar, 1, 1), 0.0f);
    EXPECT_EQ(rgba[0], 9.0f);
    EXPECT_EQ(core.sampleGradient(&image, uv, 0.01, 0.5, 0, &dx, &dy, 1, 1), 0.0f);
    EXPECT_EQ(core.createPixelBlock(&image, 64, 32), nullptr);
    // The image is still sound: levels were made, no half-made tile stayed.
    uint32_t levels = 0;
    for (int a = 0; a < image.levelCount(); ++a) levels += image.levelIfPresent(a) != nullptr;
    EXPECT_GT(levels, 0u);
    EXPECT_EQ(core.memoryUsed(&image), 1152u + 80u * levels);
    core.freeMemory(&image);
    EXPECT_EQ(core.memoryUsed(&image), 1152u);
}

}  // namespace
