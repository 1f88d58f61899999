// The mixed-width SQL text builder on UTF-8, code page 1252 and wide content: pieces converted to the
// content's form, both views, positions in content units, random operations against a model.
#include "common/tstringconcataw.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <random>
#include <string>
#include <vector>

#include "common/ctstring.h"
#include "platform/codepage.h"

namespace {

constexpr int kWide = CTStringConcatAW::kWideContent;

std::string Encode(const std::wstring& w, unsigned int cp) {
  std::string out(w.size() * 8, '\0');
  out.resize(static_cast<size_t>(WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), out.data(),
                                                     static_cast<int>(out.size()), nullptr, nullptr)));
  return out;
}

std::wstring Decode(const std::string& s, unsigned int cp) {
  std::wstring out(s.size(), L'\0');
  out.resize(static_cast<size_t>(MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), out.data(),
                                                     static_cast<int>(out.size()))));
  return out;
}

// Content units of the first chars characters of the model.
int Units(const CTStringConcatAW& b, const std::wstring& model, size_t chars) {
  const std::wstring prefix = model.substr(0, chars);
  return b.bIsWide() ? static_cast<int>(prefix.size())
                     : static_cast<int>(Encode(prefix, static_cast<unsigned int>(b.nGetCodePage())).size());
}

void ExpectModel(CTStringConcatAW& b, const std::wstring& model) {
  ASSERT_EQ(std::wstring(b.pszGetW()), model);
  const int narrow = b.bIsWide() ? b.nGetAnsiCodePage() : b.nGetCodePage();
  EXPECT_EQ(std::string(b.pszGetA()), Encode(model, static_cast<unsigned int>(narrow)));
  EXPECT_EQ(b.nGetLength(), Units(b, model, model.size()));
  EXPECT_EQ(b.nGetLengthW(), static_cast<int>(model.size()));
}

// Every kind of piece on every content form: narrow pieces of the ANSI page, of the content page
// (copied), of another page (through wide text) and UTF-8 (copied whole onto UTF-8 content, in a
// builder growing a unit at a time); both views give the text back.
TEST(TStringConcatAW, PiecesTakeTheContentFormAndBothViewsRoundTrip) {
  const std::wstring text = L"SELECT 'caf\u00E9 \u20AC' FROM t", wideOnly = L" -- \u2713 \U0001D11E \u3042";
  for (int content : {1252, 65001, kWide}) {
    for (int ansi : {1252, 65001}) {
      SCOPED_TRACE(testing::Message() << "content " << content << " ansi " << ansi);
      CTStringConcatAW b(content, ansi, 1);
      b.Add(text.data(), static_cast<int>(text.size()));
      b.Add(ansi == 1252 ? "\xE9" : "\xC3\xA9", ansi == 1252 ? 1 : 2);  // ANSI
      b.Add("\xE0", 1, 1252);
      b.Add("\xA9", 1, 1251);  // another page
      b.AddUTF8("\xC3\xBF", 2);
      b.Add("\xE2\x82\xAC", 3, 65001);
      std::wstring model = text + L"\u00E9\u00E0\u00A9\u00FF\u20AC";
      const int narrow = content == kWide ? ansi : content;
      if (narrow == 65001) {  // a 1252 view cannot hold these
        b.Add(wideOnly.data(), static_cast<int>(wideOnly.size()));
        model += wideOnly;
      }
      ExpectModel(b, model);
      CTStringConcatAW back(kWide, ansi);  // the narrow view back into a wide builder
      back.Add(b.pszGetA(), b.nGetLengthA(), static_cast<unsigned int>(narrow));
      EXPECT_EQ(std::wstring(back.pszGetW()), model);
      const wchar_t* view = b.pszGetW();  // an empty piece keeps the cache
      b.Add(L"x", 0);
      b.Add(static_cast<const wchar_t*>(nullptr), 3);
      b.Add("x", -1);
      b.AddUTF8("", 0);
      b.Insert(L"x", 0, 1);
      EXPECT_EQ(b.pszGetW(), view);
    }
  }
}

