#include <gtest/gtest.h>

#include "host.h"
#include "lw_mtutil.h"

namespace {

class MutexGroupsTest : public ::testing::Test {
protected:
    const LWMTUtilFuncs* mt() {
        return static_cast<const LWMTUtilFuncs*>(hostsim::Host::lookupFunction()(LWMTUTILFUNCS_GLOBAL, GFUSE_TRANSIENT));
    }
    hostsim::Host host;
};

TEST_F(MutexGroupsTest, BothFunctionSetsWorkAndAreCountedApart) {
    LWMTGroupID older = mt()->create();
    LWMTGroupID current = mt()->groupCreate(1);
    ASSERT_NE(older, nullptr);
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(mt()->lock(older, 0), 1);
    EXPECT_EQ(mt()->groupLockMutex(current, 127), 1);
    EXPECT_EQ(mt()->unlock(older, 0), 1);
    EXPECT_EQ(mt()->groupUnlockMutex(current, 127), 1);
    mt()->destroy(older);
    mt()->groupDestroy(current);

    const auto s = host.mutexGroups().stats();
    EXPECT_EQ(s.createdOlder, 1);
    EXPECT_EQ(s.createdCurrent, 1);
    EXPECT_EQ(s.locksOlder, 1);
    EXPECT_EQ(s.locksCurrent, 1);
    EXPECT_EQ(s.unlocks, 2);
    EXPECT_EQ(s.destroyed, 2);
    EXPECT_EQ(s.live, 0);
    EXPECT_EQ(s.badCalls, 0);
}

TEST_F(MutexGroupsTest, MisuseIsRefusedAndCounted) {
    LWMTGroupID older = mt()->create();
    LWMTGroupID current = mt()->groupCreate(1);
    EXPECT_EQ(mt()->lock(older, LWMT_GROUP_MUTEXES), 0);    // index out of range
    EXPECT_EQ(mt()->lock(older, -1), 0);
    EXPECT_EQ(mt()->unlock(older, 3), 0);                   // not locked
    EXPECT_EQ(mt()->groupLockMutex(older, 0), 0);           // group of the other set
    EXPECT_EQ(mt()->lock(nullptr, 0), 0);                   // no group
    EXPECT_EQ(mt()->groupLockMutex(current, 2), 1);
    EXPECT_EQ(mt()->groupLockMutex(current, 2), 0);         // already held by this thread
    EXPECT_EQ(mt()->groupUnlockMutex(current, 2), 1);
    mt()->destroy(older);
    mt()->destroy(older);                                   // twice
    mt()->groupDestroy(current);
    EXPECT_EQ(host.mutexGroups().stats().badCalls, 7);
    EXPECT_EQ(host.mutexGroups().stats().live, 0);
}

}  // namespace
