// The mixed-width SQL text builder. Every operation is checked against a std::wstring model on
// UTF-8 content with characters of 1 to 4 bytes, on code page 1252 content and on wide content,
// with positions given in content units; both views must give the model back.
#include "common/tstringconcataw.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/ctstring.h"
#include "platform/codepage.h"

namespace {

std::string Encode(const std::wstring& w, unsigned int cp) {
  if (w.empty()) return {};
  std::string out(w.size() * 8, '\0');
  const int n = WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), out.data(),
                                    static_cast<int>(out.size()), nullptr, nullptr);
  out.resize(static_cast<size_t>(n));
  return out;
}

std::wstring Decode(const std::string& s, unsigned int cp) {
  if (s.empty()) return {};
  std::wstring out(s.size(), L'\0');
  const int n = MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), out.data(),
                                    static_cast<int>(out.size()));
  out.resize(static_cast<size_t>(n));
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
  const unsigned int narrowCp =
      static_cast<unsigned int>(b.bIsWide() ? b.nGetAnsiCodePage() : b.nGetCodePage());
  EXPECT_EQ(std::string(b.pszGetA()), Encode(model, narrowCp));
  EXPECT_EQ(b.nGetLength(), Units(b, model, model.size()));
  EXPECT_EQ(b.nGetLengthW(), static_cast<int>(model.size()));
}

// ---- Views ----

TEST(TStringConcatAW, BothViewsRoundTrip) {
  const std::wstring text = L"SELECT 'caf\u00E9 \u20AC' FROM t WHERE x = '\u00E0 \u00FF'";
  const std::wstring wideOnly = L" -- \u2713 \U0001D11E \u3042";
  for (int content : {1252, 65001, CTStringConcatAW::kWideContent}) {
    for (int ansi : {1252, 65001}) {
      CTStringConcatAW b(content, ansi);
      b.Add(text.data(), static_cast<int>(text.size()));
      std::wstring model = text;
      const unsigned int narrowCp =
          static_cast<unsigned int>(content == CTStringConcatAW::kWideContent ? ansi : content);
      if (narrowCp == 65001) {  // a 1252 view cannot hold these
        b.Add(wideOnly.data(), static_cast<int>(wideOnly.size()));
        model += wideOnly;
      }
      SCOPED_TRACE(testing::Message() << "content " << content << " ansi " << ansi);
      ExpectModel(b, model);
      // The narrow view back into a wide builder.
      CTStringConcatAW back(CTStringConcatAW::kWideContent, ansi);
      back.Add(b.pszGetA(), b.nGetLengthA(), narrowCp);
      EXPECT_EQ(std::wstring(back.pszGetW()), model);
    }
  }
}

TEST(TStringConcatAW, WidePieceOnUTF8ContentIsStoredAsUTF8) {
  CTStringConcatAW b(65001, 1252);
  b.Add(L"\u00E9", 1);
  EXPECT_EQ(b.nGetLength(), 2);
  EXPECT_EQ(std::string(b.pszGetA()), "\xC3\xA9");
  EXPECT_EQ(std::wstring(b.pszGetW()), L"\u00E9");
  EXPECT_EQ(b.nGetLengthW(), 1);
}

TEST(TStringConcatAW, NarrowPiecesGoToTheContentCodePage) {
  CTStringConcatAW utf8(65001, 1252), cp1252(1252, 1252), wide(CTStringConcatAW::kWideContent, 1252);
  for (CTStringConcatAW* b : {&utf8, &cp1252, &wide}) {
    b->Add("caf\xE9", 4);                    // ANSI
    b->Add("\xE2\x82\xAC", 3, 65001);        // UTF-8 given as such
    b->Add("\xE0", 1, 1252);                 // ANSI given by number
    b->AddUTF8("\xC3\xBF", 2);
    b->Add("\xC0", 1, 1251);                 // Cyrillic A
  }
  EXPECT_EQ(std::string(utf8.pszGetA()), "caf\xC3\xA9\xE2\x82\xAC\xC3\xA0\xC3\xBF\xD0\x90");
  EXPECT_EQ(std::string(cp1252.pszGetA()), "caf\xE9\x80\xE0\xFF?");
  EXPECT_EQ(std::wstring(wide.pszGetW()), L"caf\u00E9\u20AC\u00E0\u00FF\u0410");
}