// A refused piece (nothing of it converts) leaves the text, its length and its terminator as they
// were; a piece cut inside its last character keeps the whole characters before the cut.
TEST(TStringConcatAW, RefusedOrCutPiecesLeaveTheTextWhole) {
  for (int content : {kWide, 1252, 65001}) {
    CTStringConcatAW b(content, 1252);
    b.Add(L"AB", 2);
    b.Add("\x81\x90", 2, content == 1252 ? 1250 : 1252);  // undefined in both pages
    if (content != 65001) b.AddUTF8("\xFF", 1);  // (UTF-8 content takes UTF-8 bytes as they are)
    EXPECT_EQ(std::wstring(b.pszGetW()), L"AB") << content;
    EXPECT_EQ(b.nGetLength(), 2);
    b.AddUTF8("x\xE2\x82", 3);
    b.Add("y\xC3", 2, 65001);
    EXPECT_EQ(std::wstring(b.pszGetW()), L"ABxy") << content;
  }
}

TEST(TStringConcatAW, PositionalReadsAreInContentUnits) {
  CTStringConcatAW b(65001, 1252);
  b.Add(L"\u00E9a \u20AC\U0001D11E", 5);  // bytes: 2 1 1 3 4
  const std::wstring chars = L"\u00E9\u00E9a \u20AC\u20AC\u20AC\U0001D11E\U0001D11E\U0001D11E\U0001D11E";
  for (int i = -1; i <= 11; ++i) EXPECT_EQ(b.cGetCharW(i), i < 0 || i > 10 ? 0 : chars[i]) << i;
  EXPECT_EQ(b.cGetCharA(0), '\xC3');  // byte i of the narrow builder
  EXPECT_EQ(b.cGetCharA(2), 'a');
  EXPECT_FALSE(b.bIsCharSpace(11));  // (inside the content: with the model)
  // Wide content: the narrow view is read once pszGetA has built it.
  CTStringConcatAW w(kWide, 1252);
  w.Add(L"a\u20AC\u2713", 3);
  EXPECT_EQ(w.cGetCharA(1), 0);
  EXPECT_STREQ(w.pszGetA(), "a\x80?");
  EXPECT_EQ(w.cGetCharA(1), '\x80');
  EXPECT_EQ(w.cGetCharA(3), 0);
  // Shift-JIS: both bytes of a character read as it, also where the trail byte is ASCII.
  CTStringConcatAW sjis(932, 1252);
  sjis.Add(L"a\u3042\u30BDb", 4);
  ASSERT_STREQ(sjis.pszGetA(), "a\x82\xA0\x83\x5C" "b");
  for (int i = 0; i < 6; ++i) EXPECT_EQ(sjis.cGetCharW(i), L"a\u3042\u3042\u30BD\u30BDb"[i]) << i;
}

