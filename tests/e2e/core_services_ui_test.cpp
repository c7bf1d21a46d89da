// Image references in scene blocks, the replace-image dialog, the logo,
// previews and the about box, through the loaded KorvalithPro module.
#include <gtest/gtest.h>

#include <filesystem>

#include "canvas.h"
#include "colour_settings.h"
#include "core_fixture.h"
#include "core_services.h"
#include "file_io.h"
#include "host.h"
#include "jp2_fixture.h"
#include "lw_io.h"
#include "lw_panel.h"

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
    for (int mode : {LWIO_BINARY, LWIO_TEXT}) {
        SCOPED_TRACE(mode);
        std::string bytes;
        KorvalithImage* loaded = roundTrip(image, mode, &bytes);
        EXPECT_EQ(loaded, image);  // the same registered image, one more reference
        core->releaseImage(loaded);
        if (mode == LWIO_TEXT) {
            EXPECT_NE(bytes.find("Filename"), std::string::npos) << bytes;
        }
    }
    core->releaseImage(image);
    // An empty reference loads as no image, without any message.
    for (int mode : {LWIO_BINARY, LWIO_TEXT}) EXPECT_EQ(roundTrip(nullptr, mode), nullptr);
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
    EXPECT_EQ(load(referenceTo("/missing/city.jp2", LWIO_TEXT), LWIO_TEXT), nullptr);
    const auto log = host.messages().messages();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].kind, hostsim::MessageKind::Error);
    EXPECT_EQ(log[0].title, "Korvalith Pro V1.0.5a (Win64): Error opening image ");
    EXPECT_EQ(log[0].lines[0], "/missing/city.jp2");
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
    EXPECT_EQ(log[0].lines[0], "/missing/city.jp2");
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
    KorvalithImage* image = load(referenceTo("/missing.jp2", LWIO_TEXT), LWIO_TEXT);
    std::filesystem::current_path(cwd);
    ASSERT_NE(image, nullptr);
    EXPECT_STREQ(core->imagePath(image), "Images/inside.jp2");
    EXPECT_EQ(host.fileRequests().requests().at(0).path, (content / "Images").string());
    core->releaseImage(image);
}

TEST_F(CoreServicesUi, LogoIsCentredOnWhiteWithTheVersion) {
    hostsim::Canvas canvas(403, 204);
    core->drawLogo(canvas.area(), 403, 204);
    EXPECT_EQ(canvas.pixel(0, 0), (hostsim::Rgb{255, 255, 255}));
    EXPECT_EQ(canvas.pixel(402, 203), (hostsim::Rgb{255, 255, 255}));
    // The picture covers x 100 … 302 and y 51 … 154; something in it is not white.
    long coloured = 0;
    for (int y = 51; y <= 154; ++y)
        for (int x = 100; x <= 302; ++x) coloured += !(canvas.pixel(x, y) == hostsim::Rgb{255, 255, 255});
    EXPECT_GT(coloured, 1000);
    const auto& texts = canvas.texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].text, "V1.0.5a (Win64)");
    EXPECT_EQ(texts[0].colour, 4137);
    EXPECT_EQ(texts[0].x, 403 - 15 * hostsim::Canvas::kCharWidth - 4);
    EXPECT_EQ(texts[0].y, 4);
    EXPECT_EQ(texts[1].text, "Aug 18 2006");
    EXPECT_EQ(texts[1].y, hostsim::Canvas::kLineHeight + 8);
}

// Counts calls of the settings and inverts colours.
class InvertSettings : public korvalith::ColourSettings {
public:
    bool changed() const override { return changed_; }
    void clearChanged() override { changed_ = false; }
    void correctColour(float rgb[3]) const override {
        for (int i = 0; i < 3; ++i) rgb[i] = 1 - rgb[i];
    }
    float correctScalar(float v) const override { return 1 - v; }
    bool changed_ = true;
};

TEST_F(CoreServicesUi, PreviewsAreReadOnceAndRebuiltWhenSettingsChange) {
    const std::string path = testfiles::writeJp2("preview.jp2", 64, 64, 3, [](int, int, int b) { return b * 100; });
    KorvalithImage* image = core->acquireImage(path.c_str());
    ASSERT_NE(image, nullptr);
    hostsim::Canvas canvas(16, 16);
    core->drawPreview(image, canvas.area(), 16, 16, 0, nullptr);
    EXPECT_EQ(canvas.pixel(5, 5), (hostsim::Rgb{0, 100, 200}));

    InvertSettings settings;
    core->drawPreview(image, canvas.area(), 16, 16, 0, &settings);
    EXPECT_EQ(canvas.pixel(5, 5), (hostsim::Rgb{255, 155, 55}));
    EXPECT_FALSE(settings.changed_);  // building cleared it
    core->drawPreview(image, canvas.area(), 16, 16, 5, &settings);  // luminance
    const int lum = static_cast<int>(std::abs(1 - (0.587f * 100 / 255 + 0.114f * 200 / 255)) * 255 + 0.499999999986);
    EXPECT_EQ(canvas.pixel(1, 1).r, lum);

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
