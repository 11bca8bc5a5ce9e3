// Fuzz target: String::Load on any bytes, the decoding every text file goes
// through. Besides never failing, a loaded text saved again must load back
// the same, except that a leading U+FEFF reads as a byte-order mark.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "runtime/dovel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  String text = String::Load(data, static_cast<int>(size));
  if (text.Length() < 0 || static_cast<size_t>(text.Length()) > size) std::abort();
  if (text.Length() > 0 && text[0] == 0xFEFF) return 0;
  std::vector<unsigned char> saved;
  text.Save(saved);
  String again = String::Load(saved.data(), static_cast<int>(saved.size()));
  if (again != text) std::abort();
  return 0;
}
