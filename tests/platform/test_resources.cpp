// The module's resource texts: the embedded block (every source text back unchanged, with the
// inserts its raisers pass; the end marker; record fields), unpacking, and loading by id from the
// block or first from the host's callback (registered through CommandeComposante, as the host does).
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cwchar>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "common/utf.h"
#include "platform/datacompressor.h"
#include "platform/dllres.h"
#include "platform/resblock.h"
#include "platform/resources/restextfile.h"
#include "platform/winformat.h"

namespace {

using Bytes = std::vector<unsigned char>;

std::wstring Widen(const std::string& utf8) {
  std::vector<wchar_t> w(utf8.size() + 1);
  nUTF8ToWide(w.data(), static_cast<int>(w.size()), utf8.c_str(), static_cast<int>(utf8.size()));
  return std::wstring(w.data());
}

Bytes Pack(const std::string& s) {
  Bytes packed;
  CDataCompressor::s_Compress(reinterpret_cast<const unsigned char*>(s.data()), static_cast<int>(s.size()), &packed);
  return packed;
}

STRessourceModule Request(unsigned int id) { return STRessourceModule{id, 0, nullptr, 0, 0, -1}; }
STRessourceModule Request(const Bytes& packed, int encoding) {
  return STRessourceModule{1, 0, packed.data(), static_cast<uint32_t>(packed.size()), encoding, 0};
}

// The record's text as wide text ("<null>" when it does not unpack).
std::wstring Unpacked(STRessourceModule r) {
  wchar_t* text = CDataCompressor::s_pszDeCompress(r);
  const std::wstring s = text != nullptr ? std::wstring(text) : L"<null>";
  free(text);
  return s;
}

std::vector<STResText> SourceTexts() {
  std::vector<STResText> texts;
  std::string err;
  EXPECT_TRUE(bReadResTexts(QX_RES_TEXTS, &texts, &err)) << err;
  return texts;
}

TEST(ResourceBlock, EveryTextUnpacksToItsSourceAndTheMarkerComesLast) {
  const std::vector<STResText> texts = SourceTexts();
  EXPECT_EQ(CResAnsi32(_pbyBufferRes32, g_nTailleBufferRes32).nGetRecordCount(), static_cast<int>(texts.size()) + 1);
  for (const STResText& t : texts) {
    STRessourceModule r = Request(t.nId);
    ASSERT_TRUE(bGetResAnsi32(r)) << t.nId;
    EXPECT_EQ(r.nEncodage, RES_ENCODING_UTF8) << t.nId;
    EXPECT_EQ(r.nUtilisation, 0) << t.nId;
    EXPECT_EQ(Unpacked(r), Widen(t.strText)) << t.nId;
  }
  unsigned int at = 0, last = 0;
  for (unsigned int length; (length = _pbyBufferRes32[at] | _pbyBufferRes32[at + 1] << 8) != 0; at += length)
    last = at;
  EXPECT_EQ(at + 2, g_nTailleBufferRes32);  // the zero length ends the block
  EXPECT_EQ(_pbyBufferRes32[last + 2] | _pbyBufferRes32[last + 3] << 8, 65535);
  STRessourceModule r = Request(65535);
  ASSERT_TRUE(bGetResAnsi32(r));
  EXPECT_EQ(r.pbyData, _pbyBufferRes32 + last + RES_RECORD_HEADER);
  EXPECT_EQ(Unpacked(r), L"QUENDA RES BLOC UTF16 STOP");
}

// The inserts a text takes: 's' a text, 'n' a 32-bit number; "?" for any other conversion.
std::string Signature(const std::wstring& text) {
  std::string sig;
  for (size_t i = text.find(L'%'); i != std::wstring::npos; i = text.find(L'%', i)) {
    STPrintfSpec c;
    WIN_ParsePrintfSpec(text.c_str() + i, &c);
    i += c.nLength;
    if (c.eArg == PRINTF_ARG_PERCENT) continue;
    const bool plain = !c.bPositional && !c.bWidthStar && !c.bPrecisionStar && !c.b64;
    sig += !plain ? '?' : c.eArg == PRINTF_ARG_STRING && c.bWideArg ? 's' : c.eArg == PRINTF_ARG_INT ? 'n' : '?';
  }
  return sig;
}

// A text that takes other inserts than its raisers pass reads garbage; a separator would show.
TEST(ResourceBlock, TextsTakeTheInsertsTheirCallersPass) {
  std::map<unsigned int, std::wstring> byId;
  for (const STResText& t : SourceTexts()) {
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
      // files and streams; a stream raise passes two numbers after the name that these texts ignore
      {28001, "s"}, {28002, "s"}, {28003, "s"}, {28004, "s"}, {28005, "s"}, {28008, "s"}, {28139, "s"},
      {28140, "s"}, {28123, "s"}, {28126, "s"}, {28127, "s"}, {28128, "s"}, {28129, "s"}, {28131, "s"},
      {28138, "s"}, {28307, ""}, {28135, ""}, {28136, ""}, {28137, ""},
      // the client-library loader and the MySQL connection
      {28994, "s"}, {25868, "sss"}, {25871, "s"}, {25872, "s"}, {25575, ""}, {25877, ""}, {28586, "s"}, {28542, "s"},
      // stored values and the value converter
      {28541, "ss"}, {25621, "nns"},
      // dialect, transactions and connection operations
      {28536, "s"}, {28537, "ss"}, {28546, ""}, {25607, "ss"}, {28437, ""},
      // literals
      {28575, ""},
      // a row its record does not name exactly
      {3224, "ss"},
  };
  for (const auto& [id, sig] : callers) {
    ASSERT_TRUE(byId.count(id)) << id;
    EXPECT_EQ(Signature(byId[id]), sig) << id;
  }
}

TEST(ResourceBlock, LookupByIdReadsTheRecordFields) {
  STRessourceModule low = Request(28542), high = Request(0x30000u + 28542);  // only the low 16 bits count
  ASSERT_TRUE(bGetResAnsi32(low) && bGetResAnsi32(high));
  EXPECT_EQ(low.pbyData, high.pbyData);
  for (unsigned int id : {256u, 28545u}) {  // below the first record, between two
    STRessourceModule r = Request(id);
    EXPECT_FALSE(bGetResAnsi32(r) || r.pbyData != nullptr || r.nUtilisation != -1) << id;
  }
  // A record of id 400, kind 2, UTF-16 text, two spare bytes after it; then the end of the block.
  const Bytes text = Pack(std::string("d\0e\0", 4));
  Bytes b = {static_cast<unsigned char>(RES_RECORD_HEADER + text.size() + 2), 0, 0x90, 0x01, 0x42,
             static_cast<unsigned char>(text.size()), 0};
  b.insert(b.end(), text.begin(), text.end());
  b.insert(b.end(), {0xAB, 0xAB, 0, 0});
  CResAnsi32 block(b.data(), static_cast<unsigned int>(b.size()));
  EXPECT_FALSE(block.bIsIndexed());
  STRessourceModule r = Request(399);
  EXPECT_FALSE(block.bGetRes(r));
  EXPECT_TRUE(block.bIsIndexed());  // by the first lookup
  r = Request(400);
  ASSERT_TRUE(block.bGetRes(r));
  EXPECT_EQ(r.nUtilisation, 2);
  EXPECT_EQ(r.nEncodage, RES_ENCODING_UTF16);
  EXPECT_EQ(Unpacked(r), L"de");
  EXPECT_EQ(block.nGetRecordCount(), 1);
}

// One pair of bytes from three digits.
void PutPair(Bytes* b, int d0, int d1, int d2) {
  const int v = d0 * 1600 + d1 * 40 + d2;
  b->insert(b->end(), {static_cast<unsigned char>(v / 255 + 1), static_cast<unsigned char>(v % 255 + 1)});
}
Bytes Pairs(std::initializer_list<std::array<int, 3>> pairs, Bytes tail = {}) {
  Bytes b;
  for (const auto& p : pairs) PutPair(&b, p[0], p[1], p[2]);
  b.insert(b.end(), tail.begin(), tail.end());
  return b;
}
int Digit(char c, int charset) {
  return CDataCompressor::_nGetValue(static_cast<unsigned char>(c), static_cast<CDataCompressor::eCHARSET>(charset));
}

TEST(CDataCompressor, UnpackDigitsEscapesCapacityAndBadInput) {
  Bytes escapes = Pairs({{3, 38, Digit('z', 0)}}, {0});  // 38 in the fourth alphabet: the byte after the pair
  PutPair(&escapes, 7, 39, 13);                           // 39: a counted run; the rest of the pair is dropped
  escapes.insert(escapes.end(), {2, 'x', 'y'});
  PutPair(&escapes, 0, Digit('z', 0), 0);  // shifted out of the fourth alphabet: 38 is a character
  const struct {
    Bytes in;
    int nCapacity, nResult, nLength;
    std::string strOut;  // the bytes before the terminator
  } kCases[] = {
      // A shift serves one character, a switch stays; an odd length ends with a one-digit byte.
      {Pairs({{1, Digit('A', 1), Digit('b', 0)}, {5, Digit('C', 1), Digit('D', 1)}},
             {static_cast<unsigned char>(Digit('E', 1) + 1)}), 16, 0, 5, "AbCDE"},
      {escapes, 8, 0, 4, std::string("\0xyz", 4)},
      {Pack("abcdefghij"), 11, 0, 10, "abcdefghij"},  // exactly room for the terminator
      {Pack("abcdefghij"), 10, 2, 10, "abcdefghi"},
      {Pack("abcdefghij"), 4, 2, 10, "abc"},  // dropped bytes are counted
      {{39}, 8, 0, 1, "z"},
      {{0, 5}, 8, 4, -1, ""}, {{252, 1}, 8, 4, -1, ""},  // a zero in a pair, a first digit of 40
      {{0}, 8, 4, -1, ""},    {{41}, 8, 4, -1, ""},      // a last byte of 0, or above 40
      {Pairs({{3, 38, 0}}), 8, 5, -1, ""},                  // the escaped byte is missing
      {Pairs({{3, 39, 0}}, {3, 'a', 'b'}), 8, 5, -1, ""},  // a run of 3 with 2 bytes
  };
  for (const auto& c : kCases) {
    Bytes out(static_cast<size_t>(c.nCapacity) + 1, 0xEE);
    int length = c.nCapacity;
    EXPECT_EQ(CDataCompressor().nDeCompress(out.data(), &length, c.in.data(), static_cast<int>(c.in.size())),
              c.nResult) << c.strOut;
    EXPECT_EQ(out[static_cast<size_t>(c.nCapacity)], 0xEE) << "wrote past the capacity";
    if (c.nResult > 2) continue;
    EXPECT_EQ(length, c.nLength) << c.strOut;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data()), c.strOut.size() + 1), c.strOut + '\0');
  }
}

