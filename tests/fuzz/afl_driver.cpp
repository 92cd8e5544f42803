// The AFL++ driver of one fuzz target. Built for persistent mode (ORVANTA_AFL_PERSISTENT) it
// starts AFL++'s fork server once the process is ready and then runs up to 10000 inputs per
// process, taken from shared memory; otherwise it reads one input from standard input per
// process. Given file arguments it runs each file once instead, which is how scripts/fuzz.sh
// checks that a finding reproduces.
#include <unistd.h>

#include <array>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_target.hpp"

#ifdef ORVANTA_AFL_PERSISTENT
// AFL++'s runtime (afl-compiler-rt), linked in by afl-g++-fast or by scripts/fuzz.sh.
extern "C" int __afl_persistent_loop(unsigned int max_count);
extern "C" void __afl_manual_init();
extern unsigned char* __afl_fuzz_ptr;
extern unsigned int* __afl_fuzz_len;
// Asks the runtime for the inputs in shared memory rather than in a file.
int __afl_sharedmem_fuzzing = 1;
// afl-fuzz reads these marks in the binary to choose persistent mode and the deferred start.
__attribute__((used)) volatile const char* afl_persistent_mark = "##SIG_AFL_PERSISTENT##";
__attribute__((used)) volatile const char* afl_deferred_mark = "##SIG_AFL_DEFER_FORKSRV##";
#endif

bool orvanta::fuzz::replaying() { return false; }

namespace {

std::vector<std::uint8_t> read_all(std::istream& input) {
  return {std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>()};
}

void run(const std::vector<std::uint8_t>& bytes) {
  orvanta::fuzz::fuzz_one_input(bytes.data(), bytes.size());
}

int run_files(int count, char** paths) {
  for (int index = 0; index < count; ++index) {
    std::ifstream file(paths[index], std::ios::binary);
    if (!file) {
      std::cerr << "cannot read " << paths[index] << '\n';
      return 2;
    }
    run(read_all(file));
  }
  return 0;
}

#ifdef ORVANTA_AFL_PERSISTENT
void run_persistent() {
  __afl_manual_init();
  // Without shared memory afl-fuzz rewinds standard input before each input.
  static std::array<std::uint8_t, 1 << 20> fallback{};
  while (__afl_persistent_loop(10000)) {
    if (__afl_fuzz_ptr != nullptr) {
      orvanta::fuzz::fuzz_one_input(__afl_fuzz_ptr, *__afl_fuzz_len);
      continue;
    }
    const auto size = ::read(0, fallback.data(), fallback.size());
    orvanta::fuzz::fuzz_one_input(fallback.data(), size > 0 ? static_cast<std::size_t>(size) : 0);
  }
}
#endif

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) return run_files(argc - 1, argv + 1);
#ifdef ORVANTA_AFL_PERSISTENT
  run_persistent();
#else
  run(read_all(std::cin));
#endif
  return 0;
}
