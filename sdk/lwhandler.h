/* Records shared by instance-based servers ("...Handler" classes) and their
 * interfaces ("...Interface" classes). Plain C.
 *
 * The host owns these records. A handler's activation receives the host's
 * handler record, whose members point to the host's instance record (and,
 * for handlers of rendered things, its item and render records); the
 * activation fills the members of those records with its own functions and
 * leaves the pointers alone. The host then calls those functions for each
 * instance it makes. An instance is the plug-in's own pointer (LWInstance).
 *
 * An interface activation receives the host's interface record with the
 * instance filled in, and fills in either a view panel or an options
 * function. */
#ifndef KORVALITH_SDK_LWHANDLER_H
#define KORVALITH_SDK_LWHANDLER_H

#include "lwio.h"
#include "lwxpanel.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct st_LWInstanceFuncs {
    /* Handed back as the first argument of create. */
    void *priv;
    /* context: what the instance is made for (the class says what);
     * error: where create leaves a text when it makes no instance. */
    LWInstance (*create)(void *priv, void *context, LWError *error);
    void (*destroy)(LWInstance inst);
    LWError (*copy)(LWInstance to, LWInstance from);
    LWError (*load)(LWInstance inst, const LWLoadState *load);
    LWError (*save)(LWInstance inst, const LWSaveState *save);
    /* One line describing the instance for the host's lists. */
    const char *(*descln)(LWInstance inst);
} LWInstanceFuncs;

/* The handler record of classes that have nothing beyond instances. */
typedef struct st_LWHandler {
    LWInstanceFuncs *inst;
} LWHandler;

/* Interface activations refuse versions other than this one. */
#define LWINTERFACE_VERSION 4

typedef struct st_LWInterface {
    /* The instance whose interface is asked for; read only. */
    LWInstance inst;
    /* A view panel showing the instance, or null when options is used. */
    LWXPanelID panel;
    /* Opens a modal dialog for the instance; null when panel is used. */
    LWError (*options)(LWInstance inst);
    /* Runs a command text on the instance; may be null. */
    LWError (*command)(LWInstance inst, const char *command);
} LWInterface;

/* "Instance Update": tells the host that an instance of a server class
 * changed (a panel value, say), so that it re-evaluates and redraws what
 * depends on it. The service is the function itself. */
#define LWINSTUPDATE_GLOBAL "Instance Update"
typedef void LWInstUpdate(const char *className, LWInstance inst);

#ifdef __cplusplus
}
#endif

#endif