TEST(CDataCompressor, WideFormsConvertAndCut) {
  const Bytes utf8 = Pack("Élément réservé"), utf16 = Pack(std::string("A\0\xAC\x20\x3D\xD8\x00\xDE", 8));
  const struct {
    const Bytes* pPacked;
    int nEncoding, nCapacity, nResult, nLength;
    const wchar_t* pszText;
  } kCases[] = {{&utf8, RES_ENCODING_UTF8, 32, 0, 15, L"Élément réservé"},
                {&utf8, RES_ENCODING_UTF8, 4, 2, 3, L"Élé"},
                {&utf8, RES_ENCODING_UTF8, 0, 2, -1, nullptr},
                {&utf16, RES_ENCODING_UTF16, 32, 0, 3, L"A€\U0001F600"},  // a surrogate pair joined
                {&utf8, 3, 32, 4, -1, nullptr}};
  for (const auto& c : kCases) {
    wchar_t out[32];
    int length = c.nCapacity;
    STRessourceModule r = Request(*c.pPacked, c.nEncoding);
    EXPECT_EQ(CDataCompressor::s_nDeCompress(out, &length, r), c.nResult);
    EXPECT_EQ(length, c.nLength);
    if (c.pszText == nullptr) continue;
    EXPECT_EQ(std::wstring(out), c.pszText);
  }
  const Bytes big = Pack(std::string(1000, 'x')), bad = {0, 0};
  ASSERT_GT(big.size() * 3 / 2 + 2, 255u);  // the work buffer leaves the stack
  EXPECT_EQ(Unpacked(Request(big, RES_ENCODING_UTF8)), std::wstring(1000, L'x'));
  EXPECT_EQ(Unpacked(Request(bad, RES_ENCODING_UTF8)), L"<null>");
}

