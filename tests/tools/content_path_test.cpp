#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "content_path.h"
#include "file_io.h"
#include "host.h"
#include "host_access.h"
#include "image_file_request.h"

namespace {

using korvalith::ContentPath;

class ContentPaths : public ::testing::Test {
protected:
    void SetUp() override { korvalith::setHostLookup(hostsim::Host::lookupFunction()); }
    void TearDown() override { korvalith::setHostLookup(nullptr); }
    hostsim::Host host;
};

struct SplitCase {
    const char* name;
    std::optional<std::string> base;  // "Content" directory; none: no directory type
    std::string full;
    std::string fileName, subDirectory;
    bool relative;
};

// Paths written for the host's platform, with "\" as the separator.
const SplitCase kWindowsCases[] = {
    {"BelowTheBase", "C:\\Content", "C:\\Content\\Images\\city.ecw", "city.ecw", "Images", true},
    {"DeeperBelowTheBase", "C:\\Content", "C:\\Content\\a\\b\\city.ecw", "city.ecw", "a\\b", true},
    {"ElsewhereStaysAbsolute", "C:\\Content", "D:\\maps\\city.ecw", "city.ecw", "D:\\maps", false},
    {"InTheBaseItself", "C:\\Content", "C:\\Content\\city.ecw", "city.ecw", "", true},
    {"BaseEndingInASeparator", "C:\\Content\\", "C:\\Content\\Images\\city.ecw", "city.ecw", "Images", true},
    {"BaseWithSeparatorFileInIt", "C:\\Content\\", "C:\\Content\\city.ecw", "city.ecw", "", true},
    {"SharedPrefixIsNotBelow", "C:\\Content", "C:\\Content2\\city.ecw", "city.ecw", "C:\\Content2", false},
    {"NoDirectoryType", std::nullopt, "C:\\a\\b.ecw", "b.ecw", "C:\\a", true},
    {"NetworkShareKeepsItsSlashes", "C:\\Content", "\\\\server\\share\\city.ecw", "city.ecw", "\\\\server\\share",
     false},
    {"NoSeparatorIsAFileName", "C:\\Content", "city.ecw", "city.ecw", "", false},
    {"DriveRoot", "C:\\Content", "C:\\city.ecw", "city.ecw", "C:", false},
    {"CaseMatters", "C:\\Content", "c:\\content\\city.ecw", "city.ecw", "c:\\content", false},
};

class WindowsPaths : public ContentPaths, public ::testing::WithParamInterface<SplitCase> {};

TEST_P(WindowsPaths, SplitAndComposeBackToTheSamePath) {
    const SplitCase& c = GetParam();
    if (c.base) host.directories().set("Content", *c.base);
    ContentPath path(c.base ? "Content" : nullptr, '\\');
    path.setFullPath(c.full);
    path.splitPath();
    EXPECT_EQ(path.fileName(), c.fileName);
    EXPECT_EQ(path.subDirectory(), c.subDirectory);
    EXPECT_EQ(path.relative(), c.relative);
    EXPECT_EQ(path.composePath(), c.full);
    EXPECT_TRUE(path.fullPathCurrent());
}

INSTANTIATE_TEST_SUITE_P(Cases, WindowsPaths, ::testing::ValuesIn(kWindowsCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ContentPaths, RelativePathsFollowTheBaseDirectory) {
    host.directories().set("Content", "C:\\Content");
    ContentPath path("Content", '\\');
    path.setFullPath("C:\\Content\\Images\\city.ecw");
    path.splitPath();
    host.directories().set("Content", "E:\\Projects\\");
    EXPECT_EQ(path.composePath(), "E:\\Projects\\Images\\city.ecw");
    path.composeFullPath();
    EXPECT_EQ(path.fullPath(), "E:\\Projects\\Images\\city.ecw");

    // An absolute one does not.
    path.setFullPath("D:\\maps\\city.ecw");
    path.splitPath();
    host.directories().set("Content", "F:\\Other");
    EXPECT_EQ(path.composePath(), "D:\\maps\\city.ecw");
}

TEST_F(ContentPaths, DirectoryInfoIsHeldOnlyDuringEachOperation) {
    host.directories().set("Images", "C:\\Content\\Images");
    {
        ContentPath path("Images", '\\');
        EXPECT_EQ(host.use("Directory Info").acquired, 0) << "nothing is asked on construction";
        path.setFullPath("C:\\Content\\Images\\a\\x.ecw");
        path.splitPath();
        EXPECT_EQ(host.use("Directory Info").held(), 0);
        EXPECT_EQ(path.composePath(), "C:\\Content\\Images\\a\\x.ecw");
        EXPECT_EQ(host.use("Directory Info").held(), 0);
        EXPECT_GE(host.use("Directory Info").acquired, 2);
    }
    EXPECT_TRUE(host.use("Directory Info").balanced());
}

TEST_F(ContentPaths, AnUnansweredDirectoryTypeOrNoHostMeansNoBase) {
    ContentPath unknown("Plugins", '\\');  // the host has no such type
    unknown.setFullPath("C:\\x\\y.ecw");
    unknown.splitPath();
    EXPECT_TRUE(unknown.relative());
    EXPECT_EQ(unknown.composePath(), "C:\\x\\y.ecw");

    korvalith::setHostLookup(nullptr);
    ContentPath noHost("Content", '\\');
    EXPECT_EQ(noHost.baseDirectory(), "");
    noHost.setFullPath("C:\\x\\y.ecw");
    noHost.splitPath();
    EXPECT_EQ(noHost.composePath(), "C:\\x\\y.ecw");
}

TEST_F(ContentPaths, ChangingAPartMakesTheFullPathStale) {
    ContentPath path("Content", '\\');
    EXPECT_FALSE(path.fullPathCurrent()) << "new paths start not current";
    EXPECT_TRUE(path.relative()) << "and relative";
    EXPECT_EQ(path.fullPath(), "");

    host.directories().set("Content", "C:\\Content");
    path.setFullPath("C:\\Content\\Images\\city.ecw");
    path.splitPath();
    ASSERT_TRUE(path.fullPathCurrent());
    path.replaceExtension(".jp2");
    EXPECT_FALSE(path.fullPathCurrent());
    EXPECT_EQ(path.fullPath(), "C:\\Content\\Images\\city.ecw");
    path.composeFullPath();
    EXPECT_TRUE(path.fullPathCurrent());
    EXPECT_EQ(path.fullPath(), "C:\\Content\\Images\\city.jp2");
    path.setFileName("other.jp2");
    EXPECT_FALSE(path.fullPathCurrent());
    path.setSubDirectory("D:\\out", false);
    path.composeFullPath();
    EXPECT_EQ(path.fullPath(), "D:\\out\\other.jp2");
}

TEST(Extensions, ReplaceAndSaverNames) {
    const struct {
        const char* fileName;
        const char* extension;
        const char* result;
    } replacements[] = {
        {"archive.tar.gz", ".jp2", "archive.tar.jp2"},
        {"README", ".jp2", "README.jp2"},
        {"city.ecw", "", "city"},
        {".hidden", ".tga", ".tga"},
        {"", ".jp2", ".jp2"},
    };
    for (const auto& r : replacements) EXPECT_EQ(korvalith::replaceExtension(r.fileName, r.extension), r.result);

    const struct {
        const char* saver;
        const char* extension;
    } savers[] = {
        {"Targa (.tga)", ".tga"},
        {"LW_PNG(.png)", ".png"},
        {"A (b) (.tif)", ".tif"},
        {"Plain", ""},
        {"Only (open", ""},
        {"Close) then (open", ""},
        {"Empty ()", ""},
    };
    for (const auto& s : savers) EXPECT_EQ(korvalith::extensionOfSaver(s.saver), s.extension) << s.saver;
    EXPECT_EQ(korvalith::extensionOfSaver(nullptr), "");
}

TEST_F(ContentPaths, ProxyNamesFromASaverSwapOnlyTheExtension) {
    ContentPath path("Images", '\\');
    host.directories().set("Images", "C:\\Content\\Images");
    for (const auto& [saver, expected] : {std::pair{"Targa (.tga)", "D:\\maps\\city.tga"},
                                          {"Plain Saver", "D:\\maps\\city"}}) {
        path.setFullPath("D:\\maps\\city.ecw");
        path.splitPath();
        path.replaceExtension(korvalith::extensionOfSaver(saver));
        path.composeFullPath();
        EXPECT_EQ(path.fullPath(), expected);
    }
}

// ---------------------------------------------------------------- real files

class ContentFiles : public ContentPaths {
protected:
    void SetUp() override {
        ContentPaths::SetUp();
        root_ = std::filesystem::temp_directory_path() /
                ("korvalith_content_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::create_directories(root_ / "Images");
        std::ofstream(root_ / "Images" / "city.jp2") << "x";
        host.directories().setContent(root_.string());
    }
    void TearDown() override {
        std::filesystem::remove_all(root_);
        ContentPaths::TearDown();
    }
    std::string at(const std::string& rest) const { return (root_ / rest).string(); }
    std::filesystem::path root_;
};

TEST_F(ContentFiles, SetPathFromFileTakesExistingPathsDirectlyOrBelowTheBase) {
    ContentPath path("Content");
    EXPECT_TRUE(path.setPathFromFile(at("Images/city.jp2")));
    EXPECT_EQ(path.fullPath(), at("Images/city.jp2"));
    EXPECT_TRUE(path.relative());
    EXPECT_EQ(path.subDirectory(), "Images");
    EXPECT_EQ(path.fileName(), "city.jp2");

    ContentPath below("Content");
    EXPECT_TRUE(below.setPathFromFile("Images/city.jp2"));
    EXPECT_EQ(below.fullPath(), at("Images/city.jp2"));
    EXPECT_EQ(below.composePath(), at("Images/city.jp2"));

    EXPECT_TRUE(below.setPathFromFile("Images")) << "a directory counts too";
    EXPECT_EQ(below.fileName(), "Images");
}

TEST_F(ContentFiles, NamesOfNothingChangeNothing) {
    ContentPath path("Content");
    ASSERT_TRUE(path.setPathFromFile(at("Images/city.jp2")));
    for (const std::string& text : {std::string("Images/missing.jp2"), at("nowhere/city.jp2"), std::string()}) {
        EXPECT_FALSE(path.setPathFromFile(text)) << text;
        EXPECT_EQ(path.fullPath(), at("Images/city.jp2"));
        EXPECT_EQ(path.fileName(), "city.jp2");
    }
    // Without a base, a bare name is not looked for in the root directory.
    ContentPath noBase;
    EXPECT_FALSE(noBase.setPathFromFile("city.jp2"));
}

TEST_F(ContentFiles, LoadAndSaveThePathAsOneStringInBothForms) {
    for (int mode : {LWIO_BINARY, LWIO_ASCII}) {
        ContentPath original("Content");
        ASSERT_TRUE(original.setPathFromFile(at("Images/city.jp2")));
        hostsim::SaveState save(mode);
        original.save(save.state());
        ASSERT_TRUE(save.finish());

        hostsim::LoadState load(save.data(), mode);
        ContentPath loaded("Content");
        EXPECT_TRUE(loaded.load(load.state()));
        EXPECT_EQ(loaded.fullPath(), at("Images/city.jp2"));
        EXPECT_TRUE(loaded.relative());

        // A path saved while relative is loaded below the current base.
        hostsim::SaveState relative(mode);
        LWSAVE_STR(relative.state(), "Images/city.jp2");
        ASSERT_TRUE(relative.finish());
        hostsim::LoadState again(relative.data(), mode);
        ContentPath fromRelative("Content");
        EXPECT_TRUE(fromRelative.load(again.state()));
        EXPECT_EQ(fromRelative.fullPath(), at("Images/city.jp2"));
    }
}

TEST_F(ContentFiles, LoadingEmptyMissingOrOverlongPathsChangesNothing) {
    hostsim::SaveState save(LWIO_BINARY);
    LWSAVE_STR(save.state(), "");
    LWSAVE_STR(save.state(), "Images/missing.jp2");
    const std::string longName(2000, 'a');
    LWSAVE_STR(save.state(), longName.c_str());
    ASSERT_TRUE(save.finish());
    hostsim::LoadState load(save.data(), LWIO_BINARY);
    ContentPath path("Content");
    ASSERT_TRUE(path.setPathFromFile(at("Images/city.jp2")));
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(path.load(load.state())) << i;
        EXPECT_EQ(path.fullPath(), at("Images/city.jp2"));
    }
    EXPECT_FALSE(path.load(load.state())) << "nothing left to read";
    EXPECT_FALSE(path.load(nullptr));
}

}  // namespace

namespace {

// The image file request hands on a path below the host's "Content"
// directory relative to it, and any other path whole.
TEST_F(ContentPaths, ChosenImagesAreRelativeOnlyBelowTheContentDirectory) {
    const struct {
        const char* content;
        const char* chosen;
        const char* handedOn;
    } cases[] = {
        {"/x/content", "/x/content/a.jp2", "a.jp2"},
        {"/x/content", "/x/content/maps/a.jp2", "maps/a.jp2"},
        {"/x/content/", "/x/content/a.jp2", "a.jp2"},
        {"/x/content", "/x/content2/a.jp2", "/x/content2/a.jp2"},
        {"/x/content", "/x/contents.jp2", "/x/contents.jp2"},
        {"/x/content", "/y/a.jp2", "/y/a.jp2"},
        {"", "/x/content/a.jp2", "/x/content/a.jp2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.content) + " | " + c.chosen);
        host.directories().set("Content", c.content);
        host.fileRequests().queueChoice(c.chosen);
        std::string handedOn;
        ASSERT_TRUE(korvalith::requestImageFile("Load Image", &handedOn));
        EXPECT_EQ(handedOn, c.handedOn);
    }
}

}  // namespace
