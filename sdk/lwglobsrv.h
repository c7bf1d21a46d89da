/* "Global" servers: modules that answer service names on the host's
 * behalf. Plain C. */
#ifndef KORVALITH_SDK_LWGLOBSRV_H
#define KORVALITH_SDK_LWGLOBSRV_H

#ifdef __cplusplus
extern "C" {
#endif

#define LWGLOBALSERVICE_CLASS "Global"
#define LWGLOBALSERVICE_VERSION 1

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
