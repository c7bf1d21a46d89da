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
char kCanvas[] = "CanvasControl";
char kText[] = "TextControl";
char kNoLabel[] = "";

class Panels : public ::testing::Test {
protected:
    const LWPanelFuncs* pan() {
        return static_cast<const LWPanelFuncs*>(hostsim::Host::lookupFunction()(LWPANELFUNCS_GLOBAL, GFUSE_TRANSIENT));
    }
    LWPanelID create(const char* title, void* data = nullptr) {
        std::string t = title;
        return pan()->create(t.data(), data);
    }
    LWControl* canvas(LWPanelID p, int w, int h) {
        LWPanControlDesc d;
        d.area = {LWT_AREA, w, h};
        return pan()->addControl(p, kCanvas, &d, kNoLabel);
    }
    LWControl* text(LWPanelID p, const char** lines) {
        LWPanControlDesc d;
        d.text = {LWT_TEXT, lines};
        return pan()->addControl(p, kText, &d, kNoLabel);
    }
    static int getInt(LWControl* c, cTag tag) {
        LWValue v{};
        c->get(c, tag, &v);
        EXPECT_EQ(v.type, LWT_INTEGER);
        return v.intv.value;
    }
    static void setInt(LWControl* c, cTag tag, int value) {
        LWValue v{};
        v.intv = {LWT_INTEGER, value, 0};
        c->set(c, tag, &v);
    }
    static void* getPointer(LWControl* c, cTag tag) {
        LWValue v{};
        c->get(c, tag, &v);
        return v.ptr.ptr;
    }
    // Pointers go in the ptr member of a record typed as an integer, as the
    // SDK's own shorthands do it.
    static void setPointer(LWControl* c, cTag tag, void* p) {
        LWValue v{};
        v.type = LWT_INTEGER;
        v.ptr.ptr = p;
        c->set(c, tag, &v);
    }
    int panelInt(LWPanelID p, pTag tag) {
        int v = -1;
        pan()->get(p, tag, &v);
        return v;
    }
    hostsim::Host host;
};

TEST_F(Panels, ControlsAreStackedAndThePanelFitsTheWidest) {
    LWPanelID p = create("Info");
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
    pan()->set(p, PAN_W, &w);
    EXPECT_EQ(panelInt(p, PAN_W), 1000);
    w = 0;
    pan()->set(p, PAN_W, &w);
    EXPECT_EQ(panelInt(p, PAN_W), 1000);
    pan()->destroy(p);
}

TEST_F(Panels, PanelAttributes) {
    int owner = 0, other = 0;
    LWPanelID p = create("Title", &owner);
    void* data = nullptr;
    pan()->get(p, PAN_USERDATA, &data);
    EXPECT_EQ(data, &owner) << "create's data is the panel's user data";
    pan()->set(p, PAN_USERDATA, &other);  // the pointer itself, not a pointer to it
    pan()->get(p, PAN_USERDATA, &data);
    EXPECT_EQ(data, &other);

    const char* title = nullptr;
    pan()->get(p, PAN_TITLE, &title);
    EXPECT_STREQ(title, "Title");
    char renamed[] = "Renamed";
    pan()->set(p, PAN_TITLE, renamed);
    pan()->get(p, PAN_TITLE, &title);
    EXPECT_STREQ(title, "Renamed");

    EXPECT_EQ(panelInt(p, PAN_VERSION), LWPANELS_API_VERSION);
    const LWPanelFuncs* funcs = nullptr;
    pan()->get(p, PAN_PANFUN, &funcs);
    EXPECT_EQ(funcs, pan());
    int x = 40;
    pan()->set(p, PAN_X, &x);
    EXPECT_EQ(panelInt(p, PAN_X), 40);
    EXPECT_EQ(panelInt(p, PAN_MOUSEX), -1) << "attributes the host does not keep leave the value alone";

    pan()->open(p, PANF_BLOCKING);
    ASSERT_EQ(host.panels().shown().size(), 1u);
    EXPECT_EQ(host.panels().shown()[0].title, "Renamed");
    pan()->destroy(p);
}

TEST_F(Panels, ControlAttributesAndOrder) {
    LWPanelID p = create("Controls");
    EXPECT_EQ(pan()->nextControl(p, nullptr), nullptr) << "no controls yet";
    LWControl* a = canvas(p, 10, 10);
    LWControl* b = text(p, kLines);
    EXPECT_EQ(pan()->nextControl(p, nullptr), a);
    EXPECT_EQ(pan()->nextControl(p, a), b);
    EXPECT_EQ(pan()->nextControl(p, b), nullptr);

    EXPECT_EQ(getPointer(a, CTL_PANEL), p);
    EXPECT_EQ(getPointer(b, CTL_PANFUN), pan());
    int data = 0;
    setPointer(a, CTL_USERDATA, &data);
    EXPECT_EQ(getPointer(a, CTL_USERDATA), &data);

    char label[] = "Picture";
    LWValue v{};
    v.str = {LWT_STRING, label, 0};
    a->set(a, CTL_LABEL, &v);
    char back[5] = "????";
    v.str = {LWT_STRING, back, 5};
    a->get(a, CTL_LABEL, &v);
    EXPECT_STREQ(back, "Pict") << "cut to the caller's buffer";

    v = {};
    v.intv = {LWT_INTEGER, 77, 0};
    a->get(a, CTL_MOUSEX, &v);
    EXPECT_EQ(v.intv.value, 77) << "attributes the host does not keep leave the value alone";
    setInt(a, CTL_HOTX, 99);
    EXPECT_EQ(getInt(a, CTL_HOTX), PanelLayout::kMargin) << "the active area cannot be set";
    pan()->destroy(p);
}