// A UTF-8 piece onto UTF-8 content keeps every byte (the converter would keep one back for a
// terminator).
TEST(TStringConcatAW, UTF8OntoUTF8ContentIsLossless) {
  CTStringConcatAW b(65001, 1252, 1);
  const std::string pieces[] = {"x", "\xC3\xA9", "\xE2\x9C\x93", "\xF0\x9D\x84\x9E"};
  std::string want;
  for (int i = 0; i < 40; ++i) {
    const std::string& p = pieces[i % 4];
    b.AddUTF8(p.data(), static_cast<int>(p.size()));
    want += p;
  }
  EXPECT_EQ(std::string(b.pszGetA(), static_cast<size_t>(b.nGetLength())), want);
  EXPECT_EQ(std::wstring(b.pszGetW()), Decode(want, 65001));
}

TEST(TStringConcatAW, EmptyPieceKeepsTheCache) {
  CTStringConcatAW b(65001, 1252);
  b.Add(L"abc\u00E9", 4);
  const wchar_t* view = b.pszGetW();
  b.Add(L"x", 0);
  b.Add(static_cast<const wchar_t*>(nullptr), 3);
  b.Add("x", -1);
  b.AddUTF8("", 0);
  b.Insert(L"x", 0, 1);
  EXPECT_EQ(b.pszGetW(), view);
  EXPECT_EQ(std::wstring(view), L"abc\u00E9");
  b.Add(L"!", 1);
  EXPECT_EQ(std::wstring(b.pszGetW()), L"abc\u00E9!");
}

TEST(TStringConcatAW, PositionalReadsAreInContentUnits) {
  CTStringConcatAW b(65001, 1252);
  b.Add(L"\u00E9a \u20AC\U0001D11E", 5);  // bytes: 2 1 1 3 4
  const wchar_t want[] = {L'\u00E9', L'\u00E9', L'a', L' ', L'\u20AC', L'\u20AC', L'\u20AC',
                          L'\U0001D11E', L'\U0001D11E', L'\U0001D11E', L'\U0001D11E'};
  ASSERT_EQ(b.nGetLength(), 11);
  for (int i = 0; i < 11; ++i) EXPECT_EQ(b.cGetCharW(i), want[i]) << i;
  EXPECT_EQ(b.cGetCharW(11), 0);
  EXPECT_EQ(b.cGetCharW(-1), 0);
  EXPECT_EQ(b.cGetCharA(2), 'a');
  EXPECT_EQ(b.cGetCharA(0), '\xC3');
  EXPECT_TRUE(b.bIsCharSpace(3));
  EXPECT_FALSE(b.bIsCharSpace(2));
  EXPECT_FALSE(b.bIsCharSpace(11));

  // Wide content: byte i of the narrow view, 0 until pszGetA has built it.
  CTStringConcatAW w(CTStringConcatAW::kWideContent, 1252);
  w.Add(L"a\u20AC\u2713", 3);
  EXPECT_EQ(w.cGetCharA(1), 0);
  EXPECT_STREQ(w.pszGetA(), "a\x80?");
  EXPECT_EQ(w.cGetCharA(1), '\x80');
  EXPECT_EQ(w.cGetCharA(2), '?');
  EXPECT_EQ(w.cGetCharW(1), L'\u20AC');
  EXPECT_EQ(w.cGetCharA(3), 0);

  // A double-byte page: a character's two bytes both read as that character, even where the
  // trail byte is an ASCII value.
  CTStringConcatAW sjis(932, 1252);
  sjis.Add(L"a\u3042\u30BDb", 4);
  ASSERT_EQ(std::string(sjis.pszGetA()), "a\x82\xA0\x83\x5C" "b");
  const wchar_t sjisWant[] = {L'a', L'\u3042', L'\u3042', L'\u30BD', L'\u30BD', L'b'};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(sjis.cGetCharW(i), sjisWant[i]) << i;

  CTStringConcatAW cp1252(1252, 1252);
  cp1252.Add("x\x80", 2);
  EXPECT_EQ(cp1252.cGetCharW(1), L'\u20AC');
}

// ---- Edge cases of editing ----

