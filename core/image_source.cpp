#include "image_source.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <new>

#include "path_separator.h"

namespace korvalith {

const char* cellTypeName(int cellType) {
    switch (cellType) {
        case kCell8: return "8bit";
        case kCell16: return "16bit";
        case kCell16Float: return "16bit float";
        case kCell32Float: return "32bit float";
        default: return "*undefined*";
    }
}

int cellBytes(int cellType) {
    switch (cellType) {
        case kCell16:
        case kCell16Float: return 2;
        case kCell32Float: return 4;
        default: return 1;
    }
}

std::string fileNameOfPath(const std::string& path) {
    const size_t cut = path.rfind(kPathSeparator);
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// ---------------------------------------------------------------- ImageSource

ImageSource::ImageSource() = default;
ImageSource::~ImageSource() = default;

std::string ImageSource::lastError() {
    ScopedHostLock guard(lock_, 1);
    return lastError_;
}

void ImageSource::setLastError(const std::string& reason) noexcept {
    ScopedHostLock guard(lock_, 1);
    try {
        lastError_ = reason;
    } catch (...) {
        lastError_.clear();  // no memory for the text; keep nothing rather than half of it
    }
}

void ImageSource::buildChannels() { channels_ = buildChannelTable(bands_); }

const char* ImageSource::channelName(int index) const {
    const ChannelSpec* c = channel(index);
    return c ? c->name.c_str() : nullptr;
}

const ChannelSpec* ImageSource::channel(int index) const {
    return index >= 0 && index < channelCount() ? &channels_[static_cast<size_t>(index)] : nullptr;
}

int ImageSource::channelBandCount(int index) const {
    const ChannelSpec* c = channel(index);
    return c ? c->bandCount : 0;
}

int ImageSource::channelValueCount(int index) const {
    const ChannelSpec* c = channel(index);
    if (!c) return 0;
    return c->kind == kChannelAverage || c->kind == kChannelLuminance ? 1 : c->bandCount;
}

namespace {
template <typename Cell>
bool readAndScale(ImageSource& source, bool (ImageSource::*read)(Cell*, int, int, int, int, int, int), float scale,
                  float* out, int x0, int y0, int x1, int y1, int w, int h) {
    const size_t cells = static_cast<size_t>(w) * static_cast<size_t>(h) * static_cast<size_t>(source.fileBandCount());
    std::unique_ptr<Cell[]> temp(new (std::nothrow) Cell[cells]);
    if (!temp) return false;
    const bool ok = (source.*read)(temp.get(), x0, y0, x1, y1, w, h);
    if (ok)
        for (size_t i = 0; i < cells; ++i) out[i] = static_cast<float>(temp[i]) * scale;
    return ok;
}
}  // namespace

bool ImageSource::readRegionFloat(float* out, int x0, int y0, int x1, int y1, int w, int h) {
    if (w <= 0 || h <= 0) return false;
    switch (cellType_) {
        case kCell8: return readAndScale<uint8_t>(*this, &ImageSource::readRegion8, kScale8, out, x0, y0, x1, y1, w, h);
        case kCell16:
            return readAndScale<int16_t>(*this, &ImageSource::readRegion16, kScale16, out, x0, y0, x1, y1, w, h);
        case kCell32:
            return readAndScale<int32_t>(*this, &ImageSource::readRegion32, kScale32, out, x0, y0, x1, y1, w, h);
        default: return false;
    }
}

// ---------------------------------------------------------------- EcwImageSource

EcwImageSource::EcwImageSource(const char* path) {
    if (path) open(path);
}

EcwImageSource::~EcwImageSource() = default;

void EcwImageSource::updateSize() {
    if (!file_) return;
    width_ = file_->info().width;
    height_ = file_->info().height;
}

bool EcwImageSource::open(const std::string& path) {
    opened_ = false;
    codec::Status status = codec::Status::Ok;
    std::string why;
    auto file = codec::File::open(path, &status, &why);
    if (!file) {
        setLastError(why.empty() ? path + ": " + codec::errorText(status) : why);
        return false;
    }
    file_ = std::move(file);
    const codec::FileInfo& info = file_->info();
    if (info.reader == codec::Reader::Ecw) typeName_ = "ECW";
    else if (info.reader == codec::Reader::Jpeg2000) typeName_ = "JPEG 2000";
    bands_ = info.bands;
    compressionRate_ = info.compressionRate;
    buildChannels();
    opened_ = true;
    path_ = path;
    name_ = fileNameOfPath(path);
    cellType_ = info.cellType == 1 ? kCell16 : kCell8;
    updateSize();
    return true;
}

template <typename Cell>
bool EcwImageSource::readRegion(Cell* out, int x0, int y0, int x1, int y1, int w, int h) {
    if (!file_ || !opened_ || w <= 0 || h <= 0) return false;
    const int bands = bands_;
    std::vector<int> bandList(static_cast<size_t>(bands));
    for (int b = 0; b < bands; ++b) bandList[static_cast<size_t>(b)] = b;

    ScopedHostLock guard(lock_, 0);
    // The codec's reason, with the file's path in front when it has none.
    auto failed = [&] {
        const std::string& why = file_->lastError();
        setLastError(why.rfind(path_, 0) == 0 ? why : path_ + ": " + why);
        return false;
    };
    if (file_->setView(bands, bandList.data(), w, h, x0, y0, x1, y1) != codec::Status::Ok) return failed();
    std::vector<Cell> lineData;
    std::vector<Cell*> lines;
    try {
        lineData.resize(static_cast<size_t>(w) * static_cast<size_t>(bands));
        lines.resize(static_cast<size_t>(bands));
    } catch (const std::bad_alloc&) {
        setLastError(path_ + ": no memory for lines of " + std::to_string(w) + " pixels");
        return false;
    }
    for (int b = 0; b < bands; ++b) lines[static_cast<size_t>(b)] = lineData.data() + static_cast<size_t>(b) * w;
    for (int y = 0; y < h; ++y) {
        if (file_->readLine(lines.data()) != codec::Status::Ok) return failed();
        Cell* row = out + static_cast<size_t>(y) * w * bands;
        for (int b = 0; b < bands; ++b) {
            const Cell* line = lines[static_cast<size_t>(b)];
            for (int x = 0; x < w; ++x) row[static_cast<size_t>(x) * bands + b] = line[x];
        }
    }
    return true;
}

bool EcwImageSource::readRegion32(int32_t* out, int x0, int y0, int x1, int y1, int w, int h) {
    return readRegion(out, x0, y0, x1, y1, w, h);
}
bool EcwImageSource::readRegion16(int16_t* out, int x0, int y0, int x1, int y1, int w, int h) {
    return readRegion(out, x0, y0, x1, y1, w, h);
}
bool EcwImageSource::readRegion8(uint8_t* out, int x0, int y0, int x1, int y1, int w, int h) {
    return readRegion(out, x0, y0, x1, y1, w, h);
}

uint64_t codecCacheLimitFor(uint64_t availableBytes, uint64_t cacheBytes) {
    const uint64_t size = (availableBytes + cacheBytes) / 4;
    return std::clamp<uint64_t>(size, 0x2000000u, 0x10000000u);
}

uint64_t availablePhysicalMemory() {
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    uint64_t kib = 0;
    std::string unit;
    while (meminfo >> key >> kib >> unit)
        if (key == "MemAvailable:") return kib * 1024;
    const long pages = sysconf(_SC_AVPHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize) : 0;
}

void EcwImageSource::adjustCodecCache() {
    codec::setCacheLimit(codecCacheLimitFor(availablePhysicalMemory(), codec::cacheBytes()));
    codec::purgeCache();
}

}  // namespace korvalith
