/* The host's service lookup and the record of "Global" servers. Plain C. */
#ifndef KORVALITH_SDK_LW_GLOBAL_H
#define KORVALITH_SDK_LW_GLOBAL_H

#ifdef __cplusplus
extern "C" {
#endif

/* Uses of a service lookup. */
#define GFUSE_TRANSIENT 0 /* look up, no counting, no release */
#define GFUSE_ACQUIRE 1   /* hold until released */
#define GFUSE_RELEASE 2   /* give back what was acquired */

/* Service lookup handed to every activation: (service name, use) ->
 * the service's function table, or null when the host has no such service. */
typedef void *LWGlobalFunc(const char *serviceName, int useClass);

/* Server class of global services. */
#define LWGLOBALSERVICE_CLASS "Global"

/* Local record of a "Global" activation: the name the host was asked for,
 * and the data pointer the server answers with (null for a name it does
 * not serve). */
typedef struct st_LWGlobalService {
    const char *id;
    void *data;
} LWGlobalService;

#ifdef __cplusplus
}
#endif

#endif
