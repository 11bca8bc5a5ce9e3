// libFuzzer entry for one of the sound readers, chosen at compile time with
// FUZZ_READER (LoadWAV or LoadOGG): any input must be refused or decoded
// without a memory error.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "host/audio_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (!f) return 0;
  int length, channels, format, hertz;
  std::free(FUZZ_READER(f, &length, &channels, &format, &hertz));
  std::fclose(f);
  return 0;
}
