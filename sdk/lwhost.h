/* Services every host application offers: file dialogs, directories,
 * message boxes, and the words that identify the host. Plain C. */
#ifndef KORVALITH_SDK_LWHOST_H
#define KORVALITH_SDK_LWHOST_H

#include "lwdialog.h"

#ifdef __cplusplus
extern "C" {
#endif

/* "File Request": the simple file dialog. The service is the function
 * itself. hail is the title, name the initial and chosen file name, path
 * the initial and chosen directory, fullName the chosen full path; each
 * buffer holds buflen bytes. Answers 1 when the user confirmed a choice,
 * 0 when the user cancelled. */
#define LWFILEREQFUNC_GLOBAL "File Request"
typedef int LWFileReqFunc(const char *hail, char *name, char *path, char *fullName, int buflen);

/* "File Request 2": the file dialog driven by an LWFileReqLocal. The
 * service is the function itself: (LWFileActivateFunc *) global(...). It
 * answers an activation result: AFUNC_OK when the dialog ran (the record's
 * result then tells what the user did), AFUNC_BADVERSION for a version it
 * does not speak, AFUNC_BADLOCAL for a record it cannot use (nothing is
 * written then). */
#define LWFILEACTIVATEFUNC_GLOBAL "File Request 2"
typedef int LWFileActivateFunc(int version, LWFileReqLocal *request);

/* "Directory Info": the directory of a type name (one of LWFTYPE_), or
 * null for a type the host does not know. The service is the function
 * itself. The text stays valid until the host changes that directory. */
#define LWDIRINFOFUNC_GLOBAL "Directory Info"
typedef const char *LWDirInfoFunc(const char *type);

#define LWFTYPE_CONTENT "Content"
#define LWFTYPE_ANIMATION "Animations"
#define LWFTYPE_IMAGE "Images"
#define LWFTYPE_ENVELOPE "Envelopes"
#define LWFTYPE_MOTION "Motions"
#define LWFTYPE_OBJECT "Objects"
#define LWFTYPE_PLUGIN "Plug-ins"
#define LWFTYPE_PREVIEW "Previews"
#define LWFTYPE_PSFONT "PSFonts"
#define LWFTYPE_SCENE "Scenes"
#define LWFTYPE_SETTING "Settings"
#define LWFTYPE_SURFACE "Surfaces"

/* "Info Messages 2": message boxes and questions. Questions take a title
 * and two lines (the second may be null) and answer by button: okCancel
 * 1 OK, 0 Cancel; yesNo 1 Yes, 0 No; yesNoCan 2 Yes, 1 No, 0 Cancel;
 * yesNoAll 3 Yes to All, 2 Yes, 1 No, 0 Cancel. */
#define LWMESSAGEFUNCS_GLOBAL "Info Messages 2"

typedef struct st_LWMessageFuncs {
    void (*info)(const char *title, const char *text);
    void (*error)(const char *title, const char *text);
    void (*warning)(const char *title, const char *text);
    int (*okCancel)(const char *title, const char *line1, const char *line2);
    int (*yesNo)(const char *title, const char *line1, const char *line2);
    int (*yesNoCan)(const char *title, const char *line1, const char *line2);
    int (*yesNoAll)(const char *title, const char *line1, const char *line2);
} LWMessageFuncs;

/* "System ID" and "Product Info" answer with the word itself in place of a
 * pointer: (unsigned int)(size_t) global(name, GFUSE_TRANSIENT). */
#define LWSYSTEMID_GLOBAL "System ID"

#define LWSYS_TYPEBITS 0xF0000000
#define LWSYS_SERIALBITS 0x0FFFFFFF
#define LWSYS_LAYOUT 0x00000000
#define LWSYS_MODELER 0x10000000
#define LWSYS_SCREAMERNET 0x20000000 /* render node, no user interface */
#define LWSYS_OTHER 0x80000000

#define LWPRODUCTINFO_GLOBAL "Product Info"

#define LWINF_PRODUCT 0x0000000F
#define LWINF_BUILD 0x0000FFF0
#define LWINF_MINORREV 0x000F0000
#define LWINF_MAJORREV 0x00F00000
#define LWINF_RESERVED 0xFF000000

#define LWINF_PRODLWAV 0x00000001
#define LWINF_PRODINSP3D 0x00000002
#define LWINF_PRODOTHER 0x00000004

#define LWINF_GETMAJOR(x) (((x) & LWINF_MAJORREV) >> 20)
#define LWINF_GETMINOR(x) (((x) & LWINF_MINORREV) >> 16)
#define LWINF_GETBUILD(x) (((x) & LWINF_BUILD) >> 4)

#ifdef __cplusplus
}
#endif

#endif
