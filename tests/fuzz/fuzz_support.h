// What the fuzz targets share: a scratch folder of their own, input bytes
// written to a file there (the code under test opens paths), and choices
// drawn from the input's last bytes, so a seed file keeps its header
// intact and its tail steers the run.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fuzz {

// A folder that lives as long as the process and is removed at its end.
inline const std::string& scratchFolder() {
    static const std::string folder = [] {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/korvalith-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            std::perror("korvalith fuzz: cannot make a scratch folder");
            std::abort();
        }
        static const std::string removed = pattern;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(removed, ec);
        });
        return pattern;
    }();
    return folder;
}

// Writes the bytes to name in the scratch folder and returns the path.
inline std::string writeScratch(const std::string& name, const uint8_t* data, size_t size) {
    const std::string path = scratchFolder() + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || (size && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) {
        std::perror(path.c_str());
        std::abort();
    }
    return path;
}

// Choices read from the end of the input backwards; past the start every
// choice is 0.
class Choices {
public:
    Choices(const uint8_t* data, size_t size) : data_(data), left_(size) {}
    uint32_t byte() { return left_ ? data_[--left_] : 0; }
    // A value in [0, n) for n > 0.
    int below(int n) {
        const uint32_t low = byte();  // in two statements: the same order under every compiler
        const uint32_t v = low | byte() << 8;
        return static_cast<int>(v % static_cast<uint32_t>(n));
    }

private:
    const uint8_t* data_;
    size_t left_;
};

// Stops the run with a finding that is no crash by itself.
[[noreturn]] inline void fail(const std::string& what) {
    std::fprintf(stderr, "korvalith fuzz: %s\n", what.c_str());
    std::abort();
}

}  // namespace fuzz
