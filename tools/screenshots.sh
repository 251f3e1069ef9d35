#!/usr/bin/env bash
# Makes every picture in the README from the demo's scenarios, on a virtual display, against a
# practice database of its own. Usage: tools/screenshots.sh [output folder, default docs]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs}
build=build

tools/deps.sh
tools/configure.sh "$build"
cmake --build "$build" --parallel "$(nproc)" --target zelvar-demo
mkdir -p "$out"
out=$(cd "$out" && pwd)
root=$PWD
demo=$root/$build/bin/zelvar-demo
server=$root/$build/bin/zelvar-practice-server
work=$(mktemp -d)
trap 'kill "$serving" 2>/dev/null || true; rm -rf "$work"' EXIT
serving=
export XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
mkdir -m 700 "$XDG_RUNTIME_DIR"
# From inside the scratch folder, so that the pictures name the database as "practice.db", the
# same on every run and every machine.
cd "$work"

# scenario -> picture
declare -A pictures=(
    [frontdesk]=frontdesk.png [lookup]=search.png [duplicates]=duplicates.png
    [codelookup]=codelookup.png [record]=record.png [newpatient]=newpatient.png
)
for scenario in frontdesk lookup duplicates codelookup record newpatient; do
    xvfb-run -a -s "-screen 0 1280x900x24" "$demo" --db practice.db \
        --scenario "$scenario" --screenshot "$out/${pictures[$scenario]}"
done

# What a clerk is told when the practice's IT person has removed the desk: a server on a
# loopback port, a desk that opens on it, the desk removed, then a search.
pin=$("$server" init --host localhost | sed -n 's/^Fingerprint: //p')
"$server" generate 200 --db sqlite:server.db >/dev/null
token=$("$server" desk add "FRONT 1" --db sqlite:server.db | sed -n 's/^Token: //p')
port=18743
"$server" serve --db sqlite:server.db --cert server.crt --key server.key --listen 127.0.0.1:$port >server.log 2>&1 &
serving=$!
for _ in $(seq 50); do grep -q "Serving" server.log && break; sleep 0.2; done
mkfifo go
xvfb-run -a -s "-screen 0 1280x900x24" "$demo" --server https://127.0.0.1:$port --token "$token" --pin "$pin" \
    --scenario linkfailure --screenshot "$out/linkfailure.png" <go >demo.log 2>&1 &
shown=$!
exec 3>go
for _ in $(seq 100); do grep -q "Practice server:" demo.log && break; sleep 0.2; done
"$server" desk remove "FRONT 1" --db sqlite:server.db >/dev/null
sleep 1.5    # the server knows a removed desk within a second
echo go >&3
exec 3>&-
wait "$shown"
cat demo.log | grep Saved
