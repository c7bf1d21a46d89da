// A modal window with the module's picture above a few lines of text,
// built on the host's classic panels ("LWPanelServices", held while the
// object lives). Build it, open it with show(), discard it: discarding
// destroys the host panel.
#pragma once

#include <string>

#include "host_access.h"
#include "lwpanel.h"

namespace korvalith {

class InfoPanel {
public:
    // lines: text pointers ended by a null entry; null for no lines. When
    // the host cannot make the panel, nothing is built and show() shows
    // nothing.
    InfoPanel(const char* title, const char* const* lines);
    ~InfoPanel();
    InfoPanel(const InfoPanel&) = delete;
    InfoPanel& operator=(const InfoPanel&) = delete;

    bool created() const { return panel_ != nullptr; }
    // Opens the panel blocking; false when there is no panel to show.
    bool show();

    const std::string& title() const { return title_; }
    LWPanelID panel() const { return panel_; }
    LWControl* canvas() const { return canvas_; }

    // The canvas's draw callback: its active area filled white, the picture
    // centred in it.
    static void drawPicture(LWControlID control, void* userData, DrMode drawMode);

private:
    HostService<LWPanelFuncs> panels_;
    std::string title_;
    const unsigned char* picture_;
    int pictureWidth_;
    int pictureHeight_;
    LWPanelID panel_ = nullptr;
    bool destroyPanel_ = false;
    LWControl* canvas_ = nullptr;
};

// Builds, shows and discards an InfoPanel.
void showInfoPanel(const char* title, const char* const* lines);

}  // namespace korvalith
