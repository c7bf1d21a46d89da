// The buttons of a layer panel's "Options" tab: one action for all of them,
// wired when a panel binds its instance.
#pragma once

#include "lwxpanel.h"

namespace korvalith {

// Gives the panel's eight option buttons the button action.
void bindOptionButtons(const LWXPanelFuncs* xpanel, LWXPanelID panel);

// The action: the panel's data 0 is the layer instance; nothing without one.
void optionButtonAction(LWXPanelID panel, int button);

}  // namespace korvalith
