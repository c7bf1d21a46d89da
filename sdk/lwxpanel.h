/* "LWXPanel": the host's view and form panels. Plain C.
 *
 * A panel is made from a control table (control id, label, control class)
 * and a data description (value id, name, data type); a control shows the
 * value of the same id. Hint arrays then label, arrange and wire it: groups,
 * tabs, stacks, enable rules, popup items and callbacks.
 *
 * A view panel (LWXP_VIEW) shows a plug-in instance: the host reads each
 * value with the get function and hands every edit to the set function,
 * both called with the instance given to viewInst. A form panel (LWXP_FORM)
 * owns its values; formGet and formSet read and write them.
 *
 * Ids of controls, values and groups are 0x8000 or more; smaller ids belong
 * to the host. */
#ifndef KORVALITH_SDK_LWXPANEL_H
#define KORVALITH_SDK_LWXPANEL_H

#include "lwtypes.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LWXPANELFUNCS_GLOBAL "LWXPanel"

/* -------------------------------------------------------------------- hints
 *
 * A hint array is a run of tags, each followed by its fixed arguments and,
 * for the tags that take one, by a list of ids ended with XpEND; the array
 * itself ends with XpEND. The macros below write each tag in its full shape
 * (a macro whose name ends in "_" leaves the id list to the caller). */
typedef void *LWXPanelHint;

#define XpH(x) ((void *)(x))

#define XPTAG_END XpH(0)
#define XPTAG_NULL XpH(0)
#define XPTAG_CALL XpH(0xDD002)
#define XPTAG_NEST XpH(0x101)

#define XPTAG_LABEL XpH(0x3D000B03)
#define XPTAG_CLASS XpH(0x3D000C02)
#define XPTAG_ADD XpH(0x3D000D03)
#define XPTAG_DELETE XpH(0x3D000E01)
#define XPTAG_CHGNOTIFY XpH(0x3D000F01)
#define XPTAG_FOCUS XpH(0x3D001201)
#define XPTAG_AUTORESTORE XpH(0x3D001481)
#define XPTAG_DESTROYNOTIFY XpH(0x3D001302)

#define XPTAG_VALUE XpH(0x3D006502)
#define XPTAG_LINK XpH(0x3D006681)
#define XPTAG_IMMUPD XpH(0x3D006781)
#define XPTAG_TRACK XpH(0x3D006802)
#define XPTAG_ORIENT XpH(0x3D00CB02)

#define XPTAG_MIN XpH(0x3D014002)
#define XPTAG_MAX XpH(0x3D014102)
#define XPTAG_STEP XpH(0x3D014202)
#define XPTAG_RANGE XpH(0x3D014304)
#define XPTAG_HARDMINMAX XpH(0x3D014703)
#define XPTAG_CLRMINMAX XpH(0x3D014803)
#define XPTAG_SENS XpH(0x3D014402)

#define XPTAG_BUTNOTIFY XpH(0x3D015F02)
#define XPTAG_POPCMDFUNC XpH(0x3D016002)
#define XPTAG_POPFUNCS XpH(0x3D016203)
#define XPTAG_INTXFORM XpH(0x3D016303)
#define XPTAG_DRAWCBFUNC XpH(0x3D016502)
#define XPTAG_ZOOMCBFUNC XpH(0x3D016603)
#define XPTAG_TEXTXFORMFUNC XpH(0x3D016802)

#define XPTAG_STRLIST XpH(0x3D014503)
#define XPTAG_VECLABEL XpH(0x3D017202)
#define XPTAG_CTRLFRONT XpH(0x3D017301)
#define XPTAG_CTRLCFG XpH(0x3D017403)
#define XPTAG_XREQCFG XpH(0x3D019105)

#define XPTAG_ALIAS XpH(0x3D01F481)
#define XPTAG_UNALIAS XpH(0x3D01F581)
#define XPTAG_ENABLE XpH(0x3D01F984)

#define XPTAG_GROUP XpH(0x3D01FE81)
#define XPTAG_ORDER XpH(0x3D01FF81)
#define XPTAG_STACK XpH(0x3D020983)
#define XPTAG_TABS XpH(0x3D020A81)

