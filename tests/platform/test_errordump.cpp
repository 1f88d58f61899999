#include "platform/errordump.h"

#include <gtest/gtest.h>

#include <string>

#include "common/ctstring.h"
#include "platform/errortable.h"
#include "xerror_texts.h"

namespace {

std::wstring W(const wchar_t* s) { return s != nullptr ? std::wstring(s) : std::wstring(L"<null>"); }

const _stMyModuleInfo* Rec() { return &gstMyModuleInfo32; }

constexpr eXERROR_INFO kFilled = XEI_ALL | XEI_ONLYFILLED;

// The dump's captions, worded for the test.
class DumpTest : public testing::Test {
 protected:
  CTestTexts m_texts{
      {28844, L"Contexte :"},           {28845, L"Traitement %s%s ligne %u thread %u"},
      {25770, L"Traitement %s%s thread %u"}, {28846, L"Fonction %s (syntaxe %u)"},
      {28857, L"Message :"},            {28858, L"Pas de message"},
      {28851, L"Code : %u"},            {28847, L"Niveau 1"},
      {28848, L"Niveau 2"},             {28849, L"Niveau 3"},
      {25311, L"Niveau systeme"},       {28850, L"Niveau %u"},
      {28852, L"Code 55 : %u"},         {28853, L"Erreur systeme : %u"},
      {28854, L"Pas d'erreur systeme"}, {28855, L"Message systeme :"},
      {28856, L"Pas de message systeme"}, {28842, L"Module : %s (%s)"},
      {28843, L"Pas de module"},        {28863, L"Detail : %u"},
      {28864, L"Pas de detail"},        {28859, L"Debug :"},
      {28860, L"Pas de debug"},         {28861, L"Infos :"},
      {28862, L"Pas d'infos"},          {28865, L"Sous-erreur %u"},
  };

