// The stand-in host's view panels of "LWXPanel" built from control tables,
// data descriptions and hints.
//
// A ViewPanel holds its controls in a tree (top level, groups, tab groups,
// stacks) that the hints arrange, the enable rules, popup items and
// callbacks, and the value each control shows. A view panel reads the shown
// values from the viewed instance through the plug-in's get function: all of
// them on viewInst, viewRefresh, open and post and when a set answers
// LWXRF_FULL, the edited one when a set answers LWXRF_UPD. Between reads a
// control keeps showing what it showed (or what the user typed), as a real
// panel does, so a plug-in that asks for too small a refresh is seen to show
// stale values. Envelope values ("float-env", "float3-env") are LWVParmIDs
// read at time 0 and edited through the host's "LWVParmFuncs 2".
//
// Nobody clicks in this host: tests act as the user through ViewPanel's
// setInt, setFloat, setVector, setText and press, which refuse what a user
// could not do (a deleted, hidden or disabled control, a popup position
// outside its items, a value of the wrong kind). An accepted edit calls set,
// applies the refresh it asks for, then sends the change notification.
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

// A change notification or button press the panel sent.
struct XPanelEvent {
    unsigned long cid;
    unsigned long vid;
    int event;  // LWXPEVENT_*
    bool operator==(const XPanelEvent&) const = default;
};

class ViewPanel {
public:
    ~ViewPanel();
    ViewPanel(const ViewPanel&) = delete;
    ViewPanel& operator=(const ViewPanel&) = delete;

    LWXPanelID id() const { return reinterpret_cast<LWXPanelID>(const_cast<ViewPanel*>(this)); }
    int type() const { return type_; }  // LWXP_VIEW or LWXP_FORM
    bool destroyed() const;
    std::string title() const;
    void* instance() const;
    // User data of a control; id 0: the panel's own. Null for unknown ids.
    void* data(unsigned long id) const;

    // --- layout: ids of controls, groups, tab groups and stacks ---
    bool exists(unsigned long id) const;
    bool visible(unsigned long id) const;
    bool enabled(unsigned long id) const;
    // Name of the innermost tab the id is in (a tab's own name for the tab
    // group itself); empty when in none.
    std::string tabOf(unsigned long id) const;
    // Members of a group, tab group or stack in order; 0: the top level.
    std::vector<unsigned long> members(unsigned long id = 0) const;
    // Label of a control (XpLABEL over the table's) or name of a group.
    std::string label(unsigned long id) const;
    std::string controlClass(unsigned long cid) const;
    // Whether the control takes its value from the instance (a data
    // description entry of a view panel).
    bool bound(unsigned long cid) const;

    // --- what the controls show (none: no such control, no value, or a
    // value of another kind) ---
    std::optional<int> shownInt(unsigned long cid) const;  // popups, booleans, integers, axes
    std::optional<double> shownFloat(unsigned long cid) const;  // numbers, one-value envelopes
    std::optional<std::array<double, 3>> shownVector(unsigned long cid) const;  // triples
    // A popup's or axis's item at the shown position (none outside the
    // items), or a text control's text.
    std::optional<std::string> shownText(unsigned long cid) const;
    // Items of a popup (asked from XpPOPFUNCS now) or an axis control.
    std::vector<std::string> popupItems(unsigned long cid) const;

    // --- the user ---
    [[nodiscard]] bool setInt(unsigned long cid, int value);
    [[nodiscard]] bool setFloat(unsigned long cid, double value);
    [[nodiscard]] bool setVector(unsigned long cid, double x, double y, double z);
    [[nodiscard]] bool setText(unsigned long cid, const std::string& text);
    // Presses a "vButton": its XpBUTNOTIFY, then a LWXPEVENT_HIT notification.
    [[nodiscard]] bool press(unsigned long cid);
    // A "dThumbnail" of w x h pixels drawn by its XpDRAWCBFUNC; none when the
    // control does not exist or has no draw function.
    std::optional<Canvas> drawControl(unsigned long cid, int w, int h);

    // --- bookkeeping ---
    int fullRefreshes() const;     // every control re-read
    int controlRefreshes() const;  // one control re-read after LWXRF_UPD
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
    enum class ValueKind { None, Int, Scalar, Vector, Text };
    enum class Repr { Local, Int, Double, Triple, Parm, Text };
    enum class NodeKind { Control, Group, Tabs, Stack };

    ViewPanel(XPanels& owner, int type);
    std::unique_lock<std::recursive_mutex> lock() const;

    // All below run with the owner's lock held.
    Control* control(unsigned long cid);
    const Control* control(unsigned long cid) const;
    bool visibleLocked(unsigned long id) const;
    bool enabledLocked(unsigned long id) const;
    bool ruleMet(const EnableRule& rule) const;
    unsigned long shownMember(const Node& stack) const;
    bool isAncestor(unsigned long ancestor, unsigned long id) const;
    void detach(unsigned long id);
    void note(std::string text);
    std::vector<std::string> itemsLocked(const Control& c) const;
    bool userCanEdit(const Control& c, ValueKind kind) const;

    void refreshAll();
    void readControl(unsigned long cid);
    template <class Store>
    bool edit(unsigned long cid, ValueKind kind, Store store);
    void notify(unsigned long cid, unsigned long vid, int event);

    void describe(LWXPanelDataDesc* data, LWXPanelGetFunc* get, LWXPanelSetFunc* set);
    void hint(unsigned long cid, LWXPanelHint* hints);
    void defineGroup(NodeKind kind, unsigned long gid, const std::vector<unsigned long>& ids, unsigned long controller,
                     const int* map);
    void order(unsigned long container, const std::vector<unsigned long>& ids);
    void remove(unsigned long id);
    void setLabel(unsigned long id, const char* text);
    void* getData(unsigned long cid) const;
    void setData(unsigned long cid, void* data);
    void* formGet(unsigned long cid);
    void formSet(unsigned long cid, void* value);
    void viewInst(void* inst);
    int show();

    std::string describeValue(const Control& c) const;
    void dumpNode(std::string& out, unsigned long id, int depth) const;

    XPanels& owner_;
    const int type_;
    bool destroyed_ = false;
    std::string title_;
    void* inst_ = nullptr;
    void* data_ = nullptr;
    LWXPanelGetFunc* get_ = nullptr;
    LWXPanelSetFunc* set_ = nullptr;
    LWXPanelChangeNotifyFunc* changeNotify_ = nullptr;
    LWXPanelDestroyNotifyFunc* destroyNotify_ = nullptr;
    std::vector<unsigned long> tableOrder_;
    std::map<unsigned long, std::unique_ptr<Control>> controls_;  // never erased; deleted ones are marked
    std::map<unsigned long, Node> nodes_;                         // 0 is the top level
    std::vector<EnableRule> rules_;
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
    void hint(LWXPanelID panel, unsigned long cid, LWXPanelHint* hints);
    void* getData(LWXPanelID panel, unsigned long cid);
    void setData(LWXPanelID panel, unsigned long cid, void* data);
    void* formGet(LWXPanelID panel, unsigned long cid);
    void formSet(LWXPanelID panel, unsigned long cid, void* value);
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
    bool refuse_ = false;
};

}  // namespace hostsim
