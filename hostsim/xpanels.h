// The stand-in host's "LWXPanel": view and form panels built from control
// tables, data descriptions and hint arrays.
//
// A ViewPanel (of either type) holds its controls in a tree (top level,
// groups, tab groups, stacks) that the hints arrange, the enable rules,
// popup items and callbacks, and the value each control shows. A control
// shows the value of its own id. In a view panel, a control with a data
// description entry is bound to the viewed instance: the panel reads it
// through the plug-in's get function on viewInst, viewRefresh, open and
// post and when a set answers LWXPRC_FULL, and re-reads the edited one when
// a set answers LWXPRC_DFLT. Between reads a control keeps showing what it
// showed (or what the user typed), as a real panel does, so a plug-in that
// asks for too small a refresh is seen to show stale values. Envelope values
// ("…-env") of a view panel are LWVParmIDs read at time 0 and edited through
// the host's "LWVParmFuncs 2". In a form panel the panel owns the values:
// described values start unset (formGet answers null), and envelope types
// hold plain numbers. Controls without a data description entry keep a
// value of their own in either type, starting at zero.
//
// Ids of controls, values and groups must be 0x8000 or more: create refuses
// a table with a smaller control id, and descriptions and hints that use
// one are skipped and noted.
//
// Hints are read in the shapes of the SDK's macros: each tag with its fixed
// arguments, then an id list ended by XpEND for the tags that take one. Stack
// and enable maps are int arrays indexed by the controlling value, without
// an end marker; the panel reads them only at positions the control can hold
// (a popup's items, 0 and 1 for a boolean, 0 to 2 for an axis), so a value
// the map does not cover counts as -1 (stacks) or 0 (enable rules). Maps
// and string lists are read when needed, so they must outlive the panel.
// Hints are applied only while the panel is closed; a hint call on an open
// panel is ignored and noted. Tags this host does not model (ranges,
// links, aliases, focus, text transforms, …) are read past and noted.
//
// Nobody clicks in this host: tests act as the user through ViewPanel's
// setInt, setFloat, setVector, setText, press and close, which refuse what a
// user could not do (a deleted, hidden, disabled or read-only control, a
// popup position outside its items, a value of the wrong kind). An accepted
// edit calls set (bound controls), applies the refresh it asks for, then
// sends the change notification. post returns at once with the next queued
// answer (1 when none is queued), leaving the panel closed.
//
// Visibility: visible(id) means not deleted and shown by every stack above
// it. Tab groups do not hide anything: a control in a tab that is not in
// front still counts as visible; tabOf(id) names the tab it is in.
// enabled(id) means it exists, every enable rule over it or over a group
// above it is met, and (for a control bound to the instance) the instance
// gave it a value.
//
// Destroyed panels stay in memory, marked destroyed, until the host shuts
// down, so their handles are never reused and stale handles are ignored.
// At shutdown the host destroys the panels left over.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "canvas.h"
#include "lwtypes.h"
#include "lwxpanel.h"

namespace hostsim {

class Host;
class XPanels;

// The version field of the stand-in's table (the number a real host puts
// there is not published).
constexpr int kXPanelsVersion = 4;
// The smallest id a plug-in may give a control, value or group.
constexpr unsigned int kFirstClientId = 0x8000;

// A change notification the panel sent.
struct XPanelEvent {
    unsigned int cid;
    unsigned int vid;
    int event;  // LWXPEVENT_*
    bool operator==(const XPanelEvent&) const = default;
};

class ViewPanel {
public:
    ~ViewPanel();
    ViewPanel(const ViewPanel&) = delete;
    ViewPanel& operator=(const ViewPanel&) = delete;

    LWXPanelID id() const { return const_cast<ViewPanel*>(this); }
    int type() const { return type_; }  // LWXP_VIEW or LWXP_FORM
    bool destroyed() const;
    bool isOpen() const;
    std::string title() const;
    void* instance() const;
    // User data of a control; id 0: the panel's own. Null for unknown ids.
    void* data(unsigned int id) const;

