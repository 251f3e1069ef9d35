#!/usr/bin/env bash
# The service benchmark on both stores. Run inside tools/with-postgres.sh (or with libpq's PG*
# variables pointing at a server): makes the database zelvar_bench there when missing.
# Usage: tools/with-postgres.sh tools/bench-service.sh [benchmark options]
set -euo pipefail
cd "$(dirname "$0")/.."
if ! psql -Atc "SELECT 1 FROM pg_database WHERE datname = 'zelvar_bench'" | grep -q 1; then
    createdb -E UTF8 -T template0 zelvar_bench
fi
export ZELVAR_BENCH_POSTGRES=${ZELVAR_BENCH_POSTGRES:-postgresql:///zelvar_bench}
exec build/bin/bench_service "$@"
