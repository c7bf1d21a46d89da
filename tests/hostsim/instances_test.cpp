// The host's handler instances: made and destroyed through the server's
// functions, asked for their items before a render, told about changed ids
// and renamed items.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host.h"
#include "instances.h"
#include "lwrender.h"
#include "scene.h"

namespace {

// A handler whose instances keep the items they use and log what the host
// asked of them.
struct Recorder {
    std::vector<LWItemID> uses;  // ended by null when handed out
    std::vector<std::vector<LWItemID>> changes;
    std::vector<std::string> renames;  // "old>new"
    std::vector<LWItemID> renamed;
    std::vector<std::string>* log = nullptr;
    std::string name;
};

std::vector<std::string> g_log;

LWInstance create(void*, void* context, LWError* error) {
    if (!context) {
        *error = "no context";
        return nullptr;
    }
    auto* r = new Recorder;
    r->name = static_cast<const char*>(context);
    return r;
}
void destroy(LWInstance instance) {
    auto* r = static_cast<Recorder*>(instance);
    g_log.push_back("destroy " + r->name);
    delete r;
}
const LWItemID* useItems(LWInstance instance) {
    auto* r = static_cast<Recorder*>(instance);
    g_log.push_back("useItems " + r->name);
    return r->uses.data();
}
void changeID(LWInstance instance, const LWItemID* ids) {
    auto* r = static_cast<Recorder*>(instance);
    std::vector<LWItemID> pairs;
    for (const LWItemID* p = ids; p[0]; p += 2) {
        pairs.push_back(p[0]);
        pairs.push_back(p[1]);
    }
    r->changes.push_back(pairs);
}

void changeName(LWInstance instance, const LWNameChangeData* change) {
    auto* r = static_cast<Recorder*>(instance);
    r->renames.push_back(std::string(change->oldName) + ">" + change->newName);
    r->renamed.push_back(change->id);
}

LWInstanceFuncs kInstanceFuncs{nullptr, create, destroy, nullptr, nullptr, nullptr, nullptr};
LWItemFuncs kItemFuncs{useItems, changeID, nullptr};
LWItemFuncs kNamingItemFuncs{useItems, changeID, changeName};

class InstancesTest : public ::testing::Test {
protected:
    void SetUp() override { g_log.clear(); }
    Recorder& recorder(LWInstance instance) { return *static_cast<Recorder*>(instance); }
    hostsim::Host host;
};

TEST_F(InstancesTest, UsedItemsAreAskedBeforeARenderAndReadUpToTheNull) {
    const LWItemID camera = host.scene().addCamera("Camera");
    const LWItemID object = host.scene().addObject("Ground");
    LWInstance tracking = host.instances().create(&kInstanceFuncs, &kItemFuncs, const_cast<char*>("a"));
    LWInstance untracked = host.instances().create(&kInstanceFuncs, nullptr, const_cast<char*>("b"));
    ASSERT_NE(tracking, nullptr);
    recorder(tracking).uses = {camera, nullptr, object, nullptr};
    EXPECT_TRUE(host.instances().usedItems(tracking).empty());  // not asked yet

    host.instances().gatherUsedItems();
    EXPECT_EQ(host.instances().usedItems(tracking), std::vector<LWItemID>{camera});
    EXPECT_EQ(host.instances().usedItemsAsked(tracking), 1);
    EXPECT_EQ(host.instances().usedItemsAsked(untracked), 0);
    EXPECT_EQ(g_log, std::vector<std::string>{"useItems a"});
    host.instances().destroy(tracking);
    host.instances().destroy(untracked);
}

TEST_F(InstancesTest, DeletedItemsChangeToNullInOneCallPerInstance) {
    const LWItemID object = host.scene().addObject("Ground");
    const LWItemID bone = host.scene().addBone("Bone", object);
    const LWItemID kept = host.scene().addCamera("Camera");
    LWInstance a = host.instances().create(&kInstanceFuncs, &kItemFuncs, const_cast<char*>("a"));
    LWInstance b = host.instances().create(&kInstanceFuncs, &kItemFuncs, const_cast<char*>("b"));
    host.scene().removeItem(object);  // and its bone
    for (LWInstance i : {a, b}) {
        ASSERT_EQ(recorder(i).changes.size(), 1u);
        EXPECT_EQ(recorder(i).changes[0], (std::vector<LWItemID>{object, nullptr, bone, nullptr}));
    }
    EXPECT_TRUE(host.scene().contains(kept));
    host.instances().destroy(a);
    host.instances().destroy(b);
}

TEST_F(InstancesTest, RenamedItemsAreToldToInstancesThatTrackNames) {
    const LWItemID camera = host.scene().addCamera("Camera");
    LWInstance naming = host.instances().create(&kInstanceFuncs, &kNamingItemFuncs, const_cast<char*>("a"));
    LWInstance ids = host.instances().create(&kInstanceFuncs, &kItemFuncs, const_cast<char*>("b"));
    LWInstance none = host.instances().create(&kInstanceFuncs, nullptr, const_cast<char*>("c"));
    host.scene().rename(camera, "Front");
    host.scene().rename(camera, "Front");  // no change, no call
    host.scene().rename(camera, "Side");
    EXPECT_EQ(recorder(naming).renames, (std::vector<std::string>{"Camera>Front", "Front>Side"}));
    EXPECT_EQ(recorder(naming).renamed, (std::vector<LWItemID>{camera, camera}));
    EXPECT_TRUE(recorder(ids).renames.empty());
    EXPECT_TRUE(recorder(none).renames.empty());
    EXPECT_STREQ(host.scene().name(camera), "Side");
    for (LWInstance i : {naming, ids, none}) host.instances().destroy(i);
}

TEST_F(InstancesTest, ARefusedInstanceIsNotKeptAndQuittingDestroysTheRestNewestFirst) {
    LWError error = nullptr;
    EXPECT_EQ(host.instances().create(&kInstanceFuncs, &kItemFuncs, nullptr, &error), nullptr);
    EXPECT_STREQ(error, "no context");
    EXPECT_EQ(host.instances().count(), 0);
    host.instances().create(&kInstanceFuncs, &kItemFuncs, const_cast<char*>("first"));
    LWInstance second = host.instances().create(&kInstanceFuncs, nullptr, const_cast<char*>("second"));
    host.instances().create(&kInstanceFuncs, nullptr, const_cast<char*>("third"));
    host.instances().destroy(second);
    host.instances().destroy(second);  // a second time: not the host's any more
    host.unloadAll();
    EXPECT_EQ(g_log, (std::vector<std::string>{"destroy second", "destroy third", "destroy first"}));
    EXPECT_EQ(host.instances().count(), 0);
}

}  // namespace
