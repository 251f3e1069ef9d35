#!/usr/bin/env bash
# Builds everything and runs every test. Usage: tools/test.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

tools/deps.sh
tools/configure.sh "$build"
cmake --build "$build" --parallel
ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)"
