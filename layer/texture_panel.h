// The panel of the "TextureInterface" server.
#pragma once

#include "lwxpanel.h"

namespace korvalith {

class LayerInstance;

// Makes the texture's view panel for the instance and binds it; null when
// the host makes no panel.
LWXPanelID createTexturePanel(LayerInstance* instance);

}  // namespace korvalith
