#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "host.h"
#include "lwhost.h"
#include "lwserver.h"

namespace {

class Dialogs : public ::testing::Test {
protected:
    LWDirInfoFunc* dirInfo() {
        return reinterpret_cast<LWDirInfoFunc*>(hostsim::Host::lookupFunction()(LWDIRINFOFUNC_GLOBAL, GFUSE_TRANSIENT));
    }
    LWFileReqFunc* simpleRequest() {
        return reinterpret_cast<LWFileReqFunc*>(hostsim::Host::lookupFunction()(LWFILEREQFUNC_GLOBAL, GFUSE_TRANSIENT));
    }
    LWFileActivateFunc* fileRequest() {
        return reinterpret_cast<LWFileActivateFunc*>(
            hostsim::Host::lookupFunction()(LWFILEACTIVATEFUNC_GLOBAL, GFUSE_TRANSIENT));
    }
    hostsim::Host host;
};

TEST_F(Dialogs, DirectoriesDefaultToTheWorkingDirectoryAndCanBeSet) {
    ASSERT_NE(dirInfo(), nullptr);
    const std::string cwd = std::filesystem::current_path().string();
    ASSERT_NE(dirInfo()("Content"), nullptr);
    EXPECT_EQ(std::string(dirInfo()("Content")), cwd);
    EXPECT_EQ(std::string(dirInfo()("Images")), cwd + "/Images");
    EXPECT_EQ(dirInfo()("Plugins"), nullptr);
    EXPECT_EQ(dirInfo()(nullptr), nullptr);

    const char* before = dirInfo()("Content");
    host.directories().setContent("C:\\Content\\");
    EXPECT_STREQ(dirInfo()("Content"), "C:\\Content\\");
    EXPECT_STREQ(before, cwd.c_str()) << "an earlier answer stays readable";
    host.directories().set("Images", "/data/images");
    EXPECT_STREQ(dirInfo()("Images"), "/data/images");
    host.directories().remove("Images");
    EXPECT_EQ(dirInfo()("Images"), nullptr);
    EXPECT_EQ(host.directories().asked().size(), 9u);
}

// A caller's request record with buffers of a given length.
struct Request {
    explicit Request(int type, int len = 260, const char* startPath = "/start", const char* name = "*.jp2")
        : path(static_cast<size_t>(len), '\0'), base(static_cast<size_t>(len), '\0'), full(static_cast<size_t>(len), '\0') {
        std::strncpy(path.data(), startPath, path.size() - 1);
        std::strncpy(base.data(), name, base.size() - 1);
        std::strcpy(full.data(), "");
        local = {type, 99, "Load Image", "*.ecw;*.jp2", path.data(), base.data(), full.data(), len, nullptr};
    }
    std::string path, base, full;
    LWFileReqLocal local;
    std::string pathText() const { return path.c_str(); }
    std::string baseText() const { return base.c_str(); }
    std::string fullText() const { return full.c_str(); }
};

TEST_F(Dialogs, FileRequestsAreAnsweredFromTheQueueAndRecorded) {
    struct Case {
        const char* name;
        int type;
        int bufLen;
        bool cancel;
        std::string choice;
        int result;
        std::string path, base, full;  // buffers afterwards
    } cases[] = {
        {"load", FREQ_LOAD, 260, false, "C:\\Content\\Images\\city.ecw", 1, "C:\\Content\\Images", "city.ecw",
         "C:\\Content\\Images\\city.ecw"},
        {"save", FREQ_SAVE, 260, false, "/data/out/city.jp2", 1, "/data/out", "city.jp2", "/data/out/city.jp2"},
        {"directory", FREQ_DIRECTORY, 260, false, "/data/out", 1, "/data/out", "", "/data/out"},
        {"cancel", FREQ_LOAD, 260, true, "", 0, "/start", "*.jp2", ""},
        {"fits exactly", FREQ_LOAD, 11, false, "/a/b/c.jp2", 1, "/a/b", "c.jp2", "/a/b/c.jp2"},
        {"one too long", FREQ_LOAD, 10, false, "/a/b/c.jp2", -1, "/start", "*.jp2", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host.fileRequests().clear();
        if (c.cancel) host.fileRequests().queueCancel();
        else host.fileRequests().queueChoice(c.choice);
        Request r(c.type, c.bufLen);
        EXPECT_EQ(fileRequest()(LWFILEREQ_VERSION, &r.local), 0);
        EXPECT_EQ(r.local.result, c.result);
        EXPECT_EQ(r.pathText(), c.path);
        EXPECT_EQ(r.baseText(), c.base);
        EXPECT_EQ(r.fullText(), c.full);

        const auto log = host.fileRequests().requests();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].type, c.type);
        EXPECT_EQ(log[0].title, "Load Image");
        EXPECT_EQ(log[0].fileType, "*.ecw;*.jp2");
        EXPECT_EQ(log[0].path, "/start");
        EXPECT_EQ(log[0].baseName, "*.jp2");
        EXPECT_EQ(log[0].bufLen, c.bufLen);
        EXPECT_EQ(log[0].result, c.result);
        EXPECT_EQ(host.fileRequests().pending(), 0u);
    }
}

