#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "animation.h"
#include "host.h"
#include "lwserver.h"
#include "lwvparm.h"
#include "lwxpanel.h"
#include "xpanels.h"

namespace {

using hostsim::ViewPanel;
using hostsim::XPanelEvent;

const LWXPanelFuncs* xp() {
    return static_cast<const LWXPanelFuncs*>(hostsim::Host::lookupFunction()(LWXPANELFUNCS_GLOBAL, GFUSE_TRANSIENT));
}

// ---------------------------------------------------------------- an instance

// A plug-in instance with one value per id; its get and set are the panel's.
struct Instance {
    std::map<unsigned int, int> ints;
    std::map<unsigned int, double> doubles;
    std::map<unsigned int, std::array<double, 3>> triples;
    std::map<unsigned int, std::string> texts;
    std::map<unsigned int, LWVParmID> parms;
    std::set<unsigned int> absent;             // get answers null
    std::map<unsigned int, int> codes;         // set's answer (default LWXPRC_DFLT)
    std::map<unsigned int, unsigned int> alsoSets;  // a set of A also changes the int B to A's value + 100
    std::map<unsigned int, int> adjust;  // an int set is stored with this added
    int setCalls = 0;
    std::vector<std::pair<unsigned int, void*>> setArgs;
    LWXPanelID destroyOnSet = nullptr;  // set destroys this panel

    static void* get(void* inst, unsigned int vid) {
        auto* self = static_cast<Instance*>(inst);
        if (self->absent.count(vid)) return nullptr;
        if (auto it = self->ints.find(vid); it != self->ints.end()) return &it->second;
        if (auto it = self->doubles.find(vid); it != self->doubles.end()) return &it->second;
        if (auto it = self->triples.find(vid); it != self->triples.end()) return it->second.data();
        if (auto it = self->texts.find(vid); it != self->texts.end()) return it->second.data();
        if (auto it = self->parms.find(vid); it != self->parms.end()) return it->second;
        return nullptr;
    }
    static LWXPRefreshCode set(void* inst, unsigned int vid, void* value) {
        auto* self = static_cast<Instance*>(inst);
        self->setCalls++;
        self->setArgs.push_back({vid, value});
        if (auto it = self->ints.find(vid); it != self->ints.end())
            it->second = *static_cast<int*>(value) + self->adjust[vid];
        else if (auto d = self->doubles.find(vid); d != self->doubles.end()) d->second = *static_cast<double*>(value);
        else if (auto t = self->triples.find(vid); t != self->triples.end()) {
            const auto* v = static_cast<double*>(value);
            t->second = {v[0], v[1], v[2]};
        } else if (auto s = self->texts.find(vid); s != self->texts.end()) s->second = static_cast<char*>(value);
        if (auto also = self->alsoSets.find(vid); also != self->alsoSets.end())
            self->ints[also->second] = self->ints[vid] + 100;
        if (self->destroyOnSet) xp()->destroy(self->destroyOnSet);
        auto code = self->codes.find(vid);
        return code == self->codes.end() ? LWXPRC_DFLT : static_cast<LWXPRefreshCode>(code->second);
    }
};

// ---------------------------------------------------------------- callbacks

struct Calls {
    std::vector<std::string> log;
    std::vector<XPanelEvent> changes;
    std::vector<void*> destroyed;
    std::vector<std::pair<int, int>> drawSizes;
    bool refreshInNotify = false;
};
Calls g_calls;

LWXPRefreshCode onChange(LWXPanelID panel, unsigned int cid, unsigned int vid, int event) {
    g_calls.changes.push_back({cid, vid, event});
    g_calls.log.push_back("change " + std::to_string(cid));
    if (g_calls.refreshInNotify) xp()->viewRefresh(panel);
    return LWXPRC_NONE;
}
void onButton(LWXPanelID panel, int cid) {
    g_calls.log.push_back("button " + std::to_string(cid) + (xp()->getData(panel, 0) ? " with data" : ""));
}
void onDestroy(void* data) { g_calls.destroyed.push_back(data); }
// Paints the control's data colour (three ints) over the whole area, with a
// white pixel at its far corner.
void onDraw(LWXPanelID panel, unsigned int cid, LWXPDrAreaID area, int w, int h) {
    g_calls.drawSizes.push_back({w, h});
    const auto* rgb = static_cast<const int*>(xp()->getData(panel, cid));
    if (rgb) xp()->drawf->drawRGBBox(area, rgb[0], rgb[1], rgb[2], 0, 0, w, h);
    xp()->drawf->drawRGBPixel(area, 255, 255, 255, w - 1, h - 1);
}

// Popup functions over a list of names given as the control's data.
int countNames(void* data) { return data ? int(static_cast<std::vector<std::string>*>(data)->size()) : 0; }
const char* nameAt(void* data, int i) {
    auto* names = static_cast<std::vector<std::string>*>(data);
    return names && i >= 0 && i < int(names->size()) ? (*names)[size_t(i)].c_str() : nullptr;
}

const char* kProjectionNames[] = {"Planar", "Cylindrical", "Spherical", "Cubic", "Front", "Spherical Section", nullptr};
const char* kSegmentNames[] = {"Left Edge", "Width", "Top Edge", "Height", nullptr};
const char* kImageNames[] = {"(none)", "(load image)", "pic.jp2", nullptr};

class XPanels : public ::testing::Test {
protected:
    void SetUp() override { g_calls = Calls{}; }
    ViewPanel& panelOf(LWXPanelID id) {
        ViewPanel* p = host.xpanels().find(id);
        EXPECT_NE(p, nullptr);
        return *p;
    }
    hostsim::Host host;
};

// ---------------------------------------------------------------- the table

TEST_F(XPanels, TheServiceIsOneTableOfDrawingAndPanelFunctions) {
    const LWXPanelFuncs* f = xp();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f, hostsim::xpanelFuncs());
    EXPECT_EQ(f->version, hostsim::kXPanelsVersion);
    EXPECT_EQ(f->drawf, hostsim::Canvas::drawFuncs());
    const void* draws[] = {reinterpret_cast<const void*>(f->drawf->drawPixel),
                           reinterpret_cast<const void*>(f->drawf->drawRGBPixel),
                           reinterpret_cast<const void*>(f->drawf->drawLine),
                           reinterpret_cast<const void*>(f->drawf->drawBox),
                           reinterpret_cast<const void*>(f->drawf->drawRGBBox),
                           reinterpret_cast<const void*>(f->drawf->drawBorder),
                           reinterpret_cast<const void*>(f->drawf->textWidth),
                           reinterpret_cast<const void*>(f->drawf->textHeight),
                           reinterpret_cast<const void*>(f->drawf->drawText)};
    for (const void* fn : draws) EXPECT_NE(fn, nullptr);
    const void* fns[] = {reinterpret_cast<const void*>(f->create),   reinterpret_cast<const void*>(f->destroy),
                         reinterpret_cast<const void*>(f->describe), reinterpret_cast<const void*>(f->hint),
                         reinterpret_cast<const void*>(f->getData),  reinterpret_cast<const void*>(f->setData),
                         reinterpret_cast<const void*>(f->formGet),  reinterpret_cast<const void*>(f->formSet),
                         reinterpret_cast<const void*>(f->viewInst), reinterpret_cast<const void*>(f->viewRefresh),
                         reinterpret_cast<const void*>(f->post),     reinterpret_cast<const void*>(f->open)};
    for (const void* fn : fns) EXPECT_NE(fn, nullptr);
}

// ---------------------------------------------------------------- creation