#define XPTAG_LEFT XpH(0x3D021280)
#define XPTAG_NARROW XpH(0x3D021380)
#define XPTAG_DIVADD XpH(0x3D021481)
#define XPTAG_DIVREM XpH(0x3D021581)
#define XPTAG_BORDER XpH(0x3D021501)

#define XPTAG_DLOGTYPE XpH(0x3D02BD01)

/* Ends an id list, and the whole array. */
#define XpEND XPTAG_END
/* Applies another hint array here, or to the control or group id. */
#define XpCALL(ref) XPTAG_CALL, XPTAG_NULL, XpH(ref)
#define XpSUBCALL(id, ref) XPTAG_CALL, XpH(id), XpH(ref)
#define XpNEST(id) XPTAG_NEST, XpH(id)

/* Labels and the controls themselves. An id of 0 names the panel (XpLABEL:
 * its title); in an array given to hint for one control, that control. */
#define XpLABEL(id, str) XPTAG_LABEL, XpH(id), XpH(str), XPTAG_NULL
#define XpCLASS(id, cl) XPTAG_CLASS, XpH(id), XpH(cl)
#define XpADD(id, cl, vid) XPTAG_ADD, XpH(id), XpH(cl), XpH(vid)
#define XpDELETE(id) XPTAG_DELETE, XpH(id)

#define XpCHGNOTIFY(func) XPTAG_CHGNOTIFY, XpH(func)
#define XpFOCUS(cid) XPTAG_FOCUS, XpH(cid)
#define XpRESTORE(vid) XPTAG_AUTORESTORE, XpH(1), XpH(vid), XPTAG_NULL
#define XpRESTORE_() XPTAG_AUTORESTORE, XpH(1)
#define XpRESTORE_ON XPTAG_AUTORESTORE, XpH(1), XPTAG_NULL
#define XpRESTORE_OFF XPTAG_AUTORESTORE, XpH(0), XPTAG_NULL
#define XpDESTROYNOTIFY(func) XPTAG_DESTROYNOTIFY, XpH(func), XPTAG_NULL

#define XpVALUE(dep, vid) XPTAG_VALUE, XpH(dep), XpH(vid)
#define XpLINK_(vid) XPTAG_LINK, XpH(vid)
#define XpLINK(vid, link) XPTAG_LINK, XpH(vid), XpH(link), XPTAG_NULL
#define XpIMMUPD(cid, did) XPTAG_IMMUPD, XpH(cid), XpH(did), XPTAG_NULL
#define XpIMMUPD_(cid) XPTAG_IMMUPD, XpH(cid)
#define XpTRACK(cid, track) XPTAG_TRACK, XpH(cid), XpH(track)
#define XpORIENT(cid, orient) XPTAG_ORIENT, XpH(cid), XpH(orient)

#define XpMIN(cid, min) XPTAG_MIN, XpH(cid), XpH(min)
#define XpMAX(cid, max) XPTAG_MAX, XpH(cid), XpH(max)
#define XpSTEP(cid, step) XPTAG_STEP, XpH(cid), XpH(step)
#define XpRANGE(cid, mn, mx, st) XPTAG_RANGE, XpH(cid), XpH(mn), XpH(mx), XpH(st)
#define XpHARDMINMAX(cid, mn, mx) XPTAG_HARDMINMAX, XpH(cid), XpH(mn), XpH(mx)
#define XpCLRMINMAX(cid, mn, mx) XPTAG_CLRMINMAX, XpH(cid), XpH(mn), XpH(mx)
#define XpSENS(cid, sens) XPTAG_SENS, XpH(cid), XpH(sens)

/* slist: the popup's items, a const char * array ending with a null. */
#define XpSTRLIST(cid, slist) XPTAG_STRLIST, XpH(cid), XpH(slist), XPTAG_NULL
#define XpVECLABEL(cid, slist) XPTAG_VECLABEL, XpH(cid), XpH(slist)
#define XpCTRLFRONT(cid) XPTAG_CTRLFRONT, XpH(cid)
#define XpCTRLCFG(cid, opt) XPTAG_CTRLCFG, XpH(cid), XPTAG_NULL, XpH(opt)
#define XpXREQCFG(cid, mode, ttl, ftyp) XPTAG_XREQCFG, XpH(cid), XpH(mode), XpH(ttl), XpH(ftyp), XPTAG_NULL

