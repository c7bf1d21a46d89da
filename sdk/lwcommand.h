/* "LW Command Interface": runs one Layout command line. Plain C. */
#ifndef KORVALITH_SDK_LWCOMMAND_H
#define KORVALITH_SDK_LWCOMMAND_H

#ifdef __cplusplus
extern "C" {
#endif

/* The service is the function itself. It takes a command name followed by
 * its arguments, separated by spaces, and answers 1 when the command ran,
 * 0 when the host does not know it, its arguments are wrong or it failed. */
#define LWCOMMANDFUNC_GLOBAL "LW Command Interface"
typedef int LWCommandFunc(const char *cmd);

#ifdef __cplusplus
}
#endif

#endif
