// Readers of raster files: size, bands, cell type, channel choices, and any
// file rectangle read at any output size.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "channel.h"
#include "codec.h"
#include "host_lock.h"

namespace korvalith {

enum CellType : int {
    kCell8 = 0,
    kCell16 = 1,
    kCell32 = 2,
    kCell16Float = 3,
    kCell32Float = 4,
};

// Scales from integer cells to 0…1 floats, as single-precision constants.
inline constexpr float kScale8 = 0.003921569f;       // 1/255
inline constexpr float kScale16 = 3.0518509e-05f;    // 1/32767
inline constexpr float kScale32 = 4.656613e-10f;     // 2^-31

const char* cellTypeName(int cellType);
int cellBytes(int cellType);

// The file name of a path: the part after the last separator.
std::string fileNameOfPath(const std::string& path);

class ImageSource {
public:
    ImageSource();
    virtual ~ImageSource();
    ImageSource(const ImageSource&) = delete;
    ImageSource& operator=(const ImageSource&) = delete;

    void assignName(const ImageSource& other) { name_ = other.name_; }
    void setName(const std::string& name) { name_ = name; }
    // Null while empty.
    const char* name() const { return name_.empty() ? nullptr : name_.c_str(); }
    void buildChannels();
    virtual void updateSize() = 0;
    virtual bool open(const std::string& path) = 0;
    int channelCount() const { return static_cast<int>(channels_.size()); }
    const char* channelName(int index) const;
    const ChannelSpec* channel(int index) const;
    int channelBandCount(int index) const;
    int channelValueCount(int index) const;
    const char* path() const { return path_.empty() ? nullptr : path_.c_str(); }
    // Rectangle (x0, y0)–(x1, y1) inclusive, read into w × h pixels of all
    // bands, pixel-interleaved.
    bool readRegionFloat(float* out, int x0, int y0, int x1, int y1, int w, int h);
    virtual bool readRegion32(int32_t* out, int x0, int y0, int x1, int y1, int w, int h) = 0;
    virtual bool readRegion16(int16_t* out, int x0, int y0, int x1, int y1, int w, int h) = 0;
    virtual bool readRegion8(uint8_t* out, int x0, int y0, int x1, int y1, int w, int h) = 0;
    int width() const { return width_; }
    int height() const { return height_; }
    int fileBandCount() const { return bands_; }
    virtual void adjustCodecCache() {}
    // What the codec read from the file's header; null for other sources.
    virtual const codec::FileInfo* fileInfo() const { return nullptr; }
    int cellType() const { return cellType_; }
    const char* cellTypeName() const { return korvalith::cellTypeName(cellType_); }
    int cellBytes() const { return korvalith::cellBytes(cellType_); }
    const char* typeName() const { return typeName_; }
    int compressionRate() const { return compressionRate_; }
    bool opened() const { return opened_; }

    // Why the last open or read of this file failed (empty when none did).
    // Any thread may ask and tell; the text has its own lock index.
    std::string lastError();
    void setLastError(const std::string& reason) noexcept;

protected:
    std::string name_;
    // Index 0 guards region reads, index 1 the last error.
    HostLock lock_;
    std::string path_;
    int bands_ = 0;
    int compressionRate_ = 1;
    std::vector<ChannelSpec> channels_;
    const char* typeName_ = "ECW/JPEG2000";
    int width_ = 0;
    int height_ = 0;
    bool opened_ = false;
    int cellType_ = kCell8;

private:
    std::string lastError_;
};

// Reads ECW and JPEG 2000 files through the codec library.
class EcwImageSource final : public ImageSource {
public:
    explicit EcwImageSource(const char* path = nullptr);
    ~EcwImageSource() override;
    void updateSize() override;
    bool open(const std::string& path) override;
    bool readRegion32(int32_t* out, int x0, int y0, int x1, int y1, int w, int h) override;
    bool readRegion16(int16_t* out, int x0, int y0, int x1, int y1, int w, int h) override;
    bool readRegion8(uint8_t* out, int x0, int y0, int x1, int y1, int w, int h) override;
    void adjustCodecCache() override;
    const codec::FileInfo* fileInfo() const override { return file_ ? &file_->info() : nullptr; }

private:
    template <typename Cell>
    bool readRegion(Cell* out, int x0, int y0, int x1, int y1, int w, int h);
    std::unique_ptr<codec::File> file_;
};

// The codec cache limit for a machine with `availableBytes` free and a
// codec cache holding `cacheBytes`: a quarter of both, within 32 to 256 MiB.
uint64_t codecCacheLimitFor(uint64_t availableBytes, uint64_t cacheBytes);
// Physical memory available now, as the operating system reports it.
uint64_t availablePhysicalMemory();

}  // namespace korvalith