  static std::wstring Dump(const CXError& e, eXERROR_INFO flags) { return W(e.StringDump(flags).pszGet()); }
};

TEST_F(DumpTest, ClearErrorGivesCodeAndLevel) {
  CXError e(Rec());
  EXPECT_EQ(Dump(e, kFilled), L"Code : 0\r\nNiveau 1\r\n");
}

TEST_F(DumpTest, ClearErrorWithEverySection) {
  CXError e(Rec());
  EXPECT_EQ(Dump(e, XEI_ALL),
            L"Pas de message\r\n"
            L"\r\nCode : 0\r\nNiveau 1\r\nCode 55 : 0\r\n"
            L"\r\nPas d'erreur systeme\r\nPas de message systeme\r\n"
            L"\r\nPas de module\r\nPas de detail\r\nPas de debug\r\nPas d'infos\r\n");
  EXPECT_EQ(Dump(e, XEI_USERMESSAGE), L"Pas de message\r\n");
}

TEST_F(DumpTest, ErrorWithTwoSubErrors) {
  CXError e(Rec()), s1(Rec()), s2(Rec());
  e.SetUserErrorCode(7);
  e.SetErrorLevel(ERRORLEVEL_ERROR);
  e.AddUserMessage(L"P");
  e.InitModName(L"M");
  e.InitModVersion(L"V");
  s1.SetUserErrorCode(1);
  s1.SetErrorLevel(ERRORLEVEL_ERROR);
  s1.AddUserMessage(L"S1");
  s1.AddInfo(EIT_ITEMNAME, L"NOM");
  s2.SetUserErrorCode(2);
  s2.SetErrorLevel(ERRORLEVEL_WARNING);
  s2.AddUserMessage(L"S2");
  s2.SetSystemError(5, L"sys");
  e.AddSubError(&s1);
  e.AddSubError(&s2);
  EXPECT_EQ(Dump(e, kFilled),
            L"Message :\r\nP\r\nS1\r\n"
            L"\r\nCode : 7\r\nNiveau 3\r\n"
            L"\r\nModule : M (V)\r\n"
            L"\r\n"
            L"\r\n----- Sous-erreur 1 -----\r\n\r\n"
            L"Message :\r\nS1\r\n"
            L"\r\nCode : 1\r\nNiveau 3\r\n"
            L"\r\nInfos :\r\nEIT_ITEMNAME : <NOM>"
            L"\r\n"
            L"\r\n----- Sous-erreur 2 -----\r\n\r\n"
            L"Message :\r\nS2\r\n"
            L"\r\nCode : 2\r\nNiveau 2\r\n"
            L"\r\nErreur systeme : 5\r\nMessage systeme :\r\nsys"
            L"\r\n");
}

TEST_F(DumpTest, ContextLines) {
  CXError e(Rec());
  e.SetVMContext(L"Clic", L"BTN_OK", 12, 3);
  e.SetFunctionName(L"HAjoute", 2);
  EXPECT_EQ(Dump(e, XEI_CONTEXT | XEI_ONLYFILLED),
            L"Contexte :\r\nTraitement Clic (BTN_OK) ligne 12 thread 3\r\nFonction HAjoute (syntaxe 2)\r\n");
  CXError f(Rec());
  f.SetVMContext(L"Init", 65535, 1);
  EXPECT_EQ(Dump(f, XEI_CONTEXT | XEI_USERCODE),
            L"Contexte :\r\nTraitement Init thread 1\r\n\r\nCode : 0\r\n");
}

TEST_F(DumpTest, UserMessageCaptionCanBeLeftOut) {
  CXError e(Rec());
  e.AddUserMessage(L"texte");
  EXPECT_EQ(Dump(e, XEI_USERMESSAGE | XEI_NOUSERCAPTION), L"texte\r\n");
  EXPECT_EQ(Dump(e, XEI_USERMESSAGE), L"Message :\r\ntexte\r\n");
}

TEST_F(DumpTest, LevelCaptions) {
  const struct {
    uint32_t nLevel;
    const wchar_t* pszLine;
  } kLevels[] = {{2, L"Niveau 2\r\n"},          {3, L"Niveau 3\r\n"},
                 {0x40000004, L"Niveau 3\r\n"}, {0x40000008, L"Niveau 3\r\n"},
                 {0x10001, L"Niveau systeme\r\n"}, {0x10006, L"Niveau systeme\r\n"},
                 {0x20001, L"Niveau systeme\r\n"}, {0x10007, L"Niveau 65543\r\n"}};
  for (const auto& l : kLevels) {
    CXError e(Rec());
    e.SetErrorLevel(static_cast<eERRORLEVEL>(l.nLevel));
    EXPECT_EQ(Dump(e, XEI_LEVEL), l.pszLine) << l.nLevel;
  }
}

TEST_F(DumpTest, SystemModuleDetailDebugGroups) {
  CXError e(Rec());
  e.SetUserErrorCode55(9);
  e.SetSystemError(13, L"refus");
  e.InitModInfo(Rec(), TRUE);
  e.SetDetailId(28544);
  e.AddDebugMessageNoFormat(L"d1");
  EXPECT_EQ(Dump(e, XEI_USERCODE55 | XEI_SYSCODE | XEI_SYSMESSAGE | XEI_MODULE | XEI_DETAILID | XEI_DEBUGMESSAGE |
                        XEI_ONLYFILLED),
            L"Code 55 : 9\r\n"
            L"\r\nErreur systeme : 13\r\nMessage systeme :\r\nrefus"
            L"\r\nModule : qx200msql.so (20.0.10.0)\r\nDetail : 28544\r\nDebug :\r\nd1\r\n");
}

TEST_F(DumpTest, InformationItems) {
  CXError e(Rec());
  const long long rec = 5000000000LL;
  const int native = -5;
  const unsigned int xinfo = 6;
  int dummy = 0;
  e.AddInfo(EIT_RECNUM, &rec);
  e.AddInfo(EIT_SRCFILE, L"");  // an empty text has no line
  e.AddInfo(EIT_NATIVECODE, &native);
  e.AddInfo(EIT_PRIVATEPTR, &dummy);  // never dumped
  e.AddInfo(EIT_XINFO, &xinfo);
  e.AddInfo(EIT_PILEZV, L"a\r\nb");
  e.AddInfo(EIT_POSITION_ERREUR, L"L3");
  EXPECT_EQ(Dump(e, XEI_INFO),
            L"Infos :\r\nEIT_RECNUM : <5000000000>\r\nEIT_NATIVECODE : <-5>\r\nEIT_XINFO : <6>"
            L"\r\nEIT_PILEZV :\r\na\r\nb\r\nEIT_POSITION_ERREUR : <L3>");
}

TEST_F(DumpTest, OneItemLine) {
  CXError e(Rec());
  CTString line;
  e.__DumpInfo(EIT_SRCFILE, L"", line, 0);
  EXPECT_EQ(W(line.pszGet()), L"");
  e.__DumpInfo(EIT_POSITION_ERREUR, nullptr, line, 0);
  EXPECT_EQ(W(line.pszGet()), L"EIT_POSITION_ERREUR : <>");
  e.__DumpInfo(EIT_PRIVATEPTR, &line, line, 1);
  EXPECT_EQ(W(line.pszGet()), L"");
  e.__DumpInfo(EIT_EXCEPTIONDOTNET, &line, line, 0);
  EXPECT_EQ(W(line.pszGet()), L"EIT_EXCEPTIONDOTNET");
  const long long t = -1;
  e.__DumpInfo(EIT_HLOCKTIME, &t, line, 0);
  EXPECT_EQ(W(line.pszGet()), L"EIT_HLOCKTIME : <-1>");

  CTString out(L"avant|");
  e.DumpInfo(EIT_DATEHEURE, L"", &out);
  e.DumpInfo(EIT_ITEMNAME, L"NOM", &out);
  e.DumpInfo(EIT_ITEMNAME, L"X", nullptr);
  EXPECT_EQ(W(out.pszGet()), L"avant|EIT_DATEHEURE : EIT_ITEMNAME : <NOM>");
}

TEST_F(DumpTest, AppendsToWhatOutHolds) {
  CXError e(Rec());
  CTString out(L"Erreur\r\n");
  e.StringDump(out, XEI_LEVEL);
  EXPECT_EQ(W(out.pszGet()), L"Erreur\r\nNiveau 1\r\n");
}

}  // namespace
