/* "LWPanelServices": the host's classic panels, as the read-only
 * information windows use them. Plain C.
 *
 * A panel is created with a title, receives controls that the host lays
 * out from top to bottom, and is opened; with PANF_BLOCKING, open returns
 * when the user closes the panel. Panel attributes are read and written
 * with get and set through a pointer to the tag's type (int for sizes and
 * positions, void * for user data). Controls are records whose own get and
 * set exchange LWValue records. */
#ifndef KORVALITH_SDK_LWPANEL_H
#define KORVALITH_SDK_LWPANEL_H

#ifdef __cplusplus
extern "C" {
#endif

#define LWPANELFUNCS_GLOBAL "LWPanelServices"

typedef struct st_LWPanel *LWPanelID;
typedef struct st_LWControl LWControl;

/* Value kinds of LWValue and of control descriptions. */
#define LWT_NULL 0
#define LWT_STRING 1
#define LWT_INTEGER 2
#define LWT_TEXT 12 /* text lines */
#define LWT_AREA 19 /* drawing area */
#define LWT_POINTER 25
#define LWT_DRAWFUNC 26

/* Draw modes handed to draw callbacks. */
#define DR_RENDER 0
#define DR_GHOST 1
#define DR_ERASE 2
#define DR_REFRESH 3

/* Control draw callback: the control, its user data, the draw mode. */
typedef void LWControlDrawFunc(LWControl *control, void *userData, int drawMode);

typedef union un_LWValue {
    int type;
    struct {
        int type;
        int value;
    } intv; /* LWT_INTEGER */
    struct {
        int type;
        void *ptr;
    } ptr; /* LWT_POINTER */
    struct {
        int type;
        LWControlDrawFunc *func;
    } draw; /* LWT_DRAWFUNC */
} LWValue;

/* Control descriptions for addControl. */
typedef union un_LWPanControlDesc {
    int type;
    struct {
        int type; /* LWT_AREA */
        int width, height;
    } canvas;
    struct {
        int type;          /* LWT_TEXT */
        const char *const *text; /* lines, ended by a null entry */
    } text;
} LWPanControlDesc;

/* Control type names. */
#define LWPANCTL_CANVAS "CanvasControl" /* description LWT_AREA */
#define LWPANCTL_TEXT "TextControl"     /* description LWT_TEXT */

/* Control attribute tags. */
#define CTL_X 0
#define CTL_Y 1
#define CTL_W 2
#define CTL_H 3
#define CTL_HOTX 4 /* the active (drawable) area */
#define CTL_HOTY 5
#define CTL_HOTW 6
#define CTL_HOTH 7
#define CTL_USERDATA 8 /* LWT_POINTER */
#define CTL_USERDRAW 9 /* LWT_DRAWFUNC */

struct st_LWControl {
    /* Asks the host to redraw the control now. */
    void (*draw)(LWControl *control, int drawMode);
    /* Attribute access; an unknown tag or a value of the wrong type leaves
     * everything unchanged (get answers LWT_NULL). */
    void (*get)(LWControl *control, int tag, LWValue *value);
    void (*set)(LWControl *control, int tag, LWValue *value);
    void *priv_data;
};

/* Panel attribute tags. */
#define PAN_X 0
#define PAN_Y 1
#define PAN_W 2
#define PAN_H 3
#define PAN_USERDATA 4 /* void * */

/* Flags of open. */
#define PANF_BLOCKING 1

/* Drawing into a panel, in panel coordinates; meant for draw callbacks. */
typedef struct st_LWPanDrawFuncs {
    void (*drawRGBPixel)(LWPanelID panel, int r, int g, int b, int x, int y);
    void (*drawRGBBox)(LWPanelID panel, int r, int g, int b, int x, int y, int w, int h);
    int (*textWidth)(LWPanelID panel, const char *text);
    int (*textHeight)(LWPanelID panel, const char *text);
    void (*drawText)(LWPanelID panel, const char *text, int colour, int x, int y);
} LWPanDrawFuncs;

typedef struct st_LWPanelFuncs {
    /* Null when the panel cannot be made. */
    LWPanelID (*create)(const char *title);
    void (*destroy)(LWPanelID panel);
    /* Returns 1 when the panel was shown (and, blocking, closed with OK). */
    int (*open)(LWPanelID panel, int flags);
    void (*close)(LWPanelID panel);
    /* Return nonzero for a known panel and tag. */
    int (*get)(LWPanelID panel, int tag, void *value);
    int (*set)(LWPanelID panel, int tag, void *value);
    /* Null for an unknown type name or a description that does not fit it. */
    LWControl *(*addControl)(LWPanelID panel, const char *typeName, const LWPanControlDesc *desc, const char *label);
    const LWPanDrawFuncs *drawFuncs;
} LWPanelFuncs;

#ifdef __cplusplus
}
#endif

#endif
