#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host.h"
#include "lwpanel.h"
#include "lwserver.h"

namespace {

using hostsim::PanelLayout;
using hostsim::Rgb;

const char* kLines[] = {"first line", "a somewhat longer second line", nullptr};

class Panels : public ::testing::Test {
protected:
    const LWPanelFuncs* pan() {
        return static_cast<const LWPanelFuncs*>(hostsim::Host::lookupFunction()(LWPANELFUNCS_GLOBAL, GFUSE_TRANSIENT));
    }
    LWControl* canvas(LWPanelID p, int w, int h) {
        LWPanControlDesc d;
        d.canvas = {LWT_AREA, w, h};
        return pan()->addControl(p, LWPANCTL_CANVAS, &d, "");
    }
    LWControl* text(LWPanelID p, const char** lines) {
        LWPanControlDesc d;
        d.text = {LWT_TEXT, lines};
        return pan()->addControl(p, LWPANCTL_TEXT, &d, "");
    }
    static int getInt(LWControl* c, int tag) {
        LWValue v;
        c->get(c, tag, &v);
        EXPECT_EQ(v.type, LWT_INTEGER);
        return v.intv.value;
    }
    static void setInt(LWControl* c, int tag, int value) {
        LWValue v;
        v.intv = {LWT_INTEGER, value};
        c->set(c, tag, &v);
    }
    int panelInt(LWPanelID p, int tag) {
        int v = -1;
        EXPECT_EQ(pan()->get(p, tag, &v), 1);
        return v;
    }
    hostsim::Host host;
};

TEST_F(Panels, ControlsAreStackedAndThePanelFitsTheWidest) {
    LWPanelID p = pan()->create("Info");
    ASSERT_NE(p, nullptr);
    LWControl* c = canvas(p, 203, 104);
    LWControl* t = text(p, kLines);
    ASSERT_NE(c, nullptr);
    ASSERT_NE(t, nullptr);
    const int textWidth = 29 * 7 + 2 * PanelLayout::kTextPadding;  // the longer line
    EXPECT_EQ(getInt(t, CTL_W), textWidth);
    EXPECT_EQ(getInt(t, CTL_H), 2 * 12 + 2 * PanelLayout::kTextPadding);
    EXPECT_EQ(getInt(c, CTL_X), PanelLayout::kMargin);
    EXPECT_EQ(getInt(c, CTL_Y), PanelLayout::kMargin);
    EXPECT_EQ(getInt(t, CTL_Y), PanelLayout::kMargin + 104 + PanelLayout::kGap);
    EXPECT_EQ(panelInt(p, PAN_W), 2 * PanelLayout::kMargin + textWidth);
    EXPECT_EQ(panelInt(p, PAN_H), getInt(t, CTL_Y) + getInt(t, CTL_H) + PanelLayout::kMargin);

    // A wider and taller canvas widens the panel and moves the text down.
    setInt(c, CTL_W, 400);
    setInt(c, CTL_H, 50);
    EXPECT_EQ(panelInt(p, PAN_W), 400 + 2 * PanelLayout::kMargin);
    EXPECT_EQ(getInt(t, CTL_Y), PanelLayout::kMargin + 50 + PanelLayout::kGap);
    setInt(c, CTL_X, 30);
    EXPECT_EQ(panelInt(p, PAN_W), 30 + 400 + PanelLayout::kMargin);
    // The active area follows the control.
    EXPECT_EQ(getInt(c, CTL_HOTX), 30);
    EXPECT_EQ(getInt(c, CTL_HOTY), PanelLayout::kMargin);
    EXPECT_EQ(getInt(c, CTL_HOTW), 400);
    EXPECT_EQ(getInt(c, CTL_HOTH), 50);
    // Sizes that make no sense are not taken.
    setInt(c, CTL_W, 0);
    setInt(c, CTL_H, -4);
    setInt(c, CTL_X, -1);
    EXPECT_EQ(getInt(c, CTL_W), 400);
    EXPECT_EQ(getInt(c, CTL_H), 50);
    EXPECT_EQ(getInt(c, CTL_X), 30);
    // A panel may be made larger than its controls need, never smaller.
    int w = 1000;
    EXPECT_EQ(pan()->set(p, PAN_W, &w), 1);
    EXPECT_EQ(panelInt(p, PAN_W), 1000);
    w = 0;
    EXPECT_EQ(pan()->set(p, PAN_W, &w), 0);
    pan()->destroy(p);
}

struct DrawLog {
    const LWPanelFuncs* pan = nullptr;
    LWPanelID panel = nullptr;
    std::vector<void*> userData;
    std::vector<int> modes;
};

void paintHotArea(LWControl* c, void* data, int mode) {
    auto* log = static_cast<DrawLog*>(data);
    log->userData.push_back(data);
    log->modes.push_back(mode);
    LWValue x, y, w, h;
    c->get(c, CTL_HOTX, &x);
    c->get(c, CTL_HOTY, &y);
    c->get(c, CTL_HOTW, &w);
    c->get(c, CTL_HOTH, &h);
    log->pan->drawFuncs->drawRGBBox(log->panel, 255, 255, 255, x.intv.value, y.intv.value, w.intv.value, h.intv.value);
    log->pan->drawFuncs->drawRGBPixel(log->panel, 255, 0, 0, x.intv.value, y.intv.value);
}

TEST_F(Panels, OpeningShowsThePanelWithItsTextAndCanvasDrawing) {
    LWPanelID p = pan()->create("About");
    LWControl* c = canvas(p, 20, 10);
    text(p, kLines);
    DrawLog log{pan(), p, {}, {}};
    LWValue v;
    v.ptr = {LWT_POINTER, &log};
    c->set(c, CTL_USERDATA, &v);
    v.draw = {LWT_DRAWFUNC, paintHotArea};
    c->set(c, CTL_USERDRAW, &v);
    LWValue back;
    c->get(c, CTL_USERDATA, &back);
    EXPECT_EQ(back.type, LWT_POINTER);
    EXPECT_EQ(back.ptr.ptr, &log);
    c->get(c, CTL_USERDRAW, &back);
    EXPECT_EQ(back.draw.func, paintHotArea);

    EXPECT_EQ(pan()->open(p, PANF_BLOCKING), 1);
    ASSERT_EQ(log.userData.size(), 1u);
    EXPECT_EQ(log.userData[0], &log);
    EXPECT_EQ(log.modes[0], DR_RENDER);

    const auto shown = host.panels().shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, "About");
    EXPECT_TRUE(shown[0].blocking);
    ASSERT_EQ(shown[0].texts.size(), 1u);
    EXPECT_EQ(shown[0].texts[0], (std::vector<std::string>{"first line", "a somewhat longer second line"}));
    const auto& image = shown[0].image;
    EXPECT_EQ(image.width(), panelInt(p, PAN_W));
    EXPECT_EQ(image.height(), panelInt(p, PAN_H));
    const int x = PanelLayout::kMargin, y = PanelLayout::kMargin;
    EXPECT_EQ(image.pixel(x, y), (Rgb{255, 0, 0}));
    EXPECT_EQ(image.pixel(x + 19, y + 9), (Rgb{255, 255, 255}));
    EXPECT_EQ(image.pixel(x + 20, y), PanelLayout::kBackground);
    EXPECT_EQ(image.count({255, 255, 255}), 20 * 10 - 1);
    ASSERT_EQ(image.texts().size(), 2u);
    EXPECT_EQ(image.texts()[1].text, "a somewhat longer second line");
    EXPECT_EQ(image.texts()[1].colour, PanelLayout::kTextColour);

