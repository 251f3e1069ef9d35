#!/usr/bin/env bash
# Runs every command of the README's "Run it as a service (Debian)" section as it stands, as
# root, in a throw-away copy of this machine: a mount namespace where /etc, /usr and /var are
# overlays that vanish with it, its own network (a loopback of its own) and its own processes.
# systemd is not running there, so systemctl and journalctl are stood in for: a unit's
# ExecStart runs as its User=, with its UMask= and StateDirectory=, and its output is its
# journal. Then checks what the section promises: the files' owners and modes, a server that
# answers, the database moved to PostgreSQL.
# Usage: tools/service-readme.sh [build-dir]   (after tools/package.sh made the packages)
set -euo pipefail
cd "$(dirname "$0")/.."
source=$(pwd)
build=$(cd "${1:-build}" && pwd)

if [ "$(id -u)" -ne 0 ]; then
    echo "service-readme: skipped (installing a package in a namespace needs root)"
    exit 0
fi
ls "$build"/packages/zelvar-practice-server_*.deb >/dev/null
if ! unshare --mount --net --pid --fork true 2>/dev/null; then
    echo "service-readme: skipped: this machine cannot make mount, network and process namespaces (a container without CAP_SYS_ADMIN)"
    exit 0
fi

scratch=$(mktemp -d -t zelvar-service-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
# The README's commands, block by block, as a shell reads them.
awk '
    /^### Run it as a service \(Debian\)/ { inside = 1; next }
    inside && (/^##/ || /^\*\*How a request travels/) { exit }
    inside && /^    / { sub(/^    /, ""); print; block = 1; next }
    inside && block && /^$/ { print "# --"; block = 0 }
' README.md >"$scratch/commands.sh"
[ "$(grep -c . "$scratch/commands.sh")" -gt 20 ] || { echo "service-readme: the section has no commands" >&2; exit 1; }
# The checkout seen from where the README's commands run: ./build is this build.
mkdir "$scratch/checkout"
ln -s "$build" "$scratch/checkout/build"

cat >"$scratch/inside.sh" <<'INSIDE'
set -euo pipefail
scratch=$1
for d in etc usr var root opt; do
    mkdir -p "$scratch/layers/$d/upper" "$scratch/layers/$d/work"
    mount -t overlay overlay -o "lowerdir=/$d,upperdir=$scratch/layers/$d/upper,workdir=$scratch/layers/$d/work" "/$d"
done
mount -t tmpfs -o mode=0755 tmpfs /run
mkdir -p /run/lock /run/systemd/system /run/fake-systemd
ip link set lo up

# systemctl and journalctl, for the units of this package.
cat >/usr/bin/systemctl <<'SYSTEMCTL'
#!/bin/bash
state=/run/fake-systemd
if [ "${1:-}" = --run ]; then   # the stand-in's own: a unit's ExecStart, as systemd would run it
    file=/lib/systemd/system/$2
    key() { sed -n "s/^$1=//p" "$file" | tail -n 1; }
    user=$(key User); group=$(key Group)
    for dir in $(key StateDirectory); do
        install -d -o "$user" -g "$group" -m "$(key StateDirectoryMode)" "/var/lib/$dir"
    done
    exec=$(key ExecStart); exec=${exec//%%/%}      # systemd's %% is a %
    exec env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME="$(getent passwd "$user" | cut -d: -f6)" \
        USER="$user" LOGNAME="$user" STATE_DIRECTORY="/var/lib/$(key StateDirectory | cut -d' ' -f1)" \
        setpriv --reuid="$user" --regid="$group" --init-groups \
        /bin/sh -c "umask $(key UMask); exec $exec"
fi
now=0; words=()
for a in "$@"; do
    case $a in --now) now=1 ;; -*) ;; *) words+=("$a") ;; esac
