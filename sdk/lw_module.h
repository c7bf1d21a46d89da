/* Module descriptor, server records and tag lists: what a plug-in module
 * exports so that the host can find its servers. Plain C. */
#ifndef KORVALITH_SDK_LW_MODULE_H
#define KORVALITH_SDK_LW_MODULE_H

#include <stdint.h>

#include "lw_global.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Words every module descriptor carries; the host refuses a module whose
 * words differ. */
#define LWMOD_SYNC 0x04121994u
#define LWMOD_FORMAT_VERSION 3u
#define LWMOD_MACHINE 0x300u

/* Tag numbers of a server's tag list. */
#define LWSRVTAG_USERNAME 0x00000u    /* name shown to the user */
#define LWSRVTAG_CMDGROUP 0x20000u    /* grouping text */
#define LWSRVTAG_DESCRIPTION 0x40000u /* descriptive name */
#define LWSRVTAG_NODEGROUP 0x70000u   /* node editor's menu group */

/* Activation results. */
#define LWAFUNC_OK 0
#define LWAFUNC_BADVERSION 1
#define LWAFUNC_BADAPP 2 /* a panel or host service the server needs is unavailable */

/* Server activation: interface version offered by the host, the host's
 * service lookup, the class record the server fills in ("local") and the
 * data the host registered with the server. */
typedef int LWActivateFunc(int version, LWGlobalFunc *global, void *local, void *serverData);

/* One tag: a text and its tag number. A list ends with a null text. */
typedef struct st_LWServerTagInfo {
    const char *string;
    uint32_t tag;
} LWServerTagInfo;

/* One server: class, name, activation and tag list (may be null).
 * A server list ends with a record whose four fields are null. */
typedef struct st_LWServerRecord {
    const char *className;
    const char *name;
    LWActivateFunc *activate;
    const LWServerTagInfo *tagInfo;
} LWServerRecord;

typedef struct st_LWModuleDescriptor {
    uint32_t sysSync;
    uint32_t sysVersion;
    uint32_t sysMachine;
    void *(*startup)(void);
    void (*shutdown)(void *moduleData);
    const LWServerRecord *serverDefs;
} LWModuleDescriptor;

/* The one symbol a module exports. */
#define LWMOD_DESCRIPTOR_SYMBOL "_mod_descrip"

#ifdef __cplusplus
}
#endif

#endif
