/* "Info Messages 2": message boxes and questions. Plain C. */
#ifndef KORVALITH_SDK_LW_MESSAGE_H
#define KORVALITH_SDK_LW_MESSAGE_H

#ifdef __cplusplus
extern "C" {
#endif

#define LWMESSAGEFUNCS_GLOBAL "Info Messages 2"

typedef struct st_LWMessageFuncs {
    void (*info)(const char *title, const char *text);
    void (*error)(const char *title, const char *text);
    void (*warning)(const char *title, const char *text);
    /* Yes/no question: title and two lines; nonzero means yes. */
    int (*yesNo)(const char *title, const char *line1, const char *line2);
} LWMessageFuncs;

#ifdef __cplusplus
}
#endif

#endif
