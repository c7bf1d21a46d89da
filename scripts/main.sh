#!/usr/bin/env bash
# Installs what is needed, builds, and runs the main job: the demo render.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build -DKORVALITH_TESTS=OFF -DKORVALITH_BENCH=OFF
# Generates the demo planet once (a 32768 x 16384 JPEG 2000 map, kept in
# $KORVALITH_DEMO_DATA or ~/.cache/korvalith), writes a globe scene that
# uses it and renders it to korvalith-demo.png.
build/bin/korvalith demo
