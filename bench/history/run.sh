#!/usr/bin/env bash
# The 24-hour history's memory and build times: 100 thermometers read every
# second over a simulated day (a virtual clock, so it takes seconds), and
# seeding from a log larger than the bytes read back.
#
#   bench/history/run.sh BUILD_DIR [TABLE.md]
set -u
BUILD=${1:?usage: bench/history/run.sh BUILD_DIR [TABLE.md]}
TABLE=${2:-}
TOOL=$BUILD/bench/history/kelvarian-bench-history
if [ ! -x "$TOOL" ]; then
    echo "bench/history: $TOOL is missing; build $BUILD first" >&2
    exit 1
fi
out=$("$TOOL" --sensors 100 --interval 1 --log-mib 64) || exit 1
echo "$out"
get() { awk -v k="$1" '$1 == k { print $2 }' <<<"$out"; }
mb() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
bytes_mb() { awk -v b="$1" 'BEGIN { printf "%.2f", b / 1048576 }'; }
table() {
    echo "| Figure | Value |"
    echo "|---|---|"
    echo "| History of $(get sensors) thermometers read every $(get interval_s) s, $(get simulated_hours) simulated hours: resident memory | $(mb "$(get history_rss_kib)") MiB (goal: under 20) |"
    echo "| The same, heap in use | $(mb "$(get history_heap_kib)") MiB |"
    echo "| Cost of one reading handed over | $(get fill_ns_per_reading) ns |"
    echo "| \`/history\` page (at most 960 points a line) | $(bytes_mb "$(get page_bytes)") MiB, built in $(get page_build_ms) ms |"
    echo "| \`/history.json\` | $(bytes_mb "$(get json_bytes)") MiB, built in $(get json_build_ms) ms |"
    echo "| Seeding from a $(get log_mib) MiB log (its last 32 MiB read back) | $(get log_readings_read) readings, the last $(get log_hours_reached) h, read in $(get log_read_ms) ms, recorded in $(get log_seed_ms) ms |"
}
table
if [ -n "$TABLE" ]; then
    table >"$TABLE"
    echo "table written to $TABLE"
fi
