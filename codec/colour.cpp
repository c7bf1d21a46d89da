// From the file's components to the bands a viewer shows: palette, channel
// definitions (colour order), sYCC, e-sYCC and CMYK to RGB, and subsampled
// components repeated over their cells of the reference grid.

#include "internal.h"

#include <algorithm>

namespace korvalith::codec::detail {
namespace {

int cellBytesFor(int precision) { return precision <= 8 ? 1 : precision <= 16 ? 2 : 4; }

bool sameSampling(const Siz& siz, const std::vector<SourceChannel>& channels, int count) {
    const SizComponent& first = siz.components[size_t(channels[0].component)];
    for (int i = 1; i < count; ++i) {
        const SizComponent& c = siz.components[size_t(channels[size_t(i)].component)];
        if (c.dx != first.dx || c.dy != first.dy) return false;
    }
    return true;
}

// The conversions of OpenJPEG's command-line decoder (src/bin/common/color.c),
// written with the same operations in the same order and precision so the
// results match it bit for bit.

// sycc_to_rgb: Cb and Cr centred on 2^(p-1); R = Y + 1.402 Cr,
// G = Y - (0.344 Cb + 0.714 Cr), B = Y + 1.772 Cb, each product in double
// of a float operand and truncated, then clamped to 0 … 2^p − 1.
void syccToRgb(int64_t y, int64_t cb, int64_t cr, int64_t offset, int64_t top, int64_t rgb[3]) {
    cb -= offset;
    cr -= offset;
    rgb[0] = std::clamp<int64_t>(y + int64_t(1.402 * double(float(cr))), 0, top);
    rgb[1] = std::clamp<int64_t>(y - int64_t(0.344 * double(float(cb)) + 0.714 * double(float(cr))), 0, top);
    rgb[2] = std::clamp<int64_t>(y + int64_t(1.772 * double(float(cb))), 0, top);
}

// color_esycc_to_rgb: Cb and Cr as stored when signed, else centred on
// 2^(p-1) of the first component; in float:
// R = Y − 0.0000368 Cb + 1.40199 Cr + 0.5,
// G = 1.0003 Y − 0.344125 Cb − 0.7141128 Cr + 0.5,
// B = 0.999823 Y + 1.77204 Cb − 0.000008 Cr + 0.5, truncated and clamped.
void esyccToRgb(int64_t y, int64_t cb, int64_t cr, int64_t top, int64_t rgb[3]) {
    const float fy = float(y), fcb = float(cb), fcr = float(cr);
    const float r = fy - float(0.0000368) * fcb + float(1.40199) * fcr + float(0.5);
    const float g = float(1.0003) * fy - float(0.344125) * fcb - float(0.7141128) * fcr + float(0.5);
    const float b = float(0.999823) * fy + float(1.77204) * fcb - float(0.000008) * fcr + float(0.5);
    const float v[3] = {r, g, b};
    for (int i = 0; i < 3; ++i) {
        // (int) of a float, as the tool converts; out-of-range values are
        // clamped before the conversion could overflow.
        const float c = std::clamp(v[i], -1.0f, float(top) + 1.0f);
        rgb[i] = std::clamp<int64_t>(int64_t(int32_t(c)), 0, top);
    }
}

// color_cmyk_to_rgb: each of C, M, Y, K scaled to 0 … 1 by 1 / (2^p − 1) in
// float and inverted; R = 255 (1 − C)(1 − K), likewise G from M and B from Y,
// truncated: always 8-bit results.
void cmykToRgb(const int64_t cmyk[4], const float scale[4], int64_t rgb[3]) {
    float v[4];
    for (int i = 0; i < 4; ++i) v[i] = 1.0F - float(cmyk[i]) * scale[i];
    for (int i = 0; i < 3; ++i) rgb[i] = std::clamp<int64_t>(int64_t(int32_t(255.0F * v[i] * v[3])), 0, 255);
}

}  // namespace

Status buildColourPlan(const Siz& siz, const Jp2Header* jp2, ColourPlan& plan, std::string& why) {
    plan = ColourPlan{};
    const auto& comps = siz.components;
    const int nc = int(comps.size());
    std::vector<SourceChannel>& channels = plan.channels;
    const bool palette = jp2 && jp2->hasPalette && !jp2->mapping.empty();
    if (jp2 && !jp2->hasPalette && !jp2->mapping.empty()) {
        why = "component mapping without a palette";
        return Status::Corrupt;
    }
    if (palette) {
        plan.palette = jp2->palette;
        for (const ComponentMapping& m : jp2->mapping) {
            if (m.component >= nc || m.paletteColumn >= plan.palette.columns) {
                why = "component mapping refers to a missing component";
                return Status::Corrupt;
            }
            if (m.paletteColumn >= 0)
                channels.push_back({m.component, m.paletteColumn, plan.palette.bits[size_t(m.paletteColumn)],
                                    plan.palette.isSigned[size_t(m.paletteColumn)] != 0});
            else
                channels.push_back({m.component, -1, comps[size_t(m.component)].precision,
                                    comps[size_t(m.component)].isSigned});
        }
    } else {
        for (int c = 0; c < nc; ++c) channels.push_back({c, -1, comps[size_t(c)].precision, comps[size_t(c)].isSigned});
    }

    // Channel definitions: colour channels in the order of their
    // association, then the others (opacity, unspecified) as listed.
    int colourChannels = int(channels.size());
    if (jp2 && !jp2->definitions.empty()) {
        std::vector<int> key(channels.size());
        std::vector<uint8_t> seen(channels.size(), 0);
        for (size_t i = 0; i < channels.size(); ++i) key[i] = 0x10000 + int(i);
        colourChannels = 0;
        for (const ChannelDefinition& d : jp2->definitions) {
            if (d.channel < 0 || size_t(d.channel) >= channels.size() || seen[size_t(d.channel)]) {
                why = "invalid channel definition (channel " + std::to_string(d.channel) + " of " +
                      std::to_string(channels.size()) + ")";
                return Status::Corrupt;
            }
            seen[size_t(d.channel)] = 1;
            if (d.type == 0 && d.association >= 1 && d.association < 0xFFFF) {
                key[size_t(d.channel)] = d.association;
                ++colourChannels;
            }
        }
        std::vector<int> order(channels.size());
        for (size_t i = 0; i < order.size(); ++i) order[i] = int(i);
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return key[size_t(a)] < key[size_t(b)]; });
        std::vector<SourceChannel> sorted;
        for (int i : order) sorted.push_back(channels[size_t(i)]);
        channels = std::move(sorted);
    }

    // Colour conversions, as OpenJPEG's decoder tool chooses them: CMYK and
    // e-sYCC when declared and their components are sampled alike; sYCC when
    // declared, or for three components whose second is subsampled against
    // the first (as viewers take raw codestreams of that shape). Components
    // all subsampled alike are not a sign of YCC.
    const uint32_t declared = jp2 && jp2->hasColourSpace ? jp2->enumeratedColourSpace : 0;
    if (!palette && declared == kColourCmyk && colourChannels >= 4 && sameSampling(siz, channels, 4)) {
        plan.transform = ColourTransform::Cmyk;
    } else if (!palette && declared == kColourEsycc && colourChannels >= 3 && sameSampling(siz, channels, 3)) {
        plan.transform = ColourTransform::Esycc;
    } else if (colourChannels >= 3) {
        const SizComponent& first = comps[size_t(channels[0].component)];
        const SizComponent& second = comps[size_t(channels[1].component)];
        const bool looksYcc =
            !palette && nc == 3 && channels.size() == 3 && first.dx == first.dy && second.dx > first.dx;
        if (declared == kColourSycc || looksYcc) plan.transform = ColourTransform::Sycc;
    }

    const int converted = plan.transform == ColourTransform::None ? 0 : plan.transform == ColourTransform::Cmyk ? 4 : 3;
    if (converted) {
        const int precision = plan.transform == ColourTransform::Cmyk ? 8 : channels[0].precision;
        for (int b = 0; b < 3; ++b) plan.bands.push_back({-1, precision, false});
    }
    for (size_t i = size_t(converted); i < channels.size(); ++i)
        plan.bands.push_back({int(i), channels[i].precision, channels[i].isSigned});
    int maxPrecision = 1;
    for (const DeliveredBand& b : plan.bands) maxPrecision = std::max(maxPrecision, b.precision);
    plan.cellBytes = cellBytesFor(maxPrecision);
    return Status::Ok;
}

