// Resource texts by id: the module's block, the host's string-loading callback (registered as the
// host does, through CommandeComposante), formatting, variants and the component commands.
#include "platform/dllres.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

#include "platform/datacompressor.h"
#include "platform/resblock.h"

namespace {

const _stMyModuleInfo kModule = {nullptr, 0, 32, L"qx200msql.so", L"20.0.10.0", bGetResAnsi32};

constexpr unsigned int kConnexion = 28542;  // "La connexion <%s> n'est pas ouverte."
constexpr unsigned int kNested = 28537;     // two text inserts
constexpr unsigned int kVariants = 7;       // only in the test record below

// A record whose lookup holds one text with variants, packed on the spot.
std::vector<unsigned char> gVariantText;
BOOL bVariantLookup(STRessourceModule& r) {
  if (r.nId != kVariants) return FALSE;
  if (gVariantText.empty()) {
    const std::string s = "un fichier\n\u00A7\n%d fichiers";
    CDataCompressor::s_Compress(reinterpret_cast<const unsigned char*>(s.data()), static_cast<int>(s.size()),
                                &gVariantText);
  }
  r.pbyData = gVariantText.data();
  r.nTaille = static_cast<uint32_t>(gVariantText.size());
  r.nEncodage = RES_ENCODING_UTF8;
  r.nUtilisation = 0;
  return TRUE;
}
const _stMyModuleInfo kVariantModule = {nullptr, 0, 0, nullptr, nullptr, bVariantLookup};

// The host's callback: texts by id, with a record of the sizes it was offered.
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
  if (len < size) {
    wmemcpy(buffer, it->second.c_str(), static_cast<size_t>(len) + (gpHost->bTerminate ? 1 : 0));
  }
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
  wchar_t buffer[64];
  const std::wstring full = L"La connexion <%s> n'est pas ouverte.";
  EXPECT_EQ(DLLRES_nLoadString(&kModule, kConnexion, buffer, 64), static_cast<int>(full.size()));
  EXPECT_EQ(std::wstring(buffer), full);
  EXPECT_EQ(DLLRES_nLoadString(&kModule, kConnexion, buffer, 10), 9);
  EXPECT_EQ(std::wstring(buffer), full.substr(0, 9));
  EXPECT_EQ(DLLRES_nLoadString(&kModule, 28545, buffer, 64), 0);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(DLLRES_nLoadString(&kModule, kConnexion, nullptr, 64), 0);
  EXPECT_EQ(DLLRES_nLoadString(&kModule, kConnexion, buffer, 0), 0);

  CTString s(L"avant");
  EXPECT_TRUE(DLLRES_bLoadString(&kModule, kConnexion, &s));
  EXPECT_EQ(std::wstring(s.pszGet()), full);
  s = L"avant";
  EXPECT_FALSE(DLLRES_bLoadString(&kModule, 256, &s));
  EXPECT_FALSE(DLLRES_bLoadString(nullptr, kConnexion, &s));
  EXPECT_EQ(std::wstring(s.pszGet()), L"avant");

  EXPECT_EQ(DLLRES_nGetUtilisation(&kModule, kConnexion), 0);
  EXPECT_EQ(DLLRES_nGetUtilisation(&kModule, 256), -1);
  EXPECT_EQ(QXM_nLoadString(kConnexion, buffer, 64), 0);  // no host callback
}

TEST_F(DllRes, Formats) {
  CTString s;
  EXPECT_TRUE(DLLRES_bFormatMessage(&kModule, kNested, &s, L"T1", L"T2"));
  EXPECT_EQ(std::wstring(s.pszGet()),
            L"La transaction <T1> ne peut pas être terminée : la transaction imbriquée <T2> est encore en cours.");
  EXPECT_FALSE(DLLRES_bFormatMessage(&kModule, 256, &s));
  EXPECT_STREQ(s.pszGet(), L"");

  wchar_t* text = reinterpret_cast<wchar_t*>(1);
  EXPECT_EQ(DLLRES_nFormatMessage(&kModule, kConnexion, &text, L"base"), 38);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, L"La connexion <base> n'est pas ouverte.");
  free(text);
  EXPECT_EQ(DLLRES_nFormatMessage(&kModule, 256, &text), 0);
  EXPECT_EQ(text, nullptr);

  CTStringFormatMessage f(L"%s=%u", L"n", 42u);
  EXPECT_STREQ(f.pszGet(), L"n=42");
  CTStringFormatMessage empty(L"");
  EXPECT_STREQ(empty.pszGet(), L"");
}

