#include "runtime/string.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "runtime/array.h"
#include "runtime/error.h"

String::Rep String::nullRep = {1, 0};

String::Rep* String::Rep::alloc(int n) {
  if (n <= 0) {
    nullRep.retain();
    return &nullRep;
  }
  Rep* rep = static_cast<Rep*>(std::malloc(sizeof(Rep) + sizeof(Char) * static_cast<size_t>(n)));
  if (!rep) dbg_error("Out of memory");
  rep->refs = 1;
  rep->length = n;
  return rep;
}

void String::Rep::free_block() { std::free(this); }

template <class C>
String::CString<C>::CString(const String& s) {
  int n = s.Length();
  block_ = std::malloc(sizeof(int) + sizeof(C) * (static_cast<size_t>(n) + 1));
  if (!block_) dbg_error("Out of memory");
  *count() = 1;
  C* out = reinterpret_cast<C*>(count() + 1);
  for (int i = 0; i < n; ++i) out[i] = static_cast<C>(s[i] & 0xff);
  out[n] = 0;
}

template <class C>
String::CString<C>::~CString() {
  if (--*count() == 0) std::free(block_);
}

template class String::CString<char>;

String::String(const Char* p, int n) : rep_(Rep::alloc(n)) {
  if (n > 0) std::memcpy(rep_->data(), p, sizeof(Char) * static_cast<size_t>(n));
}

namespace {

// A Rep holding n narrow bytes, each byte the character of the same code.
String::Rep* narrowRep(const char* p, size_t n) {
  String::Rep* rep = String::Rep::alloc(static_cast<int>(n));
  for (int i = 0; i < rep->length; ++i) rep->data()[i] = static_cast<unsigned char>(p[i]);
  return rep;
}

String::Rep* intRep(int v) {
  char buf[16];
  int n = std::snprintf(buf, sizeof buf, "%i", v);
  return narrowRep(buf, static_cast<size_t>(n));
}

// "%.17lg" of the widened value, with ".0" added when it reads like an integer.
String::Rep* floatRep(float v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17lg", static_cast<double>(v));
  if (!std::strchr(buf, '.') && !std::strchr(buf, 'e')) std::strcat(buf, ".0");
  return narrowRep(buf, std::strlen(buf));
}

}  // namespace

String::String(const char* p) : rep_(narrowRep(p, std::strlen(p))) {}

String::String(const unsigned char* p, int n) : rep_(Rep::alloc(n)) {
  for (int i = 0; i < rep_->length; ++i) rep_->data()[i] = p[i];
}

String::String(int v) : rep_(intRep(v)) {}

String::String(float v) : rep_(floatRep(v)) {}

String String::FromChar(int code) {
  Char c = static_cast<Char>(code);
  return String(&c, 1);
}

bool String::operator==(const String& s) const {
  if (rep_ == s.rep_) return true;
  return Length() == s.Length() && std::memcmp(Data(), s.Data(), sizeof(Char) * static_cast<size_t>(Length())) == 0;
}

int String::Compare(const String& s) const {
  int n = Length() < s.Length() ? Length() : s.Length();
  for (int i = 0; i < n; ++i) {
    int d = static_cast<int>((*this)[i]) - static_cast<int>(s[i]);
    if (d) return d;
  }
  return Length() - s.Length();
}

bool String::StartsWith(const String& s) const {
  if (s.Length() > Length()) return false;
  return std::memcmp(Data(), s.Data(), sizeof(Char) * static_cast<size_t>(s.Length())) == 0;
}

bool String::EndsWith(const String& s) const {
  if (s.Length() > Length()) return false;
  return std::memcmp(Data() + Length() - s.Length(), s.Data(), sizeof(Char) * static_cast<size_t>(s.Length())) == 0;
}

int String::Find(const String& s, int start) const {
  if (start < 0) start = 0;
  // Compared as i <= Length() - s.Length(): i + s.Length() would overflow for
  // a start near the top of the int range.
  for (int i = start; i <= Length() - s.Length(); ++i) {
    if (std::memcmp(Data() + i, s.Data(), sizeof(Char) * static_cast<size_t>(s.Length())) == 0) return i;
  }
  return -1;
}

