// The stand-in host's view panels of "LWXPanel" built from control tables, data descriptions and hints.
#pragma once

namespace hostsim {

class Host;

class XPanels {
public:
    XPanels();
    ~XPanels();
    XPanels(const XPanels&) = delete;
    XPanels& operator=(const XPanels&) = delete;
    // Enters this model's services into the host's service table.
    void registerWith(Host& host);
};

}  // namespace hostsim
