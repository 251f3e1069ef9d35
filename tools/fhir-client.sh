#!/usr/bin/env bash
# Installs the FHIR client and the FHIR R4 schema that the FHIR test uses (from the npm
# registry, as tests/server/fhir/package-lock.json pins them) into BUILD/fhir-client.
# Usage: tools/fhir-client.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
target="$build/fhir-client"
mkdir -p "$target"
# Installed again only when the pinned versions change.
if [ -d "$target/node_modules" ] && cmp -s tests/server/fhir/package-lock.json "$target/package-lock.json"; then
    exit 0
fi
cp tests/server/fhir/package.json tests/server/fhir/package-lock.json "$target/"
(cd "$target" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error)
