/* "LWXPanel": the host's view and form panels. Plain C.
 *
 * This header holds the drawing functions that a panel's drawing area
 * offers to the plug-in's draw callbacks. The table starts with its
 * version and the drawing functions; the panel functions are appended
 * after them, so code written against this part stays valid. */
#ifndef KORVALITH_SDK_LW_XPANEL_H
#define KORVALITH_SDK_LW_XPANEL_H

#ifdef __cplusplus
extern "C" {
#endif

#define LWXPANELFUNCS_GLOBAL "LWXPanel"
#define LWXPANELS_VERSION 4

/* A drawing area handed to a draw callback; valid during the callback. */
typedef struct st_LWXPDrArea *LWXPDrAreaID;

/* Colours are either RGB components 0 to 255 or host palette indices
 * (for text, e.g. 4137). Coordinates are pixels of the area, (0, 0) at its
 * top left; drawing outside the area is clipped. Text metrics are those of
 * the host's panel font. */
typedef struct st_LWXPDrawFuncs {
    void (*drawRGBPixel)(LWXPDrAreaID area, int r, int g, int b, int x, int y);
    void (*drawRGBBox)(LWXPDrAreaID area, int r, int g, int b, int x, int y, int w, int h);
    int (*textWidth)(LWXPDrAreaID area, const char *text);
    int (*textHeight)(LWXPDrAreaID area, const char *text);
    void (*drawText)(LWXPDrAreaID area, const char *text, int colour, int x, int y);
} LWXPDrawFuncs;

typedef struct st_LWXPanelFuncs {
    int version;
    const LWXPDrawFuncs *drawf;
    /* panel functions follow here */
} LWXPanelFuncs;

#ifdef __cplusplus
}
#endif

#endif
