#!/usr/bin/env bash
# Builds the component and opens the demo host. Usage: tools/demo.sh [demo arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
build=build

tools/deps.sh
tools/configure.sh "$build"
cmake --build "$build" --parallel --target zelvar-demo

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: running the demo on a virtual one (xvfb-run)." >&2
    exec xvfb-run -a "$build/bin/zelvar-demo" "$@"
fi
exec "$build/bin/zelvar-demo" "$@"
