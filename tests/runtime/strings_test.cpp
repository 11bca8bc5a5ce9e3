// String and Array edge cases: slicing, searching, splitting, numbers, the
// UTF-8/UTF-16 load and save, and sharing of storage (checked by Rep identity)
// with reference counts that return to where they started.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "runtime/dovel.h"

namespace {

String S(const char* text) { return String(text); }

std::string utf8(const String& s) { return s.ToUtf8(); }

std::vector<std::string> pieces(const Array<String>& a) {
  std::vector<std::string> out;
  for (int i = 0; i < a.Length(); ++i) out.push_back(utf8(a[i]));
  return out;
}

String load(std::vector<unsigned char> bytes) { return String::Load(bytes.data(), static_cast<int>(bytes.size())); }

std::vector<unsigned char> save(const String& s) {
  std::vector<unsigned char> out;
  s.Save(out);
  return out;
}

std::vector<int> units(const String& s) { return std::vector<int>(s.Data(), s.Data() + s.Length()); }

TEST(String, SliceClampsAndCountsFromTheEnd) {
  String s = S("abcdef");
  EXPECT_EQ(utf8(s.Slice(-3)), "def");
  EXPECT_EQ(utf8(s.Slice(2, -1)), "cde");
  EXPECT_EQ(utf8(s.Slice(4, 2)), "");
  EXPECT_EQ(utf8(s.Slice(-100, 2)), "ab");
  EXPECT_EQ(utf8(s.Slice(2, -100)), "");
  EXPECT_EQ(utf8(s.Slice(100)), "");
  EXPECT_EQ(utf8(s.Slice(3, 3)), "");
  EXPECT_EQ(s.Slice(3, 3).GetRep(), &String::nullRep);
  EXPECT_EQ(utf8(s.Slice(INT_MIN, INT_MAX)), "abcdef");
}

TEST(String, FindAndFindLast) {
  String s = S("abcbc");
  EXPECT_EQ(s.Find(S("")), 0);
  EXPECT_EQ(s.Find(S(""), 5), 5);
  EXPECT_EQ(s.Find(S(""), 6), -1);
  EXPECT_EQ(s.Find(S("a"), -5), 0);
  EXPECT_EQ(s.Find(S("bc"), 2), 3);
  EXPECT_EQ(s.Find(S("bcd")), -1);
  EXPECT_EQ(s.Find(S("abcbcx")), -1);
  // A start near the top of the int range finds nothing (and does not wrap).
  EXPECT_EQ(s.Find(S("c"), INT_MAX), -1);
  EXPECT_EQ(s.Find(S("c"), INT_MAX - 1), -1);
  EXPECT_EQ(s.FindLast(S("bc")), 3);
  EXPECT_EQ(s.FindLast(S("x")), -1);
  EXPECT_TRUE(s.StartsWith(S("")));
  EXPECT_TRUE(s.EndsWith(S("cbc")));
  EXPECT_FALSE(s.EndsWith(S("xabcbc")));
  EXPECT_FALSE(S("ab").StartsWith(S("abc")));
}

TEST(String, SplitKeepsEmptyPieces) {
  EXPECT_EQ(pieces(S("a,,b,").Split(S(","))), (std::vector<std::string>{"a", "", "b", ""}));
  EXPECT_EQ(pieces(S(",a").Split(S(","))), (std::vector<std::string>{"", "a"}));
  EXPECT_EQ(pieces(S("abc").Split(S(""))), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(S("").Split(S("")).Length(), 0);
  EXPECT_EQ(pieces(S("a--b---c").Split(S("--"))), (std::vector<std::string>{"a", "b", "-c"}));
  EXPECT_EQ(pieces(S("").Split(S(","))), (std::vector<std::string>{""}));
  EXPECT_EQ(utf8(S("-").Join(S("x,y,,z").Split(S(",")))), "x-y--z");
  EXPECT_EQ(utf8(S("aXbXc").Replace(S("X"), S("--"))), "a--b--c");
}

TEST(String, ToIntParsesLikeAtoiAndSaturates) {
  EXPECT_EQ(S("  -12xyz").ToInt(), -12);
  EXPECT_EQ(S("").ToInt(), 0);
  EXPECT_EQ(S("abc").ToInt(), 0);
  EXPECT_EQ(S("+7").ToInt(), 7);
  EXPECT_EQ(S("2147483647").ToInt(), INT_MAX);
  EXPECT_EQ(S("-2147483648").ToInt(), INT_MIN);
  // Too large for an int: a defined result at the end of the range.
  EXPECT_EQ(S("2147483648").ToInt(), INT_MAX);
  EXPECT_EQ(S("-99999999999999999999999").ToInt(), INT_MIN);
  // Only the first 63 characters count: the 64th digit is not read.
  std::string zeros(62, '0');
  EXPECT_EQ(String((zeros + "15").c_str()).ToInt(), 1);
  // Characters are narrowed to their low 8 bits first: 0x131 reads as '1'.
  EXPECT_EQ((String::FromChar(0x131) + S("2")).ToInt(), 12);
}

TEST(String, NumbersAsText) {
  EXPECT_EQ(utf8(String(3.0f)), "3.0");
  EXPECT_EQ(utf8(String(0.5f)), "0.5");
  EXPECT_EQ(utf8(String(0.1f)), "0.10000000149011612");
  EXPECT_EQ(utf8(String(1e20f)), "1.0000000200408773e+20");
  EXPECT_EQ(utf8(String(-2.0f)), "-2.0");
  EXPECT_EQ(utf8(String(INT_MIN)), "-2147483648");
  EXPECT_EQ(String(0).GetRep()->length, 1);
}

TEST(String, CaseAndTrim) {
  String e = String::FromChar(0xC9);  // non-ASCII letters stay as they are
  EXPECT_EQ(utf8((S("MiXeD 1") + e).ToLower()), "mixed 1\xC3\x89");
  EXPECT_EQ(utf8(S("MiXeD").ToUpper()), "MIXED");
  EXPECT_EQ(utf8(S(" \t x y \n").Trim()), "x y");
  EXPECT_EQ(S(" \n ").Trim().GetRep(), &String::nullRep);
}

TEST(String, CompareOrdersByUnitThenLength) {
  EXPECT_LT(S("abc").Compare(S("abd")), 0);
  EXPECT_GT(S("abc").Compare(S("ab")), 0);
  EXPECT_EQ(S("abc").Compare(S("abc")), 0);
  EXPECT_TRUE(S("Z") < S("a"));
  EXPECT_TRUE(String::FromChar(0xFFFF) != String::FromChar(0xFFFE));
  EXPECT_GT(String::FromChar(0xFFFF).Compare(S("a")), 0);
}

TEST(String, LoadDecodesByteOrderMarksAndUtf8) {
  EXPECT_EQ(utf8(load({0xEF, 0xBB, 0xBF, 0x41})), "A");
  EXPECT_EQ(utf8(load({0xFF, 0xFE, 0x41, 0x00})), "A");
  EXPECT_EQ(utf8(load({0xFE, 0xFF, 0x00, 0x41})), "A");
  EXPECT_EQ(units(load({0xFE, 0xFF, 0x20, 0xAC, 0x00})), (std::vector<int>{0x20AC}));
  EXPECT_EQ(load({0xFE, 0xFF, 0x41}).Length(), 0);
  EXPECT_EQ(units(load({0xE2, 0x82, 0xAC, 0xC3, 0xA9})), (std::vector<int>{0x20AC, 0xE9}));
  // Overlong forms are taken as decoded.
  EXPECT_EQ(units(load({0xC1, 0x81})), (std::vector<int>{0x41}));
  EXPECT_EQ(load({}).GetRep(), &String::nullRep);
  EXPECT_EQ(load({0xEF, 0xBB, 0xBF}).GetRep(), &String::nullRep);
}

TEST(String, InvalidUtf8FallsBackToBytes) {
  EXPECT_EQ(units(load({0x41, 0xC3})), (std::vector<int>{0x41, 0xC3}));
  EXPECT_EQ(units(load({0x80, 0x41})), (std::vector<int>{0x80, 0x41}));
  EXPECT_EQ(units(load({0xF0, 0x9F, 0x98, 0x80})), (std::vector<int>{0xF0, 0x9F, 0x98, 0x80}));
  EXPECT_EQ(units(load({0xE2, 0x82, 0x41})), (std::vector<int>{0xE2, 0x82, 0x41}));
  // The fallback keeps the byte-order mark bytes too.
  EXPECT_EQ(units(load({0xEF, 0xBB, 0xBF, 0xFF})), (std::vector<int>{0xEF, 0xBB, 0xBF, 0xFF}));
}

TEST(String, SaveEncodesEachUnitAsUtf8) {
  EXPECT_EQ(save(String::FromChar(0x20AC)), (std::vector<unsigned char>{0xE2, 0x82, 0xAC}));
  EXPECT_EQ(save(String::FromChar(0x7FF)), (std::vector<unsigned char>{0xDF, 0xBF}));
  EXPECT_EQ(save(String::FromChar(0x7F)), (std::vector<unsigned char>{0x7F}));
  // A surrogate pair is two units, each encoded on its own.
  String pair = String::FromChar(0xD83D) + String::FromChar(0xDE00);
  EXPECT_EQ(save(pair), (std::vector<unsigned char>{0xED, 0xA0, 0xBD, 0xED, 0xB8, 0x80}));
  // Every unit survives a save and load.
  std::vector<Char> all;
  for (int c = 1; c < 0x10000; c += 7) all.push_back(static_cast<Char>(c));
  String s(all.data(), static_cast<int>(all.size()));
  std::vector<unsigned char> bytes = save(s);
  EXPECT_TRUE(String::Load(bytes.data(), static_cast<int>(bytes.size())) == s);
}

TEST(String, SaveAndLoadThroughAFile) {
  FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  std::string big;
  for (int i = 0; i < 5000; ++i) big += static_cast<char>('a' + i % 26);
  String s = String(big.c_str()) + String::FromChar(0x20AC);
  ASSERT_TRUE(s.Save(f));
  EXPECT_TRUE(String().Save(f));
  std::rewind(f);
  EXPECT_TRUE(String::Load(f) == s);
  std::fclose(f);
  f = std::tmpfile();
  EXPECT_EQ(String::Load(f).GetRep(), &String::nullRep);
  std::fclose(f);
}

TEST(String, UnchangedResultsShareTheReceiversRep) {
  String s = S("abc");
  const String::Rep* rep = s.GetRep();
  int base = rep->refs;
  {
    String whole = s.Slice(0, 100);
    String plus_empty = s + String();
    String empty_plus = String() + s;
    String lower = s.ToLower();
    String trimmed = s.Trim();
    Array<String> one = s.Split(S(","));
    for (const String* r : {&whole, &plus_empty, &empty_plus, &lower, &trimmed, &one[0]}) EXPECT_EQ(r->GetRep(), rep);
    EXPECT_EQ(rep->refs, base + 6);
    String copy = s;
    copy = copy;  // self-assignment keeps the count right
    EXPECT_EQ(rep->refs, base + 7);
    String moved(std::move(copy));
    EXPECT_EQ(rep->refs, base + 7);
    // Results that differ get their own storage.
    EXPECT_NE(s.ToUpper().GetRep(), rep);
    EXPECT_NE(s.Slice(1).GetRep(), rep);
    one[0] = String();
  }
  EXPECT_EQ(rep->refs, base + 0);
}

TEST(String, EveryEmptyResultIsTheSharedEmptyRep) {
  const String::Rep* empty = &String::nullRep;
  EXPECT_EQ(String().GetRep(), empty);
  EXPECT_EQ(S("").GetRep(), empty);
  EXPECT_EQ(String(static_cast<const Char*>(nullptr), 0).GetRep(), empty);
  EXPECT_EQ(S("abc").Slice(5).GetRep(), empty);
  EXPECT_EQ((String() + String()).GetRep(), empty);
  EXPECT_EQ(String::Load(static_cast<const unsigned char*>(nullptr), 0).GetRep(), empty);
  EXPECT_EQ(S("a,").Split(S(","))[1].GetRep(), empty);
}

TEST(Array, EmptyArraysShareTheStaticRep) {
  EXPECT_EQ(Array<int>(0).GetRep(), Array<int>().GetRep());
  EXPECT_EQ(Array<int>(5).Resize(0).GetRep(), Array<int>().GetRep());
  EXPECT_EQ(Array<String>().Resize(-3).GetRep(), Array<String>().GetRep());
  EXPECT_EQ(Array<float>(static_cast<const float*>(nullptr), 0).GetRep(), Array<float>().GetRep());
  EXPECT_EQ(Array<int>().GetRep()->flags & 3, 3u);
}

TEST(Array, ElementsStartZeroAndResizeCopiesAPrefix) {
  Array<int> a(3);
  Array<bool> b(2);
  Array<Object*> o(2);
  Array<String> s(2);
  EXPECT_EQ(a[0] | a[1] | a[2], 0);
  EXPECT_FALSE(b[0] || b[1]);
  EXPECT_EQ(o[1], nullptr);
  EXPECT_EQ(s[1].GetRep(), &String::nullRep);
  for (int i = 0; i < 3; ++i) a[i] = i + 1;
  Array<int> shorter = a.Resize(2);
  Array<int> longer = a.Resize(5);
  EXPECT_NE(shorter.GetRep(), a.GetRep());
  EXPECT_EQ(shorter.Length(), 2);
  EXPECT_EQ(shorter[1], 2);
  EXPECT_EQ(longer.Length(), 5);
  EXPECT_EQ(longer[2], 3);
  EXPECT_EQ(longer[3], 0);
  EXPECT_EQ(longer[4], 0);
  // Copies of a handle share one Rep (no copy on write).
  Array<int> alias = a;
  alias[0] = 99;
  EXPECT_EQ(a[0], 99);
  EXPECT_EQ(a.Length(), 3);
}

TEST(Array, StringElementsCountAsReferences) {
  String text = S("shared");
  const String::Rep* rep = text.GetRep();
  int base = rep->refs;
  Array<String> a(4);
  for (int i = 0; i < 4; ++i) a[i] = text;
  Array<String> copy(a.Data(), 4);
  Array<String> grown = a.Resize(6);
  EXPECT_EQ(rep->refs, base + 12);
  EXPECT_EQ(grown[5].GetRep(), &String::nullRep);
  a[0] = String();
  EXPECT_EQ(rep->refs, base + 11);
}

}  // namespace
