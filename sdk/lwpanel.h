/* "LWPanelServices": the host's classic panels. Plain C.
 *
 * A panel is created with a title, receives controls, is sized and opened;
 * with PANF_BLOCKING, open returns when the user closes the panel. Panel
 * attributes are read with get through a pointer to the attribute's type;
 * set takes a pointer to an int for sizes and positions and the pointer
 * itself for pointer attributes. Controls exchange LWValue records through
 * their own get and set; pointers (user data, draw callbacks) travel in the
 * record's ptr member. Drawing goes through drawFuncs, in panel coordinates.
 * Colours of the drawing functions are palette indexes (SYSTEM_Ic) or RGB_
 * values. */
#ifndef KORVALITH_SDK_LWPANEL_H
#define KORVALITH_SDK_LWPANEL_H

#include "lwserver.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LWPANELFUNCS_GLOBAL "LWPanelServices"
#define LWPANELS_API_VERSION 19

typedef void *LWControlID;
typedef void *LWPanelID;

typedef unsigned short LWDualKey;

typedef struct st_display_Metrics {
    int width, height;
    int pixX, pixY;
    int maxColors, depth;
    int textHeight;
    int textAscent;
} display_Metrics;
#define LWDisplayMetrics display_Metrics

/* Kinds of values and of control descriptions. */
typedef int LWType;
#define LWT_NULL 0
#define LWT_STRING 1
#define LWT_INTEGER 2
#define LWT_FLOAT 3
#define LWT_DISTANCE 4
#define LWT_VINT 5
#define LWT_VFLOAT 6
#define LWT_VDIST 7
#define LWT_BOOLEAN 8
#define LWT_CHOICE 9
#define LWT_SURFACE 10
#define LWT_FONT 11
#define LWT_TEXT 12
#define LWT_LAYERS 13
#define LWT_CUSTOM 14
#define LWT_RANGE 15
#define LWT_LWITEM 16
#define LWT_PERCENT 17
#define LWT_POPUP 18
#define LWT_AREA 19
#define LWT_XPANEL 20
#define LWT_TREE 21
#define LWT_MLIST 22
#define LWT__LAST LWT_MLIST

typedef struct st_LWValString {
    LWType type;
    char *buf;
    int bufLen;
} LWValString;

typedef struct st_LWValInt {
    LWType type;
    int value;
    int defVal;
} LWValInt;

typedef struct st_LWValFloat {
    LWType type;
    double value;
    double defVal;
} LWValFloat;

typedef struct st_LWValIVector {
    LWType type;
    int val[3];
    int defVal;
} LWValIVector;

typedef struct st_LWValFVector {
    LWType type;
    double val[3];
    double defVal;
} LWValFVector;

typedef struct st_LWValCustom {
    LWType type;
    int val[4];
} LWValCustom;

typedef struct st_LWValPointer {
    LWType type;
    void *ptr;
} LWValPointer;

/* Control descriptions, one per kind. */
typedef struct st_LWPanStringDesc {
    LWType type;
    int width;
} LWPanStringDesc;

typedef struct st_LWPanChoiceDesc {
    LWType type;
    const char **items;
    int vertical;
} LWPanChoiceDesc;

typedef struct st_LWPanTextDesc {
    LWType type;
    const char **text; /* lines, ended by a null entry */
} LWPanTextDesc;

typedef struct st_LWPanRangeDesc {
    LWType type;
    int width;
    int min;
    int max;
} LWPanRangeDesc;

typedef struct st_LWPanAreaDesc {
    LWType type;
    int width;
    int height;
} LWPanAreaDesc;

typedef struct st_LWPanLWItemDesc {
    LWType type;
    void *global;
    int itemType;
    char **list;
    int count;
    int width;
} LWPanLWItemDesc;

typedef struct st_LWPanPopupDesc {
    LWType type;
    int width;
    int (*countFn)(void *);
    char *(*nameFn)(void *, int);
} LWPanPopupDesc;

