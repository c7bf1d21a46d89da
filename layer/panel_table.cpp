#include "panel_table.h"

#include "host_access.h"
#include "host_guard.h"
#include "layer_instance.h"
#include "lwrender.h"
#include "lwserver.h"

namespace korvalith {

namespace {

LWXPanelControl kControls[] = {
    {0x9102, "Projection", "iPopChoice"},
    {0x9104, "U Tiling", "iPopChoice"},
    {0x9105, "V Tiling", "iPopChoice"},
    {0x913B, "U Tiles", "float-env"},
    {0x913D, "V Tiles", "float-env"},
    {0x913F, "U Offset", "float-env"},
    {0x913E, "V Offset", "float-env"},
    {0x9106, "Fixed Projection", "iBoolean"},
    {0x9145, "Time", "float-env"},
    {0x911E, "Segment Angles", "iPopChoice"},
    {0x9121, "Top Edge", "angle-env"},
    {0x9122, "Left Edge", "angle-env"},
    {0x9123, "Width", "angle-env"},
    {0x9124, "Height", "angle-env"},
    {0x9000, "Image", "iPopChoice"},
    {0x9001, "Channel", "iPopChoice"},
    {0x9002, "Preview", "dThumbnail"},
    {0x9147, "Brightness", "percent-env"},
    {0x9148, "Contrast", "percent-env"},
    {0x9149, "Hue", "angle-env"},
    {0x914A, "Saturation", "percent-env"},
    {0x914B, "Gamma", "float-env"},
    {0x914C, "Invert", "iBoolean"},
    {0x914D, "Default", "vButton"},
    {0x9111, "Low Res Preview", "iBoolean"},
    {0x9116, "Image Information...", "vButton"},
    {0x9112, "Low Res FPrime", "iBoolean"},
    {0x9119, "Replace Image...", "vButton"},
    {0x911C, "Create Proxy Image...", "vButton"},
    {0x911D, "Update/Create OGL Layer...", "vButton"},
    {0x9118, "Free Memory...", "vButton"},
    {0x911B, "Open Korvalith Browser...", "vButton"},
    {0x911A, "Open Korvalith Converter...", "vButton"},
    {0x9117, "About Korvalith Pro...", "vButton"},
    {0x9003, "Texture Quality", "percent-env"},
    {0x9004, "LoD Blending", "percent-env"},
    {0x912B, "Return Value", "iBoolean"},
    {0x910B, "Texture Axis", "axis"},
    {0x9107, "Reference Object", "iPopChoice"},
    {0x9108, "Reference Camera", "iPopChoice"},
    {0x9109, "World Coordinates", "iBoolean"},
    {0x910A, "Automatic Sizing", "vButton"},
    {0x910C, "", "distance3-env"},
    {0x910D, "", "distance3-env"},
    {0x910E, "", "angle3-env"},
    {0x910F, "", "percent3-env"},
    {0x9110, "", "iPopChoice"},
    {0x9113, "Surface Channel", "iPopChoice"},
    {0x9114, "Strength", "percent-env"},
    {0x9115, "Invert", "iBoolean"},
    {0x9103, "UVMap", "iPopChoice"},
    {0x914F, "Bump Amplitude", "percent-env"},
    {0x914E, "Blending", "iPopChoice"},
    {0x9150, "Bg Colour", "color-env"},
    {0, nullptr, nullptr},
};

LWXPanelDataDesc kData[] = {
    {0x9102, "Projection", "integer"},
    {0x9104, "U Tiling", "integer"},
    {0x9105, "V Tiling", "integer"},
    {0x913B, "U Tiles", "float-env"},
    {0x913D, "V Tiles", "float-env"},
    {0x913F, "U Offset", "float-env"},
    {0x913E, "V Offset", "float-env"},
    {0x9106, "Fixed Projection", "integer"},
    {0x9145, "Time", "float-env"},
    {0x9121, "Top Edge", "angle-env"},
    {0x9122, "Left Edge", "angle-env"},
    {0x9123, "Width", "angle-env"},
    {0x9124, "Height", "angle-env"},
    {0x9113, "Surface Channel", "integer"},
    {0x9114, "Strength", "percent-env"},
    {0x9115, "Invert", "integer"},
    {0x9103, "UVMap", "integer"},
    {0x9000, "", "integer"},
    {0x9001, "", "integer"},
    {0x9147, "", "percent-env"},
    {0x9148, "", "percent-env"},
    {0x9149, "", "angle-env"},
    {0x914A, "", "percent-env"},
    {0x914B, "", "float-env"},
    {0x914C, "", "integer"},
    {0x9111, "Low Res Preview", "integer"},
    {0x9112, "Low Res FPrime", "integer"},
    {0x9003, "Texture Quality", "percent-env"},
    {0x9004, "LoD Blending", "percent-env"},
    {0x912B, "Return Value", "integer"},
    {0x910B, "Texture Axis", "axis"},
    {0x9107, "Reference Object", "integer"},
    {0x9108, "Reference Camera", "integer"},
    {0x9109, "World Coordinates", "integer"},
    {0x910C, "", "distance3-env"},
    {0x910D, "", "distance3-env"},
    {0x910E, "", "angle3-env"},
    {0x910F, "", "percent3-env"},
    {0x9110, "", "integer"},
    {0x914F, "Bump Amplitude", "percent-env"},
    {0x914E, "Blending", "integer"},
    {0x9150, "Bg Colour", "color-env"},
    {0, nullptr, nullptr},
};

}  // namespace

LWXPanelControl* sharedControls() { return kControls; }
LWXPanelDataDesc* sharedDataDescription() { return kData; }

// Panel callbacks answer "no value" or "no refresh" when anything inside throws.
void* panelGetValue(void* instance, unsigned int vid) {
    return guardHostCall<void*>(nullptr,
                                [&] { return instance ? static_cast<LayerInstance*>(instance)->panelGet(vid) : nullptr; });
}

LWXPRefreshCode panelSetValue(void* instance, unsigned int vid, void* value) {
    return guardHostCall<LWXPRefreshCode>(LWXPRC_NONE, [&]() -> LWXPRefreshCode {
        return instance ? static_cast<LWXPRefreshCode>(static_cast<LayerInstance*>(instance)->panelSet(vid, value))
                        : LWXPRC_NONE;
    });
}

LWXPRefreshCode panelChanged(LWXPanelID panel, unsigned int, unsigned int, int event) {
    guardHostCall([&] {
        if (event != LWXPEVENT_VALUE) return;
        auto* xpanel = static_cast<const LWXPanelFuncs*>(lookupService(LWXPANELFUNCS_GLOBAL, GFUSE_TRANSIENT));
        if (!xpanel) return;
        auto* instance = static_cast<LayerInstance*>(xpanel->getData(panel, 0));
        auto* update = reinterpret_cast<LWInstUpdate*>(lookupService(LWINSTUPDATE_GLOBAL, GFUSE_TRANSIENT));
        if (instance && update) update(instance->className(), instance);
    });
    return LWXPRC_NONE;
}

int itemRefCount(void* ref) {
    return guardHostCall(1, [&] { return ref ? static_cast<ItemRef*>(ref)->count() : 1; });
}
const char* itemRefName(void* ref, int index) {
    return guardHostCall<const char*>(nullptr,
                                      [&] { return ref ? static_cast<ItemRef*>(ref)->name(index) : "(none)"; });
}
int choiceListCount(void* list) {
    return guardHostCall(0, [&] { return list ? static_cast<ChoiceList*>(list)->count() : 0; });
}
const char* choiceListName(void* list, int index) {
    return guardHostCall<const char*>(nullptr,
                                      [&] { return list ? static_cast<ChoiceList*>(list)->name(index) : "(none)"; });
}

int imageChannelCount(void* image) {
    return guardHostCall(0, [&] {
        const CoreServices* core = coreTable();
        return core ? core->channelChoiceCount(static_cast<KorvalithImage*>(image)) : 0;
    });
}
const char* imageChannelName(void* image, int index) {
    return guardHostCall<const char*>(nullptr, [&]() -> const char* {
        const CoreServices* core = coreTable();
        return core ? core->channelChoiceName(static_cast<KorvalithImage*>(image), index) : nullptr;
    });
}

}  // namespace korvalith
