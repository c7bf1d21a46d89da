#include "image_windows.h"

#include <string>
#include <vector>

#include "byte_size.h"
#include "host_access.h"
#include "image_information.h"
#include "lwhost.h"
#include "lwpanel.h"
#include "lwserver.h"

namespace korvalith {

namespace {
const LWMessageFuncs* messages() {
    return static_cast<const LWMessageFuncs*>(lookupService(LWMESSAGEFUNCS_GLOBAL, GFUSE_TRANSIENT));
}
}  // namespace

void showImageInformation(const CoreServices& core, KorvalithImage* image) {
    if (!image) {
        if (const LWMessageFuncs* m = messages())
            m->error("Sorry, I can't show information.", "You need to have an image selected in\nto view information about it.");
        return;
    }
    const std::vector<std::string> lines = imageInformationLines(core, image);
    std::vector<const char*> texts;
    for (const std::string& line : lines) texts.push_back(line.c_str());
    texts.push_back(nullptr);
    HostService<LWPanelFuncs> panels(slots::panels);
    if (!panels.available()) return;
    char title[] = "Korvalith Pro: Image information";
    LWPanelID panel = panels->create(title, nullptr);
    if (!panel) return;
    LWPanControlDesc desc;
    desc.text.type = LWT_TEXT;
    desc.text.text = texts.data();
    char kind[] = "TextControl";
    char label[] = "";
    panels->addControl(panel, kind, &desc, label);
    panels->open(panel, PANF_BLOCKING);
    panels->destroy(panel);
}

void releaseMemoryReport(const CoreServices& core) {
    const uint32_t before = core.memoryUsed(nullptr);
    core.freeMemory(nullptr);
    const uint32_t after = core.memoryUsed(nullptr);
    const std::string released = formatByteSize(static_cast<double>(before > after ? before - after : 0)) + " Released";
    if (const LWMessageFuncs* m = messages()) m->info("Korvalith Pro:", released.c_str());
}

void showAboutBox(const CoreServices& core) { core.showAbout("About Korvalith Pro", ""); }

}  // namespace korvalith
