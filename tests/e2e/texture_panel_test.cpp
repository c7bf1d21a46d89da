// The texture's panel driven like a user: layout by projection, popups,
// enable rules, the handler-level options, Load and Replace Image, the
// thumbnail and the option buttons.
#include <algorithm>
#include <fstream>

#include "texture_fixture.h"

namespace {

using TexturePanel = TextureFixture;

TEST_F(TexturePanel, LayoutFollowsTheProjection) {
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    ASSERT_NE(panel, nullptr);
    // What the texture never shows.
    for (unsigned long id : {0x910Bul, 0x9107ul, 0x9109ul, 0x910Aul, 0x910Cul, 0x910Ful, 0x9110ul, 0x9113ul, 0x9114ul,
                             0x9115ul, 0x9103ul, 0x914Ful, 0x914Eul, 0x9150ul})
        EXPECT_FALSE(panel->exists(id)) << std::hex << id;
    EXPECT_EQ(panel->popupItems(0x9102), (std::vector<std::string>{"Planar", "Cylindrical", "Spherical", "Cubic",
                                                                   "Front", "Spherical Section"}));
    struct Case {
        int position;
        bool fixed, camera, segments;
    } cases[] = {{0, false, false, false}, {3, false, false, false}, {4, true, true, false}, {5, false, false, true}};
    for (const auto& c : cases) {
        SET_INT(panel, 0x9102, c.position);
        EXPECT_EQ(panel->visible(0x9106), c.fixed) << c.position;
        EXPECT_EQ(panel->visible(0x9145), c.fixed) << c.position;
        EXPECT_EQ(panel->visible(0x9108), c.camera) << c.position;
        EXPECT_EQ(panel->visible(0x911E), c.segments) << c.position;
    }
    // The segment stack shows the one angle "Segment Angles" picks.
    SET_INT(panel, 0x911E, 2);
    EXPECT_TRUE(panel->visible(0x9121));  // "Top Edge"
    EXPECT_FALSE(panel->visible(0x9122));
    EXPECT_EQ(panel->label(0x9106), "Fixed");
    EXPECT_EQ(panel->label(0x9117), "About Korvalith...");
    EXPECT_EQ(panel->tabOf(0x9002), "Image");
    EXPECT_EQ(panel->tabOf(0x914D), "Editing");
    EXPECT_EQ(panel->tabOf(0x9104), "UV Tiling");
    EXPECT_EQ(panel->popupItems(0x9104), (std::vector<std::string>{"Reset", "Repeat", "Mirror", "Edge"}));
    destroy(instance);
}

// The host takes the panel's whole data description: every value the
// texture shows is described with the data type its control class takes.
TEST_F(TexturePanel, EveryShownValueIsDescribedWithItsClasssDataType) {
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    ASSERT_NE(panel, nullptr);
    for (unsigned int id : {0x9102u, 0x9104u, 0x9105u, 0x913Bu, 0x913Du, 0x913Fu, 0x913Eu, 0x9106u, 0x9145u, 0x9121u,
                            0x9122u, 0x9123u, 0x9124u, 0x9000u, 0x9001u, 0x9147u, 0x9148u, 0x9149u, 0x914Au, 0x914Bu,
                            0x914Cu, 0x9111u, 0x9112u, 0x9003u, 0x9004u, 0x912Bu, 0x9108u}) {
        ASSERT_TRUE(panel->exists(id)) << std::hex << id;
        EXPECT_TRUE(panel->bound(id)) << std::hex << id << " " << panel->controlClass(id);
    }
    for (const std::string& note : panel->notes())
        EXPECT_EQ(note.find("describe"), std::string::npos) << note;
    destroy(instance);
}

TEST_F(TexturePanel, ImageAndChannelPopupsAndTheButtonsThatNeedAnImage) {
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    for (unsigned long id : {0x9116ul, 0x9119ul, 0x911Cul, 0x911Dul}) EXPECT_FALSE(panel->enabled(id));
    const std::string a = image("first.jp2"), b = image("second.jp2", 64, 64, 1);
    KorvalithImage* first = core->acquireImage(a.c_str());
    KorvalithImage* second = core->acquireImage(b.c_str());
    auto items = panel->popupItems(0x9000);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0], "(none)");
    EXPECT_EQ(items[1], "(load image)");

    SET_INT(panel, 0x9000, core->imageIndex(first) + 2);
    EXPECT_EQ(panel->lastRefreshCode(), 3);
    for (unsigned long id : {0x9116ul, 0x9119ul, 0x911Cul, 0x911Dul}) EXPECT_TRUE(panel->enabled(id));
    EXPECT_EQ(panel->popupItems(0x9001)[0], "RGB");
    SET_INT(panel, 0x9001, 2);
    // The image it already shows: nothing released, nothing taken.
    SET_INT(panel, 0x9000, core->imageIndex(first) + 2);
    EXPECT_EQ(panel->lastRefreshCode(), 1);
    EXPECT_EQ(panel->shownInt(0x9001), 2);
    // Another image: the channel falls back to 0 and the old reference goes.
    SET_INT(panel, 0x9000, core->imageIndex(second) + 2);
    EXPECT_EQ(panel->shownInt(0x9001), 0);
    EXPECT_EQ(panel->popupItems(0x9001).size(), 1u);  // one band: "Channel 1"-like single choice
    core->releaseImage(first);
    EXPECT_EQ(core->imageCount(), 1);  // first had only our reference left
    SET_INT(panel, 0x9000, 0);
    core->releaseImage(second);
    EXPECT_EQ(core->imageCount(), 0);
    destroy(instance);
}

