#!/usr/bin/env bash
# Installs the Debian 12 packages the build needs when any is missing. As root it installs
# them; otherwise it prints the apt-get line to run and fails.
set -euo pipefail

packages=(
    g++ clang libclang-rt-14-dev cmake ninja-build pkgconf
    qt6-base-dev libgl-dev
    libxslt1-dev libsqlite3-dev sqlite3 libpq-dev libssl-dev postgresql postgresql-common
    libboost1.81-dev libcurl4-openssl-dev libsystemd-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    poppler-utils appstream desktop-file-utils dpkg-dev fakeroot lintian systemd help2man
    iproute2 curl util-linux adduser python3-jsonschema python3-yaml nodejs
    xvfb xauth dbus-daemon dbus-bin at-spi2-core python3-pyatspi fonts-dejavu-core fonts-dejavu-extra fonts-liberation2
)

# Debian's npm comes apart from its nodejs; a Node.js from elsewhere brings its own.
command -v npm >/dev/null || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
    echo "These packages are missing: ${missing[*]}" >&2
    echo "Install them with:" >&2
    echo "  sudo apt-get install ${missing[*]}" >&2
    exit 1
fi
