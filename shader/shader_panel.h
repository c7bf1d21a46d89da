// The panel of the "ShaderInterface" server.
#pragma once

#include "lwxpanel.h"

namespace korvalith {

class ShaderInstance;

// Makes the shader's view panel for the instance and binds it; null when
// the host makes no panel.
LWXPanelID createShaderPanel(ShaderInstance* instance);

}  // namespace korvalith