const _stMyModuleInfo kModule = {nullptr, 0, 32, L"qx200msql.so", L"20.0.10.0", bGetResAnsi32};
constexpr unsigned int kConnexion = 28542;  // "La connexion <%s> n'est pas ouverte."

// The host's callback: texts by id, and the sizes it was offered.
struct STHost {
  std::map<unsigned int, std::wstring> texts;
  std::vector<int> offered;
  int nOverstate = 0;  // added to every answer
  bool bTerminate = true;
};
STHost* gpHost = nullptr;

int HostLoadString(unsigned int id, wchar_t* buffer, int size) {
  gpHost->offered.push_back(size);
  auto it = gpHost->texts.find(id);
  if (it == gpHost->texts.end()) return 0;
  const int len = static_cast<int>(it->second.size());
  if (len < size) wmemcpy(buffer, it->second.c_str(), static_cast<size_t>(len) + (gpHost->bTerminate ? 1 : 0));
  return len + gpHost->nOverstate;
}

class DllRes : public testing::Test {
 protected:
  void SetUp() override { gpHost = &m_host; }
  void TearDown() override {
    CommandeComposante(COMMANDE_COMPOSANTE_SET_LOADSTRING, 0);
    gpHost = nullptr;
  }
  void RegisterHost() {
    EXPECT_EQ(CommandeComposante(COMMANDE_COMPOSANTE_SET_LOADSTRING, reinterpret_cast<intptr_t>(&HostLoadString)), 1);
  }
  STHost m_host;
};

