/* "MultiThreading Utilities": mutex groups. Plain C.
 * Two generations of the same service share one table: hosts before major
 * version 9 offer only the first four functions' behaviour, later hosts
 * the group functions five to eight. A group holds LWMT_GROUP_MUTEXES
 * mutexes addressed by index; a lock call returns nonzero on success. */
#ifndef KORVALITH_SDK_LWMTUTIL_H
#define KORVALITH_SDK_LWMTUTIL_H

#ifdef __cplusplus
extern "C" {
#endif

#define LWMTUTILFUNCS_GLOBAL "MultiThreading Utilities"
#define LWMT_GROUP_MUTEXES 128

typedef struct st_LWMTGroup *LWMTGroupID;

typedef struct st_LWMTUtilFuncs {
    /* older set */
    LWMTGroupID (*create)(void);
    void (*destroy)(LWMTGroupID group);
    int (*lock)(LWMTGroupID group, int index);
    int (*unlock)(LWMTGroupID group, int index);
    /* current set; groupCreate's argument selects plain (1) mutexes */
    LWMTGroupID (*groupCreate)(int kind);
    void (*groupDestroy)(LWMTGroupID group);
    int (*groupLockMutex)(LWMTGroupID group, int index);
    int (*groupUnlockMutex)(LWMTGroupID group, int index);
} LWMTUtilFuncs;

#ifdef __cplusplus
}
#endif

#endif