typedef struct st_LWPanListBoxDesc {
    LWType type;
    int width, visItems, top;
    int (*countFn)(void *);
    char *(*nameFn)(void *, int);
} LWPanListBoxDesc;

typedef struct st_LWPanMultiListBoxDesc {
    LWType type;
    int width, visItems, top;
    int (*countFn)(void *);
    char *(*nameFn)(void *, int, int);
    int (*colWidth)(void *, int);
} LWPanMultiListBoxDesc;

typedef struct st_LWPanXPanDesc {
    LWType type;
    int width, height;
    void *xpan;
} LWPanXPanDesc;

typedef struct st_LWPanTreeDesc {
    LWType type;
    int width, height;
    int (*countFn)(void *data, void *node);
    void *(*leafFn)(void *data, void *node, int i);
    char *(*infoFn)(void *data, void *node, int *nodeFlags);
    void (*moveFn)(void *data, void *node, void *parentNode, int i);
} LWPanTreeDesc;

/* Panel attributes. */
typedef enum {
    PAN_X, PAN_Y, PAN_W, PAN_H, PAN_MOUSEX, PAN_MOUSEY,
    PAN_FLAGS, PAN_USERDRAW, PAN_USERACTIVATE,
    PAN_USEROPEN, PAN_USERCLOSE, PAN_TITLE, PAN_USERDATA, PAN_USERKEYS,
    PAN_LWINSTANCE, PAN_MOUSEBUTTON, PAN_MOUSEMOVE, PAN_PANFUN, PAN_VERSION, PAN_RESULT,
    PAN_HOSTDISPLAY, PAN_USERKEYUPS, PAN_QUALIFIERS, PAN_TO_FRONT
} pTag;

/* How a draw callback is to draw. */
typedef enum { DR_ERASE, DR_RENDER, DR_GHOST, DR_REFRESH } DrMode;

/* Control attributes. */
typedef enum {
    CTL_X, CTL_Y, CTL_W, CTL_H, CTL_VALUE,
    CTL_HOTX, CTL_HOTY, CTL_HOTW, CTL_HOTH, CTL_LABELWIDTH,
    CTL_MOUSEX, CTL_MOUSEY,
    CTL_FLAGS, CTL_USERDRAW, CTL_USEREVENT, CTL_LABEL, CTL_USERDATA,
    CTL_PANEL, CTL_PANFUN,
    CTL_RANGEMIN, CTL_RANGEMAX,
    CTL_ACTIVATE
} cTag;

typedef void (*LWPanHook)(LWPanelID, void *);
typedef void (*LWPanKeyHook)(LWPanelID, void *, LWDualKey);
typedef void (*LWPanMouseHook)(LWPanelID, void *, int, int, int);
typedef void (*LWPanDrawHook)(LWPanelID, void *, DrMode);
/* A control's draw callback: the control, its CTL_USERDATA, the mode. */
typedef void (*LWCtlDrawHook)(LWControlID, void *, DrMode);
typedef void (*LWCtlEventHook)(LWControlID, void *);

typedef union un_LWValue {
    LWType type;
    LWValString str;
    LWValInt intv;
    LWValFloat flt;
    LWValIVector ivec;
    LWValFVector fvec;
    LWValPointer ptr;
    LWValCustom cust;
} LWValue;

typedef union un_LWPanControlDesc {
    LWType type;
    LWPanStringDesc string;
    LWPanChoiceDesc choice;
    LWPanTextDesc text;
    LWPanRangeDesc range;
    LWPanAreaDesc area;
    LWPanLWItemDesc lwitem;
    LWPanPopupDesc popup;
    LWPanListBoxDesc listbox;
    LWPanXPanDesc xpanel;
    LWPanTreeDesc tree;
    LWPanMultiListBoxDesc multiList;
} LWPanControlDesc;