TEST_F(DllRes, LoadsFromTheModuleBlock) {
  const std::wstring full = L"La connexion <%s> n'est pas ouverte.";
  const struct {
    unsigned int nId;
    int nSize, nResult;
    std::wstring strText;
  } kCases[] = {{kConnexion, 64, 36, full}, {kConnexion, 10, 9, full.substr(0, 9)}, {28545, 64, 0, L""}};
  for (const auto& c : kCases) {
    wchar_t buffer[64];
    EXPECT_EQ(DLLRES_nLoadString(&kModule, c.nId, buffer, c.nSize), c.nResult);
    EXPECT_EQ(std::wstring(buffer), c.strText);
  }
  wchar_t buffer[4];
  EXPECT_EQ(QXM_nLoadString(kConnexion, buffer, 4), 0);  // no host callback: not called
  CTString s(L"avant");
  EXPECT_FALSE(DLLRES_bLoadString(&kModule, 256, &s) || DLLRES_bLoadString(nullptr, kConnexion, &s));
  EXPECT_EQ(std::wstring(s.pszGet()), L"avant");
  wchar_t* text = reinterpret_cast<wchar_t*>(1);
  EXPECT_EQ(DLLRES_nFormatMessage(&kModule, 256, &text), 0);
  EXPECT_EQ(text, nullptr);
}