// Edits on UTF-8 content: cuts fall where asked (a view drops a character cut in two), and
// positions outside the content are clamped or ignored.
TEST(TStringConcatAW, EditsCutWhereAskedAndClampTheirPositions) {
  using B = CTStringConcatAW;
  const struct { const wchar_t* text; void (*edit)(B&); int length; const wchar_t* want; } rows[] = {
      {L"\u00E9\u00E9", [](B& b) { b.Tronque(3); }, 3, L"\u00E9"},  // inside the second character
      {L"\u00E9a\u00E9b", [](B& b) { b.Coupe(3, 2); }, 4, L"\u00E9ab"},
      {L"ab", [](B& b) { b.Tronque(3); }, 2, L"ab"},   {L"ab", [](B& b) { b.Tronque(2); }, 2, L"ab"},
      {L"ab", [](B& b) { b.Tronque(0); }, 0, L""},     {L"abcde", [](B& b) { b.Coupe(2, 100); }, 2, L"ab"},
      {L"ab", [](B& b) { b.Coupe(3, 1); }, 2, L"ab"},  {L"ab", [](B& b) { b.Coupe(1, -3); }, 2, L"ab"},
      {L"ab", [](B& b) { b.Coupe(-4, 1); }, 1, L"b"},  {L"ab", [](B& b) { b.Coupe(0, 9); }, 0, L""},
      {L"", [](B& b) { b.Insert(L"\u00E9", 1, 7); }, 2, L"\u00E9"},  // empty content: becomes the piece
      {L"\u00E9", [](B& b) { b.Insert(L"z", 1, 99); }, 3, L"\u00E9z"},
      {L"\u00E9z", [](B& b) { b.Insert("\xE0", 1, -2); }, 5, L"\u00E0\u00E9z"},
      {L"\u00E0\u00E9z", [](B& b) { b.Remplace(2, -1, L"\u20AC", 1); }, 5, L"\u00E0\u20AC"},  // to the end
      {L"\u00E0\u20AC", [](B& b) { b.Remplace(99, 1, "!", 1); }, 6, L"\u00E0\u20AC!"},          // appended
      {L"\u00E0\u20AC", [](B& b) { b.Remplace(0, 2, static_cast<const wchar_t*>(nullptr), 0); }, 3, L"\u20AC"},
      {L"", [](B& b) { b.Remplace(0, 0, L"x", 1); }, 0, L""},  // nothing on empty content
      {L"a'b''c", [](B& b) { b.Remplace(L"'", 1, L"''", 2, 0); }, 9, L"a''b''''c"},  // inserted text not searched
      {L"a''b''''c", [](B& b) { b.Remplace("''", 2, "\xE9", 1, 2); }, 9, L"a''b\u00E9\u00E9c"}};
  for (const auto& r : rows) {
    B b(65001, 1252);
    b.Add(r.text, static_cast<int>(std::wcslen(r.text)));
    r.edit(b);
    EXPECT_EQ(b.nGetLength(), r.length) << testing::PrintToString(std::wstring(r.text));
    EXPECT_EQ(std::wstring(b.pszGetW()), r.want);
  }
}

TEST(TStringConcatAW, SearchesBringPatternsIntoTheContentForm) {
  CTStringConcatAW utf8(65001, 1252), wide(kWide, 1252), cp1252(1252, 1252);
  utf8.Add(L"x \u00E9\u20AC \u00E9", 6);  // bytes: x, ' ', é(2), €(3), ' ', é(2)
  wide.Add(L"a\u20ACb", 3);
  cp1252.Add("a?b?", 4);
  const struct { int pos; int want; } found[] = {
      {utf8.nPos("\xE9", 0), 2},   {utf8.nPos(L'\u20AC', 0), 4}, {utf8.nPos(L"\u20AC ", 0), 4}, {utf8.nPos(L' ', 2), 7},
      {utf8.nPos(' ', 0), 1},      {utf8.nPos(L'\0', 0), 10},    {utf8.nPos('\0', 0), 10},      {utf8.nPos(L"", 3), 3},
      {utf8.nPos(L"\u00E9", 11), -1},
      {utf8.nPos('\xE9', 0), -1},  // a narrow character is the byte as given: no 0xE9 in UTF-8 text
      {utf8.nPos('\xC3', 3), 8},   {wide.nPos('\x80', 0), 1},  // the euro sign of code page 1252
      {wide.nPos("\x80" "b", 0), 1}, {wide.nPos('\0', 0), 3},  {wide.nPos('\x81', 0), -1},  // 0x81: none in 1252
      // A character the content code page cannot hold finds no '?' of the content.
      {cp1252.nPos(L"\u2713", 0), -1}, {cp1252.nPos(L'\u2713', 0), -1},
      {CTStringConcatAW(65001, 1252).nPos(L"a", 0), -1}};
  for (size_t i = 0; i < std::size(found); ++i) EXPECT_EQ(found[i].pos, found[i].want) << i;
  cp1252.Remplace(L"\u2713", 1, L"x", 1, 0);
  cp1252.Add(L"\u2713", 1);  // as added text it becomes '?'
  EXPECT_STREQ(cp1252.pszGetA(), "a?b??");
}

