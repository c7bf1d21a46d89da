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
}  // namespace

struct ViewPanel::Control {
    unsigned long cid = 0;
    std::string tableLabel;
    std::optional<std::string> label;  // XpLABEL
    std::string cls;
    ValueKind kind = ValueKind::None;
    bool deleted = false;
    void* data = nullptr;
    // Binding to the instance.
    Repr repr = Repr::Local;
    std::string dataName;
    // What it shows.
    bool hasValue = true;
    int i = 0;
    std::array<double, 3> v{0, 0, 0};
    std::string text;
    LWVParmID parm = nullptr;
    // Popup items.
    bool hasList = false;
    std::vector<std::string> list;
    LWXPanelPopCntFunc* popCount = nullptr;
    LWXPanelPopNameFunc* popName = nullptr;
    // Callbacks.
    LWXPanelBtnClickFunc* button = nullptr;
    LWXPanelDrawFunc* draw = nullptr;
    // formGet's answer for texts.
    const char* textPtr = nullptr;

    bool bound() const { return repr != Repr::Local; }
};

struct ViewPanel::Node {
    unsigned long id = 0;
    NodeKind kind = NodeKind::Group;
    std::string label;
    unsigned long parent = 0;
    std::vector<unsigned long> children;
    unsigned long controller = 0;  // stacks
    bool hasMap = false;
    std::vector<int> map;
    // Layout wishes (XpLEFT, XpNARROW, XpDIVADD).
    bool left = false, narrow = false, divider = false;
};

struct ViewPanel::EnableRule {
    unsigned long controller = 0;
    bool hasMap = false;
    std::vector<int> values;
    std::vector<unsigned long> targets;
};

namespace {

struct ClassInfo {
    const char* name;
    int kind;  // ViewPanel::ValueKind as int
};

// Control classes and the kind of value each shows (None 0, Int 1, Scalar 2, Vector 3, Text 4).
const ClassInfo kClasses[] = {
    {"iPopChoice", 1},    {"iBoolean", 1},      {"integer", 1},      {"axis", 1},
    {"float", 2},         {"distance", 2},      {"float-env", 2},    {"percent-env", 2},
    {"angle-env", 2},     {"distance3-env", 3}, {"angle3-env", 3},   {"percent3-env", 3},
    {"color-env", 3},     {"float3-env", 3},    {"sFileName", 4},    {"string", 4},
    {"vButton", 0},       {"dThumbnail", 0},
};

int classKind(const char* cls) {
    if (!cls) return -1;
    for (const ClassInfo& c : kClasses)
        if (std::strcmp(c.name, cls) == 0) return c.kind;
    return -1;
}

std::string hexId(unsigned long id) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%lx", id);
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

unsigned long idOf(LWXPanelHint h) { return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(h)); }

template <class F>
F* functionOf(LWXPanelHint h) {
    return reinterpret_cast<F*>(h);
}

// Reads an int array up to XP_MAP_END.
std::vector<int> readMap(const int* map, bool& terminated) {
    std::vector<int> out;
    terminated = map == nullptr;
    if (!map) return out;
    for (size_t i = 0; i < 4096; ++i) {
        if (map[i] == XP_MAP_END) {
            terminated = true;
            break;
        }
        out.push_back(map[i]);
    }
    return out;
}

// Whether a function's code belongs to an object that is still loaded.
bool codeLoaded(void* fn) {
    Dl_info info;
    return fn && dladdr(fn, &info) != 0;
}

}  // namespace

// ---------------------------------------------------------------- ViewPanel

ViewPanel::ViewPanel(XPanels& owner, int type) : owner_(owner), type_(type) {
    Node root;
    root.id = 0;
    nodes_[0] = root;
}

ViewPanel::~ViewPanel() = default;

std::unique_lock<std::recursive_mutex> ViewPanel::lock() const { return std::unique_lock(owner_.mutex_); }

ViewPanel::Control* ViewPanel::control(unsigned long cid) {
    auto it = controls_.find(cid);
    return it == controls_.end() || it->second->deleted ? nullptr : it->second.get();
}

