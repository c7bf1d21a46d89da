// JPEG 2000 test files made with the codec's compression client.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "codec.h"

namespace testfiles {

// Sample value of band b at pixel (x, y), 0…255.
using Pattern = std::function<int(int x, int y, int band)>;

inline int defaultPattern(int x, int y, int band) { return (x * 7 + y * 13 + band * 50) & 255; }

// Noise that a seed repeats: neighbouring pixels, bands and the levels of a
// pyramid all differ, so a sample read at a wrong place or level shows.
inline Pattern noisePattern(uint32_t seed) {
    return [seed](int x, int y, int band) {
        uint32_t h = seed ^ (static_cast<uint32_t>(x) * 0x9E3779B1u) ^ (static_cast<uint32_t>(y) * 0x85EBCA77u) ^
                     (static_cast<uint32_t>(band) * 0xC2B2AE3Du);
        h ^= h >> 15;
        h *= 0x2C1B3C6Du;
        h ^= h >> 12;
        h *= 0x297A2D39u;
        h ^= h >> 15;
        return static_cast<int>(h & 255);
    };
}

// Writes a lossless 8-bit JPEG 2000 file of the pattern into the test's
// temporary folder and returns its path.
inline std::string writeJp2(const std::string& name, int width, int height, int bands,
                            Pattern pattern = defaultPattern) {
    struct Data {
        Pattern pattern;
        int width;
        int bands;
    } data{std::move(pattern), width, bands};
    namespace codec = korvalith::codec;
    auto* client = codec::compressAllocClient();
    client->inputBands = bands;
    client->inputWidth = width;
    client->inputHeight = height;
    client->format = bands == 1   ? codec::CompressFormat::Greyscale
                     : bands == 3 ? codec::CompressFormat::RGB
                                  : codec::CompressFormat::MultiBand;
    client->targetCompression = 1;
    client->outputFile = ::testing::TempDir() + name;
    client->clientData = &data;
    client->readCallback = [](codec::CompressClient* c, int line, float** bandLines) {
        const auto& d = *static_cast<Data*>(c->clientData);
        for (int b = 0; b < d.bands; ++b)
            for (int x = 0; x < d.width; ++x) bandLines[b][x] = static_cast<float>(d.pattern(x, line, b));
        return true;
    };
    codec::Status status = codec::compressOpen(client);
    if (status == codec::Status::Ok) status = codec::compressRun(client);
    if (status == codec::Status::Ok) status = codec::compressClose(client);
    const std::string path = client->outputFile;
    codec::compressFreeClient(client);
    EXPECT_EQ(status, codec::Status::Ok) << codec::errorText(status);
    return path;
}

// writeJp2 into a folder named for the running test, so tests that run at
// the same time never share a file; the name the image shows is the last
// part.
inline std::string writeTestJp2(const char* name, int width, int height, int bands, Pattern pattern) {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string folder = std::string(test->test_suite_name()) + "." + test->name();
    for (char& c : folder)
        if (c == '/') c = '.';
    std::filesystem::create_directories(::testing::TempDir() + folder);
    return writeJp2(folder + "/" + name, width, height, bands, std::move(pattern));
}

}  // namespace testfiles
