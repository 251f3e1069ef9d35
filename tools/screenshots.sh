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
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
mkdir -m 700 "$XDG_RUNTIME_DIR"

# scenario -> picture
declare -A pictures=(
    [frontdesk]=frontdesk.png [lookup]=search.png [duplicates]=duplicates.png
    [codelookup]=codelookup.png [record]=record.png [newpatient]=newpatient.png
)
for scenario in frontdesk lookup duplicates codelookup record newpatient; do
    xvfb-run -a -s "-screen 0 1280x900x24" "$build/bin/zelvar-demo" --db "$work/practice.db" \
        --scenario "$scenario" --screenshot "$out/${pictures[$scenario]}"
done
