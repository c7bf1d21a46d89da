/* The module descriptor: the one record a plug-in module exports (under
 * the symbol _mod_descrip) so that the host can check it and find its
 * servers. Plain C. */
#ifndef KORVALITH_SDK_LWMODULE_H
#define KORVALITH_SDK_LWMODULE_H

#include "lwserver.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct st_ModuleDescriptor {
    unsigned int sysSync;
    unsigned int sysVersion;
    unsigned int sysMachine;
    void *(*startup)(void);
    void (*shutdown)(void *serverData);
    ServerRecord *serverDefs;
} ModuleDescriptor;

/* Words every descriptor carries; the host refuses a module whose words
 * differ from its own. The machine word names the platform the module was
 * built for: the build defines one of _MSWIN, _MACOS or _LINUX. */
#define MOD_SYSSYNC 0x04121994
#define MOD_SYSVER 3
#if defined(_MSWIN)
#define MOD_MACHINE 0x300
#elif defined(_MACOS)
#define MOD_MACHINE 0x400
#elif defined(_LINUX)
#define MOD_MACHINE 0x500
#endif

#ifdef __cplusplus
}
#endif

#endif