    // --- layout: ids of controls, groups, tab groups and stacks ---
    bool exists(unsigned int id) const;
    bool visible(unsigned int id) const;
    bool enabled(unsigned int id) const;
    // The message of the first unmet enable rule over id that has one.
    std::string disabledMessage(unsigned int id) const;
    // Name of the innermost tab the id is in (a tab's own name for the tab
    // group itself); empty when in none.
    std::string tabOf(unsigned int id) const;
    // Members of a group, tab group or stack in order; 0: the top level.
    std::vector<unsigned int> members(unsigned int id = 0) const;
    // Label of a control (XpLABEL over the table's) or name of a group.
    std::string label(unsigned int id) const;
    std::string controlClass(unsigned int cid) const;
    // Whether the control has a data description entry of its type.
    bool described(unsigned int cid) const;
    // Whether the control takes its value from the instance (a described
    // control of a view panel).
    bool bound(unsigned int cid) const;

    // --- what the controls show (none: no such control, no value, or a
    // value of another kind) ---
    std::optional<int> shownInt(unsigned int cid) const;  // popups, booleans, integers, axes
    std::optional<double> shownFloat(unsigned int cid) const;  // numbers, one-value envelopes
    std::optional<std::array<double, 3>> shownVector(unsigned int cid) const;  // triples
    // A popup's, choice's or axis's item at the shown position (none outside
    // the items), or a text control's text.
    std::optional<std::string> shownText(unsigned int cid) const;
    // Items of a popup or choice (asked from XpPOPFUNCS now) or an axis.
    std::vector<std::string> popupItems(unsigned int cid) const;

    // --- the user ---
    [[nodiscard]] bool setInt(unsigned int cid, int value);
    [[nodiscard]] bool setFloat(unsigned int cid, double value);
    [[nodiscard]] bool setVector(unsigned int cid, double x, double y, double z);
    [[nodiscard]] bool setText(unsigned int cid, const std::string& text);
    // Presses a "vButton": its XpBUTNOTIFY, then a LWXPEVENT_HIT notification.
    [[nodiscard]] bool press(unsigned int cid);
    // Closes the panel (open or not).
    void close();
    // A "dThumbnail" of w x h pixels drawn by its XpDRAWCBFUNC; none when the
    // control does not exist or has no draw function.
    std::optional<Canvas> drawControl(unsigned int cid, int w, int h);

    // --- bookkeeping ---
    int fullRefreshes() const;     // every control re-read
    int controlRefreshes() const;  // one control re-read after LWXPRC_DFLT
    int lastRefreshCode() const;   // answer of the last set; -1 before any
    int opened() const;            // open and post calls
    int draws() const;             // thumbnail draw callbacks run
    std::vector<XPanelEvent> events() const;  // notifications sent, in order
    // Hints, descriptions and values the panel did not take, one line each.
    std::vector<std::string> notes() const;
    // The panel tree as indented text: groups, tabs, stacks and each control
    // with label, class, value and [hidden], [disabled], [no value] marks.
    std::string dump() const;

private:
    friend class XPanels;
    struct Control;
    struct Node;
    struct EnableRule;
    struct HintReader;
    enum class ValueKind { None, Int, Scalar, Vector, Text };
    enum class Repr { Local, Int, Double, Triple, Parm, Text };
    enum class Items { None, List, Bool, Axis };
    enum class NodeKind { Control, Group, Tabs, Stack };

    ViewPanel(XPanels& owner, int type);
    std::unique_lock<std::recursive_mutex> lock() const;

    // All below run with the owner's lock held.
    Control* control(unsigned int cid);
    const Control* control(unsigned int cid) const;
    bool visibleLocked(unsigned int id) const;
    bool enabledLocked(unsigned int id) const;
    bool ruleMet(const EnableRule& rule) const;
    bool mapEntry(const int* map, const Control& c, int& entry) const;
    unsigned int shownMember(const Node& stack) const;
    bool isAncestor(unsigned int ancestor, unsigned int id) const;
    void detach(unsigned int id);
    void note(std::string text);
    int positions(const Control& c) const;
    std::vector<std::string> itemsLocked(const Control& c) const;
    bool userCanEdit(const Control& c, ValueKind kind) const;

    void refreshAll();
    void readControl(unsigned int cid);
    template <class Store>
    bool edit(unsigned int cid, ValueKind kind, Store store);
    void notify(unsigned int cid, unsigned int vid, int event);