TEST_F(DllRes, SingularAndPluralVariants) {
  CTString s;
  EXPECT_TRUE(DLLRES_bFormatMessageSingulierPluriel(&kVariantModule, DLLRES_nVariantOfCount(1), kVariants, &s, 1));
  EXPECT_STREQ(s.pszGet(), L"un fichier");
  EXPECT_TRUE(DLLRES_bFormatMessageSingulierPluriel(&kVariantModule, DLLRES_nVariantOfCount(3), kVariants, &s, 3));
  EXPECT_STREQ(s.pszGet(), L"3 fichiers");
  EXPECT_EQ(DLLRES_nVariantOfCount(0), 0);
  EXPECT_FALSE(DLLRES_bFormatMessageSingulierPluriel(&kVariantModule, 2, kVariants, &s, 3));
  EXPECT_STREQ(s.pszGet(), L"");
  EXPECT_FALSE(DLLRES_bFormatMessageSingulierPluriel(&kVariantModule, -1, kVariants, &s, 3));
  EXPECT_FALSE(DLLRES_bFormatMessageSingulierPluriel(&kVariantModule, 0, kVariants + 1, &s, 3));
  // A text without variants is its own variant 0.
  EXPECT_TRUE(DLLRES_bFormatMessageSingulierPluriel(&kModule, 0, kConnexion, &s, L"x"));
  EXPECT_STREQ(s.pszGet(), L"La connexion <x> n'est pas ouverte.");
}

TEST_F(DllRes, HostCallbackComesFirst) {
  RegisterHost();
  m_host.texts[kConnexion] = L"hôte %s";
  CTString s;
  EXPECT_TRUE(DLLRES_bFormatMessage(&kModule, kConnexion, &s, L"a"));
  EXPECT_STREQ(s.pszGet(), L"hôte a");
  wchar_t buffer[16];
  EXPECT_EQ(DLLRES_nLoadString(&kModule, kConnexion, buffer, 16), 7);
  EXPECT_STREQ(buffer, L"hôte %s");
  EXPECT_EQ(QXM_nLoadString(kConnexion, buffer, 16), 7);
  // An id the host does not hold comes from the block.
  EXPECT_EQ(DLLRES_nLoadString(&kModule, kNested, buffer, 16), 15);
  EXPECT_TRUE(DLLRES_bLoadString(&kModule, kNested, &s));
  EXPECT_EQ(std::wstring(s.pszGet()).substr(0, 15), buffer);
}

TEST_F(DllRes, LongHostTextsAreAskedAgainWithRoomForTheTerminator) {
  RegisterHost();
  m_host.texts[1] = std::wstring(300, L'x');
  CTString s;
  EXPECT_TRUE(QXM_bLoadString(1, &s));
  EXPECT_EQ(s.nTaille(), 300);
  ASSERT_EQ(m_host.offered.size(), 2u);
  EXPECT_EQ(m_host.offered[0], 256);
  EXPECT_EQ(m_host.offered[1], 301);
  // Exactly 256 characters cannot be had from 256 places with a terminator.
  m_host.texts[2] = std::wstring(256, L'y');
  EXPECT_TRUE(DLLRES_bLoadString(&kModule, 2, &s));
  EXPECT_EQ(s.nTaille(), 256);

  // Into a buffer: cut at size - 1 and terminated, like a text of the block.
  wchar_t buffer[8];
  EXPECT_EQ(DLLRES_nLoadString(&kModule, 1, buffer, 8), 7);
  EXPECT_STREQ(buffer, L"xxxxxxx");
}

