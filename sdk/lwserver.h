/* What every plug-in module needs to declare its servers: the host's
 * service lookup, the activation function of a server, its results, server
 * tags and the server record. Plain C. */
#ifndef KORVALITH_SDK_LWSERVER_H
#define KORVALITH_SDK_LWSERVER_H

#include "lwtypes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Service lookup handed to every activation: (service name, use) -> the
 * service's function table (or, for some services, the function or value
 * itself), or null when the host has no such service. */
typedef void *GlobalFunc(const char *serviceName, int useMode);

/* Uses of a lookup. */
#define GFUSE_TRANSIENT 0 /* look up, no counting, no release */
#define GFUSE_ACQUIRE 1   /* hold until released */
#define GFUSE_RELEASE 2   /* give back what was acquired */

/* Server activation: interface version offered by the host, the host's
 * service lookup, the class record to fill ("local") and the data the host
 * registered with the server. */
typedef int ActivateFunc(int version, GlobalFunc *global, void *local, void *serverData);

/* Activation results. */
#define AFUNC_OK 0
#define AFUNC_BADVERSION 1    /* the interface version is not one the server speaks */
#define AFUNC_BADGLOBAL 2     /* a host service (or a panel) the server needs is unavailable */
#define AFUNC_BADLOCAL 3      /* the local record cannot be used */
#define AFUNC_BADAPP 4        /* the server does not run in this application */
#define AFUNC_BADAPP_SILENT 5 /* as BADAPP, without telling the user */

/* Language ids; a server tag is a SRVTAG_ code ORed with one of them. */
#define LANGID_GERMAN 0x0407
#define LANGID_USENGLISH 0x0409
#define LANGID_UKENGLISH 0x0809
#define LANGID_SPANISH 0x040a
#define LANGID_FRENCH 0x040c
#define LANGID_ITALIAN 0x0410
#define LANGID_JAPANESE 0x0411
#define LANGID_KOREAN 0x0412
#define LANGID_RUSSIAN 0x0419
#define LANGID_SWEDISH 0x041D

/* Tag codes: what a tagged text says about the server. */
#define SRVTAG_USERNAME 0x00000    /* name shown to the user */
#define SRVTAG_BUTTONNAME 0x10000  /* button label */
#define SRVTAG_CMDGROUP 0x20000    /* grouping text */
#define SRVTAG_MENU 0x30000        /* menu path */
#define SRVTAG_DESCRIPTION 0x40000 /* descriptive text */
#define SRVTAG_ENABLE 0x50000
#define SRVTAG_SELECTCMD 0x60000
#define SRVTAG_NODEGROUP 0x70000   /* node editor's menu group */

/* One tagged text. A list ends with an entry whose tag is 0. */
typedef struct st_ServerTagInfo {
    const char *string;
    unsigned int tag;
} ServerTagInfo;

/* One server: class, name, activation and tag list (may be null). A server
 * list ends with a record whose class name is null. */
typedef struct st_ServerRecord {
    const char *className;
    const char *name;
    ActivateFunc *activate;
    ServerTagInfo *tagInfo;
} ServerRecord;

#ifdef __cplusplus
}
#endif

#endif
