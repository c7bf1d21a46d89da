// The blocks that texture, shader and node instances keep in the host's
// scene and object files: the instance, its layer, colour correction,
// mapping, falloff and item references.
#include <cstdint>
#include <string>

#include "block_io.h"
#include "colour_correction.h"
#include "image_layer.h"
#include "layer_instance.h"
#include "mapping.h"

namespace korvalith {

namespace {

using namespace blocks;

const Level kInstanceLevel{{id("VERS"), "Version"},      {id("KRVL"), "KorvalithImage"},
                           {id("RVAL"), "returnValue"},  {id("SCHN"), "SurfaceChannel"},
                           {id("SCHM"), "SurfaceChannelStrength"}, {id("SCHI"), "SurfaceChannelInvert"}};
const Level kLayerLevel{{id("OLAP"), "Overlap"}, {id("QUAL"), "Quality"},    {id("IMAG"), "Image"},
                        {id("CHAN"), "Channel"}, {id("PROJ"), "Projection"}, {id("SICC"), "SimpleColourCorrection"}};
const Level kCorrectionLevel{{id("CBRT"), "Brightness"}, {id("CCNT"), "Contrast"}, {id("CHUE"), "Hue"},
                             {id("CSAT"), "Saturation"}, {id("CGAM"), "Gamma"},    {id("CINV"), "Invert"}};
const Level kMappingLevel{
    {id("SIZE"), "Size"},          {id("CNTR"), "Position"},        {id("ROTA"), "Rotation"},
    {id("AXIS"), "Axis"},          {id("PROJ"), "ProjectionType"},  {id("WTIL"), "WidthTile"},
    {id("HTIL"), "HeightTile"},    {id("FALL"), "Falloff"},         {id("SPCE"), "WorldCoordinates"},
    {id("FIXD"), "Fixed"},         {id("REFO"), "ReferenceObject"}, {id("REFC"), "ReferenceCamera"},
    {id("UVMO"), "UVMap"},         {id("FTIM"), "FrontProjectionTime"}, {id("SETO"), "SegmentTop"},
    {id("SELE"), "SegmentLeft"},   {id("SEWI"), "SegmentWidth"},    {id("SEHE"), "SegmentHeight"},
    {id("UMUL"), "U_Multiplier"},  {id("VMUL"), "V_Multiplier"},    {id("UOFF"), "U_Offset"},
    {id("VOFF"), "V_Offset"},      {id("WWRP"), "WidthWrap"},       {id("HWRP"), "HeightWrap"},
    {id("TIME"), "FixedTime"}};
const Level kFalloffLevel{{id("FLTY"), "FalloffType"}, {id("FLVA"), "FalloffValue"}};
const Level kItemLevel{{id("ITEM"), "Item"}, {id("ITID"), "ItemID"}, {id("ITTY"), "ItemType"}};

// Older files kept some values as one float: it becomes all three
// components, both cached and in the host parameter.
void loadOlderFloat(const LWLoadState* l, AnimParam& p) {
    float x = 0;
    if (l->readFP(l->readData, &x, 1) == 1) p.setValue(x, x, x);
}

// ---- item references

void saveItemRef(const LWSaveState* s, ItemRef& ref) {
    ref.refreshName();
    if (!ref.itemName().empty())
        block(s, "ITEM", "Item", true, [&] { s->writeStr(s->writeData, ref.itemName().c_str()); });
    block(s, "ITID", "ItemID", true, [&] {
        const uint32_t v = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(ref.item()));
        s->writeU4(s->writeData, &v, 1);
    });
    block(s, "ITTY", "ItemType", true, [&] {
        const uint32_t v = static_cast<uint32_t>(ref.type());
        s->writeU4(s->writeData, &v, 1);
    });
}

void loadItemRef(const LWLoadState* l, ItemRef& ref) {
    for (LWID code; (code = kItemLevel.next(l)) != 0; l->endBlk(l->readData)) {
        if (code == id("ITEM")) {
            std::vector<char> name(1025, '\0');
            if (l->readStr(l->readData, name.data(), 1025) >= 0) ref.setItemName(name.data());
        } else {
            uint32_t v = 0;
            if (l->readU4(l->readData, &v, 1) != 1) continue;
            if (code == id("ITID")) ref.setItem(reinterpret_cast<LWItemID>(static_cast<uintptr_t>(v)));
            else ref.setType(static_cast<int>(v));
        }
    }
    ref.rebindByName();
}

// ---- falloff

void saveFalloff(const LWSaveState* s, const LayerFalloff& f) {
    leafI2(s, "FLTY", "FalloffType", f.type);
    paramBlock(s, "FLVA", "FalloffValue", f.value);
}

void loadFalloff(const LWLoadState* l, LayerFalloff& f) {
    for (LWID code; (code = kFalloffLevel.next(l)) != 0; l->endBlk(l->readData)) {
        if (code == id("FLTY")) f.type = readI2(l, f.type);
        else f.value.load(l);
    }
}

}  // namespace

