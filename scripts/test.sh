#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test: unit tests
# (natively and under ASan+UBSan), bounded fuzz runs, and the end-to-end tests
# (natively, and under Wine with the win64 and the win32 stub side by side;
# win32 through qemu-i386 where the kernel cannot run 32-bit code).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build-all.sh
jobs=$(nproc)
echo "== unit tests under ASan+UBSan"
ctest --test-dir build/native-asan -L unit --output-on-failure -j"$jobs"
echo "== bounded fuzz runs"
ctest --test-dir build/fuzz -L fuzz --output-on-failure -j"$jobs"
echo "== all native tests and end-to-end tests"
ctest --test-dir build/native --output-on-failure -j"$jobs"
