/* "Instance Update" and "LW Command Interface", and the local record of
 * "LayoutGeneric" servers, which the host runs for "Generic_<name>"
 * commands. Plain C. Both services are functions rather than tables:
 * (LWInstUpdate *) global(LWINSTUPDATE_GLOBAL, GFUSE_TRANSIENT). */
#ifndef KORVALITH_SDK_LW_COMMAND_H
#define KORVALITH_SDK_LW_COMMAND_H

#include "lw_server.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LWINSTUPDATE_GLOBAL "Instance Update"
#define LWCOMMANDINTERFACE_GLOBAL "LW Command Interface"

/* Tells the host that an instance of a server class changed (a panel
 * value, say), so that it re-evaluates and redraws what depends on it. */
typedef void LWInstUpdate(const char *className, void *instance);

/* Runs one command line: a command name, then its arguments separated by
 * spaces. Answers 1 when the command ran, 0 when the host does not know it,
 * its arguments are wrong or it failed. Commands of this host:
 *   Generic_<name>       activates the "LayoutGeneric" server <name> of the
 *                        loaded modules; 1 when the activation answered
 *                        LWAFUNC_OK
 *   GoToFrame <frame>    makes <frame> the current frame
 *   FirstFrame <frame>, LastFrame <frame>, FrameStep <step>
 *                        set the scene's frame range
 *   FrameSize <width> <height>, PixelAspect <aspect>
 *                        set the rendered frame's size in pixels and the
 *                        pixel aspect */
typedef int LWCommandFunc(const char *command);

/* Interface version offered to "LayoutGeneric" activations. */
#define LWLAYOUTGENERIC_VERSION 6

/* Local record of a "LayoutGeneric" activation. evaluate runs a command
 * line exactly like "LW Command Interface" (same answers); pass data as its
 * first argument. */
typedef struct st_LWLayoutGeneric {
    void *data;
    int (*evaluate)(void *data, const char *command);
} LWLayoutGeneric;

#ifdef __cplusplus
}
#endif

#endif
