// Shared set-up of the image core benchmarks: a stand-in host, and large
// JPEG 2000 files generated once with the codec's compression client and
// kept in a data folder ($KORVALITH_BENCH_DATA, default /tmp/korvalith-bench).
#pragma once

#include <cstdint>
#include <string>

namespace bench {

// Starts the host, the codec and the registry lock once per program.
void startCore();

// A tiled RGB image of width × height with a smooth procedural pattern;
// generated when missing.
std::string benchImage(int width, int height, int bands = 3);

// Resident memory of this process now and at its peak, in bytes.
uint64_t residentBytes();
uint64_t peakResidentBytes();

}  // namespace bench