int String::FindLast(const String& s) const {
  for (int i = Length() - s.Length(); i >= 0; --i) {
    if (std::memcmp(Data() + i, s.Data(), sizeof(Char) * static_cast<size_t>(s.Length())) == 0) return i;
  }
  return -1;
}

String String::Slice(int from, int to) const {
  int len = Length();
  if (from < 0) {
    from += len;
    if (from < 0) from = 0;
  } else if (from > len) {
    from = len;
  }
  if (to < 0) {
    to += len;
  } else if (to > len) {
    to = len;
  }
  if (from > to) return String();
  if (from == 0 && to == len) return *this;
  return String(Data() + from, to - from);
}

String String::operator+(const String& s) const {
  if (Length() == 0) return s;
  if (s.Length() == 0) return *this;
  Rep* rep = Rep::alloc(Length() + s.Length());
  std::memcpy(rep->data(), Data(), sizeof(Char) * static_cast<size_t>(Length()));
  std::memcpy(rep->data() + Length(), s.Data(), sizeof(Char) * static_cast<size_t>(s.Length()));
  return String(rep);
}

String operator+(const char* a, const String& b) { return String(a) + b; }

Array<String> String::Split(const String& sep) const {
  if (sep.Length() == 0) {
    Array<String> out(Length());
    for (int i = 0; i < Length(); ++i) out[i] = String(Data() + i, 1);
    return out;
  }
  int pieces = 1;
  for (int i = Find(sep); i != -1; i = Find(sep, i + sep.Length())) ++pieces;
  Array<String> out(pieces);
  if (pieces == 1) {
    out[0] = *this;
    return out;
  }
  int start = 0;
  int k = 0;
  for (int i = Find(sep); i != -1; i = Find(sep, start)) {
    out[k++] = Slice(start, i);
    start = i + sep.Length();
  }
  out[k] = Slice(start, Length());
  return out;
}

String String::Join(const Array<String>& parts) const {
  String out;
  for (int i = 0; i < parts.Length(); ++i) {
    if (i) out += *this;
    out += parts[i];
  }
  return out;
}

String String::Replace(const String& find, const String& with) const {
  if (find.Length() == 0) return *this;
  return with.Join(Split(find));
}

String String::Trim() const {
  int from = 0;
  int to = Length();
  while (from < to && (*this)[from] <= 32) ++from;
  while (to > from && (*this)[to - 1] <= 32) --to;
  return Slice(from, to);
}

std::string String::NumberText() const {
  int n = Length() < 63 ? Length() : 63;
  std::string text(static_cast<size_t>(n), '\0');
  for (int i = 0; i < n; ++i) text[static_cast<size_t>(i)] = static_cast<char>((*this)[i] & 0xff);
  return text;
}

