#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "host.h"
#include "lwmtutil.h"
#include "lwserver.h"

#if defined(__SANITIZE_THREAD__)
// The lock-order tests below take the host's mutexes in both orders on
// purpose; ThreadSanitizer rightly reports such pairs everywhere else.
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_suppressions() {
    return "deadlock:tests/hostsim/mutex_groups_test.cpp\n";
}
#endif

namespace {

class MutexGroupsTest : public ::testing::Test {
protected:
    const LWMTUtilFuncs* mt() {
        return static_cast<const LWMTUtilFuncs*>(hostsim::Host::lookupFunction()(LWMTUTILFUNCS_GLOBAL, GFUSE_TRANSIENT));
    }
    hostsim::Host host;
};

TEST_F(MutexGroupsTest, BothFunctionSetsWorkAndAreCountedApart) {
    LWMTUtilID older = mt()->create();
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
    LWMTUtilID older = mt()->create();
    LWMTGroupID current = mt()->groupCreate(1);
    EXPECT_EQ(mt()->lock(older, LWMT_MUTEX_COUNT), 0);     // index out of range
    EXPECT_EQ(mt()->lock(older, -1), 0);
    EXPECT_EQ(mt()->unlock(older, 3), 0);                   // not locked
    EXPECT_EQ(mt()->groupLockMutex(older, 0), 0);           // group of the other set
    EXPECT_EQ(mt()->lock(nullptr, 0), 0);                   // no group
    EXPECT_EQ(mt()->groupAddThread(older, [](void*) { return 0; }, 0, nullptr), nullptr);  // no thread group
    mt()->destroy(older);
    mt()->destroy(older);                                   // twice
    mt()->groupDestroy(current);
    const auto s = host.mutexGroups().stats();
    EXPECT_EQ(s.badCalls, 7);
    EXPECT_EQ(s.live, 0);
    EXPECT_EQ(s.locks(), 0);  // refused calls take no lock
    EXPECT_EQ(s.inversions, 0);
}

TEST_F(MutexGroupsTest, EveryIndexFromTheThreadLockToTheLastIsALock) {
    LWMTUtilID older = mt()->create();
    LWMTGroupID current = mt()->groupCreate(1);
    for (int index : {0, 1, 127, LWMT_MUTEX_COUNT - 1}) {
        EXPECT_EQ(mt()->lock(older, index), 1) << index;
        EXPECT_EQ(mt()->unlock(older, index), 1) << index;
        EXPECT_EQ(mt()->groupLockMutex(current, index), 1) << index;
        EXPECT_EQ(mt()->groupUnlockMutex(current, index), 1) << index;
    }
    mt()->destroy(older);
    mt()->groupDestroy(current);
    EXPECT_EQ(LWMT_MUTEX_COUNT, 129);
    EXPECT_EQ(host.mutexGroups().stats().badCalls, 0);
}

// The locks are critical sections: the owner may take one again, and it
// stays taken until the owner released it as often as it took it. The
// host counts such locks, since a plug-in should not rely on them.
TEST_F(MutexGroupsTest, TheOwnerMayTakeALockAgainAndItIsCounted) {
    LWMTGroupID group = mt()->groupCreate(1);
    ASSERT_EQ(mt()->groupLockMutex(group, 2), 1);
    ASSERT_EQ(mt()->groupLockMutex(group, 2), 1);
    ASSERT_EQ(mt()->groupUnlockMutex(group, 2), 1);

    std::atomic<bool> taken{false};
    std::thread other([&] {
        mt()->groupLockMutex(group, 2);
        taken = true;
        mt()->groupUnlockMutex(group, 2);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(taken) << "the lock was released once but taken twice";
    ASSERT_EQ(mt()->groupUnlockMutex(group, 2), 1);
    other.join();
    EXPECT_TRUE(taken);
    EXPECT_EQ(mt()->groupUnlockMutex(group, 2), 0);  // no longer held
    mt()->groupDestroy(group);

    const auto s = host.mutexGroups().stats();
    EXPECT_EQ(s.reentrantLocks, 1);
    EXPECT_EQ(s.badCalls, 1);
}

int addIndexToArgument(void* arg) {
    const auto* mt = static_cast<const LWMTUtilFuncs*>(
        hostsim::Host::lookupFunction()(LWMTUTILFUNCS_GLOBAL, GFUSE_TRANSIENT));
    mt->threadSetData(arg);
    const LWMTThreadID self = mt->threadGetID();
    if (mt->threadGetArgByID(self) != arg || mt->threadGetData() != arg) return -1;
    return *static_cast<int*>(mt->threadGetArg()) + mt->threadGetIndex() * 100 +
           mt->threadGetThreadCount(self) * 1000;
}

TEST_F(MutexGroupsTest, ThreadGroupsRunTheirThreadsAndKeepTheirResults) {
    LWMTGroupID group = mt()->groupCreate(3);
    int args[3] = {1, 2, 3};
    LWMTThreadID ids[3];
    for (int i = 0; i < 3; ++i) ids[i] = mt()->groupAddThread(group, addIndexToArgument, 0, &args[i]);
    EXPECT_EQ(mt()->groupGetThreadCount(group), 3);
    EXPECT_EQ(mt()->groupGetThreadID(group, 1), ids[1]);
    EXPECT_EQ(mt()->groupGetThreadID(group, 3), nullptr);
    EXPECT_EQ(mt()->threadGetIndexByID(ids[2]), 2);
    EXPECT_EQ(mt()->threadGetGroupID(ids[0]), group);
    EXPECT_EQ(mt()->threadGetID(), nullptr) << "the test's thread is no group thread";
    EXPECT_EQ(mt()->threadGetIndex(), -1);

    EXPECT_EQ(mt()->groupRun(group), 1);
    EXPECT_EQ(mt()->groupIsDone(group), 1);
    EXPECT_EQ(mt()->groupIsAborted(group), 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(mt()->groupThreadResult(group, i), args[i] + i * 100 + 3000) << i;

    // Begun, a group runs on its own until it is synced; meanwhile no
    // thread can be added.
    EXPECT_EQ(mt()->groupBegin(group), 1);
    EXPECT_EQ(mt()->groupBegin(group), 0);
    EXPECT_EQ(mt()->groupAddThread(group, addIndexToArgument, 0, &args[0]), nullptr);
    mt()->groupSync(group);
    EXPECT_EQ(mt()->groupThreadResult(group, 2), 3203);
    mt()->groupDestroy(group);
    EXPECT_EQ(mt()->threadGetIndexByID(ids[0]), -1) << "its group is gone";
    EXPECT_EQ(mt()->groupRun(mt()->groupCreate(1)), 0) << "a group without threads does not run";
}

int runUntilAborted(void*) {
    const auto* mt = static_cast<const LWMTUtilFuncs*>(
        hostsim::Host::lookupFunction()(LWMTUTILFUNCS_GLOBAL, GFUSE_TRANSIENT));
    int rounds = 0;
    while (!mt->threadCheckAbort()) {
        mt->threadSleep(1);
        ++rounds;
    }
    return rounds > 0 ? 1 : 2;
}

TEST_F(MutexGroupsTest, AbortedThreadsSeeTheFlagAndDestroyingWaitsForThem) {
    for (bool destroyRunning : {false, true}) {
        LWMTGroupID group = mt()->groupCreate(2);
        const LWMTThreadID first = mt()->groupAddThread(group, runUntilAborted, 0, nullptr);
        mt()->groupAddThread(group, runUntilAborted, 0, nullptr);
        ASSERT_EQ(mt()->groupBegin(group), 1);
        mt()->threadSleep(5);
        EXPECT_EQ(mt()->groupIsDone(group), 0);
        if (destroyRunning) {
            mt()->groupDestroy(group);  // aborts and waits: no thread outlives its group
            continue;
        }
        mt()->groupAbort(group);
        EXPECT_EQ(mt()->threadCheckAbortByID(first), 1);
        mt()->groupSync(group);
        EXPECT_EQ(mt()->groupIsAborted(group), 1);
        EXPECT_EQ(mt()->groupIsDone(group), 1);
        EXPECT_EQ(mt()->groupThreadResult(group, 0), 1);
        mt()->groupDestroy(group);
    }
    EXPECT_EQ(host.mutexGroups().stats().live, 0);
}

// Two groups of the current set; a mutex is a letter: A and C are indices 0
// and 5 of the first group, B and D indices 0 and 5 of the second.
class LockOrderTest : public MutexGroupsTest {
protected:
    void SetUp() override { createGroups(); }
    void TearDown() override {
        destroyGroups();
        EXPECT_EQ(host.mutexGroups().stats().badCalls, expectedBadCalls);
    }
    void createGroups() {
        first = mt()->groupCreate(1);
        second = mt()->groupCreate(1);
    }
    void destroyGroups() {
        mt()->groupDestroy(first);
        mt()->groupDestroy(second);
    }
    int lock(char m) { return mt()->groupLockMutex(group(m), index(m)); }
    int unlock(char m) { return mt()->groupUnlockMutex(group(m), index(m)); }
    // Locks the mutexes in the order written, then unlocks them in reverse.
    void nest(const std::string& order) {
        for (char m : order) EXPECT_EQ(lock(m), 1) << m;
        for (auto m = order.rbegin(); m != order.rend(); ++m) EXPECT_EQ(unlock(*m), 1) << *m;
    }
    LWMTGroupID group(char m) const { return m == 'A' || m == 'C' ? first : second; }
    static int index(char m) { return m == 'A' || m == 'B' ? 0 : 5; }
    LWMTGroupID first = nullptr, second = nullptr;
    long expectedBadCalls = 0;
};

TEST_F(LockOrderTest, PairsTakenInBothOrdersAreCountedOnce) {
    const struct {
        std::vector<std::string> nests;
        long inversions;
    } cases[] = {
        {{"AB", "AB", "A", "B"}, 0},        // one order kept
        {{"AB", "BA"}, 1},                  // across groups
        {{"AC", "CA"}, 1},                  // two indices of one group
        {{"AB", "BA", "AB", "BA"}, 1},      // each pair once
        {{"ABCD", "DA"}, 1},                // A was held, not just the last one taken
        {{"AB", "CD", "BA", "DC"}, 2},
    };
    for (const auto& c : cases) {
        std::string trace;
        for (const auto& n : c.nests) trace += n + " ";
        SCOPED_TRACE(trace);
        const long before = host.mutexGroups().stats().inversions;
        // Fresh groups: no order remembered from the case before.
        destroyGroups();
        createGroups();
        for (const auto& n : c.nests) nest(n);
        EXPECT_EQ(host.mutexGroups().stats().inversions - before, c.inversions);
    }
}

TEST_F(LockOrderTest, OrdersOfDifferentThreadsMeet) {
    // Run one after the other, so the possible deadlock cannot happen here.
    std::thread([&] { nest("AB"); }).join();
    EXPECT_EQ(host.mutexGroups().stats().inversions, 0);
    std::thread([&] { nest("BA"); }).join();
    EXPECT_EQ(host.mutexGroups().stats().inversions, 1);
}

TEST_F(LockOrderTest, OnlyMutexesStillHeldComeFirst) {
    // A is unlocked before C is taken while B is still held: B before C,
    // but nothing orders A and C.
    lock('A');
    lock('B');
    unlock('A');
    lock('C');
    unlock('B');
    unlock('C');
    nest("CA");
    EXPECT_EQ(host.mutexGroups().stats().inversions, 0);
    nest("CB");
    EXPECT_EQ(host.mutexGroups().stats().inversions, 1);
}

TEST_F(LockOrderTest, RefusedAndRepeatedLocksAddNoOrder) {
    lock('A');
    EXPECT_EQ(lock('A'), 1);                                // its owner again: no order with itself
    EXPECT_EQ(mt()->groupLockMutex(first, -3), 0);          // out of range
    EXPECT_EQ(unlock('A'), 1);
    EXPECT_EQ(unlock('A'), 1);
    nest("BA");
    EXPECT_EQ(host.mutexGroups().stats().inversions, 0);
    EXPECT_EQ(host.mutexGroups().stats().locks(), 4);
    expectedBadCalls = 1;
}

TEST_F(LockOrderTest, LocksTakenDuringAStretchAreCounted) {
    nest("AB");
    const long before = host.mutexGroups().stats().locks();
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 100; ++i) nest("ACB");
        });
    for (auto& thread : threads) thread.join();
    const auto after = host.mutexGroups().stats();
    EXPECT_EQ(after.locks() - before, 3 * 100 * 3);
    EXPECT_EQ(after.unlocks, after.locks());
    EXPECT_EQ(after.inversions, 0);
}

}  // namespace
