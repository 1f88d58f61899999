// The embedded resource block: every text of the source file comes back unchanged, and the
// lookup finds records by id in well-formed and damaged blocks.
#include "platform/resblock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "common/utf.h"
#include "platform/datacompressor.h"
#include "platform/winformat.h"
#include "platform/resources/restextfile.h"

namespace {

std::wstring Widen(const std::string& utf8) {
  std::vector<wchar_t> w(utf8.size() + 1);
  nUTF8ToWide(w.data(), static_cast<int>(w.size()), utf8.c_str(), static_cast<int>(utf8.size()));
  return std::wstring(w.data());
}

STRessourceModule Request(unsigned int id) { return STRessourceModule{id, 0, nullptr, 0, 0, -1}; }

TEST(ResourceBlock, EveryTextUnpacksToItsSource) {
  std::vector<STResText> texts;
  std::string err;
  ASSERT_TRUE(bReadResTexts(QX_RES_TEXTS, &texts, &err)) << err;
  ASSERT_GT(texts.size(), 100u);
  CResAnsi32 block(_pbyBufferRes32, g_nTailleBufferRes32);
  EXPECT_EQ(block.nGetRecordCount(), static_cast<int>(texts.size()) + 1);  // and the end marker
  EXPECT_EQ(_pbyBufferRes32[g_nTailleBufferRes32 - 2] | _pbyBufferRes32[g_nTailleBufferRes32 - 1], 0);
  for (const STResText& t : texts) {
    STRessourceModule r = Request(t.nId);
    ASSERT_TRUE(bGetResAnsi32(r)) << t.nId;
    EXPECT_EQ(r.nEncodage, RES_ENCODING_UTF8);
    EXPECT_EQ(r.nUtilisation, 0);
    wchar_t* text = CDataCompressor::s_pszDeCompress(r);
    ASSERT_NE(text, nullptr) << t.nId;
    EXPECT_EQ(std::wstring(text), Widen(t.strText)) << t.nId;
    free(text);
  }
}

TEST(ResourceBlock, LastRecordIsTheEndMarker) {
  unsigned int at = 0, last = 0;
  for (unsigned int length; (length = _pbyBufferRes32[at] | _pbyBufferRes32[at + 1] << 8) != 0; at += length)
    last = at;
  EXPECT_EQ(at + 2, g_nTailleBufferRes32);
  EXPECT_EQ(_pbyBufferRes32[last + 2] | _pbyBufferRes32[last + 3] << 8, 65535);
  STRessourceModule r = Request(65535);
  ASSERT_TRUE(bGetResAnsi32(r));
  EXPECT_EQ(r.pbyData, _pbyBufferRes32 + last + RES_RECORD_HEADER);
  wchar_t* text = CDataCompressor::s_pszDeCompress(r);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::wstring(text), L"QUENDA RES BLOC UTF16 STOP");
  free(text);
}

// The inserts a text takes: 's' a text, 'n' a 32-bit number; "?" for any other conversion.
std::string Signature(const std::wstring& text) {
  std::string sig;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'%') continue;
    STPrintfSpec conv;
    WIN_ParsePrintfSpec(text.c_str() + i, &conv);
    i += conv.nLength - 1;
    if (conv.eArg == PRINTF_ARG_PERCENT) continue;
    const bool plain = !conv.bPositional && !conv.bWidthStar && !conv.bPrecisionStar && !conv.b64;
    if (plain && conv.eArg == PRINTF_ARG_STRING && conv.bWideArg)
      sig += 's';
    else if (plain && conv.eArg == PRINTF_ARG_INT)
      sig += 'n';
    else
      sig += '?';
  }
  return sig;
}

// A text that takes other inserts than its raisers pass reads garbage; a separator would show.
TEST(ResourceBlock, TextsTakeTheInsertsTheirCallersPass) {
  std::vector<STResText> texts;
  std::string err;
  ASSERT_TRUE(bReadResTexts(QX_RES_TEXTS, &texts, &err)) << err;
  std::map<unsigned int, std::wstring> byId;
  for (const STResText& t : texts) {
    const std::wstring w = Widen(t.strText);
    EXPECT_EQ(Signature(w).find('?'), std::string::npos) << t.nId;
    EXPECT_EQ(w.find(RES_VARIANT_SEPARATOR), std::wstring::npos) << t.nId;
    byId[t.nId] = w;
  }
  // The inserts of the callers in this tree (error dump, value-operation errors, file errors).
  const std::pair<unsigned int, const char*> callers[] = {
      {28844, ""},   {28845, "ssnn"}, {25770, "ssn"}, {28846, "sn"},  {28857, ""},  {28858, ""},   {28851, "n"},
      {28847, ""},   {28848, ""},     {28849, ""},    {25311, ""},    {28850, "n"}, {28852, "n"},  {28853, "n"},
      {28854, ""},   {28855, ""},     {28856, ""},    {28842, "ss"},  {28843, ""},  {28863, "n"},  {28864, ""},
      {28859, ""},   {28860, ""},     {28861, ""},    {28862, ""},    {28865, "n"}, {25193, ""},   {25293, "nn"},
      {25294, "nn"}, {25296, "nn"},   {25297, "nn"},  {25298, "nn"},  {25292, "nn"}, {28009, "s"}, {28555, "ss"},
      {28259, "s"},  {28011, "s"},    {28145, "snn"}, {28146, "snn"}, {28124, "ss"}, {28125, "ss"}, {28130, "ns"},
      {28134, "ss"}, {28133, ""},     {25852, "nns"}, {3221, "snnns"}, {3355, "ss"}, {28585, "sn"}, {28590, "ssn"},
  };
  for (const auto& [id, sig] : callers) {
    ASSERT_TRUE(byId.count(id)) << id;
    EXPECT_EQ(Signature(byId[id]), sig) << id;
  }
}