// ---- mapping

LWError LayerMapping::save(const LWSaveState* s) {
    paramBlock(s, "SIZE", "Size", scale);
    paramBlock(s, "CNTR", "Position", position);
    paramBlock(s, "ROTA", "Rotation", rotation);
    leafI2(s, "AXIS", "Axis", axis);
    leafI2(s, "PROJ", "ProjectionType", kind_);
    leafI2(s, "WTIL", "WidthTile", uTiling);
    leafI2(s, "HTIL", "HeightTile", vTiling);
    block(s, "FALL", "Falloff", false, [&] { saveFalloff(s, falloff); });
    leafI2(s, "SPCE", "WorldCoordinates", worldCoordinates);
    leafI2(s, "FIXD", "Fixed", fixed ? 1 : 0);
    block(s, "REFO", "ReferenceObject", false, [&] { saveItemRef(s, referenceObject); });
    block(s, "REFC", "ReferenceCamera", false, [&] { saveItemRef(s, referenceCamera); });
    if (!uvMapName.empty()) block(s, "UVMO", "UVMap", true, [&] { s->writeStr(s->writeData, uvMapName.c_str()); });
    paramBlock(s, "FTIM", "FrontProjectionTime", fixedTimeParam);
    paramBlock(s, "SETO", "SegmentTop", segTop);
    paramBlock(s, "SELE", "SegmentLeft", segLeft);
    paramBlock(s, "SEWI", "SegmentWidth", segWidth);
    paramBlock(s, "SEHE", "SegmentHeight", segHeight);
    paramBlock(s, "UMUL", "U_Multiplier", uTiles);
    paramBlock(s, "VMUL", "V_Multiplier", vTiles);
    paramBlock(s, "UOFF", "U_Offset", uOffset);
    paramBlock(s, "VOFF", "V_Offset", vOffset);
    return nullptr;
}

LWError LayerMapping::load(const LWLoadState* l) {
    for (LWID code; (code = kMappingLevel.next(l)) != 0; l->endBlk(l->readData)) {
        switch (code) {
            case id("SIZE"): scale.load(l); break;
            case id("CNTR"): position.load(l); break;
            case id("ROTA"): rotation.load(l); break;
            case id("AXIS"): axis = readI2(l, axis); break;
            case id("PROJ"): setProjection(readI2(l, kind_)); break;
            case id("WTIL"): uTiling = readI2(l, uTiling); break;
            case id("HTIL"): vTiling = readI2(l, vTiling); break;
            case id("FALL"): loadFalloff(l, falloff); break;
            case id("SPCE"): worldCoordinates = readI2(l, worldCoordinates); break;
            case id("FIXD"): fixed = readI2(l, fixed ? 1 : 0) != 0; break;
            case id("REFO"): loadItemRef(l, referenceObject); break;
            case id("REFC"): loadItemRef(l, referenceCamera); break;
            case id("UVMO"): {
                char name[256] = {};
                if (l->readStr(l->readData, name, sizeof name) >= 0) uvMapName = name;
                break;
            }
            case id("FTIM"): fixedTimeParam.load(l); break;
            case id("SETO"): segTop.load(l); break;
            case id("SELE"): segLeft.load(l); break;
            case id("SEWI"): segWidth.load(l); break;
            case id("SEHE"): segHeight.load(l); break;
            case id("UMUL"): uTiles.load(l); break;
            case id("VMUL"): vTiles.load(l); break;
            case id("UOFF"): uOffset.load(l); break;
            case id("VOFF"): vOffset.load(l); break;
            case id("WWRP"): loadOlderFloat(l, uTiles); break;
            case id("HWRP"): loadOlderFloat(l, vTiles); break;
            case id("TIME"): loadOlderFloat(l, fixedTimeParam); break;
            default: break;
        }
    }
    return nullptr;
}

// ---- colour correction

