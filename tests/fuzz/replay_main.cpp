// Runs the fuzz target once on every named file or folder's files; a missing
// path, no input or a non-zero return fails, and sanitizer reports stop at once.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

extern "C" const char* __asan_default_options() { return "halt_on_error=1:detect_leaks=0"; }
extern "C" const char* __ubsan_default_options() { return "halt_on_error=1:print_stacktrace=1"; }

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  int files = 0, failed = 0;
  for (int i = 1; i < argc; ++i) {
    std::vector<fs::path> inputs;
    if (fs::is_directory(argv[i])) {
      for (const auto& entry : fs::directory_iterator(argv[i]))
        if (entry.is_regular_file()) inputs.push_back(entry.path());
    } else if (fs::is_regular_file(argv[i])) {
      inputs.push_back(argv[i]);
    } else {
      std::fprintf(stderr, "no such input: %s\n", argv[i]);
      ++failed;
    }
    for (const fs::path& input : inputs) {
      std::ifstream in(input, std::ios::binary);
      std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      std::fprintf(stderr, "replaying %s (%zu bytes)\n", input.c_str(), bytes.size());
      failed += LLVMFuzzerTestOneInput(bytes.data(), bytes.size()) != 0;
      ++files;
    }
  }
  std::fprintf(stderr, "%d inputs replayed, %d failed\n", files, failed);
  return files > 0 && failed == 0 ? 0 : 1;
}
