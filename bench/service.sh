# Sourced by the load scripts, from the repository's top directory: builds the optimised service,
# starts it on a free loopback port and stops it, and reads the figures of a wrk report.

source scripts/free_port.sh

# Builds the optimised binary if needed; sets binary.
build_service() {
  bash scripts/setup.sh
  cmake --preset release >/dev/null
  cmake --build --preset release --target orvanta
  binary=$PWD/build/release/src/orvanta
}

# start_service WEB_ROOT OUTPUT_DIR: starts the service on a free loopback port with WEB_ROOT as its
# front end, its standard output and error in OUTPUT_DIR/out and OUTPUT_DIR/err; sets port and
# server_pid. Exits 1 unless it is listening within 30 s.
start_service() {
  local output=$2 deadline
  port=$(pick_port)
  env -u CORVANE_HTTP_BIND_ADDRESS ORVANTA_BIND_ADDRESS="127.0.0.1:$port" \
    ORVANTA_WEB_ROOT="$1" "$binary" >"$output/out" 2>"$output/err" &
  server_pid=$!
  deadline=$((SECONDS + 30))
  until grep -q '^orvanta listening on ' "$output/out"; do
    if ! kill -0 "$server_pid" 2>/dev/null || ((SECONDS >= deadline)); then
      echo "orvanta did not start: $(cat "$output/err")" >&2
      exit 1
    fi
    sleep 0.05
  done
}

# Stops the service with SIGTERM (SIGKILL after 30 s) and clears server_pid; returns 1, with a
# message, when it did not end with status 0.
stop_service() {
  local deadline=$((SECONDS + 30)) status=0
  kill -TERM "$server_pid"
  while kill -0 "$server_pid" 2>/dev/null && ((SECONDS < deadline)); do sleep 0.05; done
  kill -KILL "$server_pid" 2>/dev/null || true
  wait "$server_pid" || status=$?
  server_pid=""
  if ((status != 0)); then
    echo "orvanta ended with status $status" >&2
    return 1
  fi
}

# wrk_figures REPORT: sets rate, p50, p99, socket_errors and non_2xx from a wrk --latency report.
wrk_figures() {
  rate=$(awk '/^Requests\/sec:/ {print $2}' "$1")
  p50=$(awk '$1 == "50%" {print $2}' "$1")
  p99=$(awk '$1 == "99%" {print $2}' "$1")
  # wrk prints these two lines only when something went wrong.
  socket_errors=$(awk -F'[ ,]+' '/Socket errors:/ {print $4 + $6 + $8 + $10}' "$1")
  non_2xx=$(awk '/Non-2xx or 3xx responses:/ {print $NF}' "$1")
  socket_errors=${socket_errors:-0}
  non_2xx=${non_2xx:-0}
}
