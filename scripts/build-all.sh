#!/usr/bin/env bash
# Configures and builds every preset: native (tests, sfxpack, posix launcher),
# native-asan (unit tests under sanitizers), fuzz (libFuzzer), win64 and win32.
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("${@:-native native-asan fuzz win64 win32}")
for preset in ${presets[@]}; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build "build/$preset" -j"$(nproc)"
done
