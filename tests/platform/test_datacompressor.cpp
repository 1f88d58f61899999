// CDataCompressor: packing and unpacking agree on any bytes, the digit rules hold for hand-made
// input, bad input is refused, and the wide forms convert and cut.
#include "platform/datacompressor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "platform/dllres.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Pack(const std::string& s) {
  Bytes packed;
  CDataCompressor::s_Compress(reinterpret_cast<const unsigned char*>(s.data()), static_cast<int>(s.size()), &packed);
  return packed;
}

struct STUnpacked {
  int nResult;
  int nLength;
  std::string strText;  // up to the terminator
};

STUnpacked Unpack(const Bytes& packed, int capacity) {
  std::vector<unsigned char> out(static_cast<size_t>(capacity) + 1, 0xEE);
  int length = capacity;
  CDataCompressor c;
  const int r = c.nDeCompress(out.data(), &length, packed.data(), static_cast<int>(packed.size()));
  EXPECT_EQ(out[static_cast<size_t>(capacity)], 0xEE) << "wrote past the capacity";
  return {r, length, std::string(reinterpret_cast<char*>(out.data()))};
}

// One pair of bytes from three digits.
void PutPair(Bytes* b, int d0, int d1, int d2) {
  const int v = d0 * 1600 + d1 * 40 + d2;
  b->push_back(static_cast<unsigned char>(v / 255 + 1));
  b->push_back(static_cast<unsigned char>(v % 255 + 1));
}

int Digit(char c, int charset) {
  return CDataCompressor::_nGetValue(static_cast<unsigned char>(c), static_cast<CDataCompressor::eCHARSET>(charset));
}

STRessourceModule Request(const Bytes& packed, int encoding) {
  return STRessourceModule{1, 0, packed.data(), static_cast<uint32_t>(packed.size()), encoding, 0};
}

TEST(CDataCompressor, AnyBytesRoundTrip) {
  std::mt19937 rng(7);
  std::vector<std::string> inputs = {
      "", "a", "ab", "abc", "La connexion <%s> n'est pas ouverte.",
      "Échec à l'opération « ŒUVRE » — déjà vu… ñ 中文 😀\r\n\tfin^`",
      std::string(600, '\x01'),  // runs longer than one escape
  };
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  inputs.push_back(all);
  for (int i = 0; i < 200; ++i) {
    std::string s(rng() % 300, '\0');
    for (char& c : s) c = static_cast<char>(rng());  // zero bytes included
    inputs.push_back(s);
  }
  for (const std::string& s : inputs) {
    const Bytes packed = Pack(s);
    std::vector<unsigned char> out(s.size() + 1, 0xEE);
    int length = static_cast<int>(out.size());
    CDataCompressor c;
    ASSERT_EQ(c.nDeCompress(out.data(), &length, packed.data(), static_cast<int>(packed.size())),
              CDataCompressor::RESULT_OK);
    ASSERT_EQ(length, static_cast<int>(s.size()));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data()), s.size()), s);
    EXPECT_EQ(out[s.size()], 0);
  }
}

TEST(CDataCompressor, FrenchTextPacksSmaller) {
  const std::string s = "Le fichier <%s> est introuvable ou inaccessible : vérifiez le répertoire et les droits.";
  EXPECT_LT(Pack(s).size() * 4, s.size() * 3);
}

TEST(CDataCompressor, DigitRules) {
  // A shift serves one character; a switch stays.
  Bytes b;
  PutPair(&b, 1, Digit('A', 1), Digit('b', 0));
  PutPair(&b, 5, Digit('C', 1), Digit('D', 1));
  b.push_back(static_cast<unsigned char>(Digit('E', 1) + 1));  // odd length: one digit in the last byte
  EXPECT_EQ(Unpack(b, 16).strText, "AbCDE");

  // In the fourth alphabet 38 takes the byte after the pair, 39 a counted run; the rest of the
  // pair is dropped.
  b.clear();
  PutPair(&b, 3, 38, Digit('z', 0));
  b.push_back(0);
  PutPair(&b, 7, 39, 13);
  b.insert(b.end(), {2, 'x', 'y'});
  PutPair(&b, 0, Digit('z', 0), 0);  // 38 again, but shifted out of the fourth alphabet: 'z'
  const STUnpacked u = Unpack(b, 16);
  EXPECT_EQ(u.nResult, CDataCompressor::RESULT_OK);
  EXPECT_EQ(u.nLength, 4);  // the zero byte counts
  EXPECT_EQ(u.strText, "");  // and ends the C text
  std::vector<unsigned char> out(8);
  int length = 8;
  CDataCompressor c;
  c.nDeCompress(out.data(), &length, b.data(), static_cast<int>(b.size()));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data()), 4), std::string("\0xyz", 4));

  EXPECT_EQ(CDataCompressor::_nGetCharset(CDataCompressor::SHIFT_NONE), -1);
  EXPECT_EQ(CDataCompressor::_nGetCharsetSwitch(static_cast<CDataCompressor::eCHARSET>(4)), CDataCompressor::SHIFT_NONE);
  for (int a = 0; a < 4; ++a)
    EXPECT_EQ(CDataCompressor::_nGetCharset(CDataCompressor::_nGetCharsetSwitch(static_cast<CDataCompressor::eCHARSET>(a))), a);
  EXPECT_EQ(Digit('a', 1), -1);
}

