/* "Info Messages 2": message boxes and questions. Plain C. */
#ifndef KORVALITH_SDK_LW_MESSAGE_H
#define KORVALITH_SDK_LW_MESSAGE_H

#ifdef __cplusplus
extern "C" {
#endif

#define LWMESSAGEFUNCS_GLOBAL "Info Messages 2"

/* Questions take a title and two lines (the second may be null) and answer
 * by button: okCancel 1 OK, 0 Cancel; yesNo 1 Yes, 0 No; yesNoCan 2 Yes,
 * 1 No, 0 Cancel; yesNoAll 3 Yes to All, 2 Yes, 1 No, 0 Cancel. */
typedef struct st_LWMessageFuncs {
    void (*info)(const char *title, const char *text);
    void (*error)(const char *title, const char *text);
    void (*warning)(const char *title, const char *text);
    int (*okCancel)(const char *title, const char *line1, const char *line2);
    int (*yesNo)(const char *title, const char *line1, const char *line2);
    int (*yesNoCan)(const char *title, const char *line1, const char *line2);
    int (*yesNoAll)(const char *title, const char *line1, const char *line2);
} LWMessageFuncs;

#ifdef __cplusplus
}
#endif

#endif