TEST_F(DllRes, HostCallbackComesFirstAndIsOfferedRoomForTheTerminator) {
  RegisterHost();
  m_host.texts = {{kConnexion, L"hôte %s"}, {1, std::wstring(300, L'x')}, {2, std::wstring(256, L'y')}};
  wchar_t buffer[16];
  EXPECT_EQ(DLLRES_nLoadString(&kModule, kConnexion, buffer, 16), 7);
  EXPECT_STREQ(buffer, L"hôte %s");
  EXPECT_EQ(DLLRES_nLoadString(&kModule, 28537, buffer, 16), 15);  // the host answers 0: from the block
  CTString s;
  m_host.offered.clear();
  EXPECT_TRUE(QXM_bLoadString(1, &s));
  EXPECT_EQ(s.nTaille(), 300);
  EXPECT_EQ(m_host.offered, (std::vector<int>{256, 301}));
  EXPECT_TRUE(DLLRES_bLoadString(&kModule, 2, &s));  // 256 characters do not fit 256 places with a terminator
  EXPECT_EQ(s.nTaille(), 256);
  EXPECT_EQ(DLLRES_nLoadString(&kModule, 1, buffer, 8), 7);  // cut at size - 1 and terminated
  EXPECT_STREQ(buffer, L"xxxxxxx");

  // Answers that overstate the length, or leave the text unterminated, are clamped to what was written.
  m_host.texts[3] = L"abc";
  m_host.nOverstate = 1000;
  EXPECT_TRUE(QXM_bLoadString(3, &s));
  EXPECT_STREQ(s.pszGet(), L"abc");
  EXPECT_EQ(DLLRES_nLoadString(&kModule, 3, buffer, 8), 3);
  m_host.nOverstate = 0;
  m_host.bTerminate = false;
  wmemset(buffer, L'#', 8);
  EXPECT_EQ(DLLRES_nLoadString(&kModule, 3, buffer, 8), 3);
  EXPECT_STREQ(buffer, L"abc");
}

TEST_F(DllRes, SingularAndPluralVariants) {
  RegisterHost();
  m_host.texts[7] = L"un fichier\n\u00A7\n%s fichiers";
  const struct {
    int nVariant;
    unsigned int nId;
    BOOL bFound;
    const wchar_t* pszText;
  } kCases[] = {{DLLRES_nVariantOfCount(1), 7, TRUE, L"un fichier"},
                {DLLRES_nVariantOfCount(3), 7, TRUE, L"3 fichiers"},
                {2, 7, FALSE, L""}, {-1, 7, FALSE, L""}, {0, 8, FALSE, L""},
                {0, kConnexion, TRUE, L"La connexion <3> n'est pas ouverte."}};  // no variants: variant 0
  for (const auto& c : kCases) {
    CTString s(L"avant");
    EXPECT_EQ(DLLRES_bFormatMessageSingulierPluriel(&kModule, c.nVariant, c.nId, &s, L"3"), c.bFound) << c.nVariant;
    EXPECT_STREQ(s.pszGet(), c.pszText);
  }
}

TEST_F(DllRes, ComponentCommands) {
  wchar_t buffer[64];
  STCommandeComposanteLoadString block{sizeof block, kConnexion, buffer, 64, -7};
  const intptr_t pBlock = reinterpret_cast<intptr_t>(&block);
  EXPECT_EQ(CommandeComposante(COMMANDE_COMPOSANTE_LOADSTRING, pBlock), 36);
  EXPECT_EQ(block.nResult, 36);
  EXPECT_STREQ(buffer, L"La connexion <%s> n'est pas ouverte.");
  block.nSize = 20;  // a block of another layout, or none, is refused untouched
  block.nResult = -7;
  EXPECT_EQ(CommandeComposante(COMMANDE_COMPOSANTE_LOADSTRING, pBlock), 0);
  EXPECT_EQ(block.nResult, -7);
  EXPECT_EQ(CommandeComposante(COMMANDE_COMPOSANTE_LOADSTRING, 0), 0);

  RegisterHost();
  m_host.texts[256] = L"hôte";
  EXPECT_EQ(CommandeComposante(COMMANDE_COMPOSANTE_GET_UTILISATION, kConnexion), 0);
  EXPECT_EQ(CommandeComposante(COMMANDE_COMPOSANTE_GET_UTILISATION, 256), -1);  // the block only
  block = {sizeof block, 256, buffer, 64, 0};
  EXPECT_EQ(CommandeComposante(COMMANDE_COMPOSANTE_LOADSTRING, pBlock), 4);  // the host first
  EXPECT_STREQ(buffer, L"hôte");
  EXPECT_EQ(CommandeComposante(7, pBlock), 0);
  EXPECT_FALSE(DLLRES_bForceInitRessource(nullptr));  // a null command is refused
}

}  // namespace
