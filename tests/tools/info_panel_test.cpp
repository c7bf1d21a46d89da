#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "byte_size.h"
#include "host.h"
#include "host_access.h"
#include "info_panel.h"
#include "logo_picture.h"

namespace {

using hostsim::Rgb;
using korvalith::kLogoHeight;
using korvalith::kLogoPicture;
using korvalith::kLogoWidth;

TEST(ByteSizes, StepThroughTheUnitsAbove1024) {
    const double KB = 1024.0, MB = KB * KB, GB = MB * KB, TB = GB * KB;
    const struct {
        double bytes;
        const char* text;
    } cases[] = {
        {0, "0.00 Bytes"},
        {1023, "1023.00 Bytes"},
        {1024, "1024.00 Bytes"},
        {1025, "1.00 KB"},
        {1536, "1.50 KB"},
        {MB, "1024.00 KB"},
        {MB + 1, "1.00 MB"},
        {40000.0 * 20000.0 * 3.0, "2.24 GB"},
        {TB * 1024, "1024.00 TB"},
        {TB * 1024 * 1024, "1048576.00 TB"},
        {-5, "-5.00 Bytes"},
    };
    for (const auto& c : cases) EXPECT_EQ(korvalith::formatByteSize(c.bytes), c.text) << c.bytes;
    const std::string huge = korvalith::formatByteSize(1e300);
    EXPECT_EQ(huge.substr(huge.size() - 3), " TB");
    EXPECT_GT(huge.size(), 280u);
}

TEST(LogoPicture, IsAPictureOnWhite) {
    long white = 0, other = 0;
    for (int i = 0; i < kLogoWidth * kLogoHeight; ++i) {
        const unsigned char* p = kLogoPicture + i * 3;
        (p[0] == 255 && p[1] == 255 && p[2] == 255 ? white : other)++;
    }
    EXPECT_GT(white, 0);
    EXPECT_GT(other, kLogoWidth * kLogoHeight / 20);
    // The corners are background.
    for (int corner : {0, kLogoWidth - 1, (kLogoHeight - 1) * kLogoWidth, kLogoWidth * kLogoHeight - 1})
        EXPECT_EQ(kLogoPicture[corner * 3], 255);
}

class InfoPanels : public ::testing::Test {
protected:
    void SetUp() override { korvalith::setHostLookup(hostsim::Host::lookupFunction()); }
    void TearDown() override { korvalith::setHostLookup(nullptr); }
    static int value(LWControl* c, cTag tag) {
        LWValue v{};
        c->get(c, tag, &v);
        return v.intv.value;
    }
    hostsim::Host host;
};

const char* const kLines[] = {"Image: city", "File: C:\\Content\\Images\\city.jp2",
                              "A rather long line that makes the text control wider than the picture", nullptr};

TEST_F(InfoPanels, ShowThePictureCentredOnWhiteAboveTheLines) {
    {
        korvalith::InfoPanel panel("Korvalith Pro: About", kLines);
        ASSERT_TRUE(panel.created());
        EXPECT_EQ(host.use("LWPanelServices").held(), 1) << "held while the panel lives";
        LWControl* canvas = panel.canvas();
        ASSERT_NE(canvas, nullptr);
        EXPECT_TRUE(panel.show());

        const auto shown = host.panels().shown();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].title, "Korvalith Pro: About");
        EXPECT_TRUE(shown[0].blocking);
        ASSERT_EQ(shown[0].texts.size(), 1u);
        EXPECT_EQ(shown[0].texts[0].size(), 3u);
        EXPECT_EQ(shown[0].texts[0][1], kLines[1]);

        // The canvas took the panel's first width (that of the widest text
        // line), then moved to (w1 - w0) / 2 + 6, w1 being the width of the
        // panel around the widened canvas.
        using hostsim::PanelLayout;
        const int w0 = value(canvas, CTL_W);
        EXPECT_EQ(w0, static_cast<int>(std::strlen(kLines[2])) * hostsim::Canvas::kCharWidth +
                          2 * PanelLayout::kTextPadding + 2 * PanelLayout::kMargin);
        const int w1 = w0 + 2 * PanelLayout::kMargin;
        const int x = value(canvas, CTL_X);
        EXPECT_EQ(x, (w1 - w0) / 2 + 6);
        EXPECT_EQ(shown[0].image.width(), x + w0 + PanelLayout::kMargin);

