#!/usr/bin/env bash
# Fails unless the module's dynamic symbol table defines _mod_descrip and
# no other symbol of ours (sanitizer runtimes may add their own hooks).
set -euo pipefail
module=$1
symbols=$(nm -D --defined-only "$module" | awk '{print $3}' | grep -v -E '^(_init|_fini|__asan_|__ubsan_|__tsan_|__sanitizer_)' || true)
if [ "$symbols" != "_mod_descrip" ]; then
  echo "$module exports:"; echo "$symbols"
  exit 1
fi
echo "$module exports only _mod_descrip"