struct DrawLog {
    const LWPanelFuncs* pan = nullptr;
    LWPanelID panel = nullptr;
    std::vector<void*> userData;
    std::vector<DrMode> modes;
};

void paintHotArea(LWControlID id, void* data, DrMode mode) {
    auto* c = static_cast<LWControl*>(id);
    auto* log = static_cast<DrawLog*>(data);
    log->userData.push_back(data);
    log->modes.push_back(mode);
    LWValue x{}, y{}, w{}, h{};
    c->get(c, CTL_HOTX, &x);
    c->get(c, CTL_HOTY, &y);
    c->get(c, CTL_HOTW, &w);
    c->get(c, CTL_HOTH, &h);
    log->pan->drawFuncs->drawRGBBox(log->panel, 255, 255, 255, x.intv.value, y.intv.value, w.intv.value, h.intv.value);
    log->pan->drawFuncs->drawRGBPixel(log->panel, 255, 0, 0, x.intv.value, y.intv.value);
}

TEST_F(Panels, OpeningShowsThePanelWithItsTextAndCanvasDrawing) {
    LWPanelID p = create("About");
    LWControl* c = canvas(p, 20, 10);
    text(p, kLines);
    DrawLog log{pan(), p, {}, {}};
    setPointer(c, CTL_USERDATA, &log);
    setPointer(c, CTL_USERDRAW, reinterpret_cast<void*>(&paintHotArea));
    EXPECT_EQ(getPointer(c, CTL_USERDRAW), reinterpret_cast<void*>(&paintHotArea));

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
    pan()->draw(p, DR_REFRESH);
    EXPECT_EQ(log.userData.size(), 1u);
    EXPECT_EQ(pan()->handle(p, 0), -1) << "closed";
    pan()->destroy(p);
    EXPECT_EQ(host.panels().live(), 0);
}

TEST_F(Panels, AnOpenPanelRedrawsUntilTheUserClosesIt) {
    LWPanelID p = create("Live");
    LWControl* c = canvas(p, 8, 8);
    DrawLog log{pan(), p, {}, {}};
    setPointer(c, CTL_USERDATA, &log);
    setPointer(c, CTL_USERDRAW, reinterpret_cast<void*>(&paintHotArea));
    EXPECT_EQ(pan()->open(p, 0), 1);
    EXPECT_FALSE(host.panels().shown().back().blocking);
    EXPECT_EQ(pan()->handle(p, 0), 0) << "still open";
    c->draw(c, DR_GHOST);
    pan()->draw(p, DR_REFRESH);
    EXPECT_EQ(log.modes, (std::vector<DrMode>{DR_RENDER, DR_GHOST, DR_REFRESH}));
    EXPECT_EQ(pan()->handle(p, EVNT_BLOCKING), -1) << "waiting for the user: they close it";
    c->draw(c, DR_RENDER);
    EXPECT_EQ(log.modes.size(), 3u);

    EXPECT_EQ(pan()->open(p, 0), 1);
    pan()->close(p);
    EXPECT_EQ(pan()->handle(p, 0), -1);
    pan()->destroy(p);
    EXPECT_EQ(pan()->handle(p, 0), -1) << "an unknown panel counts as closed";
}

