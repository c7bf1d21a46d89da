#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the plain build,
# then AddressSanitizer with UndefinedBehaviorSanitizer, then the tests
# where threads meet under ThreadSanitizer, and last the fuzz targets for a
# short while each.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
export KORVALITH_TESTDATA="${KORVALITH_TESTDATA:-$(cd .. && pwd)/shared/testdata}"

bash scripts/build.sh build -DKORVALITH_TESTS=ON -DKORVALITH_BENCH=ON
(cd build && ctest --output-on-failure -j "$(nproc)")

bash scripts/build.sh build-asan -DKORVALITH_SANITIZE=address -DKORVALITH_TESTS=ON -DKORVALITH_BENCH=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j "$(nproc)")

# Only the suites labelled "threads" run here, so only they are built (the
# others show as unlabelled placeholders that -L leaves out).
cmake -S . -B build-tsan -G Ninja -DKORVALITH_SANITIZE=thread -DKORVALITH_TESTS=ON -DKORVALITH_BENCH=OFF >/dev/null
cmake --build build-tsan -j "$(nproc)" --target hostsim_tests frame_tests e2e_tests core_tests codec_tests services_tests
(cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -L threads -j "$(nproc)")

# Each fuzz target for a short while (libFuzzer under clang, in build-fuzz).
for target in codec texture_load scene; do
  bash scripts/fuzz.sh "$target" "${KORVALITH_FUZZ_SECONDS:-20}"
done
