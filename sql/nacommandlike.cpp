// LIKE patterns of a command: a host pattern is normalised, written as a literal by the
// connection, its escapes adapted to the dialect and the ESCAPE clause the server needs added;
// and the pattern that matches a given text exactly.
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "common/sql_escape.h"
#include "common/str_charclass.h"
#include "common/xystring.h"
#include "driver/naconnectiondescription.h"
#include "driver/naerror.h"
#include "sql/nacommand.h"
#include "sql/naconvertvariant.h"

namespace {

enum { kSitePatternNarrow = 5, kSitePatternWide = 6 };
constexpr unsigned int kErrNoMemory = 12;

// The host pattern with its doubled quotes made single (a backslash before a quote goes too),
// then every escape character that escapes nothing doubled; null without memory. A pattern of
// two quotes is one quote like any other doubled quote.
template <typename T>
T* Normalised(const T* text, T escape) {
  const size_t n = std::char_traits<T>::length(text);
  T* copy = static_cast<T*>(malloc((n + 1) * sizeof(T)));
  if (copy == nullptr) return nullptr;
  memcpy(copy, text, (n + 1) * sizeof(T));
  if (n == 2 && copy[0] == T('\'') && copy[1] == T('\''))
    copy[1] = 0;
  else
    PurgeQuote(copy, TRUE);
  T* escaped = pszEscape(copy, FALSE, FALSE, TRUE, FALSE, FALSE, FALSE, FALSE, FALSE, T('\''), escape);
  free(copy);
  return escaped;
}

template <typename T>
BOOL EscapeExactly(CXYString<T>* out, const T* text, T escape, int extra) {
  const size_t n = text != nullptr ? std::char_traits<T>::length(text) : 0;
  if (n > static_cast<size_t>((CXYString<T>::kMaxUnits - extra) / 2) || out->nSetLength(static_cast<int>(2 * n) + extra) != 0)
    return FALSE;
  static constexpr T kEmpty[1] = {};
  const size_t written = Escape(text != nullptr ? text : kEmpty, out->pGetData(), TRUE, TRUE, TRUE, TRUE, TRUE, TRUE,
                                TRUE, TRUE, T('\''), escape);
  if (written == 0)
    out->ReleaseDynStr();
  else
    out->SetUtilLength(static_cast<int>(written));
  return TRUE;
}

}  // namespace

BOOL CNACommand::_bAddParameterFormatedLike(CNAParameter* parameter, eNA_ITEMTYPE db, eNA_ITEMTYPE analysis,
                                            ePARAMTYPECONV, unsigned int* position) {
  CNAConvertVariant* holder = parameter->pclGetValueNoRef();
  if (holder == nullptr || m_pclCnx == nullptr) return FALSE;
  CAny value;
  holder->bGetValue(&value);
  const wchar_t escape = parameter->cGetEscape() != 0 ? parameter->cGetEscape() : L'\\';
  bool memory = true;
  if (bIsWideTextType(value.wGetType())) {
    const wchar_t* text = nullptr;
    value.Intern()->nGetPCWSTR(&text);
    if (text != nullptr && *text != 0) {
      wchar_t* pattern = Normalised(text, escape);
      memory = pattern != nullptr;
      if (memory) {
        value.__SetType(ZV_DSTRW, 0);
        value.SetValueByte(pattern, static_cast<unsigned int>(wcslen(pattern) * sizeof(wchar_t)));
        free(pattern);
      }
    }
    if (analysis == NA_IT_EMPTY) analysis = NA_IT_UNICODE;
  } else {
    const char narrowEscape =
        STR_WCharToAChar(escape, 0, static_cast<unsigned int>(m_pclCnx->nGetHostCodePage()));
    if (!bIsAnsiTextType(value.wGetType())) value.__nCastTo(ZV_DSTRA, nullptr, 0);
    const char* text = nullptr;
    if (bIsAnsiTextType(value.wGetType())) value.Intern()->nGetPCASTR(&text);
    if (text != nullptr && *text != 0) {
      char* pattern = Normalised(text, narrowEscape);
      memory = pattern != nullptr;
      if (memory) {
        value.__SetType(ZV_PSTRA, 0);
        value.SetValueByte(pattern, static_cast<unsigned int>(strlen(pattern)));
        free(pattern);
      }
    }
    if (analysis == NA_IT_EMPTY) analysis = NA_IT_TEXTE;
  }
  if (!memory) {
    CNAError::g_RaiseNoMemory(m_pclError, m_pclCnx);
    return FALSE;
  }
  return vbAddEscapedLikeValue(parameter, &value, db, analysis, position);
}

