#include <gtest/gtest.h>

#include <thread>

#include "activation.h"
#include "host.h"
#include "host_lock.h"

namespace {

using korvalith::HostLock;
using korvalith::ScopedHostLock;

class HostLockTest : public ::testing::Test {
protected:
    void activateWithMajor(int major) {
        host.setMajorVersion(major);
        korvalith::activationPrologue(hostsim::Host::lookupFunction());
    }
    void TearDown() override {
        korvalith::setHostWords(0, 0);
        korvalith::setHostLookup(nullptr);
    }
    hostsim::Host host;
};

TEST_F(HostLockTest, FunctionSetFollowsTheHostsMajorVersion) {
    const struct {
        int major;
        bool current;
    } cases[] = {{0, false}, {1, false}, {8, false}, {9, true}, {10, true}, {15, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.major);
        activateWithMajor(c.major);
        const auto before = host.mutexGroups().stats();
        {
            HostLock lock;
            EXPECT_TRUE(lock.hostBacked());
            EXPECT_EQ(lock.usesCurrentSet(), c.current);
            ScopedHostLock guard(lock, 2);
        }
        const auto after = host.mutexGroups().stats();
        EXPECT_EQ(after.createdCurrent - before.createdCurrent, c.current ? 1 : 0);
        EXPECT_EQ(after.createdOlder - before.createdOlder, c.current ? 0 : 1);
        EXPECT_EQ(after.locksCurrent - before.locksCurrent, c.current ? 1 : 0);
        EXPECT_EQ(after.locksOlder - before.locksOlder, c.current ? 0 : 1);
        EXPECT_EQ(after.live, 0);
        EXPECT_EQ(after.badCalls, 0);
        EXPECT_EQ(after.reentrantLocks, 0);
        EXPECT_TRUE(host.use("MultiThreading Utilities").balanced());
    }
}

TEST_F(HostLockTest, BeforeAnyActivationTheOlderSetIsUsed) {
    korvalith::setHostWords(0, 0);
    korvalith::setHostLookup(hostsim::Host::lookupFunction());
    HostLock lock;
    EXPECT_FALSE(lock.usesCurrentSet());
    EXPECT_EQ(host.mutexGroups().stats().createdOlder, 1);
}

void countUnderLock(HostLock& lock, long& counter) {
    std::thread a([&] {
        for (int i = 0; i < 100000; ++i) {
            ScopedHostLock guard(lock, 1);
            ++counter;
        }
    });
    std::thread b([&] {
        for (int i = 0; i < 100000; ++i) {
            lock.lock(1);
            ++counter;
            lock.unlock(1);
        }
    });
    a.join();
    b.join();
}

TEST_F(HostLockTest, ExcludesTwoThreads) {
    for (int major : {8, 9}) {
        activateWithMajor(major);
        HostLock lock;
        long counter = 0;
        countUnderLock(lock, counter);
        EXPECT_EQ(counter, 200000);
    }
    EXPECT_EQ(host.mutexGroups().stats().badCalls, 0);
    EXPECT_EQ(host.mutexGroups().stats().reentrantLocks, 0);
}

TEST_F(HostLockTest, WithoutTheServiceItFallsBackToItsOwnMutexes) {
    activateWithMajor(9);
    host.unregisterService("MultiThreading Utilities");
    HostLock lock;
    EXPECT_FALSE(lock.hostBacked());
    long counter = 0;
    countUnderLock(lock, counter);
    EXPECT_EQ(counter, 200000);
    EXPECT_EQ(host.use("MultiThreading Utilities").unbalancedReleases, 0);
}

TEST_F(HostLockTest, AnIndexOutsideTheLockIsRefusedQuietly) {
    activateWithMajor(9);
    for (bool hostBacked : {true, false}) {
        SCOPED_TRACE(hostBacked ? "host's mutexes" : "own mutexes");
        if (!hostBacked) host.unregisterService("MultiThreading Utilities");
        HostLock lock;
        ASSERT_EQ(lock.hostBacked(), hostBacked);
        const auto before = host.mutexGroups().stats();
        for (int index : {-1, HostLock::kIndices, 1 << 20}) {
            EXPECT_NO_THROW(lock.lock(index));
            EXPECT_NO_THROW(lock.unlock(index));
            EXPECT_NO_THROW(ScopedHostLock guard(lock, index));
        }
        const auto after = host.mutexGroups().stats();
        EXPECT_EQ(after.locks(), before.locks());
        EXPECT_EQ(after.unlocks, before.unlocks);
        EXPECT_EQ(after.badCalls, before.badCalls);
        // The valid indices still exclude.
        long counter = 0;
        countUnderLock(lock, counter);
        EXPECT_EQ(counter, 200000);
    }
}

TEST_F(HostLockTest, ScopedLockUnlocksWhenAnExceptionLeaves) {
    activateWithMajor(9);
    HostLock lock;
    try {
        ScopedHostLock guard(lock, 0);
        throw std::runtime_error("leave");
    } catch (const std::runtime_error&) {
    }
    ScopedHostLock again(lock, 0);  // would deadlock if still held
    EXPECT_EQ(host.mutexGroups().stats().unlocks, 1);
    EXPECT_EQ(host.mutexGroups().stats().badCalls, 0);
    EXPECT_EQ(host.mutexGroups().stats().reentrantLocks, 0);
}

}  // namespace
