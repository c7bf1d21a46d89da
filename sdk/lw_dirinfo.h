/* "Directory Info": the host's directories by type. Plain C.
 * The service is the function itself: cast the lookup's answer to
 * LWDirInfoFunc *. It answers the directory of a type name such as
 * "Content" or "Images", or null for a type the host does not know. The
 * text stays valid until the host changes that directory. */
#ifndef KORVALITH_SDK_LW_DIRINFO_H
#define KORVALITH_SDK_LW_DIRINFO_H

#ifdef __cplusplus
extern "C" {
#endif

#define LWDIRINFOFUNC_GLOBAL "Directory Info"

typedef const char *LWDirInfoFunc(const char *type);

#ifdef __cplusplus
}
#endif

#endif