typedef LWPanControlDesc ControlDesc;

/* Drawing into a panel, in panel coordinates. */
typedef struct st_DrawFuncs {
    void (*drawPixel)(LWPanelID panel, int colour, int x, int y);
    void (*drawRGBPixel)(LWPanelID panel, int r, int g, int b, int x, int y);
    void (*drawLine)(LWPanelID panel, int colour, int x, int y, int x2, int y2);
    void (*drawBox)(LWPanelID panel, int colour, int x, int y, int w, int h);
    void (*drawRGBBox)(LWPanelID panel, int r, int g, int b, int x, int y, int w, int h);
    /* A frame around the box; with h 0 a divider line of width w. */
    void (*drawBorder)(LWPanelID panel, int indent, int x, int y, int w, int h);
    int (*textWidth)(LWPanelID panel, char *text);
    void (*drawText)(LWPanelID panel, char *text, int colour, int x, int y);
    const LWDisplayMetrics *(*dispMetrics)(void);
} DrawFuncs;

typedef struct st_LWControl {
    void (*draw)(LWControlID control, DrMode mode);
    void (*get)(LWControlID control, cTag tag, LWValue *value);
    void (*set)(LWControlID control, cTag tag, LWValue *value);
    void *priv_data;
} LWControl;

typedef struct st_LWPanelFuncs {
    /* data: the panel's user data, handed to the panel's callbacks. */
    LWPanelID (*create)(char *title, void *data);
    void (*destroy)(LWPanelID panel);
    /* flags: PANF_ bits. */
    int (*open)(LWPanelID panel, int flags);
    /* Events of a panel opened without PANF_BLOCKING; flags: EVNT_ bits.
     * Returns -1 once the user has closed the panel, else 0. */
    int (*handle)(LWPanelID panel, int flags);
    void (*draw)(LWPanelID panel, DrMode mode);
    void (*close)(LWPanelID panel);
    void (*get)(LWPanelID panel, pTag tag, void *value);
    void (*set)(LWPanelID panel, pTag tag, void *value);
    /* typeName: the control's kind, e.g. "CanvasControl" (an LWT_AREA
     * description) or "TextControl" (LWT_TEXT). */
    LWControl *(*addControl)(LWPanelID panel, char *typeName, ControlDesc *desc, char *label);
    /* The control after ctl in the order they were added (the first for a
     * null ctl), null after the last. */
    LWControl *(*nextControl)(LWPanelID panel, LWControlID ctl);
    DrawFuncs *drawFuncs;
    void *user_data;       /* the plug-in's own */
    GlobalFunc *globalFun; /* the plug-in's lookup function, set by it */
} LWPanelFuncs;

/* A colour for the drawing functions from its components. */
#define RGB_(r, g, b) ((long)(((r) << 16) | ((b) << 8) | (g) | 0x1000000))

/* Flags of open. */
#define PANF_BLOCKING 1
#define PANF_CANCEL 2
#define PANF_FRAME 4
#define PANF_MOUSETRAP 8
#define PANF_PASSALLKEYS 16
#define PANF_ABORT 32
#define PANF_NOBUTT 64
#define PANF_RESIZE 128

/* Flags of handle. */
#define EVNT_BLOCKING 1
#define EVNT_ALL 2

/* Palette colours of the drawing functions. */
#define SYSTEM_Ic(i) (4136 + (i))
#define LWP_NONE SYSTEM_Ic(0)
#define LWP_INVERT SYSTEM_Ic(1)
#define LWP_BG SYSTEM_Ic(2)
#define LWP_NORMAL SYSTEM_Ic(3)
#define LWP_HEADLINE SYSTEM_Ic(4)
#define LWP_BLACK SYSTEM_Ic(12)
#define LWP_SHADOW SYSTEM_Ic(13)
#define LWP_HILIGHT SYSTEM_Ic(16)

#ifdef __cplusplus
}
#endif

#endif
