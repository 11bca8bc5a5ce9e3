// Strings and arrays: slicing, searching, splitting, numbers, the UTF-8 and
// UTF-16 load and save, and shared storage whose reference counts return to
// where they started.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "runtime/dovel.h"

namespace {

String S(const char* text) { return String(text); }

std::string joined(const Array<String>& a) {
  std::string out;
  for (int i = 0; i < a.Length(); ++i) out += (i ? "|" : "") + a[i].ToUtf8();
  return out;
}

std::vector<int> units(std::vector<unsigned char> bytes) {
  String s = String::Load(bytes.data(), static_cast<int>(bytes.size()));
  return std::vector<int>(s.Data(), s.Data() + s.Length());
}

TEST(String, SliceFindSplitAndCase) {
  String s = S("abcdef");
  EXPECT_EQ(s.Slice(-3).ToUtf8(), "def");
  EXPECT_EQ(s.Slice(2, -1).ToUtf8(), "cde");
  EXPECT_EQ(s.Slice(4, 2).ToUtf8(), "");
  EXPECT_EQ(s.Slice(-100, 2).ToUtf8(), "ab");
  EXPECT_EQ(s.Slice(INT_MIN, INT_MAX).ToUtf8(), "abcdef");
  String t = S("abcbc");
  const std::tuple<const char*, int, int> finds[] = {
      {"", 0, 0},   {"", 5, 5},     {"", 6, -1},        {"a", -5, 0},
      {"bc", 2, 3}, {"bcd", 0, -1}, {"c", INT_MAX, -1}, {"c", INT_MAX - 1, -1}};
  for (auto [what, from, at] : finds) EXPECT_EQ(t.Find(S(what), from), at) << what << " " << from;
  EXPECT_EQ(t.FindLast(S("bc")), 3);
  EXPECT_FALSE(t.EndsWith(S("xabcbc")));
  EXPECT_EQ(joined(S("a,,b,").Split(S(","))), "a||b|");
  EXPECT_EQ(joined(S("abc").Split(S(""))), "a|b|c");
  EXPECT_EQ(joined(S("a--b---c").Split(S("--"))), "a|b|-c");
  EXPECT_EQ(S("").Split(S("")).Length(), 0);
  EXPECT_EQ(S("-").Join(S("x,y,,z").Split(S(","))).ToUtf8(), "x-y--z");
  EXPECT_EQ(S("aXbXc").Replace(S("X"), S("--")).ToUtf8(), "a--b--c");
  EXPECT_EQ((S("MiXeD 1") + String::FromChar(0xC9)).ToLower().ToUtf8(), "mixed 1\xC3\x89");
  EXPECT_EQ(S(" \t x y \n").Trim().ToUtf8(), "x y");
  EXPECT_LT(S("abc").Compare(S("abd")), 0);
  EXPECT_GT(S("abc").Compare(S("ab")), 0);
  EXPECT_GT(String::FromChar(0xFFFF).Compare(S("a")), 0);
}

TEST(String, NumbersBothWays) {
  const std::pair<const char*, int> ints[] = {{"  -12xyz", -12},
                                              {"abc", 0},
                                              {"+7", 7},
                                              {"2147483647", INT_MAX},
                                              {"2147483648", INT_MAX},
                                              {"-99999999999999999999", INT_MIN}};
  for (auto [text, value] : ints) EXPECT_EQ(S(text).ToInt(), value) << text;
  EXPECT_EQ(String((std::string(62, '0') + "15").c_str()).ToInt(), 1) << "only 63 characters are read";
  EXPECT_EQ((String::FromChar(0x131) + S("2")).ToInt(), 12) << "characters narrow to their low byte";
  EXPECT_EQ(String(3.0f).ToUtf8(), "3.0");
  EXPECT_EQ(String(0.1f).ToUtf8(), "0.10000000149011612");
  EXPECT_EQ(String(1e20f).ToUtf8(), "1.0000000200408773e+20");
  EXPECT_EQ(String(INT_MIN).ToUtf8(), "-2147483648");
}

TEST(String, LoadDecodesMarksAndUtf8AndFallsBackToBytes) {
  const std::pair<std::vector<unsigned char>, std::vector<int>> cases[] = {
      {{0xEF, 0xBB, 0xBF, 0x41}, {0x41}},
      {{0xFF, 0xFE, 0x41, 0x00}, {0x41}},
      {{0xFE, 0xFF, 0x20, 0xAC, 0x00}, {0x20AC}},
      {{0xFE, 0xFF, 0x41}, {}},
      {{0xE2, 0x82, 0xAC, 0xC3, 0xA9}, {0x20AC, 0xE9}},
      {{0xC1, 0x81}, {0x41}},
      {{0x41, 0xC3}, {0x41, 0xC3}},
      {{0xF0, 0x9F, 0x98, 0x80}, {0xF0, 0x9F, 0x98, 0x80}},
      {{0xE2, 0x82, 0x41}, {0xE2, 0x82, 0x41}},
      {{0xEF, 0xBB, 0xBF, 0xFF}, {0xEF, 0xBB, 0xBF, 0xFF}},
  };
  for (const auto& [bytes, want] : cases) EXPECT_EQ(units(bytes), want) << bytes.size() << " bytes";
  std::vector<unsigned char> out;
  (String::FromChar(0xD83D) + String::FromChar(0x7FF) + String::FromChar(0x7F)).Save(out);
  EXPECT_EQ(out, (std::vector<unsigned char>{0xED, 0xA0, 0xBD, 0xDF, 0xBF, 0x7F}));
  std::vector<Char> all;
  for (int c = 1; c < 0x10000; c += 7) all.push_back(static_cast<Char>(c));
  String s(all.data(), static_cast<int>(all.size()));
  FILE* f = std::tmpfile();
  ASSERT_TRUE(s.Save(f));
  std::rewind(f);
  EXPECT_TRUE(String::Load(f) == s);
  std::fclose(f);
}

TEST(String, UnchangedResultsShareStorageAndCountsReturn) {
  String s = S("abc");
  const String::Rep* rep = s.GetRep();
  int base = rep->refs;
  {
    Array<String> one = s.Split(S(","));
    String results[] = {s.Slice(0, 100), s + String(), String() + s, s.ToLower(), s.Trim(), one[0]};
    for (const String& r : results) EXPECT_EQ(r.GetRep(), rep);
    EXPECT_EQ(rep->refs, base + 7);
    one[0] = String();
    String copy = s;
    copy = copy;
    String moved(std::move(copy));
    EXPECT_EQ(rep->refs, base + 7);
    EXPECT_NE(s.Slice(1).GetRep(), rep);
  }
  EXPECT_EQ(rep->refs, base);
  for (const String& e : {String(), S(""), S("abc").Slice(5), S("a,").Split(S(","))[1], S(" ").Trim()})
    EXPECT_EQ(e.GetRep(), &String::nullRep);
  Array<String> a(4);
  for (int i = 0; i < 4; ++i) a[i] = s;
  Array<String> grown = a.Resize(6);
  EXPECT_EQ(rep->refs, base + 8);
  EXPECT_EQ(grown[5].GetRep(), &String::nullRep);
}

TEST(Array, ZeroedElementsPrefixResizeAndSharedHandles) {
  EXPECT_EQ(Array<int>(5).Resize(0).GetRep(), Array<int>().GetRep());
  EXPECT_EQ(Array<String>().Resize(-3).GetRep(), Array<String>().GetRep());
  Array<int> a(3);
  EXPECT_EQ(a[0] | a[1] | a[2], 0);
  for (int i = 0; i < 3; ++i) a[i] = i + 1;
  Array<int> shorter = a.Resize(2), longer = a.Resize(5);
  EXPECT_EQ(shorter.Length(), 2);
  EXPECT_EQ(longer[2], 3);
  EXPECT_EQ(longer[4], 0);
  Array<int> alias = a;
  alias[0] = 99;
  EXPECT_EQ(a[0], 99) << "copies of a handle share one array";
}

}  // namespace