/* Callbacks of controls. */
#define XpBUTNOTIFY(cid, func) XPTAG_BUTNOTIFY, XpH(cid), XpH(func)
#define XpPOPCMDFUNC(cid, func) XPTAG_POPCMDFUNC, XpH(cid), XpH(func)
#define XpPOPFUNCS(cid, cnt, nam) XPTAG_POPFUNCS, XpH(cid), XpH(cnt), XpH(nam)
#define XpINTXFORM(cid, cnt, ilist) XPTAG_INTXFORM, XpH(cid), XpH(cnt), XpH(ilist)
#define XpPOPXFORM(cid, cnt, ilist) XpINTXFORM(cid, cnt, ilist)
#define XpCHOXFORM(cid, cnt, ilist) XpINTXFORM(cid, cnt, ilist)
#define XpDRAWCBFUNC(cid, func) XPTAG_DRAWCBFUNC, XpH(cid), XpH(func)
#define XpZOOMCBFUNC(cid, func, reg) XPTAG_ZOOMCBFUNC, XpH(cid), XpH(func), XpH(reg)
#define XpTEXTXFORMFUNC(cid, func) XPTAG_TEXTXFORMFUNC, XpH(cid), XpH(func)

/* Relations. An enable rule enables the listed controls and groups while the
 * value vid is nonzero or, with a map, while map[value] is nonzero: the map
 * is an int array indexed by the value, with no end marker. msg: a text
 * shown when the user reaches for a disabled control, or null. */
#define XpALIAS_(id) XPTAG_ALIAS, XpH(id)
#define XpUNALIAS_(id) XPTAG_UNALIAS, XpH(id)
#define XpENABLE(vid, sub) XPTAG_ENABLE, XpH(vid), XPTAG_NULL, XPTAG_NULL, XPTAG_NULL, XpH(sub), XPTAG_NULL
#define XpENABLE_(vid) XPTAG_ENABLE, XpH(vid), XPTAG_NULL, XPTAG_NULL, XPTAG_NULL
#define XpENABLE_MAP_(vid, map) XPTAG_ENABLE, XpH(vid), XPTAG_NULL, XPTAG_NULL, XpH(map)
#define XpENABLEMSG_(vid, msg) XPTAG_ENABLE, XpH(vid), XpH(msg), XPTAG_NULL, XPTAG_NULL
#define XpENABLEMSG_MAP_(vid, map, msg) XPTAG_ENABLE, XpH(vid), XpH(msg), XPTAG_NULL, XpH(map)

/* Layout. A stack shows one of its members: the one at the position given
 * by the integer value vid or, with a map, at map[value]; -1 shows none.
 * The map is indexed by the value and has no end marker. */
#define XpGROUP_(gid) XPTAG_GROUP, XpH(gid)
#define XpORDER_(gid) XPTAG_ORDER, XpH(gid)
#define XpSTACK_(gid, vid) XPTAG_STACK, XpH(gid), XpH(vid), XPTAG_NULL
#define XpSTACK_MAP_(gid, vid, map) XPTAG_STACK, XpH(gid), XpH(vid), XpH(map)
#define XpTABS_(gid) XPTAG_TABS, XpH(gid)

#define XpLEFT(gid) XPTAG_LEFT, XpH(gid), XPTAG_NULL
#define XpLEFT_() XPTAG_LEFT
#define XpNARROW(gid) XPTAG_NARROW, XpH(gid), XPTAG_NULL
#define XpNARROW_() XPTAG_NARROW

/* Dividers after an id; as the fixed id, 0 is the panel's top and -1 its
 * bottom. */
#define XpDIVADD(id) XPTAG_DIVADD, XpH(id), XPTAG_NULL
#define XpDIVADD_(id) XPTAG_DIVADD, XpH(id)
#define XpDIVREM(id) XPTAG_DIVREM, XpH(id), XPTAG_NULL
#define XpDIVREM_(id) XPTAG_DIVREM, XpH(id)

#define XpBORDER(typ) XPTAG_BORDER, XpH(typ)
#define XpDLOGTYPE(typ) XPTAG_DLOGTYPE, XpH(typ)

/* -------------------------------------------------------------------- types */

typedef void *LWXPanelID;

/* One entry of a control table; the table ends with an entry of cid 0. */
typedef struct st_LWXPanelControl {
    unsigned int cid;
    const char *label;
    const char *ctrlclass;
} LWXPanelControl;

