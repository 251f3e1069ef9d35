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

# Help and version need no display at all.
for argument in "$@"; do
    case "$argument" in
        -h|--help|--help-all|-v|--version) exec "$build/bin/zelvar-demo" "$@" ;;
    esac
done

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<'TEXT'
No display here: the front desk runs on a virtual display (xvfb-run), where nobody can see it.
To use it, run this command in a desktop session; to see it from here, take pictures of its
windows with tools/screenshots.sh. Press Ctrl+C to end it.
TEXT
    # In a session of its own, so that Ctrl+C reaches only the demo (which then ends cleanly),
    # not the virtual display under it.
    setsid xvfb-run -a "$build/bin/zelvar-demo" "$@" &
    runner=$!
    trap 'pkill -INT -s "$runner" -x zelvar-demo || true' INT TERM
    while kill -0 "$runner" 2>/dev/null; do
        wait "$runner" || true
    done
    exit 0
fi
exec "$build/bin/zelvar-demo" "$@"
