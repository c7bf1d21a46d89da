#!/usr/bin/env bash
# Installs what is needed, builds, and runs the main job.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build -DKORVALITH_TESTS=OFF -DKORVALITH_BENCH=OFF
build/bin/korvalith modules
