// Opens the input as a JPEG 2000 file through the codec adapter and reads
// two views of it line by line: the whole image at a small size, and a
// rectangle, bands, output size and cell width chosen by the input's tail.
// Sizes are bounded so one run stays fast. A read must not report success
// past the view's last line, and cells stay in their positive range.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "codec.h"
#include "fuzz_support.h"

namespace codec = korvalith::codec;

namespace {

constexpr int kMaxOutput = 256;

template <typename Cell>
void readView(codec::File& file, int bandCount, int width, int height) {
    std::vector<std::vector<Cell>> lines(static_cast<size_t>(bandCount), std::vector<Cell>(static_cast<size_t>(width)));
    std::vector<Cell*> pointers;
    for (auto& line : lines) pointers.push_back(line.data());
    for (int y = 0; y < height; ++y) {
        if (file.readLine(pointers.data()) != codec::Status::Ok) return;
        for (const auto& line : lines)
            for (Cell c : line)
                if (c < 0) fuzz::fail("a negative cell in line " + std::to_string(y) + " of " + file.path());
    }
    if (file.readLine(pointers.data()) == codec::Status::Ok)
        fuzz::fail("a line read past the view's last line succeeded");
}

void view(codec::File& file, fuzz::Choices& choose, int bandCount, const int* bands, int width, int height, int x0,
          int y0, int x1, int y1) {
    if (file.setView(bandCount, bands, width, height, x0, y0, x1, y1) != codec::Status::Ok) return;
    switch (choose.below(3)) {
        case 0: readView<uint8_t>(file, bandCount, width, height); break;
        case 1: readView<int16_t>(file, bandCount, width, height); break;
        default: readView<int32_t>(file, bandCount, width, height); break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    codec::startup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz::writeScratch("input.jp2", data, size);
    codec::Status status = codec::Status::Ok;
    std::unique_ptr<codec::File> file = codec::File::open(path, &status);
    if (!file) {
        if (status == codec::Status::Ok) fuzz::fail("open failed and reported success");
        return 0;
    }
    const codec::FileInfo& info = file->info();
    if (info.width <= 0 || info.height <= 0 || info.bands <= 0) fuzz::fail("an open file without pixels or bands");
    fuzz::Choices choose(data, size);

    // The whole image, every band, at a small size.
    std::vector<int> all(static_cast<size_t>(std::min(info.bands, 4)));
    for (size_t b = 0; b < all.size(); ++b) all[b] = static_cast<int>(b);
    // Choices are drawn one statement at a time: the order of arguments
    // differs between compilers, and a kept input must replay the same.
    const int smallWidth = std::min(info.width, 1 + choose.below(64));
    const int smallHeight = std::min(info.height, 1 + choose.below(64));
    view(*file, choose, static_cast<int>(all.size()), all.data(), smallWidth, smallHeight, 0, 0, info.width - 1,
         info.height - 1);

    // A chosen rectangle; now and then one that reaches outside the image
    // or names a band the file lacks, which must be refused cleanly.
    const bool outside = choose.below(16) == 0;
    const int x0 = choose.below(info.width), y0 = choose.below(info.height);
    int x1 = x0 + choose.below(info.width - x0), y1 = y0 + choose.below(info.height - y0);
    if (outside) {
        int& edge = choose.below(2) ? x1 : y1;
        edge += 1 + choose.below(4);
    }
    std::vector<int> bands(static_cast<size_t>(1 + choose.below(std::min(info.bands, 4))));
    for (int& b : bands) b = choose.below(info.bands + (outside ? 1 : 0));
    const int width = 1 + choose.below(kMaxOutput);
    const int height = 1 + choose.below(kMaxOutput);
    view(*file, choose, static_cast<int>(bands.size()), bands.data(), width, height, x0, y0, x1, y1);
    return 0;
}
