#!/usr/bin/env bash
# Fails unless the node module stands on its own: no symbol of ours or of
# OpenJPEG is left for the loader to find elsewhere, no OpenJPEG code is
# linked in, and the loader would not pull libopenjp2 in.
set -euo pipefail
module=$1
undefined=$(nm -D --undefined-only "$module" | awk '{print $NF}')
ours=$(echo "$undefined" | grep -E 'korvalith|Korvalith|^opj_|openjp' || true)
if [ -n "$ours" ]; then
  echo "$module leaves these symbols undefined:"; echo "$ours"
  exit 1
fi
if nm -C "$module" | awk '{print $NF}' | grep -q -E '^opj_'; then
  echo "$module holds OpenJPEG code"
  exit 1
fi
if ldd "$module" | grep -q openjp2; then
  echo "$module depends on libopenjp2:"; ldd "$module"
  exit 1
fi
echo "$module needs neither KorvalithPro's code nor OpenJPEG"