/* One entry of a data description; it ends with an entry of vid 0. Each
 * control class takes its own data type, e.g. "iPopChoice", "iBoolean" and
 * "integer" take "integer", "axis" "axis", "angle-env" "angle-env",
 * "color-env" "color-env", "sFileName" "string". */
typedef struct st_LWXPanelDataDesc {
    unsigned int vid;
    const char *name;
    const char *datatype;
} LWXPanelDataDesc;

/* A drawing area, valid during the draw callback it is handed to. */
typedef void *LWXPDrAreaID;

/* Drawing into an area: coordinates are pixels from its top left corner; a
 * colour c is a panel palette index ("lwpanel.h"), r, g, b are 0 to 255.
 * Text metrics are those of the panel font. */
typedef struct st_LWXPDrawFuncs {
    void (*drawPixel)(LWXPDrAreaID p, int c, int x, int y);
    void (*drawRGBPixel)(LWXPDrAreaID p, int r, int g, int b, int x, int y);
    void (*drawLine)(LWXPDrAreaID p, int c, int x, int y, int x2, int y2);
    void (*drawBox)(LWXPDrAreaID p, int c, int x, int y, int w, int h);
    void (*drawRGBBox)(LWXPDrAreaID p, int r, int g, int b, int x, int y, int w, int h);
    /* indent: the border's thickness; h 0 draws a horizontal divider. */
    void (*drawBorder)(LWXPDrAreaID p, int indent, int x, int y, int w, int h);
    int (*textWidth)(LWXPDrAreaID p, char *s);
    int (*textHeight)(LWXPDrAreaID p, char *s);
    void (*drawText)(LWXPDrAreaID p, char *s, int c, int x, int y);
} LWXPDrawFuncs;

/* Panel types of create. */
#define LWXP_VIEW 1
#define LWXP_FORM 2

/* Events of the change notification. */
typedef enum en_LWXPEventTypes {
    LWXPEVENT_TRACK = 1, /* a value is being dragged */
    LWXPEVENT_VALUE,     /* a value was changed */
    LWXPEVENT_HIT,       /* a control without a value (a button) was used */
    LWXPEVENT_FOCUS,
    LWXPEVENT_LOSEFOCUS
} LWXPEventTypes;

/* What the panel redraws after a set: NONE also says the id was unknown. */
typedef enum en_LWXPRefreshCodes { LWXPRC_NONE = 0, LWXPRC_DFLT, LWXPRC_DRAW, LWXPRC_FULL } LWXPRefreshCode;

/* Buttons of a modal panel (XpDLOGTYPE) and what post answers for each. */
typedef enum {
    LWXPDLG_OKCANCEL = 2, /* OK 1, Cancel 0; the default */
    LWXPDLG_DONE,         /* Done 1 */
    LWXPDLG_OKONLY,       /* OK 1 */
    LWXPDLG_YESNO,        /* Yes 1, No 0 */
    LWXPDLG_YESNOALL,     /* Yes 1, No 0, Yes to All 2, Cancel 3 */
    LWXPDLG_YESNOCAN      /* Yes 1, No 0, Cancel 3 */
} LWXPDialogTypes;

/* File request modes of "sFileName" controls (XpXREQCFG). */
#define LWXPREQ_LOAD 0
#define LWXPREQ_SAVE 1
#define LWXPREQ_DIR 2

/* Panel borders (XpBORDER). */
#define LWXPBDR_NONE 0
#define LWXPBDR_UP 1
#define LWXPBDR_DOWN 2

/* Thumbnail options (XpCTRLCFG): height, width as an aspect, border. */
#define THUM_SML (1 << 0)
#define THUM_MED (1 << 1)
#define THUM_LRG (1 << 2)
#define THUM_XLG (1 << 3)
#define THUM_SNGL (1 << 4)
#define THUM_SQ (1 << 16)
#define THUM_NTSC (1 << 17)
#define THUM_35MM (1 << 18)
#define THUM_PORT (1 << 19)
#define THUM_WIDE (1 << 20)
#define THUM_ANAW (1 << 21)
#define THUM_EURO (1 << 22)
#define THUM_FULL (1 << 31)
#define THUM_LAND THUM_NTSC
#define THUM_BORDER_UP (1 << 9)
#define THUM_BORDER_DOWN (1 << 10)
#define THUM_BORDER_NONE ((1 << 9) | (1 << 10))

