#include "panels.h"

#include <algorithm>
#include <cstring>

#include "host.h"

namespace hostsim {

struct Panels::Control {
    LWControl record{};
    Panel* panel = nullptr;
    bool canvas = false;  // else a text control
    std::string label;
    std::vector<std::string> lines;
    int x = 0, y = 0, w = 0, h = 0;
    bool yFixed = false;
    void* userData = nullptr;
    LWControlDrawFunc* draw = nullptr;
};

struct Panels::Panel {
    std::string title;
    std::vector<std::unique_ptr<Control>> controls;
    int x = 0, y = 0;
    int minWidth = 0, minHeight = 0;  // as set by the plug-in
    void* userData = nullptr;
    bool isOpen = false;
    std::unique_ptr<Canvas> image;

    // Stacks controls whose y was not set, and answers the panel's size.
    void layout(int& width, int& height) {
        int next = PanelLayout::kMargin;
        int right = 0, bottom = 0;
        for (auto& c : controls) {
            if (!c->yFixed) c->y = next;
            next = c->y + c->h + PanelLayout::kGap;
            right = std::max(right, c->x + c->w);
            bottom = std::max(bottom, c->y + c->h);
        }
        width = std::min(std::max(minWidth, right + PanelLayout::kMargin), Canvas::kMaxSide);
        height = std::min(std::max(minHeight, bottom + PanelLayout::kMargin), Canvas::kMaxSide);
    }
};

namespace {

Panels* panels() {
    Host* host = Host::current();
    return host ? &host->panels() : nullptr;
}

LWPanelID create(const char* title) { return panels() ? panels()->create(title) : nullptr; }
void destroy(LWPanelID p) {
    if (panels()) panels()->destroy(p);
}
int open(LWPanelID p, int flags) { return panels() ? panels()->open(p, flags) : 0; }
void close(LWPanelID p) {
    if (panels()) panels()->close(p);
}
int get(LWPanelID p, int tag, void* value) { return panels() ? panels()->get(p, tag, value) : 0; }
int set(LWPanelID p, int tag, void* value) { return panels() ? panels()->set(p, tag, value) : 0; }
LWControl* addControl(LWPanelID p, const char* type, const LWPanControlDesc* desc, const char* label) {
    return panels() ? panels()->addControl(p, type, desc, label) : nullptr;
}
void controlDraw(LWControl* c, int mode) {
    if (panels()) panels()->controlDraw(c, mode);
}
void controlGet(LWControl* c, int tag, LWValue* v) {
    if (panels()) panels()->controlGet(c, tag, v);
}
void controlSet(LWControl* c, int tag, LWValue* v) {
    if (panels()) panels()->controlSet(c, tag, v);
}

Canvas* image(LWPanelID p) { return panels() ? panels()->imageOf(p) : nullptr; }
void drawRGBPixel(LWPanelID p, int r, int g, int b, int x, int y) {
    if (Canvas* c = image(p)) c->setPixel(x, y, {colourComponent(r), colourComponent(g), colourComponent(b)});
}
void drawRGBBox(LWPanelID p, int r, int g, int b, int x, int y, int w, int h) {
    if (Canvas* c = image(p)) c->fillBox(x, y, w, h, {colourComponent(r), colourComponent(g), colourComponent(b)});
}
int textWidth(LWPanelID, const char* text) { return Canvas::textWidth(text); }
int textHeight(LWPanelID, const char* text) { return Canvas::textHeight(text); }
void drawText(LWPanelID p, const char* text, int colour, int x, int y) {
    if (Canvas* c = image(p)) c->drawText(text, colour, x, y);
}

const LWPanDrawFuncs kDrawFuncs{drawRGBPixel, drawRGBBox, textWidth, textHeight, drawText};

bool validSide(int v) { return v > 0 && v <= Canvas::kMaxSide; }

}  // namespace

Panels::Panels() : table_{hostsim::create, hostsim::destroy, hostsim::open, hostsim::close, hostsim::get, hostsim::set,
                          hostsim::addControl, &kDrawFuncs} {}

Panels::~Panels() {
    for (Panel* p : panels_) delete p;
}

void Panels::refuseCreate(bool refuse) {
    std::lock_guard lock(mutex_);
    refuse_ = refuse;
}

std::vector<ShownPanel> Panels::shown() const {
    std::lock_guard lock(mutex_);
    return shown_;
}

int Panels::live() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(panels_.size());
}