TEST(CDataCompressor, BadInputIsRefused) {
  EXPECT_EQ(Unpack({0, 5}, 8).nResult, CDataCompressor::RESULT_BAD_INPUT);    // zero in a pair
  EXPECT_EQ(Unpack({252, 1}, 8).nResult, CDataCompressor::RESULT_BAD_INPUT);  // first digit 40
  EXPECT_EQ(Unpack({0}, 8).nResult, CDataCompressor::RESULT_BAD_INPUT);       // last byte 0
  EXPECT_EQ(Unpack({41}, 8).nResult, CDataCompressor::RESULT_BAD_INPUT);      // last byte above 40
  Bytes b;
  PutPair(&b, 3, 38, 0);  // the escaped byte is missing
  EXPECT_EQ(Unpack(b, 8).nResult, CDataCompressor::RESULT_SHORT_ESCAPE);
  b.clear();
  PutPair(&b, 3, 39, 0);
  b.insert(b.end(), {3, 'a', 'b'});  // a run of 3 with 2 bytes
  EXPECT_EQ(Unpack(b, 8).nResult, CDataCompressor::RESULT_SHORT_ESCAPE);
  b.clear();
  b.push_back(39);  // digit 38 outside the fourth alphabet is a character, not an escape
  EXPECT_EQ(Unpack(b, 8).strText, "z");
}

TEST(CDataCompressor, CapacityCutsAndTerminates) {
  const Bytes packed = Pack("abcdefghij");
  const STUnpacked u = Unpack(packed, 4);
  EXPECT_EQ(u.nResult, CDataCompressor::RESULT_CUT);
  EXPECT_EQ(u.nLength, 10);  // dropped bytes are counted
  EXPECT_EQ(u.strText, "abc");
  EXPECT_EQ(Unpack(packed, 11).nResult, CDataCompressor::RESULT_OK);  // exactly room for the terminator
  EXPECT_EQ(Unpack(packed, 10).nResult, CDataCompressor::RESULT_CUT);
}

TEST(CDataCompressor, WideFormsConvertAndCut) {
  const Bytes utf8 = Pack("Élément réservé");
  STRessourceModule r = Request(utf8, RES_ENCODING_UTF8);
  wchar_t out[32];
  int length = 32;
  EXPECT_EQ(CDataCompressor::s_nDeCompress(out, &length, r), CDataCompressor::RESULT_OK);
  EXPECT_EQ(std::wstring(out), L"Élément réservé");
  EXPECT_EQ(length, 15);
  length = 4;
  EXPECT_EQ(CDataCompressor::s_nDeCompress(out, &length, r), CDataCompressor::RESULT_CUT);
  EXPECT_EQ(std::wstring(out), L"Élé");
  EXPECT_EQ(length, 3);
  length = 0;
  EXPECT_EQ(CDataCompressor::s_nDeCompress(out, &length, r), CDataCompressor::RESULT_CUT);
  EXPECT_EQ(length, -1);

  // UTF-16LE bytes, a surrogate pair joined into one character.
  const std::string utf16("A\0\xAC\x20\x3D\xD8\x00\xDE", 8);
  const Bytes packed16 = Pack(utf16);
  r = Request(packed16, RES_ENCODING_UTF16);
  length = 32;
  EXPECT_EQ(CDataCompressor::s_nDeCompress(out, &length, r), CDataCompressor::RESULT_OK);
  EXPECT_EQ(std::wstring(out), L"A€\U0001F600");

  r = Request(utf8, 3);
  length = 32;
  EXPECT_EQ(CDataCompressor::s_nDeCompress(out, &length, r), CDataCompressor::RESULT_BAD_INPUT);

  // Long enough for the work buffer to leave the stack.
  const std::string big(1000, 'x');
  const Bytes packedBig = Pack(big);
  ASSERT_GT(packedBig.size() * 3 / 2 + 2, 255u);
  r = Request(packedBig, RES_ENCODING_UTF8);
  wchar_t* text = CDataCompressor::s_pszDeCompress(r);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::wstring(text), std::wstring(1000, L'x'));
  free(text);

  const Bytes bad = {0, 0};
  r = Request(bad, RES_ENCODING_UTF8);
  EXPECT_EQ(CDataCompressor::s_pszDeCompress(r), nullptr);
}

}  // namespace
