/* Handles and small types shared by the host's services. Plain C. */
#ifndef KORVALITH_SDK_LWTYPES_H
#define KORVALITH_SDK_LWTYPES_H

#ifdef __cplusplus
extern "C" {
#endif

typedef const char *LWError; /* an error text, or null for none */
typedef void *LWInstance;    /* a plug-in instance */
typedef int LWFrame;
typedef double LWTime;
typedef float LWFVector[3];
typedef double LWDVector[3];
typedef float LWFMatrix3[3][3];
typedef float LWFMatrix4[4][4];
typedef double LWDMatrix3[3][3];
typedef double LWDMatrix4[4][4];

/* Four-character codes (block ids of "File IO", vertex map types). */
typedef unsigned int LWID;
#define LWID_(a, b, c, d)                                                                               \
    ((((unsigned int)(unsigned char)(a)) << 24) | (((unsigned int)(unsigned char)(b)) << 16) |        \
     (((unsigned int)(unsigned char)(c)) << 8) | ((unsigned int)(unsigned char)(d)))

typedef int LWCommandCode;
typedef void *LWImageID;
typedef void *LWPixmapID;
typedef void *LWTextureID; /* a texture of "Texture Functions 3" */

/* A channel of "Channel Info 2". Item, group, envelope and key handles are
 * declared with the services that hand them out (lwrender.h, lwenvel.h). */
typedef void *LWChannelID;

#ifdef __cplusplus
}
#endif

#endif
