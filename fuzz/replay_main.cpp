// Replays every file of the given corpus folders (or single files) through the
// fuzz entry point, so the seed corpus runs as an ordinary test without libFuzzer.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {
int RunOne(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", p.c_str());
    return 1;
  }
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // Exact-size heap copy so a sanitizer sees any read past the input.
  auto* copy = new uint8_t[bytes.size() ? bytes.size() : 1];
  std::copy(bytes.begin(), bytes.end(), copy);
  LLVMFuzzerTestOneInput(copy, bytes.size());
  delete[] copy;
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  int files = 0;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path p(argv[i]);
    if (std::filesystem::is_directory(p)) {
      for (const auto& e : std::filesystem::directory_iterator(p)) {
        if (!e.is_regular_file()) continue;
        if (RunOne(e.path()) != 0) return 1;
        ++files;
      }
    } else {
      if (RunOne(p) != 0) return 1;
      ++files;
    }
  }
  std::printf("replayed %d inputs\n", files);
  return files > 0 ? 0 : 1;
}
