#!/usr/bin/env bash
# Configures a build folder the way the README's commands build: Ninja, the library in the
# Debian multiarch folder as a distribution installs it. CMake's own chatter (optional
# packages it looked for) goes to DIR/configure.log and is shown only when configuring fails.
# Usage: tools/configure.sh DIR [cmake args]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1
shift
multiarch=$(gcc -print-multiarch 2>/dev/null || true)
mkdir -p "$build"
if ! cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_INSTALL_LIBDIR="lib${multiarch:+/$multiarch}" "$@" > "$build/configure.log" 2>&1; then
    cat "$build/configure.log" >&2
    exit 1
fi
echo "Configured $build (details in $build/configure.log)"
