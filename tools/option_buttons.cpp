#include "option_buttons.h"

#include "host_access.h"
#include "host_guard.h"
#include "image_layer.h"
#include "image_windows.h"
#include "layer_instance.h"
#include "lwcommand.h"
#include "lwhost.h"
#include "lwserver.h"

namespace korvalith {

namespace {

// Runs a host command; false when the host has no command service or the
// command did not run.
bool runCommand(const char* command) {
    auto* run = reinterpret_cast<LWCommandFunc*>(lookupService(LWCOMMANDFUNC_GLOBAL, GFUSE_TRANSIENT));
    return run && run(command) != 0;
}

// Tools whose servers are not part of this build say so instead of doing
// nothing.
void missingTool(const char* tool) {
    showError(tool, "This tool is not part of this build of Korvalith Pro.");
}

}  // namespace

void bindOptionButtons(const LWXPanelFuncs* xpanel, LWXPanelID panel) {
    if (!xpanel || !panel) return;
    LWXPanelHint hints[] = {XpBUTNOTIFY(cid::kAbout, optionButtonAction),
                            XpBUTNOTIFY(cid::kOpenConverter, optionButtonAction),
                            XpBUTNOTIFY(cid::kImageInformation, optionButtonAction),
                            XpBUTNOTIFY(cid::kFreeMemory, optionButtonAction),
                            XpBUTNOTIFY(cid::kCreateProxy, optionButtonAction),
                            XpBUTNOTIFY(cid::kOpenBrowser, optionButtonAction),
                            XpBUTNOTIFY(cid::kUpdateGLLayer, optionButtonAction),
                            XpBUTNOTIFY(cid::kReplaceImage, optionButtonAction),
                            XpEND};
    xpanel->hint(panel, 0, hints);
}

void optionButtonAction(LWXPanelID panel, int button) {
    guardHostCall([&] {
        HostService<LWXPanelFuncs> xpanel(slots::xpanel);
        if (!xpanel.available()) return;
        auto* instance = static_cast<LayerInstance*>(xpanel->getData(panel, 0));
        if (!instance) return;
        const CoreServices* core = instance->core();
        KorvalithImage* image = instance->layer().image();
        switch (static_cast<unsigned int>(button)) {
            case cid::kImageInformation:
                if (core) showImageInformation(*core, image);
                break;
            case cid::kAbout:
                if (core) showAboutBox(*core);
                break;
            case cid::kFreeMemory:
                if (core) releaseMemoryReport(*core);
                break;
            case cid::kReplaceImage: instance->replaceImage(); break;
            case cid::kOpenConverter:
                if (lookupService(LWCOMMANDFUNC_GLOBAL, GFUSE_TRANSIENT) && !runCommand("Generic_Korvalith_Converter"))
                    missingTool("Korvalith Converter");
                break;
            case cid::kOpenBrowser:
                if (lookupService(LWCOMMANDFUNC_GLOBAL, GFUSE_TRANSIENT) && !runCommand("Generic_Korvalith_Browser"))
                    missingTool("Korvalith Browser");
                break;
            case cid::kCreateProxy: missingTool("Create Proxy Image"); break;
            case cid::kUpdateGLLayer: missingTool("Update/Create OGL Layer"); break;
            default: break;
        }
    });
}

}  // namespace korvalith
