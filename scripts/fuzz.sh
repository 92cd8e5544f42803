#!/usr/bin/env bash
# Fuzzes one target with AFL++ for a while and keeps what it finds.
#
# usage: bash scripts/fuzz.sh TARGET [SECONDS]     (TARGET: a tests/fuzz/TARGET_fuzz.cpp; 600 s)
#        FUZZ_TIMEOUT_MS=N sets the time after which one input counts as a hang.
#
# Installs afl++ (and the build's dependencies) when missing, builds the target's AFL++ driver
# with g++ 12 under AddressSanitizer and UndefinedBehaviorSanitizer into build/fuzz/, and runs
# afl-fuzz on one core at low priority, starting from tests/fuzz/TARGET/corpus (with
# tests/fuzz/TARGET/afl.dict as dictionary when there is one). Afterwards it prints AFL's figures
# and copies each crash and hang that reproduces outside afl-fuzz to tests/fuzz/TARGET/found/,
# where the target's replay test picks it up. Exits 1 when it copied any.
#
# The instrumentation is the first of these that works, or the one FUZZ_INSTRUMENTATION names:
#   afl-g++-fast  AFL++'s GCC-plugin wrapper, persistent mode. Its plugin must have been built for
#                 exactly the installed g++; afl++ 4.04c-4 refuses Debian's g++ 12.2.0-14+deb12u1.
#   trace-pc      plain g++ with -fsanitize-coverage=trace-pc, AFL++'s runtime object and the
#                 coverage callback of tests/fuzz/afl_coverage.cpp, persistent mode.
#   afl-g++       AFL++'s assembler-level wrapper: one input per process, so every input pays a
#                 fork (4 ms in a virtual machine that traps page-table updates).
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  echo "usage: $0 TARGET [SECONDS]; targets:" \
    "$(cd tests/fuzz && ls -- *_fuzz.cpp | sed 's/_fuzz\.cpp$//' | tr '\n' ' ')" >&2
  exit 2
}
[[ $# -ge 1 && $# -le 2 ]] || usage
target=$1
seconds=${2:-600}
[[ -f tests/fuzz/${target}_fuzz.cpp && -d tests/fuzz/$target/corpus ]] || usage
[[ "$seconds" =~ ^[1-9][0-9]*$ ]] || usage

# A hang is an input that runs longer than this; the HTTP target's own bound is 4 s.
case "$target" in
  http) timeout_ms=8000 ;;
  *) timeout_ms=2000 ;;
esac
timeout_ms=${FUZZ_TIMEOUT_MS:-$timeout_ms}
[[ "$timeout_ms" =~ ^[1-9][0-9]*$ ]] || usage

bash scripts/setup.sh
if ! command -v afl-fuzz >/dev/null; then
  sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends afl++
fi

work=$PWD/build/fuzz
mkdir -p "$work/probe"
afl_runtime=${AFL_PATH:-/usr/lib/afl}/afl-compiler-rt.o

# A minimal persistent driver, built and run the way the real one would be.
cat >"$work/probe/probe.cpp" <<'EOF'
#include <expected>
extern "C" int __afl_persistent_loop(unsigned int max_count);
extern "C" void __afl_manual_init();
int main() {
  __afl_manual_init();
  std::expected<int, int> count = 0;
  while (__afl_persistent_loop(1)) count = *count + 1;
  return *count == 1 ? 0 : 1;
}
EOF

probe() {  # INSTRUMENTATION
  local log=$work/probe/$1.log
  local binary=$work/probe/$1
  case "$1" in
    afl-g++-fast)
      AFL_QUIET=1 afl-g++-fast -std=c++23 "$work/probe/probe.cpp" -o "$binary" >"$log" 2>&1 &&
        "$binary" </dev/null >>"$log" 2>&1 ;;
    trace-pc)
      [[ -f "$afl_runtime" ]] &&
        g++ -std=c++23 -fsanitize-coverage=trace-pc "$work/probe/probe.cpp" \
          tests/fuzz/afl_coverage.cpp "$afl_runtime" -ldl -o "$binary" >"$log" 2>&1 &&
        "$binary" </dev/null >>"$log" 2>&1 ;;
    afl-g++)
      echo 'int main() {}' >"$work/probe/plain.cpp"
      AFL_QUIET=1 afl-g++ -std=c++23 "$work/probe/plain.cpp" -o "$binary" >"$log" 2>&1 ;;
    *)
      echo "unknown instrumentation $1" >&2
      exit 2 ;;
  esac
}