// Each control class with the data type the SDK pairs it with, and the kind
// of value it shows: i int, f number, v triple, t text, - none.
TEST_F(XPanels, EveryControlClassTakesItsOwnDataType) {
    struct Case {
        const char* cls;
        const char* datatype;
        char kind;
    };
    const Case cases[] = {
        {"string", "string", 't'},           {"integer", "integer", 'i'},         {"float", "float", 'f'},
        {"float3", "float3", 'v'},           {"float-env", "float-env", 'f'},     {"float3-env", "float3-env", 'v'},
        {"distance", "distance", 'f'},       {"distance3", "distance3", 'v'},     {"distance-env", "distance-env", 'f'},
        {"distance3-env", "distance3-env", 'v'}, {"percent", "percent", 'f'},     {"percent3", "percent3", 'v'},
        {"percent-env", "percent-env", 'f'}, {"percent3-env", "percent3-env", 'v'}, {"angle", "angle", 'f'},
        {"angle3", "angle3", 'v'},           {"angle-env", "angle-env", 'f'},     {"angle3-env", "angle3-env", 'v'},
        {"color", "color", 'v'},             {"color-env", "color-env", 'v'},     {"time", "time", 'f'},
        {"iBoolean", "integer", 'i'},        {"iSlider", "integer", 'i'},         {"iSliderText", "integer", 'i'},
        {"iChoice", "integer", 'i'},         {"axis", "axis", 'i'},               {"iPopChoice", "integer", 'i'},
        {"sPresetText", "string", 't'},      {"sFileName", "string", 't'},        {"sInfo", "string", 't'},
        {"vButton", nullptr, '-'},           {"dThumbnail", nullptr, '-'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cls);
        LWXPanelControl table[] = {{0x8001, "Label", c.cls}, {0x8002, "Other", c.cls}, {}};
        // 0x8002 names a data type of another class.
        LWXPanelDataDesc data[] = {{0x8001, "A", c.datatype ? c.datatype : "integer"},
                                   {0x8002, "B", c.kind == 'i' ? "float" : "integer"},
                                   {}};
        LWXPanelID id = xp()->create(LWXP_FORM, table);
        ASSERT_NE(id, nullptr);
        xp()->describe(id, data, nullptr, nullptr);
        ViewPanel& p = panelOf(id);
        EXPECT_EQ(p.controlClass(0x8001), c.cls);
        EXPECT_EQ(p.label(0x8001), "Label");
        EXPECT_EQ(p.described(0x8001), c.datatype != nullptr);
        EXPECT_FALSE(p.described(0x8002));
        if (c.datatype) {
            EXPECT_EQ(xp()->formGet(id, 0x8001), nullptr) << "a form's values start unset";
            int zero = 0;
            double zeros[3] = {0, 0, 0};
            char empty[] = "";
            void* value = c.kind == 'i' ? static_cast<void*>(&zero) : c.kind == 't' ? static_cast<void*>(empty) : zeros;
            xp()->formSet(id, 0x8001, value);
            EXPECT_NE(xp()->formGet(id, 0x8001), nullptr);
        }
        // A control without a value entry keeps a zero of its own.
        for (unsigned int cid : {0x8001u, 0x8002u}) {
            EXPECT_EQ(p.shownInt(cid).has_value(), c.kind == 'i') << cid;
            EXPECT_EQ(p.shownFloat(cid).has_value(), c.kind == 'f') << cid;
            EXPECT_EQ(p.shownVector(cid).has_value(), c.kind == 'v') << cid;
            if (c.kind == 't') {
                EXPECT_EQ(p.shownText(cid), "") << cid;
            }
        }
        xp()->destroy(id);
    }
}

