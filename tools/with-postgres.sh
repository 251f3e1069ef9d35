#!/usr/bin/env bash
# Runs a command with a throw-away PostgreSQL cluster (Debian's pg_virtualenv): the cluster is
# made before and removed after, and the command finds it through ZELVAR_TEST_POSTGRES (and
# libpq's PG* variables). Usage: tools/with-postgres.sh command [args...]
set -euo pipefail
if ! command -v pg_virtualenv >/dev/null; then
    echo "pg_virtualenv is missing: install postgresql-common (tools/deps.sh does)" >&2
    exit 1
fi
version=$(ls /usr/lib/postgresql | sort -V | tail -1)
# -t: a cluster in a temporary folder of its own, also as root, where the system-wide name
# "regress" would collide with any other run or cluster of that name.
exec pg_virtualenv -t -v "$version" env ZELVAR_TEST_POSTGRES="dbname=postgres" "$@"
