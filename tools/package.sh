#!/usr/bin/env bash
# Makes the Debian packages from a build folder (CPack) and checks them as Debian would:
# lintian with no error, and the server's package holding the program on PATH, its systemd
# units (which systemd-analyze verifies) and its configuration as a conffile; then installs it
# in a throw-away copy of the machine and runs the README's service section there.
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
# The units as systemd reads them, with the program where the package puts it.
for name in zelvar-practice-server.service zelvar-practice-backup.service zelvar-practice-backup.timer; do
    sed "s|/usr/bin/zelvar-practice-server|$root/usr/bin/zelvar-practice-server|" \
        "$root/lib/systemd/system/$name" >"$root/$name"
done
# The manual page is in the package, not yet on this system.
if ! (cd "$root" && systemd-analyze verify --man=no zelvar-practice-server.service zelvar-practice-backup.service \
        zelvar-practice-backup.timer); then
    failed=1
fi
systemd-analyze security --offline=true "$root/zelvar-practice-server.service" | tail -n 1
# The README's service section, run as it stands.
if tools/service-readme.sh "$build" >"$out/service-readme.log" 2>&1; then
    tail -n 1 "$out/service-readme.log"
else
    tail -n 40 "$out/service-readme.log" >&2
    echo "The README's service section did not run as it stands (all of it: $out/service-readme.log)" >&2
    failed=1
fi

if [ "$failed" -ne 0 ]; then
    echo "The packages did not pass." >&2
    exit 1
fi
echo "Packages: $(cd "$out" && ls *.deb | tr '\n' ' ')"