        // Inside the canvas: white around the picture, the picture in the
        // middle, upright and in its own colours.
        const auto& image = shown[0].image;
        const int cy = value(canvas, CTL_Y), h = value(canvas, CTL_H);
        ASSERT_EQ(h, kLogoHeight);
        const int left = x + (w0 - kLogoWidth) / 2, top = cy;
        for (int row = cy; row < cy + h; ++row) {
            EXPECT_EQ(image.pixel(x, row), (Rgb{255, 255, 255}));
            EXPECT_EQ(image.pixel(x + w0 - 1, row), (Rgb{255, 255, 255}));
        }
        int mismatches = 0;
        for (int i = 0; i < kLogoHeight; ++i)
            for (int j = 0; j < kLogoWidth; ++j) {
                const unsigned char* p = kLogoPicture + ((kLogoHeight - 1 - i) * kLogoWidth + j) * 3;
                mismatches += image.pixel(left + j, top + i) != Rgb{p[2], p[1], p[0]};
            }
        EXPECT_EQ(mismatches, 0);
        // Outside the canvas the panel's own background remains.
        EXPECT_EQ(image.pixel(x - 1, cy), hostsim::PanelLayout::kBackground);
    }
    EXPECT_EQ(host.panels().live(), 0) << "discarding destroys the panel";
    EXPECT_TRUE(host.use("LWPanelServices").balanced());
}

TEST_F(InfoPanels, ANarrowPanelKeepsThePictureCentred) {
    const char* const shortLines[] = {"ok", nullptr};
    korvalith::showInfoPanel("Short", shortLines);
    const auto shown = host.panels().shown();
    ASSERT_EQ(shown.size(), 1u);
    // The picture is the widest control: the canvas is as wide as the first
    // panel, so the picture has a white band of the margins on each side.
    const auto& image = shown[0].image;
    const int x = hostsim::PanelLayout::kMargin + 6;
    const int w0 = kLogoWidth + 2 * hostsim::PanelLayout::kMargin;
    const int left = x + (w0 - kLogoWidth) / 2;
    const int y = hostsim::PanelLayout::kMargin;
    for (int j = x; j < left; ++j) EXPECT_EQ(image.pixel(j, y + 50), (Rgb{255, 255, 255})) << j;
    const unsigned char* p = kLogoPicture + ((kLogoHeight - 1 - 50) * kLogoWidth + 101) * 3;
    EXPECT_EQ(image.pixel(left + 101, y + 50), (Rgb{p[2], p[1], p[0]}));
    EXPECT_EQ(host.panels().live(), 0);
}

TEST_F(InfoPanels, NothingIsShownWithoutAHostPanel) {
    host.panels().refuseCreate(true);
    {
        korvalith::InfoPanel panel("Refused", kLines);
        EXPECT_FALSE(panel.created());
        EXPECT_FALSE(panel.show());
    }
    EXPECT_TRUE(host.panels().shown().empty());
    EXPECT_TRUE(host.use("LWPanelServices").balanced());

    host.unregisterService("LWPanelServices");
    korvalith::showInfoPanel("No service", kLines);
    EXPECT_TRUE(host.panels().shown().empty());
    EXPECT_EQ(host.use("LWPanelServices").unbalancedReleases, 0);
}

TEST_F(InfoPanels, NoLinesGiveAnEmptyText) {
    korvalith::showInfoPanel("Empty", nullptr);
    const auto shown = host.panels().shown();
    ASSERT_EQ(shown.size(), 1u);
    ASSERT_EQ(shown[0].texts.size(), 1u);
    EXPECT_TRUE(shown[0].texts[0].empty());
}

}  // namespace