LWError SimpleColourCorrection::save(const LWSaveState* s) const {
    paramBlock(s, "CBRT", "Brightness", brightness);
    paramBlock(s, "CCNT", "Contrast", contrast);
    paramBlock(s, "CHUE", "Hue", hue);
    paramBlock(s, "CSAT", "Saturation", saturation);
    paramBlock(s, "CGAM", "Gamma", gamma);
    block(s, "CINV", "Invert", true, [&] {
        const uint8_t v = invert ? 1 : 0;
        s->writeU1(s->writeData, &v, 1);
    });
    return nullptr;
}

LWError SimpleColourCorrection::load(const LWLoadState* l) {
    for (LWID code; (code = kCorrectionLevel.next(l)) != 0; l->endBlk(l->readData)) {
        switch (code) {
            case id("CBRT"): brightness.load(l); break;
            case id("CCNT"): contrast.load(l); break;
            case id("CHUE"): hue.load(l); break;
            case id("CSAT"): saturation.load(l); break;
            case id("CGAM"): gamma.load(l); break;
            case id("CINV"): {
                uint8_t v = 0;
                if (l->readU1(l->readData, &v, 1) == 1) invert = v == 1;
                break;
            }
            default: break;
        }
    }
    markChanged();
    return nullptr;
}

// ---- layer

LWError ImageLayer::save(const LWSaveState* s) {
    paramBlock(s, "OLAP", "Overlap", lodBlending);
    paramBlock(s, "QUAL", "Quality", quality);
    block(s, "IMAG", "Image", false, [&] {
        if (core_) core_->saveImageRef(image_, s);
    });
    leafI2(s, "CHAN", "Channel", channel);
    block(s, "PROJ", "Projection", false, [&] { mapping.save(s); });
    if (correction) block(s, "SICC", "SimpleColourCorrection", false, [&] { correction->save(s); });
    return nullptr;
}

LWError ImageLayer::load(const LWLoadState* l) {
    LWError result = nullptr;
    for (LWID code; (code = kLayerLevel.next(l)) != 0; l->endBlk(l->readData)) {
        switch (code) {
            case id("OLAP"): result = lodBlending.load(l); break;
            case id("QUAL"): result = quality.load(l); break;
            case id("IMAG"):
                if (!core_) break;
                // A layer that already shows an image gives its reference
                // back before taking the loaded one.
                adoptImage(core_->loadImageRef(l));
                break;
            case id("CHAN"): channel = readI2(l, channel); break;
            case id("PROJ"): result = mapping.load(l); break;
            case id("SICC"):
                if (correction) correction->load(l);
                break;
            default: break;
        }
    }
    return result;
}

// ---- instance

LWError LayerInstance::save(const LWSaveState* s) {
    leafI2(s, "VERS", "Version", 1);
    block(s, "KRVL", "KorvalithImage", false, [&] { layer_.save(s); });
    if (kind_ == kTextureInstance) block(s, "RVAL", "returnValue", false, [&] { writeI2(s, returnValue ? 1 : 0); });
    if (kind_ == kShaderInstance) {
        block(s, "SCHN", "SurfaceChannel", false, [&] {
            const int32_t v = layer_.surfaceChannel;
            s->writeI4(s->writeData, &v, 1);
        });
        paramBlock(s, "SCHM", "SurfaceChannelStrength", layer_.strength);
        block(s, "SCHI", "SurfaceChannelInvert", false, [&] {
            const char v = layer_.invert ? 1 : 0;
            s->writeI1(s->writeData, &v, 1);
        });
    }
    return nullptr;
}

LWError LayerInstance::load(const LWLoadState* l) {
    LWError result = nullptr;
    for (LWID code; (code = kInstanceLevel.next(l)) != 0; l->endBlk(l->readData)) {
        switch (code) {
            case id("VERS"): readI2(l, 0); break;
            case id("KRVL"): result = layer_.load(l); break;
            case id("RVAL"): returnValue = readI2(l, returnValue ? 1 : 0) != 0; break;
            case id("SCHN"): {
                int32_t v = 0;
                if (l->readI4(l->readData, &v, 1) == 1) layer_.surfaceChannel = v;
                break;
            }
            case id("SCHM"): layer_.strength.load(l); break;
            case id("SCHI"): {
                char v = 0;
                if (l->readI1(l->readData, &v, 1) == 1) layer_.invert = v != 0;
                break;
            }
            default: break;
        }
    }
    return result;
}

}  // namespace korvalith
