#!/usr/bin/env bash
# Configures a build folder the way the README's commands build: Ninja, the library in the
# Debian multiarch folder as a distribution installs it. Usage: tools/configure.sh DIR [cmake args]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1
shift
multiarch=$(gcc -print-multiarch 2>/dev/null || true)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_INSTALL_LIBDIR="lib${multiarch:+/$multiarch}" "$@"
