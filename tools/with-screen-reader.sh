#!/usr/bin/env bash
# Runs a command as a screen reader would find it: on a virtual X display, with a session bus
# and the desktop's accessibility bus of its own, and Qt's bridge to that bus on (Qt tells
# nobody of a change while no assistive technology listens). ZELVAR_SCREEN_READER says so to
# the tests that need it. Usage: tools/with-screen-reader.sh command [args...]
set -euo pipefail
if [ "${1:-}" != "--inside" ]; then
    for tool in xvfb-run dbus-run-session dbus-send /usr/libexec/at-spi-bus-launcher; do
        if ! command -v "$tool" >/dev/null; then
            echo "$tool is missing: install xvfb, dbus-daemon, dbus-bin and at-spi2-core (tools/deps.sh does)" >&2
            exit 1
        fi
    done
    exec xvfb-run -a -s "-screen 0 1280x900x24" dbus-run-session -- "$0" --inside "$@"
fi
shift

/usr/libexec/at-spi-bus-launcher --launch-immediately &
launcher=$!
trap 'kill "$launcher" 2>/dev/null || true' EXIT
# Qt looks for the accessibility bus once, as it starts: it must be there first (5 s at most).
for _ in $(seq 50); do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus 2>/dev/null | grep -q "boolean true" && break
    sleep 0.1
done
QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 ZELVAR_SCREEN_READER=1 "$@"