TEST_F(XPanels, TablesThatAreNotValidMakeNoPanel) {
    LWXPanelControl unknown[] = {{0x8001, "A", "integer"}, {0x8002, "B", "slider"}, {}};
    LWXPanelControl transform[] = {{0x8001, "A", "iPopTransform"}, {}};
    LWXPanelControl command[] = {{0x8001, "A", "vPopCmd"}, {}};
    LWXPanelControl noClass[] = {{0x8001, "A", nullptr}, {}};
    LWXPanelControl twice[] = {{0x8001, "A", "integer"}, {0x8001, "B", "float"}, {}};
    LWXPanelControl reserved[] = {{0x8001, "A", "integer"}, {0x7FFF, "B", "integer"}, {}};
    LWXPanelControl lowest[] = {{0x8000, "A", "integer"}, {0xFFFFFFFF, "B", "integer"}, {}};
    LWXPanelControl good[] = {{0x8001, nullptr, "integer"}, {}};
    struct Case {
        const char* what;
        int type;
        LWXPanelControl* table;
        bool made;
    } cases[] = {
        {"unknown class", LWXP_VIEW, unknown, false},
        {"transform popup (not modelled)", LWXP_VIEW, transform, false},
        {"popup command (not modelled)", LWXP_VIEW, command, false},
        {"null class", LWXP_VIEW, noClass, false},
        {"repeated id", LWXP_VIEW, twice, false},
        {"id below 0x8000", LWXP_VIEW, reserved, false},
        {"ids 0x8000 and up", LWXP_VIEW, lowest, true},
        {"panel type 0", 0, good, false},
        {"panel type 3", 3, good, false},
        {"null label", LWXP_VIEW, good, true},
        {"null table", LWXP_VIEW, nullptr, true},
        {"form", LWXP_FORM, good, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int before = host.xpanels().created();
        LWXPanelID id = xp()->create(c.type, c.table);
        EXPECT_EQ(id != nullptr, c.made);
        EXPECT_EQ(host.xpanels().created(), before + (c.made ? 1 : 0));
        if (id) {
            EXPECT_EQ(host.xpanels().last()->id(), id);
            EXPECT_EQ(host.xpanels().last()->type(), c.type);
        }
    }
    EXPECT_EQ(host.xpanels().panels().back()->label(0x8001), "");
    EXPECT_TRUE(host.xpanels().panels()[2]->members().empty()) << "the null table made an empty panel";

    host.xpanels().refuseCreate(true);
    EXPECT_EQ(xp()->create(LWXP_VIEW, good), nullptr);
    host.xpanels().refuseCreate(false);
    EXPECT_NE(xp()->create(LWXP_VIEW, good), nullptr);
}

// ---------------------------------------------------------------- layout

// A panel laid out like the texture panel: a popup switches two stacks, a
// second popup switches a stack inside one of them, tabs, enable rules, a
// deletion, a changed order.
class Layout : public XPanels {
protected:
    enum : unsigned int {
        kProjection = 0x8010, kFixed, kTime, kSegments, kLeft, kWidth, kTop, kHeight, kCamera,
        kImage = 0x8020, kInfo, kPreview, kBrightness, kBlend,
        kAxis = 0x8030, kGone,
        kFrontGroup = 0x8100, kSegmentStack, kStack1, kStack2, kProjectionGroup,
        kImageTab = 0x8110, kEditingTab, kTabs,
    };
    void SetUp() override {
        XPanels::SetUp();
        static LWXPanelControl controls[] = {
            {kImage, "Image", "iPopChoice"},     {kInfo, "Image Information...", "vButton"},
            {kPreview, "Preview", "dThumbnail"}, {kBrightness, "Brightness", "float"},
            {kBlend, "Blending", "iPopChoice"},  {kProjection, "Projection", "iPopChoice"},
            {kFixed, "Fixed Projection", "iBoolean"}, {kTime, "Time", "float"},
            {kSegments, "Segment Angles", "iPopChoice"}, {kLeft, "Left Edge", "angle-env"},
            {kWidth, "Width", "angle-env"},      {kTop, "Top Edge", "angle-env"},
            {kHeight, "Height", "angle-env"},    {kCamera, "Reference Camera", "iPopChoice"},
            {kAxis, "Texture Axis", "axis"},     {kGone, "Gone", "integer"},
            {}};
        // Maps are indexed by the popup's value and have one entry per item.
        static const int byProjection[] = {-1, -1, -1, -1, 0, 1};
        static const int imageChosen[] = {0, 0, 1};
        LWXPanelHint hints[] = {
            XpLABEL(kFixed, "Fixed"),
            XpSTRLIST(kProjection, kProjectionNames),
            XpSTRLIST(kSegments, kSegmentNames),
            XpSTRLIST(kImage, kImageNames),
            XpGROUP_(kFrontGroup), XpH(kFixed), XpH(kTime), XpEND,
            XpSTACK_(kSegmentStack, kSegments), XpH(kLeft), XpH(kWidth), XpH(kTop), XpH(kHeight), XpEND,
            XpSTACK_MAP_(kStack1, kProjection, byProjection), XpH(kFrontGroup), XpH(kSegments), XpEND,
            XpSTACK_MAP_(kStack2, kProjection, byProjection), XpH(kCamera), XpH(kSegmentStack), XpEND,
            XpGROUP_(kProjectionGroup), XpH(kStack1), XpH(kStack2), XpEND,
            XpGROUP_(kImageTab), XpH(kImage), XpH(kInfo), XpH(kPreview), XpEND,
            XpGROUP_(kEditingTab), XpH(kBrightness), XpEND,
            XpLABEL(kImageTab, "Image"),
            XpLABEL(kEditingTab, "Editing"),
            XpTABS_(kTabs), XpH(kImageTab), XpH(kEditingTab), XpEND,
            XpENABLE_(kImage), XpH(kInfo), XpEND,
            XpENABLE_MAP_(kImage, imageChosen), XpH(kEditingTab), XpEND,
            XpDELETE(kGone),
            XpORDER_(0), XpH(kProjection), XpH(kProjectionGroup), XpH(kTabs), XpEND,
            XpLEFT(kAxis), XpNARROW(kAxis), XpDIVADD(kTabs),
            XpEND};
        id = xp()->create(LWXP_VIEW, controls);
        ASSERT_NE(id, nullptr);
        xp()->hint(id, 0, hints);
        p = &panelOf(id);
    }
    LWXPanelID id = nullptr;
    ViewPanel* p = nullptr;
};

TEST_F(Layout, HintsBuildTheTreeInTheAskedOrder) {
    EXPECT_EQ(p->members(), (std::vector<unsigned int>{kProjection, kProjectionGroup, kTabs, kBlend, kAxis}));
    EXPECT_EQ(p->members(kProjectionGroup), (std::vector<unsigned int>{kStack1, kStack2}));
    EXPECT_EQ(p->members(kStack1), (std::vector<unsigned int>{kFrontGroup, kSegments}));
    EXPECT_EQ(p->members(kStack2), (std::vector<unsigned int>{kCamera, kSegmentStack}));
    EXPECT_EQ(p->members(kSegmentStack), (std::vector<unsigned int>{kLeft, kWidth, kTop, kHeight}));
    EXPECT_EQ(p->members(kTabs), (std::vector<unsigned int>{kImageTab, kEditingTab}));
    EXPECT_EQ(p->members(kImageTab), (std::vector<unsigned int>{kImage, kInfo, kPreview}));
    EXPECT_TRUE(p->notes().empty()) << p->notes().front();

    struct Case {
        unsigned int id;
        std::string label, tab;
    } cases[] = {
        {kFixed, "Fixed", ""},          {kTime, "Time", ""},        {kImageTab, "Image", "Image"},
        {kImage, "Image", "Image"},     {kPreview, "Preview", "Image"}, {kBrightness, "Brightness", "Editing"},
        {kEditingTab, "Editing", "Editing"}, {kProjection, "Projection", ""}, {kTabs, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(p->label(c.id), c.label);
        EXPECT_EQ(p->tabOf(c.id), c.tab);
    }
    EXPECT_FALSE(p->exists(kGone));
    EXPECT_FALSE(p->visible(kGone));
    EXPECT_FALSE(p->enabled(kGone));
    EXPECT_EQ(p->shownInt(kGone), std::nullopt);
    EXPECT_EQ(p->label(kGone), "");
}

TEST_F(Layout, StacksShowTheMemberThePopupsSelect) {
    const std::vector<unsigned int> stacked = {kFrontGroup, kFixed, kTime, kSegments, kCamera,
                                                kSegmentStack, kLeft, kWidth, kTop, kHeight};
    struct Case {
        int projection, segment;
        std::set<unsigned int> shown;
    } cases[] = {
        {0, 0, {}},
        {3, 2, {}},
        {4, 0, {kFrontGroup, kFixed, kTime, kCamera}},
        {5, 0, {kSegments, kSegmentStack, kLeft}},
        {5, 1, {kSegments, kSegmentStack, kWidth}},
        {5, 3, {kSegments, kSegmentStack, kHeight}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("projection " + std::to_string(c.projection) + ", segment " + std::to_string(c.segment));
        ASSERT_TRUE(p->setInt(kProjection, c.projection));
        if (c.projection == 5) {
            ASSERT_TRUE(p->setInt(kSegments, c.segment));
        }
        for (unsigned int s : stacked) EXPECT_EQ(p->visible(s), c.shown.count(s) == 1) << std::hex << s;
        // Nothing outside the stacks is hidden, also not in the tab behind.
        for (unsigned int s : {kProjection, kProjectionGroup, kStack1, kStack2, kImage, kBrightness, kAxis})
            EXPECT_TRUE(p->visible(s)) << std::hex << s;
    }
    // A hidden control cannot be edited.
    ASSERT_TRUE(p->setInt(kProjection, 4));
    EXPECT_FALSE(p->setInt(kSegments, 1));
    EXPECT_EQ(p->shownInt(kSegments), 3) << "keeps its value while hidden";
}

TEST_F(Layout, EnableRulesFollowTheImagePopup) {
    struct Case {
        int image;
        bool info, editingTab, brightness;
    } cases[] = {{0, false, false, false}, {1, true, false, false}, {2, true, true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.image);
        ASSERT_TRUE(p->setInt(kImage, c.image));
        EXPECT_EQ(p->enabled(kInfo), c.info);
        EXPECT_EQ(p->enabled(kEditingTab), c.editingTab);
        EXPECT_EQ(p->enabled(kBrightness), c.brightness) << "a rule over a group covers its members";
        EXPECT_TRUE(p->enabled(kImage));
        EXPECT_EQ(p->press(kInfo), c.info) << "a disabled button cannot be pressed";
        EXPECT_EQ(p->setFloat(kBrightness, 0.5), c.brightness);
    }
}

TEST_F(Layout, TheDumpShowsTheTreeWithValuesAndStates) {
    ASSERT_TRUE(p->setInt(kProjection, 5));
    ASSERT_TRUE(p->setInt(kSegments, 2));
    const std::string dump = p->dump();
    const char* expected[] = {
        "view panel \"\"\n",
        "\n  control 0x8010 \"Projection\" iPopChoice = 5 \"Spherical Section\"\n",
        "\n  group 0x8104\n    stack 0x8102 on 0x8010, showing 0x8013\n",
        "      group 0x8100 [hidden]\n        control 0x8011 \"Fixed\" iBoolean = 0 [hidden]\n",
        "      stack 0x8101 on 0x8013, showing 0x8016\n",
        "        control 0x8014 \"Left Edge\" angle-env = 0 [hidden]\n",
        "        control 0x8016 \"Top Edge\" angle-env = 0\n",
        "\n    tab 0x8110 \"Image\"\n      control 0x8020 \"Image\" iPopChoice = 0 \"(none)\"\n",
        "      control 0x8021 \"Image Information...\" vButton [disabled]\n",
        "    tab 0x8111 \"Editing\" [disabled]\n",
        "  control 0x8030 \"Texture Axis\" axis = 0 \"X\" {left, narrow}\n",
        "  tabs 0x8112 {divider after}\n",
    };
    for (const char* line : expected) EXPECT_NE(dump.find(line), std::string::npos) << line << "\nin\n" << dump;
    EXPECT_EQ(dump.find("0x8031"), std::string::npos) << "deleted controls are gone";
}

TEST_F(Layout, HintsThatNameMissingOrWrongIdsAreSkippedAndNoted) {
    const auto notesBefore = p->notes().size();
    static const int showFirst[] = {0, 0, 0, 0, 0, 0};
    LWXPanelHint hints[] = {
        XpLABEL(0x8999, "nobody"),
        XpLABEL(kGone, "deleted"),
        XpGROUP_(0x8200), XpH(kGone), XpH(0x8999), XpH(kAxis), XpEND,  // only the axis joins
        XpGROUP_(kImage), XpH(kAxis), XpEND,                           // a control's id is no group id
        XpGROUP_(0x7000), XpH(kAxis), XpEND,                           // an id the host keeps
        XpGROUP_(kTabs), XpH(kBlend), XpEND,                           // a tab group is no plain group
        XpGROUP_(0x8202), XpH(kProjectionGroup), XpEND,
        XpGROUP_(kProjectionGroup), XpH(0x8202), XpEND,                // would hold itself
        XpSTACK_MAP_(0x8203, kGone, showFirst), XpH(kBlend), XpEND,    // deleted controller
        XpSTACK_(0x8204, kTime), XpEND,                                // a controller without an integer
        XpENABLE_(0x8998), XpH(kTime), XpH(0x8997), XpEND,             // unknown controller disables
        XpSTRLIST(kInfo, kImageNames),                                 // not a popup
        XpPOPFUNCS(kGone, countNames, nameAt),
        XpBUTNOTIFY(kImage, onButton),
        XpDRAWCBFUNC(kInfo, onDraw),
        XpDELETE(0x8999),
        XpORDER_(0x8999), XpH(kAxis), XpEND,
        XpORDER_(0), XpH(0x8200), XpH(0x8999), XpEND,
        XpLEFT(kGone),
        XpEND};
    xp()->hint(id, 0, hints);
    std::string all;
    for (const std::string& n : p->notes()) all += n + "\n";
    EXPECT_EQ(p->notes().size(), notesBefore + 20) << all;
    EXPECT_EQ(p->members(0x8200), (std::vector<unsigned int>{kAxis}));
    EXPECT_EQ(p->members().front(), 0x8200u) << "ordered first";
    EXPECT_EQ(p->members(0x8202), (std::vector<unsigned int>{kProjectionGroup}));
    EXPECT_FALSE(p->exists(0x7000));
    EXPECT_FALSE(p->visible(kBlend)) << "a stack on a deleted control shows nothing";
    EXPECT_FALSE(p->enabled(kTime));
    EXPECT_TRUE(p->popupItems(kInfo).empty());
    EXPECT_EQ(p->label(kImage), "Image");

    // An unknown tag ends the array; what came before it holds.
    LWXPanelHint odd[] = {XpLABEL(kAxis, "Axis"), XpH(0x12345), XpLABEL(kBlend, "never"), XpEND};
    xp()->hint(id, 0, odd);
    EXPECT_EQ(p->label(kAxis), "Axis");
    EXPECT_EQ(p->label(kBlend), "Blending");
    xp()->hint(id, 0, nullptr);
    xp()->hint(id, 0x8999, odd);  // hints for a control the panel lacks
    EXPECT_EQ(p->label(kAxis), "Axis");
}

TEST_F(Layout, ControlHintsNameTheirControlWithIdZero) {
    LWXPanelHint hints[] = {XpLABEL(0, "Blend Mode"), XpSTRLIST(0, kImageNames), XpEND};
    xp()->hint(id, kBlend, hints);
    EXPECT_EQ(p->label(kBlend), "Blend Mode");
    EXPECT_EQ(p->popupItems(kBlend).size(), 3u);
    LWXPanelHint title[] = {XpLABEL(0, "Korvalith Pro"), XpEND};
    xp()->hint(id, 0, title);
    EXPECT_EQ(p->title(), "Korvalith Pro");
    // Deleting a group deletes all it holds.
    LWXPanelHint del[] = {XpDELETE(kProjectionGroup), XpEND};
    xp()->hint(id, 0, del);
    for (unsigned int gone : {kProjectionGroup, kStack1, kFrontGroup, kFixed, kSegmentStack, kHeight})
        EXPECT_FALSE(p->exists(gone)) << std::hex << gone;
    EXPECT_TRUE(p->exists(kProjection));
}

// ---------------------------------------------------------------- hint encoding, maps, open panels

class Hints : public XPanels {
protected:
    enum : unsigned int {
        kPopup = 0x9001, kBool, kGain, kButton, kCount, kThumb, kFile, kAxis,
        kGroup = 0xA000, kStack, kAlias,
    };
    void SetUp() override {
        XPanels::SetUp();
        static LWXPanelControl controls[] = {
            {kPopup, "Mode", "iPopChoice"}, {kBool, "On", "iBoolean"},      {kGain, "Gain", "float"},
            {kButton, "Go", "vButton"},     {kCount, "Count", "integer"},   {kThumb, "Preview", "dThumbnail"},
            {kFile, "File", "sFileName"},   {kAxis, "Axis", "axis"},        {}};
        id = xp()->create(LWXP_VIEW, controls);
        ASSERT_NE(id, nullptr);
        p = &panelOf(id);
    }
    LWXPanelID id = nullptr;
    ViewPanel* p = nullptr;
};

const char* const kABC[] = {"A", "B", "C", nullptr};
const char* const kGainText = "Gain!";

// The numbers and shapes of the SDK: tag, fixed arguments (some of them a
// trailing 0), then an id list ended by 0 for the tags that take one.
TEST_F(Hints, TheHostReadsTheSdksEncoding) {
    static const int byMode[] = {-1, 0, 1};
    LWXPanelHint raw[] = {
        XpH(0x3D000B03), XpH(kGain), XpH(kGainText), XpH(0),                              // label
        XpH(0x3D014503), XpH(kPopup), XpH(kABC), XpH(0),                                  // string list
        XpH(0x3D01FE81), XpH(kGroup), XpH(kGain), XpH(0),                                 // group
        XpH(0x3D020983), XpH(kStack), XpH(kPopup), XpH(byMode), XpH(kGroup), XpH(kButton), XpH(0),  // stack
        XpH(0x3D01F984), XpH(kBool), XpH(0), XpH(0), XpH(0), XpH(kGain), XpH(0),          // enable
        XpH(0x3D000E01), XpH(kCount),                                                     // delete
        XpH(0)};
    LWXPanelHint macros[] = {XpLABEL(kGain, kGainText),
                             XpSTRLIST(kPopup, kABC),
                             XpGROUP_(kGroup), XpH(kGain), XpEND,
                             XpSTACK_MAP_(kStack, kPopup, byMode), XpH(kGroup), XpH(kButton), XpEND,
                             XpENABLE_(kBool), XpH(kGain), XpEND,
                             XpDELETE(kCount),
                             XpEND};
    ASSERT_EQ(sizeof raw, sizeof macros);
    for (size_t i = 0; i < sizeof raw / sizeof raw[0]; ++i) EXPECT_EQ(raw[i], macros[i]) << "entry " << i;

    xp()->hint(id, 0, raw);
    EXPECT_TRUE(p->notes().empty()) << p->notes().front();
    EXPECT_EQ(p->label(kGain), "Gain!");
    EXPECT_EQ(p->popupItems(kPopup), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(p->members(kStack), (std::vector<unsigned int>{kGroup, kButton}));
    EXPECT_FALSE(p->exists(kCount));
    struct Case {
        int mode;
        bool group, button;
    } cases[] = {{0, false, false}, {1, true, false}, {2, false, true}};
    for (const Case& c : cases) {
        ASSERT_TRUE(p->setInt(kPopup, c.mode));
        EXPECT_EQ(p->visible(kGain), c.group) << c.mode;
        EXPECT_EQ(p->visible(kButton), c.button) << c.mode;
    }
    EXPECT_FALSE(p->enabled(kGain));
    ASSERT_TRUE(p->setInt(kBool, 1));
    EXPECT_TRUE(p->enabled(kGain));
}

// Every tag this host does not model is read in its full shape: the label
// that follows it still lands, and one note says what was read past.
TEST_F(Hints, TagsThisHostDoesNotModelAreReadPastInTheirShape) {
    static const int ints[] = {10, 20, 30};
    struct Case {
        const char* what;
        std::vector<LWXPanelHint> hints;
    };
    const Case cases[] = {
        {"class", {XpCLASS(kGain, "distance")}},
        {"add", {XpADD(0xA010, "float", 0xA010)}},
        {"focus", {XpFOCUS(kGain)}},
        {"restore one", {XpRESTORE(kGain)}},
        {"restore list", {XpRESTORE_(), XpH(kGain), XpH(kBool), XpEND}},
        {"restore on", {XpRESTORE_ON}},
        {"restore off", {XpRESTORE_OFF}},
        {"value", {XpVALUE(kGain, kGain)}},
        {"link list", {XpLINK_(kGain), XpH(kBool), XpEND}},
        {"link", {XpLINK(kGain, kBool)}},
        {"immediate update", {XpIMMUPD(kGain, kBool)}},
        {"immediate update list", {XpIMMUPD_(kGain), XpH(kBool), XpEND}},
        {"track", {XpTRACK(kGain, 1)}},
        {"orient", {XpORIENT(kGain, 1)}},
        {"min", {XpMIN(kCount, 0)}},
        {"max", {XpMAX(kCount, 10)}},
        {"step", {XpSTEP(kCount, 2)}},
        {"range", {XpRANGE(kCount, 0, 10, 1)}},
        {"hard min max", {XpHARDMINMAX(kCount, 1, 1)}},
        {"clear min max", {XpCLRMINMAX(kCount, 1, 0)}},
        {"sensitivity", {XpSENS(kGain, 4)}},
        {"popup command", {XpPOPCMDFUNC(kPopup, 0)}},
        {"int transform", {XpINTXFORM(kPopup, 3, ints)}},
        {"popup transform", {XpPOPXFORM(kPopup, 3, ints)}},
        {"zoom", {XpZOOMCBFUNC(kThumb, 0, 1)}},
        {"text transform", {XpTEXTXFORMFUNC(kGain, 0)}},
        {"vector labels", {XpVECLABEL(kGain, kABC)}},
        {"front tab", {XpCTRLFRONT(kGain)}},
        {"thumbnail options", {XpCTRLCFG(kThumb, THUM_MED | THUM_SQ)}},
        {"file request", {XpXREQCFG(kFile, LWXPREQ_LOAD, "Load", "Images")}},
        {"alias", {XpALIAS_(kAlias), XpH(kGain), XpH(kBool), XpEND}},
        {"unalias", {XpUNALIAS_(kAlias), XpEND}},
        {"nest", {XpNEST(kGain)}},
        {"border", {XpBORDER(LWXPBDR_UP)}},
        {"dialog type", {XpDLOGTYPE(LWXPDLG_YESNO)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<LWXPanelHint> hints = c.hints;
        for (LWXPanelHint h : {XpLABEL(kGain, c.what), XpEND}) hints.push_back(h);
        const size_t notes = p->notes().size();
        xp()->hint(id, 0, hints.data());
        EXPECT_EQ(p->label(kGain), c.what);
        ASSERT_EQ(p->notes().size(), notes + 1);
        EXPECT_NE(p->notes().back().find("does not model"), std::string::npos) << p->notes().back();
    }
}

TEST_F(Hints, CallsApplyAnotherArrayToThePanelOrAControl) {
    static LWXPanelHint named[] = {XpLABEL(0, "Called"), XpEND};
    LWXPanelHint hints[] = {XpCALL(named), XpSUBCALL(kGain, named), XpEND};
    xp()->hint(id, 0, hints);
    EXPECT_EQ(p->title(), "Called");
    EXPECT_EQ(p->label(kGain), "Called");
    // An array that calls itself stops at a depth limit.
    static LWXPanelHint loop[] = {XPTAG_CALL, XPTAG_NULL, nullptr, XpEND};
    loop[2] = loop;
    xp()->hint(id, 0, loop);
    ASSERT_FALSE(p->notes().empty());
    EXPECT_NE(p->notes().back().find("nest deeper"), std::string::npos);
}

// Maps hold one on/off flag (enable) or member position (stack) per value
// the control can take, from 0; no end marker.
TEST_F(Hints, MapsAreIndexedByTheControlsValue) {
    enum : unsigned int { kA = 0xA100, kB, kC, kD };
    static const int popupOdd[] = {1, 0, 1};
    static const int whenOff[] = {1, 0};
    static const int onlyZ[] = {0, 0, 1};
    static const int countMap[] = {1, 1, 1, 1};
    LWXPanelHint hints[] = {XpSTRLIST(kPopup, kABC),
                            XpGROUP_(kA), XpH(kGain), XpEND,
                            XpGROUP_(kB), XpH(kButton), XpEND,
                            XpGROUP_(kC), XpH(kFile), XpEND,
                            XpGROUP_(kD), XpH(kThumb), XpEND,
                            XpENABLE_MAP_(kPopup, popupOdd), XpH(kA), XpEND,
                            XpENABLE_MAP_(kBool, whenOff), XpH(kB), XpEND,
                            XpENABLE_MAP_(kAxis, onlyZ), XpH(kC), XpEND,
                            XpENABLE_MAP_(kCount, countMap), XpH(kD), XpEND,
                            XpEND};
    xp()->hint(id, 0, hints);
    struct Case {
        int popup, boolean, axis;
        bool a, b, c;
    } cases[] = {
        {0, 0, 0, true, true, false},
        {1, 1, 1, false, false, false},
        {2, 0, 2, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.popup);
        ASSERT_TRUE(p->setInt(kPopup, c.popup));
        ASSERT_TRUE(p->setInt(kBool, c.boolean));
        ASSERT_TRUE(p->setInt(kAxis, c.axis));
        EXPECT_EQ(p->enabled(kGain), c.a);
        EXPECT_EQ(p->enabled(kButton), c.b);
        EXPECT_EQ(p->enabled(kFile), c.c);
    }
    // A plain integer has no known range, so no map entry is read for it.
    EXPECT_EQ(p->shownInt(kCount), 0);
    EXPECT_FALSE(p->enabled(kThumb));
}

TEST_F(Hints, EnableRulesCarryTheirMessage) {
    LWXPanelHint hints[] = {XpENABLEMSG_(kBool, "Turn it on first."), XpH(kGain), XpEND, XpEND};
    xp()->hint(id, 0, hints);
    EXPECT_FALSE(p->enabled(kGain));
    EXPECT_EQ(p->disabledMessage(kGain), "Turn it on first.");
    EXPECT_EQ(p->disabledMessage(kButton), "");
    ASSERT_TRUE(p->setInt(kBool, 1));
    EXPECT_TRUE(p->enabled(kGain));
    EXPECT_EQ(p->disabledMessage(kGain), "");
}

TEST_F(Hints, DividersGoAfterAnIdOrAtThePanelsEnds) {
    LWXPanelHint hints[] = {XpDIVADD(0), XpDIVADD(-1), XpDIVADD_(kGain), XpH(kBool), XpEND, XpDIVREM(kBool), XpEND};
    xp()->hint(id, 0, hints);
    const std::string dump = p->dump();
    EXPECT_NE(dump.find("{divider at the top}"), std::string::npos) << dump;
    EXPECT_NE(dump.find("{divider at the bottom}"), std::string::npos) << dump;
    EXPECT_NE(dump.find("\"Gain\" float = 0 {divider after}"), std::string::npos) << dump;
    EXPECT_NE(dump.find("\"On\" iBoolean = 0\n"), std::string::npos) << "removed again\n" << dump;
}

// Hints are for closed panels; a panel is open from open until the user
// closes it, and post returns with the panel closed again.
TEST_F(Hints, AnOpenPanelTakesNoHints) {
    LWXPanelHint first[] = {XpLABEL(kGain, "First"), XpEND};
    LWXPanelHint second[] = {XpLABEL(kGain, "Second"), XpEND};
    EXPECT_FALSE(p->isOpen());
    ASSERT_EQ(xp()->open(id), 1);
    EXPECT_TRUE(p->isOpen());
    xp()->hint(id, 0, first);
    EXPECT_EQ(p->label(kGain), "Gain");
    ASSERT_EQ(p->notes().size(), 1u);
    EXPECT_NE(p->notes()[0].find("open"), std::string::npos);
    p->close();
    xp()->hint(id, 0, first);
    EXPECT_EQ(p->label(kGain), "First");

    host.xpanels().queuePostAnswer(0);
    host.xpanels().queuePostAnswer(3);
    EXPECT_EQ(xp()->post(id), 0);
    EXPECT_FALSE(p->isOpen());
    EXPECT_EQ(xp()->post(id), 3);
    EXPECT_EQ(xp()->post(id), 1) << "nothing queued: OK";
    xp()->hint(id, 0, second);
    EXPECT_EQ(p->label(kGain), "Second");
    EXPECT_EQ(p->opened(), 4);
}

// ---------------------------------------------------------------- values

class Values : public XPanels {
protected:
    enum : unsigned int { kInt = 0x8040, kBool, kPopup, kFloat, kDistance, kColour, kText, kLocal, kNoValue, kEnv, kEnv3 };
    void SetUp() override {
        XPanels::SetUp();
        static LWXPanelControl controls[] = {
            {kInt, "Count", "integer"},        {kBool, "Invert", "iBoolean"},   {kPopup, "Mode", "iPopChoice"},
            {kFloat, "Gain", "float"},         {kDistance, "Size", "distance"}, {kColour, "Tint", "color"},
            {kText, "Name", "string"},         {kLocal, "Local", "iPopChoice"}, {kNoValue, "Maybe", "iBoolean"},
            {kEnv, "Strength", "percent-env"}, {kEnv3, "Position", "distance3-env"},
            {}};
        static LWXPanelDataDesc data[] = {
            {kInt, "Count", "integer"},     {kBool, "Invert", "integer"}, {kPopup, "Mode", "integer"},
            {kFloat, "Gain", "float"},      {kDistance, "Size", "distance"}, {kColour, "Tint", "color"},
            {kText, "Name", "string"},      {kNoValue, "Maybe", "integer"}, {kEnv, "Strength", "percent-env"},
            {kEnv3, "Position", "distance3-env"},
            {}};
        inst.ints = {{kInt, 7}, {kBool, 1}, {kPopup, 2}, {kNoValue, 0}};
        inst.doubles = {{kFloat, 0.5}, {kDistance, 2.25}};
        inst.triples = {{kColour, {0.1, 0.2, 0.3}}};
        inst.texts = {{kText, "first"}};
        inst.absent = {kNoValue};
        id = xp()->create(LWXP_VIEW, controls);
        ASSERT_NE(id, nullptr);
        xp()->describe(id, data, Instance::get, Instance::set);
        LWXPanelHint hints[] = {XpSTRLIST(kPopup, kImageNames), XpSTRLIST(kLocal, kSegmentNames), XpCHGNOTIFY(onChange), XpEND};
        xp()->hint(id, 0, hints);
        p = &panelOf(id);
    }
    Instance inst;
    LWXPanelID id = nullptr;
    ViewPanel* p = nullptr;
};

TEST_F(Values, AViewPanelReadsTheViewedInstance) {
    EXPECT_EQ(p->shownInt(kInt), std::nullopt) << "no instance yet";
    EXPECT_FALSE(p->enabled(kInt));
    EXPECT_FALSE(p->setInt(kInt, 3));
    xp()->viewInst(id, &inst);
    EXPECT_EQ(p->instance(), &inst);
    EXPECT_EQ(p->shownInt(kInt), 7);
    EXPECT_EQ(p->shownInt(kBool), 1);
    EXPECT_EQ(p->shownText(kPopup), "pic.jp2");
    EXPECT_EQ(p->shownFloat(kFloat), 0.5);
    EXPECT_EQ(p->shownFloat(kDistance), 2.25);
    EXPECT_EQ(p->shownVector(kColour), (std::array<double, 3>{0.1, 0.2, 0.3}));
    EXPECT_EQ(p->shownText(kText), "first");
    EXPECT_EQ(p->shownInt(kLocal), 0) << "a control without a data entry keeps its own value";
    EXPECT_FALSE(p->bound(kLocal));
    EXPECT_TRUE(p->bound(kInt));
    // get answering null: no value, disabled, not editable.
    EXPECT_EQ(p->shownInt(kNoValue), std::nullopt);
    EXPECT_FALSE(p->enabled(kNoValue));
    EXPECT_FALSE(p->setInt(kNoValue, 1));
    inst.absent.clear();
    xp()->viewRefresh(id);
    EXPECT_EQ(p->shownInt(kNoValue), 0);
    EXPECT_TRUE(p->enabled(kNoValue));
}

TEST_F(Values, EditsReachTheInstanceAsTheirDataType) {
    xp()->viewInst(id, &inst);
    struct Case {
        const char* what;
        unsigned int cid;
        std::function<bool()> edit;
        std::function<bool()> arrived;  // what set received, seen in the instance
        std::function<bool()> shown;
    };
    const Case cases[] = {
        {"integer", kInt, [&] { return p->setInt(kInt, -12); }, [&] { return inst.ints[kInt] == -12; },
         [&] { return p->shownInt(kInt) == -12; }},
        {"boolean takes 0 or 1", kBool, [&] { return p->setInt(kBool, 0) && p->setInt(kBool, 5); },
         [&] { return inst.ints[kBool] == 1; }, [&] { return p->shownInt(kBool) == 1; }},
        {"popup", kPopup, [&] { return p->setInt(kPopup, 1); }, [&] { return inst.ints[kPopup] == 1; },
         [&] { return p->shownText(kPopup) == "(load image)"; }},
        {"float", kFloat, [&] { return p->setFloat(kFloat, -3.5); }, [&] { return inst.doubles[kFloat] == -3.5; },
         [&] { return p->shownFloat(kFloat) == -3.5; }},
        {"distance", kDistance, [&] { return p->setFloat(kDistance, 1e-3); },
         [&] { return inst.doubles[kDistance] == 1e-3; }, [&] { return p->shownFloat(kDistance) == 1e-3; }},
        {"colour triple", kColour, [&] { return p->setVector(kColour, 1, 0.5, 0); },
         [&] { return inst.triples[kColour] == std::array<double, 3>{1, 0.5, 0}; },
         [&] { return p->shownVector(kColour) == std::array<double, 3>{1, 0.5, 0}; }},
        {"text", kText, [&] { return p->setText(kText, "second"); }, [&] { return inst.texts[kText] == "second"; },
         [&] { return p->shownText(kText) == "second"; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int calls = inst.setCalls;
        ASSERT_TRUE(c.edit());
        EXPECT_GT(inst.setCalls, calls);
        EXPECT_EQ(inst.setArgs.back().first, c.cid);
        EXPECT_TRUE(c.arrived());
        EXPECT_TRUE(c.shown());
        EXPECT_EQ(p->lastRefreshCode(), LWXPRC_DFLT);
        EXPECT_EQ(p->events().back(), (XPanelEvent{c.cid, c.cid, LWXPEVENT_VALUE}));
    }
}

TEST_F(Values, EditsAUserCouldNotMakeAreRefused) {
    xp()->viewInst(id, &inst);
    struct Case {
        const char* what;
        std::function<bool()> edit;
    } cases[] = {
        {"popup position past the items", [&] { return p->setInt(kPopup, 3); }},
        {"negative popup position", [&] { return p->setInt(kPopup, -1); }},
        {"float into an integer", [&] { return p->setFloat(kInt, 1.0); }},
        {"int into a float", [&] { return p->setInt(kFloat, 1); }},
        {"vector into a float", [&] { return p->setVector(kFloat, 1, 2, 3); }},
        {"text into a popup", [&] { return p->setText(kPopup, "x"); }},
        {"pressing a popup", [&] { return p->press(kPopup); }},
        {"unknown control", [&] { return p->setInt(0x8999, 1); }},
        {"control id 0", [&] { return p->setInt(0, 1); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(c.edit());
    }
    EXPECT_EQ(inst.setCalls, 0);
    EXPECT_TRUE(p->events().empty());
    EXPECT_EQ(p->lastRefreshCode(), -1);
}

TEST_F(Values, TheRefreshCodeDecidesWhatIsReadAgain) {
    // The instance stores kInt + 1000 and moves kPopup to its new kInt + 100:
    // a re-read shows what the instance kept, otherwise the user's value stays.
    inst.adjust[kInt] = 1000;
    inst.alsoSets[kInt] = kPopup;
    xp()->viewInst(id, &inst);
    struct Case {
        int code;
        int fullRefreshes, controlRefreshes;
        int edited, other;
    } cases[] = {
        {LWXPRC_NONE, 0, 0, 1, 0},
        {LWXPRC_DFLT, 0, 1, 1001, 0},
        {LWXPRC_DRAW, 0, 0, 1, 0},
        {LWXPRC_FULL, 1, 0, 1001, 1101},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        inst.codes[kInt] = c.code;
        inst.ints[kPopup] = 0;
        xp()->viewRefresh(id);
        const int full = p->fullRefreshes(), single = p->controlRefreshes();
        ASSERT_TRUE(p->setInt(kInt, 1));
        EXPECT_EQ(p->lastRefreshCode(), c.code);
        EXPECT_EQ(p->fullRefreshes() - full, c.fullRefreshes);
        EXPECT_EQ(p->controlRefreshes() - single, c.controlRefreshes);
        EXPECT_EQ(p->shownInt(kInt), c.edited);
        EXPECT_EQ(p->shownInt(kPopup), c.other);
        xp()->viewRefresh(id);
        EXPECT_EQ(p->shownInt(kInt), 1001) << "viewRefresh reads everything";
        EXPECT_EQ(p->shownInt(kPopup), 1101);
    }
}

TEST_F(Values, DescribingAgainReplacesTheDescription) {
    xp()->viewInst(id, &inst);
    static LWXPanelDataDesc data[] = {{kPopup, "Mode", "integer"}, {}};
    const int full = p->fullRefreshes();
    xp()->describe(id, data, Instance::get, Instance::set);
    EXPECT_EQ(p->fullRefreshes(), full + 1) << "a described view panel with an instance reads it";
    EXPECT_TRUE(p->bound(kPopup));
    EXPECT_FALSE(p->bound(kInt));
    EXPECT_EQ(p->shownInt(kInt), 7) << "what it showed last, now the panel's own value";
    EXPECT_TRUE(p->setInt(kInt, 5));
    EXPECT_EQ(inst.ints[kInt], 7);
    xp()->describe(id, nullptr, nullptr, nullptr);
    EXPECT_FALSE(p->bound(kPopup));
}

TEST_F(Values, PanelLocalValuesNotifyWithoutValueId) {
    xp()->viewInst(id, &inst);
    ASSERT_TRUE(p->setInt(kLocal, 3));
    EXPECT_EQ(p->shownText(kLocal), "Height");
    EXPECT_EQ(inst.setCalls, 0);
    ASSERT_EQ(g_calls.changes.size(), 1u);
    EXPECT_EQ(g_calls.changes[0], (XPanelEvent{kLocal, 0, LWXPEVENT_VALUE}));
    // formGet and formSet reach the panel's own value, not the instance's.
    EXPECT_EQ(*static_cast<int*>(xp()->formGet(id, kLocal)), 3);
    int two = 2;
    xp()->formSet(id, kLocal, &two);
    EXPECT_EQ(p->shownInt(kLocal), 2);
    EXPECT_EQ(xp()->formGet(id, kInt), nullptr);
    int nine = 9;
    xp()->formSet(id, kInt, &nine);
    EXPECT_EQ(inst.ints[kInt], 7);
    EXPECT_EQ(g_calls.changes.size(), 1u) << "formSet notifies nobody";
}

TEST_F(Values, TheChangeNotificationFollowsSetAndTheRefresh) {
    inst.codes[kInt] = LWXPRC_FULL;
    inst.alsoSets[kInt] = kPopup;
    xp()->viewInst(id, &inst);
    g_calls.refreshInNotify = true;  // calls back into the panel
    ASSERT_TRUE(p->setInt(kInt, -99));
    ASSERT_EQ(g_calls.changes.size(), 1u);
    EXPECT_EQ(g_calls.changes[0], (XPanelEvent{kInt, kInt, LWXPEVENT_VALUE}));
    EXPECT_EQ(inst.setCalls, 1);
    EXPECT_EQ(p->shownInt(kPopup), 1) << "the full refresh came before the notification";
}

TEST_F(Values, ASetThatDestroysThePanelEndsTheEdit) {
    xp()->viewInst(id, &inst);
    inst.codes[kInt] = LWXPRC_FULL;
    inst.destroyOnSet = id;
    EXPECT_TRUE(p->setInt(kInt, 1));
    EXPECT_TRUE(p->destroyed());
    EXPECT_TRUE(g_calls.changes.empty());
    EXPECT_EQ(host.xpanels().find(id), nullptr);
    EXPECT_FALSE(p->setInt(kInt, 2));
}

// ---------------------------------------------------------------- envelopes

class Envelopes : public Values {
protected:
    const LWVParmFuncs* vp() {
        return static_cast<const LWVParmFuncs*>(hostsim::Host::lookupFunction()(LWVPARMFUNCS_GLOBAL, GFUSE_TRANSIENT));
    }
    void SetUp() override {
        Values::SetUp();
        ASSERT_NE(vp(), nullptr);
        scalar = vp()->create(LWVP_PERCENT, LWVPDT_NOTXTR);
        triple = vp()->create(LWVP_DIST | LWVPF_VECTOR, LWVPDT_NOTXTR);
        double s[3] = {0.25, 0, 0}, t[3] = {1, 2, 3};
        vp()->setVal(scalar, s);
        vp()->setVal(triple, t);
        inst.parms = {{kEnv, scalar}, {kEnv3, triple}};
    }
    void TearDown() override {
        vp()->destroy(scalar);
        vp()->destroy(triple);
    }
    LWVParmID scalar = nullptr, triple = nullptr;
};

TEST_F(Envelopes, EnvelopeControlsShowAndEditTheAnimatedParameter) {
    xp()->viewInst(id, &inst);
    EXPECT_EQ(p->shownFloat(kEnv), 0.25);
    EXPECT_EQ(p->shownVector(kEnv3), (std::array<double, 3>{1, 2, 3}));

    inst.codes[kEnv] = LWXPRC_NONE;  // as for envelope controls that edit their parameter themselves
    ASSERT_TRUE(p->setFloat(kEnv, 0.75));
    EXPECT_EQ(host.animation().parameterValue(scalar, 0)[0], 0.75);
    EXPECT_EQ(inst.setArgs.back(), (std::pair<unsigned int, void*>{kEnv, scalar})) << "set receives the parameter";
    EXPECT_EQ(p->lastRefreshCode(), LWXPRC_NONE);
    EXPECT_EQ(p->shownFloat(kEnv), 0.75);
    EXPECT_EQ(p->events().back(), (XPanelEvent{kEnv, kEnv, LWXPEVENT_VALUE}));

    inst.codes[kEnv3] = LWXPRC_FULL;
    ASSERT_TRUE(p->setVector(kEnv3, -1, 0.5, 4));
    EXPECT_EQ(host.animation().parameterValue(triple, 0), (std::array<double, 3>{-1, 0.5, 4}));
    EXPECT_EQ(inst.setArgs.back(), (std::pair<unsigned int, void*>{kEnv3, triple}));
    EXPECT_EQ(p->shownVector(kEnv3), (std::array<double, 3>{-1, 0.5, 4}));

    // Changes the plug-in makes to the parameter show after a refresh.
    double s[3] = {0.1, 0, 0};
    vp()->setVal(scalar, s);
    EXPECT_EQ(p->shownFloat(kEnv), 0.75);
    xp()->viewRefresh(id);
    EXPECT_EQ(p->shownFloat(kEnv), 0.1);
}

TEST_F(Envelopes, WithoutTheParameterServiceEnvelopeControlsShowNoValue) {
    void* service = const_cast<LWVParmFuncs*>(vp());
    host.unregisterService(LWVPARMFUNCS_GLOBAL);
    xp()->viewInst(id, &inst);
    EXPECT_EQ(p->shownFloat(kEnv), std::nullopt);
    EXPECT_FALSE(p->enabled(kEnv3));
    EXPECT_FALSE(p->setFloat(kEnv, 1));
    EXPECT_EQ(p->shownInt(kInt), 7) << "other controls are unaffected";
    host.registerService(LWVPARMFUNCS_GLOBAL, service);
    xp()->viewRefresh(id);
    EXPECT_EQ(p->shownFloat(kEnv), 0.25);
    EXPECT_TRUE(p->setFloat(kEnv, 0.5));
}

TEST_F(Envelopes, DataTypesThatDoNotSuitTheControlAreNotBound) {
    static LWXPanelDataDesc data[] = {
        {kEnv, "Strength", "float-env"},       // a "percent-env" control takes "percent-env"
        {kEnv3, "Position", "float3-env"},     // a "distance3-env" control takes "distance3-env"
        {kInt, "Count", "float"},
        {kText, "Name", "integer"},
        {kColour, "Tint", "colour"},           // no such type
        {0x7FFF, "Reserved", "integer"},       // an id the host keeps
        {0x8999, "Nobody", "integer"},         // a value no control shows: taken
        {kFloat, "Gain", "float"},
        {}};
    xp()->describe(id, data, Instance::get, Instance::set);
    xp()->viewInst(id, &inst);
    for (unsigned int cid : {kEnv, kEnv3, kInt, kText, kColour}) EXPECT_FALSE(p->bound(cid)) << std::hex << cid;
    EXPECT_TRUE(p->bound(kFloat));
    EXPECT_EQ(p->notes().size(), 6u);
}

// ---------------------------------------------------------------- popups

TEST_F(XPanels, PopupItemsComeFromFunctionsWithTheControlsData) {
    LWXPanelControl controls[] = {{0x8050, "Channel", "iPopChoice"}, {0x8051, "Fixed", "iPopChoice"},
                                  {0x8052, "Axis", "axis"},          {0x8053, "Plain", "integer"}, {}};
    LWXPanelDataDesc data[] = {{0x8050, "Channel", "integer"}, {}};
    Instance inst;
    inst.ints[0x8050] = 1;
    LWXPanelID id = xp()->create(LWXP_VIEW, controls);
    xp()->describe(id, data, Instance::get, Instance::set);
    LWXPanelHint hints[] = {XpPOPFUNCS(0x8050, countNames, nameAt), XpSTRLIST(0x8051, kSegmentNames), XpEND};
    xp()->hint(id, 0, hints);
    xp()->viewInst(id, &inst);
    ViewPanel& p = panelOf(id);

    EXPECT_TRUE(p.popupItems(0x8050).empty()) << "no data yet";
    EXPECT_EQ(p.shownText(0x8050), std::nullopt) << "a value outside the items shows no item";
    EXPECT_EQ(p.shownInt(0x8050), 1);
    EXPECT_FALSE(p.setInt(0x8050, 0));

    std::vector<std::string> rgb = {"RGB", "Red", "Green", "Blue"}, grey = {"Grey"};
    xp()->setData(id, 0x8050, &rgb);
    EXPECT_EQ(xp()->getData(id, 0x8050), &rgb);
    EXPECT_EQ(p.popupItems(0x8050), rgb);
    EXPECT_EQ(p.shownText(0x8050), "Red");
    xp()->setData(id, 0x8050, &grey);  // the items are asked anew
    EXPECT_EQ(p.popupItems(0x8050), grey);
    EXPECT_EQ(p.shownText(0x8050), std::nullopt);
    EXPECT_TRUE(p.setInt(0x8050, 0));
    EXPECT_EQ(p.shownText(0x8050), "Grey");

    EXPECT_EQ(p.popupItems(0x8051), (std::vector<std::string>{"Left Edge", "Width", "Top Edge", "Height"}));
    EXPECT_EQ(p.popupItems(0x8052), (std::vector<std::string>{"X", "Y", "Z"}));
    EXPECT_TRUE(p.popupItems(0x8053).empty());
    EXPECT_TRUE(p.setInt(0x8052, 2));
    EXPECT_EQ(p.shownText(0x8052), "Z");
    EXPECT_FALSE(p.setInt(0x8052, 3));
    EXPECT_EQ(p.shownText(0x8053), std::nullopt);

    // A later list replaces the functions, and the other way round.
    LWXPanelHint swap[] = {XpSTRLIST(0x8050, kImageNames), XpPOPFUNCS(0x8051, countNames, nameAt), XpEND};
    xp()->hint(id, 0, swap);
    EXPECT_EQ(p.popupItems(0x8050).size(), 3u);
    EXPECT_TRUE(p.popupItems(0x8051).empty());
}

// ---------------------------------------------------------------- buttons, thumbnails

TEST_F(XPanels, ButtonsCallTheirFunctionThenNotifyAHit) {
    LWXPanelControl controls[] = {{0x8060, "About...", "vButton"}, {0x8061, "Plain", "vButton"}, {}};
    LWXPanelID id = xp()->create(LWXP_VIEW, controls);
    LWXPanelHint hints[] = {XpBUTNOTIFY(0x8060, onButton), XpCHGNOTIFY(onChange), XpEND};
    xp()->hint(id, 0, hints);
    int token = 0;
    xp()->setData(id, 0, &token);
    ViewPanel& p = panelOf(id);
    ASSERT_TRUE(p.press(0x8060));
    ASSERT_TRUE(p.press(0x8061));
    EXPECT_EQ(g_calls.log, (std::vector<std::string>{"button 32864 with data", "change 32864", "change 32865"}));
    EXPECT_EQ(p.events(), (std::vector<XPanelEvent>{{0x8060, 0, LWXPEVENT_HIT}, {0x8061, 0, LWXPEVENT_HIT}}));
}

TEST_F(XPanels, ThumbnailsArePaintedByTheirDrawFunction) {
    LWXPanelControl controls[] = {{0x8070, "Preview", "dThumbnail"}, {0x8071, "Bare", "dThumbnail"}, {}};
    LWXPanelID id = xp()->create(LWXP_VIEW, controls);
    LWXPanelHint hints[] = {XpDRAWCBFUNC(0x8070, onDraw), XpEND};
    xp()->hint(id, 0, hints);
    int colour[3] = {10, 200, 30};
    xp()->setData(id, 0x8070, colour);
    ViewPanel& p = panelOf(id);

    std::optional<hostsim::Canvas> c = p.drawControl(0x8070, 64, 48);
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(c->width(), 64);
    EXPECT_EQ(c->height(), 48);
    EXPECT_EQ(c->count({10, 200, 30}), 64 * 48 - 1);
    EXPECT_EQ(c->pixel(63, 47), (hostsim::Rgb{255, 255, 255}));
    EXPECT_EQ(g_calls.drawSizes, (std::vector<std::pair<int, int>>{{64, 48}}));
    EXPECT_EQ(p.draws(), 1);
    EXPECT_EQ(p.drawControl(0x8071, 8, 8), std::nullopt) << "no draw function";
    EXPECT_EQ(p.drawControl(0x8099, 8, 8), std::nullopt);
    EXPECT_EQ(p.draws(), 1);
}

// ---------------------------------------------------------------- form panels

TEST_F(XPanels, FormPanelsHoldTheirValues) {
    LWXPanelControl controls[] = {{0x8080, "N", "integer"},   {0x8081, "F", "float-env"}, {0x8082, "V", "color-env"},
                                  {0x8083, "S", "sFileName"}, {0x8084, "B", "vButton"},   {0x8085, "L", "iBoolean"},
                                  {}};
    LWXPanelDataDesc data[] = {{0x8080, "N", "integer"}, {0x8081, "F", "float-env"}, {0x8082, "V", "color-env"},
                               {0x8083, "S", "string"},  {}};
    LWXPanelID id = xp()->create(LWXP_FORM, controls);
    Instance inst;
    xp()->describe(id, data, Instance::get, Instance::set);  // a form takes neither: noted
    LWXPanelHint hints[] = {XpCHGNOTIFY(onChange), XpEND};
    xp()->hint(id, 0, hints);
    ViewPanel& p = panelOf(id);
    EXPECT_EQ(p.notes().size(), 1u);
    for (unsigned int vid : {0x8080u, 0x8081u, 0x8082u, 0x8083u}) EXPECT_EQ(xp()->formGet(id, vid), nullptr) << vid;
    EXPECT_EQ(*static_cast<int*>(xp()->formGet(id, 0x8085)), 0) << "an undescribed control holds its own zero";

    int n = 4;
    double f = 0.5, v[3] = {1, 2, 3};
    char s[] = "a.jp2";
    xp()->formSet(id, 0x8080, &n);
    xp()->formSet(id, 0x8081, &f);
    xp()->formSet(id, 0x8082, v);
    xp()->formSet(id, 0x8083, s);
    xp()->formSet(id, 0x8084, &n);  // no value: nothing
    EXPECT_EQ(*static_cast<int*>(xp()->formGet(id, 0x8080)), 4);
    EXPECT_EQ(*static_cast<double*>(xp()->formGet(id, 0x8081)), 0.5);
    EXPECT_EQ(static_cast<double*>(xp()->formGet(id, 0x8082))[2], 3.0);
    EXPECT_STREQ(static_cast<char*>(xp()->formGet(id, 0x8083)), "a.jp2");
    EXPECT_EQ(xp()->formGet(id, 0x8084), nullptr);
    EXPECT_EQ(xp()->formGet(id, 0x8099), nullptr);
    xp()->formSet(id, 0x8080, nullptr);
    EXPECT_EQ(xp()->formGet(id, 0x8080), nullptr) << "formSet with null unsets the value";
    EXPECT_TRUE(g_calls.changes.empty()) << "formSet notifies nobody";

    // The user's edits land in the form and are notified with their value id.
    EXPECT_FALSE(p.bound(0x8083));
    ASSERT_TRUE(p.setText(0x8083, "b.jp2"));
    ASSERT_TRUE(p.setInt(0x8080, 9));
    ASSERT_TRUE(p.setInt(0x8085, 1));
    EXPECT_STREQ(static_cast<char*>(xp()->formGet(id, 0x8083)), "b.jp2");
    EXPECT_EQ(*static_cast<int*>(xp()->formGet(id, 0x8080)), 9);
    EXPECT_EQ(g_calls.changes, (std::vector<XPanelEvent>{{0x8083, 0x8083, LWXPEVENT_VALUE},
                                                         {0x8080, 0x8080, LWXPEVENT_VALUE},
                                                         {0x8085, 0, LWXPEVENT_VALUE}}));
    EXPECT_EQ(inst.setCalls, 0);
    xp()->viewInst(id, &inst);
    xp()->viewRefresh(id);
    EXPECT_EQ(xp()->post(id), 1);
    EXPECT_EQ(xp()->open(id), 1);
    EXPECT_EQ(p.opened(), 2);
    EXPECT_EQ(p.fullRefreshes(), 0) << "a form panel reads no instance";
}

// ---------------------------------------------------------------- destruction and misuse

TEST_F(XPanels, DestroyingNotifiesWithThePanelDataAndForgetsTheHandle) {
    LWXPanelControl controls[] = {{0x8090, "A", "integer"}, {}};
    LWXPanelID a = xp()->create(LWXP_VIEW, controls);
    LWXPanelID b = xp()->create(LWXP_VIEW, controls);
    int data = 0;
    LWXPanelHint hints[] = {XpDESTROYNOTIFY(onDestroy), XpEND};
    xp()->hint(a, 0, hints);
    xp()->setData(a, 0, &data);
    EXPECT_EQ(host.xpanels().live(), 2);
    ViewPanel& p = panelOf(a);
    xp()->destroy(a);
    EXPECT_EQ(g_calls.destroyed, (std::vector<void*>{&data}));
    EXPECT_TRUE(p.destroyed());
    EXPECT_EQ(host.xpanels().live(), 1);
    EXPECT_EQ(host.xpanels().created(), 2);
    EXPECT_EQ(host.xpanels().last()->id(), b);
    EXPECT_EQ(host.xpanels().find(a), nullptr);
    EXPECT_NE(p.dump().find("[destroyed]"), std::string::npos);

    // A stale or foreign handle reaches nothing.
    int notAPanel = 0;
    for (LWXPanelID bad : {a, static_cast<LWXPanelID>(nullptr), reinterpret_cast<LWXPanelID>(&notAPanel)}) {
        xp()->destroy(bad);
        xp()->describe(bad, nullptr, nullptr, nullptr);
        xp()->hint(bad, 0, hints);
        xp()->setData(bad, 0, &data);
        EXPECT_EQ(xp()->getData(bad, 0), nullptr);
        EXPECT_EQ(xp()->formGet(bad, 0x8090), nullptr);
        xp()->formSet(bad, 0x8090, &data);
        xp()->viewInst(bad, &data);
        xp()->viewRefresh(bad);
        EXPECT_EQ(xp()->post(bad), 0);
        EXPECT_EQ(xp()->open(bad), 0);
    }
    EXPECT_EQ(g_calls.destroyed.size(), 1u);
    EXPECT_EQ(host.xpanels().live(), 1);
}

TEST_F(XPanels, UserDataOfUnknownControlsIsIgnored) {
    LWXPanelControl controls[] = {{0x8090, "A", "integer"}, {0x8091, "B", "integer"}, {}};
    LWXPanelID id = xp()->create(LWXP_VIEW, controls);
    LWXPanelHint del[] = {XpDELETE(0x8091), XpEND};
    xp()->hint(id, 0, del);
    int a = 0, b = 0, panelData = 0;
    xp()->setData(id, 0x8090, &a);
    xp()->setData(id, 0x8091, &b);   // deleted
    xp()->setData(id, 0x8999, &b);  // never made
    xp()->setData(id, 0, &panelData);
    EXPECT_EQ(xp()->getData(id, 0x8090), &a);
    EXPECT_EQ(xp()->getData(id, 0x8091), nullptr);
    EXPECT_EQ(xp()->getData(id, 0x8999), nullptr);
    EXPECT_EQ(xp()->getData(id, 0), &panelData);
    EXPECT_EQ(panelOf(id).data(0), &panelData);
    EXPECT_EQ(panelOf(id).notes().size(), 2u);
}

TEST_F(XPanels, ViewPanelsReadTheInstanceWhenShown) {
    LWXPanelControl controls[] = {{0x8090, "A", "integer"}, {}};
    LWXPanelDataDesc data[] = {{0x8090, "A", "integer"}, {}};
    Instance inst;
    inst.ints[0x8090] = 1;
    LWXPanelID id = xp()->create(LWXP_VIEW, controls);
    xp()->describe(id, data, Instance::get, Instance::set);
    ViewPanel& p = panelOf(id);
    EXPECT_EQ(p.fullRefreshes(), 0);
    xp()->viewInst(id, &inst);
    EXPECT_EQ(p.fullRefreshes(), 1);
    inst.ints[0x8090] = 2;
    EXPECT_EQ(p.shownInt(0x8090), 1);
    EXPECT_EQ(xp()->open(id), 1);
    EXPECT_EQ(p.shownInt(0x8090), 2);
    inst.ints[0x8090] = 3;
    EXPECT_EQ(xp()->post(id), 1);
    EXPECT_EQ(p.shownInt(0x8090), 3);
    EXPECT_EQ(p.fullRefreshes(), 3);
    EXPECT_EQ(p.opened(), 2);
}

TEST(XPanelsShutdown, TheHostDestroysLeftoverPanels) {
    g_calls = Calls{};
    int data = 0;
    {
        hostsim::Host host;
        LWXPanelControl controls[] = {{0x8090, "A", "integer"}, {}};
        LWXPanelHint hints[] = {XpDESTROYNOTIFY(onDestroy), XpEND};
        for (int i = 0; i < 3; ++i) {
            LWXPanelID id = xp()->create(LWXP_VIEW, controls);
            xp()->hint(id, 0, hints);
            xp()->setData(id, 0, &data);
        }
        xp()->destroy(host.xpanels().panels()[1]->id());
        EXPECT_EQ(g_calls.destroyed.size(), 1u);
        EXPECT_EQ(host.xpanels().live(), 2);
    }
    EXPECT_EQ(g_calls.destroyed, (std::vector<void*>{&data, &data, &data}));

    // destroyAll does the same while the host runs.
    hostsim::Host host;
    LWXPanelControl controls[] = {{0x8090, "A", "integer"}, {}};
    xp()->create(LWXP_FORM, controls);
    xp()->create(LWXP_VIEW, nullptr);
    host.xpanels().destroyAll();
    EXPECT_EQ(host.xpanels().live(), 0);
    EXPECT_EQ(host.xpanels().last(), nullptr);
    EXPECT_EQ(host.xpanels().created(), 2);
}

}  // namespace