TEST(ResourceBlock, LookupMissesAndHighBits) {
  STRessourceModule r = Request(256);
  const STRessourceModule before = r;
  EXPECT_FALSE(bGetResAnsi32(r));
  EXPECT_EQ(r.pbyData, before.pbyData);
  EXPECT_EQ(r.nUtilisation, -1);
  r = Request(28545);  // between 28544 and 28546
  EXPECT_FALSE(bGetResAnsi32(r));
  // Only the low 16 bits name the record.
  STRessourceModule low = Request(28542), high = Request(0x30000u + 28542);
  ASSERT_TRUE(bGetResAnsi32(low));
  ASSERT_TRUE(bGetResAnsi32(high));
  EXPECT_EQ(low.pbyData, high.pbyData);
}

// A block made by hand: (id, flags, packed text, spare bytes) per record.
struct STRecord {
  uint16_t nId;
  uint8_t nFlags;
  std::string strText;
  int nSpare;
};

std::vector<unsigned char> MakeBlock(const std::vector<STRecord>& records, bool terminate = true) {
  std::vector<unsigned char> b;
  for (const STRecord& rec : records) {
    std::vector<unsigned char> packed;
    CDataCompressor::s_Compress(reinterpret_cast<const unsigned char*>(rec.strText.data()),
                                static_cast<int>(rec.strText.size()), &packed);
    const size_t length = RES_RECORD_HEADER + packed.size() + static_cast<size_t>(rec.nSpare);
    b.insert(b.end(), {static_cast<unsigned char>(length), static_cast<unsigned char>(length >> 8),
                       static_cast<unsigned char>(rec.nId), static_cast<unsigned char>(rec.nId >> 8), rec.nFlags,
                       static_cast<unsigned char>(packed.size()), static_cast<unsigned char>(packed.size() >> 8)});
    b.insert(b.end(), packed.begin(), packed.end());
    b.insert(b.end(), static_cast<size_t>(rec.nSpare), 0xAB);
  }
  if (terminate) b.insert(b.end(), {0, 0});
  return b;
}

TEST(ResourceBlock, RecordFieldsAndIndexing) {
  const std::vector<unsigned char> b =
      MakeBlock({{300, 0x00, "un", 0}, {400, 0x42, std::string("d\0e\0", 4), 5}, {500, 0x03, "trois", 0}});
  CResAnsi32 block(b.data(), static_cast<unsigned int>(b.size()));
  EXPECT_FALSE(block.bIsIndexed());
  STRessourceModule r = Request(400);
  ASSERT_TRUE(block.bGetRes(r));
  EXPECT_TRUE(block.bIsIndexed());
  EXPECT_EQ(r.nUtilisation, 2);
  EXPECT_EQ(r.nEncodage, RES_ENCODING_UTF16);
  wchar_t* text = CDataCompressor::s_pszDeCompress(r);  // the spare bytes are not read
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::wstring(text), L"de");
  free(text);
  r = Request(500);
  ASSERT_TRUE(block.bGetRes(r));
  EXPECT_EQ(r.nUtilisation, 3);
  EXPECT_EQ(r.nEncodage, RES_ENCODING_UTF8);
  r = Request(299);
  EXPECT_FALSE(block.bGetRes(r));
  EXPECT_EQ(block.nGetRecordCount(), 3);
}

TEST(ResourceBlock, DamagedBlocksStopTheWalk) {
  // No terminating zero: the walk stops at the end of the block.
  std::vector<unsigned char> b = MakeBlock({{300, 0, "un", 0}, {400, 0, "deux", 0}}, false);
  EXPECT_EQ(CResAnsi32(b.data(), static_cast<unsigned int>(b.size())).nGetRecordCount(), 2);
  // A record whose length runs past the block is not taken, nor anything after it.
  b = MakeBlock({{300, 0, "un", 0}, {400, 0, "deux", 0}, {500, 0, "trois", 0}});
  const size_t second = static_cast<size_t>(b[0] | b[1] << 8);
  b[second] = 0xFF;
  EXPECT_EQ(CResAnsi32(b.data(), static_cast<unsigned int>(b.size())).nGetRecordCount(), 1);
  // A packed length beyond its record.
  b = MakeBlock({{300, 0, "un", 0}});
  b[5] = 0x40;
  CResAnsi32 bad(b.data(), static_cast<unsigned int>(b.size()));
  STRessourceModule r = Request(300);
  EXPECT_FALSE(bad.bGetRes(r));
  // Empty and missing blocks.
  const unsigned char empty[2] = {0, 0};
  EXPECT_EQ(CResAnsi32(empty, 2).nGetRecordCount(), 0);
  CResAnsi32 none(nullptr, 100);
  r = Request(300);
  EXPECT_FALSE(none.bGetRes(r));
}

}  // namespace
