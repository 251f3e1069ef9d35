#!/usr/bin/env bash
# Builds the component and opens the front desk demo. Usage: tools/demo.sh [demo arguments]
# (tools/demo.sh --help lists them).
set -euo pipefail
cd "$(dirname "$0")/.."
build=build

tools/deps.sh
tools/configure.sh "$build"
cmake --build "$build" --parallel "$(nproc)" --target zelvar-demo

# Qt wants a private runtime folder; a login session has one, a container or ssh may not.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR=$(mktemp -d -t zelvar-runtime-XXXXXX)
    export XDG_RUNTIME_DIR
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<'TEXT'
No display here: the front desk runs on a virtual display (xvfb-run), where nobody can see it.
To use it, run this command in a desktop session; to see it from here, take pictures of its
windows with tools/screenshots.sh. Press Ctrl+C to end it.
TEXT
    exec xvfb-run -a "$build/bin/zelvar-demo" "$@"
fi
exec "$build/bin/zelvar-demo" "$@"