BOOL CNACommand::vbAddEscapedLikeValue(CNAParameter* parameter, CAny* pattern, eNA_ITEMTYPE db, eNA_ITEMTYPE analysis,
                                       unsigned int* position) {
  CTStringConcatAW literal(m_clFormated.nGetCodePage(), m_clFormated.nGetAnsiCodePage());
  const BOOL written = m_pclCnx->bConvertValueToString(m_pclError, &literal, pattern, db, analysis);
  const wchar_t escape = parameter->cGetEscape() != 0 ? parameter->cGetEscape() : L'\\';
  if (written) {
    const int dialect = m_pclCnx->nGetDataSource();
    if (dialect == 3) _ChangeEscapement(&literal, escape);
    if (dialect == 2) literal.Remplace(L"[", 1, L"[[]", 3, 0);
    _AppendLiteral(&literal);
  }
  vAddEscapeLikeIfNeeded(parameter, literal.pszGetW(), position);
  return written;
}

void CNACommand::vAddEscapeLikeIfNeeded(CNAParameter* parameter, const wchar_t* literal, unsigned int* position) {
  const wchar_t* text = _Text().pszGetW();
  const unsigned int n = static_cast<unsigned int>(_Text().nGetLength());
  const unsigned int at = *position < n ? *position : n;
  const int escapeAt = s_nGetPosSuiteRequete(text + at, L"ESCAPE");
  const int dialect = m_pclCnx->nGetDataSource();
  const wchar_t escape = parameter->cGetEscape() != 0 ? parameter->cGetEscape() : L'\\';
  // The host's clause goes: past ESCAPE, its opening quote, the character and the closing quote;
  // never past the text.
  const auto skipHostClause = [&] {
    const int quote = _Text().nPos(L'\'', static_cast<int>(at) + escapeAt + 6);
    *position = quote < 0 || static_cast<unsigned int>(quote) + 3 > n ? n : static_cast<unsigned int>(quote) + 3;
  };
  if (dialect == 3) {
    if (escapeAt >= 0) skipHostClause();
    return;
  }
  if (escapeAt >= 0) {
    // The host's '\' is its text's one backslash, which a session that reads backslashes in
    // literals as escapes takes for an unterminated literal.
    if (escape == L'\\' && dialect == 5 && m_pclCnx->bLikeEscapesByBackslash()) {
      skipHostClause();
      _CompleteFormatedSQL(L" ESCAPE '\\\\'", 12);
    }
    return;
  }
  // With another escape character MySQL still reads a backslash of the pattern as its own escape
  // unless the clause names the host's.
  const bool needed = wcschr(literal, escape) != nullptr ||
                      (dialect == 5 && escape != L'\\' && wcschr(literal, L'\\') != nullptr);
  if (!needed) return;
  if (escape != L'\\') {
    const wchar_t clause[] = {L' ', L'E', L'S', L'C', L'A', L'P', L'E', L' ', L'\'', escape, L'\'', 0};
    _CompleteFormatedSQL(clause, 11);
  } else if (dialect == 12 || (dialect == 6 && m_pclCnx->nGetServerVersionMajor() < 9)) {
    _CompleteFormatedSQL(L" ESCAPE '\\\\'", 12);
  } else if (dialect != 5 || !m_pclCnx->bLikeEscapesByBackslash()) {
    // Under NO_BACKSLASH_ESCAPES the literal '\' is the one backslash.
    _CompleteFormatedSQL(L" ESCAPE '\\'", 11);
  }
}

void CNACommand::_ChangeEscapement(CTStringConcatAW* literal, wchar_t escape) {
  using E = CNAConnectionDescription;
  wchar_t* changed = pszChangeEscape(literal->pszGetW(), m_pclCnx->pszGetLikeEscape(E::LIKE_PERCENT),
                                     m_pclCnx->pszGetLikeEscape(E::LIKE_PERCENT_PREFIX),
                                     m_pclCnx->pszGetLikeEscape(E::LIKE_PERCENT_SUFFIX),
                                     m_pclCnx->pszGetLikeEscape(E::LIKE_UNDERSCORE),
                                     m_pclCnx->pszGetLikeEscape(E::LIKE_UNDERSCORE_PREFIX),
                                     m_pclCnx->pszGetLikeEscape(E::LIKE_UNDERSCORE_SUFFIX), escape);
  if (changed == nullptr) return;
  literal->SetStrCte(changed, static_cast<int>(wcslen(changed)));
  free(changed);
}

BOOL CNACommand::bEscapeLIKEParamAsKJParam(CXYString<wchar_t>* out, const wchar_t* text, wchar_t escape) {
  if (EscapeExactly(out, text, escape != 0 ? escape : L'\\', 12)) return TRUE;
  CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSitePatternWide, m_pclCnx, nullptr, nullptr,
                             kErrNoMemory);
  return FALSE;
}

BOOL CNACommand::bEscapeLIKEParamAsKJParam(CXYString<char>* out, const char* text, char escape) {
  if (EscapeExactly(out, text, escape != 0 ? escape : '\\', 3)) return TRUE;
  CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSitePatternNarrow, m_pclCnx, nullptr,
                             nullptr, kErrNoMemory);
  return FALSE;
}
