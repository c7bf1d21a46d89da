/* "MultiThreading Utilities": mutexes, thread groups and the threads of a
 * group. Plain C.
 *
 * Hosts before major version 9 offer the first four functions (a mutex set
 * made with create); later hosts the whole table. Every mutex set and every
 * thread group holds LWMT_MUTEX_COUNT locks: index 0 is the thread lock,
 * 1 to 128 are free for any use. The locks are critical sections: the
 * thread that holds one may take it again (and then releases it as often
 * as it took it). */
#ifndef KORVALITH_SDK_LWMTUTIL_H
#define KORVALITH_SDK_LWMTUTIL_H

#ifdef __cplusplus
extern "C" {
#endif

typedef void *LWMTUtilID;
typedef void *LWMTGroupID;
typedef void *LWMTThreadID;
typedef void *LWMTRWLockID;

/* A thread's function: its answer is the thread's result. */
typedef int (*LWMTThreadFunc)(void *arg);

#define LWMTUTILFUNCS_GLOBAL "MultiThreading Utilities"

#define LWMT_MUTEX_BITS 7
#define LWMT_MUTEX_COUNT ((1 << LWMT_MUTEX_BITS) + 1) /* 129 locks */
#define LWMT_MUTEX_MASK ((1 << LWMT_MUTEX_BITS) - 1)

typedef struct st_LWMTUtilFuncs {
    /* Mutex sets: lock and unlock answer 1 on success. */
    LWMTUtilID (*create)(void);
    void (*destroy)(LWMTUtilID mtid);
    int (*lock)(LWMTUtilID mtid, int mutexID);
    int (*unlock)(LWMTUtilID mtid, int mutexID);

    /* Thread groups, each with its own locks. Threads are added before the
     * group runs: groupRun starts them and waits for them, groupBegin starts
     * them and returns, groupSync waits for a begun group. */
    LWMTGroupID (*groupCreate)(int count);
    void (*groupDestroy)(LWMTGroupID mtgrpid);
    int (*groupLockMutex)(LWMTGroupID mtgrpid, int mutexID);
    int (*groupUnlockMutex)(LWMTGroupID mtgrpid, int mutexID);
    LWMTThreadID (*groupAddThread)(LWMTGroupID mtgrpid, LWMTThreadFunc func, int size, void *arg);
    LWMTThreadID (*groupGetThreadID)(LWMTGroupID mtgrpid, int index);
    int (*groupGetThreadCount)(LWMTGroupID mtgrpid);
    int (*groupRun)(LWMTGroupID mtgrpid);
    int (*groupBegin)(LWMTGroupID mtgrpid);
    void (*groupSync)(LWMTGroupID mtgrpid);
    void (*groupAbort)(LWMTGroupID mtgrpid);
    void (*groupKill)(LWMTGroupID mtgrpid);
    int (*groupIsDone)(LWMTGroupID mtgrpid);
    int (*groupIsAborted)(LWMTGroupID mtgrpid);
    int (*groupThreadResult)(LWMTGroupID mtgrpid, int index);

    /* The calling thread (functions without an id) or a given thread of a
     * group. */
    LWMTThreadID (*threadGetID)(void);
    void (*threadSetData)(void *ptr);
    void *(*threadGetData)(void);
    void *(*threadGetArg)(void);
    void *(*threadGetArgByID)(LWMTThreadID thrdid);
    int (*threadGetIndex)(void);
    int (*threadGetIndexByID)(LWMTThreadID thrdid);
    int (*threadGetThreadCount)(LWMTThreadID thrdid);
    LWMTGroupID (*threadGetGroupID)(LWMTThreadID thrdid);
    int (*threadCheckAbort)(void);
    int (*threadCheckAbortByID)(LWMTThreadID thrdid);
    void (*threadSleep)(int delay);
    void (*threadSetArg)(void *ptr);
    void (*threadSetIndex)(int index);
} LWMTUtilFuncs;

#ifdef __cplusplus
}
#endif

#endif