int Panels::created() const {
    std::lock_guard lock(mutex_);
    return created_;
}

Panels::Panel* Panels::find(LWPanelID panel) const {
    auto* p = reinterpret_cast<Panel*>(panel);
    return panels_.count(p) ? p : nullptr;
}

Panels::Control* Panels::find(LWControl* control) const {
    if (!control) return nullptr;
    for (Panel* p : panels_)
        for (auto& c : p->controls)
            if (&c->record == control) return c.get();
    return nullptr;
}

LWPanelID Panels::create(const char* title) {
    std::lock_guard lock(mutex_);
    if (refuse_) return nullptr;
    auto* p = new Panel;
    p->title = title ? title : "";
    panels_.insert(p);
    created_++;
    return reinterpret_cast<LWPanelID>(p);
}

void Panels::destroy(LWPanelID panel) {
    std::lock_guard lock(mutex_);
    if (Panel* p = find(panel)) {
        panels_.erase(p);
        delete p;
    }
}

int Panels::get(LWPanelID panel, int tag, void* value) {
    std::lock_guard lock(mutex_);
    Panel* p = find(panel);
    if (!p || !value) return 0;
    int width, height;
    p->layout(width, height);
    switch (tag) {
        case PAN_X: *static_cast<int*>(value) = p->x; return 1;
        case PAN_Y: *static_cast<int*>(value) = p->y; return 1;
        case PAN_W: *static_cast<int*>(value) = width; return 1;
        case PAN_H: *static_cast<int*>(value) = height; return 1;
        case PAN_USERDATA: *static_cast<void**>(value) = p->userData; return 1;
        default: return 0;
    }
}

int Panels::set(LWPanelID panel, int tag, void* value) {
    std::lock_guard lock(mutex_);
    Panel* p = find(panel);
    if (!p || !value) return 0;
    switch (tag) {
        case PAN_X: p->x = *static_cast<int*>(value); return 1;
        case PAN_Y: p->y = *static_cast<int*>(value); return 1;
        case PAN_W: {
            const int v = *static_cast<int*>(value);
            if (!validSide(v)) return 0;
            p->minWidth = v;
            return 1;
        }
        case PAN_H: {
            const int v = *static_cast<int*>(value);
            if (!validSide(v)) return 0;
            p->minHeight = v;
            return 1;
        }
        case PAN_USERDATA: p->userData = *static_cast<void**>(value); return 1;
        default: return 0;
    }
}

LWControl* Panels::addControl(LWPanelID panel, const char* typeName, const LWPanControlDesc* desc, const char* label) {
    std::lock_guard lock(mutex_);
    Panel* p = find(panel);
    if (!p || !typeName || !desc) return nullptr;
    auto c = std::make_unique<Control>();
    if (std::strcmp(typeName, LWPANCTL_CANVAS) == 0) {
        if (desc->type != LWT_AREA || !validSide(desc->canvas.width) || !validSide(desc->canvas.height)) return nullptr;
        c->canvas = true;
        c->w = desc->canvas.width;
        c->h = desc->canvas.height;
    } else if (std::strcmp(typeName, LWPANCTL_TEXT) == 0) {
        if (desc->type != LWT_TEXT || !desc->text.text) return nullptr;
        size_t widest = 0;
        for (const char* const* line = desc->text.text; *line; ++line) {
            c->lines.emplace_back(*line);
            widest = std::max(widest, c->lines.back().size());
        }
        const int pad = 2 * PanelLayout::kTextPadding;
        c->w = std::min<int>(static_cast<int>(std::min<size_t>(widest, Canvas::kMaxSide)) * Canvas::kCharWidth + pad,
                             Canvas::kMaxSide);
        c->h = std::min<int>(static_cast<int>(c->lines.size()) * Canvas::kLineHeight + pad, Canvas::kMaxSide);
    } else {
        return nullptr;
    }
    c->label = label ? label : "";
    c->panel = p;
    c->x = PanelLayout::kMargin;
    c->record.draw = hostsim::controlDraw;
    c->record.get = hostsim::controlGet;
    c->record.set = hostsim::controlSet;
    c->record.priv_data = c.get();
    p->controls.push_back(std::move(c));
    int width, height;
    p->layout(width, height);
    return &p->controls.back()->record;
}

