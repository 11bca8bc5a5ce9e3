// Strings and arrays: text operations, loading and saving, and shared storage.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "runtime/dovel.h"

namespace {

String S(const char* text) { return String(text); }

TEST(String, SliceFindSplitCaseAndNumbers) {
  const std::pair<String, const char*> results[] = {
      {S("abcdef").Slice(-3), "def"},
      {S("abcdef").Slice(2, -1), "cde"},
      {S("abcdef").Slice(4, 2), ""},
      {S("abcdef").Slice(-100, 2), "ab"},
      {S("abcdef").Slice(INT_MIN, INT_MAX), "abcdef"},
      {S("|").Join(S("a,,b,").Split(S(","))), "a||b|"},
      {S("|").Join(S("abc").Split(S(""))), "a|b|c"},
      {S("|").Join(S("a--b---c").Split(S("--"))), "a|b|-c"},
      {S("aXbXc").Replace(S("X"), S("--")), "a--b--c"},
      {(S("MiXeD 1") + String::FromChar(0xC9)).ToLower(), "mixed 1\xC3\x89"},
      {S(" \t x y \n").Trim(), "x y"},
      {String(3.0f), "3.0"},
      {String(1e20f), "1.0000000200408773e+20"},
      {String(INT_MIN), "-2147483648"},
  };
  for (const auto& [result, want] : results) EXPECT_EQ(result.ToUtf8(), want);
  const std::tuple<const char*, int, int> finds[] = {
      {"", 0, 0},   {"", 5, 5},     {"", 6, -1},        {"", -3, 0},
      {"bc", 2, 3}, {"bcd", 0, -1}, {"c", INT_MAX, -1}, {"c", INT_MAX - 1, -1}};
  for (auto [what, from, at] : finds) EXPECT_EQ(S("abcbc").Find(S(what), from), at) << what << " " << from;
  EXPECT_EQ(S("abcbc").FindLast(S("bc")), 3);
  EXPECT_FALSE(S("abcbc").EndsWith(S("xabcbc")));
  EXPECT_EQ(S("").Split(S("")).Length(), 0);
  EXPECT_TRUE(S("abc").Compare(S("abd")) < 0 && S("abc").Compare(S("ab")) > 0 &&
              String::FromChar(0xFFFF).Compare(S("a")) > 0);
  const std::pair<String, int> ints[] = {{S("  -12xyz"), -12},
                                         {S("abc"), 0},
                                         {S("+7"), 7},
                                         {S("2147483648"), INT_MAX},
                                         {S("-99999999999999999999"), INT_MIN},
                                         {String((std::string(62, '0') + "15").c_str()), 1},  // 63 characters are read
                                         {String::FromChar(0x131) + S("2"), 12}};  // narrowed to the low byte
  for (const auto& [text, value] : ints) EXPECT_EQ(text.ToInt(), value) << text.ToUtf8();
}

TEST(String, LoadDecodesMarksAndUtf8AndFallsBackToBytes) {
  const std::pair<std::vector<unsigned char>, std::vector<int>> cases[] = {
      {{0xEF, 0xBB, 0xBF, 0x41}, {0x41}},
      {{0xFF, 0xFE, 0x41, 0x00}, {0x41}},
      {{0xFE, 0xFF, 0x20, 0xAC, 0x00}, {0x20AC}},
      {{0xE2, 0x82, 0xAC, 0xC3, 0xA9}, {0x20AC, 0xE9}},
      {{0x41, 0xC3}, {0x41, 0xC3}},
      {{0xF0, 0x9F, 0x98, 0x80}, {0xF0, 0x9F, 0x98, 0x80}},
      {{0xE2, 0x82, 0x41}, {0xE2, 0x82, 0x41}},
      {{0xEF, 0xBB, 0xBF, 0xFF}, {0xEF, 0xBB, 0xBF, 0xFF}},
  };
  for (const auto& [bytes, want] : cases) {
    String s = String::Load(bytes.data(), static_cast<int>(bytes.size()));
    EXPECT_EQ(std::vector<int>(s.Data(), s.Data() + s.Length()), want) << bytes.size() << " bytes";
  }
  std::vector<unsigned char> out;
  (String::FromChar(0xD83D) + String::FromChar(0x7FF) + String::FromChar(0x7F)).Save(out);
  EXPECT_EQ(out, (std::vector<unsigned char>{0xED, 0xA0, 0xBD, 0xDF, 0xBF, 0x7F}));
  FILE* f = std::tmpfile();
  ASSERT_TRUE(S("caf\xC3\xA9").Save(f));
  std::rewind(f);
  EXPECT_TRUE(String::Load(f) == S("caf\xC3\xA9"));
  std::fclose(f);
}

TEST(String, UnchangedResultsShareStorageAndCountsReturn) {
  String s = S("abc");
  const String::Rep* rep = s.GetRep();
  const int base = rep->refs;
  {
    String results[] = {s.Slice(0, 100), s + String(), String() + s, s.ToLower(), s.Trim()};
    for (const String& r : results) EXPECT_EQ(r.GetRep(), rep);
    String copy = s;
    String moved(std::move(copy));
    EXPECT_EQ(rep->refs, base + 6);
  }
  EXPECT_EQ(rep->refs, base);
  String sole = s + s;
  sole = sole;  // its only reference: released before it is retained again, it would be freed
  EXPECT_EQ(sole.ToUtf8(), "abcabc");
  for (const String& e : {String(), S(""), S("abc").Slice(5), S("a,").Split(S(","))[1], S(" ").Trim()})
    EXPECT_EQ(e.GetRep(), &String::nullRep);
  Array<String> a(4);
  for (int i = 0; i < 4; ++i) a[i] = s;
  Array<String> grown = a.Resize(6);
  EXPECT_EQ(rep->refs, base + 8);
  EXPECT_EQ(grown[5].GetRep(), &String::nullRep);
}

TEST(Array, ZeroedElementsPrefixResizeAndSharedHandles) {
  EXPECT_TRUE(Array<int>(5).Resize(0).GetRep() == Array<int>().GetRep() &&
              Array<String>().Resize(-3).GetRep() == Array<String>().GetRep());
  Array<int> a(3);
  EXPECT_EQ(a[0] | a[1] | a[2], 0);
  for (int i = 0; i < 3; ++i) a[i] = i + 1;
  Array<int> shorter = a.Resize(2), longer = a.Resize(5);
  EXPECT_EQ(shorter.Length() * 100 + longer[2] * 10 + longer[4], 230);
  Array<int> alias = a;
  alias[0] = 99;
  EXPECT_EQ(a[0], 99) << "copies of a handle share one array";
}

}  // namespace
