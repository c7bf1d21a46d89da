#include "xpanels.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "host.h"
#include "lwserver.h"
#include "lwvparm.h"

namespace hostsim {

// Guards against unterminated tables and arrays.
namespace {
constexpr size_t kMaxEntries = 65536;
constexpr int kMaxItems = 100000;
constexpr int kMaxCallDepth = 16;
}  // namespace

struct ViewPanel::Control {
    unsigned int cid = 0;
    std::string tableLabel;
    std::optional<std::string> label;  // XpLABEL
    std::string cls;
    ValueKind kind = ValueKind::None;
    Items items = Items::None;
    bool envelope = false;  // a "…-env" class
    bool readOnly = false;
    bool deleted = false;
    void* data = nullptr;
    // The data description entry.
    bool described = false;
    Repr repr = Repr::Local;  // how a view panel's instance holds it; Local when not bound
    std::string dataName;
    // What it shows.
    bool hasValue = true;
    int i = 0;
    std::array<double, 3> v{0, 0, 0};
    std::string text;
    LWVParmID parm = nullptr;
    // Popup items.
    const char* const* list = nullptr;
    LWXPanelPopCntFunc* popCount = nullptr;
    LWXPanelPopNameFunc* popName = nullptr;
    // Callbacks.
    LWXPanelBtnClickFunc* button = nullptr;
    LWXPanelControlDrawFunc* draw = nullptr;
    // formGet's answer for texts.
    const char* textPtr = nullptr;