TEST(TStringConcatAW, CutsFallWhereAskedInUTF8Content) {
  CTStringConcatAW b(65001, 1252);
  b.Add(L"\u00E9a\u00E9", 3);  // 5 bytes, 3 characters
  b.Tronque(4);                 // beyond the 3 characters, within the 5 bytes
  EXPECT_EQ(b.nGetLength(), 4);
  EXPECT_EQ(std::string(b.pszGetA()), "\xC3\xA9" "a\xC3");
  b.SetStrCte(L"\u00E9a\u00E9b", 4);
  b.Coupe(3, 2);  // the second é
  EXPECT_EQ(std::wstring(b.pszGetW()), L"\u00E9ab");
  b.Tronque(6);  // beyond the length: nothing
  EXPECT_EQ(std::wstring(b.pszGetW()), L"\u00E9ab");
  b.Tronque(4);  // the length: nothing changes
  EXPECT_EQ(std::wstring(b.pszGetW()), L"\u00E9ab");
  b.Tronque(0);
  EXPECT_EQ(b.nGetLength(), 0);
  EXPECT_EQ(std::wstring(b.pszGetW()), L"");

  CTStringConcatAW c(65001, 1252);
  c.Add(L"abcde", 5);
  c.Coupe(2, 100);
  EXPECT_EQ(std::string(c.pszGetA()), "ab");
  c.Coupe(5, 1);  // beyond: nothing
  c.Coupe(0, 0);
  c.Coupe(1, -3);
  EXPECT_EQ(std::string(c.pszGetA()), "ab");
  c.Coupe(-4, 1);  // a negative start counts as 0
  EXPECT_EQ(std::string(c.pszGetA()), "b");
  c.Coupe(0, 9);
  EXPECT_EQ(c.nGetLength(), 0);
}

TEST(TStringConcatAW, ReplaceAllDoesNotSearchInsertedText) {
  for (int content : {65001, 1252, CTStringConcatAW::kWideContent}) {
    CTStringConcatAW b(content, 1252);
    b.Add(L"a'b''c", 6);
    b.Remplace(L"'", 1, L"''", 2, 0);
    EXPECT_EQ(std::wstring(b.pszGetW()), L"a''b''''c") << content;
    b.Remplace("''", 2, "\xE9", 1, 2);
    EXPECT_EQ(std::wstring(b.pszGetW()), L"a''b\u00E9\u00E9c") << content;
  }
}

TEST(TStringConcatAW, InsertAndSpanReplaceClampTheirPositions) {
  CTStringConcatAW b(65001, 1252);
  b.Insert(L"\u00E9", 1, 7);  // empty content: becomes the piece
  b.Insert(L"z", 1, 99);      // beyond the length: appended
  b.Insert("\xE0", 1, -2);    // before the start: at the start
  EXPECT_EQ(std::wstring(b.pszGetW()), L"\u00E0\u00E9z");
  b.Remplace(2, -1, L"\u20AC", 1);  // from byte 2 to the end
  EXPECT_EQ(std::wstring(b.pszGetW()), L"\u00E0\u20AC");
  b.Remplace(99, 1, "!", 1);  // start beyond the end: appended
  EXPECT_EQ(std::wstring(b.pszGetW()), L"\u00E0\u20AC!");
  b.Remplace(0, 2, static_cast<const wchar_t*>(nullptr), 0);  // nothing: removed
  EXPECT_EQ(std::wstring(b.pszGetW()), L"\u20AC!");
  CTStringConcatAW empty(65001, 1252);
  empty.Remplace(0, 0, L"x", 1);
  EXPECT_EQ(empty.nGetLength(), 0);
}

// A character the content code page cannot hold turns into '?' when converted; as a pattern it
// must not find a '?' of the content.
TEST(TStringConcatAW, PatternWithoutFormInTheContentFindsNothing) {
  CTStringConcatAW b(1252, 1252);
  b.Add("a?b?", 4);
  EXPECT_EQ(b.nPos(L"\u2713", 0), -1);
  EXPECT_EQ(b.nPos(L'\u2713', 0), -1);
  b.Remplace(L"\u2713", 1, L"x", 1, 0);
  EXPECT_EQ(std::string(b.pszGetA()), "a?b?");
  EXPECT_EQ(b.nPos(L"?b", 0), 1);
  b.Add(L"\u2713", 1);  // added text takes the '?'
  EXPECT_EQ(std::string(b.pszGetA()), "a?b??");
}

