#!/usr/bin/env bash
# Load test of the service over loopback with wrk: GET /api/health, one static file and POST
# /api/arrange of the eight-bar lead sheet (electric), each for 10 s at 16 connections with
# keep-alive off. Builds the optimised binary if needed, starts it on a free port, prints requests
# per second, p50 and p99 latency, socket errors and non-2xx answers, and stops it. Exits 1 when
# any socket error or non-2xx answer was seen.
set -euo pipefail
cd "$(dirname "$0")/.."

connections=16
threads=4
duration=10s

source bench/service.sh
build_service

work=$(mktemp -d "${TMPDIR:-/tmp}/orvanta_load.XXXXXX")
server_pid=""
cleanup() {
  if [[ -n "$server_pid" ]]; then kill -KILL "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# The static file: 4 KiB of script.
mkdir -p "$work/web/assets"
for _ in $(seq 1 128); do printf 'console.log("orvanta load test");\n'; done >"$work/web/assets/app.js"
truncate -s 4096 "$work/web/assets/app.js"

# The arrangement request: the project's lead sheet for the electric part, posted by a wrk script.
{ printf '{"part_type":"electric","document":'; cat tests/fixtures/lead_sheet_8_bars.json
  printf '}'; } >"$work/arrange.json"
cat >"$work/arrange.lua" <<LUA
local file = assert(io.open("$work/arrange.json", "rb"))
wrk.method = "POST"
wrk.body = file:read("*a")
wrk.headers["Content-Type"] = "application/json"
file:close()
LUA

start_service "$work/web" "$work"

errors=0
printf '%-16s %12s %10s %10s %14s %8s\n' route requests/s p50 p99 socket-errors non-2xx
for route in /api/health /assets/app.js /api/arrange; do
  report=$work/wrk.txt
  script=()
  if [[ "$route" == /api/arrange ]]; then script=(--script "$work/arrange.lua"); fi
  timeout 60 wrk --threads "$threads" --connections "$connections" --duration "$duration" \
    --latency "${script[@]}" -H "Connection: close" "http://127.0.0.1:$port$route" >"$report"
  wrk_figures "$report"
  printf '%-16s %12s %10s %10s %14s %8s\n' "$route" "$rate" "$p50" "$p99" "$socket_errors" \
    "$non_2xx"
  if ((socket_errors > 0 || non_2xx > 0)); then errors=1; fi
done

stop_service || exit 1
exit "$errors"
