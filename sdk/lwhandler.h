/* Records shared by instance-based servers: the instance functions and
 * the interface record. Plain C.
 *
 * The host fills nothing in these records: the server's activation fills
 * them with its functions, and the host then calls those for each instance
 * it makes. An instance is the plug-in's own pointer (LWInstance). */
#ifndef KORVALITH_SDK_LWHANDLER_H
#define KORVALITH_SDK_LWHANDLER_H

#include "lwio.h"
#include "lwtypes.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LWINTERFACE_VERSION 4

typedef struct st_LWInstanceFuncs {
    void *priv;
    /* error: where create may leave a text when it makes no instance */
    LWInstance (*create)(void *priv, void *context, LWError *error);
    void (*destroy)(LWInstance inst);
    LWError (*copy)(LWInstance to, LWInstance from);
    LWError (*load)(LWInstance inst, const LWLoadState *load);
    LWError (*save)(LWInstance inst, const LWSaveState *save);
    const char *(*descln)(LWInstance inst);
} LWInstanceFuncs;

/* The record an interface server fills for one instance; panel is the
 * host's view panel ("LWXPanel") the server made. */
typedef struct st_LWInterface {
    LWInstance inst;
    void *panel;
    LWError (*options)(LWInstance inst);
    LWError (*command)(LWInstance inst, const char *command);
} LWInterface;

#ifdef __cplusplus
}
#endif

#endif
