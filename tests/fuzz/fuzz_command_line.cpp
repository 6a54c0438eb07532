// The program's command line: the input is its arguments, separated by NUL
// bytes, after the program's name.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/CommandLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> args{"vorndale"};
  std::string arg;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.push_back(std::move(arg));
      arg.clear();
    } else {
      arg.push_back(char(data[i]));
    }
  }
  if (size > 0) args.push_back(std::move(arg));
  const vd::app::TCommandLine r = vd::app::ParseCommandLine(args);
  if (r.Mode == vd::app::TStartMode::Error && r.Text.isEmpty()) __builtin_trap();
  return 0;
}
