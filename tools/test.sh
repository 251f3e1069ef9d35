#!/usr/bin/env bash
# Builds everything and runs every test. Usage: tools/test.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

tools/deps.sh
# Qt wants a private runtime folder; a login session has one, a container or CI may not.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR=$(mktemp -d -t zelvar-runtime-XXXXXX)
    export XDG_RUNTIME_DIR
fi
tools/configure.sh "$build"
tools/fhir-client.sh "$build"
cmake --build "$build" --parallel "$(nproc)"
tools/with-postgres.sh ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)"
# The Debian packages, made from this build and checked with lintian.
tools/package.sh "$build"