    bool bound() const { return repr != Repr::Local; }
};

struct ViewPanel::Node {
    unsigned int id = 0;
    NodeKind kind = NodeKind::Group;
    std::string label;
    unsigned int parent = 0;
    std::vector<unsigned int> children;
    unsigned int controller = 0;  // stacks
    const int* map = nullptr;     // stacks; indexed by the controller's value
    // Layout wishes (XpLEFT, XpNARROW, XpDIVADD).
    bool left = false, narrow = false, divider = false;
};

struct ViewPanel::EnableRule {
    unsigned int controller = 0;
    const int* map = nullptr;  // indexed by the controller's value
    std::string message;
    std::vector<unsigned int> targets;
};

namespace {

// Control classes: the kind of value each shows and the data type its data
// description entry must name.
struct ClassInfo {
    const char* name;
    int kind;  // ViewPanel::ValueKind as int: None 0, Int 1, Scalar 2, Vector 3, Text 4
    const char* datatype;
    int items;  // ViewPanel::Items as int: None 0, List 1, Bool 2, Axis 3
    bool envelope;
    bool readOnly;
};

const ClassInfo kClasses[] = {
    {"string", 4, "string", 0, false, false},
    {"integer", 1, "integer", 0, false, false},
    {"float", 2, "float", 0, false, false},
    {"float3", 3, "float3", 0, false, false},
    {"float-env", 2, "float-env", 0, true, false},
    {"float3-env", 3, "float3-env", 0, true, false},
    {"distance", 2, "distance", 0, false, false},
    {"distance3", 3, "distance3", 0, false, false},
    {"distance-env", 2, "distance-env", 0, true, false},
    {"distance3-env", 3, "distance3-env", 0, true, false},
    {"percent", 2, "percent", 0, false, false},
    {"percent3", 3, "percent3", 0, false, false},
    {"percent-env", 2, "percent-env", 0, true, false},
    {"percent3-env", 3, "percent3-env", 0, true, false},
    {"angle", 2, "angle", 0, false, false},
    {"angle3", 3, "angle3", 0, false, false},
    {"angle-env", 2, "angle-env", 0, true, false},
    {"angle3-env", 3, "angle3-env", 0, true, false},
    {"color", 3, "color", 0, false, false},
    {"color-env", 3, "color-env", 0, true, false},
    {"time", 2, "time", 0, false, false},
    {"vButton", 0, nullptr, 0, false, false},
    {"iBoolean", 1, "integer", 2, false, false},
    {"iSlider", 1, "integer", 0, false, false},
    {"iSliderText", 1, "integer", 0, false, false},
    {"iChoice", 1, "integer", 1, false, false},
    {"axis", 1, "axis", 3, false, false},
    {"iPopChoice", 1, "integer", 1, false, false},
    {"sPresetText", 4, "string", 0, false, false},
    {"sFileName", 4, "string", 0, false, false},
    {"dThumbnail", 0, nullptr, 0, false, false},
    {"sInfo", 4, "string", 0, false, true},
};

const ClassInfo* classInfo(const char* cls) {
    if (!cls) return nullptr;
    for (const ClassInfo& c : kClasses)
        if (std::strcmp(c.name, cls) == 0) return &c;
    return nullptr;
}

// Every data type a class takes.
bool knownDataType(const std::string& type) {
    for (const ClassInfo& c : kClasses)
        if (c.datatype && type == c.datatype) return true;
    return false;
}

// The tags this host reads: fixed arguments, and whether an id list follows.
enum class TagKind {
    Call, Nest, Label, Class, Add, Delete, ChangeNotify, Focus, AutoRestore, DestroyNotify, Value, Link, ImmUpd,
    Track, Orient, Min, Max, Step, Range, HardMinMax, ClrMinMax, Sens, ButNotify, PopCmdFunc, PopFuncs, IntXForm,
    DrawCbFunc, ZoomCbFunc, TextXFormFunc, StrList, VecLabel, CtrlFront, CtrlCfg, XReqCfg, Alias, Unalias, Enable,
    Group, Order, Stack, Tabs, Left, Narrow, DivAdd, DivRem, Border, DialogType,
};

struct TagShape {
    LWXPanelHint tag;
    TagKind kind;
    int args;
    bool list;
    const char* name;
};

const TagShape kTags[] = {
    {XPTAG_CALL, TagKind::Call, 2, false, "XpCALL"},
    {XPTAG_NEST, TagKind::Nest, 1, false, "XpNEST"},
    {XPTAG_LABEL, TagKind::Label, 3, false, "XpLABEL"},
    {XPTAG_CLASS, TagKind::Class, 2, false, "XpCLASS"},
    {XPTAG_ADD, TagKind::Add, 3, false, "XpADD"},
    {XPTAG_DELETE, TagKind::Delete, 1, false, "XpDELETE"},
    {XPTAG_CHGNOTIFY, TagKind::ChangeNotify, 1, false, "XpCHGNOTIFY"},
    {XPTAG_FOCUS, TagKind::Focus, 1, false, "XpFOCUS"},
    {XPTAG_AUTORESTORE, TagKind::AutoRestore, 1, true, "XpRESTORE"},
    {XPTAG_DESTROYNOTIFY, TagKind::DestroyNotify, 2, false, "XpDESTROYNOTIFY"},
    {XPTAG_VALUE, TagKind::Value, 2, false, "XpVALUE"},
    {XPTAG_LINK, TagKind::Link, 1, true, "XpLINK"},
    {XPTAG_IMMUPD, TagKind::ImmUpd, 1, true, "XpIMMUPD"},
    {XPTAG_TRACK, TagKind::Track, 2, false, "XpTRACK"},
    {XPTAG_ORIENT, TagKind::Orient, 2, false, "XpORIENT"},
    {XPTAG_MIN, TagKind::Min, 2, false, "XpMIN"},
    {XPTAG_MAX, TagKind::Max, 2, false, "XpMAX"},
    {XPTAG_STEP, TagKind::Step, 2, false, "XpSTEP"},
    {XPTAG_RANGE, TagKind::Range, 4, false, "XpRANGE"},
    {XPTAG_HARDMINMAX, TagKind::HardMinMax, 3, false, "XpHARDMINMAX"},
    {XPTAG_CLRMINMAX, TagKind::ClrMinMax, 3, false, "XpCLRMINMAX"},
    {XPTAG_SENS, TagKind::Sens, 2, false, "XpSENS"},
    {XPTAG_BUTNOTIFY, TagKind::ButNotify, 2, false, "XpBUTNOTIFY"},
    {XPTAG_POPCMDFUNC, TagKind::PopCmdFunc, 2, false, "XpPOPCMDFUNC"},
    {XPTAG_POPFUNCS, TagKind::PopFuncs, 3, false, "XpPOPFUNCS"},
    {XPTAG_INTXFORM, TagKind::IntXForm, 3, false, "XpINTXFORM"},
    {XPTAG_DRAWCBFUNC, TagKind::DrawCbFunc, 2, false, "XpDRAWCBFUNC"},
    {XPTAG_ZOOMCBFUNC, TagKind::ZoomCbFunc, 3, false, "XpZOOMCBFUNC"},
    {XPTAG_TEXTXFORMFUNC, TagKind::TextXFormFunc, 2, false, "XpTEXTXFORMFUNC"},
    {XPTAG_STRLIST, TagKind::StrList, 3, false, "XpSTRLIST"},
    {XPTAG_VECLABEL, TagKind::VecLabel, 2, false, "XpVECLABEL"},
    {XPTAG_CTRLFRONT, TagKind::CtrlFront, 1, false, "XpCTRLFRONT"},
    {XPTAG_CTRLCFG, TagKind::CtrlCfg, 3, false, "XpCTRLCFG"},
    {XPTAG_XREQCFG, TagKind::XReqCfg, 5, false, "XpXREQCFG"},
    {XPTAG_ALIAS, TagKind::Alias, 1, true, "XpALIAS_"},
    {XPTAG_UNALIAS, TagKind::Unalias, 1, true, "XpUNALIAS_"},
    {XPTAG_ENABLE, TagKind::Enable, 4, true, "XpENABLE_"},
    {XPTAG_GROUP, TagKind::Group, 1, true, "XpGROUP_"},
    {XPTAG_ORDER, TagKind::Order, 1, true, "XpORDER_"},
    {XPTAG_STACK, TagKind::Stack, 3, true, "XpSTACK_"},
    {XPTAG_TABS, TagKind::Tabs, 1, true, "XpTABS_"},
    {XPTAG_LEFT, TagKind::Left, 0, true, "XpLEFT"},
    {XPTAG_NARROW, TagKind::Narrow, 0, true, "XpNARROW"},
    {XPTAG_DIVADD, TagKind::DivAdd, 1, true, "XpDIVADD"},
    {XPTAG_DIVREM, TagKind::DivRem, 1, true, "XpDIVREM"},
    {XPTAG_BORDER, TagKind::Border, 1, false, "XpBORDER"},
    {XPTAG_DLOGTYPE, TagKind::DialogType, 1, false, "XpDLOGTYPE"},
};

const TagShape* tagShape(LWXPanelHint tag) {
    for (const TagShape& t : kTags)
        if (t.tag == tag) return &t;
    return nullptr;
}

std::string hexId(unsigned int id) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%x", id);
    return buf;
}

std::string number(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

const LWVParmFuncs* vparmFuncs() {
    Host* host = Host::current();
    return host ? static_cast<const LWVParmFuncs*>(host->lookup(LWVPARMFUNCS_GLOBAL, GFUSE_TRANSIENT)) : nullptr;
}

unsigned int idOf(LWXPanelHint h) { return static_cast<unsigned int>(reinterpret_cast<uintptr_t>(h)); }

template <class F>
F* functionOf(LWXPanelHint h) {
    return reinterpret_cast<F*>(h);
}

// Whether a function's code belongs to an object that is still loaded.
bool codeLoaded(void* fn) {
    Dl_info info;
    return fn && dladdr(fn, &info) != 0;
}

}  // namespace

// Reads a hint array in order; every read counts against a limit, so that
// an array without its XpEND cannot run on for ever.
struct ViewPanel::HintReader {
    LWXPanelHint* hints;
    size_t at = 0;
    bool exhausted = false;
    LWXPanelHint next() {
        if (at >= kMaxEntries) {
            exhausted = true;
            return nullptr;
        }
        return hints[at++];
    }
    std::vector<unsigned int> list() {
        std::vector<unsigned int> ids;
        for (LWXPanelHint h; (h = next()) != nullptr;) ids.push_back(idOf(h));
        return ids;
    }
};

// ---------------------------------------------------------------- ViewPanel

ViewPanel::ViewPanel(XPanels& owner, int type) : owner_(owner), type_(type) {
    Node root;
    root.id = 0;
    nodes_[0] = root;
}

ViewPanel::~ViewPanel() = default;

std::unique_lock<std::recursive_mutex> ViewPanel::lock() const { return std::unique_lock(owner_.mutex_); }

ViewPanel::Control* ViewPanel::control(unsigned int cid) {
    auto it = controls_.find(cid);
    return it == controls_.end() || it->second->deleted ? nullptr : it->second.get();
}

const ViewPanel::Control* ViewPanel::control(unsigned int cid) const {
    auto it = controls_.find(cid);
    return it == controls_.end() || it->second->deleted ? nullptr : it->second.get();
}

void ViewPanel::note(std::string text) {
    if (notes_.size() < 1000) notes_.push_back(std::move(text));
}

bool ViewPanel::destroyed() const {
    auto l = lock();
    return destroyed_;
}

bool ViewPanel::isOpen() const {
    auto l = lock();
    return open_;
}

std::string ViewPanel::title() const {
    auto l = lock();
    return title_;
}

void* ViewPanel::instance() const {
    auto l = lock();
    return inst_;
}

void* ViewPanel::data(unsigned int id) const {
    auto l = lock();
    return getData(id);
}

// --- layout ---

bool ViewPanel::exists(unsigned int id) const {
    auto l = lock();
    return id != 0 && nodes_.count(id) != 0;
}

bool ViewPanel::isAncestor(unsigned int ancestor, unsigned int id) const {
    for (size_t guard = 0; id != 0 && guard < nodes_.size(); ++guard) {
        auto it = nodes_.find(id);
        if (it == nodes_.end()) return false;
        id = it->second.parent;
        if (id == ancestor) return true;
    }
    return ancestor == 0;
}

// How many values an int control can hold, counted from 0; 0 when its
// range is not known.
int ViewPanel::positions(const Control& c) const {
    switch (c.items) {
        case Items::Bool: return 2;
        case Items::Axis: return 3;
        case Items::List: return static_cast<int>(itemsLocked(c).size());
        case Items::None: break;
    }
    return 0;
}

// The map entry at the control's value, when the value is one the control
// can hold; the maps carry no length of their own.
bool ViewPanel::mapEntry(const int* map, const Control& c, int& entry) const {
    if (!map || c.kind != ValueKind::Int || !c.hasValue || c.i < 0 || c.i >= positions(c)) return false;
    entry = map[c.i];
    return true;
}

unsigned int ViewPanel::shownMember(const Node& stack) const {
    const Control* c = control(stack.controller);
    if (!c || !c->hasValue || c->kind != ValueKind::Int) return 0;
    int index = c->i;
    if (stack.map && !mapEntry(stack.map, *c, index)) index = -1;
    if (index < 0 || index >= static_cast<int>(stack.children.size())) return 0;
    return stack.children[size_t(index)];
}

bool ViewPanel::visibleLocked(unsigned int id) const {
    if (id == 0 || !nodes_.count(id)) return false;
    for (size_t guard = 0; id != 0 && guard <= nodes_.size(); ++guard) {
        const Node& n = nodes_.at(id);
        auto parent = nodes_.find(n.parent);
        if (parent == nodes_.end()) return false;
        if (parent->second.kind == NodeKind::Stack && shownMember(parent->second) != id) return false;
        id = n.parent;
    }
    return id == 0;
}

bool ViewPanel::visible(unsigned int id) const {
    auto l = lock();
    return visibleLocked(id);
}

bool ViewPanel::ruleMet(const EnableRule& rule) const {
    const Control* c = control(rule.controller);
    if (!c || !c->hasValue) return false;
    if (rule.map) {
        int entry = 0;
        return mapEntry(rule.map, *c, entry) && entry != 0;
    }
    if (c->kind == ValueKind::Int) return c->i != 0;
    if (c->kind == ValueKind::Scalar) return c->v[0] != 0.0;
    return false;
}

bool ViewPanel::enabledLocked(unsigned int id) const {
    if (id == 0 || !nodes_.count(id)) return false;
    if (const Control* c = control(id); c && c->bound() && !c->hasValue) return false;
    for (const EnableRule& rule : rules_) {
        const bool covers = std::any_of(rule.targets.begin(), rule.targets.end(),
                                        [&](unsigned int t) { return t == id || isAncestor(t, id); });
        if (covers && !ruleMet(rule)) return false;
    }
    return true;
}

bool ViewPanel::enabled(unsigned int id) const {
    auto l = lock();
    return enabledLocked(id);
}

std::string ViewPanel::disabledMessage(unsigned int id) const {
    auto l = lock();
    if (!nodes_.count(id)) return {};
    for (const EnableRule& rule : rules_) {
        const bool covers = std::any_of(rule.targets.begin(), rule.targets.end(),
                                        [&](unsigned int t) { return t == id || isAncestor(t, id); });
        if (covers && !rule.message.empty() && !ruleMet(rule)) return rule.message;
    }
    return {};
}

std::string ViewPanel::tabOf(unsigned int id) const {
    auto l = lock();
    for (size_t guard = 0; id != 0 && guard <= nodes_.size(); ++guard) {
        auto it = nodes_.find(id);
        if (it == nodes_.end()) return {};
        auto parent = nodes_.find(it->second.parent);
        if (parent == nodes_.end()) return {};
        if (parent->second.kind == NodeKind::Tabs) return label(id);
        id = it->second.parent;
    }
    return {};
}

std::vector<unsigned int> ViewPanel::members(unsigned int id) const {
    auto l = lock();
    auto it = nodes_.find(id);
    return it == nodes_.end() ? std::vector<unsigned int>{} : it->second.children;
}

std::string ViewPanel::label(unsigned int id) const {
    auto l = lock();
    if (const Control* c = control(id)) return c->label ? *c->label : c->tableLabel;
    auto it = nodes_.find(id);
    return id != 0 && it != nodes_.end() ? it->second.label : std::string{};
}

std::string ViewPanel::controlClass(unsigned int cid) const {
    auto l = lock();
    const Control* c = control(cid);
    return c ? c->cls : std::string{};
}

bool ViewPanel::described(unsigned int cid) const {
    auto l = lock();
    const Control* c = control(cid);
    return c && c->described;
}

bool ViewPanel::bound(unsigned int cid) const {
    auto l = lock();
    const Control* c = control(cid);
    return c && c->bound();
}

// --- shown values ---

std::optional<int> ViewPanel::shownInt(unsigned int cid) const {
    auto l = lock();
    const Control* c = control(cid);
    if (!c || c->kind != ValueKind::Int || !c->hasValue) return std::nullopt;
    return c->i;
}

std::optional<double> ViewPanel::shownFloat(unsigned int cid) const {
    auto l = lock();
    const Control* c = control(cid);
    if (!c || c->kind != ValueKind::Scalar || !c->hasValue) return std::nullopt;
    return c->v[0];
}

std::optional<std::array<double, 3>> ViewPanel::shownVector(unsigned int cid) const {
    auto l = lock();
    const Control* c = control(cid);
    if (!c || c->kind != ValueKind::Vector || !c->hasValue) return std::nullopt;
    return c->v;
}

std::vector<std::string> ViewPanel::itemsLocked(const Control& c) const {
    std::vector<std::string> items;
    if (c.items == Items::Axis) return {"X", "Y", "Z"};
    if (c.items != Items::List) return items;
    if (c.list) {
        for (int i = 0; i < kMaxItems && c.list[i]; ++i) items.emplace_back(c.list[i]);
        return items;
    }
    if (!c.popCount || !c.popName) return items;
    // The functions are the plug-in's; they may call back into the panel.
    LWXPanelPopCntFunc* count = c.popCount;
    LWXPanelPopNameFunc* name = c.popName;
    void* data = c.data;
    const int n = std::clamp(count(data), 0, kMaxItems);
    for (int i = 0; i < n; ++i) {
        const char* s = name(data, i);
        items.emplace_back(s ? s : "");
    }
    return items;
}

std::vector<std::string> ViewPanel::popupItems(unsigned int cid) const {
    auto l = lock();
    const Control* c = control(cid);
    return c ? itemsLocked(*c) : std::vector<std::string>{};
}

std::optional<std::string> ViewPanel::shownText(unsigned int cid) const {
    auto l = lock();
    const Control* c = control(cid);
    if (!c || !c->hasValue) return std::nullopt;
    if (c->kind == ValueKind::Text) return c->text;
    if (c->kind != ValueKind::Int || (c->items != Items::List && c->items != Items::Axis)) return std::nullopt;
    const int value = c->i;
    const std::vector<std::string> items = itemsLocked(*c);
    if (value < 0 || value >= int(items.size())) return std::nullopt;
    return items[size_t(value)];
}

// --- reading values ---

void ViewPanel::readControl(unsigned int cid) {
    Control* c = control(cid);
    if (!c || !c->bound()) return;
    if (!inst_ || !get_) {
        c->hasValue = false;
        return;
    }
    LWXPanelGetFunc* get = get_;
    void* inst = inst_;
    void* value = get(inst, cid);
    c = control(cid);  // the plug-in may have changed the panel meanwhile
    if (!c || !c->bound()) return;
    c->hasValue = value != nullptr;
    if (!value) return;
    switch (c->repr) {
        case Repr::Int: c->i = *static_cast<const int*>(value); break;
        case Repr::Double: c->v = {*static_cast<const double*>(value), 0, 0}; break;
        case Repr::Triple: {
            const auto* d = static_cast<const double*>(value);
            c->v = {d[0], d[1], d[2]};
            break;
        }
        case Repr::Text: c->text = static_cast<const char*>(value); break;
        case Repr::Parm: {
            c->parm = static_cast<LWVParmID>(value);
            const LWVParmFuncs* vp = vparmFuncs();
            double d[3] = {0, 0, 0};
            const bool read = vp && vp->getVal && c->parm;
            if (read) vp->getVal(c->parm, 0.0, nullptr, d);
            c = control(cid);
            if (!c) return;
            c->hasValue = read;
            // A single value shows in every component.
            if (c->kind != ValueKind::Vector) d[1] = d[2] = d[0];
            if (read) c->v = {d[0], d[1], d[2]};
            break;
        }
        case Repr::Local: break;
    }
}

void ViewPanel::refreshAll() {
    fullRefreshes_++;
    const std::vector<unsigned int> ids = tableOrder_;
    for (unsigned int cid : ids) {
        if (destroyed_) return;
        readControl(cid);
    }
}

// --- the user ---

bool ViewPanel::userCanEdit(const Control& c, ValueKind kind) const {
    return !destroyed_ && !c.readOnly && c.kind == kind && visibleLocked(c.cid) && enabledLocked(c.cid);
}

void ViewPanel::notify(unsigned int cid, unsigned int vid, int event) {
    events_.push_back({cid, vid, event});
    // What the notification answers is not used: nothing documents it.
    if (LWXPanelChangeNotifyFunc* f = changeNotify_) f(id(), cid, vid, event);
}

// store(control) writes the user's value into the control and returns what
// set receives, or null when the value cannot be taken.
template <class Store>
bool ViewPanel::edit(unsigned int cid, ValueKind kind, Store store) {
    auto l = lock();
    Control* c = control(cid);
    if (!c || !userCanEdit(*c, kind)) return false;
    const bool bound = c->bound();
    const bool described = c->described;
    if (bound && !set_) return false;
    void* arg = store(*c);
    if (!arg) return false;
    if (bound) {
        LWXPanelSetFunc* set = set_;
        const int code = set(inst_, cid, arg);
        lastCode_ = code;
        if (destroyed_) return true;
        if (code == LWXPRC_FULL) {
            refreshAll();
        } else if (code == LWXPRC_DFLT) {
            controlRefreshes_++;
            readControl(cid);
        }
        if (destroyed_) return true;
    }
    notify(cid, described ? cid : 0, LWXPEVENT_VALUE);
    return true;
}

bool ViewPanel::setInt(unsigned int cid, int value) {
    int arg = 0;
    return edit(cid, ValueKind::Int, [&](Control& c) -> void* {
        if (c.items == Items::Bool) value = value != 0;
        if (c.items == Items::List || c.items == Items::Axis) {
            if (value < 0 || value >= positions(c)) return nullptr;
        }
        c.i = value;
        c.hasValue = true;
        arg = value;
        return &arg;
    });
}

bool ViewPanel::setFloat(unsigned int cid, double value) {
    double arg = 0;
    return edit(cid, ValueKind::Scalar, [&](Control& c) -> void* {
        if (c.repr == Repr::Parm) {
            const LWVParmFuncs* vp = vparmFuncs();
            if (!vp || !vp->setVal || !c.parm) return nullptr;
            double d[3] = {value, value, value};
            vp->setVal(c.parm, d);
            c.v = {value, value, value};
            return c.parm;
        }
        c.v = {value, 0, 0};
        c.hasValue = true;
        arg = value;
        return &arg;
    });
}

bool ViewPanel::setVector(unsigned int cid, double x, double y, double z) {
    double arg[3] = {x, y, z};
    return edit(cid, ValueKind::Vector, [&](Control& c) -> void* {
        if (c.repr == Repr::Parm) {
            const LWVParmFuncs* vp = vparmFuncs();
            if (!vp || !vp->setVal || !c.parm) return nullptr;
            vp->setVal(c.parm, arg);
            c.v = {x, y, z};
            return c.parm;
        }
        c.v = {x, y, z};
        c.hasValue = true;
        return arg;
    });
}

bool ViewPanel::setText(unsigned int cid, const std::string& text) {
    std::string arg;
    return edit(cid, ValueKind::Text, [&](Control& c) -> void* {
        c.text = text;
        c.hasValue = true;
        arg = text;
        return arg.data();
    });
}

bool ViewPanel::press(unsigned int cid) {
    auto l = lock();
    Control* c = control(cid);
    if (!c || c->cls != "vButton" || !userCanEdit(*c, ValueKind::None)) return false;
    if (LWXPanelBtnClickFunc* f = c->button) f(id(), static_cast<int>(cid));
    if (!destroyed_) notify(cid, 0, LWXPEVENT_HIT);
    return true;
}

void ViewPanel::close() {
    auto l = lock();
    open_ = false;
}

std::optional<Canvas> ViewPanel::drawControl(unsigned int cid, int w, int h) {
    auto l = lock();
    Control* c = control(cid);
    if (!c || !c->draw || destroyed_) return std::nullopt;
    LWXPanelControlDrawFunc* draw = c->draw;
    Canvas canvas(w, h);
    draws_++;
    draw(id(), cid, canvas.area(), canvas.width(), canvas.height());
    return canvas;
}

// --- bookkeeping ---

int ViewPanel::fullRefreshes() const {
    auto l = lock();
    return fullRefreshes_;
}
int ViewPanel::controlRefreshes() const {
    auto l = lock();
    return controlRefreshes_;
}
int ViewPanel::lastRefreshCode() const {
    auto l = lock();
    return lastCode_;
}
int ViewPanel::opened() const {
    auto l = lock();
    return opened_;
}
int ViewPanel::draws() const {
    auto l = lock();
    return draws_;
}
std::vector<XPanelEvent> ViewPanel::events() const {
    auto l = lock();
    return events_;
}
std::vector<std::string> ViewPanel::notes() const {
    auto l = lock();
    return notes_;
}

std::string ViewPanel::describeValue(const Control& c) const {
    if (!c.hasValue) return c.kind == ValueKind::None ? std::string{} : " [no value]";
    switch (c.kind) {
        case ValueKind::Int: {
            std::string s = " = " + std::to_string(c.i);
            if (c.items == Items::List || c.items == Items::Axis) {
                const std::vector<std::string> items = itemsLocked(c);
                s += (c.i >= 0 && c.i < int(items.size())) ? " \"" + items[size_t(c.i)] + "\"" : " (no item)";
            }
            return s;
        }
        case ValueKind::Scalar: return " = " + number(c.v[0]);
        case ValueKind::Vector: return " = (" + number(c.v[0]) + ", " + number(c.v[1]) + ", " + number(c.v[2]) + ")";
        case ValueKind::Text: return " = \"" + c.text + "\"";
        case ValueKind::None: break;
    }
    return {};
}

void ViewPanel::dumpNode(std::string& out, unsigned int id, int depth) const {
    const Node& n = nodes_.at(id);
    std::string line(size_t(depth) * 2, ' ');
    if (n.kind == NodeKind::Control) {
        const Control& c = *controls_.at(id);
        line += "control " + hexId(id) + " \"" + (c.label ? *c.label : c.tableLabel) + "\" " + c.cls;
        line += describeValue(c);
        if (c.bound()) line += " (bound)";
    } else {
        const Node& parent = nodes_.at(n.parent);
        const char* kind = n.kind == NodeKind::Tabs    ? "tabs"
                           : n.kind == NodeKind::Stack ? "stack"
                           : parent.kind == NodeKind::Tabs ? "tab"
                                                           : "group";
        line += std::string(kind) + " " + hexId(id);
        if (!n.label.empty()) line += " \"" + n.label + "\"";
        if (n.kind == NodeKind::Stack) {
            const unsigned int shown = shownMember(n);
            line += " on " + hexId(n.controller) + ", showing " + (shown ? hexId(shown) : std::string("nothing"));
        }
    }
    if (n.left || n.narrow || n.divider) {
        std::string wishes;
        for (auto [on, name] : {std::pair{n.left, "left"}, {n.narrow, "narrow"}, {n.divider, "divider after"}})
            if (on) wishes += (wishes.empty() ? "" : ", ") + std::string(name);
        line += " {" + wishes + "}";
    }
    if (!visibleLocked(id)) line += " [hidden]";
    if (!enabledLocked(id)) line += " [disabled]";
    out += line + "\n";
    for (unsigned int child : n.children) dumpNode(out, child, depth + 1);
}

std::string ViewPanel::dump() const {
    auto l = lock();
    std::string out = std::string(type_ == LWXP_FORM ? "form" : "view") + " panel \"" + title_ + "\"";
    if (open_) out += " [open]";
    if (destroyed_) out += " [destroyed]";
    out += "\n";
    if (dividerTop_) out += "  {divider at the top}\n";
    for (unsigned int child : nodes_.at(0).children) dumpNode(out, child, 1);
    if (dividerBottom_) out += "  {divider at the bottom}\n";
    return out;
}

// --- the service ---

void ViewPanel::describe(LWXPanelDataDesc* data, LWXPanelGetFunc* get, LWXPanelSetFunc* set) {
    for (auto& [cid, c] : controls_) {
        c->described = false;
        c->repr = Repr::Local;
        c->dataName.clear();
        c->hasValue = true;
        c->parm = nullptr;
    }
    if (type_ == LWXP_FORM && (get || set)) note("describe: a form panel takes no get and set functions");
    get_ = type_ == LWXP_VIEW ? get : nullptr;
    set_ = type_ == LWXP_VIEW ? set : nullptr;
    for (size_t i = 0; data && i < kMaxEntries && data[i].vid != 0; ++i) {
        const LWXPanelDataDesc& d = data[i];
        const std::string type = d.datatype ? d.datatype : "";
        if (!clientId(d.vid, "describe")) continue;
        if (!knownDataType(type)) {
            note("describe: value " + hexId(d.vid) + " has no known data type (\"" + type + "\")");
            continue;
        }
        Control* c = control(d.vid);
        if (!c) continue;  // a value that no control shows
        const ClassInfo* info = classInfo(c->cls.c_str());
        if (!info->datatype || type != info->datatype) {
            note("describe: data type \"" + type + "\" does not suit control " + hexId(d.vid) + " of class \"" +
                 c->cls + "\"" + (info->datatype ? " (it takes \"" + std::string(info->datatype) + "\")" : ""));
            continue;
        }
        c->described = true;
        c->dataName = d.name ? d.name : "";
        c->hasValue = false;  // view: until read; form: until set
        if (type_ == LWXP_VIEW) {
            switch (c->kind) {
                case ValueKind::Int: c->repr = Repr::Int; break;
                case ValueKind::Scalar: c->repr = c->envelope ? Repr::Parm : Repr::Double; break;
                case ValueKind::Vector: c->repr = c->envelope ? Repr::Parm : Repr::Triple; break;
                case ValueKind::Text: c->repr = Repr::Text; break;
                case ValueKind::None: break;
            }
        }
    }
    if (type_ == LWXP_VIEW && inst_) refreshAll();
}

bool ViewPanel::clientId(unsigned int id, const char* what) {
    if (id >= kFirstClientId) return true;
    note(std::string(what) + ": id " + hexId(id) + " is below 0x8000, which the host keeps for itself");
    return false;
}

void ViewPanel::detach(unsigned int id) {
    auto it = nodes_.find(id);
    if (it == nodes_.end()) return;
    auto parent = nodes_.find(it->second.parent);
    if (parent != nodes_.end()) std::erase(parent->second.children, id);
    it->second.parent = 0;
}

void ViewPanel::defineGroup(NodeKind kind, unsigned int gid, const std::vector<unsigned int>& ids,
                            unsigned int controller, const int* map) {
    static const char* const kNames[] = {"control", "group", "tab group", "stack"};
    const char* what = kNames[int(kind)];
    if (!clientId(gid, what)) return;
    if (controls_.count(gid)) {
        note(std::string(what) + " " + hexId(gid) + ": the id is a control's");
        return;
    }
    auto existing = nodes_.find(gid);
    if (existing != nodes_.end() && existing->second.kind != kind) {
        note(std::string(what) + " " + hexId(gid) + ": the id is already a group of another kind");
        return;
    }
    std::vector<unsigned int> valid;
    for (unsigned int m : ids) {
        auto it = nodes_.find(m);
        if (m == 0 || m == gid || it == nodes_.end()) {
            note(std::string(what) + " " + hexId(gid) + ": no member " + hexId(m));
            continue;
        }
        if (std::find(valid.begin(), valid.end(), m) == valid.end()) valid.push_back(m);
    }
    if (existing == nodes_.end()) {
        // A new group takes the place of its first member.
        Node n;
        n.id = gid;
        n.kind = kind;
        unsigned int parent = 0;
        size_t at = nodes_.at(0).children.size();
        if (!valid.empty()) {
            parent = nodes_.at(valid.front()).parent;
            auto& siblings = nodes_.at(parent).children;
            at = size_t(std::find(siblings.begin(), siblings.end(), valid.front()) - siblings.begin());
        }
        n.parent = parent;
        nodes_[gid] = n;
        auto& siblings = nodes_.at(parent).children;
        siblings.insert(siblings.begin() + long(std::min(at, siblings.size())), gid);
    }
    Node& group = nodes_.at(gid);
    if (kind == NodeKind::Stack) {
        group.controller = controller;
        group.map = map;
        const Control* c = control(controller);
        if (!c) note("stack " + hexId(gid) + ": no controlling control " + hexId(controller));
        else if (c->kind != ValueKind::Int) note("stack " + hexId(gid) + ": control " + hexId(controller) + " holds no integer");
    }
    for (unsigned int m : valid) {
        if (isAncestor(m, gid)) {
            note(std::string(what) + " " + hexId(gid) + ": member " + hexId(m) + " holds the group itself");
            continue;
        }
        detach(m);
        nodes_.at(m).parent = gid;
        nodes_.at(gid).children.push_back(m);
    }
}

void ViewPanel::order(unsigned int container, const std::vector<unsigned int>& ids) {
    auto it = nodes_.find(container);
    if (it == nodes_.end() || it->second.kind == NodeKind::Control) {
        note("order: no group " + hexId(container));
        return;
    }
    std::vector<unsigned int>& children = it->second.children;
    std::vector<unsigned int> ordered;
    for (unsigned int m : ids) {
        if (std::find(children.begin(), children.end(), m) == children.end()) {
            note("order: " + hexId(m) + " is not in " + hexId(container));
            continue;
        }
        if (std::find(ordered.begin(), ordered.end(), m) == ordered.end()) ordered.push_back(m);
    }
    for (unsigned int m : children)
        if (std::find(ordered.begin(), ordered.end(), m) == ordered.end()) ordered.push_back(m);
    children = std::move(ordered);
}

void ViewPanel::remove(unsigned int id) {
    auto it = nodes_.find(id);
    if (id == 0 || it == nodes_.end()) {
        note("delete: no control or group " + hexId(id));
        return;
    }
    const std::vector<unsigned int> children = it->second.children;
    for (unsigned int child : children) remove(child);
    detach(id);
    nodes_.erase(id);
    if (auto c = controls_.find(id); c != controls_.end()) c->second->deleted = true;
}

void ViewPanel::setLabel(unsigned int id, const char* text) {
    const std::string s = text ? text : "";
    if (id == 0) {
        title_ = s;
    } else if (Control* c = control(id)) {
        c->label = s;
    } else if (auto it = nodes_.find(id); it != nodes_.end()) {
        it->second.label = s;
    } else {
        note("label: no control or group " + hexId(id));
    }
}

void ViewPanel::hint(unsigned int cid, LWXPanelHint* hints) {
    if (!hints) return;
    if (open_) {
        note("hint: the panel is open; hints are taken only while it is closed");
        return;
    }
    applyHints(cid, hints, 0);
}

void ViewPanel::applyHints(unsigned int cid, LWXPanelHint* hints, int depth) {
    if (cid != 0 && !nodes_.count(cid)) {
        note("hint: no control or group " + hexId(cid) + "; its hints are ignored");
        return;
    }
    HintReader r{hints};
    // An id argument of 0 means the control the hints are for.
    auto idArg = [&](LWXPanelHint h) {
        const unsigned int v = idOf(h);
        return v == 0 ? cid : v;
    };
    auto needControl = [&](unsigned int id, const char* what, bool (*fits)(const Control&)) -> Control* {
        Control* c = control(id);
        if (!c) note(std::string(what) + ": no control " + hexId(id));
        else if (!fits(*c)) note(std::string(what) + ": control " + hexId(id) + " of class \"" + c->cls + "\" takes none");
        return c && fits(*c) ? c : nullptr;
    };
    auto wish = [&](unsigned int id, const char* what, bool Node::*flag, bool on) {
        auto it = nodes_.find(id);
        if (id == 0 || it == nodes_.end()) note(std::string(what) + ": no control or group " + hexId(id));
        else it->second.*flag = on;
    };
    for (;;) {
        const LWXPanelHint tag = r.next();
        if (!tag) {
            if (r.exhausted) note("hint: the array has no end within " + std::to_string(kMaxEntries) + " entries");
            return;
        }
        const TagShape* shape = tagShape(tag);
        if (!shape) {
            char buf[96];
            std::snprintf(buf, sizeof buf, "hint: unknown tag %p; the rest of the array is ignored", tag);
            note(buf);
            return;
        }
        LWXPanelHint a[5] = {};
        for (int k = 0; k < shape->args; ++k) a[k] = r.next();
        const std::vector<unsigned int> ids = shape->list ? r.list() : std::vector<unsigned int>{};
        if (r.exhausted) {
            note("hint: the array has no end within " + std::to_string(kMaxEntries) + " entries");
            return;
        }
        switch (shape->kind) {
            case TagKind::Call: {
                auto* ref = static_cast<LWXPanelHint*>(a[1]);
                if (depth >= kMaxCallDepth) note("hint: calls nest deeper than " + std::to_string(kMaxCallDepth));
                else if (ref) applyHints(idArg(a[0]), ref, depth + 1);
                break;
            }
            case TagKind::Label: setLabel(idArg(a[0]), static_cast<const char*>(a[1])); break;
            case TagKind::Delete: remove(idArg(a[0])); break;
            case TagKind::ChangeNotify: changeNotify_ = functionOf<LWXPanelChangeNotifyFunc>(a[0]); break;
            case TagKind::DestroyNotify: destroyNotify_ = functionOf<LWXPanelDestroyNotifyFunc>(a[0]); break;
            case TagKind::ButNotify:
                if (Control* c = needControl(idArg(a[0]), "button notification",
                                             [](const Control& k) { return k.cls == "vButton"; }))
                    c->button = functionOf<LWXPanelBtnClickFunc>(a[1]);
                break;
            case TagKind::DrawCbFunc:
                if (Control* c = needControl(idArg(a[0]), "draw function",
                                             [](const Control& k) { return k.cls == "dThumbnail"; }))
                    c->draw = functionOf<LWXPanelControlDrawFunc>(a[1]);
                break;
            case TagKind::StrList:
                if (Control* c = needControl(idArg(a[0]), "string list",
                                             [](const Control& k) { return k.items == Items::List; })) {
                    c->list = static_cast<const char* const*>(a[1]);
                    c->popCount = nullptr;
                    c->popName = nullptr;
                }
                break;
            case TagKind::PopFuncs:
                if (Control* c = needControl(idArg(a[0]), "popup functions",
                                             [](const Control& k) { return k.items == Items::List; })) {
                    c->list = nullptr;
                    c->popCount = functionOf<LWXPanelPopCntFunc>(a[1]);
                    c->popName = functionOf<LWXPanelPopNameFunc>(a[2]);
                }
                break;
            case TagKind::Enable: {
                EnableRule rule;
                rule.controller = idArg(a[0]);
                if (a[1]) rule.message = static_cast<const char*>(a[1]);
                rule.map = static_cast<const int*>(a[3]);
                for (unsigned int t : ids) {
                    if (t != 0 && nodes_.count(t)) rule.targets.push_back(t);
                    else note("enable " + hexId(rule.controller) + ": no control or group " + hexId(t));
                }
                if (!control(rule.controller)) note("enable: no controlling control " + hexId(rule.controller));
                rules_.push_back(std::move(rule));
                break;
            }
            case TagKind::Group: defineGroup(NodeKind::Group, idArg(a[0]), ids, 0, nullptr); break;
            case TagKind::Tabs: defineGroup(NodeKind::Tabs, idArg(a[0]), ids, 0, nullptr); break;
            case TagKind::Stack:
                defineGroup(NodeKind::Stack, idArg(a[0]), ids, idArg(a[1]), static_cast<const int*>(a[2]));
                break;
            case TagKind::Order: order(idOf(a[0]), ids); break;  // 0: the panel's top level
            case TagKind::Left:
                for (unsigned int id : ids) wish(id, "left", &Node::left, true);
                break;
            case TagKind::Narrow:
                for (unsigned int id : ids) wish(id, "narrow", &Node::narrow, true);
                break;
            case TagKind::DivAdd:
            case TagKind::DivRem: {
                const bool add = shape->kind == TagKind::DivAdd;
                const unsigned int at = idOf(a[0]);
                if (at == 0) dividerTop_ = add;
                else if (at == 0xFFFFFFFFu) dividerBottom_ = add;
                else wish(at, shape->name, &Node::divider, add);
                for (unsigned int id : ids) wish(id, shape->name, &Node::divider, add);
                break;
            }
            default: note(std::string(shape->name) + ": read past; this host does not model it"); break;
        }
    }
}

void* ViewPanel::getData(unsigned int cid) const {
    if (cid == 0) return data_;
    const Control* c = control(cid);
    return c ? c->data : nullptr;
}

void ViewPanel::setData(unsigned int cid, void* data) {
    if (cid == 0) {
        data_ = data;
    } else if (Control* c = control(cid)) {
        c->data = data;
    } else {
        note("setData: no control " + hexId(cid));
    }
}

void* ViewPanel::formGet(unsigned int cid) {
    Control* c = control(cid);
    if (!c || c->bound() || !c->hasValue) return nullptr;
    switch (c->kind) {
        case ValueKind::Int: return &c->i;
        case ValueKind::Scalar:
        case ValueKind::Vector: return c->v.data();
        case ValueKind::Text: c->textPtr = c->text.c_str(); return const_cast<char*>(c->textPtr);
        case ValueKind::None: break;
    }
    return nullptr;
}

void ViewPanel::formSet(unsigned int cid, void* value) {
    Control* c = control(cid);
    if (!c || c->kind == ValueKind::None) return;
    if (c->bound()) {
        note("formSet: control " + hexId(cid) + " shows a value of the instance");
        return;
    }
    c->hasValue = value != nullptr;
    if (!value) return;
    switch (c->kind) {
        case ValueKind::Int: c->i = *static_cast<const int*>(value); break;
        case ValueKind::Scalar: c->v = {*static_cast<const double*>(value), 0, 0}; break;
        case ValueKind::Vector: {
            const auto* d = static_cast<const double*>(value);
            c->v = {d[0], d[1], d[2]};
            break;
        }
        case ValueKind::Text: c->text = static_cast<const char*>(value); break;
        case ValueKind::None: break;
    }
}

void ViewPanel::viewInst(void* inst) {
    inst_ = inst;
    if (type_ == LWXP_VIEW) refreshAll();
}

void ViewPanel::show() {
    opened_++;
    if (type_ == LWXP_VIEW && inst_) refreshAll();
}

// ---------------------------------------------------------------- XPanels

namespace {

XPanels* model() {
    Host* host = Host::current();
    return host ? &host->xpanels() : nullptr;
}

LWXPanelID xpCreate(int type, LWXPanelControl* controls) {
    XPanels* m = model();
    return m ? m->create(type, controls) : nullptr;
}
void xpDestroy(LWXPanelID p) {
    if (XPanels* m = model()) m->destroy(p);
}
void xpDescribe(LWXPanelID p, LWXPanelDataDesc* d, LWXPanelGetFunc* get, LWXPanelSetFunc* set) {
    if (XPanels* m = model()) m->describe(p, d, get, set);
}
void xpHint(LWXPanelID p, unsigned int id, LWXPanelHint* hints) {
    if (XPanels* m = model()) m->hint(p, id, hints);
}
void* xpGetData(LWXPanelID p, unsigned int id) {
    XPanels* m = model();
    return m ? m->getData(p, id) : nullptr;
}
void xpSetData(LWXPanelID p, unsigned int id, void* data) {
    if (XPanels* m = model()) m->setData(p, id, data);
}
void* xpFormGet(LWXPanelID p, unsigned int vid) {
    XPanels* m = model();
    return m ? m->formGet(p, vid) : nullptr;
}
void xpFormSet(LWXPanelID p, unsigned int vid, void* value) {
    if (XPanels* m = model()) m->formSet(p, vid, value);
}
void xpViewInst(LWXPanelID p, void* inst) {
    if (XPanels* m = model()) m->viewInst(p, inst);
}
void xpViewRefresh(LWXPanelID p) {
    if (XPanels* m = model()) m->viewRefresh(p);
}
int xpPost(LWXPanelID p) {
    XPanels* m = model();
    return m ? m->post(p) : 0;
}
int xpOpen(LWXPanelID p) {
    XPanels* m = model();
    return m ? m->open(p) : 0;
}

}  // namespace

const LWXPanelFuncs* xpanelFuncs() {
    static const LWXPanelFuncs table{kXPanelsVersion, const_cast<LWXPDrawFuncs*>(Canvas::drawFuncs()),
                                     xpCreate,        xpDestroy,
                                     xpDescribe,      xpHint,
                                     xpGetData,       xpSetData,
                                     xpFormGet,       xpFormSet,
                                     xpViewInst,      xpViewRefresh,
                                     xpPost,          xpOpen};
    return &table;
}

XPanels::XPanels() = default;

XPanels::~XPanels() {
    std::lock_guard lock(mutex_);
    // The modules are unloaded by now: only destroy notifications whose code
    // is still loaded are called.
    while (!live_.empty()) destroyPanel(live_.back(), true);
}

void XPanels::registerWith(Host& host) {
    host.registerService(LWXPANELFUNCS_GLOBAL, const_cast<LWXPanelFuncs*>(xpanelFuncs()));
}

void XPanels::refuseCreate(bool refuse) {
    std::lock_guard lock(mutex_);
    refuse_ = refuse;
}

void XPanels::queuePostAnswer(int answer) {
    std::lock_guard lock(mutex_);
    postAnswers_.push_back(answer);
}

std::vector<ViewPanel*> XPanels::panels() const {
    std::lock_guard lock(mutex_);
    return live_;
}

ViewPanel* XPanels::last() const {
    std::lock_guard lock(mutex_);
    return live_.empty() ? nullptr : live_.back();
}

ViewPanel* XPanels::find(LWXPanelID id) const {
    std::lock_guard lock(mutex_);
    for (ViewPanel* p : live_)
        if (p->id() == id) return p;
    return nullptr;
}

int XPanels::live() const {
    std::lock_guard lock(mutex_);
    return int(live_.size());
}

int XPanels::created() const {
    std::lock_guard lock(mutex_);
    return int(all_.size());
}

void XPanels::destroyAll() {
    std::lock_guard lock(mutex_);
    while (!live_.empty()) destroyPanel(live_.back(), false);
}

LWXPanelID XPanels::create(int type, LWXPanelControl* controls) {
    std::lock_guard lock(mutex_);
    if (refuse_ || (type != LWXP_VIEW && type != LWXP_FORM)) return nullptr;
    std::unique_ptr<ViewPanel> panel(new ViewPanel(*this, type));
    for (size_t i = 0; controls && i < kMaxEntries && controls[i].cid != 0; ++i) {
        const LWXPanelControl& entry = controls[i];
        const ClassInfo* info = classInfo(entry.ctrlclass);
        // A control class this host does not model, an id that is the
        // host's own, or an id given twice: no panel.
        if (!info || entry.cid < kFirstClientId || panel->controls_.count(entry.cid)) return nullptr;
        auto c = std::make_unique<ViewPanel::Control>();
        c->cid = entry.cid;
        c->tableLabel = entry.label ? entry.label : "";
        c->cls = entry.ctrlclass;
        c->kind = static_cast<ViewPanel::ValueKind>(info->kind);
        c->items = static_cast<ViewPanel::Items>(info->items);
        c->envelope = info->envelope;
        c->readOnly = info->readOnly;
        panel->controls_[entry.cid] = std::move(c);
        ViewPanel::Node n;
        n.id = entry.cid;
        n.kind = ViewPanel::NodeKind::Control;
        panel->nodes_[entry.cid] = n;
        panel->nodes_.at(0).children.push_back(entry.cid);
        panel->tableOrder_.push_back(entry.cid);
    }
    ViewPanel* p = panel.get();
    all_.push_back(std::move(panel));
    live_.push_back(p);
    return p->id();
}

void XPanels::destroyPanel(ViewPanel* panel, bool atShutdown) {
    std::erase(live_, panel);
    panel->destroyed_ = true;
    panel->open_ = false;
    LWXPanelDestroyNotifyFunc* notify = panel->destroyNotify_;
    void* data = panel->data_;
    if (notify && (!atShutdown || codeLoaded(reinterpret_cast<void*>(notify)))) notify(data);
}

void XPanels::destroy(LWXPanelID id) {
    std::lock_guard lock(mutex_);
    if (ViewPanel* p = find(id)) destroyPanel(p, false);
}

void XPanels::describe(LWXPanelID id, LWXPanelDataDesc* data, LWXPanelGetFunc* get, LWXPanelSetFunc* set) {
    std::lock_guard lock(mutex_);
    if (ViewPanel* p = find(id)) p->describe(data, get, set);
}

void XPanels::hint(LWXPanelID id, unsigned int cid, LWXPanelHint* hints) {
    std::lock_guard lock(mutex_);
    if (ViewPanel* p = find(id)) p->hint(cid, hints);
}

void* XPanels::getData(LWXPanelID id, unsigned int cid) {
    std::lock_guard lock(mutex_);
    ViewPanel* p = find(id);
    return p ? p->getData(cid) : nullptr;
}

void XPanels::setData(LWXPanelID id, unsigned int cid, void* data) {
    std::lock_guard lock(mutex_);
    if (ViewPanel* p = find(id)) p->setData(cid, data);
}

void* XPanels::formGet(LWXPanelID id, unsigned int vid) {
    std::lock_guard lock(mutex_);
    ViewPanel* p = find(id);
    return p ? p->formGet(vid) : nullptr;
}

void XPanels::formSet(LWXPanelID id, unsigned int vid, void* value) {
    std::lock_guard lock(mutex_);
    if (ViewPanel* p = find(id)) p->formSet(vid, value);
}

void XPanels::viewInst(LWXPanelID id, void* inst) {
    std::lock_guard lock(mutex_);
    if (ViewPanel* p = find(id)) p->viewInst(inst);
}

void XPanels::viewRefresh(LWXPanelID id) {
    std::lock_guard lock(mutex_);
    // A form panel only redraws, which changes nothing here.
    if (ViewPanel* p = find(id); p && p->type_ == LWXP_VIEW) p->refreshAll();
}

int XPanels::post(LWXPanelID id) {
    std::lock_guard lock(mutex_);
    ViewPanel* p = find(id);
    if (!p) return 0;
    p->show();
    // Modal: by the time post returns the user has closed the panel.
    p->open_ = false;
    int answer = 1;
    if (!postAnswers_.empty()) {
        answer = postAnswers_.front();
        postAnswers_.pop_front();
    }
    return answer;
}

int XPanels::open(LWXPanelID id) {
    std::lock_guard lock(mutex_);
    ViewPanel* p = find(id);
    if (!p) return 0;
    p->show();
    p->open_ = true;
    return 1;
}

}  // namespace hostsim