TEST(TStringConcatAW, SearchesConvertPatternsToTheContentForm) {
  CTStringConcatAW utf8(65001, 1252);
  utf8.Add(L"x \u00E9\u20AC \u00E9", 6);  // bytes: x, ' ', é(2), €(3), ' ', é(2)
  EXPECT_EQ(utf8.nPos("\xE9", 0), 2);     // ANSI é
  EXPECT_EQ(utf8.nPos('\xE9', 0), -1);  // the byte as given: UTF-8 text holds no 0xE9
  EXPECT_EQ(utf8.nPos('\xC3', 3), 8);
  EXPECT_EQ(utf8.nPos(L'\u20AC', 0), 4);
  EXPECT_EQ(utf8.nPos(L"\u20AC ", 0), 4);
  EXPECT_EQ(utf8.nPos(L' ', 2), 7);
  EXPECT_EQ(utf8.nPos(' ', 0), 1);
  EXPECT_EQ(utf8.nPos(L'\0', 0), 10);
  EXPECT_EQ(utf8.nPos('\0', 0), 10);
  EXPECT_EQ(utf8.nPos(L"", 3), 3);
  EXPECT_EQ(utf8.nPos(L"\u00E9", 11), -1);

  CTStringConcatAW wide(CTStringConcatAW::kWideContent, 1252);
  wide.Add(L"a\u20ACb", 3);
  EXPECT_EQ(wide.nPos('\x80', 0), 1);  // the euro sign of code page 1252
  EXPECT_EQ(wide.nPos("\x80" "b", 0), 1);
  EXPECT_EQ(wide.nPos('\0', 0), 3);
  EXPECT_EQ(wide.nPos('\x81', 0), -1);  // no character in 1252

  CTStringConcatAW empty(65001, 1252);
  EXPECT_EQ(empty.nPos(L"a", 0), -1);
  EXPECT_EQ(empty.nPos('a', 0), -1);
}

TEST(TStringConcatAW, UpperCaseKeepsTheContentEncodingWhole) {
  CTStringConcatAW utf8(65001, 1252);
  // The lead byte of U+3042 is 0xE3, 'a with tilde' in 1252: byte-wise it would become 0xC3.
  utf8.Add("\xC3\xA9" "a\xE3\x81\x82\xFF" "b\xCF\x89", 10, 65001);  // with one invalid byte
  utf8.Majuscule();
  EXPECT_EQ(std::string(utf8.pszGetA()), "\xC3\x89" "A\xE3\x81\x82\xFF" "B\xCE\xA9");

  CTStringConcatAW cp1252(1252, 1252);
  cp1252.Add("\xE9\xB5z", 3);  // micro sign: its capital (Greek Mu) has no form in 1252
  cp1252.Majuscule();
  EXPECT_EQ(std::string(cp1252.pszGetA()), "\xC9\xB5Z");

  CTStringConcatAW wide(CTStringConcatAW::kWideContent, 1252);
  wide.Add(L"\u00E9\u03C9a", 3);
  EXPECT_EQ(std::string(wide.pszGetA()), "\xE9?a");
  wide.Majuscule();
  EXPECT_EQ(std::wstring(wide.pszGetW()), L"\u00C9\u03A9A");
  EXPECT_EQ(std::string(wide.pszGetA()), "\xC9?A");
}

TEST(TStringConcatAW, PiecesTakenFromTheBuilderItself) {
  CTStringConcatAW b(65001, 1252, 4);
  b.Add(L"\u00E9x", 2);
  b.Add(b.pszGetW(), b.nGetLengthW());  // the cache as the piece
  EXPECT_EQ(std::wstring(b.pszGetW()), L"\u00E9x\u00E9x");
  b.Insert(b.pszGetA(), 3, 0);  // the content as an ANSI piece: converted again
  EXPECT_EQ(std::wstring(b.pszGetW()), L"\u00C3\u00A9x\u00E9x\u00E9x");

  CTStringConcatAW w(CTStringConcatAW::kWideContent, 1252, 4);
  w.Add(L"abc\u20AC", 4);
  w.Add(w.pszGetA(), w.nGetLengthA());
  w.Add(w.pszGetW(), w.nGetLengthW());
  EXPECT_EQ(std::wstring(w.pszGetW()), L"abc\u20ACabc\u20ACabc\u20ACabc\u20AC");
  w.SetStrCte(w.pszGetW() + 12, 4);
  EXPECT_EQ(std::wstring(w.pszGetW()), L"abc\u20AC");
  w.Remplace(1, 1, w.pszGetW() + 2, 2);
  EXPECT_EQ(std::wstring(w.pszGetW()), L"ac\u20ACc\u20AC");
}