TEST_F(TexturePanel, LoadImageThroughTheFileRequest) {
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    const std::string path = image("loaded.jp2");
    host.fileRequests().queueChoice(path);
    SET_INT(panel, 0x9000, 1);
    EXPECT_EQ(host.fileRequests().requests().back().title, "Load Image");
    EXPECT_EQ(host.fileRequests().requests().back().fileType, "*.ecw;*.jp2;*.jpf;*.jpx;*.j2c;*.j2k;*.jpc");
    EXPECT_EQ(panel->shownInt(0x9000), 2);
    // A file the codec cannot read keeps the image and says why.
    const std::string text = ::testing::TempDir() + "texture-not-an-image.jp2";
    std::ofstream(text) << "plain text, not JPEG 2000\n";
    host.fileRequests().queueChoice(text);
    SET_INT(panel, 0x9000, 1);
    EXPECT_EQ(panel->shownInt(0x9000), 2);
    EXPECT_EQ(host.messages().messages().back().lines, std::vector<std::string>{"is not a supported image format"});
    // Cancelled: nothing changes.
    host.fileRequests().queueCancel();
    SET_INT(panel, 0x9000, 1);
    EXPECT_EQ(panel->shownInt(0x9000), 2);
    destroy(instance);
}

TEST_F(TexturePanel, PickingAnImageCountsFromWhereTheImagesAreNow) {
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    EXPECT_TRUE(panel->popupItems(0x9001).empty());  // no image, no channels
    KorvalithImage* images[4];
    const char* names[4] = {"a.jp2", "b.jp2", "c.jp2", "d.jp2"};
    for (int i = 0; i < 4; ++i) images[i] = core->acquireImage(image(names[i], 32, 32, i == 3 ? 1 : 3).c_str());
    SET_INT(panel, 0x9000, core->imageIndex(images[2]) + 2);  // c, shown as choice 4
    // a goes away: c moves up to choice 3 and d takes choice 4. Picking d
    // (without the panel having read the image choice again) shows d.
    core->releaseImage(images[0]);
    SET_INT(panel, 0x9000, core->imageIndex(images[3]) + 2);
    EXPECT_EQ(panel->lastRefreshCode(), 3);
    EXPECT_STREQ(handler.inst->descln(instance), "Korvalith Pro: d.jp2");
    EXPECT_EQ(panel->popupItems(0x9001).size(), 1u);
    for (int i = 1; i < 4; ++i) core->releaseImage(images[i]);
    destroy(instance);
}

TEST_F(TexturePanel, LoadImageKeepsAPathThatOnlySharesTheContentDirectorysText) {
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    const std::string path = image("beside.jp2");
    const std::string folder = path.substr(0, path.rfind('/'));
    // "…/Suite.Test" is the file's folder; "…/Suite.Tes" is a Content
    // directory that the folder's text begins with, not one it lies in.
    host.directories().set("Content", folder.substr(0, folder.size() - 1));
    host.fileRequests().queueChoice(path);
    SET_INT(panel, 0x9000, 1);
    ASSERT_EQ(core->imageCount(), 1);
    EXPECT_STREQ(core->imagePath(core->imageAt(0)), path.c_str());
    destroy(instance);
}