const ViewPanel::Control* ViewPanel::control(unsigned long cid) const {
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

std::string ViewPanel::title() const {
    auto l = lock();
    return title_;
}

void* ViewPanel::instance() const {
    auto l = lock();
    return inst_;
}

void* ViewPanel::data(unsigned long id) const {
    auto l = lock();
    return getData(id);
}

// --- layout ---

bool ViewPanel::exists(unsigned long id) const {
    auto l = lock();
    return id != 0 && nodes_.count(id) != 0;
}

bool ViewPanel::isAncestor(unsigned long ancestor, unsigned long id) const {
    for (size_t guard = 0; id != 0 && guard < nodes_.size(); ++guard) {
        auto it = nodes_.find(id);
        if (it == nodes_.end()) return false;
        id = it->second.parent;
        if (id == ancestor) return true;
    }
    return ancestor == 0;
}

unsigned long ViewPanel::shownMember(const Node& stack) const {
    const Control* c = control(stack.controller);
    if (!c || !c->hasValue || c->kind != ValueKind::Int) return 0;
    long index = c->i;
    if (stack.hasMap) index = (index >= 0 && index < long(stack.map.size())) ? stack.map[size_t(index)] : -1;
    if (index < 0 || index >= long(stack.children.size())) return 0;
    return stack.children[size_t(index)];
}

bool ViewPanel::visibleLocked(unsigned long id) const {
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

bool ViewPanel::visible(unsigned long id) const {
    auto l = lock();
    return visibleLocked(id);
}

bool ViewPanel::ruleMet(const EnableRule& rule) const {
    const Control* c = control(rule.controller);
    if (!c || !c->hasValue) return false;
    if (c->kind == ValueKind::Int) {
        if (!rule.hasMap) return c->i != 0;
        return std::find(rule.values.begin(), rule.values.end(), c->i) != rule.values.end();
    }
    if (c->kind == ValueKind::Scalar && !rule.hasMap) return c->v[0] != 0.0;
    return false;
}

bool ViewPanel::enabledLocked(unsigned long id) const {
    if (id == 0 || !nodes_.count(id)) return false;
    if (const Control* c = control(id); c && c->bound() && !c->hasValue) return false;
    for (const EnableRule& rule : rules_) {
        const bool covers = std::any_of(rule.targets.begin(), rule.targets.end(), [&](unsigned long t) {
            return t == id || isAncestor(t, id);
        });
        if (covers && !ruleMet(rule)) return false;
    }
    return true;
}

bool ViewPanel::enabled(unsigned long id) const {
    auto l = lock();
    return enabledLocked(id);
}

std::string ViewPanel::tabOf(unsigned long id) const {
    auto l = lock();
    for (size_t guard = 0; id != 0 && guard <= nodes_.size(); ++guard) {
        auto it = nodes_.find(id);
        if (it == nodes_.end()) return {};
        auto parent = nodes_.find(it->second.parent);
        if (parent == nodes_.end()) return {};
        if (parent->second.kind == NodeKind::Tabs) return it->second.label;
        id = it->second.parent;
    }
    return {};
}

std::vector<unsigned long> ViewPanel::members(unsigned long id) const {
    auto l = lock();
    auto it = nodes_.find(id);
    return it == nodes_.end() ? std::vector<unsigned long>{} : it->second.children;
}

std::string ViewPanel::label(unsigned long id) const {
    auto l = lock();
    if (const Control* c = control(id)) return c->label ? *c->label : c->tableLabel;
    auto it = nodes_.find(id);
    return id != 0 && it != nodes_.end() ? it->second.label : std::string{};
}

std::string ViewPanel::controlClass(unsigned long cid) const {
    auto l = lock();
    const Control* c = control(cid);
    return c ? c->cls : std::string{};
}

bool ViewPanel::bound(unsigned long cid) const {
    auto l = lock();
    const Control* c = control(cid);
    return c && c->bound();
}

// --- shown values ---

std::optional<int> ViewPanel::shownInt(unsigned long cid) const {
    auto l = lock();
    const Control* c = control(cid);
    if (!c || c->kind != ValueKind::Int || !c->hasValue) return std::nullopt;
    return c->i;
}

std::optional<double> ViewPanel::shownFloat(unsigned long cid) const {
    auto l = lock();
    const Control* c = control(cid);
    if (!c || c->kind != ValueKind::Scalar || !c->hasValue) return std::nullopt;
    return c->v[0];
}

std::optional<std::array<double, 3>> ViewPanel::shownVector(unsigned long cid) const {
    auto l = lock();
    const Control* c = control(cid);
    if (!c || c->kind != ValueKind::Vector || !c->hasValue) return std::nullopt;
    return c->v;
}

std::vector<std::string> ViewPanel::itemsLocked(const Control& c) const {
    std::vector<std::string> items;
    if (c.cls == "axis") return {"X", "Y", "Z"};
    if (c.cls != "iPopChoice") return items;
    if (c.hasList) return c.list;
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

std::vector<std::string> ViewPanel::popupItems(unsigned long cid) const {
    auto l = lock();
    const Control* c = control(cid);
    return c ? itemsLocked(*c) : std::vector<std::string>{};
}

std::optional<std::string> ViewPanel::shownText(unsigned long cid) const {
    auto l = lock();
    const Control* c = control(cid);
    if (!c || !c->hasValue) return std::nullopt;
    if (c->kind == ValueKind::Text) return c->text;
    if (c->kind != ValueKind::Int || (c->cls != "iPopChoice" && c->cls != "axis")) return std::nullopt;
    const int value = c->i;
    const std::vector<std::string> items = itemsLocked(*c);
    if (value < 0 || value >= int(items.size())) return std::nullopt;
    return items[size_t(value)];
}

// --- reading values ---

void ViewPanel::readControl(unsigned long cid) {
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
    const std::vector<unsigned long> ids = tableOrder_;
    for (unsigned long cid : ids) {
        if (destroyed_) return;
        readControl(cid);
    }
}

// --- the user ---

bool ViewPanel::userCanEdit(const Control& c, ValueKind kind) const {
    return !destroyed_ && c.kind == kind && visibleLocked(c.cid) && enabledLocked(c.cid);
}

void ViewPanel::notify(unsigned long cid, unsigned long vid, int event) {
    events_.push_back({cid, vid, event});
    if (LWXPanelChangeNotifyFunc* f = changeNotify_) f(id(), cid, vid, event);
}

// store(control, arg storage) writes the user's value into the control and
// returns what set receives, or null when the value cannot be taken.
template <class Store>
bool ViewPanel::edit(unsigned long cid, ValueKind kind, Store store) {
    auto l = lock();
    Control* c = control(cid);
    if (!c || !userCanEdit(*c, kind)) return false;
    const bool bound = c->bound();
    if (bound && !set_) return false;
    void* arg = store(*c);
    if (!arg) return false;
    if (bound) {
        LWXPanelSetFunc* set = set_;
        const int code = set(inst_, cid, arg);
        lastCode_ = code;
        if (destroyed_) return true;
        if (code == LWXRF_FULL) {
            refreshAll();
        } else if (code == LWXRF_UPD) {
            controlRefreshes_++;
            readControl(cid);
        }
        if (destroyed_) return true;
    }
    notify(cid, bound ? cid : 0, LWXPEVENT_VALUE);
    return true;
}

bool ViewPanel::setInt(unsigned long cid, int value) {
    int arg = 0;
    return edit(cid, ValueKind::Int, [&](Control& c) -> void* {
        if (c.cls == "iBoolean") value = value != 0;
        if (c.cls == "iPopChoice" || c.cls == "axis") {
            const int n = int(itemsLocked(c).size());
            if (value < 0 || value >= n) return nullptr;
        }
        c.i = value;
        c.hasValue = true;
        arg = value;
        return &arg;
    });
}

bool ViewPanel::setFloat(unsigned long cid, double value) {
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

bool ViewPanel::setVector(unsigned long cid, double x, double y, double z) {
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

bool ViewPanel::setText(unsigned long cid, const std::string& text) {
    std::string arg;
    return edit(cid, ValueKind::Text, [&](Control& c) -> void* {
        c.text = text;
        c.hasValue = true;
        arg = text;
        return arg.data();
    });
}

bool ViewPanel::press(unsigned long cid) {
    auto l = lock();
    Control* c = control(cid);
    if (!c || c->cls != "vButton" || !userCanEdit(*c, ValueKind::None)) return false;
    if (LWXPanelBtnClickFunc* f = c->button) f(id(), static_cast<int>(cid));
    if (!destroyed_) notify(cid, 0, LWXPEVENT_HIT);
    return true;
}

std::optional<Canvas> ViewPanel::drawControl(unsigned long cid, int w, int h) {
    auto l = lock();
    Control* c = control(cid);
    if (!c || !c->draw || destroyed_) return std::nullopt;
    LWXPanelDrawFunc* draw = c->draw;
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
    if (!c.hasValue) return " [no value]";
    switch (c.kind) {
        case ValueKind::Int: {
            std::string s = " = " + std::to_string(c.i);
            if (c.cls == "iPopChoice" || c.cls == "axis") {
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

void ViewPanel::dumpNode(std::string& out, unsigned long id, int depth) const {
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
            const unsigned long shown = shownMember(n);
            line += " on " + hexId(n.controller) + ", showing " + (shown ? hexId(shown) : std::string("nothing"));
        }
    }
    if (n.left || n.narrow || n.divider) {
        std::string wishes;
        for (auto [on, name] : {std::pair{n.divider, "divider"}, {n.left, "left"}, {n.narrow, "narrow"}})
            if (on) wishes += (wishes.empty() ? "" : ", ") + std::string(name);
        line += " {" + wishes + "}";
    }
    if (!visibleLocked(id)) line += " [hidden]";
    if (!enabledLocked(id)) line += " [disabled]";
    out += line + "\n";
    for (unsigned long child : n.children) dumpNode(out, child, depth + 1);
}

std::string ViewPanel::dump() const {
    auto l = lock();
    std::string out = std::string(type_ == LWXP_FORM ? "form" : "view") + " panel \"" + title_ + "\"";
    if (destroyed_) out += " [destroyed]";
    out += "\n";
    for (unsigned long child : nodes_.at(0).children) dumpNode(out, child, 1);
    return out;
}

// --- the service ---

void ViewPanel::describe(LWXPanelDataDesc* data, LWXPanelGetFunc* get, LWXPanelSetFunc* set) {
    for (auto& [cid, c] : controls_) {
        c->repr = Repr::Local;
        c->dataName.clear();
        c->hasValue = true;
        c->parm = nullptr;
    }
    get_ = get;
    set_ = set;
    for (size_t i = 0; data && i < kMaxEntries && data[i].vid != 0; ++i) {
        const LWXPanelDataDesc& d = data[i];
        Control* c = control(d.vid);
        const std::string type = d.datatype ? d.datatype : "";
        if (!c) {
            note("describe: no control " + hexId(d.vid));
            continue;
        }
        Repr repr = Repr::Local;
        ValueKind kind = ValueKind::None;
        if (type == "integer") repr = Repr::Int, kind = ValueKind::Int;
        else if (type == "float" || type == "distance") repr = Repr::Double, kind = ValueKind::Scalar;
        else if (type == "float-env") repr = Repr::Parm, kind = ValueKind::Scalar;
        else if (type == "float3-env") repr = Repr::Parm, kind = ValueKind::Vector;
        else if (type == "color") repr = Repr::Triple, kind = ValueKind::Vector;
        else if (type == "string") repr = Repr::Text, kind = ValueKind::Text;
        if (repr == Repr::Local || kind != c->kind) {
            note("describe: data type \"" + type + "\" does not suit control " + hexId(d.vid) + " of class \"" +
                 c->cls + "\"");
            continue;
        }
        c->dataName = d.name ? d.name : "";
        if (type_ == LWXP_VIEW) {
            c->repr = repr;
            c->hasValue = false;
        }
    }
    if (type_ == LWXP_VIEW && inst_) refreshAll();
}

void ViewPanel::detach(unsigned long id) {
    auto it = nodes_.find(id);
    if (it == nodes_.end()) return;
    auto parent = nodes_.find(it->second.parent);
    if (parent != nodes_.end()) std::erase(parent->second.children, id);
    it->second.parent = 0;
}

void ViewPanel::defineGroup(NodeKind kind, unsigned long gid, const std::vector<unsigned long>& ids,
                            unsigned long controller, const int* map) {
    static const char* const kNames[] = {"control", "group", "tab group", "stack"};
    const char* what = kNames[int(kind)];
    if (gid == 0 || controls_.count(gid)) {
        note(std::string(what) + " " + hexId(gid) + ": the id is not free for a group");
        return;
    }
    auto existing = nodes_.find(gid);
    if (existing != nodes_.end() && existing->second.kind != kind) {
        note(std::string(what) + " " + hexId(gid) + ": the id is already a group of another kind");
        return;
    }
    std::vector<unsigned long> valid;
    for (unsigned long m : ids) {
        auto it = nodes_.find(m);
        if (m == 0 || m == gid || it == nodes_.end()) {
            note(std::string(what) + " " + hexId(gid) + ": no member " + hexId(m));
            continue;
        }
        if (kind == NodeKind::Tabs && it->second.kind == NodeKind::Control) {
            note("tab group " + hexId(gid) + ": member " + hexId(m) + " is a control, not a group");
            continue;
        }
        if (std::find(valid.begin(), valid.end(), m) == valid.end()) valid.push_back(m);
    }
    if (existing == nodes_.end()) {
        Node n;
        n.id = gid;
        n.kind = kind;
        unsigned long parent = 0;
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
        if (!control(controller)) note("stack " + hexId(gid) + ": no controlling control " + hexId(controller));
        group.hasMap = map != nullptr;
        bool terminated = true;
        group.map = readMap(map, terminated);
        if (!terminated) note("stack " + hexId(gid) + ": the map has no XP_MAP_END within 4096 entries");
    }
    for (unsigned long m : valid) {
        if (isAncestor(m, gid)) {
            note(std::string(what) + " " + hexId(gid) + ": member " + hexId(m) + " holds the group itself");
            continue;
        }
        detach(m);
        nodes_.at(m).parent = gid;
        nodes_.at(gid).children.push_back(m);
    }
}

void ViewPanel::order(unsigned long container, const std::vector<unsigned long>& ids) {
    auto it = nodes_.find(container);
    if (it == nodes_.end() || it->second.kind == NodeKind::Control) {
        note("order: no group " + hexId(container));
        return;
    }
    std::vector<unsigned long>& children = it->second.children;
    std::vector<unsigned long> ordered;
    for (unsigned long m : ids) {
        if (std::find(children.begin(), children.end(), m) == children.end()) {
            note("order: " + hexId(m) + " is not in " + hexId(container));
            continue;
        }
        if (std::find(ordered.begin(), ordered.end(), m) == ordered.end()) ordered.push_back(m);
    }
    for (unsigned long m : children)
        if (std::find(ordered.begin(), ordered.end(), m) == ordered.end()) ordered.push_back(m);
    children = std::move(ordered);
}

void ViewPanel::remove(unsigned long id) {
    auto it = nodes_.find(id);
    if (id == 0 || it == nodes_.end()) {
        note("delete: no control or group " + hexId(id));
        return;
    }
    const std::vector<unsigned long> children = it->second.children;
    for (unsigned long child : children) remove(child);
    detach(id);
    nodes_.erase(id);
    if (auto c = controls_.find(id); c != controls_.end()) c->second->deleted = true;
}

void ViewPanel::setLabel(unsigned long id, const char* text) {
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

void ViewPanel::hint(unsigned long cid, LWXPanelHint* hints) {
    if (!hints) return;
    if (cid != 0 && !nodes_.count(cid)) {
        note("hint: no control or group " + hexId(cid) + "; its hints are ignored");
        return;
    }
    size_t i = 0;
    auto next = [&]() -> LWXPanelHint { return hints[i++]; };
    // The id argument of a tag: 0 means the control the hints are for.
    auto nextId = [&]() -> unsigned long {
        const unsigned long v = idOf(next());
        return v == 0 ? cid : v;
    };
    auto list = [&]() {
        std::vector<unsigned long> ids;
        for (LWXPanelHint h; ids.size() < kMaxEntries && (h = next()) != nullptr;) ids.push_back(idOf(h));
        return ids;
    };
    auto needControl = [&](unsigned long id, const char* what, bool ok) -> Control* {
        Control* c = control(id);
        if (!c) note(std::string(what) + ": no control " + hexId(id));
        else if (!ok) note(std::string(what) + ": control " + hexId(id) + " of class \"" + c->cls + "\" takes none");
        return c && ok ? c : nullptr;
    };
    for (size_t guard = 0; guard < kMaxEntries; ++guard) {
        const LWXPanelHint tag = next();
        if (!tag) return;
        if (tag == XPTAG_LABEL) {
            const unsigned long id = nextId();
            setLabel(id, static_cast<const char*>(next()));
        } else if (tag == XPTAG_GROUP || tag == XPTAG_TABS) {
            const unsigned long id = nextId();
            defineGroup(tag == XPTAG_GROUP ? NodeKind::Group : NodeKind::Tabs, id, list(), 0, nullptr);
        } else if (tag == XPTAG_STACK) {
            const unsigned long id = nextId();
            const unsigned long controller = idOf(next());
            const int* map = static_cast<const int*>(next());
            defineGroup(NodeKind::Stack, id, list(), controller, map);
        } else if (tag == XPTAG_ORDER) {
            const unsigned long id = nextId();
            order(id, list());
        } else if (tag == XPTAG_ENABLE) {
            EnableRule rule;
            rule.controller = nextId();
            const int* map = static_cast<const int*>(next());
            rule.hasMap = map != nullptr;
            bool terminated = true;
            rule.values = readMap(map, terminated);
            if (!terminated) note("enable " + hexId(rule.controller) + ": the map has no XP_MAP_END within 4096 entries");
            for (unsigned long t : list()) {
                if (nodes_.count(t) && t != 0) rule.targets.push_back(t);
                else note("enable " + hexId(rule.controller) + ": no control or group " + hexId(t));
            }
            if (!control(rule.controller)) note("enable: no controlling control " + hexId(rule.controller));
            rules_.push_back(std::move(rule));
        } else if (tag == XPTAG_DELETE) {
            remove(nextId());
        } else if (tag == XPTAG_LEFT || tag == XPTAG_NARROW || tag == XPTAG_DIVADD) {
            const unsigned long id = nextId();
            auto it = nodes_.find(id);
            if (id == 0 || it == nodes_.end()) {
                note("layout: no control or group " + hexId(id));
            } else if (tag == XPTAG_LEFT) {
                it->second.left = true;
            } else if (tag == XPTAG_NARROW) {
                it->second.narrow = true;
            } else {
                it->second.divider = true;
            }
        } else if (tag == XPTAG_STRLIST) {
            const unsigned long id = nextId();
            const auto* const* strings = static_cast<const char* const*>(next());
            if (Control* c = control(id); needControl(id, "string list", c && c->cls == "iPopChoice")) {
                c->hasList = true;
                c->list.clear();
                for (size_t k = 0; strings && k < size_t(kMaxItems) && strings[k]; ++k) c->list.emplace_back(strings[k]);
                c->popCount = nullptr;
                c->popName = nullptr;
            }
        } else if (tag == XPTAG_POPFUNCS) {
            const unsigned long id = nextId();
            auto* count = functionOf<LWXPanelPopCntFunc>(next());
            auto* name = functionOf<LWXPanelPopNameFunc>(next());
            if (Control* c = control(id); needControl(id, "popup functions", c && c->cls == "iPopChoice")) {
                c->hasList = false;
                c->list.clear();
                c->popCount = count;
                c->popName = name;
            }
        } else if (tag == XPTAG_BUTNOTIFY) {
            const unsigned long id = nextId();
            auto* f = functionOf<LWXPanelBtnClickFunc>(next());
            if (Control* c = control(id); needControl(id, "button notification", c && c->cls == "vButton"))
                c->button = f;
        } else if (tag == XPTAG_DRAWCBFUNC) {
            const unsigned long id = nextId();
            auto* f = functionOf<LWXPanelDrawFunc>(next());
            if (Control* c = control(id); needControl(id, "draw function", c && c->cls == "dThumbnail")) c->draw = f;
        } else if (tag == XPTAG_CHGNOTIFY) {
            changeNotify_ = functionOf<LWXPanelChangeNotifyFunc>(next());
        } else if (tag == XPTAG_DESTROYNOTIFY) {
            destroyNotify_ = functionOf<LWXPanelDestroyNotifyFunc>(next());
        } else {
            char buf[64];
            std::snprintf(buf, sizeof buf, "hint: unknown tag %p; the rest of the array is ignored", tag);
            note(buf);
            return;
        }
    }
}

void* ViewPanel::getData(unsigned long cid) const {
    if (cid == 0) return data_;
    const Control* c = control(cid);
    return c ? c->data : nullptr;
}

void ViewPanel::setData(unsigned long cid, void* data) {
    if (cid == 0) {
        data_ = data;
    } else if (Control* c = control(cid)) {
        c->data = data;
    } else {
        note("setData: no control " + hexId(cid));
    }
}

void* ViewPanel::formGet(unsigned long cid) {
    Control* c = control(cid);
    if (!c || c->bound()) return nullptr;
    switch (c->kind) {
        case ValueKind::Int: return &c->i;
        case ValueKind::Scalar:
        case ValueKind::Vector: return c->v.data();
        case ValueKind::Text: c->textPtr = c->text.c_str(); return const_cast<char*>(c->textPtr);
        case ValueKind::None: break;
    }
    return nullptr;
}

void ViewPanel::formSet(unsigned long cid, void* value) {
    Control* c = control(cid);
    if (!c || !value) return;
    if (c->bound()) {
        note("formSet: control " + hexId(cid) + " shows a value of the instance");
        return;
    }
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

int ViewPanel::show() {
    opened_++;
    if (type_ == LWXP_VIEW && inst_) refreshAll();
    return 1;
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
void xpHint(LWXPanelID p, unsigned long cid, LWXPanelHint* hints) {
    if (XPanels* m = model()) m->hint(p, cid, hints);
}
void* xpGetData(LWXPanelID p, unsigned long cid) {
    XPanels* m = model();
    return m ? m->getData(p, cid) : nullptr;
}
void xpSetData(LWXPanelID p, unsigned long cid, void* data) {
    if (XPanels* m = model()) m->setData(p, cid, data);
}
void* xpFormGet(LWXPanelID p, unsigned long cid) {
    XPanels* m = model();
    return m ? m->formGet(p, cid) : nullptr;
}
void xpFormSet(LWXPanelID p, unsigned long cid, void* value) {
    if (XPanels* m = model()) m->formSet(p, cid, value);
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
    static const LWXPanelFuncs table{LWXPANELS_VERSION, Canvas::drawFuncs(), xpCreate,   xpDestroy,     xpDescribe,
                                     xpHint,            xpGetData,           xpSetData,  xpFormGet,     xpFormSet,
                                     xpViewInst,        xpViewRefresh,       xpPost,     xpOpen};
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
        const int kind = classKind(entry.ctrlclass);
        if (kind < 0 || panel->controls_.count(entry.cid)) return nullptr;
        auto c = std::make_unique<ViewPanel::Control>();
        c->cid = entry.cid;
        c->tableLabel = entry.label ? entry.label : "";
        c->cls = entry.ctrlclass;
        c->kind = static_cast<ViewPanel::ValueKind>(kind);
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

void XPanels::hint(LWXPanelID id, unsigned long cid, LWXPanelHint* hints) {
    std::lock_guard lock(mutex_);
    if (ViewPanel* p = find(id)) p->hint(cid, hints);
}

void* XPanels::getData(LWXPanelID id, unsigned long cid) {
    std::lock_guard lock(mutex_);
    ViewPanel* p = find(id);
    return p ? p->getData(cid) : nullptr;
}

void XPanels::setData(LWXPanelID id, unsigned long cid, void* data) {
    std::lock_guard lock(mutex_);
    if (ViewPanel* p = find(id)) p->setData(cid, data);
}

void* XPanels::formGet(LWXPanelID id, unsigned long cid) {
    std::lock_guard lock(mutex_);
    ViewPanel* p = find(id);
    return p ? p->formGet(cid) : nullptr;
}

void XPanels::formSet(LWXPanelID id, unsigned long cid, void* value) {
    std::lock_guard lock(mutex_);
    if (ViewPanel* p = find(id)) p->formSet(cid, value);
}

void XPanels::viewInst(LWXPanelID id, void* inst) {
    std::lock_guard lock(mutex_);
    if (ViewPanel* p = find(id)) p->viewInst(inst);
}

void XPanels::viewRefresh(LWXPanelID id) {
    std::lock_guard lock(mutex_);
    if (ViewPanel* p = find(id); p && p->type_ == LWXP_VIEW) p->refreshAll();
}

int XPanels::post(LWXPanelID id) {
    std::lock_guard lock(mutex_);
    ViewPanel* p = find(id);
    return p ? p->show() : 0;
}

int XPanels::open(LWXPanelID id) {
    std::lock_guard lock(mutex_);
    ViewPanel* p = find(id);
    return p ? p->show() : 0;
}

}  // namespace hostsim