TEST(TStringConcatAW, NumbersAndConstantsInEitherForm) {
  for (int content : {65001, CTStringConcatAW::kWideContent}) {
    CTStringConcatAW b(content, 1252);
    b.AddStrCte(L"LIMIT ", 6);
    b.AddNumber(7, 2);
    b.AddNumber(-12345678901LL);
    b.AddNumberHexa(static_cast<unsigned char>(0xAB));
    b.AddNumberHexa(static_cast<unsigned short>(0x1F));
    b.AddNumberHexa(0xDEADu);
    b.AddNumberHexa(2ull);
    const CTString s(L" \u00E9");
    b.Add(s);
    EXPECT_EQ(std::wstring(b.pszGetW()), L"LIMIT 07-12345678901AB001F0000DEAD0000000000000002 \u00E9") << content;
    b.SetStrCte(L"x", 1);
    EXPECT_EQ(std::string(b.pszGetA()), "x");
    b.SetStrCte(nullptr, 0);
    EXPECT_TRUE(b.bEstVide());
    b.Add(L"y", 1);
    b.Vide();
    EXPECT_EQ(std::wstring(b.pszGetW()), L"");
    EXPECT_EQ(std::string(b.pszGetA()), "");
  }
}

// A refused piece (nothing of it converts) leaves the text, its length and its terminator as they
// were; a piece cut inside its last character keeps the whole characters before the cut.
TEST(TStringConcatAW, RefusedOrCutPiecesLeaveTheTextWhole) {
  for (int content : {CTStringConcatAW::kWideContent, 1252, 65001}) {
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

TEST(TStringConcatAW, AViewDropsACharacterCutInTwo) {
  CTStringConcatAW b(65001, 1252);
  b.Add(L"\u00E9\u00E9", 2);
  b.Tronque(3);
  EXPECT_EQ(b.nGetLength(), 3);
  EXPECT_EQ(std::wstring(b.pszGetW()), L"\u00E9");
}

// ---- Random operations against the model ----

struct CModelCase {
  int content;
  std::vector<std::wstring> widePieces;  // all representable in the content code page
  std::vector<std::string> ansiPieces;   // code page 1252
};

void RunModel(const CModelCase& c, unsigned int seed) {
  std::mt19937 rng(seed);
  CTStringConcatAW b(c.content, 1252, 16);
  std::wstring model;
  auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
  auto wide = [&] { return c.widePieces[pick(c.widePieces.size())]; };
  auto ansi = [&] { return c.ansiPieces[pick(c.ansiPieces.size())]; };
  auto charPos = [&] { return pick(model.size() + 1); };
  for (int step = 0; step < 1500; ++step) {
    if (rng() % 3 == 0) b.pszGetW();  // sometimes a cache to drop
    if (rng() % 5 == 0) b.pszGetA();
    const size_t k = charPos();
    const size_t m = pick(4);
    const int at = Units(b, model, k);
    const int span = Units(b, model, k + m) - at;
    const int op = static_cast<int>(rng() % 12);
    switch (op) {
      case 0: {
        const std::wstring p = wide();
        b.Add(p.data(), static_cast<int>(p.size()));
        model += p;
        break;
      }
      case 1: {
        const std::string p = ansi();
        b.Add(p.data(), static_cast<int>(p.size()));
        model += Decode(p, 1252);
        break;
      }
      case 2: {
        const std::string p = Encode(wide(), 65001);
        if (rng() % 2)
          b.AddUTF8(p.data(), static_cast<int>(p.size()));
        else
          b.Add(p.data(), static_cast<int>(p.size()), 65001);
        model += Decode(p, 65001);
        break;
      }
      case 3: {
        const std::wstring p = wide();
        b.Insert(p.data(), static_cast<int>(p.size()), at);
        model.insert(k, p);
        break;
      }
      case 4: {
        const std::string p = ansi();
        b.Insert(p.data(), static_cast<int>(p.size()), at);
        model.insert(k, Decode(p, 1252));
        break;
      }
      case 5: {
        if (model.empty()) break;
        const std::wstring p = wide();
        b.Remplace(at, k + m >= model.size() && rng() % 2 ? -1 : span, p.data(), static_cast<int>(p.size()));
        model.replace(k, m, p);
        break;
      }
      case 6: {
        if (model.empty()) break;
        const std::string p = ansi();
        b.Remplace(at, span, p.data(), static_cast<int>(p.size()));
        model.replace(k, m, Decode(p, 1252));
        break;
      }
      case 7:
        if (model.empty()) break;
        b.Coupe(at, k + m > model.size() ? span + 5 : span);  // past the end: cut at the start
        model.erase(k, m == 0 ? 0 : (k + m > model.size() ? std::wstring::npos : m));
        break;
      case 8:
        if (model.empty() || rng() % 3) break;
        b.Tronque(at);
        model.resize(k);
        break;
      case 9:
      case 10: {
        if (model.empty()) break;
        std::wstring from = op == 9 ? wide() : Decode(ansi(), 1252);
        std::wstring to = op == 9 ? wide() : Decode(ansi(), 1252);
        if (from.empty()) break;
        if (op == 9) {
          b.Remplace(from.data(), static_cast<int>(from.size()), to.data(), static_cast<int>(to.size()), at);
        } else {
          const std::string f = Encode(from, 1252), t = Encode(to, 1252);
          b.Remplace(f.data(), static_cast<int>(f.size()), t.data(), static_cast<int>(t.size()), at);
        }
        for (size_t p = model.find(from, k); p != std::wstring::npos; p = model.find(from, p + to.size()))
          model.replace(p, from.size(), to);
        break;
      }
      case 11: {
        const long long v = static_cast<long long>(rng() % 20000) - 10000;
        b.AddNumber(v, 3);
        model += v > 0 && v < 100 ? (v < 10 ? L"00" : L"0") + std::to_wstring(v) : std::to_wstring(v);
        break;
      }
    }
    if (model.size() > 120) {
      const int cut = Units(b, model, 30);
      b.Tronque(cut);
      model.resize(30);
    }
    ASSERT_NO_FATAL_FAILURE(ExpectModel(b, model)) << "step " << step << " op " << op;
    // Searches and positional reads in content units.
    if (!model.empty()) {
      const size_t i = pick(model.size());
      ASSERT_EQ(b.cGetCharW(Units(b, model, i)), model[i]) << "step " << step;
      ASSERT_EQ(b.bIsCharSpace(Units(b, model, i)) != FALSE, model[i] == L' ');
      const std::wstring p = wide();
      const size_t found = model.find(p, k);
      EXPECT_EQ(b.nPos(p.c_str(), at), found == std::wstring::npos ? -1 : Units(b, model, found)) << "step " << step;
      const size_t foundChar = model.find(p[0], k);
      EXPECT_EQ(b.nPos(p[0], at), foundChar == std::wstring::npos ? -1 : Units(b, model, foundChar));
    }
  }
}

const std::vector<std::wstring> kWideAll = {L"a", L"\u00E9", L"\u20AC", L"\u2713", L"\U0001D11E", L" ", L"ab",
                                            L"\u00E9\u00E9", L"\u3042x"};
const std::vector<std::wstring> kWide1252 = {L"a", L"\u00E9", L"\u20AC", L" ", L"ab", L"\u00E9\u00E9", L"\u00FFz"};
const std::vector<std::string> kAnsi = {"a", "\xE9", "\x80", " ", "b\xE9", "\xFF"};

TEST(TStringConcatAW, UTF8ContentFollowsTheModel) { RunModel({65001, kWideAll, kAnsi}, 1); }
TEST(TStringConcatAW, CodePage1252ContentFollowsTheModel) { RunModel({1252, kWide1252, kAnsi}, 2); }
TEST(TStringConcatAW, WideContentFollowsTheModel) {
  RunModel({CTStringConcatAW::kWideContent, kWideAll, kAnsi}, 3);
}

}  // namespace