// Draws with every drawing function into an open panel.
TEST_F(Panels, DrawingFunctions) {
    LWPanelID p = create("Drawing");
    int side = 60;
    pan()->set(p, PAN_W, &side);
    pan()->set(p, PAN_H, &side);
    ASSERT_EQ(pan()->open(p, 0), 1);
    const DrawFuncs* d = pan()->drawFuncs;
    ASSERT_NE(d, nullptr);
    const hostsim::Canvas* image = host.panels().imageOf(p);
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->width(), 60);

    d->drawPixel(p, RGB_(10, 20, 30), 1, 1);
    EXPECT_EQ(image->pixel(1, 1), (Rgb{10, 20, 30})) << "RGB_ colours by their components";
    d->drawPixel(p, LWP_HEADLINE, 2, 1);
    EXPECT_EQ(image->pixel(2, 1), hostsim::panelColour(LWP_HEADLINE));
    d->drawBox(p, RGB_(0, 0, 255), 10, 10, 3, 2);
    EXPECT_EQ(image->count({0, 0, 255}), 6);

    // Lines include both ends; one far outside is clipped, not walked.
    d->drawLine(p, RGB_(255, 0, 0), 20, 20, 23, 23);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(image->pixel(20 + i, 20 + i), (Rgb{255, 0, 0})) << i;
    EXPECT_EQ(image->count({255, 0, 0}), 4);
    d->drawLine(p, RGB_(0, 255, 0), -2000000000, 30, 2000000000, 30);
    EXPECT_EQ(image->count({0, 255, 0}), 60);
    d->drawLine(p, RGB_(0, 255, 255), 5, 50, 5, 50);
    EXPECT_EQ(image->count({0, 255, 255}), 1);

    // A sunken frame is dark above and light below; a divider is two lines.
    const Rgb shadow = hostsim::panelColour(LWP_SHADOW), light = hostsim::panelColour(LWP_HILIGHT);
    d->drawBorder(p, 1, 40, 40, 10, 5);
    EXPECT_EQ(image->pixel(45, 40), shadow);
    EXPECT_EQ(image->pixel(40, 42), shadow);
    EXPECT_EQ(image->pixel(45, 44), light);
    EXPECT_EQ(image->pixel(49, 42), light);
    EXPECT_EQ(image->pixel(45, 42), PanelLayout::kBackground);
    d->drawBorder(p, 0, 40, 52, 10, 0);
    EXPECT_EQ(image->pixel(40, 52), shadow);
    EXPECT_EQ(image->pixel(49, 53), light);

    char word[] = "Hi";
    EXPECT_EQ(d->textWidth(p, word), 2 * hostsim::Canvas::kCharWidth);
    d->drawText(p, word, RGB_(1, 2, 3), 30, 2);
    ASSERT_EQ(image->texts().size(), 1u);
    EXPECT_EQ(image->texts()[0], (hostsim::DrawnText{"Hi", int(RGB_(1, 2, 3)), 30, 2}));
    EXPECT_GT(image->count({1, 2, 3}), 0);

    const LWDisplayMetrics* m = d->dispMetrics();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->width, 1920);
    EXPECT_EQ(m->height, 1080);
    EXPECT_EQ(m->depth, 24);
    EXPECT_EQ(m->textHeight, hostsim::Canvas::kLineHeight);
    pan()->destroy(p);
}

TEST_F(Panels, BadControlsAreRefused) {
    LWPanelID p = create("x");
    LWPanControlDesc d;
    d.area = {LWT_AREA, 10, 10};
    char slider[] = "SliderControl";
    EXPECT_EQ(pan()->addControl(p, slider, &d, kNoLabel), nullptr);
    EXPECT_EQ(pan()->addControl(p, kText, &d, kNoLabel), nullptr) << "an area is no text";
    EXPECT_EQ(pan()->addControl(p, nullptr, &d, kNoLabel), nullptr);
    EXPECT_EQ(pan()->addControl(p, kCanvas, nullptr, kNoLabel), nullptr);
    for (auto [w, h] : {std::pair{0, 10}, {10, -1}, {100000, 10}}) {
        d.area = {LWT_AREA, w, h};
        EXPECT_EQ(pan()->addControl(p, kCanvas, &d, kNoLabel), nullptr) << w << " x " << h;
    }
    d.text = {LWT_TEXT, nullptr};
    EXPECT_EQ(pan()->addControl(p, kText, &d, kNoLabel), nullptr);
    const char* none[] = {nullptr};
    EXPECT_NE(text(p, none), nullptr) << "no lines is an empty text";
    pan()->destroy(p);
}

TEST_F(Panels, DestroyedAndUnknownPanelsAreHarmless) {
    LWPanelID p = create("gone");
    pan()->destroy(p);
    pan()->destroy(p);
    int w = -1;
    pan()->get(p, PAN_W, &w);
    EXPECT_EQ(w, -1);
    EXPECT_EQ(pan()->open(p, PANF_BLOCKING), 0);
    LWPanControlDesc d;
    d.area = {LWT_AREA, 10, 10};
    EXPECT_EQ(pan()->addControl(p, kCanvas, &d, kNoLabel), nullptr);
    EXPECT_EQ(pan()->nextControl(p, nullptr), nullptr);
    EXPECT_TRUE(host.panels().shown().empty());
    EXPECT_EQ(host.panels().created(), 1);

    host.panels().refuseCreate(true);
    EXPECT_EQ(create("refused"), nullptr);
}

TEST_F(Panels, ServiceUseIsCounted) {
    auto lookup = hostsim::Host::lookupFunction();
    EXPECT_EQ(lookup(LWPANELFUNCS_GLOBAL, GFUSE_ACQUIRE), host.panels().table());
    EXPECT_EQ(host.use(LWPANELFUNCS_GLOBAL).held(), 1);
    lookup(LWPANELFUNCS_GLOBAL, GFUSE_RELEASE);
    EXPECT_TRUE(host.use(LWPANELFUNCS_GLOBAL).balanced());
}

}  // namespace
