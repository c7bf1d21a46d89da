// Image references in scene blocks, the replace-image dialog, the logo,
// previews and the about box, through the loaded KorvalithPro module.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>

#include "canvas.h"
#include "colour_settings.h"
#include "core_fixture.h"
#include "core_image.h"
#include "core_services.h"
#include "file_io.h"
#include "host.h"
#include "jp2_fixture.h"
#include "logo_picture.h"
#include "lwdialog.h"
#include "lwio.h"
#include "lwpanel.h"

namespace {

class CoreServicesUi : public CoreFixture {
protected:
    // Saves the image's reference and loads it back in the given form.
    KorvalithImage* roundTrip(KorvalithImage* image, int ioMode, std::string* bytes = nullptr) {
        hostsim::SaveState save(ioMode);
        core->saveImageRef(image, save.state());
        EXPECT_TRUE(save.finish()) << save.error();
        if (bytes) *bytes = save.data();
        hostsim::LoadState load(save.data(), ioMode);
        KorvalithImage* loaded = core->loadImageRef(load.state());
        EXPECT_FALSE(load.failed()) << load.error();
        return loaded;
    }
    // A reference block naming a path, in the given form.
    std::string referenceTo(const std::string& path, int ioMode) {
        hostsim::SaveState save(ioMode);
        const LWBlockIdent file{LWID_('F', 'I', 'L', 'E'), "Filename"};
        save.state()->beginBlk(save.state()->writeData, &file, 1);
        save.state()->writeStr(save.state()->writeData, path.c_str());
        save.state()->endBlk(save.state()->writeData);
        EXPECT_TRUE(save.finish());
        return save.data();
    }
    KorvalithImage* load(const std::string& bytes, int ioMode) {
        hostsim::LoadState load(bytes, ioMode);
        return core->loadImageRef(load.state());
    }
};

TEST_F(CoreServicesUi, ImageReferencesRoundTripInBothForms) {
    const std::string path = testfiles::writeJp2("ref.jp2", 64, 64, 3);
    KorvalithImage* image = core->acquireImage(path.c_str());
    ASSERT_NE(image, nullptr);
    for (int mode : {LWIO_BINARY, LWIO_ASCII}) {
        SCOPED_TRACE(mode);
        std::string bytes;
        KorvalithImage* loaded = roundTrip(image, mode, &bytes);
        EXPECT_EQ(loaded, image);  // the same registered image, one more reference
        core->releaseImage(loaded);
        if (mode == LWIO_ASCII) {
            EXPECT_NE(bytes.find("Filename"), std::string::npos) << bytes;
        }
    }
    core->releaseImage(image);
    // An empty reference loads as no image, without any message.
    for (int mode : {LWIO_BINARY, LWIO_ASCII}) EXPECT_EQ(roundTrip(nullptr, mode), nullptr);
    EXPECT_TRUE(host.messages().messages().empty());
}

TEST_F(CoreServicesUi, LaterReferencesReplaceEarlierOnesWithoutLeakingThem) {
    const std::string a = testfiles::writeJp2("ref_a.jp2", 64, 64, 1);
    const std::string b = testfiles::writeJp2("ref_b.jp2", 64, 64, 1);
    const std::string bytes = referenceTo(a, LWIO_BINARY) + referenceTo(b, LWIO_BINARY);
    KorvalithImage* image = load(bytes, LWIO_BINARY);
    ASSERT_NE(image, nullptr);
    EXPECT_STREQ(core->imageName(image), "ref_b.jp2");
    EXPECT_EQ(core->imageCount(), 1);
    core->releaseImage(image);
}

TEST_F(CoreServicesUi, MissingImageOnARenderNodeShowsAnError) {
    host.setApplication(hostsim::AppType::RenderNode);
    host.activate("Global", "KorvalithCoreServices", 1, nullptr);  // refresh the host words
    EXPECT_EQ(load(referenceTo("/missing/city.jp2", LWIO_ASCII), LWIO_ASCII), nullptr);
    const auto log = host.messages().messages();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].kind, hostsim::MessageKind::Error);
    EXPECT_EQ(log[0].title, "Korvalith Pro V1.0.5a (Win64): Error opening image ");
    EXPECT_EQ(log[0].lines[0], "/missing/city.jp2: No such file or directory");  // the path and why
    EXPECT_TRUE(host.fileRequests().requests().empty());
}

