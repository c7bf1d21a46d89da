#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

#include "host.h"
#include "lwhost.h"
#include "lwserver.h"

namespace {

std::string fixture(const std::string& name) { return std::string(FIXTURE_DIR) + "/fixture_" + name + ".so"; }

class Services : public ::testing::Test {
protected:
    void* look(const char* name, int use) { return hostsim::Host::lookupFunction()(name, use); }
    hostsim::Host host;
};

TEST_F(Services, CountsAcquireReleaseTransientAndUnbalancedReleases) {
    int table = 0;
    host.registerService("Test Service", &table);
    EXPECT_EQ(look("Test Service", GFUSE_ACQUIRE), &table);
    EXPECT_EQ(look("Test Service", GFUSE_ACQUIRE), &table);
    EXPECT_EQ(look("Test Service", GFUSE_TRANSIENT), &table);
    EXPECT_EQ(host.use("Test Service").held(), 2);
    EXPECT_FALSE(host.allBalanced());

    look("Test Service", GFUSE_RELEASE);
    look("Test Service", GFUSE_RELEASE);
    EXPECT_TRUE(host.use("Test Service").balanced());
    EXPECT_EQ(host.use("Test Service").transient, 1);

    look("Test Service", GFUSE_RELEASE);  // one more than was held
    EXPECT_EQ(host.use("Test Service").unbalancedReleases, 1);
    EXPECT_FALSE(host.allBalanced());
}

TEST_F(Services, UnknownNamesAreRefusedAndCounted) {
    EXPECT_EQ(look("No Such Service", GFUSE_ACQUIRE), nullptr);
    EXPECT_EQ(look("No Such Service", GFUSE_TRANSIENT), nullptr);
    EXPECT_EQ(host.use("No Such Service").refused, 2);
    EXPECT_EQ(host.use("No Such Service").held(), 0);
    EXPECT_EQ(look(nullptr, GFUSE_TRANSIENT), nullptr);
}

TEST_F(Services, SystemAndProductWords) {
    const struct {
        hostsim::AppType app;
        int major;
        uint32_t system;
        uint32_t product;
    } cases[] = {
        {hostsim::AppType::Layout, 9, 0x00000000u, 0x00900000u},
        {hostsim::AppType::Modeler, 8, 0x10000000u, 0x00800000u},
        {hostsim::AppType::RenderNode, 11, 0x20000000u, 0x00B00000u},
    };
    for (const auto& c : cases) {
        host.setApplication(c.app);
        host.setMajorVersion(c.major);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(look(LWSYSTEMID_GLOBAL, GFUSE_TRANSIENT)), c.system);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(look(LWPRODUCTINFO_GLOBAL, GFUSE_TRANSIENT)), c.product);
    }
}

TEST_F(Services, MessagesAreRecordedAndQuestionsAnsweredFromTheQueue) {
    auto* messages = static_cast<const LWMessageFuncs*>(look("Info Messages 2", GFUSE_TRANSIENT));
    ASSERT_NE(messages, nullptr);
    messages->info("Title", "an info");
    messages->error("Oops", nullptr);
    messages->warning("Careful", "a warning");
    host.messages().queueAnswer(true);
    host.messages().queueAnswer(false);
    EXPECT_NE(messages->yesNo("Q1", "line one", "line two"), 0);
    EXPECT_EQ(messages->yesNo("Q2", "a", "b"), 0);
    EXPECT_EQ(messages->yesNo("Q3", "a", "b"), 0);  // queue empty: no
    EXPECT_EQ(host.messages().unansweredQuestions(), 1);

    const auto log = host.messages().messages();
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(log[0].kind, hostsim::MessageKind::Info);
    EXPECT_EQ(log[0].title, "Title");
    EXPECT_EQ(log[0].lines, std::vector<std::string>{"an info"});
    EXPECT_EQ(log[1].kind, hostsim::MessageKind::Error);
    EXPECT_EQ(log[1].lines, std::vector<std::string>{""});
    EXPECT_EQ(log[2].kind, hostsim::MessageKind::Warning);
    EXPECT_EQ(log[3].kind, hostsim::MessageKind::Question);
    EXPECT_EQ(log[3].lines, (std::vector<std::string>{"line one", "line two"}));
    EXPECT_EQ(log[3].answer, 1);
    EXPECT_EQ(log[4].answer, 0);
}

// The published order of "Info Messages 2": three notices, then the four
// questions, okCancel first. A plug-in built against the host's own header
// calls by position.
static_assert(offsetof(LWMessageFuncs, okCancel) == 3 * sizeof(void (*)()));
static_assert(offsetof(LWMessageFuncs, yesNo) == 4 * sizeof(void (*)()));
static_assert(offsetof(LWMessageFuncs, yesNoCan) == 5 * sizeof(void (*)()));
static_assert(offsetof(LWMessageFuncs, yesNoAll) == 6 * sizeof(void (*)()));
static_assert(sizeof(LWMessageFuncs) == 7 * sizeof(void (*)()));

