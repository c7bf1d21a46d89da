/* "LayoutGeneric" servers: commands the user runs from Layout's menus (the
 * host runs them for "Generic_<name>" command lines too). Plain C. */
#ifndef KORVALITH_SDK_LWGENERIC_H
#define KORVALITH_SDK_LWGENERIC_H

#include "lwtypes.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LWLAYOUTGENERIC_CLASS "LayoutGeneric"
#define LWLAYOUTGENERIC_VERSION 6

/* A command's typed argument or result. The commands these modules run
 * are command lines (evaluate); the typed form is only passed through. */
typedef union un_DynaValue DynaValue;

/* Local record of a "LayoutGeneric" activation, filled by the host. */
typedef struct st_LWLayoutGeneric {
    /* Saves the scene to file; loads the scene file under name. Answer
     * nonzero on success. */
    int (*saveScene)(const char *file);
    int (*loadScene)(const char *file, const char *name);
    /* Passed as the first argument of the three command functions. */
    void *data;
    /* The code of a command name, or 0 for a name the host does not know. */
    LWCommandCode (*lookup)(void *data, const char *cmdName);
    /* Runs a command by code with typed arguments. */
    int (*execute)(void *data, LWCommandCode cmd, int argc, const DynaValue *argv, DynaValue *result);
    /* Runs one command line exactly like "LW Command Interface" (same
     * answers). */
    int (*evaluate)(void *data, const char *command);
    /* The arguments of the command line that ran this server, as text and
     * parsed (the count answered). */
    const char *(*commandArguments)(void *data);
    int (*parsedArguments)(void *data, DynaValue **argv);
} LWLayoutGeneric;

#ifdef __cplusplus
}
#endif

#endif