TEST_F(CoreServicesUi, MissingImageAsksForAReplacement) {
    const std::string replacement = testfiles::writeJp2("replacement.jp2", 64, 64, 3);
    const std::string reference = referenceTo("/missing/city.jp2", LWIO_BINARY);

    // No: no image.
    host.messages().queueAnswer(false);
    EXPECT_EQ(load(reference, LWIO_BINARY), nullptr);
    auto log = host.messages().messages();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].kind, hostsim::MessageKind::Question);
    EXPECT_EQ(log[0].title, "Korvalith Pro V1.0.5a (Win64) Aug 18 2006: Error");
    EXPECT_EQ(log[0].lines[0], "/missing/city.jp2: No such file or directory");  // the path and why
    EXPECT_EQ(log[0].lines[1],
              "Error opening image file.\nThe file either does not exist or can't be loaded by Korvalith Pro.\n"
              "Replace with another image file?");

    // Yes, then cancel in the dialog: no image.
    host.messages().queueAnswer(true);
    host.fileRequests().queueCancel();
    EXPECT_EQ(load(reference, LWIO_BINARY), nullptr);

    // Yes, then a file that fails too, yes again, then a good one.
    host.messages().queueAnswer(true);
    host.fileRequests().queueChoice("/still/missing.jp2");
    host.messages().queueAnswer(true);
    host.fileRequests().queueChoice(replacement);
    KorvalithImage* image = load(reference, LWIO_BINARY);
    ASSERT_NE(image, nullptr);
    EXPECT_STREQ(core->imageName(image), "replacement.jp2");
    const auto requests = host.fileRequests().requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].title, "Replace Image");
    EXPECT_EQ(requests[0].fileType, "*.ecw;*.jp2;*.jpf;*.jpx;*.j2c;*.j2k;*.jpc");
    EXPECT_EQ(requests[0].bufLen, 260);
    EXPECT_EQ(requests[0].type, FREQ_LOAD);
    core->releaseImage(image);
}

TEST_F(CoreServicesUi, ReplacementInsideTheContentDirectoryIsKeptRelative) {
    const std::filesystem::path content = std::filesystem::path(::testing::TempDir()) / "content";
    std::filesystem::create_directories(content / "Images");
    const std::string file = testfiles::writeJp2("content/Images/inside.jp2", 64, 64, 1);
    host.directories().setContent(content.string());
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(content);  // relative paths resolve against the content folder
    host.messages().queueAnswer(true);
    host.fileRequests().queueChoice(file);
    KorvalithImage* image = load(referenceTo("/missing.jp2", LWIO_ASCII), LWIO_ASCII);
    std::filesystem::current_path(cwd);
    ASSERT_NE(image, nullptr);
    EXPECT_STREQ(core->imagePath(image), "Images/inside.jp2");
    EXPECT_EQ(host.fileRequests().requests().at(0).path, (content / "Images").string());
    core->releaseImage(image);
}

// The logo is the built-in picture, stored bottom row first as blue, green,
// red, drawn the right way up and centred on white, with the version and
// date at the top right: compared pixel for pixel with a canvas painted by
// hand from the picture's bytes.
TEST_F(CoreServicesUi, LogoIsCentredOnWhiteWithTheVersion) {
    using korvalith::kLogoHeight;
    using korvalith::kLogoPicture;
    using korvalith::kLogoWidth;
    auto stored = [](int row, int column) { return kLogoPicture + (row * kLogoWidth + column) * 3; };
    // A picture that reads the same upside down or with red and blue
    // swapped could not show those faults.
    bool upsideDownDiffers = false;
    for (int k = 0; k < kLogoHeight; ++k)
        upsideDownDiffers |= std::memcmp(stored(k, 0), stored(kLogoHeight - 1 - k, 0), kLogoWidth * 3) != 0;
    ASSERT_TRUE(upsideDownDiffers);
    bool redIsNotBlue = false;
    for (int i = 0; i < kLogoWidth * kLogoHeight; ++i) redIsNotBlue |= kLogoPicture[i * 3] != kLogoPicture[i * 3 + 2];
    ASSERT_TRUE(redIsNotBlue);

    // Odd spare room on both axes: the picture's corner is rounded down.
    const int width = 410, height = 211;
    const int left = (width - kLogoWidth) / 2, top = (height - kLogoHeight) / 2;
    ASSERT_EQ(left, 103);
    ASSERT_EQ(top, 53);
    hostsim::Canvas canvas(width, height);
    core->drawLogo(canvas.area(), width, height);

    hostsim::Canvas expected(width, height);
    expected.fill({255, 255, 255});
    // Stored row k is picture row n = 104 − k, drawn at y = top + n.
    for (int k = 0; k < kLogoHeight; ++k)
        for (int i = 0; i < kLogoWidth; ++i) {
            const unsigned char* bgr = stored(k, i);
            expected.setPixel(left + i, top + kLogoHeight - k, {bgr[2], bgr[1], bgr[0]});
        }
    const char* version = "V1.0.5a (Win64)";
    const char* date = "Aug 18 2006";
    expected.drawText(version, 4137, width - hostsim::Canvas::textWidth(version) - 4, 4);
    expected.drawText(date, 4137, width - hostsim::Canvas::textWidth(date) - 4, hostsim::Canvas::textHeight(date) + 8);

    EXPECT_EQ(canvas.texts(), expected.texts());
    long wrong = 0;
    std::string first;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (!(canvas.pixel(x, y) == expected.pixel(x, y)) && wrong++ == 0)
                first = "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
    EXPECT_EQ(wrong, 0) << "first wrong pixel at " << first;
}