namespace {

template <class T>
void fillCells(const ColourPlan& plan, const Siz& siz, const opj_image_t& image, int r, int64_t rx0, int64_t ry0,
               Block& block) {
    const size_t plane = size_t(block.width) * size_t(block.height);
    const size_t nch = plan.channels.size();
    // Per channel: the component column of every block column, and the
    // component's first absolute column and row at this level. Level pixel X
    // takes component sample floor(X / dx): a subsampled component covers
    // its whole cell of the reference grid.
    std::vector<std::vector<int64_t>> colMaps(nch);
    std::vector<int64_t> firstRow(nch);
    for (size_t i = 0; i < nch; ++i) {
        const opj_image_comp_t& comp = image.comps[plan.channels[i].component];
        const SizComponent& sc = siz.components[size_t(plan.channels[i].component)];
        const int64_t cx0 = ceilDivPow2(ceilDiv(rx0, sc.dx), r);
        firstRow[i] = ceilDivPow2(ceilDiv(ry0, sc.dy), r);
        colMaps[i].resize(size_t(block.width));
        for (int x = 0; x < block.width; ++x)
            colMaps[i][size_t(x)] = std::clamp<int64_t>(floorDiv(block.x0 + x, sc.dx) - cx0, 0, int64_t(comp.w) - 1);
    }
    auto sourceRow = [&](size_t i, int y) {
        const opj_image_comp_t& comp = image.comps[plan.channels[i].component];
        const SizComponent& sc = siz.components[size_t(plan.channels[i].component)];
        const int64_t row = std::clamp<int64_t>(floorDiv(block.y0 + y, sc.dy) - firstRow[i], 0, int64_t(comp.h) - 1);
        return comp.data + row * int64_t(comp.w);
    };
    // A palette column maps an index (clamped to the entries) to its value,
    // stored unsigned.
    auto paletteValue = [&](const SourceChannel& ch, int64_t index) {
        index = std::clamp<int64_t>(index, 0, plan.palette.entries - 1);
        return plan.palette.values[size_t(index) * size_t(plan.palette.columns) + size_t(ch.paletteColumn)];
    };

    for (size_t b = 0; b < plan.bands.size(); ++b) {
        const DeliveredBand& band = plan.bands[b];
        if (band.channel < 0) continue;
        const size_t i = size_t(band.channel);
        const SourceChannel& ch = plan.channels[i];
        const opj_image_comp_t& comp = image.comps[ch.component];
        const SizComponent& sc = siz.components[size_t(ch.component)];
        const int64_t* colMap = colMaps[i].data();
        const bool direct =
            ch.paletteColumn < 0 && sc.dx == 1 && colMap[0] == 0 && colMap[block.width - 1] == block.width - 1;
        const int64_t shift = ch.paletteColumn < 0 && comp.sgnd ? int64_t(1) << (comp.prec - 1) : 0;
        const int64_t top = (int64_t(1) << band.precision) - 1;
        T* out = reinterpret_cast<T*>(block.data.get()) + b * plane;
        for (int y = 0; y < block.height; ++y) {
            const OPJ_INT32* src = sourceRow(i, y);
            T* dst = out + size_t(y) * size_t(block.width);
            if (ch.paletteColumn >= 0) {
                for (int x = 0; x < block.width; ++x) dst[x] = T(paletteValue(ch, src[colMap[x]]));
            } else if (direct) {
                for (int x = 0; x < block.width; ++x) dst[x] = T(std::clamp<int64_t>(src[x] + shift, 0, top));
            } else {
                for (int x = 0; x < block.width; ++x) dst[x] = T(std::clamp<int64_t>(src[colMap[x]] + shift, 0, top));
            }
        }
    }
    if (plan.transform == ColourTransform::None) return;

    // The converted colours: the first three (CMYK: four) channels, read as
    // the tool reads the components (signed samples as stored), into the
    // first three bands.
    const int inputs = plan.transform == ColourTransform::Cmyk ? 4 : 3;
    const int precision0 = plan.channels[0].precision;
    const int64_t half = int64_t(1) << (precision0 - 1);
    const int64_t top = (int64_t(1) << plan.bands[0].precision) - 1;
    float scale[4] = {};
    for (int i = 0; i < inputs; ++i)
        scale[i] = 1.0F / float((int64_t(1) << plan.channels[size_t(i)].precision) - 1);
    T* planes[3];
    for (int b = 0; b < 3; ++b) planes[b] = reinterpret_cast<T*>(block.data.get()) + size_t(b) * plane;
    for (int y = 0; y < block.height; ++y) {
        const OPJ_INT32* src[4] = {};
        for (int i = 0; i < inputs; ++i) src[i] = sourceRow(size_t(i), y);
        const size_t rowStart = size_t(y) * size_t(block.width);
        for (int x = 0; x < block.width; ++x) {
            int64_t v[4];
            for (int i = 0; i < inputs; ++i) {
                const SourceChannel& ch = plan.channels[size_t(i)];
                const int64_t raw = src[i][colMaps[size_t(i)][size_t(x)]];
                v[i] = ch.paletteColumn >= 0 ? paletteValue(ch, raw) : raw;
            }
            int64_t rgb[3];
            switch (plan.transform) {
            case ColourTransform::Sycc: {
                // On the unsigned range of the first component, as delivered
                // cells are: signed samples moved up by half their range.
                int64_t u[3];
                for (int i = 0; i < 3; ++i) {
                    const SourceChannel& ch = plan.channels[size_t(i)];
                    const int64_t shift = ch.isSigned && ch.paletteColumn < 0 ? int64_t(1) << (ch.precision - 1) : 0;
                    u[i] = std::clamp<int64_t>(v[i] + shift, 0, top);
                }
                syccToRgb(u[0], u[1], u[2], half, top, rgb);
                break;
            }
            case ColourTransform::Esycc: {
                const bool cbSigned = plan.channels[1].isSigned && plan.channels[1].paletteColumn < 0;
                const bool crSigned = plan.channels[2].isSigned && plan.channels[2].paletteColumn < 0;
                esyccToRgb(v[0], cbSigned ? v[1] : v[1] - half, crSigned ? v[2] : v[2] - half, top, rgb);
                break;
            }
            case ColourTransform::Cmyk: cmykToRgb(v, scale, rgb); break;
            case ColourTransform::None: break;
            }
            for (int b = 0; b < 3; ++b) planes[b][rowStart + size_t(x)] = T(rgb[b]);
        }
    }
}

}  // namespace

void fillBlock(const ColourPlan& plan, const Siz& siz, const opj_image_t& image, int r, int64_t rx0, int64_t ry0,
               Block& block) {
    switch (plan.cellBytes) {
    case 1: fillCells<uint8_t>(plan, siz, image, r, rx0, ry0, block); break;
    case 2: fillCells<uint16_t>(plan, siz, image, r, rx0, ry0, block); break;
    default: fillCells<uint32_t>(plan, siz, image, r, rx0, ry0, block); break;
    }
}

}  // namespace korvalith::codec::detail
