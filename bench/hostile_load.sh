#!/usr/bin/env bash
# Hostile load on the optimised service over loopback. For a while (20 s by default) it holds, in
# parallel: 500 connections that send nothing, 500 that send a request header one byte per second,
# and 8 clients that each send bodies of 16 MiB plus one byte, one after another (4 with a declared
# Content-Length, 4 chunked); a connection that is cut is opened again at once. Meanwhile wrk keeps
# asking GET /api/health (16 connections, keep-alive off). The server's own per-connection
# deadlines decide every cut: nothing is configured for this run.
#
# Prints: when the idle and the slow-header connections were cut (seconds after connecting:
# median, p99, max, and how many were still open at the end), what the big bodies were answered
# and how fast, the health p50 and p99 before and during the run, the service's peak resident
# memory (VmHWM) and its resident memory at the end. Exits 1 when the service stopped answering
# the health probe, answered a big body with anything but 400, or did not stop cleanly.
#
# usage: bash bench/hostile_load.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."

duration=${1:-20}
[[ "$duration" =~ ^[1-9][0-9]*$ ]] || {
  echo "usage: $0 [SECONDS]" >&2
  exit 2
}

source bench/service.sh
build_service

work=$(mktemp -d "${TMPDIR:-/tmp}/orvanta_hostile.XXXXXX")
server_pid=""
wrk_pid=""
cleanup() {
  if [[ -n "$wrk_pid" ]]; then kill -KILL "$wrk_pid" 2>/dev/null || true; fi
  if [[ -n "$server_pid" ]]; then kill -KILL "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# Two thousand sockets between the clients and the server need more than the usual 1024 files.
hard_limit=$(ulimit -Hn)
if [[ "$hard_limit" == unlimited || "$hard_limit" -gt 65536 ]]; then hard_limit=65536; fi
ulimit -Sn "$hard_limit"

mkdir -p "$work/web"
start_service "$work/web" "$work"

memory() {  # FIELD: the service's VmHWM or VmRSS in MiB
  awk -v field="$1:" '$1 == field {printf "%.1f MiB", $2 / 1024}' "/proc/$server_pid/status"
}

health_wrk() {  # SECONDS REPORT
  timeout $(($1 + 30)) wrk --threads 4 --connections 16 --duration "${1}s" --latency \
    -H "Connection: close" "http://127.0.0.1:$port/api/health" >"$2"
}

health_line() {  # LABEL REPORT
  local rate p50 p99 socket_errors non_2xx
  wrk_figures "$2"
  printf '%-22s %10s req/s   p50 %9s   p99 %9s   socket errors %s   non-2xx %s\n' "$1" "$rate" \
    "$p50" "$p99" "$socket_errors" "$non_2xx"
}

echo "service on port $port, open-file limit $(ulimit -Sn); hostile run of $duration s"
health_wrk 5 "$work/health_before.txt"
health_line "health, quiet" "$work/health_before.txt"
echo "peak resident memory before the run: $(memory VmHWM)"

health_wrk "$duration" "$work/health_during.txt" &
wrk_pid=$!

status=0
python3 - "$port" "$duration" <<'EOF' || status=1
import asyncio
import socket
import statistics
import sys
import time

port = int(sys.argv[1])
duration = float(sys.argv[2])
idle_count = 500
slow_count = 500
body_workers = 8
body_size = 16 * 1024 * 1024 + 1
chunk_size = 64 * 1024


async def connect():
    return await asyncio.open_connection("127.0.0.1", port, limit=1 << 20)


async def wait_for_cut(reader, end):
    """True when the server closed or reset the connection before the end of the run."""
    try:
        await asyncio.wait_for(reader.read(), timeout=max(0.0, end - time.monotonic()))
        return True
    except asyncio.TimeoutError:
        return False
    except (ConnectionError, OSError):
        return True


async def close(writer):
    writer.transport.abort()


async def trickle(writer, end):
    header = b"GET /api/health HTTP/1.1\r\nHost: x\r\nX-Slow: " + b"a" * 100000
    for byte in header:
        if time.monotonic() >= end:
            return
        try:
            writer.write(bytes([byte]))
            await writer.drain()
        except (ConnectionError, OSError):
            return
        await asyncio.sleep(1.0)


async def slot(end, cuts, stats, talk=None):
    """One connection after another until the end, each sending what talk sends (nothing when
    there is no talk) and timed until the server cuts it."""
    while time.monotonic() < end:
        # Timed from before the connect: the figure is never below the server's own measure.
        opened = time.monotonic()
        try:
            reader, writer = await connect()
        except OSError:
            stats["connect failures"] += 1
            await asyncio.sleep(0.1)
            continue
        sender = asyncio.create_task(talk(writer, end)) if talk else None
        if await wait_for_cut(reader, end):
            cuts.append(time.monotonic() - opened)
        else:
            stats["open at the end"].append(time.monotonic() - opened)
        if sender:
            sender.cancel()
        await close(writer)


async def send_body(loop, sock, chunked):
    chunk = b"x" * chunk_size
    left = body_size
    while left > 0:
        piece = chunk[: min(left, chunk_size)]
        await loop.sock_sendall(sock, b"%x\r\n%s\r\n" % (len(piece), piece) if chunked else piece)
        left -= len(piece)
    if chunked:
        await loop.sock_sendall(sock, b"0\r\n\r\n")


async def read_answer(loop, sock):
    """What the server sent before it closed or reset the connection."""
    answer = b""
    while True:
        try:
            data = await loop.sock_recv(sock, 65536)
        except OSError:
            return answer
        if not data:
            return answer
        answer += data


async def body_worker(index, end, answers):
    # Raw sockets: a send that fails once the server has answered must not hide the answer.
    loop = asyncio.get_running_loop()
    chunked = index % 2 == 1
    kind = "chunked" if chunked else "declared"
    framing = b"Transfer-Encoding: chunked" if chunked else b"Content-Length: %d" % body_size
    while time.monotonic() < end:
        started = time.monotonic()
        sock = socket.socket()
        sock.setblocking(False)
        try:
            await loop.sock_connect(sock, ("127.0.0.1", port))
            await loop.sock_sendall(
                sock, b"POST /api/arrange HTTP/1.1\r\nHost: x\r\n" + framing + b"\r\n\r\n")
        except OSError:
            sock.close()
            answers.append((kind, "connect failed", 0.0))
            await asyncio.sleep(0.1)
            continue
        sender = asyncio.create_task(send_body(loop, sock, chunked))
        try:
            answer = await asyncio.wait_for(read_answer(loop, sock), timeout=60)
        except asyncio.TimeoutError:
            answer = b"(no answer within 60 s)"
        sender.cancel()
        try:
            await sender
        except (asyncio.CancelledError, OSError):
            pass
        sock.close()
        status_line = answer.split(b"\r\n", 1)[0].decode(errors="replace")
        if b"HTTP body limit exceeded" in answer:
            status_line += " body limit exceeded"
        answers.append((kind, status_line, time.monotonic() - started))


def cut_line(label, cuts, stats):
    if not cuts:
        return f"{label:22s} none cut; {len(stats['open at the end'])} open when the run ended"
    ordered = sorted(cuts)
    p99 = ordered[min(len(ordered) - 1, int(0.99 * len(ordered)))]
    still_open = stats["open at the end"]
    oldest = max(still_open, default=0.0)
    return (f"{label:22s} {len(cuts):5d} cut after  median {statistics.median(ordered):5.2f} s"
            f"   p99 {p99:5.2f} s   min {ordered[0]:5.2f} s   max {ordered[-1]:5.2f} s;"
            f"   open when the run ended {len(still_open)} (oldest {oldest:.2f} s);"
            f"   failed connects {stats['connect failures']}")


async def main():
    end = time.monotonic() + duration
    idle_cuts, slow_cuts, answers = [], [], []
    idle_stats = {"open at the end": [], "connect failures": 0}
    slow_stats = {"open at the end": [], "connect failures": 0}
    tasks = [slot(end, idle_cuts, idle_stats) for _ in range(idle_count)]
    tasks += [slot(end, slow_cuts, slow_stats, trickle) for _ in range(slow_count)]
    tasks += [body_worker(index, end, answers) for index in range(body_workers)]
    await asyncio.gather(*tasks)

    print(cut_line("idle connections", idle_cuts, idle_stats))
    print(cut_line("slow-header (1 B/s)", slow_cuts, slow_stats))
    failed = False
    for kind in ("declared", "chunked"):
        mine = [answer for answer in answers if answer[0] == kind]
        statuses = sorted({answer[1] for answer in mine})
        times = sorted(answer[2] for answer in mine)
        median = statistics.median(times) if times else 0.0
        print(f"16 MiB + 1 B, {kind:9s} {len(mine):5d} bodies, answered {statuses},"
              f" median {median:.3f} s, max {times[-1] if times else 0.0:.3f} s")
        if any(not status.startswith("HTTP/1.1 400") for status in statuses):
            failed = True
    sys.exit(1 if failed else 0)


asyncio.run(main())
EOF

wait "$wrk_pid" || status=1
wrk_pid=""
health_line "health, under attack" "$work/health_during.txt"
echo "peak resident memory (VmHWM): $(memory VmHWM); resident at the end (VmRSS): $(memory VmRSS)"

answer=$(curl -sS --max-time 5 "http://127.0.0.1:$port/api/health" || true)
if [[ "$answer" == '{"ok":true,"payload":{"status":"ok","version":"0.1.0"}}' ]]; then
  echo "health after the run: answered"
else
  echo "health after the run: NO ANSWER ($answer)" >&2
  status=1
fi

stop_service || status=1
exit "$status"
