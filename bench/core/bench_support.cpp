#include "bench_support.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "codec.h"
#include "host.h"
#include "host_access.h"
#include "registry.h"

namespace bench {

void startCore() {
    static hostsim::Host* host = [] {
        auto* h = new hostsim::Host;
        korvalith::setHostLookup(hostsim::Host::lookupFunction());
        korvalith::codec::startup();
        korvalith::ImageRegistry::instance().ensureLock();
        return h;
    }();
    (void)host;
}

std::string benchImage(int width, int height, int bands) {
    const char* env = std::getenv("KORVALITH_BENCH_DATA");
    const std::filesystem::path dir = env && *env ? env : "/tmp/korvalith-bench";
    std::filesystem::create_directories(dir);
    const std::string path =
        (dir / ("bench_" + std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(bands) + ".jp2"))
            .string();
    if (std::filesystem::exists(path)) return path;

    struct Data {
        int width, height, bands;
    } data{width, height, bands};
    auto* client = korvalith::codec::compressAllocClient();
    client->inputBands = bands;
    client->inputWidth = width;
    client->inputHeight = height;
    client->format = bands == 3 ? korvalith::codec::CompressFormat::RGB : korvalith::codec::CompressFormat::MultiBand;
    if (bands == 1) client->format = korvalith::codec::CompressFormat::Greyscale;
    client->targetCompression = 20;
    client->outputFile = path + ".part.jp2";  // the extension chooses the format
    client->clientData = &data;
    client->readCallback = [](korvalith::codec::CompressClient* c, int line, float** out) {
        const auto& d = *static_cast<Data*>(c->clientData);
        const double v = static_cast<double>(line) / d.height;
        for (int b = 0; b < d.bands; ++b)
            for (int x = 0; x < d.width; ++x) {
                const double u = static_cast<double>(x) / d.width;
                out[b][x] = static_cast<float>(127.5 + 120 * std::sin(40 * u + 7 * b) * std::cos(25 * v + 3 * b) +
                                               ((x / 64 + line / 64) % 2 ? 6 : -6));
            }
        return true;
    };
    client->statusCallback = [](korvalith::codec::CompressClient* c, int line) {
        const auto& d = *static_cast<Data*>(c->clientData);
        if (line % 1024 == 0) std::fprintf(stderr, "generating benchmark image: line %d of %d\n", line, d.height);
    };
    using korvalith::codec::Status;
    Status status = korvalith::codec::compressOpen(client);
    if (status == Status::Ok) status = korvalith::codec::compressRun(client);
    if (status == Status::Ok) status = korvalith::codec::compressClose(client);
    korvalith::codec::compressFreeClient(client);
    if (status != Status::Ok) throw std::runtime_error(std::string("cannot write ") + path + ": " +
                                                       korvalith::codec::errorText(status));
    std::filesystem::rename(path + ".part.jp2", path);
    return path;
}

namespace {
uint64_t statusField(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string name;
    uint64_t kib = 0;
    std::string unit;
    while (status >> name) {
        if (name == key) {
            status >> kib;
            return kib * 1024;
        }
        status.ignore(1 << 20, '\n');
    }
    return 0;
}
}  // namespace

uint64_t residentBytes() { return statusField("VmRSS:"); }
uint64_t peakResidentBytes() { return statusField("VmHWM:"); }

}  // namespace bench