/* Directions of a text transform (XpTEXTXFORMFUNC). */
typedef enum { LWXPTEXTXFORM_TODISPLAY = 0, LWXPTEXTXFORM_FROMDISPLAY } LWXPanelTextXFormMode;

/* ---------------------------------------------------------------- callbacks */

/* A pointer to the value vid of inst, or null when it has none. */
typedef void *LWXPanelGetFunc(void *inst, unsigned int vid);
/* The user changed vid to *value; answers what to redraw. */
typedef LWXPRefreshCode LWXPanelSetFunc(void *inst, unsigned int vid, void *value);
/* Called after the panel was destroyed, with the panel's data (setData 0). */
typedef void LWXPanelDestroyNotifyFunc(void *panData);
typedef LWXPRefreshCode LWXPanelChangeNotifyFunc(LWXPanelID pan, unsigned int cid, unsigned int vid, int event_type);
typedef void LWXPanelBtnClickFunc(LWXPanelID pan, int cid);
typedef void LWXPanelPopCmdFunc(LWXPanelID pan, int cid, int cmdid);
/* Popup items, asked with the control's data (setData). */
typedef int LWXPanelPopCntFunc(void *userdata);
typedef const char *LWXPanelPopNameFunc(void *userdata, int idx);
typedef const char *LWXPanelTextXFormFunc(LWXPanelID pan, unsigned int cid, const char *string,
                                          LWXPanelTextXFormMode mode);
/* Draws a thumbnail of w x h pixels into reg. */
typedef void LWXPanelControlDrawFunc(LWXPanelID pan, unsigned int cid, LWXPDrAreaID reg, int w, int h);
typedef void LWXPanelControlZoomFunc(LWXPanelID pan, unsigned int cid, int x, int y, int *region, int clickcount);

/* -------------------------------------------------------------- the table */

typedef struct st_LWXPanelFuncs {
    int version;
    LWXPDrawFuncs *drawf;
    /* The tables handed to create and describe must outlive the panel. */
    LWXPanelID (*create)(int type, LWXPanelControl *ctrlDesc);
    void (*destroy)(LWXPanelID panel);
    /* Form panels take no get and set functions (null). */
    void (*describe)(LWXPanelID panel, LWXPanelDataDesc *dataDesc, LWXPanelGetFunc *get, LWXPanelSetFunc *set);
    /* Applies hints to the panel (id 0) or to one control; only while the
     * panel is closed. */
    void (*hint)(LWXPanelID panel, unsigned int id, LWXPanelHint *hints);
    /* User data of the panel (id 0) or of a control, handed to its callbacks. */
    void *(*getData)(LWXPanelID panel, unsigned int id);
    void (*setData)(LWXPanelID panel, unsigned int id, void *data);
    /* Values of a form panel; formGet answers null for an unset value, and
     * formSet with null unsets it. */
    void *(*formGet)(LWXPanelID panel, unsigned int vid);
    void (*formSet)(LWXPanelID panel, unsigned int vid, void *value);
    void (*viewInst)(LWXPanelID panel, void *inst);
    /* Reads the view panel's values from the instance anew. */
    void (*viewRefresh)(LWXPanelID panel);
    /* Shows the panel modally: 1 for OK, 0 for Cancel or when it cannot. */
    int (*post)(LWXPanelID panel);
    /* Shows the panel without waiting: 1 when it opened. */
    int (*open)(LWXPanelID panel);
} LWXPanelFuncs;

/* Form values by type. */
#define FSETINT(fun, pan, cid, i)            \
    {                                        \
        int l = (int)i;                      \
        (*fun->formSet)(pan, cid, &l);       \
    }
#define FGETINT(fun, pan, cid) (*((int *)(*fun->formGet)(pan, cid)))
#define FSETFLT(fun, pan, cid, f)            \
    {                                        \
        double d = (double)f;                \
        (*fun->formSet)(pan, cid, &d);       \
    }
#define FGETFLT(fun, pan, cid) (*((double *)(*fun->formGet)(pan, cid)))

#ifdef __cplusplus
}
#endif

#endif
