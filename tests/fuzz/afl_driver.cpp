// The AFL++ driver of one fuzz target. Under afl-fuzz it reads each input from standard input
// (one input per process), or loops over inputs in shared memory when built for persistent mode
// (ORVANTA_AFL_PERSISTENT, which needs the compiler-plugin wrappers). Given file arguments it runs
// each file once instead, which is how scripts/fuzz.sh checks that a finding reproduces.
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_target.hpp"

#ifdef ORVANTA_AFL_PERSISTENT
__AFL_FUZZ_INIT();
#endif

namespace {

std::vector<std::uint8_t> read_all(std::istream& input) {
  return {std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>()};
}

void run(const std::vector<std::uint8_t>& bytes) {
  orvanta::fuzz::fuzz_one_input(bytes.data(), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    for (int index = 1; index < argc; ++index) {
      std::ifstream file(argv[index], std::ios::binary);
      if (!file) {
        std::cerr << "cannot read " << argv[index] << '\n';
        return 2;
      }
      run(read_all(file));
    }
    return 0;
  }
#ifdef ORVANTA_AFL_PERSISTENT
  __AFL_INIT();
  const unsigned char* buffer = __AFL_FUZZ_TESTCASE_BUF;
  while (__AFL_LOOP(10000)) {
    orvanta::fuzz::fuzz_one_input(buffer, static_cast<std::size_t>(__AFL_FUZZ_TESTCASE_LEN));
  }
#else
  run(read_all(std::cin));
#endif
  return 0;
}
