/* The host's standard file dialog, as the local record of a file request.
 * Plain C. */
#ifndef KORVALITH_SDK_LWDIALOG_H
#define KORVALITH_SDK_LWDIALOG_H

#ifdef __cplusplus
extern "C" {
#endif

#define LWFILEREQ_CLASS "FileRequester"
#define LWFILEREQ_VERSION 3

/* Request types. */
#define FREQ_LOAD 1
#define FREQ_SAVE 2
#define FREQ_DIRECTORY 3
#define FREQ_MULTILOAD 4

typedef struct st_LWFileReqLocal {
    int reqType;          /* FREQ_LOAD, FREQ_SAVE, FREQ_DIRECTORY or FREQ_MULTILOAD */
    int result;           /* out: 1 confirmed, 0 cancelled, -1 did not fit */
    const char *title;    /* dialog title */
    const char *fileType; /* file type filter, e.g. "*.jp2;*.j2k" */
    char *path;           /* in: starting directory; out: chosen directory */
    char *baseName;       /* in: initial name; out: chosen name without directory */
    char *fullName;       /* out: chosen full path */
    int bufLen;           /* size in bytes of each of the three buffers */
    /* FREQ_MULTILOAD: called once per chosen file, with fullName, path
     * and baseName filled for that file; a nonzero answer stops the list.
     * Unused by the other request types and may be null then. */
    int (*pickName)(void);
} LWFileReqLocal;

#ifdef __cplusplus
}
#endif

#endif