    // After a blocking open the panel is closed: drawing goes nowhere.
    pan()->drawFuncs->drawRGBBox(p, 1, 2, 3, 0, 0, 100, 100);
    c->draw(c, DR_REFRESH);
    EXPECT_EQ(log.userData.size(), 1u);
    pan()->destroy(p);
    EXPECT_EQ(host.panels().live(), 0);
}

TEST_F(Panels, BadControlsAreRefused) {
    LWPanelID p = pan()->create("x");
    LWPanControlDesc d;
    d.canvas = {LWT_AREA, 10, 10};
    EXPECT_EQ(pan()->addControl(p, "SliderControl", &d, ""), nullptr);
    EXPECT_EQ(pan()->addControl(p, LWPANCTL_TEXT, &d, ""), nullptr) << "an area is no text";
    EXPECT_EQ(pan()->addControl(p, nullptr, &d, ""), nullptr);
    EXPECT_EQ(pan()->addControl(p, LWPANCTL_CANVAS, nullptr, ""), nullptr);
    for (auto [w, h] : {std::pair{0, 10}, {10, -1}, {100000, 10}}) {
        d.canvas = {LWT_AREA, w, h};
        EXPECT_EQ(pan()->addControl(p, LWPANCTL_CANVAS, &d, ""), nullptr) << w << " x " << h;
    }
    d.text = {LWT_TEXT, nullptr};
    EXPECT_EQ(pan()->addControl(p, LWPANCTL_TEXT, &d, ""), nullptr);
    const char* none[] = {nullptr};
    EXPECT_NE(text(p, none), nullptr) << "no lines is an empty text";

    LWControl* c = canvas(p, 5, 5);
    LWValue v;
    v.intv = {LWT_INTEGER, 3};
    c->set(c, CTL_USERDATA, &v);  // wrong type: ignored
    c->get(c, CTL_USERDATA, &v);
    EXPECT_EQ(v.ptr.ptr, nullptr);
    c->get(c, 999, &v);
    EXPECT_EQ(v.type, LWT_NULL);
    pan()->destroy(p);
}

TEST_F(Panels, DestroyedAndUnknownPanelsAreHarmless) {
    LWPanelID p = pan()->create("gone");
    pan()->destroy(p);
    pan()->destroy(p);
    int w = 0;
    EXPECT_EQ(pan()->get(p, PAN_W, &w), 0);
    EXPECT_EQ(pan()->open(p, PANF_BLOCKING), 0);
    LWPanControlDesc d;
    d.canvas = {LWT_AREA, 10, 10};
    EXPECT_EQ(pan()->addControl(p, LWPANCTL_CANVAS, &d, ""), nullptr);
    EXPECT_TRUE(host.panels().shown().empty());
    EXPECT_EQ(host.panels().created(), 1);

    host.panels().refuseCreate(true);
    EXPECT_EQ(pan()->create("refused"), nullptr);
}

TEST_F(Panels, ServiceUseIsCounted) {
    auto lookup = hostsim::Host::lookupFunction();
    EXPECT_EQ(lookup(LWPANELFUNCS_GLOBAL, GFUSE_ACQUIRE), host.panels().table());
    EXPECT_EQ(host.use(LWPANELFUNCS_GLOBAL).held(), 1);
    lookup(LWPANELFUNCS_GLOBAL, GFUSE_RELEASE);
    EXPECT_TRUE(host.use(LWPANELFUNCS_GLOBAL).balanced());
}

}  // namespace
