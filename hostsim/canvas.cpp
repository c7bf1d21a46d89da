#include "canvas.h"

#include <stb/stb_easy_font.h>
#include <stb/stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

namespace hostsim {

namespace {

std::mutex g_liveMutex;
std::set<const Canvas*> g_live;

void track(const Canvas* c) {
    std::lock_guard lock(g_liveMutex);
    g_live.insert(c);
}
void untrack(const Canvas* c) {
    std::lock_guard lock(g_liveMutex);
    g_live.erase(c);
}

int clampSide(int v) { return std::clamp(v, 0, Canvas::kMaxSide); }

// "LWXPanel"'s drawing functions over canvases; a handle that is no live
// canvas draws nothing.
Rgb rgbOf(int r, int g, int b) { return {colourComponent(r), colourComponent(g), colourComponent(b)}; }

void drawPixel(LWXPDrAreaID area, int c, int x, int y) {
    if (Canvas* canvas = Canvas::fromArea(area)) canvas->setPixel(x, y, paletteColour(c));
}
void drawRGBPixel(LWXPDrAreaID area, int r, int g, int b, int x, int y) {
    if (Canvas* c = Canvas::fromArea(area)) c->setPixel(x, y, rgbOf(r, g, b));
}
// Clips the segment to the box [0, w-1] x [0, h-1] (Liang-Barsky); false
// when none of it lies inside.
bool clipSegment(double& x0, double& y0, double& x1, double& y1, double w, double h) {
    double t0 = 0, t1 = 1;
    const double dx = x1 - x0, dy = y1 - y0;
    const double p[4] = {-dx, dx, -dy, dy}, q[4] = {x0, w - 1 - x0, y0, h - 1 - y0};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0) t0 = std::max(t0, t);
        else t1 = std::min(t1, t);
        if (t0 > t1) return false;
    }
    const double ax = x0 + t0 * dx, ay = y0 + t0 * dy, bx = x0 + t1 * dx, by = y0 + t1 * dy;
    x0 = ax, y0 = ay, x1 = bx, y1 = by;
    return true;
}

// Both end points are drawn; a step moves to the next pixel along the
// longer axis (Bresenham). Ends off the canvas are first moved onto its
// edge, so that a far end costs nothing.
void drawLine(LWXPDrAreaID area, int c, int x, int y, int x2, int y2) {
    Canvas* canvas = Canvas::fromArea(area);
    if (!canvas || canvas->width() == 0 || canvas->height() == 0) return;
    double fx0 = x, fy0 = y, fx1 = x2, fy1 = y2;
    if (!clipSegment(fx0, fy0, fx1, fy1, canvas->width(), canvas->height())) return;
    const Rgb colour = paletteColour(c);
    int x0 = int(std::lround(fx0)), y0 = int(std::lround(fy0));
    const int x1 = int(std::lround(fx1)), y1 = int(std::lround(fy1));
    const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        canvas->setPixel(x0, y0, colour);
        if (x0 == x1 && y0 == y1) break;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}
void drawBox(LWXPDrAreaID area, int c, int x, int y, int w, int h) {
    if (Canvas* canvas = Canvas::fromArea(area)) canvas->fillBox(x, y, w, h, paletteColour(c));
}
void drawRGBBox(LWXPDrAreaID area, int r, int g, int b, int x, int y, int w, int h) {
    if (Canvas* c = Canvas::fromArea(area)) c->fillBox(x, y, w, h, rgbOf(r, g, b));
}
// A raised border indent pixels thick: light on the top and left edges,
// dark on the bottom and right ones. With h 0, a divider w long: indent
// dark rows over indent light ones.
void drawBorder(LWXPDrAreaID area, int indent, int x, int y, int w, int h) {
    Canvas* c = Canvas::fromArea(area);
    if (!c || indent <= 0 || w <= 0 || h < 0) return;
    const Rgb light{200, 200, 200}, dark{48, 48, 48};
    if (h == 0) {
        c->fillBox(x, y, w, indent, dark);
        c->fillBox(x, int(std::min<int64_t>(int64_t(y) + indent, INT32_MAX)), w, indent, light);
        return;
    }
    const int t = std::min({indent, w, h});
    c->fillBox(x, y, w, t, light);
    c->fillBox(x, y, t, h, light);
    c->fillBox(x, int(int64_t(y) + h - t), w, t, dark);
    c->fillBox(int(int64_t(x) + w - t), y, t, h, dark);
}
int textWidth(LWXPDrAreaID, char* text) { return Canvas::textWidth(text); }
int textHeight(LWXPDrAreaID, char* text) { return Canvas::textHeight(text); }
void drawText(LWXPDrAreaID area, char* text, int colour, int x, int y) {
    if (Canvas* c = Canvas::fromArea(area)) c->drawText(text, colour, x, y);
}

const LWXPDrawFuncs kDrawFuncs{drawPixel, drawRGBPixel, drawLine,   drawBox,   drawRGBBox,
                               drawBorder, textWidth,   textHeight, drawText};

}  // namespace