done
verb=${words[0]:-}
unit=${words[1]:-}
[ -n "$unit" ] && [[ $unit != *.* ]] && unit=$unit.service
log=$state/$unit.log
pid() { cat "$state/$unit.pid" 2>/dev/null; }
active() { local p; p=$(pid) && [ -n "$p" ] && kill -0 "$p" 2>/dev/null; }
served() { local n; n=$(grep -c '^Serving ' "$log" 2>/dev/null); echo "${n:-0}"; }
start() {
    case $unit in *.timer) touch "$state/$unit.enabled"; return 0 ;; esac
    if grep -q '^Type=oneshot' "/lib/systemd/system/$unit"; then
        "$0" --run "$unit" >>"$log" 2>&1
        return
    fi
    active && return 0
    local before; before=$(served)
    setsid "$0" --run "$unit" >>"$log" 2>&1 </dev/null &
    echo $! >"$state/$unit.pid"
    # Type=notify: started once it says it serves, failed if it ends first.
    for _ in $(seq 1 300); do
        [ "$(served)" -gt "$before" ] && return 0
        active || { echo "Job for $unit failed." >&2; tail -n 20 "$log" >&2; return 1; }
        sleep 0.1
    done
    echo "Job for $unit timed out." >&2
    tail -n 20 "$log" >&2
    return 1
}
stop() {
    local p; p=$(pid) || return 0
    kill -TERM "$p" 2>/dev/null || return 0
    for _ in $(seq 1 150); do kill -0 "$p" 2>/dev/null || return 0; sleep 0.1; done
    echo "$unit did not stop" >&2
    return 1
}
case $verb in
enable) touch "$state/$unit.enabled"; if [ $now = 1 ]; then start; fi ;;
start) start ;;
stop) stop ;;
restart) stop && start ;;
try-restart) if active; then stop && start; fi ;;
reload) kill -HUP "$(pid)" && sleep 1 ;;
is-active) if active; then echo active; else echo inactive; exit 3; fi ;;
is-enabled) if [ -e "$state/$unit.enabled" ]; then echo enabled; else echo disabled; exit 1; fi ;;
daemon-reload) ;;
*) echo "systemctl (stand-in): $verb is not stood in for" >&2; exit 1 ;;
esac
SYSTEMCTL
cat >/usr/bin/journalctl <<'JOURNALCTL'
#!/bin/bash
unit=; while [ $# -gt 0 ]; do [ "$1" = -u ] && { unit=$2; shift; }; shift; done
[[ $unit == *.* ]] || unit=$unit.service
cat "/run/fake-systemd/$unit.log"
JOURNALCTL
# The admin's edit: four workers.
cat >/usr/bin/editor <<'EDITOR'
#!/bin/sh
sed -i 's/^workers = .*/workers = 4/' "$1"
EDITOR
chmod 755 /usr/bin/systemctl /usr/bin/journalctl /usr/bin/editor

# PostgreSQL as Debian's package leaves it, running (its cluster is part of the throw-away copy).
if ! pg_lsclusters -h | grep -q .; then
    pg_createcluster --quiet 15 main >/dev/null
fi
install -d -o postgres -g postgres -m 2775 /run/postgresql
cluster=$(pg_lsclusters -h | head -n 1 | awk '{print $1 " " $2}')
pg_ctlcluster $cluster start

cd "$scratch/checkout"
echo "== the README's commands"
PS4='# ' bash -euxo pipefail "$scratch/commands.sh"

echo "== what they promised"
failed=0
expect() { # what, command...
    local what=$1; shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what" >&2; failed=1; fi
}
mode() { [ "$(stat -c '%U:%G %a' "$1")" = "$2" ] || { echo "$1 is $(stat -c '%U:%G %a' "$1"), not $2" >&2; return 1; }; }
expect "the program is on PATH" command -v zelvar-practice-server
expect "the service user exists" getent passwd zelvar
expect "the state folder is the service's, 0750" mode /var/lib/zelvar-practice "zelvar:zelvar 750"
expect "the SQLite database is 0600" mode /var/lib/zelvar-practice/practice.db "zelvar:zelvar 600"
expect "the backup is 0600" mode "/var/lib/zelvar-practice/backups/practice-$(date +%a).backup" "zelvar:zelvar 600"
expect "the key is the service's, 0600" mode /etc/zelvar-practice/server.key "zelvar:zelvar 600"
expect "the new key waits, the service's, 0600" mode /etc/zelvar-practice/server.key.next "zelvar:zelvar 600"
expect "the renewed certificate is readable, the group's" mode /etc/zelvar-practice/server.crt "root:zelvar 644"
expect "the renewed certificate was taken without a restart" grep -q "info: reloaded the certificate" /run/fake-systemd/zelvar-practice-server.service.log
expect "the configuration was read" grep -q "with 4 workers" /run/fake-systemd/zelvar-practice-server.service.log
expect "the server serves PostgreSQL" grep -q "^Serving the PostgreSQL database" /run/fake-systemd/zelvar-practice-server.service.log
expect "the server is ready" curl -fsS --cacert /etc/zelvar-practice/server.crt https://localhost:8743/v1/ready -o /dev/null
expect "the desk moved with the database" sh -c 'runuser -u zelvar -- zelvar-practice-server desk list | grep -q "FRONT 1"'
expect "the PostgreSQL backup is a dump" sh -c "head -c 5 /var/lib/zelvar-practice/backups/practice-$(date +%a).backup | grep -q PGDMP"
systemctl stop zelvar-practice-server
pg_ctlcluster $cluster stop
exit $failed
INSIDE

unshare --mount --net --pid --fork --mount-proc --propagation private bash "$scratch/inside.sh" "$scratch"
echo "service-readme: the README's service section ran as it stands"
