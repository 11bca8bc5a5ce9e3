// String: immutable text of 16-bit characters (UTF-16 code units).
//
// A String is one pointer to a shared, reference-counted Rep. Counts are plain
// ints: strings live on the main thread only. Every empty string points at the
// one static nullRep, so empty strings never allocate, and operations whose
// result equals the receiver share the receiver's Rep instead of copying.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// Elements live behind the Rep header in the same block. For the static empty
// Rep the compiler sees a lone object and, after inlining, warns about indexing
// that can never run (its length is 0); those warnings are switched off here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"

using Char = char16_t;

template <class T>
class Array;

class String {
 public:
  // The shared storage: the counts, then `length` characters (no terminator).
  struct Rep {
    int refs;
    int length;

    Char* data() { return reinterpret_cast<Char*>(this + 1); }
    const Char* data() const { return reinterpret_cast<const Char*>(this + 1); }

    // A new Rep of n characters with refs 1; n == 0 gives nullRep.
    static Rep* alloc(int n);
    void retain() { ++refs; }
    // nullRep is never freed, however its count drifts.
    void release() {
      if (--refs == 0 && length != 0) free_block();
    }

   private:
    void free_block();
  };

  // A short-lived narrow copy (low 8 bits of each character, zero-terminated)
  // for handing text to C library and system calls.
  template <class C>
  class CString {
   public:
    explicit CString(const String& s);
    CString(const CString& o) : block_(o.block_) { ++*count(); }
    CString& operator=(const CString&) = delete;
    ~CString();
    operator const C*() const { return reinterpret_cast<const C*>(count() + 1); }

   private:
    int* count() const { return reinterpret_cast<int*>(block_); }
    void* block_;
  };

  static Rep nullRep;

  String() : rep_(&nullRep) {}
  String(const Char* p, int n);
  String(const char* p);
  String(const unsigned char* p, int n);
  explicit String(int v);
  explicit String(float v);
  String(const String& s) : rep_(s.rep_) { rep_->retain(); }
  String(String&& s) noexcept : rep_(s.rep_) {
    s.rep_ = &nullRep;
    nullRep.retain();
  }
  ~String() { rep_->release(); }
  String& operator=(const String& s) {
    s.rep_->retain();
    rep_->release();
    rep_ = s.rep_;
    return *this;
  }

  // A one-character string of the given code.
  static String FromChar(int code);

  int Length() const { return rep_->length; }
  Char operator[](int i) const { return rep_->data()[i]; }
  const Char* Data() const { return rep_->data(); }
  // The Rep, for callers that test sharing.
  const Rep* GetRep() const { return rep_; }

  bool operator==(const String& s) const;
  bool operator!=(const String& s) const { return !(*this == s); }
  // Orders by the first differing code unit, then by length.
  int Compare(const String& s) const;
  bool operator<(const String& s) const { return Compare(s) < 0; }

  bool StartsWith(const String& s) const;
  bool EndsWith(const String& s) const;
  int Find(const String& s, int start = 0) const;
  // The largest index at which s matches, or -1.
  int FindLast(const String& s) const;
  bool Contains(const String& s) const { return Find(s) != -1; }
  String Slice(int from) const { return Slice(from, Length()); }
  String Slice(int from, int to) const;
  String operator+(const String& s) const;
  String& operator+=(const String& s) { return *this = *this + s; }
  Array<String> Split(const String& sep) const;
  // The elements of parts with this string between each pair.
  String Join(const Array<String>& parts) const;
  String Replace(const String& find, const String& with) const;
  // Without leading and trailing characters of code 32 or below.
  String Trim() const;
  int ToInt() const;
  float ToFloat() const;
  String ToLower() const;
  String ToUpper() const;

  static String Load(FILE* f);
  static String Load(const unsigned char* p, int n);
  void Save(std::vector<unsigned char>& out) const;
  bool Save(FILE* f) const;

  std::string ToUtf8() const;
  std::string ToNarrow() const;
  template <class C>
  CString<C> ToCString() const {
    return CString<C>(*this);
  }

 private:
  explicit String(Rep* rep) : rep_(rep) {}
  // Takes at most the first 63 characters, narrowed, for the number parsers.
  std::string NumberText() const;

  Rep* rep_;
};

String operator+(const char* a, const String& b);

#pragma GCC diagnostic pop