// Colour settings that invert or leave colours alone. Like the layer's
// colour correction, a change of what they do sets the changed flag only
// when the owner says so.
class InvertSettings : public korvalith::ColourSettings {
public:
    bool changed() const override { return changed_; }
    void clearChanged() override { changed_ = false; }
    void correctColour(float rgb[3]) const override {
        for (int i = 0; i < 3; ++i) rgb[i] = correctScalar(rgb[i]);
    }
    float correctScalar(float v) const override { return invert_ ? 1 - v : v; }
    bool changed_ = true;
    bool invert_ = true;
};

// How often an image's previews read the file, and how many bitmaps they
// built, read from the module's image.
using PreviewCounts = std::pair<int, int>;
PreviewCounts previewCounts(KorvalithImage* image) {
    return {image->preview().fileReads(), image->preview().bitmapBuilds()};
}

// Each size of preview reads the file once; a bitmap is built once per
// settings and channel and rebuilt only when the settings say they changed.
TEST_F(CoreServicesUi, PreviewsAreReadOnceAndRebuiltWhenSettingsChange) {
    const std::string path = testfiles::writeJp2("preview.jp2", 64, 64, 3, [](int, int, int b) { return b * 100; });
    KorvalithImage* image = core->acquireImage(path.c_str());
    ASSERT_NE(image, nullptr);
    const hostsim::Rgb plain{0, 100, 200}, inverted{255, 155, 55};
    InvertSettings settings;
    hostsim::Canvas canvas(16, 16);
    // Draws on a black canvas; true when every pixel came out in one colour.
    auto drawnAllIn = [&](hostsim::Rgb colour, int channel, korvalith::ColourSettings* with) {
        canvas.fill({0, 0, 0});
        core->drawPreview(image, canvas.area(), 16, 16, channel, with);
        return canvas.count(colour) == 16 * 16;
    };
    const struct {
        const char* step;
        std::function<void()> before;
        korvalith::ColourSettings* settings;
        hostsim::Rgb colour;
        int reads, builds;
    } steps[] = {
        {"first draw without settings", [] {}, nullptr, plain, 1, 1},
        {"again: nothing new", [] {}, nullptr, plain, 1, 1},
        {"settings, changed", [] {}, &settings, inverted, 1, 2},
        {"settings unchanged", [] {}, &settings, inverted, 1, 2},
        {"what the settings do changes, the flag not yet: the old bitmap", [&] { settings.invert_ = false; },
         &settings, inverted, 1, 2},
        {"the flag set: rebuilt in the new colours", [&] { settings.changed_ = true; }, &settings, plain, 1, 3},
        {"the first entry kept its own bitmap", [] {}, nullptr, plain, 1, 3},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.step);
        step.before();
        EXPECT_TRUE(drawnAllIn(step.colour, 0, step.settings));
        EXPECT_EQ(previewCounts(image), (PreviewCounts{step.reads, step.builds}));
        if (step.settings) {
            EXPECT_FALSE(settings.changed_);  // building cleared it
        }
    }

    // Another channel is another bitmap from the same read.
    settings.invert_ = true;
    settings.changed_ = true;
    const int lum = static_cast<int>(std::abs(1 - (0.587f * 100 / 255 + 0.114f * 200 / 255)) * 255 + 0.499999999986);
    const uint8_t l = static_cast<uint8_t>(lum);
    EXPECT_TRUE(drawnAllIn({l, l, l}, 5, &settings));  // luminance
    EXPECT_EQ(previewCounts(image), (PreviewCounts{1, 4}));
    // Another size reads the file again, once.
    hostsim::Canvas wide(24, 8);
    for (int i = 0; i < 2; ++i) core->drawPreview(image, wide.area(), 24, 8, 0, nullptr);
    EXPECT_EQ(wide.count(plain), 24 * 8);
    EXPECT_EQ(previewCounts(image), (PreviewCounts{2, 5}));

    // A null image draws the logo.
    hostsim::Canvas logo(210, 110);
    core->drawPreview(nullptr, logo.area(), 210, 110, 0, nullptr);
    EXPECT_EQ(logo.texts().size(), 2u);
    core->releaseImage(image);
}

TEST_F(CoreServicesUi, AboutBoxShowsTheCore) {
    core->showAbout("About Korvalith Pro", "");
    const auto shown = host.panels().shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, "About Korvalith Pro");
    EXPECT_TRUE(shown[0].blocking);
    ASSERT_EQ(shown[0].texts.size(), 1u);
    EXPECT_EQ(shown[0].texts[0].back(), "Memory used by images: 0.00 Bytes");
    EXPECT_EQ(host.panels().live(), 0);
}

}  // namespace
