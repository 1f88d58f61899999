#include "platform/xerror.h"

#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/errortable.h"
#include "xerror_texts.h"

namespace {

std::wstring W(const wchar_t* s) { return s != nullptr ? std::wstring(s) : std::wstring(L"<null>"); }

const _stMyModuleInfo* Rec() { return &gstMyModuleInfo32; }

// A record of another module number with the same table.
const _stMyModuleInfo kOtherModule = {gstErrorDef32, kErrorDefCount32, 7, L"other.so", L"1.0", nullptr};

// Counts live objects and the references held on them.
class CCounted : public CQXUnknown {
 public:
  explicit CCounted(int* alive) : m_pAlive(alive) { ++*m_pAlive; }
  ~CCounted() override { --*m_pAlive; }

 private:
  int* m_pAlive;
};

class CTestInterface : public IXErrorInterface {
 public:
  long QueryInterface(const void*, void**) override { return -1; }
  unsigned long AddRef() override { return static_cast<unsigned long>(++m_nRefs); }
  unsigned long Release() override { return static_cast<unsigned long>(--m_nRefs); }
  int m_nRefs = 0;
};

// Makes the next text copies or resizes fail on demand.
class CFailingError : public CXError {
 public:
  CFailingError() : CXError(&gstMyModuleInfo32) {}
  wchar_t* __vpszAllocString(wchar_t** pp, const wchar_t* s) override {
    if (m_bFailCopies && s != nullptr) {
      __vDeleteString(pp);
      return nullptr;
    }
    return CXError::__vpszAllocString(pp, s);
  }
  wchar_t* __vpszReallocString(wchar_t** pp, unsigned int n) override {
    return m_bFailResizes ? nullptr : CXError::__vpszReallocString(pp, n);
  }
  using CXError::__vpszReallocString;
  bool m_bFailCopies = false;
  bool m_bFailResizes = false;
};

const wchar_t* InfoText(const CXError& e, eERRORINFOTYPE type) {
  const void* v = nullptr;
  return e.bGetInfo(type, &v) ? static_cast<const wchar_t*>(v) : nullptr;
}

TEST(XError, FreshErrorIsClear) {
  CXError e(Rec());
  EXPECT_EQ(e.eGetErrorLevel(), ERRORLEVEL_NONE);
  EXPECT_EQ(e.nGetModuleNumber(), 32u);
  EXPECT_EQ(e.dwGetRefCount(), 0u);
  for (const wchar_t* s : {e.pszGetUserMessage(), e.pszGetDebugMessage(), e.pszGetFunctionName(),
                           e.pszGetModName(), e.pszGetModVersion(), e.pszGetSystemErrorMessage(),
                           e.pszGetTraitmentCaption(), e.pszGetObjectName()})
    EXPECT_EQ(W(s), L"");
  EXPECT_EQ(e.nGetUserErrorCode() + e.nGetUserErrorCode55() + e.nGetDetailId() + e.dwGetSystemErrorCode(), 0u);
  EXPECT_EQ(e.nNumErrorId() + e.nNumInfo() + e.nGetNbSubError(), 0);
  EXPECT_EQ(e.pclGetSubError(0), nullptr);
  EXPECT_EQ(e.nGetErrorId(0), 0u);
}

TEST(XError, UserMessagesJoinWithCrLf) {
  CXError e(Rec());
  e.AddUserMessageNoFormat(L"");
  EXPECT_EQ(e.pszGetUserMessage()[0], 0);
  e.AddUserMessage(L"M");
  e.AddUserMessage(L"");
  EXPECT_EQ(W(e.pszGetUserMessage()), L"M\r\n");
  e.AddUserMessageNoFormat(L"");
  e.AddUserMessageNoFormat(nullptr);
  EXPECT_EQ(W(e.pszGetUserMessage()), L"M\r\n");
  e.AddUserMessageFirst(L"T");
  EXPECT_EQ(W(e.pszGetUserMessage()), L"T\r\nM\r\n");

  CXError f(Rec());
  f.AddUserMessage(L"");  // an empty but allocated message
  f.AddUserMessageFirst(L"T");
  EXPECT_EQ(W(f.pszGetUserMessage()), L"T\r\n");
  f.RAZUserMessage();
  f.AddUserMessageFirst(L"only");
  EXPECT_EQ(W(f.pszGetUserMessage()), L"only");
}

TEST(XError, MessageMayBeJoinedToItself) {
  CXError e(Rec());
  e.AddUserMessage(L"abc");
  e.AddUserMessage(e.pszGetUserMessage());
  EXPECT_EQ(W(e.pszGetUserMessage()), L"abc\r\nabc");
  e.AddUserMessageFirst(e.pszGetUserMessage() + 5);  // "abc" inside the message
  EXPECT_EQ(W(e.pszGetUserMessage()), L"abc\r\nabc\r\nabc");
  e.AddDebugMessageNoFormat(L"d");
  e.AddDebugMessageFirst(e.pszGetDebugMessage());
  EXPECT_EQ(W(e.pszGetDebugMessage()), L"d\r\nd");
}

TEST(XError, TextOperations) {
  CXError e(Rec());
  wchar_t* p = nullptr;
  EXPECT_EQ(W(e.__vpszConcatString(&p, L"abc")), L"abc");
  EXPECT_EQ(W(e.__vpszConcatString(&p, p + 1)), L"abcbc");
  EXPECT_EQ(W(e.__vpszReallocString(&p, p + 3)), L"bc");  // a piece of itself, shrinking
  EXPECT_EQ(W(e.__vpszReallocString(&p, L"longer text")), L"longer text");
  EXPECT_EQ(W(e.__vpszAllocString(&p, p + 7)), L"text");
  EXPECT_EQ(e.__vpszAllocString(&p, nullptr), nullptr);
  EXPECT_EQ(p, nullptr);
}

TEST(XError, DebugMessages) {
  CXError e(Rec());
  e.AddDebugMessageFirst(L"");
  e.AddDebugMessageNoFormat(nullptr);
  EXPECT_EQ(W(e.pszGetDebugMessage()), L"");
  e.AddDebugMessageNoFormat(L"b");
  e.AddDebugMessageFirst(L"a");
  e.AddDebugMessagePrintf(L"%s=%d", L"n", 42);
  EXPECT_EQ(W(e.pszGetDebugMessage()), L"a\r\nb\r\nn=42");
}

TEST(XError, FailedJoinLeavesMessageWhole) {
  CFailingError e;
  e.AddUserMessage(L"M");
  e.m_bFailResizes = true;
  EXPECT_EQ(e.AddUserMessage(L"more"), nullptr);
  e.AddUserMessageFirst(L"front");
  EXPECT_EQ(W(e.pszGetUserMessage()), L"M");
}

TEST(XError, ResourceMessages) {
  CTestTexts texts{{40001, L"Fichier <%s> : %d"}, {40002, L"Premier"}, {40003, L"un\n\u00A7\nplusieurs"},
                   {40004, L"sys %u"}};
  CXError e(Rec());
  e.AddUserMessage(Rec(), 40001, L"a.fic", 3);
  e.AddUserMessageFirst(Rec(), 40002);
  e.AddUserMessage(Rec(), 40003);
  EXPECT_EQ(W(e.pszGetUserMessage()), L"Premier\r\nFichier <a.fic> : 3\r\nun");
  ASSERT_EQ(e.nNumErrorId(), 3);
  EXPECT_EQ(e.nGetErrorId(0), 40002u);
  EXPECT_EQ(e.nGetErrorId(1), 40001u);
  EXPECT_EQ(e.nGetErrorId(2), 40003u);
  // The module is taken from the record when none is held.
  EXPECT_EQ(W(e.pszGetModName()), L"qx200msql.so");
  EXPECT_EQ(W(e.pszGetModVersion()), L"20.0.10.0");

  e.AddDebugMessage(Rec(), 0xFFFFFFFFu);
  EXPECT_EQ(W(e.pszGetDebugMessage()), L"");
  e.AddDebugMessage(Rec(), 40002);
  EXPECT_EQ(W(e.pszGetDebugMessage()), L"Premier");
  EXPECT_EQ(e.nNumErrorId(), 3);

  e.SetSystemErrorMessage(Rec(), 40004, 9u);
  EXPECT_EQ(W(e.pszGetSystemErrorMessage()), L"sys 9");
  EXPECT_EQ(e.dwGetSystemErrorCode(), 0u);
}

TEST(XError, ResourceThatCannotBeLoadedLeavesNote) {
  CTestTexts texts{{40005, L"%s"}};
  CXError e(Rec());
  e.AddUserMessage(Rec(), 1);
  EXPECT_EQ(W(e.pszGetUserMessage()), L"");
  EXPECT_EQ(W(e.pszGetDebugMessage()), L"##(CXError)-Ressource <1> non chargée##");
  EXPECT_EQ(e.nNumErrorId(), 1);
  // Formats to an empty text.
  e.AddUserMessage(Rec(), 40005, L"");
  EXPECT_EQ(W(e.pszGetUserMessage()), L"");
  EXPECT_EQ(W(e.pszGetDebugMessage()),
            L"##(CXError)-Ressource <1> non chargée##\r\n##(CXError)-Ressource <40005> non chargée##");
  e.SetSystemErrorMessage(Rec(), 2);
  EXPECT_EQ(W(e.pszGetSystemErrorMessage()), L"##(CXError)-Ressource <2> non chargée##");
}

TEST(XError, SystemErrors) {
  CXError e(Rec());
  e.SetSystemError(3, L"trois");
  EXPECT_EQ(e.dwGetSystemErrorCode(), 3u);
  EXPECT_EQ(W(e.pszGetSystemErrorMessage()), L"trois");
  e.SetSystemErrorMessageA("caf\xC3\xA9");
  EXPECT_EQ(e.dwGetSystemErrorCode(), 0u);
  EXPECT_EQ(W(e.pszGetSystemErrorMessage()), L"caf\u00E9");
  e.SetSystemErrorMessageA("");
  EXPECT_EQ(W(e.pszGetSystemErrorMessage()), L"");
  e.SetSystemErrorMessagePrintf(8u, L"<%d>", 5);
  EXPECT_EQ(e.dwGetSystemErrorCode(), 8u);
  EXPECT_EQ(W(e.pszGetSystemErrorMessage()), L"<5>");

  char expected[256];
  const std::string eagain = strerror_r(EAGAIN, expected, sizeof expected);
  errno = static_cast<int>(0x80000001u);
  e.SetSystemErrorParam(5, 1, 2);
  EXPECT_EQ(e.dwGetSystemErrorCode(), 5u);
  EXPECT_EQ(W(e.pszGetSystemErrorMessage()), std::wstring(eagain.begin(), eagain.end()));
  e.SetSystemErrorParam(0);
  EXPECT_EQ(e.dwGetSystemErrorCode(), 0u);
  EXPECT_EQ(W(e.pszGetSystemErrorMessage()), L"");
  h_errno = HOST_NOT_FOUND;
  e.SetSystemErrorForGetHostBy(4);
  EXPECT_EQ(e.dwGetSystemErrorCode(), 4u);
  EXPECT_GT(wcslen(e.pszGetSystemErrorMessage()), 0u);
}

TEST(XError, ContextAndModule) {
  CXError e(Rec());
  e.SetFunctionName(L"HLitRecherche", 2);
  e.SetVMContext(L"Bouton", L"FEN_Main", 12, 3);
  EXPECT_EQ(W(e.pszGetFunctionName()), L"HLitRecherche");
  EXPECT_EQ(e.nGetFunctionSyntax(), 2);
  EXPECT_EQ(W(e.pszGetObjectName()), L"FEN_Main");
  EXPECT_EQ(e.wGetTraitmentLine(), 12);
  EXPECT_EQ(e.wGetTraitmentThread(), 3);
  e.SetVMContext(L"Autre");
  EXPECT_EQ(W(e.pszGetObjectName()), L"Autre");
  EXPECT_EQ(W(e.pszGetTraitmentCaption()), L"Bouton");

  e.InitModName(L"x.so");
  e.InitModInfo(Rec(), FALSE);
  EXPECT_EQ(W(e.pszGetModName()), L"x.so");
  e.InitModInfo(Rec(), TRUE);
  EXPECT_EQ(W(e.pszGetModName()), L"qx200msql.so");
  EXPECT_EQ(W(e.pszGetModVersion()), L"20.0.10.0");
}

TEST(XError, LevelOneAndRazClearAllButModule) {
  int alive = 0;
  CCounted* obj = new CCounted(&alive);
  CXError e(Rec());
  e.SetErrorLevel(ERRORLEVEL_ERROR);
  e.AddUserMessage(L"m");
  e.AddDebugMessageNoFormat(L"d");
  e.AddInfo(EIT_DATAACCESS, obj);
  CXError sub(Rec());
  e.AddSubErrorNoUserMessage(&sub);
  e.SetErrorLevel(ERRORLEVEL_ERROR);  // unchanged: nothing happens
  EXPECT_EQ(W(e.pszGetUserMessage()), L"m");
  e.SetErrorLevel(ERRORLEVEL_NONE);
  EXPECT_EQ(W(e.pszGetUserMessage()), L"");
  EXPECT_EQ(W(e.pszGetDebugMessage()), L"");
  EXPECT_EQ(e.nNumInfo() + e.nGetNbSubError(), 0);
  EXPECT_EQ(alive, 0);  // its only reference was the item's
  EXPECT_EQ(e.RAZ(), &e);
  EXPECT_EQ(e.nGetModuleNumber(), 32u);
}

TEST(XError, InfoItemsByKind) {
  CXError e(Rec());
  e.AddInfo(EIT_LOGICALTABLENAME, L"CLIENT");
  e.AddInfo(EIT_LOGICALTABLENAME, L"COMMANDE");
  EXPECT_EQ(e.nNumInfo(), 1);
  EXPECT_EQ(W(InfoText(e, EIT_LOGICALTABLENAME)), L"COMMANDE");

  int a = 1, b = 2;
  e.AddInfo(EIT_PRIVATEPTR, &a);
  e.AddInfo(EIT_PRIVATEPTR, &b);
  const void* v = nullptr;
  ASSERT_TRUE(e.bGetInfo(EIT_PRIVATEPTR, &v));
  EXPECT_EQ(v, &b);

  const int native = -1205;
  e.AddInfo(EIT_NATIVECODE, &native);
  ASSERT_TRUE(e.bGetInfo(EIT_NATIVECODE, &v));
  EXPECT_EQ(static_cast<int>(reinterpret_cast<intptr_t>(v)), -1205);

  const long long rec = 0x123456789ALL;
  e.AddInfo(EIT_RECNUM, &rec);
  long long back = 0;
  v = &back;
  eERRORINFOTYPE type = EIT_NONE;
  e.GetInfo(3, &type, &v);
  EXPECT_EQ(type, EIT_RECNUM);
  EXPECT_EQ(back, 0x123456789ALL);

  for (eERRORINFOTYPE t : {EIT_NONE, EIT_RESERVED34, EIT_RESERVED35, static_cast<eERRORINFOTYPE>(40)})
    e.AddInfo(t, L"x");
  e.AddInfo(EIT_ITEMNAME, nullptr);
  EXPECT_EQ(e.nNumInfo(), 4);
  e.GetInfo(4, &type, &v);
  EXPECT_EQ(type, EIT_NONE);

  e.DeleteInfo(EIT_PRIVATEPTR);
  EXPECT_FALSE(e.bHasInfo(EIT_PRIVATEPTR));
  EXPECT_EQ(e.nNumInfo(), 3);
  e.GetInfo(1, &type, &v);
  EXPECT_EQ(type, EIT_NATIVECODE);
}

TEST(XError, XInfoBits) {
  CXError e(Rec());
  EXPECT_FALSE(e.__bGetXInfo(0xFFFFFFFFu));
  e.__SetXInfo(0x5, TRUE);
  e.__SetXInfo(0x1, FALSE);
  EXPECT_FALSE(e.__bGetXInfo(0x1));
  EXPECT_TRUE(e.__bGetXInfo(0x6));
  EXPECT_EQ(e.nNumInfo(), 1);
}

TEST(XError, ObjectAndInterfaceItemsHoldOneReference) {
  int alive = 0;
  CCounted* obj = new CCounted(&alive);
  obj->AddRef();  // the test's own
  CTestInterface itf;
  {
    CXError e(Rec());
    e.AddInfo(EIT_DATAACCESS, obj);
    e.AddInfo(EIT_EXCEPTIONDOTNET, static_cast<IXErrorInterface*>(&itf));
    EXPECT_EQ(obj->dwGetRefCount(), 2u);
    EXPECT_EQ(itf.m_nRefs, 1);
    // The same object again: still one reference, and never released to 0 on the way.
    e.AddInfo(EIT_DATAACCESS, obj);
    e.AddInfo(EIT_EXCEPTIONDOTNET, static_cast<IXErrorInterface*>(&itf));
    EXPECT_EQ(obj->dwGetRefCount(), 2u);
    EXPECT_EQ(itf.m_nRefs, 1);
    const void* v = nullptr;
    ASSERT_TRUE(e.bGetInfo(EIT_DATAACCESS, &v));
    EXPECT_EQ(v, obj);
  }
  EXPECT_EQ(obj->dwGetRefCount(), 1u);
  EXPECT_EQ(itf.m_nRefs, 0);
  obj->dwRelease();
  EXPECT_EQ(alive, 0);
}

TEST(XError, SoleReferenceSurvivesReplacementBySameObject) {
  int alive = 0;
  CCounted* obj = new CCounted(&alive);
  CXError e(Rec());
  e.AddInfo(EIT_DATAACCESS, obj);  // the item holds the only reference
  e.AddInfo(EIT_DATAACCESS, obj);
  EXPECT_EQ(alive, 1);
  EXPECT_EQ(obj->dwGetRefCount(), 1u);
  e.DeleteInfo(EIT_DATAACCESS);
  EXPECT_EQ(alive, 0);
}

TEST(XError, ItemReplacementWhoseCopyFailsKeepsOldText) {
  CFailingError e;
  e.AddInfo(EIT_ITEMNAME, L"NOM");
  e.AddInfo(EIT_ITEMNAME, InfoText(e, EIT_ITEMNAME));  // its own text
  EXPECT_EQ(W(InfoText(e, EIT_ITEMNAME)), L"NOM");
  e.m_bFailCopies = true;
  e.AddInfo(EIT_ITEMNAME, L"AUTRE");
  e.AddInfo(EIT_SRCFILE, L"f");
  e.m_bFailCopies = false;
  EXPECT_EQ(e.nNumInfo(), 1);
  EXPECT_EQ(W(InfoText(e, EIT_ITEMNAME)), L"NOM");
}

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

void ExpectFilled(const CXError& e, const wchar_t* tag) {
  EXPECT_EQ(e.eGetErrorLevel(), ERRORLEVEL_ERROR);
  EXPECT_EQ(e.nGetUserErrorCode(), 17u);
  EXPECT_EQ(e.nGetUserErrorCode55(), 55u);
  EXPECT_EQ(W(e.pszGetUserMessage()), tag);
  EXPECT_EQ(W(e.pszGetDebugMessage()), L"dbg");
  EXPECT_EQ(W(e.pszGetFunctionName()), L"Fn");
  EXPECT_EQ(e.nGetFunctionSyntax(), 1);
  EXPECT_EQ(W(e.pszGetModName()), L"qx200msql.so");
  EXPECT_EQ(e.nGetDetailId(), 99u);
  EXPECT_EQ(e.dwGetSystemErrorCode(), 2u);
  EXPECT_EQ(W(e.pszGetSystemErrorMessage()), L"sys");
  EXPECT_EQ(W(e.pszGetTraitmentCaption()), L"cap");
  EXPECT_EQ(W(e.pszGetObjectName()), L"obj");
  EXPECT_EQ(e.wGetTraitmentLine(), 4);
  EXPECT_EQ(e.wGetTraitmentThread(), 5);
  EXPECT_EQ(W(InfoText(e, EIT_ITEMNAME)), L"ITEM");
}

TEST(XError, DeepCopy) {
  CXError src(Rec());
  Fill(src, L"src");
  CXError sub(Rec());
  sub.AddUserMessage(L"sub");
  src.AddSubErrorNoUserMessage(&sub);

  CXError copy(src);
  EXPECT_EQ(copy.nGetModuleNumber(), 0u);
  ExpectFilled(copy, L"src");
  ASSERT_EQ(copy.nGetNbSubError(), 1);
  EXPECT_NE(copy.pclGetSubError(0), src.pclGetSubError(0));
  EXPECT_EQ(W(copy.pclGetSubError(0)->pszGetUserMessage()), L"sub");
  ExpectFilled(src, L"src");  // untouched

  CXError assigned(Rec());
  assigned = src;
  ExpectFilled(assigned, L"src");
  assigned.Copy(assigned);
  ExpectFilled(assigned, L"src");
}

TEST(XError, CopyReplacesSubErrorsHeldBefore) {
  CXError target(Rec()), old(Rec()), src(Rec());
  old.AddUserMessage(L"old");
  target.AddSubError(&old);
  target.Copy(src);
  EXPECT_EQ(target.nGetNbSubError(), 0);
  EXPECT_EQ(W(target.pszGetUserMessage()), L"");
}

TEST(XError, CopyFromOwnSubError) {
  CXError e(Rec()), sub(Rec());
  Fill(sub, L"inner");
  e.AddSubError(&sub);
  e.Copy(*e.pclGetSubError(0));
  ExpectFilled(e, L"inner");
  EXPECT_EQ(e.nGetNbSubError(), 0);
}

TEST(XError, DataAccessItemCopiedOnlyWithinModule) {
  int alive = 0;
  CCounted* obj = new CCounted(&alive);
  CXError src(Rec());
  src.AddInfo(EIT_DATAACCESS, obj);
  src.AddInfo(EIT_ITEMNAME, L"I");
  {
    CXError same(Rec(), src);
    CXError other(&kOtherModule, src);
    EXPECT_TRUE(same.bHasInfo(EIT_DATAACCESS));
    EXPECT_FALSE(other.bHasInfo(EIT_DATAACCESS));
    EXPECT_TRUE(other.bHasInfo(EIT_ITEMNAME));
    EXPECT_EQ(obj->dwGetRefCount(), 2u);
  }
  EXPECT_EQ(obj->dwGetRefCount(), 1u);
  src.RAZ();
  EXPECT_EQ(alive, 0);
}

TEST(XError, LightCopyMovesAndClearsSource) {
  CXError src(Rec()), sub(Rec());
  Fill(src, L"src");
  src.AddSubErrorNoUserMessage(&sub);
  CXError* subBefore = src.pclGetSubError(0);
  CXError dst(Rec());
  dst.AddUserMessage(L"gone");
  dst.LightCopy(&src);
  ExpectFilled(dst, L"src");
  EXPECT_EQ(dst.pclGetSubError(0), subBefore);
  EXPECT_EQ(src.eGetErrorLevel(), ERRORLEVEL_NONE);
  EXPECT_EQ(W(src.pszGetUserMessage()), L"");
  EXPECT_EQ(src.nNumInfo() + src.nNumErrorId() + src.nGetNbSubError(), 0);
  EXPECT_EQ(src.nGetModuleNumber(), 32u);
  dst.LightCopy(&dst);
  dst.LightCopy(nullptr);
  ExpectFilled(dst, L"src");
}

TEST(XError, LightCopyToOtherModuleReleasesDataAccess) {
  int alive = 0;
  CCounted* obj = new CCounted(&alive);
  {
    CXError src(Rec());
    src.AddInfo(EIT_DATAACCESS, obj);
    src.AddInfo(EIT_ITEMNAME, L"I");
    CXError dst(&kOtherModule);
    dst.LightCopy(&src);
    EXPECT_FALSE(dst.bHasInfo(EIT_DATAACCESS));
    EXPECT_EQ(W(InfoText(dst, EIT_ITEMNAME)), L"I");
    EXPECT_EQ(src.nNumInfo(), 0);
    EXPECT_EQ(alive, 0);  // released, not leaked
  }
  CCounted* kept = new CCounted(&alive);
  CXError src(Rec());
  src.AddInfo(EIT_DATAACCESS, kept);
  CXError dst(Rec(), src, 1);
  EXPECT_TRUE(dst.bHasInfo(EIT_DATAACCESS));
  EXPECT_EQ(kept->dwGetRefCount(), 1u);
}

TEST(XError, LightCopyWithinOneTree) {
  CXError e(Rec()), sub(Rec());
  Fill(sub, L"inner");
  e.AddSubError(&sub);
  e.LightCopy(e.pclGetSubError(0));
  ExpectFilled(e, L"inner");
  EXPECT_EQ(e.nGetNbSubError(), 0);

  // Moving an error into one of its own sub-errors copies instead of holding itself.
  CXError parent(Rec()), child(Rec());
  parent.AddUserMessage(L"p");
  parent.AddSubErrorNoUserMessage(&child);
  CXError* inner = parent.pclGetSubError(0);
  inner->LightCopy(&parent);
  EXPECT_EQ(W(inner->pszGetUserMessage()), L"p");
  EXPECT_EQ(inner->nGetNbSubError(), 1);
  parent.pclGetSubError(0)->AddSubErrorLight(&parent);
  EXPECT_EQ(W(parent.pszGetUserMessage()), L"p");
}

TEST(XError, SubErrorsAndTheirMessages) {
  CXError e(Rec()), s1(Rec()), s2(Rec());
  e.AddUserMessage(L"M");
  s1.AddUserMessage(L"S");
  s2.AddUserMessage(L"T");
  e.AddSubError(&s1);
  e.AddSubError(&s2);
  EXPECT_EQ(W(e.pszGetUserMessage()), L"M\r\nS");
  ASSERT_EQ(e.nGetNbSubError(), 2);
  EXPECT_EQ(W(e.pclGetSubError(1)->pszGetUserMessage()), L"T");
  EXPECT_EQ(e.pclGetSubError(1)->nGetModuleNumber(), 32u);
  EXPECT_EQ(e.pclGetSubError(2), nullptr);
  EXPECT_EQ(e.pclGetSubError(-1), nullptr);
  EXPECT_EQ(W(s1.pszGetUserMessage()), L"S");

  CXError n(Rec());
  n.AddUserMessage(L"N");
  n.AddSubErrorNoUserMessage(&s1);
  EXPECT_EQ(W(n.pszGetUserMessage()), L"N");
  n.AddSubErrorLight(&s2);
  EXPECT_EQ(W(s2.pszGetUserMessage()), L"");
  EXPECT_EQ(W(n.pclGetSubError(1)->pszGetUserMessage()), L"T");
  n.AddSubError(nullptr);
  EXPECT_EQ(n.nGetNbSubError(), 2);
  n.DeleteAllSubError();
  EXPECT_EQ(n.nGetNbSubError(), 0);
}

TEST(XError, LightSelfAddMovesContentsIntoSubError) {
  CXError e(Rec()), sub(Rec());
  e.AddUserMessage(L"M");
  e.AddSubErrorNoUserMessage(&sub);
  e.AddSubErrorLight(&e);
  ASSERT_EQ(e.nGetNbSubError(), 1);
  CXError* moved = e.pclGetSubError(0);
  EXPECT_EQ(W(moved->pszGetUserMessage()), L"M");
  EXPECT_EQ(moved->nGetNbSubError(), 1);
  EXPECT_EQ(W(e.pszGetUserMessage()), L"M");  // the first sub-error's message
}

TEST(XError, RaisingConstructors) {
  CTestTexts texts{{25292, L"Conversion %d/%d"}, {25298, L"Valeur %d"}, {25624, L"Sans insert"}};
  CXError a(Rec(), 65u, 0);  // a 0 insert is an insert, not an argument list
  EXPECT_EQ(W(a.pszGetUserMessage()), L"Valeur 0");
  CXError b(Rec(), L"dbg", 66u, 4, 5);
  EXPECT_EQ(W(b.pszGetUserMessage()), L"Conversion 4/5");
  EXPECT_EQ(W(b.pszGetDebugMessage()), L"dbg");
  EXPECT_EQ(b.nGetUserErrorCode(), 66u);

  struct Helper {
    static CXError* Make(const wchar_t* debug, unsigned int code, ...) {
      va_list ap;
      va_start(ap, code);
      CXError* e = new CXError(Rec(), debug, code, STXErrorArgs{&ap});
      va_end(ap);
      return e;
    }
  };
  CXError* c = Helper::Make(L"x", 66u, 6, 7);
  EXPECT_EQ(W(c->pszGetUserMessage()), L"Conversion 6/7");
  EXPECT_EQ(W(c->pszGetDebugMessage()), L"x");
  delete c;
  CXError d(Rec(), 1u, STXErrorArgs{nullptr});
  EXPECT_EQ(W(d.pszGetUserMessage()), L"Sans insert");

  CXError fromNull(Rec(), static_cast<CXError*>(nullptr), 1);
  EXPECT_EQ(fromNull.eGetErrorLevel(), ERRORLEVEL_NONE);
  EXPECT_EQ(fromNull.nGetModuleNumber(), 32u);
}

}  // namespace
