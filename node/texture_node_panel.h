// The panel of the "NodeInterface" server "KorvalithPro".
#pragma once

#include "lwxpanel.h"

namespace korvalith {

class TextureNode;

// The node's view panel: made and bound on the first request, the same
// panel afterwards; null without an instance or when the host makes none.
LWXPanelID textureNodePanel(TextureNode* node);

}  // namespace korvalith
