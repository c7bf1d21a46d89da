// "LWPanelServices": classic panels. Controls are laid out from top to
// bottom; opening a panel "shows" it: the host paints it into an RGB image
// (background, the lines of its text controls, then every canvas's draw
// callback) and records the shown panel. Nobody clicks, so a blocking open
// returns at once, as if the user had pressed OK.
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
    Canvas image{0, 0};
};

// Layout of panels.
struct PanelLayout {
    static constexpr int kMargin = 8;       // around the controls
    static constexpr int kGap = 4;          // between controls
    static constexpr int kTextPadding = 4;  // around the lines of a text control
    static constexpr Rgb kBackground{112, 112, 112};
    static constexpr int kTextColour = 4137;
};

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

    // --- the service ---
    LWPanelID create(const char* title);
    void destroy(LWPanelID panel);
    int open(LWPanelID panel, int flags);
    void close(LWPanelID panel);
    int get(LWPanelID panel, int tag, void* value);
    int set(LWPanelID panel, int tag, void* value);
    LWControl* addControl(LWPanelID panel, const char* typeName, const LWPanControlDesc* desc, const char* label);
    void controlGet(LWControl* control, int tag, LWValue* value);
    void controlSet(LWControl* control, int tag, LWValue* value);
    void controlDraw(LWControl* control, int drawMode);
    Canvas* imageOf(LWPanelID panel);  // the panel's picture while it is open

    struct Panel;
    struct Control;

private:
    Panel* find(LWPanelID panel) const;
    Control* find(LWControl* control) const;
    void paint(Panel* panel, std::unique_lock<std::mutex>& lock);

    LWPanelFuncs table_;
    mutable std::mutex mutex_;
    std::set<Panel*> panels_;
    std::vector<ShownPanel> shown_;
    bool refuse_ = false;
    int created_ = 0;
};

}  // namespace hostsim
