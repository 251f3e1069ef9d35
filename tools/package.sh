#!/usr/bin/env bash
# Makes the Debian packages from a build folder (CPack) and checks them as Debian would:
# lintian with no error, and the server's package holding the program on PATH, its systemd
# unit (which systemd-analyze verifies) and its configuration as a conffile.
# Usage: tools/package.sh [build-dir]     (after the build; tools/test.sh runs it)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
out=$build/packages
rm -rf "$out"
mkdir -p "$out"
(cd "$out" && cpack -G DEB --config "$build/CPackConfig.cmake" >/dev/null)

failed=0
for deb in "$out"/*.deb; do
    # lintian refuses to run as root without --allow-root; errors fail, warnings are shown.
    said=$(lintian --allow-root --tag-display-limit 0 "$deb" 2>&1 | grep -v "running with root privileges" || true)
    [ -n "$said" ] && echo "$said"
    if grep -q "^E:" <<<"$said"; then
        failed=1
    fi
done

server=$(ls "$out"/zelvar-practice-server_*.deb)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$server" "$root"
dpkg-deb -e "$server" "$root/DEBIAN"
for f in usr/bin/zelvar-practice-server lib/systemd/system/zelvar-practice-server.service \
         etc/zelvar-practice/server.conf usr/share/doc/zelvar-practice-server/copyright; do
    [ -e "$root/$f" ] || { echo "The server's package lacks /$f" >&2; failed=1; }
done
grep -qx /etc/zelvar-practice/server.conf "$root/DEBIAN/conffiles" || { echo "server.conf is not a conffile" >&2; failed=1; }
grep -q "adduser --system" "$root/DEBIAN/postinst" || { echo "postinst makes no service user" >&2; failed=1; }
# The unit as systemd reads it, with the program where the package puts it.
unit=$root/zelvar-practice-server.service
sed "s|/usr/bin/zelvar-practice-server|$root/usr/bin/zelvar-practice-server|" \
    "$root/lib/systemd/system/zelvar-practice-server.service" >"$unit"
# The manual page is in the package, not yet on this system.
if ! systemd-analyze verify --man=no "$unit"; then
    failed=1
fi
systemd-analyze security --offline=true "$unit" | tail -n 1

if [ "$failed" -ne 0 ]; then
    echo "The packages did not pass." >&2
    exit 1
fi
echo "Packages: $(cd "$out" && ls *.deb | tr '\n' ' ')"