    void describe(LWXPanelDataDesc* data, LWXPanelGetFunc* get, LWXPanelSetFunc* set);
    void hint(unsigned int cid, LWXPanelHint* hints);
    void applyHints(unsigned int cid, LWXPanelHint* hints, int depth);
    bool clientId(unsigned int id, const char* what);
    void defineGroup(NodeKind kind, unsigned int gid, const std::vector<unsigned int>& ids, unsigned int controller,
                     const int* map);
    void order(unsigned int container, const std::vector<unsigned int>& ids);
    void remove(unsigned int id);
    void setLabel(unsigned int id, const char* text);
    void* getData(unsigned int cid) const;
    void setData(unsigned int cid, void* data);
    void* formGet(unsigned int cid);
    void formSet(unsigned int cid, void* value);
    void viewInst(void* inst);
    void show();

    std::string describeValue(const Control& c) const;
    void dumpNode(std::string& out, unsigned int id, int depth) const;

    XPanels& owner_;
    const int type_;
    bool destroyed_ = false;
    bool open_ = false;
    std::string title_;
    void* inst_ = nullptr;
    void* data_ = nullptr;
    LWXPanelGetFunc* get_ = nullptr;
    LWXPanelSetFunc* set_ = nullptr;
    LWXPanelChangeNotifyFunc* changeNotify_ = nullptr;
    LWXPanelDestroyNotifyFunc* destroyNotify_ = nullptr;
    std::vector<unsigned int> tableOrder_;
    std::map<unsigned int, std::unique_ptr<Control>> controls_;  // never erased; deleted ones are marked
    std::map<unsigned int, Node> nodes_;                         // 0 is the top level
    std::vector<EnableRule> rules_;
    bool dividerTop_ = false, dividerBottom_ = false;
    int fullRefreshes_ = 0;
    int controlRefreshes_ = 0;
    int lastCode_ = -1;
    int opened_ = 0;
    int draws_ = 0;
    std::vector<XPanelEvent> events_;
    std::vector<std::string> notes_;
};

class XPanels {
public:
    XPanels();
    ~XPanels();
    XPanels(const XPanels&) = delete;
    XPanels& operator=(const XPanels&) = delete;
    // Enters this model's services into the host's service table.
    void registerWith(Host& host);

    // Makes create fail from now on (true) or work again (false).
    void refuseCreate(bool refuse);
    // The answer of a later post (1 OK, 0 Cancel, or a button of the panel's
    // dialog type); used in order, then post answers 1 again.
    void queuePostAnswer(int answer);
    // Live panels in the order they were made.
    std::vector<ViewPanel*> panels() const;
    // The newest live panel, or null.
    ViewPanel* last() const;
    // The live panel of a handle, or null.
    ViewPanel* find(LWXPanelID id) const;
    int live() const;     // made and not destroyed
    int created() const;  // made since the host started
    // Destroys every live panel (the host's shutdown does this).
    void destroyAll();

    // --- the service ---
    LWXPanelID create(int type, LWXPanelControl* controls);
    void destroy(LWXPanelID panel);
    void describe(LWXPanelID panel, LWXPanelDataDesc* data, LWXPanelGetFunc* get, LWXPanelSetFunc* set);
    void hint(LWXPanelID panel, unsigned int id, LWXPanelHint* hints);
    void* getData(LWXPanelID panel, unsigned int id);
    void setData(LWXPanelID panel, unsigned int id, void* data);
    void* formGet(LWXPanelID panel, unsigned int vid);
    void formSet(LWXPanelID panel, unsigned int vid, void* value);
    void viewInst(LWXPanelID panel, void* inst);
    void viewRefresh(LWXPanelID panel);
    int post(LWXPanelID panel);
    int open(LWXPanelID panel);

private:
    friend class ViewPanel;
    void destroyPanel(ViewPanel* panel, bool atShutdown);

    mutable std::recursive_mutex mutex_;  // held across plug-in callbacks, which may call back in
    std::vector<std::unique_ptr<ViewPanel>> all_;  // live and destroyed
    std::vector<ViewPanel*> live_;
    std::deque<int> postAnswers_;
    bool refuse_ = false;
};

}  // namespace hostsim