if [[ -n "${FUZZ_INSTRUMENTATION:-}" ]]; then
  instrumentation=$FUZZ_INSTRUMENTATION
  probe "$instrumentation" || {
    echo "$instrumentation does not work here; see $work/probe/$instrumentation.log" >&2
    exit 1
  }
else
  for instrumentation in afl-g++-fast trace-pc afl-g++ none; do
    if [[ "$instrumentation" == none ]]; then
      echo "no AFL++ instrumentation works here; see $work/probe/" >&2
      exit 1
    fi
    probe "$instrumentation" && break
    reason=$(sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' "$work/probe/$instrumentation.log" |
      grep -m1 -i 'abort\|error' || true)
    echo "$instrumentation does not work here: ${reason:-see $work/probe/$instrumentation.log}"
  done
fi

case "$instrumentation" in
  afl-g++-fast)
    settings=(-DCMAKE_CXX_COMPILER="$(command -v afl-g++-fast)" -DCMAKE_CXX_FLAGS=
              -DORVANTA_FUZZ_PERSISTENT=ON -DORVANTA_FUZZ_AFL_RUNTIME=) ;;
  trace-pc)
    settings=(-DCMAKE_CXX_COMPILER="$(command -v g++)" -DCMAKE_CXX_FLAGS=
              -DORVANTA_FUZZ_PERSISTENT=ON -DORVANTA_FUZZ_AFL_RUNTIME="$afl_runtime") ;;
  afl-g++)
    settings=(-DCMAKE_CXX_COMPILER="$(command -v afl-g++)" -DCMAKE_CXX_FLAGS=
              -DORVANTA_FUZZ_PERSISTENT=OFF -DORVANTA_FUZZ_AFL_RUNTIME=) ;;
esac

build=$work/$instrumentation
export AFL_QUIET=1
cmake -S . -B "$build" -G Ninja "${settings[@]}" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g" \
  -DORVANTA_SANITIZE=ON -DORVANTA_BUILD_TESTS=ON -DORVANTA_BUILD_BENCH=OFF \
  -DORVANTA_WARNINGS_AS_ERRORS=OFF -DORVANTA_FUZZ_DRIVERS=ON >/dev/null
jobs=$(nproc)
((jobs <= 4)) || jobs=4
nice -n 10 cmake --build "$build" -j "$jobs" --target "fuzz_$target"
binary=$build/tests/fuzz_$target
unset AFL_QUIET

findings=$work/findings/$target
rm -rf "$findings"
mkdir -p "$findings"
dictionary=()
[[ -f tests/fuzz/$target/afl.dict ]] && dictionary=(-x "tests/fuzz/$target/afl.dict")

# Sanitizer reports must end the process with a signal for AFL++ to count a crash; leaks are left
# to the replay tests.
export ASAN_OPTIONS=abort_on_error=1:symbolize=0:detect_leaks=0:allocator_may_return_null=1
export UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1:print_stacktrace=0
echo "fuzzing $target for $seconds s, instrumented by $instrumentation; log in $findings.log"
AFL_SKIP_CPUFREQ=1 AFL_NO_UI=1 AFL_NO_AFFINITY=1 AFL_I_DONT_CARE_ABOUT_MISSING_CRASHES=1 \
  nice -n 10 afl-fuzz -i "tests/fuzz/$target/corpus" -o "$findings" -V "$seconds" \
  -t "$timeout_ms" -m none "${dictionary[@]}" -- "$binary" >"$findings.log" 2>&1 || {
  echo "afl-fuzz failed:" >&2
  tail -n 20 "$findings.log" >&2
  exit 1
}

stats=$findings/default/fuzzer_stats
for key in run_time execs_done execs_per_sec corpus_count edges_found bitmap_cvg stability \
  saved_crashes saved_hangs; do
  grep -E "^$key +:" "$stats" || true
done

# A finding is kept when the driver, run on it alone, fails or outlasts the time-out.
export ASAN_OPTIONS=detect_leaks=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
found=tests/fuzz/$target/found
kept=0
for kind in crashes hangs; do
  for input in "$findings/default/$kind"/id*; do
    [[ -f "$input" ]] || continue
    status=0
    timeout 60 "$binary" "$input" >"$findings/replay.log" 2>&1 || status=$?
    if ((status == 0)); then
      echo "does not reproduce: $input"
      continue
    fi
    name=${kind%es}
    name=${name%s}_$(sha1sum "$input" | cut -c1-12)
    mkdir -p "$found"
    cp "$input" "$found/$name"
    kept=$((kept + 1))
    echo "reproduces (exit $status): $found/$name"
    grep -m3 -E 'ERROR|runtime error|fuzz oracle' "$findings/replay.log" || true
  done
done
((kept == 0)) || exit 1
