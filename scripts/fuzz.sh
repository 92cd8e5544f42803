#!/usr/bin/env bash
# Fuzzes one target with AFL++ for a while and keeps what it finds.
#
# usage: bash scripts/fuzz.sh TARGET [SECONDS]     (TARGET: a tests/fuzz/TARGET_fuzz.cpp; 600 s)
#
# Installs afl++ (and the build's dependencies) when missing, builds the target's AFL++ driver
# under AddressSanitizer and UndefinedBehaviorSanitizer with AFL++'s g++ wrapper into build/fuzz/,
# and runs afl-fuzz on one core at low priority, starting from tests/fuzz/TARGET/corpus (with
# tests/fuzz/TARGET/afl.dict as dictionary when there is one). The compiler-plugin wrapper
# afl-g++-fast and its persistent mode are used when they can build the project; otherwise the
# assembler-level afl-g++, one input per process. Afterwards it prints AFL's figures and copies
# each crash and hang that reproduces outside afl-fuzz to tests/fuzz/TARGET/found/, where the
# target's replay test picks it up. Exits 1 when it copied any.
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

bash scripts/setup.sh
if ! command -v afl-fuzz >/dev/null; then
  sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends afl++
fi

build=$PWD/build/fuzz
mkdir -p "$build"

# afl-g++-fast needs a GCC plugin built for exactly the installed g++; a Debian g++ update leaves
# it refusing to load ("incompatible versions"), and then only afl-g++ works.
probe_persistent_wrapper() {
  local probe=$build/probe
  mkdir -p "$probe"
  cat >"$probe/probe.cpp" <<'EOF'
#include <expected>
__AFL_FUZZ_INIT();
int main() {
  __AFL_INIT();
  std::expected<int, int> value = 0;
  while (__AFL_LOOP(1)) value = *value + __AFL_FUZZ_TESTCASE_LEN;
  return 0;
}
EOF
  AFL_QUIET=1 afl-g++-fast -std=c++23 "$probe/probe.cpp" -o "$probe/probe" >"$probe/log" 2>&1 &&
    "$probe/probe" </dev/null >>"$probe/log" 2>&1
}

if probe_persistent_wrapper; then
  wrapper=afl-g++-fast
  persistent=ON
else
  wrapper=afl-g++
  persistent=OFF
  reason=$(sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' "$build/probe/log" | grep -m1 -i 'abort\|error' || true)
  echo "afl-g++-fast cannot build C++23 here (${reason:-see $build/probe/log}); using afl-g++," \
    "one input per process"
fi
compiler=$(command -v "$wrapper")
if [[ -f "$build/CMakeCache.txt" ]] &&
  ! grep -qx "CMAKE_CXX_COMPILER:[A-Z]*=$compiler" "$build/CMakeCache.txt"; then
  rm -rf "$build/CMakeFiles" "$build/CMakeCache.txt"
fi

export AFL_QUIET=1
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER="$compiler" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g" \
  -DORVANTA_SANITIZE=ON -DORVANTA_BUILD_TESTS=ON -DORVANTA_BUILD_BENCH=OFF \
  -DORVANTA_WARNINGS_AS_ERRORS=OFF -DORVANTA_FUZZ_DRIVERS=ON \
  -DORVANTA_FUZZ_PERSISTENT="$persistent" >/dev/null
jobs=$(nproc)
((jobs <= 4)) || jobs=4
nice -n 10 cmake --build "$build" -j "$jobs" --target "fuzz_$target"
binary=$build/tests/fuzz_$target
unset AFL_QUIET

findings=$build/findings/$target
rm -rf "$findings"
mkdir -p "$findings"
dictionary=()
[[ -f tests/fuzz/$target/afl.dict ]] && dictionary=(-x "tests/fuzz/$target/afl.dict")

# Sanitizer reports must end the process with a signal for AFL++ to count a crash; leaks are left
# to the replay tests.
export ASAN_OPTIONS=abort_on_error=1:symbolize=0:detect_leaks=0:allocator_may_return_null=1
export UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1:print_stacktrace=0
echo "fuzzing $target for $seconds s with $wrapper; log in $findings.log"
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
