// Runs every file of the folders (or files) named on the command line once
// through the target, as libFuzzer would, so the normal test run replays the
// seed corpus and every input that ever made a target fail. A folder that does
// not exist is passed over (a target without past crashes has none); no input
// at all is a failure, since then nothing was checked.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::filesystem::path> InputsOf(const std::filesystem::path& p) {
  namespace fs = std::filesystem;
  std::vector<fs::path> out;
  std::error_code ec;
  if (fs::is_regular_file(p, ec)) {
    out.push_back(p);
  } else if (fs::is_directory(p, ec)) {
    for (const auto& e : fs::directory_iterator(p, ec))
      if (e.is_regular_file(ec)) out.push_back(e.path());
    std::sort(out.begin(), out.end());
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 0;
  for (int i = 1; i < argc; ++i) {
    for (const auto& file : InputsOf(argv[i])) {
      std::ifstream in(file, std::ios::binary);
      const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      if (!in.good() && !in.eof()) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return 1;
      }
      std::printf("%s\n", file.c_str());
      std::fflush(stdout);  // a crash then names its input
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      ++count;
    }
  }
  std::printf("%d inputs replayed\n", count);
  return count > 0 ? 0 : 1;
}
