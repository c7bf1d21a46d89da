// "LWPanelServices": classic panels. Controls are laid out from top to
// bottom; opening a panel "shows" it: the host paints it into an RGB image
// (background, the lines of its text controls, then every canvas's draw
// callback) and records the shown panel. Nobody clicks, so a blocking open
// returns at once, as if the user had pressed OK, and handle with
// EVNT_BLOCKING finds the panel closed by the user.
//
// Controls of the kinds "CanvasControl" (an LWT_AREA description) and
// "TextControl" (LWT_TEXT) can be added; addControl answers null for the
// other kinds. Attributes the host does not keep are ignored by set and
// leave the caller's value untouched in get.
#pragma once

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "canvas.h"
#include "lwpanel.h"

namespace hostsim {

struct ShownPanel {
    std::string title;
    bool blocking = false;
    // Lines of each text control, in the order the controls were added.
    std::vector<std::vector<std::string>> texts;
    // The picture as it was painted when the panel was opened.
    Canvas image{0, 0};
};

// Layout and look of panels.
struct PanelLayout {
    static constexpr int kMargin = 8;       // around the controls
    static constexpr int kGap = 4;          // between controls
    static constexpr int kTextPadding = 4;  // around the lines of a text control
    static constexpr Rgb kBackground{112, 112, 112};
    static constexpr int kTextColour = LWP_NORMAL;
};

// The colour a drawing function paints for a colour argument: RGB_ values
// by their components, the palette entries LWP_BG, LWP_NORMAL,
// LWP_HEADLINE, LWP_BLACK, LWP_SHADOW and LWP_HILIGHT in the host's look,
// other indexes as paletteColour() answers them.
Rgb panelColour(int colour);

class Panels {
public:
    Panels();
    ~Panels();
    const LWPanelFuncs* table() const { return &table_; }

    // Makes create fail from now on (true) or work again (false).
    void refuseCreate(bool refuse);
    std::vector<ShownPanel> shown() const;
    int live() const;     // created and not destroyed
    int created() const;  // created since the host started
    // What dispMetrics answers: a 1920 x 1080 true-colour display with
    // square pixels and the text metrics of Canvas.
    static const LWDisplayMetrics* displayMetrics();

    // --- the service ---
    LWPanelID create(const char* title, void* data);
    void destroy(LWPanelID panel);
    int open(LWPanelID panel, int flags);
    int handle(LWPanelID panel, int flags);
    void draw(LWPanelID panel, int drawMode);
    void close(LWPanelID panel);
    void get(LWPanelID panel, int tag, void* value);
    void set(LWPanelID panel, int tag, void* value);
    LWControl* addControl(LWPanelID panel, const char* typeName, const LWPanControlDesc* desc, const char* label);
    LWControl* nextControl(LWPanelID panel, LWControlID control);
    void controlGet(LWControlID control, int tag, LWValue* value);
    void controlSet(LWControlID control, int tag, LWValue* value);
    void controlDraw(LWControlID control, int drawMode);
    Canvas* imageOf(LWPanelID panel);  // the panel's picture while it is open

    struct Panel;
    struct Control;

private:
    Panel* findPanel(LWPanelID panel) const;
    Control* findControl(LWControlID control) const;
    void paint(Panel* panel, int drawMode, std::unique_lock<std::mutex>& lock);

    LWPanelFuncs table_;
    DrawFuncs drawFuncs_;
    mutable std::mutex mutex_;
    std::set<Panel*> panels_;
    std::vector<ShownPanel> shown_;
    bool refuse_ = false;
    int created_ = 0;
};

}  // namespace hostsim
