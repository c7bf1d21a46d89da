// Activation functions of the servers of both modules. Each module's
// server table names the ones it serves.
#pragma once

#include "lwmodule.h"

extern "C" {
// KorvalithPro
ActivateFunc korvalithBrowserActivate;
ActivateFunc korvalithConverterActivate;
ActivateFunc korvalithGlobalActivate;
ActivateFunc korvalithShaderActivate;
ActivateFunc korvalithShaderInterfaceActivate;
ActivateFunc korvalithTextureActivate;
ActivateFunc korvalithTextureInterfaceActivate;
// KorvalithNode
ActivateFunc korvalithNodeActivate;
ActivateFunc korvalithNodeInterfaceActivate;
ActivateFunc colourCorrectorActivate;
ActivateFunc colourCorrectorInterfaceActivate;
}
