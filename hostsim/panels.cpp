#include "panels.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
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
    LWCtlDrawHook draw = nullptr;
    void* event = nullptr;  // kept for the plug-in; nobody clicks
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

Rgb panelColour(int colour) {
    if (colour & 0x1000000)  // RGB_: red, blue, green from the high byte down
        return {static_cast<uint8_t>(colour >> 16), static_cast<uint8_t>(colour), static_cast<uint8_t>(colour >> 8)};
    switch (colour) {
        case LWP_BG: return PanelLayout::kBackground;
        case LWP_NORMAL: return {16, 16, 16};
        case LWP_HEADLINE: return {255, 255, 255};
        case LWP_BLACK: return {0, 0, 0};
        case LWP_SHADOW: return {56, 56, 56};
        case LWP_HILIGHT: return {176, 176, 176};
        default: return paletteColour(colour);
    }
}

namespace {

Panels* panels() {
    Host* host = Host::current();
    return host ? &host->panels() : nullptr;
}

LWPanelID create(char* title, void* data) { return panels() ? panels()->create(title, data) : nullptr; }
void destroy(LWPanelID p) {
    if (panels()) panels()->destroy(p);
}
int open(LWPanelID p, int flags) { return panels() ? panels()->open(p, flags) : 0; }
int handle(LWPanelID p, int flags) { return panels() ? panels()->handle(p, flags) : -1; }
void draw(LWPanelID p, DrMode mode) {
    if (panels()) panels()->draw(p, mode);
}
void close(LWPanelID p) {
    if (panels()) panels()->close(p);
}
void get(LWPanelID p, pTag tag, void* value) {
    if (panels()) panels()->get(p, tag, value);
}
void set(LWPanelID p, pTag tag, void* value) {
    if (panels()) panels()->set(p, tag, value);
}
LWControl* addControl(LWPanelID p, char* type, ControlDesc* desc, char* label) {
    return panels() ? panels()->addControl(p, type, desc, label) : nullptr;
}
LWControl* nextControl(LWPanelID p, LWControlID c) { return panels() ? panels()->nextControl(p, c) : nullptr; }
void controlDraw(LWControlID c, DrMode mode) {
    if (panels()) panels()->controlDraw(c, mode);
}
void controlGet(LWControlID c, cTag tag, LWValue* v) {
    if (panels()) panels()->controlGet(c, tag, v);
}
void controlSet(LWControlID c, cTag tag, LWValue* v) {
    if (panels()) panels()->controlSet(c, tag, v);
}

// ---- drawing functions

Canvas* image(LWPanelID p) { return panels() ? panels()->imageOf(p) : nullptr; }

void drawPixel(LWPanelID p, int colour, int x, int y) {
    if (Canvas* c = image(p)) c->setPixel(x, y, panelColour(colour));
}
void drawRGBPixel(LWPanelID p, int r, int g, int b, int x, int y) {
    if (Canvas* c = image(p)) c->setPixel(x, y, {colourComponent(r), colourComponent(g), colourComponent(b)});
}

// Both ends included; only the part inside the canvas is walked, so any
// coordinates cost at most the canvas's size.
void line(Canvas& c, int x0, int y0, int x1, int y1, Rgb colour) {
    const int64_t dx = int64_t(x1) - x0, dy = int64_t(y1) - y0;
    const bool alongX = std::llabs(dx) >= std::llabs(dy);
    const int64_t steps = alongX ? dx : dy;
    if (steps == 0) {
        c.setPixel(x0, y0, colour);
        return;
    }
    const int64_t start = alongX ? x0 : y0;
    const int64_t end = alongX ? x1 : y1;
    const int64_t side = alongX ? c.width() : c.height();
    const int64_t lo = std::max<int64_t>(std::min(start, end), 0);
    const int64_t hi = std::min<int64_t>(std::max(start, end), side - 1);
    const double slope = static_cast<double>(alongX ? dy : dx) / static_cast<double>(steps);
    for (int64_t t = lo; t <= hi; ++t) {
        const double other = (alongX ? y0 : x0) + slope * static_cast<double>(t - start);
        const int o = static_cast<int>(std::floor(other + 0.5));
        if (alongX) c.setPixel(static_cast<int>(t), o, colour);
        else c.setPixel(o, static_cast<int>(t), colour);
    }
}

void drawLine(LWPanelID p, int colour, int x, int y, int x2, int y2) {
    if (Canvas* c = image(p)) line(*c, x, y, x2, y2, panelColour(colour));
}
void drawBox(LWPanelID p, int colour, int x, int y, int w, int h) {
    if (Canvas* c = image(p)) c->fillBox(x, y, w, h, panelColour(colour));
}
void drawRGBBox(LWPanelID p, int r, int g, int b, int x, int y, int w, int h) {
    if (Canvas* c = image(p)) c->fillBox(x, y, w, h, {colourComponent(r), colourComponent(g), colourComponent(b)});
}

// The host's look: a one-pixel frame, sunken (shadow above and left) for a
// nonzero indent, raised for 0; a divider is a shadow line over a light one.
void drawBorder(LWPanelID p, int indent, int x, int y, int w, int h) {
    Canvas* c = image(p);
    if (!c || w <= 0 || h < 0) return;
    const Rgb shadow = panelColour(LWP_SHADOW), light = panelColour(LWP_HILIGHT);
    if (h == 0) {
        c->fillBox(x, y, w, 1, shadow);
        c->fillBox(x, y + 1, w, 1, light);
        return;
    }
    const Rgb upper = indent ? shadow : light, lower = indent ? light : shadow;
    c->fillBox(x, y, w, 1, upper);
    c->fillBox(x, y, 1, h, upper);
    c->fillBox(x, y + h - 1, w, 1, lower);
    c->fillBox(x + w - 1, y, 1, h, lower);
}

int textWidth(LWPanelID, char* text) { return Canvas::textWidth(text); }
void drawText(LWPanelID p, char* text, int colour, int x, int y) {
    if (Canvas* c = image(p)) c->drawText(text, colour, panelColour(colour), x, y);
}
const LWDisplayMetrics* dispMetrics() { return Panels::displayMetrics(); }

bool validSide(int v) { return v > 0 && v <= Canvas::kMaxSide; }

}  // namespace

