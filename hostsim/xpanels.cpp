#include "xpanels.h"

#include "canvas.h"
#include "host.h"

namespace hostsim {

namespace {
// The panel functions follow; until then only the drawing functions work.
const LWXPanelFuncs kTable{LWXPANELS_VERSION, Canvas::drawFuncs(), nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
}  // namespace

const LWXPanelFuncs* xpanelFuncs() { return &kTable; }

XPanels::XPanels() = default;
XPanels::~XPanels() = default;

void XPanels::registerWith(Host& host) {
    host.registerService(LWXPANELFUNCS_GLOBAL, const_cast<LWXPanelFuncs*>(xpanelFuncs()));
}

}  // namespace hostsim