TEST_F(Services, EachQuestionAnswersWithItsOwnButtonCodes) {
    auto* m = static_cast<const LWMessageFuncs*>(look("Info Messages 2", GFUSE_TRANSIENT));
    ASSERT_NE(m, nullptr);
    using Ask = int (*)(const char*, const char*, const char*);
    const struct {
        const char* what;
        Ask ask;
        hostsim::Buttons buttons;
        int yes, no, unanswered, yesToAll;  // yesToAll: what a reply of 3 gives
    } cases[] = {
        {"okCancel", m->okCancel, hostsim::Buttons::OkCancel, 1, 0, 0, 0},
        {"yesNo", m->yesNo, hostsim::Buttons::YesNo, 1, 0, 0, 0},
        {"yesNoCan", m->yesNoCan, hostsim::Buttons::YesNoCancel, 2, 1, 0, 0},
        {"yesNoAll", m->yesNoAll, hostsim::Buttons::YesNoAll, 2, 1, 0, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        host.messages().clear();
        host.messages().queueAnswer(true);
        host.messages().queueAnswer(false);
        host.messages().queueReply(hostsim::reply::kYesToAll);
        host.messages().queueReply(hostsim::reply::kCancel);
        EXPECT_EQ(c.ask("Q", "line", nullptr), c.yes);
        EXPECT_EQ(c.ask("Q", "line", nullptr), c.no);
        EXPECT_EQ(c.ask("Q", "line", nullptr), c.yesToAll);
        EXPECT_EQ(c.ask("Q", "line", nullptr), 0);
        EXPECT_EQ(c.ask("Q", "line", nullptr), c.unanswered);
        EXPECT_EQ(host.messages().unansweredQuestions(), 1);
        const auto log = host.messages().messages();
        ASSERT_EQ(log.size(), 5u);
        EXPECT_EQ(log[0].buttons, c.buttons);
        EXPECT_EQ(log[2].answer, c.yesToAll);
    }
}

TEST_F(Services, UnknownNamesReachTheGlobalServersOfLoadedModules) {
    host.loadModule(fixture("good"));
    void* answer = look("Fixture Global", GFUSE_ACQUIRE);
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(static_cast<const int*>(answer)[3], 4);
    // The answer is kept: a second lookup does not activate again.
    const int transientBefore = host.use("Info Messages 2").transient;
    EXPECT_EQ(look("Fixture Global", GFUSE_TRANSIENT), answer);
    EXPECT_EQ(host.use("Info Messages 2").transient, transientBefore);
    look("Fixture Global", GFUSE_RELEASE);
    EXPECT_TRUE(host.use("Fixture Global").balanced());

    // A global that refuses answers null, and a name no server has too.
    EXPECT_EQ(look("Fixture Refusing Global", GFUSE_ACQUIRE), nullptr);
    EXPECT_EQ(host.use("Fixture Refusing Global").refused, 1);
    EXPECT_EQ(look("Fixture Global Extra", GFUSE_ACQUIRE), nullptr);
}

TEST_F(Services, AHeldGlobalLocksTheModuleThatSuppliesIt) {
    hostsim::Module& module = host.loadModule(fixture("good"));
    ASSERT_NE(look("Fixture Global", GFUSE_ACQUIRE), nullptr);
    ASSERT_NE(look("Fixture Global", GFUSE_ACQUIRE), nullptr);
    look("Fixture Global", GFUSE_TRANSIENT);  // a transient use holds nothing
    EXPECT_EQ(module.locks(), 2);
    EXPECT_THROW(host.unloadModule(module), hostsim::HostError);

    look("Fixture Global", GFUSE_RELEASE);
    EXPECT_THROW(host.unloadModule(module), hostsim::HostError);
    look("Fixture Global", GFUSE_RELEASE);
    look("Fixture Global", GFUSE_RELEASE);  // unbalanced: no lock goes below none
    EXPECT_EQ(module.locks(), 0);
    EXPECT_NO_THROW(host.unloadModule(module));
    EXPECT_EQ(host.use("Fixture Global").unbalancedReleases, 1);
}

TEST_F(Services, GlobalAnswersDieWithTheirModule) {
    hostsim::Module& module = host.loadModule(fixture("good"));
    ASSERT_NE(look("Fixture Global", GFUSE_TRANSIENT), nullptr);
    host.unloadModule(module);
    EXPECT_EQ(look("Fixture Global", GFUSE_TRANSIENT), nullptr);
}

}  // namespace
