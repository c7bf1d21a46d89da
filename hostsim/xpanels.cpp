#include "xpanels.h"

#include "host.h"

namespace hostsim {

XPanels::XPanels() = default;
XPanels::~XPanels() = default;

void XPanels::registerWith(Host&) {}

}  // namespace hostsim