void Panels::controlGet(LWControl* control, int tag, LWValue* value) {
    if (!value) return;
    std::lock_guard lock(mutex_);
    Control* c = find(control);
    value->type = LWT_NULL;
    if (!c) return;
    int width, height;
    c->panel->layout(width, height);
    auto integer = [&](int v) {
        value->intv.type = LWT_INTEGER;
        value->intv.value = v;
    };
    switch (tag) {
        case CTL_X:
        case CTL_HOTX: integer(c->x); break;
        case CTL_Y:
        case CTL_HOTY: integer(c->y); break;
        case CTL_W:
        case CTL_HOTW: integer(c->w); break;
        case CTL_H:
        case CTL_HOTH: integer(c->h); break;
        case CTL_USERDATA:
            value->ptr.type = LWT_POINTER;
            value->ptr.ptr = c->userData;
            break;
        case CTL_USERDRAW:
            value->draw.type = LWT_DRAWFUNC;
            value->draw.func = c->draw;
            break;
        default: break;
    }
}

void Panels::controlSet(LWControl* control, int tag, LWValue* value) {
    if (!value) return;
    std::lock_guard lock(mutex_);
    Control* c = find(control);
    if (!c) return;
    const bool integer = value->type == LWT_INTEGER;
    const int v = integer ? value->intv.value : 0;
    switch (tag) {
        case CTL_X:
            if (integer && v >= 0 && v < Canvas::kMaxSide) c->x = v;
            break;
        case CTL_Y:
            if (integer && v >= 0 && v < Canvas::kMaxSide) {
                c->y = v;
                c->yFixed = true;
            }
            break;
        case CTL_W:
            if (integer && validSide(v)) c->w = v;
            break;
        case CTL_H:
            if (integer && validSide(v)) c->h = v;
            break;
        case CTL_USERDATA:
            if (value->type == LWT_POINTER) c->userData = value->ptr.ptr;
            break;
        case CTL_USERDRAW:
            if (value->type == LWT_DRAWFUNC) c->draw = value->draw.func;
            break;
        default: break;  // the active area follows the control and cannot be set
    }
}

Canvas* Panels::imageOf(LWPanelID panel) {
    std::lock_guard lock(mutex_);
    Panel* p = find(panel);
    return p && p->isOpen ? p->image.get() : nullptr;
}

void Panels::paint(Panel* p, std::unique_lock<std::mutex>& lock) {
    int width, height;
    p->layout(width, height);
    p->image = std::make_unique<Canvas>(width, height);
    p->image->fill(PanelLayout::kBackground);
    struct Callback {
        LWControl* record;
        LWControlDrawFunc* draw;
        void* userData;
    };
    std::vector<Callback> callbacks;
    for (auto& c : p->controls) {
        if (c->canvas) {
            if (c->draw) callbacks.push_back({&c->record, c->draw, c->userData});
            continue;
        }
        for (size_t i = 0; i < c->lines.size(); ++i)
            p->image->drawText(c->lines[i].c_str(), PanelLayout::kTextColour, c->x + PanelLayout::kTextPadding,
                               c->y + PanelLayout::kTextPadding + static_cast<int>(i) * Canvas::kLineHeight);
    }
    // Draw callbacks call back into the service, so the lock is let go.
    lock.unlock();
    for (const Callback& cb : callbacks) cb.draw(cb.record, cb.userData, DR_RENDER);
    lock.lock();
}

int Panels::open(LWPanelID panel, int flags) {
    std::unique_lock lock(mutex_);
    Panel* p = find(panel);
    if (!p) return 0;
    p->isOpen = true;
    paint(p, lock);
    p = find(panel);  // a draw callback may have destroyed it
    if (!p) return 0;
    ShownPanel shown;
    shown.title = p->title;
    shown.blocking = (flags & PANF_BLOCKING) != 0;
    for (auto& c : p->controls)
        if (!c->canvas) shown.texts.push_back(c->lines);
    shown.image = *p->image;
    shown_.push_back(std::move(shown));
    if (flags & PANF_BLOCKING) p->isOpen = false;  // closed by the user
    return 1;
}

void Panels::close(LWPanelID panel) {
    std::lock_guard lock(mutex_);
    if (Panel* p = find(panel)) p->isOpen = false;
}

void Panels::controlDraw(LWControl* control, int drawMode) {
    std::unique_lock lock(mutex_);
    Control* c = find(control);
    if (!c || !c->panel->isOpen || !c->draw) return;
    LWControlDrawFunc* draw = c->draw;
    void* userData = c->userData;
    lock.unlock();
    draw(control, userData, drawMode);
}

}  // namespace hostsim
