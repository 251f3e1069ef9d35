#!/usr/bin/env bash
# The sanitizer stage: every test under AddressSanitizer and UndefinedBehaviorSanitizer (clang),
# then every fuzz target for FUZZ_SECONDS (default 60) from its seed corpus.
# Usage: tools/sanitize.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-asan}
seconds=${FUZZ_SECONDS:-60}

tools/deps.sh
tools/configure.sh "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DZELVAR_FUZZ=ON -DZELVAR_BUILD_BENCHMARKS=OFF -DZELVAR_BUILD_DEMO=OFF
tools/fhir-client.sh "$build"
cmake --build "$build" --parallel "$(nproc)"

export ASAN_OPTIONS=detect_leaks=0:quarantine_size_mb=32:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
tools/with-postgres.sh ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
for corpus in fuzz/corpus/*/; do
    target=$(basename "$corpus")
    cp -r "$corpus" "$work/$target"
    echo "== fuzz_$target for ${seconds}s"
    if ! "$build/bin/fuzz_$target" -max_total_time="$seconds" -rss_limit_mb=4096 -artifact_prefix="$work/$target-" \
            "$work/$target" > "$work/$target.log" 2>&1; then
        echo "fuzz_$target found a problem:"
        tail -n 60 "$work/$target.log"
        failed=1
    fi
    grep -E '^#[0-9]+.*DONE' "$work/$target.log" | tail -n 1 || true
done
exit $failed
