#include "info_panel.h"

#include "logo_picture.h"

namespace korvalith {

namespace {

// Kinds of controls; the service takes them as modifiable text.
char kCanvasControl[] = "CanvasControl";
char kTextControl[] = "TextControl";
char kNoLabel[] = "";

int intValue(LWControl* control, cTag tag) {
    LWValue v;
    v.type = LWT_NULL;
    control->get(control, tag, &v);
    return v.type == LWT_INTEGER ? v.intv.value : 0;
}

void setInt(LWControl* control, cTag tag, int value) {
    LWValue v;
    v.intv.type = LWT_INTEGER;
    v.intv.value = value;
    control->set(control, tag, &v);
}

int panelWidth(const LWPanelFuncs* panels, LWPanelID panel) {
    int width = 0;
    panels->get(panel, PAN_W, &width);
    return width;
}

const char* const kNoLines[] = {nullptr};

}  // namespace

InfoPanel::InfoPanel(const char* title, const char* const* lines)
    : panels_(slots::panels),
      title_(title ? title : ""),
      picture_(kLogoPicture),
      pictureWidth_(kLogoWidth),
      pictureHeight_(kLogoHeight) {
    if (!panels_.available()) return;
    const LWPanelFuncs* panels = panels_.table();
    panel_ = panels->create(title_.data(), nullptr);
    if (!panel_) return;
    destroyPanel_ = true;

    LWPanControlDesc desc;
    desc.area.type = LWT_AREA;
    desc.area.width = pictureWidth_;
    desc.area.height = pictureHeight_;
    canvas_ = panels->addControl(panel_, kCanvasControl, &desc, kNoLabel);
    desc.text.type = LWT_TEXT;
    desc.text.text = const_cast<const char**>(lines ? lines : kNoLines);
    panels->addControl(panel_, kTextControl, &desc, kNoLabel);
    if (!canvas_) return;

    // The canvas takes the panel's width, then sits centred in the panel
    // that this made wider.
    const int w0 = panelWidth(panels, panel_);
    setInt(canvas_, CTL_W, w0);
    const int w1 = panelWidth(panels, panel_);
    setInt(canvas_, CTL_X, (w1 - w0) / 2 + 6);

    // Pointers travel in the value's ptr member.
    LWValue v{};
    v.ptr.ptr = this;
    canvas_->set(canvas_, CTL_USERDATA, &v);
    v.ptr.ptr = reinterpret_cast<void*>(&drawPicture);
    canvas_->set(canvas_, CTL_USERDRAW, &v);
}

InfoPanel::~InfoPanel() {
    if (destroyPanel_ && panel_) panels_->destroy(panel_);
}

bool InfoPanel::show() {
    if (!panel_) return false;
    panels_->open(panel_, PANF_BLOCKING);
    return true;
}

void InfoPanel::drawPicture(LWControlID id, void* userData, DrMode) {
    auto* self = static_cast<InfoPanel*>(userData);
    auto* control = static_cast<LWControl*>(id);
    if (!self || !control || !self->panel_) return;
    const DrawFuncs* draw = self->panels_->drawFuncs;
    if (!draw) return;
    const int x = intValue(control, CTL_HOTX);
    const int y = intValue(control, CTL_HOTY);
    const int width = intValue(control, CTL_HOTW);
    const int height = intValue(control, CTL_HOTH);
    draw->drawRGBBox(self->panel_, 255, 255, 255, x, y, width, height);

    const int left = x + (width - self->pictureWidth_) / 2;
    const int top = y + (height - self->pictureHeight_) / 2;
    for (int i = 0; i < self->pictureHeight_; ++i) {
        // Rows are stored from the bottom up, pixels as blue, green, red.
        const unsigned char* row = self->picture_ + size_t(self->pictureHeight_ - 1 - i) * self->pictureWidth_ * 3;
        for (int j = 0; j < self->pictureWidth_; ++j) {
            const unsigned char* p = row + size_t(j) * 3;
            draw->drawRGBPixel(self->panel_, p[2], p[1], p[0], left + j, top + i);
        }
    }
}

void showInfoPanel(const char* title, const char* const* lines) {
    InfoPanel panel(title, lines);
    panel.show();
}

}  // namespace korvalith