TEST(TStringConcatAW, UpperCaseKeepsTheContentEncodingWhole) {
  CTStringConcatAW utf8(65001, 1252), cp1252(1252, 1252), wide(kWide, 1252);
  // The lead byte of U+3042 is 0xE3, 'a with tilde' in 1252: byte-wise it would become 0xC3.
  utf8.Add("\xC3\xA9" "a\xE3\x81\x82\xFF" "b\xCF\x89", 10, 65001);  // with one invalid byte
  cp1252.Add("\xE9\xB5z", 3);  // micro sign: its capital (Greek Mu) has no form in 1252
  wide.Add(L"\u00E9\u03C9a", 3);
  EXPECT_STREQ(wide.pszGetA(), "\xE9?a");  // a cache for the change to drop
  for (CTStringConcatAW* b : {&utf8, &cp1252, &wide}) b->Majuscule();
  EXPECT_STREQ(utf8.pszGetA(), "\xC3\x89" "A\xE3\x81\x82\xFF" "B\xCE\xA9");
  EXPECT_STREQ(cp1252.pszGetA(), "\xC9\xB5Z");
  EXPECT_STREQ(wide.pszGetA(), "\xC9?A");
}

TEST(TStringConcatAW, PiecesTakenFromTheBuilderItself) {
  CTStringConcatAW b(65001, 1252, 4), w(kWide, 1252, 4);
  b.Add(L"\u00E9x", 2);
  b.Add(b.pszGetW(), b.nGetLengthW());  // the cache as the piece
  b.Insert(b.pszGetA(), 3, 0);          // the content as an ANSI piece: converted again
  EXPECT_EQ(std::wstring(b.pszGetW()), L"\u00C3\u00A9x\u00E9x\u00E9x");
  w.Add(L"abc\u20AC", 4);
  w.Add(w.pszGetA(), w.nGetLengthA());
  w.Add(w.pszGetW(), w.nGetLengthW());
  w.SetStrCte(w.pszGetW() + 8, 8);
  w.Remplace(1, 1, w.pszGetW() + 2, 2);
  EXPECT_EQ(std::wstring(w.pszGetW()), L"ac\u20ACc\u20ACabc\u20AC");
}

TEST(TStringConcatAW, NumbersAndConstantsInEitherForm) {
  for (int content : {65001, kWide}) {
    CTStringConcatAW b(content, 1252);
    b.AddStrCte(L"LIMIT ", 6);
    b.AddNumber(7, 2);
    b.AddNumber(-12345678901LL);
    b.AddNumberHexa(static_cast<unsigned char>(0xAB));
    b.AddNumberHexa(static_cast<unsigned short>(0x1F));
    b.AddNumberHexa(0xDEADu);
    b.AddNumberHexa(2ull);
    b.Add(CTString(L" \u00E9"));
    EXPECT_EQ(std::wstring(b.pszGetW()), L"LIMIT 07-12345678901AB001F0000DEAD0000000000000002 \u00E9") << content;
  }
}