TEST_F(DllRes, OverstatedHostLengthsAreClamped) {
  RegisterHost();
  m_host.texts[3] = L"abc";
  m_host.nOverstate = 1000;  // claims far more than it wrote
  CTString s;
  EXPECT_TRUE(QXM_bLoadString(3, &s));
  EXPECT_STREQ(s.pszGet(), L"abc");
  wchar_t buffer[8];
  EXPECT_EQ(DLLRES_nLoadString(&kModule, 3, buffer, 8), 3);
  EXPECT_STREQ(buffer, L"abc");
  // An answer that leaves the text unterminated is terminated at its length.
  m_host.nOverstate = 0;
  m_host.bTerminate = false;
  wmemset(buffer, L'#', 8);
  EXPECT_EQ(DLLRES_nLoadString(&kModule, 3, buffer, 8), 3);
  EXPECT_STREQ(buffer, L"abc");
}

TEST_F(DllRes, ComponentCommands) {
  wchar_t buffer[64];
  STCommandeComposanteLoadString block{sizeof block, kConnexion, buffer, 64, -7};
  EXPECT_EQ(CommandeComposante(COMMANDE_COMPOSANTE_LOADSTRING, reinterpret_cast<intptr_t>(&block)), 36);
  EXPECT_EQ(block.nResult, 36);
  EXPECT_STREQ(buffer, L"La connexion <%s> n'est pas ouverte.");
  block.nId = 256;
  EXPECT_EQ(CommandeComposante(COMMANDE_COMPOSANTE_LOADSTRING, reinterpret_cast<intptr_t>(&block)), 0);
  EXPECT_EQ(block.nResult, 0);
  // A block of another layout, or none, is refused untouched.
  block.nSize = 20;
  block.nResult = -7;
  EXPECT_EQ(CommandeComposante(COMMANDE_COMPOSANTE_LOADSTRING, reinterpret_cast<intptr_t>(&block)), 0);
  EXPECT_EQ(block.nResult, -7);
  EXPECT_EQ(CommandeComposante(COMMANDE_COMPOSANTE_LOADSTRING, 0), 0);

  // Code 4 answers from the module's block only.
  RegisterHost();
  m_host.texts[256] = L"hôte";
  EXPECT_EQ(CommandeComposante(COMMANDE_COMPOSANTE_GET_UTILISATION, kConnexion), 0);
  EXPECT_EQ(CommandeComposante(COMMANDE_COMPOSANTE_GET_UTILISATION, 256), -1);
  // Code 3 asks the host first.
  block = {sizeof block, 256, buffer, 64, 0};
  EXPECT_EQ(CommandeComposante(COMMANDE_COMPOSANTE_LOADSTRING, reinterpret_cast<intptr_t>(&block)), 4);
  EXPECT_STREQ(buffer, L"hôte");

  EXPECT_EQ(CommandeComposante(7, reinterpret_cast<intptr_t>(&block)), 0);
  EXPECT_EQ(CommandeComposante(0, 0), 0);
  EXPECT_EQ(CommandeComposante(COMMANDE_COMPOSANTE_SET_LOADSTRING, 0), 1);
  EXPECT_EQ(QXM_pfnGetLoadString(), nullptr);
}

std::vector<int> gCommandCodes;
STCommandeComposanteLoadString gCommandBlock;
int ProbeCommand(int code, intptr_t parameter) {
  gCommandCodes.push_back(code);
  gCommandBlock = *reinterpret_cast<STCommandeComposanteLoadString*>(parameter);
  return CommandeComposante(code, parameter);
}

TEST_F(DllRes, SeparateResourceLibraryRemnants) {
  EXPECT_EQ(DLLRES_pLoadResourceModule(&kModule, kConnexion, L"x", nullptr), nullptr);
  EXPECT_EQ(DLLRES_pLoadResource(&kModule, nullptr, kConnexion, L"x", nullptr), nullptr);
  void* libc = dlopen("libc.so.6", RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(libc, nullptr);
  EXPECT_EQ(DLLRES_pLoadResource(&kModule, static_cast<HINSTANCE>(libc), kConnexion, L"x", nullptr), nullptr);
  dlclose(libc);

  EXPECT_FALSE(DLLRES_bForceInitRessource(nullptr));
  EXPECT_TRUE(DLLRES_bForceInitRessource(&ProbeCommand));
  ASSERT_EQ(gCommandCodes, std::vector<int>{COMMANDE_COMPOSANTE_LOADSTRING});
  EXPECT_EQ(gCommandBlock.nSize, sizeof(STCommandeComposanteLoadString));
  EXPECT_EQ(gCommandBlock.pszBuffer, nullptr);
}

}  // namespace
