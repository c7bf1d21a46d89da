// Shared pieces of the image core tests: one stand-in host for the whole
// test program, an in-memory image source with a known pattern, and JPEG
// 2000 files made with the codec's compression client.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "codec.h"
#include "core_image.h"
#include "host.h"
#include "host_access.h"
#include "image_source.h"
#include "jp2_fixture.h"
#include "registry.h"

namespace coretest {

// The registry's lock lives as long as the process, so the host does too.
class HostEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        host = new hostsim::Host;
        korvalith::setHostLookup(hostsim::Host::lookupFunction());
        korvalith::codec::startup();
        korvalith::ImageRegistry::instance().ensureLock();
    }
    static inline hostsim::Host* host = nullptr;
};

using testfiles::defaultPattern;
using testfiles::Pattern;
using testfiles::writeJp2;

// An open source whose reduced pixel x of factor f is the pattern at f·x,
// read with the alignment the codec uses.
class PatternSource final : public korvalith::ImageSource {
public:
    PatternSource(int width, int height, int bands, Pattern pattern = defaultPattern, int cellType = korvalith::kCell8)
        : pattern_(std::move(pattern)) {
        width_ = width;
        height_ = height;
        bands_ = bands;
        cellType_ = cellType;
        path_ = "pattern";
        name_ = "pattern";
        typeName_ = "JPEG 2000";
        opened_ = true;
        buildChannels();
    }
    void updateSize() override {}
    bool open(const std::string&) override { return false; }
    bool readRegion8(uint8_t* out, int x0, int y0, int x1, int y1, int w, int h) override {
        return read(out, x0, y0, x1, y1, w, h, 1);
    }
    bool readRegion16(int16_t* out, int x0, int y0, int x1, int y1, int w, int h) override {
        return read(out, x0, y0, x1, y1, w, h, 32767.0 / 255.0);
    }
    bool readRegion32(int32_t* out, int x0, int y0, int x1, int y1, int w, int h) override {
        return read(out, x0, y0, x1, y1, w, h, 2147483647.0 / 255.0);
    }
    std::atomic<int> reads{0};
    std::atomic<bool> failReads{false};

private:
    // The coarsest reduction r whose window still holds w × h pixels; output
    // pixel i takes level pixel lx0 + i·(window width)/w of that reduction.
    template <typename Cell>
    bool read(Cell* out, int x0, int y0, int x1, int y1, int w, int h, double scale) {
        ++reads;
        if (failReads) {
            setLastError("pattern: the read was made to fail");
            return false;
        }
        auto window = [](int a0, int a1, int r, int64_t* l0) {
            const int64_t f = int64_t{1} << r;
            *l0 = (a0 + f - 1) / f;
            return (a1 + f) / f - *l0;  // ceil((a1 + 1) / f) − l0
        };
        int r = 0;
        while (r < 30) {
            int64_t l0;
            if (window(x0, x1, r + 1, &l0) < w || window(y0, y1, r + 1, &l0) < h) break;
            ++r;
        }
        int64_t lx0, ly0;
        const int64_t ww = window(x0, x1, r, &lx0), wh = window(y0, y1, r, &ly0);
        for (int j = 0; j < h; ++j) {
            const int64_t y = (ly0 + j * wh / h) << r;
            for (int i = 0; i < w; ++i) {
                const int64_t x = (lx0 + i * ww / w) << r;
                for (int b = 0; b < bands_; ++b)
                    *out++ = static_cast<Cell>(pattern_(static_cast<int>(x), static_cast<int>(y), b) * scale +
                                               (scale == 1 ? 0 : 0.5));
            }
        }
        return true;
    }
    Pattern pattern_;
};

// A registered-like image over a pattern source, owned by the test.
inline std::unique_ptr<korvalith::CoreImage> patternImage(int width, int height, int bands,
                                                          Pattern pattern = defaultPattern,
                                                          int cellType = korvalith::kCell8,
                                                          PatternSource** sourceOut = nullptr) {
    auto image = std::make_unique<korvalith::CoreImage>();
    auto source = std::make_unique<PatternSource>(width, height, bands, std::move(pattern), cellType);
    if (sourceOut) *sourceOut = source.get();
    image->adoptSource(std::move(source));
    return image;
}

}  // namespace coretest
