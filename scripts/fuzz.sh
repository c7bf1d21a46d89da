#!/usr/bin/env bash
# fuzz.sh TARGET SECONDS [libFuzzer options...]: builds TARGET_fuzzer in
# build-fuzz (clang, libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer; the folder is reused when it exists, and only
# what the target needs is built) and fuzzes it for SECONDS from its seeds.
# Targets: codec, texture_load, scene. The corpus grows in
# build-fuzz/corpus/TARGET; a failing input is written to
# build-fuzz/findings/TARGET/ and the script fails. build-fuzz/bin/TARGET_fuzzer
# FILE runs one input again. Keep a fixed input in
# tests/fuzz/regressions/TARGET/, where ctest replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 2 ]; then
  echo "usage: $0 codec|texture_load|scene SECONDS [libFuzzer options...]" >&2
  exit 2
fi
target=$1 seconds=$2
shift 2
case "$target" in codec|texture_load|scene) ;; *) echo "fuzz.sh: unknown target $target" >&2; exit 2 ;; esac
testdata="${KORVALITH_TESTDATA:-$(cd .. && pwd)/shared/testdata}"
dir=build-fuzz

bash scripts/install-deps.sh
if [ ! -f "$dir/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DKORVALITH_FUZZ=ON -DKORVALITH_TESTS=OFF -DKORVALITH_BENCH=OFF >/dev/null
fi
cmake --build "$dir" -j "$(nproc)" --target "${target}_fuzzer"

corpus="$dir/corpus/$target" seeds="$dir/seeds/$target" findings="$dir/findings/$target"
mkdir -p "$corpus" "$findings"
rm -rf "$seeds" && mkdir -p "$seeds"
case "$target" in
  codec)
    seed_dirs=("$testdata/jp2/conformance" "$testdata/jp2/malformed") ;;
  texture_load)
    "$dir/bin/texture_load_fuzzer" "-write_seeds=$(pwd)/$seeds"
    seed_dirs=("$seeds") ;;
  scene)
    cp examples/*.json tests/app/*.json "$seeds/"
    seed_dirs=("$seeds" tests/fuzz/seeds/scene) ;;
esac

[ -d "tests/fuzz/regressions/$target" ] && seed_dirs+=("tests/fuzz/regressions/$target")

echo "fuzzing $target for $seconds s"
"$dir/bin/${target}_fuzzer" "$corpus" "${seed_dirs[@]}" \
  -max_total_time="$seconds" -timeout=30 -rss_limit_mb=3072 -artifact_prefix="$findings/" \
  -print_final_stats=1 "$@" 2>"$dir/fuzz-$target.log" || {
  tail -n 60 "$dir/fuzz-$target.log" >&2
  echo "fuzz.sh: $target failed; the input is in $findings/ (log: $dir/fuzz-$target.log)" >&2
  exit 1
}
grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ +DONE)" "$dir/fuzz-$target.log" || true
