#include "textures.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

#include "animation.h"
#include "host.h"
#include "scene.h"

namespace hostsim {

namespace {

// Ids are tokens: a kind in the top bits, a serial below, so that the
// ordered maps list each kind in creation order and no id is ever reused.
constexpr int kKindShift = 28;
constexpr uintptr_t kSerialMask = (uintptr_t{1} << kKindShift) - 1;
constexpr uintptr_t kTextureKind = 5;
constexpr uintptr_t kLayerKind = 6;
constexpr uintptr_t kContextKind = 7;

template <typename Id>
Id makeId(uintptr_t kind, uintptr_t serial) {
    return reinterpret_cast<Id>((kind << kKindShift) | (serial & kSerialMask));
}

Textures* current() {
    Host* host = Host::current();
    return host ? &host->textures() : nullptr;
}

// ---------------------------------------------------------------- settings

bool validLayerType(int type) { return type >= TLT_IMAGE && type <= TLT_GRAD; }
bool validProjection(int p) { return p >= TXPRJ_PLANAR && p <= TXPRJ_UVMAP; }
bool validAxis(int a) { return a >= 0 && a <= 2; }
bool validRepeat(int r) { return r >= TXRPT_RESET && r <= TXRPT_EDGE; }
bool validBlend(int b) { return b >= TXBLN_NORMAL && b <= TXBLN_ADD; }
bool validInput(int i) { return i >= 0 && i <= 15; }
bool finite3(const std::array<double, 3>& v) {
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

bool sound(const LayerSettings& s) {
    return validLayerType(s.type) && finite3(s.position) && finite3(s.rotation) && finite3(s.size) &&
           finite3(s.falloff) && validProjection(s.projection) && validAxis(s.axis) && std::isfinite(s.widthWrap) &&
           std::isfinite(s.heightWrap) && std::isfinite(s.opacity) && std::isfinite(s.antialiasThreshold) &&
           validRepeat(s.widthRepeat) && validRepeat(s.heightRepeat) && validBlend(s.blend) && validInput(s.input);
}

int sw(int v) { return v ? 1 : 0; }

// Tag values of one type: a triple, an int, a double or a pointer.
std::array<double, 3>* tripleOf(LayerSettings& s, int tag) {
    switch (tag) {
        case TXTAG_POSI: return &s.position;
        case TXTAG_ROTA: return &s.rotation;
        case TXTAG_SIZE: return &s.size;
        case TXTAG_FALL: return &s.falloff;
        default: return nullptr;
    }
}
int* intOf(LayerSettings& s, int tag) {
    switch (tag) {
        case TXTAG_PROJ: return &s.projection;
        case TXTAG_AXIS: return &s.axis;
        case TXTAG_COORD: return &s.worldCoordinates;
        case TXTAG_AA: return &s.antialiasing;
        case TXTAG_PIXBLEND: return &s.pixelBlending;
        case TXTAG_WREPEAT: return &s.widthRepeat;
        case TXTAG_HREPEAT: return &s.heightRepeat;
        case TXTAG_ACTIVE: return &s.active;
        case TXTAG_INVERT: return &s.invert;
        case TXTAG_BLEND: return &s.blend;
        case TXTAG_INPUT: return &s.input;
        default: return nullptr;
    }
}
double* doubleOf(LayerSettings& s, int tag) {
    switch (tag) {
        case TXTAG_WWRP: return &s.widthWrap;
        case TXTAG_HWRP: return &s.heightWrap;
        case TXTAG_OPAC: return &s.opacity;
        case TXTAG_AAVAL: return &s.antialiasThreshold;
        default: return nullptr;
    }
}

// Whether an int value fits its tag, and the value stored for it.
bool acceptInt(int tag, int& v) {
    switch (tag) {
        case TXTAG_PROJ: return validProjection(v);
        case TXTAG_AXIS: return validAxis(v);
        case TXTAG_WREPEAT:
        case TXTAG_HREPEAT: return validRepeat(v);
        case TXTAG_BLEND: return validBlend(v);
        case TXTAG_INPUT: return validInput(v);
        default: v = sw(v); return true;  // the switches
    }
}

// ---------------------------------------------------------------- mapping

// The two axes an axis-aligned projection spreads u and v over.
void crossAxes(int axis, int& a, int& b) {
    switch (axis) {
        case 0: a = 2, b = 1; break;
        case 1: a = 0, b = 2; break;
        default: a = 0, b = 1; break;
    }
}

// The position in the layer's own space: moved, turned back and scaled.
std::array<double, 3> layerSpace(const LayerSettings& s, const double pos[3]) {
    const double sh = std::sin(s.rotation[0]), ch = std::cos(s.rotation[0]);
    const double sp = std::sin(s.rotation[1]), cp = std::cos(s.rotation[1]);
    const double sb = std::sin(s.rotation[2]), cb = std::cos(s.rotation[2]);
    // Rows: the layer's +X, +Y, +Z axes as items turn them.
    const double rows[3][3] = {{ch * cb + sh * sp * sb, cp * sb, -sh * cb + ch * sp * sb},
                               {-ch * sb + sh * sp * cb, cp * cb, sh * sb + ch * sp * cb},
                               {sh * cp, -sp, ch * cp}};
    const double d[3] = {pos[0] - s.position[0], pos[1] - s.position[1], pos[2] - s.position[2]};
    std::array<double, 3> p{};
    for (int j = 0; j < 3; ++j) {
        const double along = d[0] * rows[j][0] + d[1] * rows[j][1] + d[2] * rows[j][2];
        p[j] = s.size[j] != 0 ? along / s.size[j] : 0.0;
    }
    return p;
}

// ---------------------------------------------------------------- noise

const std::array<int, 512>& permutation() {
    static const std::array<int, 512> table = [] {
        std::array<int, 256> p{};
        for (int i = 0; i < 256; ++i) p[i] = i;
        std::mt19937 gen(0x4b6f7276u);  // a fixed seed: the same noise in every run
        for (int i = 255; i > 0; --i) std::swap(p[i], p[gen() % static_cast<unsigned>(i + 1)]);
        std::array<int, 512> twice{};
        for (int i = 0; i < 512; ++i) twice[i] = p[i & 255];
        return twice;
    }();
    return table;
}

double fade(double t) { return t * t * t * (t * (t * 6 - 15) + 10); }
double mix(double a, double b, double t) { return a + t * (b - a); }
double grad(int hash, double x, double y, double z) {
    const int h = hash & 15;
    const double u = h < 8 ? x : y;
    const double v = h < 4 ? y : (h == 12 || h == 14 ? x : z);
    return ((h & 1) ? -u : u) + ((h & 2) ? -v : v);
}

// ---------------------------------------------------------------- saved blocks

const LWBlockIdent kLayerCount{LWID_('T', 'L', 'C', 'T'), "LayerCount"};
const LWBlockIdent kLayer{LWID_('T', 'L', 'A', 'Y'), "TextureLayer"};
const LWBlockIdent kType{LWID_('T', 'L', 'T', 'Y'), "LayerType"};
const LWBlockIdent kPlacement{LWID_('T', 'L', 'V', 'C'), "Placement"};
const LWBlockIdent kNumbers{LWID_('T', 'L', 'N', 'M'), "Numbers"};
const LWBlockIdent kSwitches{LWID_('T', 'L', 'S', 'W'), "Settings"};
const LWBlockIdent kReference{LWID_('T', 'L', 'R', 'O'), "ReferenceObject"};
const LWBlockIdent kEndList{0, nullptr};
const LWBlockIdent kLayerBlocks[] = {kLayerCount, kLayer, kEndList};
const LWBlockIdent kSettingBlocks[] = {kType, kPlacement, kNumbers, kSwitches, kReference, kEndList};

constexpr int kNameLength = 1024;

// ---------------------------------------------------------------- C table

LWTxtrContextID txContextCreate(LWTxtrParamFuncs funcs) {
    Textures* t = current();
    return t ? t->createContext(funcs) : nullptr;
}
void txContextDestroy(LWTxtrContextID gc) {
    if (Textures* t = current()) t->destroyContext(gc);
}
void txContextAddParam(LWTxtrContextID gc, LWTxtrParamDesc pd) {
    if (Textures* t = current()) t->addContextParam(gc, pd);
}
LWTextureID txCreate(int returnType, const char* name, LWTxtrContextID gc, void* userData) {
    Textures* t = current();
    return t ? t->create(returnType, name, gc, userData) : nullptr;
}
void txDestroy(LWTextureID txtr) {
    if (Textures* t = current()) t->destroy(txtr);
}
void txCopy(LWTextureID to, LWTextureID from) {
    if (Textures* t = current()) t->copy(to, from);
}
void txNewTime(LWTextureID txtr, LWTime time, LWFrame frame) {
    if (Textures* t = current()) t->newTime(txtr, time, frame);
}
void txCleanup(LWTextureID txtr) {
    if (Textures* t = current()) t->cleanup(txtr);
}
void txLoad(LWTextureID txtr, const LWLoadState* state) {
    if (Textures* t = current()) t->load(txtr, state);
}
void txSave(LWTextureID txtr, const LWSaveState* state) {
    if (Textures* t = current()) t->save(txtr, state);
}
double txEvaluate(LWTextureID txtr, LWMicropolID mp, double* rv) {
    Textures* t = current();
    return t ? t->evaluate(txtr, mp, rv) : 0.0;
}
void txSetEnvGroup(LWTextureID txtr, LWChanGroupID group) {
    if (Textures* t = current()) t->setGroup(txtr, group);
}
LWTLayerID txFirstLayer(LWTextureID txtr) {
    Textures* t = current();
    return t ? t->firstLayer(txtr) : nullptr;
}
LWTLayerID txLastLayer(LWTextureID txtr) {
    Textures* t = current();
    return t ? t->lastLayer(txtr) : nullptr;
}
LWTLayerID txNextLayer(LWTextureID txtr, LWTLayerID layer) {
    Textures* t = current();
    return t ? t->nextLayer(txtr, layer) : nullptr;
}
LWTLayerID txLayerAdd(LWTextureID txtr, int type) {
    Textures* t = current();
    return t ? t->addLayer(txtr, type) : nullptr;
}
void txLayerSetType(LWTLayerID layer, int type) {
    if (Textures* t = current()) t->setLayerType(layer, type);
}
int txLayerType(LWTLayerID layer) {
    Textures* t = current();
    return t ? t->layerType(layer) : -1;
}
double txLayerEvaluate(LWTLayerID layer, LWMicropolID mp, double* rv) {
    Textures* t = current();
    return t ? t->evaluateLayer(layer, mp, rv) : 0.0;
}
LWChanGroupID txLayerEnvGroup(LWTLayerID layer) {
    Textures* t = current();
    return t ? t->layerGroup(layer) : nullptr;
}
int txSetParam(LWTLayerID layer, int tag, void* data) {
    Textures* t = current();
    return t ? t->setParam(layer, tag, data) : 0;
}
int txGetParam(LWTLayerID layer, int tag, void* data) {
    Textures* t = current();
    return t ? t->getParam(layer, tag, data) : 0;
}
void txEvaluateUV(LWTLayerID layer, int wAxis, int oAxis, double oPos[3], double wPos[3], double uv[2]) {
    if (Textures* t = current()) t->evaluateUV(layer, wAxis, oAxis, oPos, wPos, uv);
}
double txNoise(double p[3]) { return p ? Textures::noise(p) : 0.0; }
void* txUserData(LWTextureID txtr) {
    Textures* t = current();
    return t ? t->userData(txtr) : nullptr;
}
LWChanGroupID txEnvGroup(LWTextureID txtr) {
    Textures* t = current();
    return t ? t->group(txtr) : nullptr;
}
LWTextureID txTexture(LWTLayerID layer) {
    Textures* t = current();
    return t ? t->layerTexture(layer) : nullptr;
}
const char* txName(LWTextureID txtr) {
    Textures* t = current();
    return t ? t->name(txtr) : nullptr;
}
int txType(LWTextureID txtr) {
    Textures* t = current();
    return t ? t->type(txtr) : -1;
}
LWTxtrContextID txContext(LWTextureID txtr) {
    Textures* t = current();
    return t ? t->context(txtr) : nullptr;
}

const LWTextureFuncs kTextureFuncs = {
    txContextCreate, txContextDestroy, txContextAddParam, txCreate,        txDestroy,      txCopy,
    txNewTime,       txCleanup,        txLoad,            txSave,          txEvaluate,     txSetEnvGroup,
    txFirstLayer,    txLastLayer,      txNextLayer,       txLayerAdd,      txLayerSetType, txLayerType,
    txLayerEvaluate, txLayerEnvGroup,  txSetParam,        txGetParam,      txEvaluateUV,   txNoise,
    txUserData,      txEnvGroup,       txTexture,         txName,          txType,         txContext};

}  // namespace

// ---------------------------------------------------------------- Textures

Textures::Textures() = default;
Textures::~Textures() = default;

void Textures::registerWith(Host& host) {
    host_ = &host;
    host.registerService(LWTEXTUREFUNCS_GLOBAL, const_cast<LWTextureFuncs*>(&kTextureFuncs));
}

const LWTextureFuncs* Textures::funcs() const { return &kTextureFuncs; }

// ---- lookups (under the lock)

const Textures::Texture* Textures::findTexture(LWTextureID id) const {
    auto it = textures_.find(id);
    return it == textures_.end() ? nullptr : &it->second;
}
Textures::Texture* Textures::findTexture(LWTextureID id) {
    auto it = textures_.find(id);
    return it == textures_.end() ? nullptr : &it->second;
}
const Textures::Layer* Textures::findLayer(LWTLayerID id) const {
    auto it = layers_.find(id);
    return it == layers_.end() ? nullptr : &it->second;
}
Textures::Layer* Textures::findLayer(LWTLayerID id) {
    auto it = layers_.find(id);
    return it == layers_.end() ? nullptr : &it->second;
}

// ---- contexts

LWTxtrContextID Textures::createContext(const LWTxtrParamFuncs& funcs) {
    std::unique_lock lock(mutex_);
    if (serial_ >= kSerialMask) return nullptr;
    const auto id = makeId<LWTxtrContextID>(kContextKind, ++serial_);
    contexts_[id].funcs = funcs;
    return id;
}

void Textures::destroyContext(LWTxtrContextID context) {
    std::unique_lock lock(mutex_);
    for (const auto& [id, t] : textures_)
        if (t.context == context) return;  // still in use
    contexts_.erase(context);
}

void Textures::addContextParam(LWTxtrContextID context, const LWTxtrParamDesc& param) {
    std::unique_lock lock(mutex_);
    auto it = contexts_.find(context);
    if (it == contexts_.end()) return;
    auto entry = std::make_unique<Param>();
    ContextParam& c = entry->copy;
    c.name = param.name ? param.name : "";
    c.start = param.start;
    c.end = param.end;
    c.type = param.type;
    c.flags = param.flags;
    c.itemType = param.itemType;
    c.itemID = param.itemID;
    c.itemName = param.itemName ? param.itemName : "";
    entry->desc = param;
    entry->desc.name = c.name.data();
    entry->desc.itemName = param.itemName ? c.itemName.data() : nullptr;
    it->second.params.push_back(std::move(entry));
}

bool Textures::isContext(LWTxtrContextID context) const {
    std::shared_lock lock(mutex_);
    return contexts_.count(context) != 0;
}

std::vector<ContextParam> Textures::contextParams(LWTxtrContextID context) const {
    std::shared_lock lock(mutex_);
    std::vector<ContextParam> out;
    auto it = contexts_.find(context);
    if (it != contexts_.end())
        for (const auto& p : it->second.params) out.push_back(p->copy);
    return out;
}

// ---- textures

LWTextureID Textures::create(int returnType, const char* name, LWTxtrContextID context, void* userData) {
    if (returnType < TRT_VECTOR || returnType > TRT_DISPLACEMENT) return nullptr;
    std::unique_lock lock(mutex_);
    if (serial_ >= kSerialMask) return nullptr;
    if (context && !contexts_.count(context)) return nullptr;
    const auto id = makeId<LWTextureID>(kTextureKind, ++serial_);
    Texture& t = textures_[id];
    t.returnType = returnType;
    t.name = name ? name : "";
    t.context = context;
    t.userData = userData;
    return id;
}

std::vector<LWChanGroupID> Textures::takeLayers(Texture& t) {
    std::vector<LWChanGroupID> groups;
    for (auto l = t.layers.rbegin(); l != t.layers.rend(); ++l) {
        groups.push_back(layers_.at(*l).group);
        layers_.erase(*l);
    }
    t.layers.clear();
    return groups;
}

void Textures::dropGroups(const std::vector<LWChanGroupID>& groups) {
    // Destroying a group may run plug-ins' envelope event functions, which
    // may use textures, so this runs unlocked.
    if (!host_) return;
    for (LWChanGroupID g : groups)
        if (g) host_->animation().destroyGroup(g);
}

std::vector<Textures::Cleanup> Textures::takeTimeData(Texture& t) {
    std::vector<Cleanup> out;
    if (!t.timed) return out;
    const Context& c = contexts_.at(t.context);
    for (size_t i = 0; i < t.timeData.size() && i < c.params.size(); ++i)
        if (c.funcs.paramCleanup)
            out.push_back({c.funcs.paramCleanup, &c.params[i]->desc, static_cast<int>(i + 1), t.timeData[i]});
    t.timeData.clear();
    t.timed = false;
    return out;
}

void Textures::runCleanups(const std::vector<Cleanup>& cleanups) {
    for (const Cleanup& c : cleanups) c.func(c.desc, c.index, c.data);
}

void Textures::destroy(LWTextureID id) {
    std::vector<LWChanGroupID> groups;
    std::vector<Cleanup> cleanups;
    {
        std::unique_lock lock(mutex_);
        Texture* t = findTexture(id);
        if (!t) return;
        cleanups = takeTimeData(*t);
        groups = takeLayers(*t);
        textures_.erase(id);
    }
    runCleanups(cleanups);
    dropGroups(groups);
}

LWTLayerID Textures::addLayerLocked(Texture& t, LWTextureID id, const LayerSettings& settings) {
    if (!validLayerType(settings.type) || serial_ >= kSerialMask) return nullptr;
    LWChanGroupID group = nullptr;
    try {
        if (host_) group = host_->animation().createGroup(t.group, "Layer" + std::to_string(t.layers.size() + 1));
    } catch (const HostError&) {
        // The group given by setEnvGroup has died since: no group.
    }
    const auto layer = makeId<LWTLayerID>(kLayerKind, ++serial_);
    layers_[layer] = Layer{id, settings, group};
    t.layers.push_back(layer);
    return layer;
}

void Textures::copy(LWTextureID to, LWTextureID from) {
    if (to == from) return;
    std::vector<LayerSettings> list;
    {
        std::shared_lock lock(mutex_);
        const Texture* src = findTexture(from);
        if (!src || !findTexture(to)) return;
        for (LWTLayerID l : src->layers) list.push_back(layers_.at(l).settings);
    }
    setLayers(to, list);
}

void Textures::setLayers(LWTextureID id, const std::vector<LayerSettings>& list) {
    std::vector<LWChanGroupID> groups;
    {
        std::unique_lock lock(mutex_);
        Texture* t = findTexture(id);
        if (!t) return;
        groups = takeLayers(*t);
        for (const LayerSettings& s : list) addLayerLocked(*t, id, s);
    }
    dropGroups(groups);
}

void Textures::newTime(LWTextureID id, LWTime time, LWFrame frame) {
    std::vector<Cleanup> cleanups;
    std::vector<std::pair<LWTxtrParamDesc*, int>> params;
    decltype(LWTxtrParamFuncs::paramTime) paramTime = nullptr;
    void* userData = nullptr;
    {
        std::unique_lock lock(mutex_);
        Texture* t = findTexture(id);
        if (!t || !t->context) return;
        cleanups = takeTimeData(*t);
        const Context& c = contexts_.at(t->context);
        paramTime = c.funcs.paramTime;
        userData = t->userData;
        for (size_t i = 0; i < c.params.size(); ++i) params.emplace_back(&c.params[i]->desc, static_cast<int>(i + 1));
    }
    runCleanups(cleanups);
    std::vector<gParamData> answers;
    for (const auto& [desc, index] : params)
        answers.push_back(paramTime ? paramTime(userData, desc, index, time, frame) : nullptr);
    std::unique_lock lock(mutex_);
    if (Texture* t = findTexture(id)) {
        t->timeData = std::move(answers);
        t->timed = true;
    }
}

void Textures::cleanup(LWTextureID id) {
    std::vector<Cleanup> cleanups;
    {
        std::unique_lock lock(mutex_);
        Texture* t = findTexture(id);
        if (!t) return;
        cleanups = takeTimeData(*t);
    }
    runCleanups(cleanups);
}

std::vector<gParamData> Textures::timeData(LWTextureID id) const {
    std::shared_lock lock(mutex_);
    const Texture* t = findTexture(id);
    return t ? t->timeData : std::vector<gParamData>{};
}

double Textures::evaluate(LWTextureID, LWMicropolID, double*) const { return 0.0; }

double Textures::evaluateLayer(LWTLayerID, LWMicropolID, double*) const { return 0.0; }

void Textures::setGroup(LWTextureID id, LWChanGroupID group) {
    std::unique_lock lock(mutex_);
    if (Texture* t = findTexture(id)) t->group = group;
}

bool Textures::isTexture(LWTextureID id) const {
    std::shared_lock lock(mutex_);
    return findTexture(id) != nullptr;
}

const char* Textures::name(LWTextureID id) const {
    std::shared_lock lock(mutex_);
    const Texture* t = findTexture(id);
    return t ? t->name.c_str() : nullptr;
}

int Textures::type(LWTextureID id) const {
    std::shared_lock lock(mutex_);
    const Texture* t = findTexture(id);
    return t ? t->returnType : -1;
}

LWTxtrContextID Textures::context(LWTextureID id) const {
    std::shared_lock lock(mutex_);
    const Texture* t = findTexture(id);
    return t ? t->context : nullptr;
}

void* Textures::userData(LWTextureID id) const {
    std::shared_lock lock(mutex_);
    const Texture* t = findTexture(id);
    return t ? t->userData : nullptr;
}

LWChanGroupID Textures::group(LWTextureID id) const {
    std::shared_lock lock(mutex_);
    const Texture* t = findTexture(id);
    return t ? t->group : nullptr;
}

std::vector<LWTextureID> Textures::textures() const {
    std::shared_lock lock(mutex_);
    std::vector<LWTextureID> out;
    for (const auto& [id, t] : textures_) out.push_back(id);
    return out;
}

// ---- layers

LWTLayerID Textures::firstLayer(LWTextureID id) const {
    std::shared_lock lock(mutex_);
    const Texture* t = findTexture(id);
    return !t || t->layers.empty() ? nullptr : t->layers.front();
}

LWTLayerID Textures::lastLayer(LWTextureID id) const {
    std::shared_lock lock(mutex_);
    const Texture* t = findTexture(id);
    return !t || t->layers.empty() ? nullptr : t->layers.back();
}

LWTLayerID Textures::nextLayer(LWTextureID id, LWTLayerID layer) const {
    std::shared_lock lock(mutex_);
    const Texture* t = findTexture(id);
    if (!t) return nullptr;
    for (size_t i = 0; i + 1 < t->layers.size(); ++i)
        if (t->layers[i] == layer) return t->layers[i + 1];
    return nullptr;
}

LWTLayerID Textures::addLayer(LWTextureID id, int layerType) {
    std::unique_lock lock(mutex_);
    Texture* t = findTexture(id);
    if (!t) return nullptr;
    LayerSettings s;
    s.type = layerType;
    return addLayerLocked(*t, id, s);
}

void Textures::setLayerType(LWTLayerID layer, int layerType) {
    if (!validLayerType(layerType)) return;
    std::unique_lock lock(mutex_);
    if (Layer* l = findLayer(layer)) l->settings.type = layerType;
}

int Textures::layerType(LWTLayerID layer) const {
    std::shared_lock lock(mutex_);
    const Layer* l = findLayer(layer);
    return l ? l->settings.type : -1;
}

LWChanGroupID Textures::layerGroup(LWTLayerID layer) const {
    std::shared_lock lock(mutex_);
    const Layer* l = findLayer(layer);
    return l ? l->group : nullptr;
}

LWTextureID Textures::layerTexture(LWTLayerID layer) const {
    std::shared_lock lock(mutex_);
    const Layer* l = findLayer(layer);
    return l ? l->texture : nullptr;
}

int Textures::setParam(LWTLayerID layer, int tag, const void* data) {
    if (!data) return 0;
    std::unique_lock lock(mutex_);
    Layer* l = findLayer(layer);
    if (!l) return 0;
    LayerSettings& s = l->settings;
    if (auto* triple = tripleOf(s, tag)) {
        const auto* v = static_cast<const double*>(data);
        const std::array<double, 3> value{v[0], v[1], v[2]};
        if (!finite3(value)) return 0;
        *triple = value;
        return 1;
    }
    if (int* i = intOf(s, tag)) {
        int v = *static_cast<const int*>(data);
        if (!acceptInt(tag, v)) return 0;
        *i = v;
        return 1;
    }
    if (double* d = doubleOf(s, tag)) {
        const double v = *static_cast<const double*>(data);
        if (!std::isfinite(v)) return 0;
        *d = v;
        return 1;
    }
    switch (tag) {
        case TXTAG_IMAGE: s.image = *static_cast<const LWImageID*>(data); return 1;
        case TXTAG_VMAP: s.vmap = *static_cast<void* const*>(data); return 1;
        case TXTAG_ROBJ: s.referenceObject = *static_cast<const LWItemID*>(data); return 1;
        default: return 0;
    }
}

int Textures::getParam(LWTLayerID layer, int tag, void* data) const {
    if (!data) return 0;
    std::shared_lock lock(mutex_);
    const Layer* l = findLayer(layer);
    if (!l) return 0;
    LayerSettings s = l->settings;
    if (auto* triple = tripleOf(s, tag)) {
        std::copy(triple->begin(), triple->end(), static_cast<double*>(data));
        return 1;
    }
    if (int* i = intOf(s, tag)) {
        *static_cast<int*>(data) = *i;
        return 1;
    }
    if (double* d = doubleOf(s, tag)) {
        *static_cast<double*>(data) = *d;
        return 1;
    }
    switch (tag) {
        case TXTAG_IMAGE: *static_cast<LWImageID*>(data) = s.image; return 1;
        case TXTAG_VMAP: *static_cast<void**>(data) = s.vmap; return 1;
        case TXTAG_ROBJ: *static_cast<LWItemID*>(data) = s.referenceObject; return 1;
        default: return 0;
    }
}

void Textures::evaluateUV(LWTLayerID layer, int wAxis, int oAxis, const double oPos[3], const double wPos[3],
                          double uv[2]) const {
    if (!uv) return;
    uv[0] = uv[1] = 0.0;
    LayerSettings s;
    {
        std::shared_lock lock(mutex_);
        const Layer* l = findLayer(layer);
        if (!l) return;
        s = l->settings;
    }
    const double* pos = s.worldCoordinates ? wPos : oPos;
    if (!pos) return;
    const std::array<double, 3> p = layerSpace(s, pos);
    int axis = s.axis;
    int a = 0, b = 1;
    switch (s.projection) {
        case TXPRJ_CUBIC: {
            const int dominant = s.worldCoordinates ? wAxis : oAxis;
            if (validAxis(dominant)) axis = dominant;
            [[fallthrough]];
        }
        case TXPRJ_PLANAR:
            crossAxes(axis, a, b);
            uv[0] = p[a] + 0.5;
            uv[1] = p[b] + 0.5;
            return;
        case TXPRJ_CYLINDRICAL:
        case TXPRJ_SPHERICAL: {
            crossAxes(axis, a, b);
            uv[0] = (std::atan2(p[a], p[b]) / (2 * std::numbers::pi) + 0.5) * s.widthWrap;
            if (s.projection == TXPRJ_CYLINDRICAL) {
                uv[1] = p[axis] + 0.5;
            } else {
                const double r = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
                const double lat = r > 0 ? std::asin(std::clamp(p[axis] / r, -1.0, 1.0)) : 0.0;
                uv[1] = (lat / std::numbers::pi + 0.5) * s.heightWrap;
            }
            return;
        }
        default: return;  // front and UV: no implicit mapping
    }
}

LayerSettings Textures::settings(LWTLayerID layer) const {
    std::shared_lock lock(mutex_);
    const Layer* l = findLayer(layer);
    if (!l) throw HostError("no such texture layer");
    return l->settings;
}

double Textures::noise(const double in[3]) {
    const auto& p = permutation();
    double x = in[0], y = in[1], z = in[2];
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) return 0.5;
    const double fx = std::floor(x), fy = std::floor(y), fz = std::floor(z);
    // The lattice cell modulo 256, without converting huge values to int.
    auto cell = [](double f) {
        const double m = std::fmod(f, 256.0);
        return static_cast<int>(m < 0 ? m + 256.0 : m) & 255;
    };
    const int X = cell(fx), Y = cell(fy), Z = cell(fz);
    x -= fx, y -= fy, z -= fz;
    const double u = fade(x), v = fade(y), w = fade(z);
    const int A = p[X] + Y, AA = p[A] + Z, AB = p[A + 1] + Z;
    const int B = p[X + 1] + Y, BA = p[B] + Z, BB = p[B + 1] + Z;
    const double n =
        mix(mix(mix(grad(p[AA], x, y, z), grad(p[BA], x - 1, y, z), u),
                mix(grad(p[AB], x, y - 1, z), grad(p[BB], x - 1, y - 1, z), u), v),
            mix(mix(grad(p[AA + 1], x, y, z - 1), grad(p[BA + 1], x - 1, y, z - 1), u),
                mix(grad(p[AB + 1], x, y - 1, z - 1), grad(p[BB + 1], x - 1, y - 1, z - 1), u), v),
            w);
    return std::clamp((n + 1.0) * 0.5, 0.0, 1.0);
}

// ---- load and save

std::string Textures::objectName(LWItemID item) const {
    if (!item || !host_) return {};
    const char* name = host_->scene().type(item) == LWI_OBJECT ? host_->scene().name(item) : nullptr;
    return name ? name : "";
}

LWItemID Textures::objectNamed(const std::string& name) const {
    if (!host_ || name.empty()) return nullptr;
    for (LWItemID item : host_->scene().items(LWI_OBJECT))
        if (const char* n = host_->scene().name(item); n && name == n) return item;
    return nullptr;
}

void Textures::save(LWTextureID id, const LWSaveState* state) const {
    if (!state) return;
    std::vector<LayerSettings> list;
    {
        std::shared_lock lock(mutex_);
        const Texture* t = findTexture(id);
        if (!t) return;
        for (LWTLayerID l : t->layers) list.push_back(layers_.at(l).settings);
    }
    const int count = static_cast<int>(list.size());
    LWSAVE_BEGIN(state, &kLayerCount, 1);
    LWSAVE_I4(state, &count, 1);
    LWSAVE_END(state);
    for (const LayerSettings& s : list) {
        LWSAVE_BEGIN(state, &kLayer, 0);
        const int type = s.type;
        LWSAVE_BEGIN(state, &kType, 1);
        LWSAVE_I4(state, &type, 1);
        LWSAVE_END(state);
        double placement[12];
        for (int i = 0; i < 3; ++i) {
            placement[i] = s.position[i];
            placement[3 + i] = s.rotation[i];
            placement[6 + i] = s.size[i];
            placement[9 + i] = s.falloff[i];
        }
        LWSAVE_BEGIN(state, &kPlacement, 1);
        LWSAVE_DP(state, placement, 12);
        LWSAVE_END(state);
        const double numbers[4] = {s.widthWrap, s.heightWrap, s.opacity, s.antialiasThreshold};
        LWSAVE_BEGIN(state, &kNumbers, 1);
        LWSAVE_DP(state, numbers, 4);
        LWSAVE_END(state);
        const int switches[11] = {s.projection,  s.axis,   s.worldCoordinates, s.antialiasing,
                                  s.pixelBlending, s.widthRepeat, s.heightRepeat, s.active,
                                  s.invert,      s.blend,  s.input};
        LWSAVE_BEGIN(state, &kSwitches, 1);
        LWSAVE_I4(state, switches, 11);
        LWSAVE_END(state);
        const std::string reference = objectName(s.referenceObject);
        if (!reference.empty()) {
            LWSAVE_BEGIN(state, &kReference, 1);
            LWSAVE_STR(state, reference.c_str());
            LWSAVE_END(state);
        }
        LWSAVE_END(state);
    }
}

LWError Textures::readLayers(const LWLoadState* state, std::vector<LayerSettings>& layers) const {
    if (!state) return "No load state";
    LWError error = nullptr;
    int count = -1;
    std::vector<LayerSettings> read;
    while (LWID id = LWLOAD_FIND(state, kLayerBlocks)) {
        if (id == kLayerCount.id) {
            if (!error && (LWLOAD_I4(state, &count, 1) != 1 || count < 0)) error = "Texture layer count is unsound";
            LWLOAD_END(state);
            continue;
        }
        LayerSettings s;
        bool haveType = false, havePlacement = false, haveNumbers = false, haveSwitches = false;
        while (LWID inner = LWLOAD_FIND(state, kSettingBlocks)) {
            if (!error) {
                if (inner == kType.id) {
                    haveType = LWLOAD_I4(state, &s.type, 1) == 1;
                    if (!haveType) error = "Texture layer type is cut short";
                } else if (inner == kPlacement.id) {
                    double v[12];
                    havePlacement = LWLOAD_DP(state, v, 12) == 12;
                    if (!havePlacement) error = "Texture layer placement is cut short";
                    for (int i = 0; havePlacement && i < 3; ++i) {
                        s.position[i] = v[i];
                        s.rotation[i] = v[3 + i];
                        s.size[i] = v[6 + i];
                        s.falloff[i] = v[9 + i];
                    }
                } else if (inner == kNumbers.id) {
                    double v[4];
                    haveNumbers = LWLOAD_DP(state, v, 4) == 4;
                    if (!haveNumbers) error = "Texture layer numbers are cut short";
                    else s.widthWrap = v[0], s.heightWrap = v[1], s.opacity = v[2], s.antialiasThreshold = v[3];
                } else if (inner == kSwitches.id) {
                    int v[11];
                    haveSwitches = LWLOAD_I4(state, v, 11) == 11;
                    if (!haveSwitches) {
                        error = "Texture layer settings are cut short";
                    } else {
                        s.projection = v[0], s.axis = v[1], s.worldCoordinates = sw(v[2]);
                        s.antialiasing = sw(v[3]), s.pixelBlending = sw(v[4]), s.widthRepeat = v[5];
                        s.heightRepeat = v[6], s.active = sw(v[7]), s.invert = sw(v[8]), s.blend = v[9];
                        s.input = v[10];
                    }
                } else if (inner == kReference.id) {
                    char name[kNameLength];
                    if (LWLOAD_STR(state, name, kNameLength) < 0) error = "Texture layer reference is cut short";
                    else s.referenceObject = objectNamed(name);
                }
            }
            LWLOAD_END(state);
        }
        LWLOAD_END(state);
        if (error) continue;
        if (!haveType || !havePlacement || !haveNumbers || !haveSwitches) error = "Texture layer data is incomplete";
        else if (!sound(s)) error = "Texture layer setting is out of range";
        else read.push_back(s);
    }
    if (error) return error;
    if (count < 0) return "Texture layer count is missing";
    if (static_cast<size_t>(count) != read.size()) return "Texture layers are missing";
    layers.insert(layers.end(), read.begin(), read.end());
    return nullptr;
}

LWError Textures::load(LWTextureID id, const LWLoadState* state) {
    if (!isTexture(id)) return nullptr;
    std::vector<LayerSettings> list;
    if (LWError error = readLayers(state, list)) return error;
    setLayers(id, list);
    return nullptr;
}

}  // namespace hostsim