uint8_t colourComponent(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

Rgb paletteColour(int index) {
    switch (index) {
        case 4137: return {16, 16, 16};  // panel text
        case 4096: return {112, 112, 112};  // panel background
        default: return {0, 0, 0};
    }
}

Canvas::Canvas(int width, int height)
    : width_(clampSide(width)), height_(clampSide(height)), rgb_(size_t(width_) * size_t(height_) * 3, 0) {
    track(this);
}

Canvas::Canvas(const Canvas& other)
    : width_(other.width_), height_(other.height_), rgb_(other.rgb_), texts_(other.texts_) {
    track(this);
}

Canvas& Canvas::operator=(const Canvas& other) {
    width_ = other.width_;
    height_ = other.height_;
    rgb_ = other.rgb_;
    texts_ = other.texts_;
    return *this;
}

Canvas::~Canvas() { untrack(this); }

Canvas* Canvas::fromArea(LWXPDrAreaID area) {
    auto* c = reinterpret_cast<Canvas*>(area);
    std::lock_guard lock(g_liveMutex);
    return g_live.count(c) ? c : nullptr;
}

const LWXPDrawFuncs* Canvas::drawFuncs() { return &kDrawFuncs; }

Rgb Canvas::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return {};
    const size_t i = (size_t(y) * size_t(width_) + size_t(x)) * 3;
    return {rgb_[i], rgb_[i + 1], rgb_[i + 2]};
}

long Canvas::count(Rgb colour) const {
    long n = 0;
    for (size_t i = 0; i + 2 < rgb_.size(); i += 3)
        if (rgb_[i] == colour.r && rgb_[i + 1] == colour.g && rgb_[i + 2] == colour.b) ++n;
    return n;
}

void Canvas::fill(Rgb colour) { fillBox(0, 0, width_, height_, colour); }

void Canvas::setPixel(int x, int y, Rgb colour) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    const size_t i = (size_t(y) * size_t(width_) + size_t(x)) * 3;
    rgb_[i] = colour.r;
    rgb_[i + 1] = colour.g;
    rgb_[i + 2] = colour.b;
}

void Canvas::fillBox(int x, int y, int w, int h, Rgb colour) {
    if (w <= 0 || h <= 0) return;
    // In 64 bits, so that huge sizes cannot overflow.
    const int64_t x0 = std::max<int64_t>(x, 0), y0 = std::max<int64_t>(y, 0);
    const int64_t x1 = std::min<int64_t>(int64_t(x) + w, width_), y1 = std::min<int64_t>(int64_t(y) + h, height_);
    for (int64_t yy = y0; yy < y1; ++yy)
        for (int64_t xx = x0; xx < x1; ++xx) setPixel(int(xx), int(yy), colour);
}

int Canvas::textWidth(const char* text) { return text ? kCharWidth * static_cast<int>(std::strlen(text)) : 0; }

int Canvas::textHeight(const char*) { return kLineHeight; }

void Canvas::drawText(const char* text, int colour, int x, int y) { drawText(text, colour, paletteColour(colour), x, y); }

void Canvas::drawText(const char* text, int colour, Rgb rgb, int x, int y) {
    if (!text) return;
    texts_.push_back({text, colour, x, y});
    int cx = x;
    for (const char* p = text; *p; ++p, cx += kCharWidth) {
        if (cx >= width_) break;
        drawGlyph(static_cast<unsigned char>(*p), cx, y, rgb);
    }
}

void Canvas::drawGlyph(unsigned char c, int x, int y, Rgb colour) {
    if (c == ' ') return;
    if (c < 33 || c > 126) {
        // No glyph: an outlined box in the cell.
        fillBox(x + 1, y + 2, 5, 1, colour);
        fillBox(x + 1, y + 9, 5, 1, colour);
        fillBox(x + 1, y + 2, 1, 8, colour);
        fillBox(x + 5, y + 2, 1, 8, colour);
        return;
    }
    // The font builds a glyph from axis-aligned quads (16 bytes a vertex).
    float quads[4 * 4 * 64];
    char s[2] = {static_cast<char>(c), 0};
    const int n = stb_easy_font_print(0, 0, s, nullptr, quads, sizeof quads);
    for (int q = 0; q < n; ++q) {
        const float* v = quads + q * 16;
        const int x0 = int(v[0]), y0 = int(v[1]);
        const int x1 = int(v[8]), y1 = int(v[9]);
        fillBox(x + std::min(x0, x1), y + 1 + std::min(y0, y1), std::abs(x1 - x0), std::abs(y1 - y0), colour);
    }
}

bool Canvas::writePNG(const std::string& path) const {
    if (width_ == 0 || height_ == 0) return false;
    return stbi_write_png(path.c_str(), width_, height_, 3, rgb_.data(), width_ * 3) != 0;
}

bool Canvas::writePPM(const std::string& path) const {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::fprintf(f, "P6\n%d %d\n255\n", width_, height_);
    const bool written = std::fwrite(rgb_.data(), 1, rgb_.size(), f) == rgb_.size();
    return (std::fclose(f) == 0) && written;
}

}  // namespace hostsim