TEST_F(TexturePanel, LowResPreviewWarnsWhenTurnedOff) {
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    const size_t before = host.messages().messages().size();
    SET_INT(panel, 0x9111, 0);
    EXPECT_EQ(panel->lastRefreshCode(), 3);
    ASSERT_EQ(host.messages().messages().size(), before + 1);
    EXPECT_EQ(host.messages().messages().back().title, "Korvalith Pro");
    EXPECT_EQ(host.messages().messages().back().lines,
              std::vector<std::string>{"Turning off 'Low Res Preview' may severely slow down your Layout response time!"});
    SET_INT(panel, 0x9111, 1);
    EXPECT_EQ(host.messages().messages().size(), before + 1);
    EXPECT_EQ(core->getPreviewFlag(), 1);
    // The flags are the core's: a second panel shows the same.
    LWInstance other = create();
    hostsim::ViewPanel* second = openPanel(other);
    SET_INT(panel, 0x9112, 1);
    host.xpanels().viewRefresh(second->id());
    EXPECT_EQ(second->shownInt(0x9112), 1);
    SET_INT(panel, 0x9112, 0);
    destroy(other);
    destroy(instance);
}

TEST_F(TexturePanel, ChangesAskTheHostToUpdateTheInstance) {
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    SET_INT(panel, 0x9104, 2);
    const auto updates = host.scene().instanceUpdates();
    ASSERT_FALSE(updates.empty());
    EXPECT_EQ(updates.back().className, "TextureHandler");
    EXPECT_EQ(updates.back().instance, instance);
    destroy(instance);
}

TEST_F(TexturePanel, ThumbnailShowsThePreviewOrTheLogo) {
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    auto logo = panel->drawControl(0x9002, 120, 90);
    ASSERT_TRUE(logo.has_value());
    showImage(*this, core, panel, image("thumb.jp2"));
    auto preview = panel->drawControl(0x9002, 120, 90);
    ASSERT_TRUE(preview.has_value());
    EXPECT_NE(logo->rgb(), preview->rgb());
    destroy(instance);
}

TEST_F(TexturePanel, ReplaceImageChangesTheFileForEveryLayerThatShowsIt) {
    LWInstance a = create(), b = create();
    hostsim::ViewPanel* panelA = openPanel(a);
    hostsim::ViewPanel* panelB = openPanel(b);
    showImage(*this, core, panelA, image("before.jp2"));
    SET_INT(panelB, 0x9000, 2);
    SET_INT(panelA, 0x9001, 1);
    SET_INT(panelB, 0x9001, 1);
    host.fileRequests().queueChoice(image("after.jp2", 128, 128));
    ASSERT_TRUE(panelA->press(0x9119));
    EXPECT_EQ(host.fileRequests().requests().back().title, "Replace Image");
    EXPECT_STREQ(handler.inst->descln(a), "Korvalith Pro: after.jp2");
    EXPECT_STREQ(handler.inst->descln(b), "Korvalith Pro: after.jp2");
    EXPECT_EQ(panelA->shownInt(0x9001), 0);
    EXPECT_EQ(panelB->shownInt(0x9001), 1);
    destroy(a);
    destroy(b);
}

TEST_F(TexturePanel, OptionButtons) {
    LWInstance instance = create();
    hostsim::ViewPanel* panel = openPanel(instance);
    showImage(*this, core, panel, image("options.jp2"));
    size_t shown = host.panels().shown().size();
    ASSERT_TRUE(panel->press(0x9116));  // image information
    ASSERT_EQ(host.panels().shown().size(), shown + 1);
    EXPECT_EQ(host.panels().shown().back().title, "Korvalith Pro: Image information");
    EXPECT_EQ(host.panels().shown().back().texts.at(0).at(0), "Image: options.jp2");
    ASSERT_TRUE(panel->press(0x9117));  // about
    EXPECT_EQ(host.panels().shown().back().title, "About Korvalith Pro");
    ASSERT_TRUE(panel->press(0x9118));  // free memory
    EXPECT_EQ(host.messages().messages().back().title, "Korvalith Pro:");
    ASSERT_TRUE(panel->press(0x9118));
    EXPECT_EQ(host.messages().messages().back().lines, std::vector<std::string>{"0.00 Bytes Released"});
    // Tools this build does not hold say so, by name.
    struct Case {
        unsigned long button;
        const char* tool;
    } missing[] = {{0x911A, "Korvalith Converter"}, {0x911B, "Korvalith Browser"}, {0x911C, "Create Proxy Image"},
                   {0x911D, "Update/Create OGL Layer"}};
    for (const auto& m : missing) {
        ASSERT_TRUE(panel->press(m.button));
        EXPECT_EQ(host.messages().messages().back().title, m.tool);
    }
    const auto commands = host.scene().commands();
    EXPECT_TRUE(std::any_of(commands.begin(), commands.end(),
                            [](const hostsim::CommandRecord& c) { return c.text == "Generic_Korvalith_Converter"; }));
    destroy(instance);
}

}  // namespace
