// CXError, the error every layer fills: its reference-counted root, messages, items and the
// references they hold, sub-errors, deep and light copies (also within one tree), raising by user
// code through the module's error table, and the exact text of the dump.
#include "platform/xerror.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cwchar>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "common/ctstring.h"
#include "platform/errordump.h"
#include "platform/errortable.h"
#include "platform/resblock.h"

namespace {

std::wstring W(const wchar_t* s) { return s != nullptr ? std::wstring(s) : std::wstring(L"<null>"); }
const _stMyModuleInfo* Rec() { return &gstMyModuleInfo32; }

// Serves these texts through the host's string callback while it lives; other ids are unknown to
// it and come from the module's block.
struct CTestTexts {
  CTestTexts(std::initializer_list<std::pair<const unsigned int, std::wstring>> texts)
      : m_previous(QXM_pfnGetLoadString()) {
    s_texts = texts;
    QXM_SetLoadString([](unsigned int id, wchar_t* buffer, int size) {
      const auto it = s_texts.find(id);
      const int len = it != s_texts.end() ? static_cast<int>(it->second.size()) : 0, n = std::min(len, size - 1);
      if (len > 0 && n >= 0) wcsncpy(buffer, it->second.c_str(), static_cast<size_t>(n))[n] = 0;
      return len;
    });
  }
  ~CTestTexts() { QXM_SetLoadString(m_previous); }
  static inline std::map<unsigned int, std::wstring> s_texts;
  PFNLOADSTRINGQXM m_previous;
};

class CCounted : public CQXUnknown {
 public:
  explicit CCounted(int* alive) : m_pAlive(alive) { ++*m_pAlive; }
  ~CCounted() override { --*m_pAlive; }