// Parses like atoi (leading white space, a sign, digits up to the first
// non-digit, no digits give 0), but a number too large for an int saturates at
// INT_MAX or INT_MIN instead of being undefined.
int String::ToInt() const {
  std::string text = NumberText();
  errno = 0;
  long long v = std::strtoll(text.c_str(), nullptr, 10);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

float String::ToFloat() const { return static_cast<float>(std::atof(NumberText().c_str())); }

namespace {

// Maps every character through f; shares the receiver when nothing changes.
template <class F>
String mapChars(const String& s, F f) {
  for (int i = 0; i < s.Length(); ++i) {
    if (f(s[i]) == s[i]) continue;
    std::vector<Char> out(s.Data(), s.Data() + s.Length());
    for (int j = i; j < s.Length(); ++j) out[static_cast<size_t>(j)] = f(s[j]);
    return String(out.data(), s.Length());
  }
  return s;
}

}  // namespace

String String::ToLower() const {
  return mapChars(*this, [](Char c) { return c < 128 ? static_cast<Char>(std::tolower(c)) : c; });
}

String String::ToUpper() const {
  return mapChars(*this, [](Char c) { return c < 128 ? static_cast<Char>(std::toupper(c)) : c; });
}

String String::Load(FILE* f) {
  std::vector<unsigned char> bytes;
  unsigned char chunk[4096];
  for (;;) {
    size_t n = std::fread(chunk, 1, sizeof chunk, f);
    bytes.insert(bytes.end(), chunk, chunk + n);
    if (n < sizeof chunk) break;
  }
  if (bytes.empty()) return String();
  return Load(bytes.data(), static_cast<int>(bytes.size()));
}

namespace {

String loadUtf16(const unsigned char* p, int n, bool bigEndian) {
  if (n <= 3) return String();
  std::vector<Char> out;
  out.reserve(static_cast<size_t>(n / 2));
  for (int i = 2; i + 1 < n; i += 2) {
    int hi = bigEndian ? p[i] : p[i + 1];
    int lo = bigEndian ? p[i + 1] : p[i];
    out.push_back(static_cast<Char>(hi << 8 | lo));
  }
  return String(out.data(), static_cast<int>(out.size()));
}

bool isContinuation(unsigned char b) { return (b & 0xc0) == 0x80; }

// Decodes UTF-8 into out; false on any malformed or unsupported sequence.
bool decodeUtf8(const unsigned char* p, int n, std::vector<Char>& out) {
  int i = 0;
  while (i < n) {
    unsigned c = p[i];
    if (c < 0x80) {
      out.push_back(static_cast<Char>(c));
      i += 1;
    } else if ((c & 0xe0) == 0xc0 && i + 1 < n && isContinuation(p[i + 1])) {
      out.push_back(static_cast<Char>((c & 0x1f) << 6 | (p[i + 1] & 0x3f)));
      i += 2;
    } else if ((c & 0xf0) == 0xe0 && i + 2 < n && isContinuation(p[i + 1]) && isContinuation(p[i + 2])) {
      out.push_back(static_cast<Char>(c << 12 | (p[i + 1] & 0x3f) << 6 | (p[i + 2] & 0x3f)));
      i += 3;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

String String::Load(const unsigned char* p, int n) {
  if (n >= 2 && p[0] == 0xfe && p[1] == 0xff) return loadUtf16(p, n, true);
  if (n >= 2 && p[0] == 0xff && p[1] == 0xfe) return loadUtf16(p, n, false);
  int skip = (n > 2 && p[0] == 0xef && p[1] == 0xbb && p[2] == 0xbf) ? 3 : 0;
  std::vector<Char> out;
  out.reserve(static_cast<size_t>(n));
  if (!decodeUtf8(p + skip, n - skip, out)) return String(p, n);
  return String(out.data(), static_cast<int>(out.size()));
}

void String::Save(std::vector<unsigned char>& out) const {
  for (int i = 0; i < Length(); ++i) {
    unsigned c = (*this)[i];
    if (c < 0x80) {
      out.push_back(static_cast<unsigned char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<unsigned char>(0xc0 | c >> 6));
      out.push_back(static_cast<unsigned char>(0x80 | (c & 0x3f)));
    } else {
      out.push_back(static_cast<unsigned char>(0xe0 | c >> 12));
      out.push_back(static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3f)));
      out.push_back(static_cast<unsigned char>(0x80 | (c & 0x3f)));
    }
  }
}

bool String::Save(FILE* f) const {
  std::vector<unsigned char> bytes;
  Save(bytes);
  if (bytes.empty()) return true;
  return std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
}

std::string String::ToUtf8() const {
  std::vector<unsigned char> bytes;
  Save(bytes);
  return std::string(bytes.begin(), bytes.end());
}

std::string String::ToNarrow() const {
  std::string out(static_cast<size_t>(Length()), '\0');
  for (int i = 0; i < Length(); ++i) out[static_cast<size_t>(i)] = static_cast<char>((*this)[i] & 0xff);
  return out;
}
