/* "Scene Objects 4": what the scene's objects hold. Plain C.
 *
 * The vertex maps of all objects, listed by type: a map name that several
 * objects carry is listed once. Types are four-character codes, e.g. 'TXUV'
 * for texture UV maps. */
#ifndef KORVALITH_SDK_LWMESHES_H
#define KORVALITH_SDK_LWMESHES_H

#include "lwio.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LWOBJECTFUNCS_GLOBAL "Scene Objects 4"
#define LWVMAP_TXUV LWID_('T', 'X', 'U', 'V')

typedef struct st_LWObjectFuncs {
    int (*numVMaps)(LWID type);
    /* Name of the index-th map of the type, or null past the end. */
    const char *(*vmapName)(LWID type, int index);
} LWObjectFuncs;

#ifdef __cplusplus
}
#endif

#endif