TEST_F(Dialogs, AnEmptyQueueCancels) {
    Request r(FREQ_LOAD);
    EXPECT_EQ(fileRequest()(LWFILEREQ_VERSION, &r.local), 0);
    EXPECT_EQ(r.local.result, 0);
    EXPECT_EQ(host.fileRequests().unanswered(), 1);
}

TEST_F(Dialogs, RequestsTheHostCannotServeAreRefused) {
    host.fileRequests().queueChoice("/x/y.jp2");
    Request r(FREQ_LOAD);
    EXPECT_NE(fileRequest()(2, &r.local), 0);
    EXPECT_NE(fileRequest()(4, &r.local), 0);
    EXPECT_NE(fileRequest()(LWFILEREQ_VERSION, nullptr), 0);
    Request noPicker(FREQ_MULTILOAD);  // a multiple load needs its pickName
    EXPECT_EQ(fileRequest()(LWFILEREQ_VERSION, &noPicker.local), AFUNC_BADLOCAL);
    Request badType(7);
    EXPECT_NE(fileRequest()(LWFILEREQ_VERSION, &badType.local), 0);
    Request noRoom(FREQ_LOAD);
    noRoom.local.bufLen = 0;
    EXPECT_NE(fileRequest()(LWFILEREQ_VERSION, &noRoom.local), 0);
    Request noBuffer(FREQ_LOAD);
    noBuffer.local.fullName = nullptr;
    EXPECT_NE(fileRequest()(LWFILEREQ_VERSION, &noBuffer.local), 0);
    EXPECT_EQ(r.local.result, 99) << "nothing was written";
    EXPECT_EQ(host.fileRequests().refused(), 7);
    EXPECT_EQ(host.fileRequests().pending(), 1u) << "refusals use no answer";
    EXPECT_TRUE(host.fileRequests().requests().empty());
}

TEST_F(Dialogs, UnterminatedStartingBuffersAreReadOnlyToTheirLength) {
    Request r(FREQ_LOAD, 8);
    std::memset(r.path.data(), 'p', 8);  // no terminator at all
    EXPECT_EQ(fileRequest()(LWFILEREQ_VERSION, &r.local), 0);
    EXPECT_EQ(host.fileRequests().requests()[0].path, "pppppppp");
}

// A multiple load hands each chosen file to pickName in turn, with the
// buffers naming that file, until pickName answers nonzero.
std::vector<std::string> g_picked;
LWFileReqLocal* g_picking = nullptr;
int g_stopAfter = 0;
int pick() {
    g_picked.push_back(g_picking->fullName);
    return static_cast<int>(g_picked.size()) == g_stopAfter ? 1 : 0;
}

TEST_F(Dialogs, AMultipleLoadHandsEachFileToPickName) {
    const std::vector<std::string> files{"/img/a.jp2", "/img/b.jp2", "/other/c.jp2"};
    for (int stopAfter : {0, 2}) {
        SCOPED_TRACE(stopAfter);
        host.fileRequests().clear();
        host.fileRequests().queueChoices(files);
        Request r(FREQ_MULTILOAD);
        r.local.pickName = pick;
        g_picking = &r.local;
        g_picked.clear();
        g_stopAfter = stopAfter;
        EXPECT_EQ(fileRequest()(LWFILEREQ_VERSION, &r.local), AFUNC_OK);
        EXPECT_EQ(r.local.result, 1);
        const std::vector<std::string> expected(files.begin(), stopAfter ? files.begin() + stopAfter : files.end());
        EXPECT_EQ(g_picked, expected);
        EXPECT_EQ(host.fileRequests().requests().back().picked, static_cast<int>(expected.size()));
    }
}

TEST_F(Dialogs, TheOlderFileRequestIsALoadDialogOfItsOwn) {
    std::string name(64, '\0'), path(64, '\0'), full(64, '\0');
    std::strcpy(name.data(), "*.jp2");
    std::strcpy(path.data(), "/start");
    host.fileRequests().queueChoice("/img/city.jp2");
    EXPECT_EQ(simpleRequest()("Load Image", name.data(), path.data(), full.data(), 64), 1);
    EXPECT_STREQ(full.c_str(), "/img/city.jp2");
    EXPECT_STREQ(path.c_str(), "/img");
    EXPECT_STREQ(name.c_str(), "city.jp2");

    host.fileRequests().queueChoice("/a/much/longer/path/than/the/buffer.jp2");
    EXPECT_EQ(simpleRequest()("Load Image", name.data(), path.data(), full.data(), 16), 0) << "did not fit";
    EXPECT_EQ(simpleRequest()("Load Image", name.data(), path.data(), full.data(), 64), 0) << "empty queue";
    const auto log = host.fileRequests().requests();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].version, 0);
    EXPECT_EQ(log[0].type, FREQ_LOAD);
    EXPECT_EQ(log[0].title, "Load Image");
    EXPECT_EQ(log[1].result, -1);
    EXPECT_NE(hostsim::Host::lookupFunction()(LWFILEREQFUNC_GLOBAL, GFUSE_TRANSIENT),
              hostsim::Host::lookupFunction()(LWFILEACTIVATEFUNC_GLOBAL, GFUSE_TRANSIENT))
        << "two services with different functions";
}

}  // namespace
