// A small lossless RGB JPEG 2000 image for seed inputs that name an image.
#pragma once

#include <string>

#include "codec.h"
#include "fuzz_support.h"

namespace fuzz {

inline std::string writeSeedImage(const std::string& path, int width = 48, int height = 32) {
    namespace codec = korvalith::codec;
    codec::CompressClient* client = codec::compressAllocClient();
    client->inputBands = 3;
    client->inputWidth = width;
    client->inputHeight = height;
    client->format = codec::CompressFormat::RGB;
    client->targetCompression = 1;
    client->outputFile = path;
    client->readCallback = [](codec::CompressClient* c, int line, float** bandLines) {
        for (int b = 0; b < 3; ++b)
            for (int x = 0; x < c->inputWidth; ++x)
                bandLines[b][x] = static_cast<float>((x * 5 + line * 3 + b * 80) & 255);
        return true;
    };
    codec::Status status = codec::compressOpen(client);
    if (status == codec::Status::Ok) status = codec::compressRun(client);
    if (status == codec::Status::Ok) status = codec::compressClose(client);
    codec::compressFreeClient(client);
    if (status != codec::Status::Ok) fail(path + ": " + codec::errorText(status));
    return path;
}

}  // namespace fuzz