 private:
  int* m_pAlive;
};

// Text copies and resizes fail while m_bFail is set.
class CFailingError : public CXError {
 public:
  CFailingError() : CXError(&gstMyModuleInfo32) {}
  wchar_t* __vpszAllocString(wchar_t** pp, const wchar_t* s) override {
    if (!m_bFail || s == nullptr) return CXError::__vpszAllocString(pp, s);
    __vDeleteString(pp);  // as a real failure leaves it
    return nullptr;
  }
  wchar_t* __vpszReallocString(wchar_t** pp, unsigned int n) override {
    return m_bFail ? nullptr : CXError::__vpszReallocString(pp, n);
  }
  bool m_bFail = false;
};

const void* Info(const CXError& e, eERRORINFOTYPE type) {
  const void* v = nullptr;
  return e.bGetInfo(type, &v) ? v : nullptr;
}
const wchar_t* InfoText(const CXError& e, eERRORINFOTYPE type) { return static_cast<const wchar_t*>(Info(e, type)); }

// Every field, sub-errors included, as the full dump shows it.
std::wstring Dump(const CXError& e, eXERROR_INFO flags = XEI_ALL) { return W(e.StringDump(flags).pszGet()); }

void Fill(CXError& e, const wchar_t* tag) {
  e.SetErrorLevel(ERRORLEVEL_ERROR);
  e.SetUserErrorCode(17);
  e.SetUserErrorCode55(55);
  e.AddUserMessage(tag);
  e.AddDebugMessageNoFormat(L"dbg");
  e.SetFunctionName(L"Fn", 1);
  e.InitModInfo(Rec(), TRUE);
  e.SetDetailId(99);
  e.SetSystemError(2, L"sys");
  e.SetVMContext(L"cap", L"obj", 4, 5);
  e.AddInfo(EIT_ITEMNAME, L"ITEM");
}

TEST(CQXUnknown, ReleaseRulesAndConcurrentHolders) {
  int alive = 0;
  CCounted* p = new CCounted(&alive);
  EXPECT_EQ(p->dwRelease(), 0u);  // without a reference: no wrap, no delete
  p->AddRef();
  p->AddRef();
  EXPECT_EQ(p->dwRelease(), 1u);
  std::vector<std::thread> threads(4);
  for (auto& t : threads) t = std::thread([p] { for (int i = 0; i < 20000; ++i) p->AddRef(), p->dwRelease(); });
  for (auto& t : threads) t.join();
  EXPECT_EQ(alive, 1);
  EXPECT_EQ(p->dwRelease(), 0u);
  EXPECT_EQ(alive, 0);
}

TEST(XError, MessagesJoinWithCrLfAndMayJoinThemselves) {
  CXError e(Rec()), f(Rec());
  e.AddUserMessageNoFormat(L"");  // nothing held yet: no separator later
  e.AddUserMessage(L"M");
  e.AddUserMessage(L"");
  e.AddUserMessageNoFormat(L"");
  e.AddUserMessageFirst(L"T");
  EXPECT_EQ(W(e.pszGetUserMessage()), L"T\r\nM\r\n");
  f.AddUserMessage(L"");  // an empty but allocated message
  f.AddUserMessageFirst(L"T");
  EXPECT_EQ(W(f.pszGetUserMessage()), L"T\r\n");
  f.AddUserMessage(f.pszGetUserMessage());
  f.AddUserMessageFirst(f.pszGetUserMessage() + 3);  // a piece of the message itself
  EXPECT_EQ(W(f.pszGetUserMessage()), L"\r\nT\r\n\r\nT\r\n\r\nT\r\n");

  CFailingError g;  // a join that cannot be had leaves the message whole
  g.AddUserMessage(L"M");
  g.m_bFail = true;
  EXPECT_EQ(g.AddUserMessage(L"more"), nullptr);
  g.AddUserMessageFirst(L"front");
  EXPECT_EQ(W(g.pszGetUserMessage()), L"M");
}

TEST(XError, SystemErrorOfErrno) {
  char buffer[256];
  const std::string eagain = strerror_r(EAGAIN, buffer, sizeof buffer);
  CXError e(Rec());
  errno = static_cast<int>(0x80000001u);  // a record-lock conflict reads as EAGAIN
  e.SetSystemErrorParam(5, 1, 2);
  EXPECT_EQ(e.dwGetSystemErrorCode(), 5u);
  EXPECT_EQ(W(e.pszGetSystemErrorMessage()), std::wstring(eagain.begin(), eagain.end()));
  e.SetSystemErrorParam(0);
  EXPECT_EQ(W(e.pszGetSystemErrorMessage()), L"");
}

TEST(XError, LevelOneClearsAllButTheModule) {
  int alive = 0;
  CXError e(Rec()), sub(Rec());
  Fill(e, L"m");
  e.AddInfo(EIT_DATAACCESS, new CCounted(&alive));
  e.AddSubErrorNoUserMessage(&sub);
  e.SetErrorLevel(ERRORLEVEL_ERROR);  // unchanged: nothing happens
  EXPECT_EQ(W(e.pszGetUserMessage()), L"m");
  e.SetErrorLevel(ERRORLEVEL_NONE);
  EXPECT_EQ(Dump(e), Dump(CXError(Rec())));
  EXPECT_EQ(alive, 0);  // its only reference was the item's
  EXPECT_EQ(e.nGetModuleNumber(), 32u);
}

// A reset skips an error it finds clear: each field set alone must still be seen and cleared.
TEST(XError, ResetClearsEachFieldSetAlone) {
  CXError sub(Rec());
  const struct {
    const char* field;
    void (*set)(CXError&, CXError*);
  } rows[] = {
      {"level", [](CXError& e, CXError*) { e.SetErrorLevel(ERRORLEVEL_ERROR); }},
      {"user code", [](CXError& e, CXError*) { e.SetUserErrorCode(17); }},
      {"user code 55", [](CXError& e, CXError*) { e.SetUserErrorCode55(55); }},
      {"detail", [](CXError& e, CXError*) { e.SetDetailId(99); }},
      {"syntax", [](CXError& e, CXError*) { e.SetFunctionName(L"", 3); }},
      {"system code", [](CXError& e, CXError*) { e.SetSystemError(2, nullptr); }},
      {"line", [](CXError& e, CXError*) { e.SetVMContext(nullptr, 4, 0); }},
      {"thread", [](CXError& e, CXError*) { e.SetVMContext(nullptr, 0, 5); }},
      {"user message", [](CXError& e, CXError*) { e.AddUserMessageNoFormat(L"u"); }},
      {"debug message", [](CXError& e, CXError*) { e.AddDebugMessageNoFormat(L"d"); }},
      {"function", [](CXError& e, CXError*) { e.SetFunctionName(L"Fn", 0); }},
      {"caption", [](CXError& e, CXError*) { e.SetVMContext(L"cap", 0, 0); }},
      {"object", [](CXError& e, CXError*) { e.SetVMContext(L"obj"); }},
      {"system message", [](CXError& e, CXError*) { e.SetSystemErrorMessage(L"sys"); }},
      {"module name", [](CXError& e, CXError*) { e.InitModName(L"mod"); }},
      {"module version", [](CXError& e, CXError*) { e.InitModVersion(L"1.0"); }},
      {"info", [](CXError& e, CXError*) { e.AddInfo(EIT_ITEMNAME, L"ITEM"); }},
      {"sub-error", [](CXError& e, CXError* s) { e.AddSubErrorNoUserMessage(s); }},
      {"error id", [](CXError& e, CXError*) { e.AddUserMessage(Rec(), 1); }},
  };
  // The dump with what it leaves out.
  auto view = [](const CXError& e) {
    return Dump(e) + W(e.pszGetObjectName()) + W(e.pszGetModVersion()) + L"|" + std::to_wstring(e.nGetFunctionSyntax()) +
           L"|" + std::to_wstring(e.wGetTraitmentLine()) + L"|" + std::to_wstring(e.wGetTraitmentThread()) + L"|" +
           std::to_wstring(e.nNumErrorId()) + L"|" + std::to_wstring(e.nGetNbSubError());
  };
  const std::wstring clear = view(CXError(Rec()));
  for (const auto& row : rows) {
    CXError e(Rec());
    row.set(e, &sub);
    EXPECT_NE(view(e), clear) << row.field;
    e.RAZ();
    EXPECT_EQ(view(e), clear) << row.field;
  }
}

// Every host entry trusts the mark a writer leaves: each writer, on an error known clear, must be
// seen by the next ResetKnown (which then leaves the error clear and known clear again).
TEST(XError, EveryWriterUnsettlesAKnownClearError) {
  CXError raised(Rec(), 17u, L"x");
  const struct {
    const char* writer;
    void (*write)(CXError&, CXError*);
  } rows[] = {
      {"level", [](CXError& e, CXError*) { e.SetErrorLevel(ERRORLEVEL_ERROR); }},
      {"user code", [](CXError& e, CXError*) { e.SetUserErrorCode(17); }},
      {"user code 55", [](CXError& e, CXError*) { e.SetUserErrorCode55(55); }},
      {"detail", [](CXError& e, CXError*) { e.SetDetailId(99); }},
      {"function", [](CXError& e, CXError*) { e.SetFunctionName(L"Fn", 3); }},
      {"context", [](CXError& e, CXError*) { e.SetVMContext(L"cap", L"obj", 4, 5); }},
      {"context line", [](CXError& e, CXError*) { e.SetVMContext(nullptr, 4, 0); }},
      {"object", [](CXError& e, CXError*) { e.SetVMContext(L"obj"); }},
      {"module", [](CXError& e, CXError*) { e.InitModInfo(Rec(), TRUE); }},
      {"module name", [](CXError& e, CXError*) { e.InitModName(L"mod"); }},
      {"module version", [](CXError& e, CXError*) { e.InitModVersion(L"1.0"); }},
      {"user text", [](CXError& e, CXError*) { e.AddUserMessage(L"u"); }},
      {"user text first", [](CXError& e, CXError*) { e.AddUserMessageFirst(L"u"); }},
      {"user resource", [](CXError& e, CXError*) { e.AddUserMessage(Rec(), 1); }},
      {"user resource first", [](CXError& e, CXError*) { e.AddUserMessageFirst(Rec(), 1); }},
      {"debug text", [](CXError& e, CXError*) { e.AddDebugMessageNoFormat(L"d"); }},
      {"debug text first", [](CXError& e, CXError*) { e.AddDebugMessageFirst(L"d"); }},
      {"debug printf", [](CXError& e, CXError*) { e.AddDebugMessagePrintf(L"%d", 3); }},
      {"debug resource", [](CXError& e, CXError*) { e.AddDebugMessage(Rec(), 1); }},
      {"system", [](CXError& e, CXError*) { e.SetSystemError(2, L"s"); }},
      {"system text", [](CXError& e, CXError*) { e.SetSystemErrorMessage(L"s"); }},
      {"system UTF-8", [](CXError& e, CXError*) { e.SetSystemErrorMessageA("s"); }},
      {"system printf", [](CXError& e, CXError*) { e.SetSystemErrorMessagePrintf(7, L"%d", 3); }},
      {"system errno", [](CXError& e, CXError*) { e.SetSystemErrorParam(5); }},
      {"info", [](CXError& e, CXError*) { e.AddInfo(EIT_ITEMNAME, L"ITEM"); }},
      {"flag word", [](CXError& e, CXError*) { e.__SetXInfo(4, TRUE); }},
      {"sub-error", [](CXError& e, CXError* s) { e.AddSubError(s); }},
      {"sub-error light", [](CXError& e, CXError* s) {
         CXError moved(Rec(), *s, 0);
         e.AddSubErrorLightNoUserMessage(&moved);
       }},
      {"user error", [](CXError& e, CXError*) { e.SetUserError(Rec(), 17u, L"x"); }},
      {"changed user error", [](CXError& e, CXError*) { e.ChangeUserError(Rec(), 17u, L"x"); }},
      {"user error variant", [](CXError& e, CXError*) { e.SetUserErrorVariant(Rec(), 17u, 0, L"x"); }},
      {"user error text", [](CXError& e, CXError*) { e.SetUserErrorMessage(Rec(), 17u, L"t"); }},
      {"changed user error text", [](CXError& e, CXError*) { e.ChangeUserErrorMessage(Rec(), 17u, L"t"); }},
      {"no memory", [](CXError& e, CXError*) { e.SetErrorNoMemory(); }},
      {"value warning", [](CXError& e, CXError*) { e.SetAnyError(Rec(), 1, 0, 0); }},
      {"copy", [](CXError& e, CXError* s) { e.Copy(*s); }},
      {"copy of pointer", [](CXError& e, CXError* s) { e.Copy(static_cast<const CXError*>(s)); }},
      {"assignment", [](CXError& e, CXError* s) { e = *s; }},
      {"light copy", [](CXError& e, CXError* s) {
         CXError moved(Rec(), *s, 0);
         e.LightCopy(&moved);
       }},
  };
  for (const auto& row : rows) {
    CXError e(Rec());
    EXPECT_FALSE(e.bKnownClear()) << row.writer;  // a new error is checked once
    e.ResetKnown();
    ASSERT_TRUE(e.bKnownClear()) << row.writer;
    row.write(e, &raised);
    EXPECT_FALSE(e.bClear()) << row.writer;
    EXPECT_FALSE(e.bKnownClear()) << row.writer;
    e.ResetKnown();
    EXPECT_TRUE(e.bClear()) << row.writer;
    EXPECT_TRUE(e.bKnownClear()) << row.writer;
  }
}

TEST(XError, InfoItemsOnePerKind) {
  CXError e(Rec());
  int a = 1, b = 2;
  const long long rec = 0x123456789ALL;
  e.AddInfo(EIT_LOGICALTABLENAME, L"CLIENT");
  e.AddInfo(EIT_PRIVATEPTR, &a);
  e.AddInfo(EIT_RECNUM, &rec);
  e.AddInfo(EIT_LOGICALTABLENAME, L"COMMANDE");
  e.AddInfo(EIT_PRIVATEPTR, &b);
  for (eERRORINFOTYPE t : {EIT_NONE, EIT_RESERVED34, EIT_RESERVED35, static_cast<eERRORINFOTYPE>(40)})
    e.AddInfo(t, L"x");
  e.AddInfo(EIT_ITEMNAME, nullptr);
  EXPECT_EQ(e.nNumInfo(), 3);
  EXPECT_EQ(W(InfoText(e, EIT_LOGICALTABLENAME)), L"COMMANDE");
  EXPECT_EQ(Info(e, EIT_PRIVATEPTR), &b);
  long long back = 0;  // the whole 64 bits through the caller's pointer
  const void* v = &back;
  eERRORINFOTYPE type = EIT_NONE;
  e.GetInfo(2, &type, &v);
  EXPECT_EQ(type, EIT_RECNUM);
  EXPECT_EQ(back, 0x123456789ALL);

  CFailingError f;  // a replacement whose copy fails keeps the old text
  f.AddInfo(EIT_ITEMNAME, L"NOM");
  f.AddInfo(EIT_ITEMNAME, InfoText(f, EIT_ITEMNAME));  // its own text
  f.m_bFail = true;
  f.AddInfo(EIT_ITEMNAME, L"AUTRE");
  f.AddInfo(EIT_SRCFILE, L"f");
  f.m_bFail = false;
  EXPECT_EQ(f.nNumInfo(), 1);
  EXPECT_EQ(W(InfoText(f, EIT_ITEMNAME)), L"NOM");
}

TEST(XError, ObjectItemHoldsOneReference) {
  int alive = 0;
  CCounted* obj = new CCounted(&alive);
  {
    CXError e(Rec());
    e.AddInfo(EIT_DATAACCESS, obj);  // the item holds the only reference
    e.AddInfo(EIT_DATAACCESS, obj);  // the same object again: still one, never released to 0 on the way
    EXPECT_EQ(obj->dwGetRefCount(), 1u);
    EXPECT_EQ(alive, 1);
  }
  EXPECT_EQ(alive, 0);
}

TEST(XError, DeepCopiesReplaceWhatTheTargetHeld) {
  CXError src(Rec()), sub(Rec());
  Fill(src, L"src");
  sub.AddUserMessage(L"sub");
  src.AddSubErrorNoUserMessage(&sub);
  const std::wstring before = Dump(src);
  CXError copy(src);
  EXPECT_EQ(copy.nGetModuleNumber(), 0u);
  EXPECT_EQ(Dump(copy), before);
  EXPECT_NE(copy.pclGetSubError(0), src.pclGetSubError(0));
  CXError assigned(Rec()), old(Rec());
  assigned.AddSubError(&old);
  assigned.AddSubError(&old);
  assigned = src;
  assigned.Copy(assigned);
  EXPECT_EQ(Dump(assigned), before);
  EXPECT_EQ(Dump(src), before);

  CXError e(Rec()), inner(Rec());  // from its own sub-error: the sub-error's contents, no cycle
  Fill(inner, L"inner");
  e.AddSubError(&inner);
  e.Copy(*e.pclGetSubError(0));
  EXPECT_EQ(Dump(e), Dump(inner));
}

TEST(XError, DataAccessItemsCrossOnlyWithinOneModule) {
  const _stMyModuleInfo otherModule = {gstErrorDef32, kErrorDefCount32, 7, L"other.so", L"1.0", nullptr};
  int alive = 0;
  CCounted* obj = new CCounted(&alive);
  CXError src(Rec());
  src.AddInfo(EIT_DATAACCESS, obj);
  src.AddInfo(EIT_ITEMNAME, L"I");
  {
    CXError same(Rec(), src), other(&otherModule, src), moved(&otherModule);
    EXPECT_TRUE(same.bHasInfo(EIT_DATAACCESS));
    EXPECT_FALSE(other.bHasInfo(EIT_DATAACCESS));
    EXPECT_TRUE(other.bHasInfo(EIT_ITEMNAME));
    EXPECT_EQ(obj->dwGetRefCount(), 2u);
    moved.LightCopy(&same);  // to another module: released, not leaked
    EXPECT_FALSE(moved.bHasInfo(EIT_DATAACCESS));
    EXPECT_EQ(W(InfoText(moved, EIT_ITEMNAME)), L"I");
    EXPECT_EQ(obj->dwGetRefCount(), 1u);
  }
  CXError kept(Rec(), src, 1);
  EXPECT_TRUE(kept.bHasInfo(EIT_DATAACCESS));
  EXPECT_EQ(obj->dwGetRefCount(), 1u);
  kept.RAZ();
  EXPECT_EQ(alive, 0);
}

TEST(XError, LightCopiesMoveAndMakeNoCycle) {
  CXError src(Rec()), sub(Rec()), dst(Rec());
  Fill(src, L"src");
  Fill(sub, L"inner");
  src.AddSubErrorNoUserMessage(&sub);
  const std::wstring before = Dump(src);
  CXError* subBefore = src.pclGetSubError(0);
  dst.AddUserMessage(L"gone");
  dst.LightCopy(&src);
  dst.LightCopy(&dst);
  dst.LightCopy(nullptr);
  EXPECT_EQ(Dump(dst), before);
  EXPECT_EQ(dst.pclGetSubError(0), subBefore);
  EXPECT_EQ(Dump(src), Dump(CXError(Rec())));
  EXPECT_EQ(src.nGetModuleNumber(), 32u);
  dst.LightCopy(dst.pclGetSubError(0));  // from its own sub-error
  EXPECT_EQ(Dump(dst), Dump(sub));

  // Moved into one of its own sub-errors: copied there instead.
  CXError parent(Rec()), child(Rec());
  parent.AddUserMessage(L"p");
  parent.AddSubErrorNoUserMessage(&child);
  CXError* inner = parent.pclGetSubError(0);
  inner->LightCopy(&parent);
  EXPECT_EQ(W(inner->pszGetUserMessage()), L"p");
  EXPECT_EQ(inner->nGetNbSubError(), 1);
  inner->AddSubErrorLight(&parent);
  EXPECT_EQ(W(parent.pszGetUserMessage()), L"p");
  // Added lightly to itself: its contents move into the new sub-error.
  CXError self(Rec()), first(Rec());
  self.AddUserMessage(L"M");
  self.AddSubErrorNoUserMessage(&first);
  self.AddSubErrorLight(&self);
  ASSERT_EQ(self.nGetNbSubError(), 1);
  EXPECT_EQ(W(self.pclGetSubError(0)->pszGetUserMessage()), L"M");
  EXPECT_EQ(self.pclGetSubError(0)->nGetNbSubError(), 1);
  EXPECT_EQ(W(self.pszGetUserMessage()), L"M");  // the first sub-error's message
}

TEST(ErrorTable, RowsKeepTheTableRules) {
  ASSERT_EQ(gstMyModuleInfo32.pstErrorDef, gstErrorDef32);
  ASSERT_EQ(gstMyModuleInfo32.nErrorDef, 87u);
  std::set<unsigned int> codes;
  for (unsigned int i = 0; i < kErrorDefCount32; ++i) {
    const STErrorDef& row = gstErrorDef32[i];
    SCOPED_TRACE(i + 1);
    // Row 44 repeats row 41, so the repeat is never reached; every other code is unique.
    EXPECT_TRUE(i == 43 ? memcmp(&row, &gstErrorDef32[40], sizeof row) == 0 : codes.insert(row.nUserCode).second);
    EXPECT_EQ(row.nDetailId, i >= 20 && i <= 23 ? row.nResourceId : row.nUserCode);
    EXPECT_EQ(row.nLevel, row.nUserCode == 21 || row.nUserCode == 73 ? 2u : 3u);
    CTString text;  // from the module's own block
    EXPECT_TRUE(DLLRES_bLoadString(Rec(), row.nResourceId, &text) && text.nTaille() > 0);
  }
  EXPECT_EQ(CXError::nGetRessourceIdFromUserErrorCode(Rec(), 320102), 3355u);
  EXPECT_EQ(CXError::nGetRessourceIdFromUserErrorCode(Rec(), 3), 0u);
  EXPECT_EQ(CXError::nGetRessourceIdFromUserErrorCode(nullptr, 29), 0u);
  EXPECT_EQ(_CXErrorModule32().nGetModuleNumber(), 32u);
}

TEST(ErrorTable, RaiseByCode) {
  CTestTexts texts{{28576, L"Table <%s> : %d"}, {28544, L"Rubrique"}, {25298, L"Valeur %d"}};
  CXError e(Rec());
  e.InitModName(L"old.so");
  e.AddInfo(EIT_ITEMNAME, L"gone");
  e.SetUserError(Rec(), 21, L"CLIENT", 4);
  EXPECT_EQ(e.eGetErrorLevel(), ERRORLEVEL_WARNING);
  EXPECT_EQ(e.nGetUserErrorCode(), 21u);
  EXPECT_EQ(e.nGetDetailId(), 21u);
  ASSERT_EQ(e.nNumErrorId(), 1);
  EXPECT_EQ(e.nGetErrorId(0), 28576u);
  EXPECT_EQ(W(e.pszGetUserMessage()), L"Table <CLIENT> : 4");
  EXPECT_EQ(W(e.pszGetModName()) + L"|" + W(e.pszGetModVersion()), L"qx200msql.so|20.0.10.0");
  EXPECT_EQ(e.nNumInfo(), 0);  // a raise starts from a clear error
  e.SetUserError(Rec(), 17);
  EXPECT_EQ(e.nGetDetailId(), 28544u);
  EXPECT_EQ(e.eGetErrorLevel(), ERRORLEVEL_ERROR);
  EXPECT_EQ(W(e.pszGetUserMessage()), L"Rubrique");
  EXPECT_EQ(W(CXError(Rec(), 65u, 0).pszGetUserMessage()), L"Valeur 0");  // a 0 is an insert, not a list

  // A code without a row: level 3, no code, a note.
  e.SetUserError(Rec(), 3);
  EXPECT_EQ(e.eGetErrorLevel(), ERRORLEVEL_ERROR);
  EXPECT_EQ(e.nGetUserErrorCode() + e.nNumErrorId(), 0u);
  EXPECT_EQ(W(e.pszGetDebugMessage()),
            L"##(CXError)-Pas de definition d'erreur dans gstErrorDef pour l'identifiant <3>##");
  // A row whose text no source holds still raises, with a note; of two rows the first wins.
  const STErrorDef rows[] = {{900, 1, 901, 2}, {900, 2, 902, 3}};
  const _stMyModuleInfo other = {rows, 2, 9, L"autre.so", L"1.2", bGetResAnsi32};
  e.SetUserError(&other, 900);
  EXPECT_EQ(e.nGetDetailId(), 901u);
  EXPECT_EQ(e.eGetErrorLevel(), ERRORLEVEL_WARNING);
  EXPECT_EQ(e.nGetErrorId(0), 1u);
  EXPECT_EQ(W(e.pszGetModName()) + W(e.pszGetUserMessage()), L"autre.so");
  EXPECT_EQ(W(e.pszGetDebugMessage()), L"##(CXError)-Ressource <1> non chargée##");
}

TEST(ErrorTable, ChangePutsTheNewerFirst) {
  CTestTexts texts{{28576, L"ancien"}, {25860, L"nouveau %d"}};
  CXError e(Rec());
  e.SetUserError(Rec(), 21);
  e.ChangeUserError(Rec(), 73, 2);
  EXPECT_EQ(W(e.pszGetUserMessage()), L"nouveau 2\r\nancien");
  ASSERT_EQ(e.nNumErrorId(), 2);
  EXPECT_EQ(e.nGetErrorId(0), 25860u);
  EXPECT_EQ(e.nGetErrorId(1), 28576u);
  EXPECT_EQ(e.nGetUserErrorCode(), 73u);
  e.ChangeUserErrorMessage(Rec(), 22, L"texte 100% tel quel");  // as it stands, without an id
  EXPECT_EQ(W(e.pszGetUserMessage()), L"texte 100% tel quel\r\nnouveau 2\r\nancien");
  EXPECT_EQ(e.nNumErrorId(), 2);
}

// Raises twice from one argument list: a raise must not consume the caller's list.
void RaiseTwice(CXError* e, unsigned int code, ...) {
  va_list ap;
  va_start(ap, code);
  e->SetUserErrorList(Rec(), code, ap);
  e->AddUserMessageList(Rec(), 25292, ap);
  va_end(ap);
}

TEST(ErrorTable, ArgumentListIsNotConsumed) {
  CTestTexts texts{{28576, L"Table <%s>, rubrique <%s>"}, {25292, L"%s/%s"}};
  CXError e(Rec());
  RaiseTwice(&e, 21, L"CLIENT", L"NOM");
  EXPECT_EQ(W(e.pszGetUserMessage()), L"Table <CLIENT>, rubrique <NOM>\r\nCLIENT/NOM");
}

TEST(ErrorTable, AnyErrorByResultKind) {
  CTestTexts texts{{25292, L"66:%d,%d"}, {25293, L"60:%d,%d"}, {25294, L"61:%d,%d"}, {25296, L"63:%d,%d"},
                   {25297, L"64:%d,%d"}, {25298, L"65:%d,%d"}, {25193, L"memoire"}};
  // Failures without a code of their own (102, 103, 108 ... above 99) are conversion errors.
  const std::pair<int, unsigned int> kMapped[] = {{1, 65},   {101, 61}, {104, 66}, {105, 60}, {106, 64}, {107, 63},
                                                  {102, 60}, {103, 60}, {108, 60}, {110, 60}, {115, 60}, {250, 60}};
  for (const auto& [kind, code] : kMapped) {
    CXError e(Rec());
    e.SetAnyError(Rec(), kind, 7, 8);
    EXPECT_EQ(e.nGetUserErrorCode(), code) << kind;
    EXPECT_EQ(e.eGetErrorLevel(), ERRORLEVEL_ERROR) << kind;
    EXPECT_EQ(W(e.pszGetUserMessage()), std::to_wstring(code) + L":7,8") << kind;
  }
  char buffer[256];  // kind 100: out of memory, an error (level 3) with the system text of ENOMEM
  const std::string enomem = strerror_r(ENOMEM, buffer, sizeof buffer);
  CXError e(Rec());
  e.SetUserError(Rec(), 21, L"T", L"R");
  e.SetAnyError(Rec(), 100, 7, 8);
  EXPECT_EQ(e.eGetErrorLevel(), ERRORLEVEL_ERROR);
  EXPECT_EQ(e.nGetUserErrorCode(), 0u);
  EXPECT_EQ(e.dwGetSystemErrorCode(), 12u);
  EXPECT_EQ(W(e.pszGetSystemErrorMessage()), std::wstring(enomem.begin(), enomem.end()));
  ASSERT_EQ(e.nNumErrorId(), 1);
  EXPECT_EQ(e.nGetErrorId(0), 25193u);
  EXPECT_EQ(W(e.pszGetUserMessage()), L"memoire");
  CXError direct(Rec());
  direct.SetErrorNoMemory();
  EXPECT_EQ(Dump(direct), Dump(e));
  e.SetUserError(Rec(), 21, L"T", L"R");  // warnings passed through leave the error; kind 0 clears it
  for (int kind : {2, 50, 99, -1}) e.SetAnyError(Rec(), kind, 7, 8);
  EXPECT_EQ(e.nGetUserErrorCode(), 21u);
  e.SetAnyError(Rec(), 0, 7, 8);
  EXPECT_EQ(e.eGetErrorLevel(), ERRORLEVEL_NONE);
}

TEST(ErrorTable, RaiseSiteAddsTheDebugLine) {
  CTestTexts texts{{28576, L"Table <%s>"}};
  _CXErrorModule32 e;
  e.SetUserError(&gstMyModuleInfo32, 21, L"CLIENT");
  e.AddDebugMessageNoFormat(L"d");
  XERR_AddRaiseSite(&e, 12, 3);
  EXPECT_EQ(W(e.pszGetDebugMessage()), L"d\r\nIEQXMSQL=12.3\r\nModule=<QXMSQL>\r\nVersion=<20.0.10.0>");
  EXPECT_EQ(W(e.pszGetUserMessage()), L"Table <CLIENT>");
}

constexpr eXERROR_INFO kFilled = XEI_ALL | XEI_ONLYFILLED;  // the dump of the sections that hold something

// The captions are the module's own texts.
TEST(ErrorDump, ClearError) {
  CXError e(Rec());
  EXPECT_EQ(Dump(e, kFilled), L"Code d'erreur : 0\r\nNiveau : aucune erreur\r\n");
  EXPECT_EQ(Dump(e, XEI_ALL),
            L"Aucun message.\r\n\r\nCode d'erreur : 0\r\nNiveau : aucune erreur\r\nCode d'erreur secondaire : 0\r\n"
            L"\r\nAucun code d'erreur système.\r\nAucun message d'erreur système.\r\n\r\nAucun module.\r\n"
            L"Aucun identifiant de détail.\r\nAucun message de débogage.\r\nAucune information.\r\n");
  CTString out(L"Erreur\r\n");  // appended to what out holds
  e.StringDump(out, XEI_USERMESSAGE);
  EXPECT_EQ(W(out.pszGet()), L"Erreur\r\nAucun message.\r\n");
}

TEST(ErrorDump, ErrorWithTwoSubErrors) {
  CXError e(Rec()), s1(Rec()), s2(Rec());
  for (auto [x, code, level, message] : {std::tuple{&e, 7u, ERRORLEVEL_ERROR, L"P"}, {&s1, 1u, ERRORLEVEL_ERROR, L"S1"},
                                         {&s2, 2u, ERRORLEVEL_WARNING, L"S2"}}) {
    x->SetUserErrorCode(code);
    x->SetErrorLevel(level);
    x->AddUserMessage(message);
  }
  e.InitModName(L"M");
  e.InitModVersion(L"V");
  s1.AddInfo(EIT_ITEMNAME, L"NOM");
  s2.SetSystemError(5, L"sys");
  e.AddSubError(&s1);
  e.AddSubError(&s2);
  EXPECT_EQ(Dump(e, kFilled),  // only the first sub-error added its message
            L"Message :\r\nP\r\nS1\r\n"
            L"\r\nCode d'erreur : 7\r\nNiveau : erreur\r\n"
            L"\r\nModule : <M>, version <V>\r\n"
            L"\r\n"
            L"\r\n----- Erreur secondaire 1 -----\r\n\r\n"
            L"Message :\r\nS1\r\n"
            L"\r\nCode d'erreur : 1\r\nNiveau : erreur\r\n"
            L"\r\nInformations :\r\nEIT_ITEMNAME : <NOM>"
            L"\r\n"
            L"\r\n----- Erreur secondaire 2 -----\r\n\r\n"
            L"Message :\r\nS2\r\n"
            L"\r\nCode d'erreur : 2\r\nNiveau : avertissement\r\n"
            L"\r\nCode d'erreur système : 5\r\nMessage d'erreur système :\r\nsys"
            L"\r\n");
}

TEST(ErrorDump, ProcessingLineOf65535IsLeftOut) {
  CXError e(Rec());
  e.SetVMContext(L"Init", 65535, 1);
  EXPECT_EQ(Dump(e, XEI_CONTEXT | XEI_USERCODE),
            L"Contexte de l'erreur :\r\nTraitement : Init (thread 1)\r\n\r\nCode d'erreur : 0\r\n");
  e.SetVMContext(L"Clic", L"BTN_OK", 12, 3);
  EXPECT_EQ(Dump(e, XEI_CONTEXT), L"Contexte de l'erreur :\r\nTraitement : Clic (BTN_OK), ligne 12 (thread 3)\r\n");
}

TEST(ErrorDump, LevelCaptions) {
  const std::pair<uint32_t, const wchar_t*> kLevels[] = {
      {2, L"avertissement"}, {3, L"erreur"},       {0x40000004, L"erreur"},      {0x40000008, L"erreur"},
      {0x10001, L"erreur grave"}, {0x10006, L"erreur grave"}, {0x20001, L"erreur grave"}, {0x10007, L"65543"}};
  for (const auto& [level, line] : kLevels) {
    CXError e(Rec());
    e.SetErrorLevel(static_cast<eERRORLEVEL>(level));
    EXPECT_EQ(Dump(e, XEI_LEVEL), L"Niveau : " + std::wstring(line) + L"\r\n") << level;
  }
}

TEST(ErrorDump, InformationItems) {
  CXError e(Rec());
  const long long rec = 5000000000LL;
  const int native = -5;
  const unsigned int xinfo = 6;
  e.AddInfo(EIT_RECNUM, &rec);
  e.AddInfo(EIT_SRCFILE, L"");  // an empty text has no line
  e.AddInfo(EIT_NATIVECODE, &native);
  e.AddInfo(EIT_PRIVATEPTR, &rec);  // never dumped
  e.AddInfo(EIT_XINFO, &xinfo);
  e.AddInfo(EIT_PILEZV, L"a\r\nb");
  e.AddInfo(EIT_POSITION_ERREUR, L"L3");
  EXPECT_EQ(Dump(e, XEI_INFO),
            L"Informations :\r\nEIT_RECNUM : <5000000000>\r\nEIT_NATIVECODE : <-5>\r\nEIT_XINFO : <6>"
            L"\r\nEIT_PILEZV :\r\na\r\nb\r\nEIT_POSITION_ERREUR : <L3>");
}

}  // namespace
