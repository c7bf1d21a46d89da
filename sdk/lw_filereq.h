/* "File Request 2": the host's file dialog. Plain C.
 * The service is the function itself: cast the lookup's answer to
 * LWFileActivateFunc *. The caller fills an LWFileReqLocal and calls it
 * with the version it was written for. A return of 0 means the dialog ran;
 * then result is 1 when the user confirmed a choice, 0 when the user
 * cancelled and -1 when the choice did not fit the buffers. Any other
 * return means the request was refused (unknown version, bad record) and
 * nothing was written. */
#ifndef KORVALITH_SDK_LW_FILEREQ_H
#define KORVALITH_SDK_LW_FILEREQ_H

#ifdef __cplusplus
extern "C" {
#endif

#define LWFILEREQFUNC_GLOBAL "File Request 2"
#define LWFILEREQ_VERSION 3

/* Request types. */
#define FREQ_LOAD 1
#define FREQ_SAVE 2
#define FREQ_DIRECTORY 3

typedef struct st_LWFileReqLocal {
    int reqType;          /* FREQ_LOAD, FREQ_SAVE or FREQ_DIRECTORY */
    int result;           /* out: 1 confirmed, 0 cancelled, -1 did not fit */
    const char *title;    /* dialog title */
    const char *fileType; /* file type filter, e.g. "*.jp2;*.j2k" */
    char *path;           /* in: starting directory; out: chosen directory */
    char *baseName;       /* in: initial name; out: chosen name without directory */
    char *fullName;       /* out: chosen full path */
    int bufLen;           /* size in bytes of each of the three buffers */
} LWFileReqLocal;

typedef int LWFileActivateFunc(int version, LWFileReqLocal *request);

#ifdef __cplusplus
}
#endif

#endif