Panels::Panels()
    : table_{hostsim::create, hostsim::destroy, hostsim::open,       hostsim::handle,     hostsim::draw,
             hostsim::close,  hostsim::get,     hostsim::set,        hostsim::addControl, hostsim::nextControl,
             &drawFuncs_,     nullptr,          nullptr},
      drawFuncs_{drawPixel, drawRGBPixel, drawLine, drawBox, drawRGBBox, drawBorder, textWidth, drawText, dispMetrics} {}

Panels::~Panels() {
    for (Panel* p : panels_) delete p;
}

const LWDisplayMetrics* Panels::displayMetrics() {
    static const LWDisplayMetrics metrics{1920, 1080, 1, 1, 1 << 24, 24, Canvas::kLineHeight, 9};
    return &metrics;
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

Panels::Panel* Panels::findPanel(LWPanelID panel) const {
    auto* p = static_cast<Panel*>(panel);
    return panels_.count(p) ? p : nullptr;
}

Panels::Control* Panels::findControl(LWControlID control) const {
    if (!control) return nullptr;
    for (Panel* p : panels_)
        for (auto& c : p->controls)
            if (&c->record == control) return c.get();
    return nullptr;
}

LWPanelID Panels::create(const char* title, void* data) {
    std::lock_guard lock(mutex_);
    if (refuse_) return nullptr;
    auto* p = new Panel;
    p->title = title ? title : "";
    p->userData = data;
    panels_.insert(p);
    created_++;
    return p;
}

void Panels::destroy(LWPanelID panel) {
    std::lock_guard lock(mutex_);
    if (Panel* p = findPanel(panel)) {
        panels_.erase(p);
        delete p;
    }
}

void Panels::get(LWPanelID panel, int tag, void* value) {
    std::lock_guard lock(mutex_);
    Panel* p = findPanel(panel);
    if (!p || !value) return;
    int width, height;
    p->layout(width, height);
    switch (tag) {
        case PAN_X: *static_cast<int*>(value) = p->x; break;
        case PAN_Y: *static_cast<int*>(value) = p->y; break;
        case PAN_W: *static_cast<int*>(value) = width; break;
        case PAN_H: *static_cast<int*>(value) = height; break;
        case PAN_TITLE: *static_cast<const char**>(value) = p->title.c_str(); break;
        case PAN_USERDATA: *static_cast<void**>(value) = p->userData; break;
        case PAN_PANFUN: *static_cast<const LWPanelFuncs**>(value) = &table_; break;
        case PAN_VERSION: *static_cast<int*>(value) = LWPANELS_API_VERSION; break;
        default: break;
    }
}

void Panels::set(LWPanelID panel, int tag, void* value) {
    std::lock_guard lock(mutex_);
    Panel* p = findPanel(panel);
    if (!p) return;
    // Pointer attributes are the value itself, others are read through it.
    switch (tag) {
        case PAN_TITLE:
            if (value) p->title = static_cast<const char*>(value);
            return;
        case PAN_USERDATA: p->userData = value; return;
        default: break;
    }
    if (!value) return;
    const int v = *static_cast<int*>(value);
    switch (tag) {
        case PAN_X: p->x = v; break;
        case PAN_Y: p->y = v; break;
        case PAN_W:
            if (validSide(v)) p->minWidth = v;
            break;
        case PAN_H:
            if (validSide(v)) p->minHeight = v;
            break;
        default: break;
    }
}

LWControl* Panels::addControl(LWPanelID panel, const char* typeName, const LWPanControlDesc* desc, const char* label) {
    std::lock_guard lock(mutex_);
    Panel* p = findPanel(panel);
    if (!p || !typeName || !desc) return nullptr;
    auto c = std::make_unique<Control>();
    if (std::strcmp(typeName, "CanvasControl") == 0) {
        if (desc->type != LWT_AREA || !validSide(desc->area.width) || !validSide(desc->area.height)) return nullptr;
        c->canvas = true;
        c->w = desc->area.width;
        c->h = desc->area.height;
    } else if (std::strcmp(typeName, "TextControl") == 0) {
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

LWControl* Panels::nextControl(LWPanelID panel, LWControlID control) {
    std::lock_guard lock(mutex_);
    Panel* p = findPanel(panel);
    if (!p) return nullptr;
    if (!control) return p->controls.empty() ? nullptr : &p->controls.front()->record;
    for (size_t i = 0; i + 1 < p->controls.size(); ++i)
        if (&p->controls[i]->record == control) return &p->controls[i + 1]->record;
    return nullptr;
}

void Panels::controlGet(LWControlID control, int tag, LWValue* value) {
    if (!value) return;
    std::lock_guard lock(mutex_);
    Control* c = findControl(control);
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
        case CTL_USERDATA: value->ptr.ptr = c->userData; break;
        case CTL_USERDRAW: value->ptr.ptr = reinterpret_cast<void*>(c->draw); break;
        case CTL_USEREVENT: value->ptr.ptr = c->event; break;
        case CTL_PANEL: value->ptr.ptr = c->panel; break;
        case CTL_PANFUN: value->ptr.ptr = &table_; break;
        case CTL_LABEL:
            if (value->str.buf && value->str.bufLen > 0) {
                const size_t n = std::min(c->label.size(), static_cast<size_t>(value->str.bufLen) - 1);
                std::memcpy(value->str.buf, c->label.data(), n);
                value->str.buf[n] = 0;
            }
            break;
        default: break;
    }
}

void Panels::controlSet(LWControlID control, int tag, LWValue* value) {
    if (!value) return;
    std::lock_guard lock(mutex_);
    Control* c = findControl(control);
    if (!c) return;
    // The host goes by the tag: values travel in the member the tag uses,
    // whatever the record's type says.
    const int v = value->intv.value;
    switch (tag) {
        case CTL_X:
            if (v >= 0 && v < Canvas::kMaxSide) c->x = v;
            break;
        case CTL_Y:
            if (v >= 0 && v < Canvas::kMaxSide) {
                c->y = v;
                c->yFixed = true;
            }
            break;
        case CTL_W:
            if (validSide(v)) c->w = v;
            break;
        case CTL_H:
            if (validSide(v)) c->h = v;
            break;
        case CTL_USERDATA: c->userData = value->ptr.ptr; break;
        case CTL_USERDRAW: c->draw = reinterpret_cast<LWCtlDrawHook>(value->ptr.ptr); break;
        case CTL_USEREVENT: c->event = value->ptr.ptr; break;
        case CTL_LABEL:
            if (value->str.buf) c->label = value->str.buf;
            break;
        default: break;  // the active area follows the control and cannot be set
    }
}

Canvas* Panels::imageOf(LWPanelID panel) {
    std::lock_guard lock(mutex_);
    Panel* p = findPanel(panel);
    return p && p->isOpen ? p->image.get() : nullptr;
}

void Panels::paint(Panel* p, int drawMode, std::unique_lock<std::mutex>& lock) {
    int width, height;
    p->layout(width, height);
    p->image = std::make_unique<Canvas>(width, height);
    p->image->fill(PanelLayout::kBackground);
    struct Callback {
        LWControl* record;
        LWCtlDrawHook draw;
        void* userData;
    };
    std::vector<Callback> callbacks;
    const Rgb ink = panelColour(PanelLayout::kTextColour);
    for (auto& c : p->controls) {
        if (c->canvas) {
            if (c->draw) callbacks.push_back({&c->record, c->draw, c->userData});
            continue;
        }
        for (size_t i = 0; i < c->lines.size(); ++i)
            p->image->drawText(c->lines[i].c_str(), PanelLayout::kTextColour, ink, c->x + PanelLayout::kTextPadding,
                               c->y + PanelLayout::kTextPadding + static_cast<int>(i) * Canvas::kLineHeight);
    }
    // Draw callbacks call back into the service, so the lock is let go.
    lock.unlock();
    for (const Callback& cb : callbacks) cb.draw(cb.record, cb.userData, static_cast<DrMode>(drawMode));
    lock.lock();
}

int Panels::open(LWPanelID panel, int flags) {
    std::unique_lock lock(mutex_);
    Panel* p = findPanel(panel);
    if (!p) return 0;
    p->isOpen = true;
    paint(p, DR_RENDER, lock);
    p = findPanel(panel);  // a draw callback may have destroyed it
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

int Panels::handle(LWPanelID panel, int flags) {
    std::lock_guard lock(mutex_);
    Panel* p = findPanel(panel);
    if (!p || !p->isOpen) return -1;
    if (!(flags & EVNT_BLOCKING)) return 0;
    p->isOpen = false;  // waiting for the user: they close it
    return -1;
}

void Panels::draw(LWPanelID panel, int drawMode) {
    std::unique_lock lock(mutex_);
    Panel* p = findPanel(panel);
    if (p && p->isOpen) paint(p, drawMode, lock);
}

void Panels::close(LWPanelID panel) {
    std::lock_guard lock(mutex_);
    if (Panel* p = findPanel(panel)) p->isOpen = false;
}

void Panels::controlDraw(LWControlID control, int drawMode) {
    std::unique_lock lock(mutex_);
    Control* c = findControl(control);
    if (!c || !c->panel->isOpen || !c->draw) return;
    const LWCtlDrawHook draw = c->draw;
    void* userData = c->userData;
    lock.unlock();
    draw(control, userData, static_cast<DrMode>(drawMode));
}

}  // namespace hostsim
