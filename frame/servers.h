// Activation functions of the servers of both modules. Each module's
// server table names the ones it serves.
#pragma once

#include "lw_module.h"

extern "C" {
// KorvalithPro
LWActivateFunc korvalithBrowserActivate;
LWActivateFunc korvalithConverterActivate;
LWActivateFunc korvalithGlobalActivate;
LWActivateFunc korvalithShaderActivate;
LWActivateFunc korvalithShaderInterfaceActivate;
LWActivateFunc korvalithTextureActivate;
LWActivateFunc korvalithTextureInterfaceActivate;
// KorvalithNode
LWActivateFunc korvalithNodeActivate;
LWActivateFunc korvalithNodeInterfaceActivate;
LWActivateFunc colourCorrectorActivate;
LWActivateFunc colourCorrectorInterfaceActivate;
}
