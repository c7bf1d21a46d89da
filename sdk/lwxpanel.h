/* "LWXPanel": the host's view and form panels. Plain C.
 *
 * A panel is made from a control table (control id, label, control class),
 * given a data description (value id, name, data type) that says which
 * controls show a value, and arranged and wired with hint arrays (labels,
 * groups, tabs, stacks, enable rules, popup items, callbacks).
 *
 * A view panel (LWXP_VIEW) shows the values of a plug-in instance: the panel
 * reads each described control's value with the get function and hands every
 * edit to the set function, both called with the instance set by viewInst.
 * A value id equals the id of the control that shows it. A form panel
 * (LWXP_FORM) keeps the values itself; formGet and formSet read and write
 * them.
 *
 * The table starts with its version and the drawing functions that a
 * panel's drawing area offers to the plug-in's draw callbacks; the panel
 * functions follow, so code written against the first part stays valid. */
#ifndef KORVALITH_SDK_LWXPANEL_H
#define KORVALITH_SDK_LWXPANEL_H

#ifdef __cplusplus
extern "C" {
#endif

#define LWXPANELFUNCS_GLOBAL "LWXPanel"
#define LWXPANELS_VERSION 4

/* ------------------------------------------------------------------ drawing */

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

/* ------------------------------------------------------------------- types */

typedef struct st_LWXPanel *LWXPanelID;

/* Panel types of create. */
#define LWXP_VIEW 1
#define LWXP_FORM 2

/* One entry of a control table; the table ends with an entry of cid 0.
 * Ids are nonzero and unique within a panel.
 *
 * Control classes and the value each shows:
 *   "iPopChoice"  popup; an int, the position of the chosen item
 *   "iBoolean"    check box; an int, 0 or 1
 *   "integer"     integer field; an int
 *   "axis"        X / Y / Z buttons; an int, 0 1 2
 *   "float", "distance"                    a number
 *   "float-env", "percent-env", "angle-env" a number with an envelope button
 *   "distance3-env", "angle3-env", "percent3-env", "float3-env", "color-env"
 *                                           a triple with envelope buttons
 *   "sFileName", "string"                   a text
 *   "vButton"     a button; no value (see XpBUTNOTIFY)
 *   "dThumbnail"  a drawing area; no value (see XpDRAWCBFUNC)
 * Values are the stored values: percentages as fractions (0.25 for 25 %),
 * angles in radians. A table with any other class makes no panel. */
typedef struct {
    unsigned long cid;
    const char *label;
    const char *ctrlclass;
} LWXPanelControl;

/* One entry of a data description; it ends with an entry of vid 0. The vid
 * is the id of the control that shows the value. Data types and what get
 * returns and set receives (as void *):
 *   "integer"     int *                  (popups, booleans, integers, axes)
 *   "float", "distance"  double *        (numbers)
 *   "color"       double * to three values (triples without envelopes)
 *   "float-env", "float3-env"  the LWVParmID of the value ("lwvparm.h");
 *                 the panel reads it at time 0 and edits it through
 *                 "LWVParmFuncs 2", then calls set with the same LWVParmID
 *   "string"      char *                 (texts)
 * The data type must suit the control's class (an int for int controls, a
 * number, a triple or a text likewise); an entry that does not, or names no
 * control of the panel, is ignored. Controls without an entry (buttons,
 * thumbnails, popups that only steer a stack) keep their value in the panel. */
typedef struct {
    unsigned long vid;
    const char *name;
    const char *datatype;
} LWXPanelDataDesc;

/* Refresh codes returned by set. */
typedef int LWXRefreshCode;
#define LWXRF_NONE 0 /* nothing to re-read (also: vid not known) */
#define LWXRF_UPD 1  /* re-read the edited control */
#define LWXRF_DRAW 2 /* redraw; nothing is re-read */
#define LWXRF_FULL 3 /* re-read every control of the panel */

/* Events of the change notification. */
#define LWXPEVENT_TRACK 1 /* a value is being dragged (not sent by this host) */
#define LWXPEVENT_VALUE 2 /* a value was changed by the user */
#define LWXPEVENT_HIT 3   /* a button was pressed */

/* ---------------------------------------------------------------- callbacks */

/* The value of vid in inst (see LWXPanelDataDesc); null: the control shows no
 * value and cannot be edited until it has one again. */
typedef void *LWXPanelGetFunc(void *inst, unsigned long vid);
/* The user changed vid to *value; returns a refresh code. */
typedef LWXRefreshCode LWXPanelSetFunc(void *inst, unsigned long vid, void *value);
/* Popup items, called with the control's data (setData). */
typedef int LWXPanelPopCntFunc(void *userdata);
typedef const char *LWXPanelPopNameFunc(void *userdata, int idx);
/* A button was pressed. */
typedef void LWXPanelBtnClickFunc(LWXPanelID panel, int cid);
/* The user changed a control's value (event LWXPEVENT_VALUE, sent after set
 * and the refresh it asked for) or pressed a button (LWXPEVENT_HIT, after its
 * XpBUTNOTIFY). vid is the control's id when the instance holds its value,
 * else 0. */
typedef void LWXPanelChangeNotifyFunc(LWXPanelID panel, unsigned long cid, unsigned long vid, int event_type);
/* Draws a thumbnail control of w x h pixels into reg with the drawing
 * functions of this table. */
typedef void LWXPanelDrawFunc(LWXPanelID panel, unsigned long cid, LWXPDrAreaID reg, int w, int h);
/* Called after the panel was destroyed, with the panel's data (setData with
 * cid 0). */
typedef void LWXPanelDestroyNotifyFunc(void *panelData);

/* -------------------------------------------------------------------- hints
 *
 * A hint array is a sequence of tags, each followed by its arguments, and
 * ends with XpEND. Build it with the macros below, e.g.
 *
 *     static const int kShow[] = {-1, -1, -1, -1, 0, 1, XP_MAP_END};
 *     LWXPanelHint hints[] = {
 *         XpLABEL(0x9106, "Fixed"),
 *         XpGROUP_(0x9600), XpH(0x9106), XpH(0x9145), XpEND,
 *         XpSTACK_MAP_(0x9601, 0x9102, kShow), XpH(0x9600), XpH(0x911E), XpEND,
 *         XpEND};
 *
 * Ids: control ids of the table, or new ids for groups, tab groups and
 * stacks (never a control's id). Hints that name an id the panel does not
 * have (never made, or deleted) are skipped; a tag the host does not know
 * ends the array. hint may be called several times; later hints add to
 * earlier ones.
 *
 * Layout. The panel is a tree: at first every control sits at the top level
 * in table order. A group, tab group or stack takes the place of its first
 * member in that member's container, and its members move into it in the
 * listed order. A member list names controls, or groups defined by earlier
 * hints, and ends with XpEND; naming a group again adds members to it.
 *
 * XpLABEL(id, text)      the label of a control (replacing the table's), the
 *                        name of a group (a tab's name), or with id 0 the
 *                        panel's title
 * XpGROUP_(gid) ids… XpEND  a group of controls and groups
 * XpTABS_(gid) ids… XpEND   a tab group: each member is a group whose label
 *                        names its tab. Controls in tabs that are not the
 *                        front tab still count as visible.
 * XpSTACK_(sid, cid) ids… XpEND
 *                        a stack: of its members it shows only the one at
 *                        the position given by the int value of control
 *                        cid (usually a popup); none when the value is out
 *                        of range
 * XpSTACK_MAP_(sid, cid, map) ids… XpEND
 *                        likewise, but value v shows member map[v]; -1 (or
 *                        any position that has no member) shows none. map is
 *                        an int array ending with XP_MAP_END; values at or
 *                        past its end show none. A stack that shows
 *                        nothing for positions 0 … 3, member A for 4 and B
 *                        for 5 has map {-1, -1, -1, -1, 0, 1, XP_MAP_END}
 *                        and members A, B.
 * XpORDER_(id) ids… XpEND   puts the listed members of the container id (0:
 *                        the top level) first, in the listed order; the
 *                        others follow in their order
 * XpENABLE_(cid) ids… XpEND the listed controls and groups (with all they
 *                        hold) are enabled only while control cid's value is
 *                        nonzero; never while cid has no value or is deleted
 * XpENABLE_MAP_(cid, map) ids… XpEND
 *                        enabled only while cid's value is one of the values
 *                        in map, an int array ending with XP_MAP_END
 * XpDELETE(id)           removes a control, or a group with all it holds;
 *                        a deleted control no longer exists
 * XpLEFT(id), XpNARROW(id), XpDIVADD(id)
 *                        layout wishes (left aligned, narrow, a divider
 *                        before it); accepted, the host may ignore them
 *
 * Controls.
 * XpSTRLIST(cid, list)   the items of a popup: a const char * array ending
 *                        with a null pointer (copied when the hint is given)
 * XpPOPFUNCS(cid, count, name)
 *                        the items of a popup from functions, asked whenever
 *                        the popup is shown, with the control's data
 *                        (setData)
 * XpBUTNOTIFY(cid, func) the LWXPanelBtnClickFunc of a "vButton"
 * XpDRAWCBFUNC(cid, func) the LWXPanelDrawFunc of a "dThumbnail"
 *
 * Panel.
 * XpCHGNOTIFY(func)      the LWXPanelChangeNotifyFunc of the panel
 * XpDESTROYNOTIFY(func)  the LWXPanelDestroyNotifyFunc of the panel
 *
 * hint(panel, cid, hints) with a nonzero cid applies the array to that
 * control or group: there, an id of 0 in a tag means cid.
 */
typedef void *LWXPanelHint;

/* Embeds a value (id, text, function, array) in a hint array. */
#define XpH(x) ((void *)(x))
/* Ends a member list, and the whole array. */
#define XpEND XpH(0)
/* Ends the int arrays of XpSTACK_MAP_ and XpENABLE_MAP_. */
#define XP_MAP_END (-2147483647 - 1)

#define XPTAG_LABEL XpH(0x58500001)
#define XPTAG_GROUP XpH(0x58500002)
#define XPTAG_TABS XpH(0x58500003)
#define XPTAG_STACK XpH(0x58500004)
#define XPTAG_ORDER XpH(0x58500005)
#define XPTAG_ENABLE XpH(0x58500006)
#define XPTAG_DELETE XpH(0x58500007)
#define XPTAG_LEFT XpH(0x58500008)
#define XPTAG_NARROW XpH(0x58500009)
#define XPTAG_DIVADD XpH(0x5850000A)
#define XPTAG_STRLIST XpH(0x58500010)
#define XPTAG_POPFUNCS XpH(0x58500011)
#define XPTAG_BUTNOTIFY XpH(0x58500012)
#define XPTAG_DRAWCBFUNC XpH(0x58500013)
#define XPTAG_CHGNOTIFY XpH(0x58500020)
#define XPTAG_DESTROYNOTIFY XpH(0x58500021)

#define XpLABEL(id, text) XPTAG_LABEL, XpH(id), XpH(text)
#define XpGROUP_(gid) XPTAG_GROUP, XpH(gid)
#define XpTABS_(gid) XPTAG_TABS, XpH(gid)
#define XpSTACK_(sid, cid) XPTAG_STACK, XpH(sid), XpH(cid), XpH(0)
#define XpSTACK_MAP_(sid, cid, map) XPTAG_STACK, XpH(sid), XpH(cid), XpH(map)
#define XpORDER_(id) XPTAG_ORDER, XpH(id)
#define XpENABLE_(cid) XPTAG_ENABLE, XpH(cid), XpH(0)
#define XpENABLE_MAP_(cid, map) XPTAG_ENABLE, XpH(cid), XpH(map)
#define XpDELETE(id) XPTAG_DELETE, XpH(id)
#define XpLEFT(id) XPTAG_LEFT, XpH(id)
#define XpNARROW(id) XPTAG_NARROW, XpH(id)
#define XpDIVADD(id) XPTAG_DIVADD, XpH(id)
#define XpSTRLIST(cid, list) XPTAG_STRLIST, XpH(cid), XpH(list)
#define XpPOPFUNCS(cid, count, name) XPTAG_POPFUNCS, XpH(cid), XpH(count), XpH(name)
#define XpBUTNOTIFY(cid, func) XPTAG_BUTNOTIFY, XpH(cid), XpH(func)
#define XpDRAWCBFUNC(cid, func) XPTAG_DRAWCBFUNC, XpH(cid), XpH(func)
#define XpCHGNOTIFY(func) XPTAG_CHGNOTIFY, XpH(func)
#define XpDESTROYNOTIFY(func) XPTAG_DESTROYNOTIFY, XpH(func)

/* -------------------------------------------------------------- the table */

typedef struct st_LWXPanelFuncs {
    int version;
    const LWXPDrawFuncs *drawf;

    /* A panel of type LWXP_VIEW or LWXP_FORM from a control table (null: an
     * empty panel); null when the table is not valid (an unknown class, a
     * null class, a repeated id) or the host cannot make a panel. */
    LWXPanelID (*create)(int type, LWXPanelControl *controls);
    /* Destroys the panel, then calls its destroy notification. */
    void (*destroy)(LWXPanelID panel);
    /* The data description (null: none) and, for view panels, the functions
     * that read and write the viewed instance. Replaces an earlier one. */
    void (*describe)(LWXPanelID panel, LWXPanelDataDesc *data, LWXPanelGetFunc *get, LWXPanelSetFunc *set);
    /* Applies a hint array; cid 0: panel level (see the hints above). */
    void (*hint)(LWXPanelID panel, unsigned long cid, LWXPanelHint *hints);
    /* Per-control user data, handed to the popup functions; cid 0 is the
     * panel's own data. Unknown ids: getData answers null, setData does
     * nothing. */
    void *(*getData)(LWXPanelID panel, unsigned long cid);
    void (*setData)(LWXPanelID panel, unsigned long cid, void *data);
    /* The value the panel holds for a control (form panels; in view panels
     * the controls without a data description entry): a pointer of the kind
     * that get returns, valid until the next call into the panel; null for
     * controls without a value; in a form panel the envelope types hold the
     * number (double *) or triple (three doubles) itself. formSet copies a
     * value of that kind in; in a view panel it does not change values that
     * the instance owns. Neither sends a change notification. */
    void *(*formGet)(LWXPanelID panel, unsigned long cid);
    void (*formSet)(LWXPanelID panel, unsigned long cid, void *value);
    /* The instance that get and set receive; reads every control anew. */
    void (*viewInst)(LWXPanelID panel, void *inst);
    /* Reads every control anew from the instance. */
    void (*viewRefresh)(LWXPanelID panel);
    /* Shows the panel modally; answers 1 (OK) or 0 (cancel). */
    int (*post)(LWXPanelID panel);
    /* Shows the panel without waiting; answers 1 when it is shown. */
    int (*open)(LWXPanelID panel);
} LWXPanelFuncs;

#ifdef __cplusplus
}
#endif

#endif
