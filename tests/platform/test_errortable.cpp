#include "platform/errortable.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/resblock.h"
#include "xerror_texts.h"

namespace {

std::wstring W(const wchar_t* s) { return s != nullptr ? std::wstring(s) : std::wstring(L"<null>"); }

const _stMyModuleInfo* Rec() { return &gstMyModuleInfo32; }

// The table as published: row number, user code, resource id, detail id, level.
struct STRow {
  unsigned int nRow, nCode, nRes, nDetail, nLevel;
};
const STRow kPublished[] = {
    {1, 1, 25624, 1, 3}, {2, 2, 25016, 2, 3}, {3, 4, 25625, 4, 3}, {4, 5, 25017, 5, 3},
    {5, 6, 25626, 6, 3}, {6, 12, 28546, 12, 3}, {7, 34, 28885, 34, 3}, {8, 42, 25524, 42, 3},
    {9, 43, 28575, 43, 3}, {10, 44, 25574, 44, 3}, {11, 45, 25602, 45, 3}, {12, 7, 28432, 7, 3},
    {13, 8, 28437, 8, 3}, {14, 9, 28536, 9, 3}, {15, 10, 28537, 10, 3}, {16, 11, 28538, 11, 3},
    {17, 13, 28540, 13, 3}, {18, 14, 28542, 14, 3}, {19, 15, 28541, 15, 3}, {20, 16, 28543, 16, 3},
    {21, 17, 28544, 28544, 3}, {22, 18, 28563, 28563, 3}, {23, 19, 28417, 28417, 3}, {24, 20, 28565, 28565, 3},
    {25, 21, 28576, 21, 2}, {26, 73, 25860, 73, 2}, {27, 22, 28585, 22, 3}, {28, 80, 25878, 80, 3},
    {29, 67, 25861, 67, 3}, {30, 68, 25862, 68, 3}, {31, 69, 25863, 69, 3}, {32, 70, 25864, 70, 3},
    {33, 71, 25865, 71, 3}, {34, 72, 25866, 72, 3}, {35, 23, 28586, 23, 3}, {36, 24, 28587, 24, 3},
    {37, 25, 28588, 25, 3}, {38, 26, 28589, 26, 3}, {39, 27, 28590, 27, 3}, {40, 28, 28591, 28, 3},
    {41, 29, 28624, 29, 3}, {42, 30, 28636, 30, 3}, {43, 31, 28839, 31, 3}, {44, 29, 28624, 29, 3},
    {45, 32, 28876, 32, 3}, {46, 33, 28884, 33, 3}, {47, 35, 28910, 35, 3}, {48, 37, 28994, 37, 3},
    {49, 38, 25003, 38, 3}, {50, 39, 25004, 39, 3}, {51, 40, 25008, 40, 3}, {52, 41, 25199, 41, 3},
    {53, 46, 25607, 46, 3}, {54, 47, 25609, 47, 3}, {55, 48, 25613, 48, 3}, {56, 49, 25615, 49, 3},
    {57, 52, 25616, 52, 3}, {58, 74, 25868, 74, 3}, {59, 53, 25621, 53, 3}, {60, 54, 25628, 54, 3},
    {61, 55, 25667, 55, 3}, {62, 56, 25681, 56, 3}, {63, 81, 28566, 81, 3}, {64, 58, 25854, 58, 3},
    {65, 59, 25867, 59, 3}, {66, 78, 25575, 78, 3}, {67, 79, 25877, 79, 3}, {68, 50, 28583, 50, 3},
    {69, 51, 28584, 51, 3}, {70, 57, 25833, 57, 3}, {71, 77, 25873, 77, 3}, {72, 82, 25880, 82, 3},
    {73, 83, 25881, 83, 3}, {74, 60, 25293, 60, 3}, {75, 61, 25294, 61, 3}, {76, 62, 25295, 62, 3},
    {77, 63, 25296, 63, 3}, {78, 64, 25297, 64, 3}, {79, 65, 25298, 65, 3}, {80, 66, 25292, 66, 3},
    {81, 75, 25871, 75, 3}, {82, 76, 25872, 76, 3}, {83, 320101, 3221, 320101, 3}, {84, 320102, 3355, 320102, 3},
};

TEST(ErrorTable, RowsMatchThePublishedTable) {
  ASSERT_EQ(sizeof kPublished / sizeof kPublished[0], 84u);
  for (unsigned int i = 0; i < 84; ++i) {
    SCOPED_TRACE(i + 1);
    ASSERT_EQ(kPublished[i].nRow, i + 1);
    EXPECT_EQ(gstErrorDef32[i].nUserCode, kPublished[i].nCode);
    EXPECT_EQ(gstErrorDef32[i].nResourceId, kPublished[i].nRes);
    EXPECT_EQ(gstErrorDef32[i].nDetailId, kPublished[i].nDetail);
    EXPECT_EQ(gstErrorDef32[i].nLevel, kPublished[i].nLevel);
  }
}

TEST(ErrorTable, ModuleRecord) {
  EXPECT_EQ(gstMyModuleInfo32.pstErrorDef, gstErrorDef32);
  EXPECT_EQ(gstMyModuleInfo32.nErrorDef, 84u);
  EXPECT_EQ(gstMyModuleInfo32.nModule, 32u);
  EXPECT_EQ(W(gstMyModuleInfo32.pszModuleName), L"qx200msql.so");
  EXPECT_EQ(W(gstMyModuleInfo32.pszVersion), L"20.0.10.0");
  _CXErrorModule32 e;
  EXPECT_EQ(e.nGetModuleNumber(), 32u);
}

TEST(ErrorTable, ResourceIdOfCode) {
  EXPECT_EQ(CXError::nGetRessourceIdFromUserErrorCode(Rec(), 29), 28624u);
  EXPECT_EQ(CXError::nGetRessourceIdFromUserErrorCode(Rec(), 320102), 3355u);
  EXPECT_EQ(CXError::nGetRessourceIdFromUserErrorCode(Rec(), 3), 0u);
  EXPECT_EQ(CXError::nGetRessourceIdFromUserErrorCode(nullptr, 29), 0u);
  const unsigned int code = 5;
  EXPECT_EQ(CXError::__nErrorDefCompare(&code, &gstErrorDef32[3]), 0);
  EXPECT_LT(CXError::__nErrorDefCompare(&gstErrorDef32[0], &gstErrorDef32[1]), 0);
  EXPECT_GT(CXError::__nErrorDefCompare(&gstErrorDef32[82], &gstErrorDef32[0]), 0);
}

TEST(ErrorTable, RaiseByCode) {
  CTestTexts texts{{28576, L"Table <%s> : %d"}, {28544, L"Rubrique"}};
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
  EXPECT_EQ(W(e.pszGetModName()), L"qx200msql.so");
  EXPECT_EQ(W(e.pszGetModVersion()), L"20.0.10.0");
  EXPECT_EQ(e.nNumInfo(), 0);  // a raise starts from a clear error

  e.SetUserError(Rec(), 17);
  EXPECT_EQ(e.nGetDetailId(), 28544u);
  EXPECT_EQ(e.eGetErrorLevel(), ERRORLEVEL_ERROR);
  EXPECT_EQ(W(e.pszGetUserMessage()), L"Rubrique");
}

TEST(ErrorTable, CodeWithoutRow) {
  CXError e(Rec());
  e.InitModName(L"old.so");
  e.SetUserError(Rec(), 3);
  EXPECT_EQ(e.eGetErrorLevel(), ERRORLEVEL_ERROR);
  EXPECT_EQ(e.nGetUserErrorCode(), 0u);
  EXPECT_EQ(e.nNumErrorId(), 0);
  EXPECT_EQ(W(e.pszGetModName()), L"qx200msql.so");
  EXPECT_EQ(W(e.pszGetDebugMessage()),
            L"##(CXError)-Pas de definition d'erreur dans gstErrorDef pour l'identifiant <3>##");
  e.SetUserError(nullptr, 21);
  EXPECT_EQ(e.eGetErrorLevel(), ERRORLEVEL_ERROR);
  EXPECT_EQ(e.nGetUserErrorCode(), 0u);
}

TEST(ErrorTable, ChangePutsNewerFirst) {
  CTestTexts texts{{28576, L"ancien"}, {25860, L"nouveau %d"}};
  CXError e(Rec());
  e.SetUserError(Rec(), 21);
  e.ChangeUserError(Rec(), 73, 2);
  ASSERT_EQ(e.nNumErrorId(), 2);
  EXPECT_EQ(e.nGetErrorId(0), 25860u);
  EXPECT_EQ(e.nGetErrorId(1), 28576u);
  EXPECT_EQ(W(e.pszGetUserMessage()), L"nouveau 2\r\nancien");
  EXPECT_EQ(e.nGetUserErrorCode(), 73u);
  EXPECT_EQ(e.nGetDetailId(), 73u);
}

TEST(ErrorTable, ModuleTextsComeFromTheEmbeddedBlock) {
  CXError e(Rec());
  e.SetUserError(Rec(), 14, L"CNX");
  EXPECT_EQ(W(e.pszGetUserMessage()), L"La connexion <CNX> n'est pas ouverte.");
  EXPECT_EQ(W(e.pszGetDebugMessage()), L"");
}

TEST(ErrorTable, MissingTextStillRaises) {
  // A module whose row names a text that no source holds.
  const STErrorDef rows[] = {{900, 1, 901, 2}, {900, 2, 902, 3}};
  const _stMyModuleInfo other = {rows, 2, 9, L"autre.so", L"1.2", bGetResAnsi32};
  CXError e(&other);
  e.SetUserError(&other, 900);
  EXPECT_EQ(e.nGetUserErrorCode(), 900u);
  EXPECT_EQ(e.nGetDetailId(), 901u);  // the first row wins
  EXPECT_EQ(e.eGetErrorLevel(), ERRORLEVEL_WARNING);
  EXPECT_EQ(e.nGetErrorId(0), 1u);
  EXPECT_EQ(W(e.pszGetModName()), L"autre.so");
  EXPECT_EQ(W(e.pszGetUserMessage()), L"");
  EXPECT_EQ(W(e.pszGetDebugMessage()), L"##(CXError)-Ressource <1> non chargée##");
}

// Raises twice from one argument list: the raise must not consume the caller's list.
void RaiseTwice(CXError* a, CXError* b, unsigned int code, ...) {
  va_list ap;
  va_start(ap, code);
  a->SetUserErrorList(Rec(), code, ap);
  b->SetUserErrorList(Rec(), code, ap);
  a->AddUserMessageList(Rec(), 25292, ap);
  va_end(ap);
}

TEST(ErrorTable, ArgumentListIsNotConsumed) {
  CTestTexts texts{{28576, L"Table <%s>, rubrique <%s>"}, {25292, L"%s/%s"}};
  CXError a(Rec()), b(Rec());
  RaiseTwice(&a, &b, 21, L"CLIENT", L"NOM");
  EXPECT_EQ(W(a.pszGetUserMessage()), L"Table <CLIENT>, rubrique <NOM>\r\nCLIENT/NOM");
  EXPECT_EQ(W(b.pszGetUserMessage()), L"Table <CLIENT>, rubrique <NOM>");
}

TEST(ErrorTable, RaiseWithReadyMessage) {
  CXError e(Rec());
  e.AddUserMessage(L"avant");
  e.ChangeUserErrorMessage(Rec(), 22, L"texte 100% tel quel");
  EXPECT_EQ(W(e.pszGetUserMessage()), L"texte 100% tel quel\r\navant");
  EXPECT_EQ(e.nNumErrorId(), 0);
  EXPECT_EQ(e.nGetUserErrorCode(), 22u);
  e.SetUserErrorMessage(Rec(), 22, L"seul");
  EXPECT_EQ(W(e.pszGetUserMessage()), L"seul");
}

TEST(ErrorTable, SingularAndPluralThroughTheRaise) {
  CTestTexts texts{{28575, L"%d enregistrement verrouill\u00E9\n\u00A7\n%d enregistrements verrouill\u00E9s"}};
  CXError e(Rec());
  e.SetUserError(Rec(), 43, 1);
  EXPECT_EQ(W(e.pszGetUserMessage()), L"1 enregistrement verrouill\u00E9");
  e.SetUserErrorVariant(Rec(), 43, DLLRES_nVariantOfCount(5), 5);
  EXPECT_EQ(W(e.pszGetUserMessage()), L"5 enregistrements verrouill\u00E9s");
  EXPECT_EQ(e.nGetErrorId(0), 28575u);
  e.SetUserErrorVariant(Rec(), 43, DLLRES_nVariantOfCount(0), 0);
  EXPECT_EQ(W(e.pszGetUserMessage()), L"0 enregistrement verrouill\u00E9");
  // A variant the text does not have.
  e.SetUserErrorVariant(Rec(), 43, 2, 3);
  EXPECT_EQ(W(e.pszGetUserMessage()), L"");
  EXPECT_EQ(W(e.pszGetDebugMessage()), L"##(CXError)-Ressource <28575> non chargée##");
  EXPECT_EQ(e.nGetUserErrorCode(), 43u);
}

TEST(ErrorTable, NoMemoryIsAnError) {
  CTestTexts texts{{25193, L"M\u00E9moire insuffisante"}};
  char buffer[256];
  const std::string enomem = strerror_r(ENOMEM, buffer, sizeof buffer);
  CXError e(Rec());
  e.SetUserError(Rec(), 21, L"T", L"R");
  errno = 0;
  e.SetErrorNoMemory();
  EXPECT_EQ(e.eGetErrorLevel(), ERRORLEVEL_ERROR);
  EXPECT_EQ(e.nGetUserErrorCode(), 0u);
  EXPECT_EQ(e.dwGetSystemErrorCode(), 12u);
  EXPECT_EQ(W(e.pszGetSystemErrorMessage()), std::wstring(enomem.begin(), enomem.end()));
  ASSERT_EQ(e.nNumErrorId(), 1);
  EXPECT_EQ(e.nGetErrorId(0), 25193u);
  EXPECT_EQ(W(e.pszGetUserMessage()), L"M\u00E9moire insuffisante");
}

TEST(ErrorTable, AnyErrorByResultKind) {
  CTestTexts texts{{25292, L"66:%d,%d"}, {25293, L"60:%d,%d"}, {25294, L"61:%d,%d"}, {25296, L"63:%d,%d"},
                   {25297, L"64:%d,%d"}, {25298, L"65:%d,%d"}, {25193, L"memoire"}};
  const struct {
    int nKind;
    unsigned int nCode;
    const wchar_t* pszText;
  } kMapped[] = {{1, 65, L"65:7,8"},   {101, 61, L"61:7,8"}, {104, 66, L"66:7,8"}, {105, 60, L"60:7,8"},
                 {106, 64, L"64:7,8"}, {107, 63, L"63:7,8"},
                 // Failures without a code of their own are conversion errors, never a clear error.
                 {102, 60, L"60:7,8"}, {103, 60, L"60:7,8"}, {108, 60, L"60:7,8"}, {110, 60, L"60:7,8"},
                 {115, 60, L"60:7,8"}, {250, 60, L"60:7,8"}};
  for (const auto& m : kMapped) {
    SCOPED_TRACE(m.nKind);
    CXError e(Rec());
    e.SetAnyError(Rec(), m.nKind, 7, 8);
    EXPECT_EQ(e.nGetUserErrorCode(), m.nCode);
    EXPECT_EQ(e.eGetErrorLevel(), ERRORLEVEL_ERROR);
    EXPECT_EQ(W(e.pszGetUserMessage()), m.pszText);
  }
  CXError e(Rec());
  e.SetAnyError(Rec(), 100, 7, 8);
  EXPECT_EQ(e.dwGetSystemErrorCode(), 12u);
  EXPECT_EQ(e.eGetErrorLevel(), ERRORLEVEL_ERROR);
  // Warnings passed through leave the error as it is; kind 0 clears it.
  e.SetUserError(Rec(), 21, L"T", L"R");
  for (int kind : {2, 50, 99, -1}) e.SetAnyError(Rec(), kind, 7, 8);
  EXPECT_EQ(e.nGetUserErrorCode(), 21u);
  e.SetAnyError(Rec(), 0, 7, 8);
  EXPECT_EQ(e.eGetErrorLevel(), ERRORLEVEL_NONE);
  EXPECT_EQ(e.nGetUserErrorCode(), 0u);
}

TEST(ErrorTable, RaiseSitePattern) {
  CTestTexts texts{{28576, L"Table <%s>"}};
  _CXErrorModule32 e;
  e.SetUserError(&gstMyModuleInfo32, 21, L"CLIENT");
  e.AddInfo(EIT_LOGICALTABLENAME, L"CLIENT");
  const int native = 1062;
  e.AddInfo(EIT_NATIVECODE, &native);
  XERR_AddRaiseSite(&e, 12, 3);
  EXPECT_EQ(W(e.pszGetDebugMessage()), L"IEQXMSQL=12.3\r\nModule=<QXMSQL>\r\nVersion=<20.0.10.0>");
  XERR_AddRaiseSite(&e, 4, 250);
  EXPECT_EQ(W(e.pszGetDebugMessage()),
            L"IEQXMSQL=12.3\r\nModule=<QXMSQL>\r\nVersion=<20.0.10.0>\r\n"
            L"IEQXMSQL=4.250\r\nModule=<QXMSQL>\r\nVersion=<20.0.10.0>");
  EXPECT_EQ(W(e.pszGetUserMessage()), L"Table <CLIENT>");
  EXPECT_EQ(e.nNumInfo(), 2);
}

}  // namespace
