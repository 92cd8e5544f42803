#!/usr/bin/env bash
# Black-box test of the orvanta executable: the command line, the environment, the routes over
# loopback (driven with curl) and the stop on signals. Every wait is bounded; every process and
# directory it makes is removed on exit, also on failure.
#
# usage: orvanta_cli_test.sh PATH_TO_ORVANTA
set -uo pipefail
set -f  # targets like /?v=1 are texts, never file patterns

if [[ $# -ne 1 || ! -x "$1" ]]; then
  echo "usage: $0 PATH_TO_ORVANTA" >&2
  exit 2
fi
binary=$(realpath "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/orvanta_cli_test.XXXXXX")
started_pids=()
failures=0

cleanup() {
  local pid
  for pid in "${started_pids[@]}"; do kill -KILL "$pid" 2>/dev/null; done
  chmod -R u+rwx "$work" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# A soft descriptor limit below the hard one, which the service must raise for itself.
hard_files=$(ulimit -Hn)
if [[ $hard_files == unlimited || $hard_files -gt 1024 ]]; then ulimit -Sn 1024; fi

# The service is configured from these alone; nothing leaks in from the caller.
unset CORVANE_HTTP_BIND_ADDRESS ORVANTA_BIND_ADDRESS ORVANTA_WEB_ROOT

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

expect_eq() {  # what expected actual
  [[ "$2" == "$3" ]] || fail "$1: expected [$2], got [$3]"
}

# Command line ------------------------------------------------------------------------------------

usage='usage: orvanta [--version] [--health-check]'

expect_switch() {  # expected_stdout expected_status arguments...
  local expected_out=$1 expected_status=$2
  shift 2
  local out status err
  out=$(timeout 20 "$binary" "$@" 2>"$work/switch.err")
  status=$?
  err=$(cat "$work/switch.err")
  expect_eq "orvanta $* (stdout)" "$expected_out" "$out"
  expect_eq "orvanta $* (exit status)" "$expected_status" "$status"
  expect_eq "orvanta $* (stderr)" "" "$err"
}

expect_switch "0.1.0" 0 --version
expect_switch "0.1.0" 0 --version --help
expect_switch "ok" 0 --health-check
expect_switch "$usage" 0 --help
expect_switch "$usage" 0 -h
expect_switch "$usage" 0 --help --version
expect_switch "$usage" 2 --Version
expect_switch "$usage" 2 -help
expect_switch "$usage" 2 ""
expect_switch "$usage" 2 serve
expect_switch "$usage" 2 --health-check=1
# The switches never serve: a health check answers even with a bind text that cannot be parsed.
out=$(CORVANE_HTTP_BIND_ADDRESS='[::1' timeout 20 "$binary" --health-check)
expect_eq "--health-check with a bad bind text" "ok" "$out"

# Serving -----------------------------------------------------------------------------------------

source "$(dirname "${BASH_SOURCE[0]}")/../scripts/free_port.sh"

# launch NAME VAR=VALUE...: starts orvanta in the directory $work/NAME with exactly these service
# variables, standard output and error going to files there; sets server_pid and run_dir.
launch() {
  run_dir=$work/$1
  shift
  mkdir -p "$run_dir"
  (cd "$run_dir" && exec env "$@" "$binary") >"$run_dir/out" 2>"$run_dir/err" &
  server_pid=$!
  started_pids+=("$server_pid")
}

# await_listening: waits up to 30 s for the listening line while the process runs; sets
# server_port. Fails when the process ends first or the line never comes.
await_listening() {
  local deadline=$((SECONDS + 30)) line
  while ((SECONDS < deadline)); do
    line=$(grep -m1 '^orvanta listening on ' "$run_dir/out")
    if [[ -n "$line" ]]; then
      server_port=${line#orvanta listening on }
      return 0
    fi
    kill -0 "$server_pid" 2>/dev/null || return 1
    sleep 0.05
  done
  return 1
}

# await_exit PID: waits up to 30 s for the process to end (killing it after that); sets
# exit_status.
await_exit() {
  local pid=$1 deadline=$((SECONDS + 30))
  while kill -0 "$pid" 2>/dev/null && ((SECONDS < deadline)); do sleep 0.05; done
  if kill -0 "$pid" 2>/dev/null; then
    fail "process $pid did not end within 30 s"
    kill -KILL "$pid" 2>/dev/null
  fi
  wait "$pid"
  exit_status=$?
}

# serve NAME BIND_VARIABLE VAR=VALUE...: starts orvanta bound to 127.0.0.1 on a free port through
# the named variable, retrying on another port when the chosen one was taken meanwhile.
serve() {
  local name=$1 variable=$2 attempt port
  shift 2
  for attempt in 1 2 3 4 5; do
    port=$(pick_port) || break
    launch "$name" "$variable=127.0.0.1:$port" "$@"
    if await_listening; then
      expect_eq "$name: listening port" "$port" "$server_port"
      return 0
    fi
    await_exit "$server_pid"
    grep -q 'in use' "$run_dir/err" || break
  done
  fail "$name: no listening line; stderr: $(cat "$run_dir/err" 2>/dev/null)"
  return 1
}

# stop SIGNAL: signals the running server and expects exit status 0 and an empty standard error.
stop() {
  kill "-$1" "$server_pid"
  await_exit "$server_pid"
  expect_eq "$(basename "$run_dir"): exit status after SIG$1" 0 "$exit_status"
  expect_eq "$(basename "$run_dir"): stderr" "" "$(cat "$run_dir/err")"
}

# request [curl options...] PATH: sets http_status and content_type; the body lands in $work/body.
request() {
  local path=${*: -1}
  local reply
  reply=$(curl --silent --max-time 10 --path-as-is -o "$work/body" \
    -w '%{http_code} %{content_type}' "${@:1:$#-1}" "http://127.0.0.1:$server_port$path")
  http_status=${reply%% *}
  content_type=${reply#* }
}

not_found='{"ok":false,"code":"not_found","message":"route not found"}'
builtin_page='<!doctype html><title>Orvanta</title><main>Orvanta frontend has not been built.</main>'

expect_answer() {  # path status content_type body [curl options...]
  local path=$1 status=$2 type=$3 expected_body=$4
  shift 4
  request "$@" "$path"
  expect_eq "$path: status" "$status" "$http_status"
  expect_eq "$path: content type" "$type" "$content_type"
  expect_eq "$path: body" "$expected_body" "$(cat "$work/body" 2>/dev/null)"
}

expect_no_route() {  # path [curl options...]
  local path=$1
  shift
  expect_answer "$path" 404 application/json "$not_found" "$@"
}

# Without a front end: health, the built-in page, the framework's 404s. The listening line must
# arrive while the process runs, so it is flushed.
if serve no_front_end ORVANTA_BIND_ADDRESS "ORVANTA_WEB_ROOT=$work/no/such/dir"; then
  expect_answer /api/health 200 application/json \
    '{"ok":true,"payload":{"status":"ok","version":"0.1.0"}}'
  expect_answer / 200 "text/html; charset=utf-8" "$builtin_page"
  expect_no_route /index.html
  expect_no_route /api/health?probe=1
  expect_no_route /api/health -X POST
  expect_no_route /api/arrange
  # Slow clients each hold a descriptor until their deadline: the soft limit is raised to the hard.
  read -r _ _ _ soft hard _ < <(grep '^Max open files' "/proc/$server_pid/limits")
  expect_eq "descriptor limit" "$hard" "$soft"
  # The arrangement of the project's lead sheet, and a request whose document is invalid.
  fixture=$(dirname "${BASH_SOURCE[0]}")/fixtures/lead_sheet_8_bars.json
  { printf '{"part_type":"electric","document":'; cat "$fixture"; printf '}'; } >"$work/arrange.json"
  request -X POST -H 'Content-Type: application/json' --data-binary "@$work/arrange.json" \
    /api/arrange
  expect_eq "/api/arrange: status" 200 "$http_status"
  expect_eq "/api/arrange: content type" application/json "$content_type"
  [[ $(head -c 33 "$work/body") == '{"ok":true,"payload":{"document":' ]] ||
    fail "/api/arrange: body does not open with the arranged document"
  grep -q '"id":"staff-arranged-guitar"' "$work/body" || fail "/api/arrange: no arranged staff"
  expect_answer /api/arrange 400 application/json \
    '{"ok":false,"code":"invalid_argument","message":"version: must be positive"}' \
    -X POST -H 'Content-Type: application/json' -d '{"document":{}}'
  stop TERM
fi

# A front end under the default web root "web/dist", relative to the working directory; empty
# variables count as unset.
site=$work/with_front_end/web/dist
mkdir -p "$site/assets" "$site/img" "$site/fonts" "$site/docs" "$site/data"
printf '<!doctype html><title>front end</title>' >"$site/index.html"
printf 'console.log("app");\n' >"$site/assets/app.js"
printf 'export const x = 1;\n' >"$site/assets/chunk.mjs"
printf 'body { margin: 0 }\n' >"$site/assets/site.css"
printf '{"tunes":[]}' >"$site/data/tunes.json"
printf '<svg xmlns="http://www.w3.org/2000/svg"/>' >"$site/img/logo.svg"
printf '\x89PNG\r\n\x1a\n\x00\x00\x00\x0dIHDR' >"$site/img/logo.png"
printf '\xff\xd8\xff\xe0' >"$site/img/photo.jpg"
printf '\xff\xd8\xff\xe1' >"$site/img/photo.jpeg"
printf 'wOF2\x00\x01' >"$site/fonts/text.woff2"
printf 'PNG?' >"$site/img/LOGO.PNG"
printf '{"version":3}' >"$site/assets/app.js.map"
printf 'SECRET=1\n' >"$site/.env"
printf '<p>docs</p>' >"$site/docs/index.html"
: >"$site/empty.css"
# A file that opens but fails on its first read is left out like one that cannot be opened.
[[ -e /proc/self/mem ]] && ln -s /proc/self/mem "$site/assets/unreadable.js"
printf '<!doctype html><title>outside</title>' >"$work/with_front_end/web/outside.html"

expect_file() {  # route file content_type
  request "$1"
  expect_eq "$1: status" 200 "$http_status"
  expect_eq "$1: content type" "$3" "$content_type"
  cmp -s "$work/body" "$2" || fail "$1: body differs from $2"
}

if serve with_front_end ORVANTA_BIND_ADDRESS CORVANE_HTTP_BIND_ADDRESS= ORVANTA_WEB_ROOT=; then
  expect_file / "$site/index.html" "text/html; charset=utf-8"
  expect_file /index.html "$site/index.html" "text/html; charset=utf-8"
  expect_file /docs/index.html "$site/docs/index.html" "text/html; charset=utf-8"
  expect_file /assets/app.js "$site/assets/app.js" "text/javascript; charset=utf-8"
  expect_file /assets/chunk.mjs "$site/assets/chunk.mjs" "text/javascript; charset=utf-8"
  expect_file /assets/site.css "$site/assets/site.css" "text/css; charset=utf-8"
  expect_file /data/tunes.json "$site/data/tunes.json" "application/json"
  expect_file /img/logo.svg "$site/img/logo.svg" "image/svg+xml"
  expect_file /img/logo.png "$site/img/logo.png" "image/png"
  expect_file /img/photo.jpg "$site/img/photo.jpg" "image/jpeg"
  expect_file /img/photo.jpeg "$site/img/photo.jpeg" "image/jpeg"
  expect_file /fonts/text.woff2 "$site/fonts/text.woff2" "font/woff2"
  expect_file /img/LOGO.PNG "$site/img/LOGO.PNG" "application/octet-stream"
  expect_file /assets/app.js.map "$site/assets/app.js.map" "application/octet-stream"
  expect_file /.env "$site/.env" "application/octet-stream"
  expect_file /empty.css "$site/empty.css" "text/css; charset=utf-8"
  expect_answer /api/health 200 application/json \
    '{"ok":true,"payload":{"status":"ok","version":"0.1.0"}}'
  # Targets are matched exactly as received: no dot segments, no decoding, no query strings.
  for target in /../ /%2e%2e/ /../outside.html /%2e%2e/outside.html /assets/../index.html \
    /%2e%2e/web/dist/index.html /./index.html //index.html /?v=1 /index.html?v=1 \
    /assets/app.js?v=1 /docs /docs/ /assets/ /%61ssets/app.js /assets/unreadable.js; do
    expect_no_route "$target"
  done
  stop INT
fi

# The framework's variable wins over the service's own.
if port_service=$(pick_port) &&
  serve precedence CORVANE_HTTP_BIND_ADDRESS "ORVANTA_BIND_ADDRESS=127.0.0.1:$port_service" \
    "ORVANTA_WEB_ROOT=$work/no/such/dir"; then
  expect_answer /api/health 200 application/json \
    '{"ok":true,"payload":{"status":"ok","version":"0.1.0"}}'
  if curl --silent --max-time 5 -o /dev/null "http://127.0.0.1:$port_service/api/health"; then
    fail "precedence: ORVANTA_BIND_ADDRESS port $port_service answers as well"
  fi
  stop TERM
fi

# A bind text without a port, or with port 0, listens on 8000 (checked only while 8000 is free).
for bind in 127.0.0.1 127.0.0.1:0; do
  (exec 3<>/dev/tcp/127.0.0.1/8000) 2>/dev/null && break
  launch "default_port_${bind//[.:]/_}" "ORVANTA_BIND_ADDRESS=$bind" "ORVANTA_WEB_ROOT=$work/none"
  if await_listening; then
    expect_eq "bind $bind: port" 8000 "$server_port"
    stop TERM
  else
    await_exit "$server_pid"
    grep -q 'in use' "$run_dir/err" || fail "bind $bind: did not start: $(cat "$run_dir/err")"
  fi
done

# Start-up failures: exit status 1, the message alone on standard error, nothing on standard
# output.
expect_start_failure() {  # name expected_stderr (exact, or a pattern when it starts with ~) env...
  local name=$1 expected=$2
  shift 2
  launch "$name" "$@"
  await_exit "$server_pid"
  expect_eq "$name: exit status" 1 "$exit_status"
  expect_eq "$name: stdout" "" "$(cat "$run_dir/out")"
  local err
  err=$(cat "$run_dir/err")
  if [[ "$expected" == "~"* ]]; then
    [[ "$err" == ${expected#\~} && $(wc -l <"$run_dir/err") -eq 1 ]] ||
      fail "$name: stderr [$err] does not match [${expected#\~}]"
  else
    expect_eq "$name: stderr" "$expected" "$err"
  fi
}

expect_start_failure bad_port "endpoint port is invalid" "ORVANTA_BIND_ADDRESS=127.0.0.1:http"
expect_start_failure port_too_large "endpoint port is invalid" \
  "CORVANE_HTTP_BIND_ADDRESS=127.0.0.1:65536" "ORVANTA_BIND_ADDRESS=127.0.0.1:8080"
expect_start_failure empty_port "endpoint port is required" "ORVANTA_BIND_ADDRESS=127.0.0.1:"
expect_start_failure no_host "endpoint host is required" "CORVANE_HTTP_BIND_ADDRESS=:8080"
expect_start_failure open_bracket "endpoint IPv6 host is invalid" "ORVANTA_BIND_ADDRESS=[::1"
expect_start_failure trailing "endpoint has trailing characters" "ORVANTA_BIND_ADDRESS=[::1]x"

if serve holder ORVANTA_BIND_ADDRESS "ORVANTA_WEB_ROOT=$work/none"; then
  holder_pid=$server_pid
  holder_dir=$run_dir
  expect_start_failure port_in_use "~*in use*" "ORVANTA_BIND_ADDRESS=127.0.0.1:$server_port" \
    "ORVANTA_WEB_ROOT=$work/none"
  server_pid=$holder_pid
  run_dir=$holder_dir
  stop TERM
fi

# A file-system error while the front end is read ends start-up with the exception's text.
mkdir -p "$work/looping_root"
ln -s index.html "$work/looping_root/index.html"
expect_start_failure looping_index "~*index.html*" "ORVANTA_BIND_ADDRESS=127.0.0.1:0" \
  "ORVANTA_WEB_ROOT=$work/looping_root"

# A stop while a request is still being read: the client gets no answer, the exit status is 0.
if serve partial_request ORVANTA_BIND_ADDRESS "ORVANTA_WEB_ROOT=$work/none"; then
  exec 3<>"/dev/tcp/127.0.0.1/$server_port"
  printf 'GET /api/health HTTP/1.1\r\nHost: 127.0.0.1\r\n' >&3
  sleep 0.2
  stop TERM
  answer=$(timeout 10 cat <&3)
  expect_eq "partial request: answer" "" "$answer"
  exec 3<&-
fi

if ((failures > 0)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all orvanta command-line and HTTP checks passed"
