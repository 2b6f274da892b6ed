#!/bin/sh
# Prometheus's own checker reads the metrics built from hostile sensor names:
# one label it cannot parse would make Prometheus reject the whole scrape.
set -u
program=$1
promtool=$(command -v promtool) || { echo "promtool is missing: run scripts/install-deps (package prometheus)"; exit 1; }
metrics=$(mktemp)
trap 'rm -f "$metrics"' EXIT
"$program" >"$metrics" || exit 1
if ! "$promtool" check metrics <"$metrics"; then
    echo "--- metrics as built"; cat "$metrics"
    exit 1
fi