// Random operations on every content form against the model, positions in content units and
// pieces wide or ANSI (1252); both views, reads and searches are compared after each step.
void RunModel(int content, const std::vector<std::wstring>& wide, unsigned int seed) {
  const std::vector<std::string> ansi = {"a", "\xE9", "\x80", " ", "b\xE9", "\xFF"};
  std::mt19937 rng(seed);
  CTStringConcatAW b(content, 1252, 16);
  std::wstring model;
  auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
  for (int step = 0; step < 1500; ++step) {
    if (pick(3) == 0) b.pszGetW();  // sometimes a cache to drop
    if (pick(5) == 0) b.pszGetA();
    const size_t k = pick(model.size() + 1), m = model.empty() ? 0 : pick(4);
    const int at = Units(b, model, k), span = Units(b, model, k + m) - at, op = static_cast<int>(pick(6));
    const std::wstring w = wide[pick(wide.size())], to = wide[pick(wide.size())];
    const std::string a = ansi[pick(ansi.size())], t = Encode(to, 1252);
    const bool narrow = pick(2) == 0;  // the piece: a, or w
    const std::wstring piece = narrow ? Decode(a, 1252) : w, put = narrow ? Decode(t, 1252) : to;
    auto apply = [&](auto f) {
      if (narrow) f(a.data(), static_cast<int>(a.size()));
      else f(w.data(), static_cast<int>(w.size()));
    };
    switch (op) {
      case 0: apply([&](auto p, int n) { b.Add(p, n); }); model += piece; break;
      case 1: apply([&](auto p, int n) { b.Insert(p, n, at); }); model.insert(k, piece); break;
      case 2:  // past the end also as -1; nothing on empty content
        if (model.empty()) break;
        apply([&](auto p, int n) { b.Remplace(at, k + m >= model.size() && pick(2) ? -1 : span, p, n); });
        model.replace(k, m, piece);
        break;
      case 3:  // past the end: cut at the start
        b.Coupe(at, k + m > model.size() ? span + 5 : span);
        model.erase(k, m == 0 ? 0 : (k + m > model.size() ? std::wstring::npos : m));
        break;
      case 4:  // replace all, the texts both wide or both ANSI
        if (narrow) b.Remplace(a.data(), static_cast<int>(a.size()), t.data(), static_cast<int>(t.size()), at);
        else b.Remplace(w.data(), static_cast<int>(w.size()), to.data(), static_cast<int>(to.size()), at);
        for (size_t p = model.find(piece, k); p != std::wstring::npos; p = model.find(piece, p + put.size()))
          model.replace(p, piece.size(), put);
        break;
      case 5:  // two ANSI pieces at once
        b.AddTwo(a.data(), static_cast<int>(a.size()), t.data(), static_cast<int>(t.size()), 1252);
        model += Decode(a, 1252) + Decode(t, 1252);
        break;
    }
    if (model.size() > 120) {
      b.Tronque(Units(b, model, 30));
      model.resize(30);
    }
    ASSERT_NO_FATAL_FAILURE(ExpectModel(b, model)) << "step " << step << " op " << op;
    if (model.empty()) continue;
    const size_t i = pick(model.size()), found = model.find(w, k), foundChar = model.find(w[0], k);
    ASSERT_EQ(b.cGetCharW(Units(b, model, i)), model[i]) << "step " << step;
    ASSERT_EQ(b.bIsCharSpace(Units(b, model, i)) != FALSE, model[i] == L' ');
    EXPECT_EQ(b.nPos(w.c_str(), at), found == std::wstring::npos ? -1 : Units(b, model, found)) << "step " << step;
    EXPECT_EQ(b.nPos(w[0], at), foundChar == std::wstring::npos ? -1 : Units(b, model, foundChar));
  }
}

const std::vector<std::wstring> kWideAll = {L"a",  L"\u00E9", L"\u20AC", L"\u2713", L"\U0001D11E",
                                            L" ", L"ab",     L"\u00E9\u00E9", L"\u3042x"};

TEST(TStringConcatAW, UTF8ContentFollowsTheModel) { RunModel(65001, kWideAll, 1); }
TEST(TStringConcatAW, CodePage1252ContentFollowsTheModel) {
  RunModel(1252, {L"a", L"\u00E9", L"\u20AC", L" ", L"ab", L"\u00E9\u00E9", L"\u00FFz"}, 2);
}
TEST(TStringConcatAW, WideContentFollowsTheModel) { RunModel(kWide, kWideAll, 3); }

}  // namespace
