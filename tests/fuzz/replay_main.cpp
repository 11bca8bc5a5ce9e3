// A plain entry for the fuzz targets: runs the target once on every file
// named on the command line (a folder stands for the files in it), so the
// kept crash inputs and the seeds replay as ordinary tests in every build.
// A path that does not exist, or no input at all, fails the replay: a replay
// of nothing proves nothing. So does a target that rejects an input, and any
// sanitizer report, which stops the process instead of scrolling past.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

extern "C" const char* __asan_default_options() { return "halt_on_error=1:detect_leaks=0"; }
extern "C" const char* __ubsan_default_options() { return "halt_on_error=1:print_stacktrace=1"; }

namespace {

// Runs the target on one file; false when the target returned anything but 0.
bool replay(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::fprintf(stderr, "replaying %s (%zu bytes)\n", file.c_str(), bytes.size());
  return LLVMFuzzerTestOneInput(bytes.data(), bytes.size()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  int files = 0, failed = 0;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path arg(argv[i]);
    std::vector<std::filesystem::path> inputs;
    if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::directory_iterator(arg))
        if (entry.is_regular_file()) inputs.push_back(entry.path());
    } else if (std::filesystem::is_regular_file(arg)) {
      inputs.push_back(arg);
    } else {
      std::fprintf(stderr, "no such input: %s\n", argv[i]);
      ++failed;
    }
    for (const auto& input : inputs) failed += !replay(input);
    files += static_cast<int>(inputs.size());
  }
  std::fprintf(stderr, "%d inputs replayed, %d failed\n", files, failed);
  return files > 0 && failed == 0 ? 0 : 1;
}
