// The formatted SQL of a command, its row-limit rewrites, the scanners of SQL text and the
// command's dump.
//
// The scanners run over wide text and over the formatted SQL's own units (bytes of a single-byte
// or UTF-8 code page): they look only for ASCII keywords, quotes and separators, which no byte of
// a multi-byte sequence can imitate, and they never read past the length they are given (a
// literal may hold a NUL). Keywords match in ASCII case only: an SQL keyword is ASCII.
#include <cwchar>
#include <cwctype>
#include <string>

#include "common/xystring.h"
#include "driver/naconnectiondescription.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"
#include "driver/naliteraltext.h"
#include "sql/nacommand.h"
#include "sql/nacolumn.h"
#include "sql/naconvertvariant.h"
#include "sql/sqlparserinfo.h"

namespace {

enum { kSitePosition = 11 };
constexpr unsigned int kErrInternal = 24;

template <typename T>
unsigned int Unit(T c) {
  return static_cast<unsigned int>(static_cast<std::make_unsigned_t<T>>(c));
}

template <typename T>
bool Blank(T c) {
  const unsigned int u = Unit(c);
  return u == ' ' || u == '\t' || u == '\n' || u == '\r';
}

template <typename T>
bool Separator(T c) {
  const unsigned int u = Unit(c);
  return Blank(c) || u == '!' || u == '%' || u == '(' || u == ')' || u == '*' || u == '+' || u == ',' || u == '-' ||
         u == '/' || u == '=';
}

template <typename T>
bool Digit(T c) {
  return Unit(c) >= '0' && Unit(c) <= '9';
}

unsigned int Upper(unsigned int u) { return u >= 'a' && u <= 'z' ? u - 32 : u; }

int Length(const wchar_t* s) { return s != nullptr ? static_cast<int>(wcslen(s)) : 0; }

// The word of k units (ASCII, any case) stands at i of text[0, n).
template <typename T>
bool At(const T* text, int n, int i, const wchar_t* word, int k) {
  if (k == 0 || i < 0 || i > n - k) return false;
  for (int j = 0; j < k; ++j)
    if (Upper(Unit(text[i + j])) != Upper(static_cast<unsigned int>(word[j]))) return false;
  return true;
}

template <typename T>
bool At(const T* text, int n, int i, const wchar_t* word) {
  return At(text, n, i, word, Length(word));
}

template <typename T>
int SkipBlanks(const T* text, int n, int i) {
  while (i < n && Blank(text[i])) ++i;
  return i;
}

// The decimal number at *i, which moves past its digits; false when it does not fit 64 bits.
template <typename T>
bool ReadNumber(const T* text, int n, int* i, long long* value) {
  unsigned long long v = 0;
  for (; *i < n && Digit(text[*i]); ++*i) {
    const unsigned int d = Unit(text[*i]) - '0';
    if (v > (9223372036854775807ULL - d) / 10) return false;
    v = v * 10 + d;
  }
  *value = static_cast<long long>(v);
  return true;
}

template <typename T>
int ClauseStart(const T* text, int n, const wchar_t* keyword, const wchar_t* open, const wchar_t* close, int from) {
  if (text == nullptr || n <= 0 || Length(keyword) == 0) return -1;
  const int kl = Length(keyword), cl = Length(close);
  const bool sameQuotes = cl > 0 && open != nullptr && wcscmp(open, close) == 0;
  int i = from < 0 || from >= n ? n - 1 : from;
  bool inName = false, inLiteral = false;
  while (i >= 1) {
    const unsigned int c = Unit(text[i]);
    if (inName) {
      // A name is left at its opening quote whatever stands before it; a closing quote doubled
      // inside the name (when both quotes are one text) stays inside.
      if (At(text, n, i, open)) {
        if (sameQuotes && i >= cl && At(text, n, i - cl, close)) {
          i -= cl + 1;
          continue;
        }
        inName = false;
      }
      --i;
    } else if (inLiteral) {
      if (c == '\'' && (Unit(text[i - 1]) == '\\' || Unit(text[i - 1]) == '\'')) {
        i -= 2;
        continue;
      }
      if (c == '\'') inLiteral = false;
      --i;
    } else if (c == '\'') {
      inLiteral = true;
      --i;
    } else if (cl > 0 && At(text, n, i, close)) {
      // Whatever follows it: a qualifier's "." as well as a separator or the end of the text.
      inName = true;
      --i;
    } else if (At(text, n, i, keyword) && Separator(text[i - 1]) && i + kl < n && Separator(text[i + kl])) {
      return i;
    } else {
      --i;
    }
  }
  return -1;
}

// Ignoring separators at its end, the text ends with word, a separator at index 1 or more before.
template <typename T>
bool EndsWith(const T* text, int n, const wchar_t* word) {
  while (n > 0 && Separator(text[n - 1])) --n;
  const int start = n - Length(word);
  return start >= 2 && At(text, n, start, word) && Separator(text[start - 1]);
}

// f(content, length) on the builder's own units.
template <typename F>
auto OnContent(CTStringConcatAW* builder, F f) {
  if (builder->bIsWide()) return f(builder->pszGetW(), builder->nGetLength());
  return f(builder->pszGetA(), builder->nGetLength());
}

}  // namespace

// ---------------------------------------------------------------- formatted SQL

int CNACommand::_nFormatedCodePage() const {
  const int cp = m_pclCnx != nullptr ? m_pclCnx->nGetServerCodePage() : -1;
  return cp >= 0 ? cp : CTStringConcatAW::kWideContent;
}

void CNACommand::_AppendLiteral(CTStringConcatAW* literal) {
  if (!m_clFormated.bIsWide() && !literal->bIsWide() && literal->nGetCodePage() == m_clFormated.nGetCodePage())
    m_clFormated.Add(literal->pszGetA(), literal->nGetLength(), static_cast<unsigned int>(m_clFormated.nGetCodePage()));
  else
    m_clFormated.Add(literal->pszGetW(), literal->nGetLengthW());
}

const wchar_t* CNACommand::pszGetFormatedSQLW(ePARAMTYPECONV mode) {
  CTStringConcatAW* formated = pclGetFormatedSQL(mode);
  return formated != nullptr ? formated->pszGetW() : nullptr;
}

const char* CNACommand::pszGetFormatedSQLA(ePARAMTYPECONV mode, int* length) {
  CTStringConcatAW* formated = pclGetFormatedSQL(mode);
  if (length != nullptr) *length = formated != nullptr ? formated->nGetLengthA() : 0;
  return formated != nullptr ? formated->pszGetA() : nullptr;
}

CTStringConcatAW* CNACommand::pclGetFormatedSQL(ePARAMTYPECONV mode) {
  if (m_bFormatedToLast) {
    m_bFormatedToLast = 0;
    const int count = m_tabParameter.nGetCount();
    // The bytes kept stand as a build of this mode and these code pages wrote them.
    const bool same = count > 0 && mode == m_eFormatedMode && m_clFormated.nGetCodePage() == _nFormatedCodePage() &&
                      m_clFormated.nGetAnsiCodePage() == (m_pclCnx != nullptr ? m_pclCnx->nGetHostCodePage() : -1);
    if (same) {
      if (_bResumeIntegerWithKeptTail()) return &m_clFormated;
      return _bFormatFrom(count - 1, m_nLastLiteralPosition, true, mode) ? &m_clFormated : nullptr;
    }
    m_clFormated.Vide();
  }
  if (m_clFormated.bEstVide() && !_bBuildFormatedSQL(mode)) return nullptr;
  return &m_clFormated;
}

BOOL CNACommand::bReplaceLastParameter(CNAParameter* parameter) {
  const int count = m_tabParameter.nGetCount();
  if (parameter == nullptr || count == 0 || m_bRewriteMode ||
      m_tabParameter[count - 1]->nGetPosition() != parameter->nGetPosition())
    return FALSE;
  // The last one itself (its value renewed in place) stays where it is.
  if (m_tabParameter[count - 1] != parameter) {
    if (m_tabParameter.AjouteRef(parameter) == nullptr) return FALSE;
    m_tabParameter.SupprimeRef(count - 1);
  }
  m_clDump.Vide();
  const bool noted = !m_bFormatedToLast && m_nLastLiteralAt >= 0 && !m_clFormated.bEstVide() &&
                     m_nLastLiteralPosition == parameter->nGetPosition() && m_nLastLiteralAt <= m_clFormated.nGetLength();
  if (noted) {
    m_clFormated.Tronque(m_nLastLiteralAt);
    m_bFormatedToLast = 1;
  } else if (!m_bFormatedToLast) {
    ResetFormatedSQL();
  }
  return TRUE;
}

void CNACommand::_CompleteFormatedSQL(const wchar_t* text, int length) { m_clFormated.Add(text, length); }

void CNACommand::_AddSpaceBetween(wchar_t next) {
  const int n = m_clFormated.nGetLength();
  if (n > 0 && !m_clFormated.bIsCharSpace(n - 1) && next != L' ') m_clFormated.Add(L" ", 1);
}

BOOL CNACommand::_bNeedParameterConversionToString(const CNAParameter* parameter, ePARAMTYPECONV mode) const {
  return _bNeedParameterConversionToString(parameter->pclGetValueNoRef(), mode);
}

BOOL CNACommand::_bNeedParameterConversionToString(const CNAConvertVariant* value, ePARAMTYPECONV mode) {
  if (mode == NA_PARAMCONV_NONE || value == nullptr) return FALSE;
  const unsigned short type = value->wGetType();
  const int kind = ZVType2eParamType(type);
  if ((kind & mode) == kind) return TRUE;
  const bool text = (type >= 16 && type <= 23) || type == ZV_CARW || type == ZV_PSTRW || type == 134;
  return text && value->nGetUtilDataSize() == 0;
}

BOOL CNACommand::_bBuildFormatedSQL(ePARAMTYPECONV mode) {
  m_clFormated.Vide();
  m_clFormated.SetCodePages(_nFormatedCodePage(), m_pclCnx != nullptr ? m_pclCnx->nGetHostCodePage() : -1);
  m_eFormatedMode = mode;
  return _bFormatFrom(0, 0, false, mode);
}

BOOL CNACommand::_bFormatFrom(int first, unsigned int previous, bool resumed, ePARAMTYPECONV mode) {
  const wchar_t* text = _Text().pszGetW();
  const unsigned int n = static_cast<unsigned int>(_Text().nGetLength());
  const int count = m_tabParameter.nGetCount();
  BOOL result = TRUE;
  int literalEnd = -1;
  for (int i = first; i < count && result; ++i) {
    CNAParameter* parameter = m_tabParameter[i];
    unsigned int position = parameter->nGetPosition();
    if (position < previous || position > n) {
      // A list that does not fit the text (a parameter shared into another command, an edit
      // that skipped it): nothing of it is written.
      CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSitePosition, m_pclCnx, nullptr,
                                 nullptr, kErrInternal);
      if (m_pclError != nullptr) {
        CTString line;
        line.printf(L"Parameter %d at %u, text of %u characters, previous end %u", i, position, n, previous);
        m_pclError->AddDebugMessageNoFormat(line.pszGet());
      }
      result = FALSE;
      break;
    }
    // The kept bytes already hold the text before the literal that is written again.
    if (i != first || !resumed) {
      _AddSpaceBetween(previous < n ? text[previous] : 0);
      m_clFormated.Add(text + previous, static_cast<int>(position - previous));
    }
    if (i == count - 1) {
      m_nLastLiteralAt = m_clFormated.nGetLength();
      m_nLastLiteralPosition = position;
    }
    result = _bAddParameterFormated(parameter, mode, &position);
    previous = position < n ? position : n;
    if (i == count - 1 && result) {
      literalEnd = m_clFormated.nGetLength();
      // A resumed build whose rest is what the last one wrote takes its bytes.
      if (resumed && i == first && _bAppendKeptTail(text, n, previous)) return TRUE;
    }
  }
  if (!result) {
    // Nothing half-built is ever handed out: the next request builds again.
    ResetFormatedSQL();
    m_nLastLiteralAt = -1;
    return FALSE;
  }
  if (count == 0) m_nLastLiteralAt = -1;
  m_clKeptTail.set = false;
  const unsigned int literalTextEnd = previous;
  if (previous < n) {
    _AddSpaceBetween(text[previous]);
    m_clFormated.Add(text + previous, static_cast<int>(n - previous));
  }
  const int rewriteAt = m_clFormated.nGetLength();
  _RewriteRowLimit();
  if (m_nLastLiteralAt >= 0 && literalEnd >= 0) _KeepTail(text, n, literalEnd, literalTextEnd, rewriteAt);
  return TRUE;
}

void CNACommand::_KeepTail(const wchar_t* text, unsigned int n, int literalEnd, unsigned int previous, int rewriteAt) {
  STKeptTail& kept = m_clKeptTail;
  const int dialect = m_pclCnx != nullptr ? m_pclCnx->nGetDataSource() : 0;
  if (dialect == 5 || dialect == 6) {
    // The TOP-into-LIMIT pass reads the head up to the character after a TOP and, from the end
    // back over its separators, "LIMIT 0" and the separator before: both must lie on their side
    // of the literal.
    const bool sides = OnContent(&m_clFormated, [&](const auto* units, int) {
      const int top = SkipBlanks(units, m_nLastLiteralAt, 6);
      int end = rewriteAt;
      while (end > literalEnd && Separator(units[end - 1])) --end;
      return m_nLastLiteralAt >= 12 && top + 3 < m_nLastLiteralAt && end - 8 >= literalEnd;
    });
    if (!sides) return;
  }
  kept.wide = m_clFormated.bIsWide() != 0;
  kept.literalEndsBlank = literalEnd > 0 && m_clFormated.bIsCharSpace(literalEnd - 1);
  kept.previous = previous;
  kept.rowLimit = m_llRowLimit;
  kept.rowOffset = m_llRowOffset;
  kept.dialect = dialect;
  kept.text.assign(text + previous, n - previous);
  const int units = m_clFormated.nGetLength() - literalEnd;
  if (kept.wide)
    kept.units.assign(reinterpret_cast<const char*>(m_clFormated.pszGetW() + literalEnd), units * sizeof(wchar_t));
  else
    kept.units.assign(m_clFormated.pszGetA() + literalEnd, static_cast<size_t>(units));
  kept.set = true;
}

inline bool CNACommand::_bKeptTailFits(const wchar_t* text, unsigned int n, unsigned int previous, bool endsBlank) {
  const STKeptTail& kept = m_clKeptTail;
  return kept.set && !m_bRewriteMode && previous == kept.previous && m_llRowLimit == kept.rowLimit &&
         m_llRowOffset == kept.rowOffset && (m_clFormated.bIsWide() != 0) == kept.wide &&
         endsBlank == kept.literalEndsBlank &&
         (m_pclCnx != nullptr ? m_pclCnx->nGetDataSource() : 0) == kept.dialect &&
         n == previous + kept.text.size() && wmemcmp(text + previous, kept.text.data(), kept.text.size()) == 0;
}

bool CNACommand::_bAppendKeptTail(const wchar_t* text, unsigned int n, unsigned int previous) {
  const STKeptTail& kept = m_clKeptTail;
  if (!kept.set) return false;
  const int length = m_clFormated.nGetLength();
  if (!_bKeptTailFits(text, n, previous, length > 0 && m_clFormated.bIsCharSpace(length - 1))) return false;
  if (kept.wide)
    m_clFormated.Add(reinterpret_cast<const wchar_t*>(kept.units.data()),
                     static_cast<int>(kept.units.size() / sizeof(wchar_t)));
  else
    m_clFormated.Add(kept.units.data(), static_cast<int>(kept.units.size()),
                     static_cast<unsigned int>(m_clFormated.nGetCodePage()));
  return true;
}

bool CNACommand::_bResumeIntegerWithKeptTail() {
  const STKeptTail& kept = m_clKeptTail;
  // The digits never end with a blank; a kept tail in front of one would be written otherwise.
  if (!kept.set || kept.wide || kept.literalEndsBlank || m_pclCnx == nullptr) return false;
  CNAParameter* parameter = m_tabParameter[m_tabParameter.nGetCount() - 1];
  CLiteralText digits;
  if (!_bIntegerDigits(parameter, &digits)) return false;
  const wchar_t* text = _Text().pszGetW();
  const unsigned int n = static_cast<unsigned int>(_Text().nGetLength());
  const unsigned int position = parameter->nGetPosition();
  // A place out of the text is the general road's error.
  if (position < m_nLastLiteralPosition || position > n) return false;
  if (!_bKeptTailFits(text, n, position, false)) return false;
  m_nLastLiteralAt = m_clFormated.nGetLength();
  m_nLastLiteralPosition = position;
  const unsigned int cp = static_cast<unsigned int>(m_clFormated.nGetCodePage());
  // The digits are ASCII, the same bytes in the formatted SQL's code page: one addition for both.
  m_clFormated.AddTwo(digits.pszGet(), digits.nGetLength(), kept.units.data(), static_cast<int>(kept.units.size()),
                      cp);
  return true;
}

bool CNACommand::_bIntegerDigits(CNAParameter* parameter, CLiteralText* digits) const {
  int cp = 0;
  if (parameter->dwGetOptions() != 0 || parameter->pclGetWrittenLiteral(&cp) != nullptr) return false;
  const CNAConvertVariant* holder = parameter->pclGetValueNoRef();
  if (holder == nullptr || (holder->eGetVarType() != NA_VAR_ANY && holder->eGetVarType() != NA_VAR_NOTREAD))
    return false;
  const CAny* value = nullptr;
  holder->CNAVariant::bGetValue(&value);
  eNA_ITEMTYPE db = NA_IT_EMPTY, analysis = NA_IT_EMPTY;
  parameter->bGetZVTypeInfo(&db, &analysis);
  if (analysis == NA_IT_EMPTY) analysis = holder->eNAGetItemTypeValue();
  return CNAConnectionDescription::s_bIntegerLiteral(m_clFormated, value, db, analysis, digits);
}

void CNACommand::_RewriteRowLimit() {
  const int dialect = m_pclCnx != nullptr ? m_pclCnx->nGetDataSource() : 0;
  const bool limits = dialect >= 1 && dialect <= 3, tops = dialect == 5 || dialect == 6;
  if (!limits && !tops) return;
  // Only a SELECT has a row limit to rewrite: other statements (every add) are not scanned.
  const bool select = OnContent(&m_clFormated, [](const auto* text, int n) { return At(text, n, 0, L"SELECT", 6); });
  // These rewrites may change what stands before the last literal: its place is forgotten.
  if (limits) {
    m_nLastLiteralAt = -1;
    if (select) _RemplaceLimitParTop();
  }
  // A TOP phrase cut from the head moved every byte after it.
  if (tops && select && _RemplaceTopParLimit()) m_nLastLiteralAt = -1;
}

BOOL CNACommand::_bAddParameterFormated(CNAParameter* parameter, ePARAMTYPECONV mode, unsigned int* position) {
  int cp = 0;
  if (const CXYStringConcat<char>* literal = parameter->pclGetWrittenLiteral(&cp)) {
    // Written for this formatted SQL's code page: its bytes as they are (converted only if the
    // connection changed its code page since).
    m_clFormated.Add(literal->pszGet(), static_cast<int>(literal->nGetLength()), static_cast<unsigned int>(cp));
    return TRUE;
  }
  const unsigned int options = parameter->dwGetOptions();
  eNA_ITEMTYPE db = NA_IT_EMPTY, analysis = NA_IT_EMPTY;
  if ((options & NA_PARAM_FILE) != 0) {
    // A value whose file cannot be read is no value: the text is not sent with the file's name
    // in its place.
    if (!parameter->bLoadFile(m_pclError)) return FALSE;
    parameter->bGetZVTypeInfo(&db, &analysis);
    if (analysis == NA_IT_EMPTY)
      analysis = (options & NA_PARAM_FILE_TEXT) != 0 ? NA_IT_MEMOTEXTE : NA_IT_MEMOBINAIRE;
  } else {
    parameter->bGetZVTypeInfo(&db, &analysis);
  }
  if ((options & NA_PARAM_LIKE) != 0) return _bAddParameterFormatedLike(parameter, db, analysis, mode, position);
  return _bAddParameterFormated(parameter, db, analysis, mode, position);
}

BOOL CNACommand::_bAddParameterFormated(CNAParameter* parameter, eNA_ITEMTYPE db, eNA_ITEMTYPE analysis,
                                        ePARAMTYPECONV, unsigned int*) {
  if ((parameter->dwGetOptions() & NA_PARAM_BIND) != 0) _bUpdateParameterValue(parameter);
  CNAConvertVariant* holder = parameter->pclGetValueNoRef();
  if (holder == nullptr || m_pclCnx == nullptr) return FALSE;
  // A holder of its own value is read in place; one over a buffer makes the value.
  CAny made;
  const CAny* value = &made;
  if (holder->eGetVarType() == NA_VAR_ANY || holder->eGetVarType() == NA_VAR_NOTREAD)
    holder->CNAVariant::bGetValue(&value);
  else
    holder->bGetValue(&made);
  if (analysis == NA_IT_EMPTY) analysis = holder->eNAGetItemTypeValue();
  // An integer's digits go straight in, as the literal writer gives them (a seek's key each time).
  if (CNAConnectionDescription::s_bAppendIntegerLiteral(&m_clFormated, value, db, analysis)) return TRUE;
  if (_bBitLiteral(parameter->pclGetColumnNoRef(), value)) {
    _AppendLiteral(&m_clLiteral);
    return TRUE;
  }
  // The scratch builder keeps its memory from one parameter to the next; a writer may have set
  // other code pages on it.
  m_clLiteral.Vide();
  m_clLiteral.SetCodePages(m_clFormated.nGetCodePage(), m_clFormated.nGetAnsiCodePage());
  if (!m_pclCnx->bConvertValueToString(m_pclError, &m_clLiteral, value, db, analysis)) {
    // A refused value of a record's column names its item (a text the code page cannot carry).
    if (const CNAColumn* column = parameter->pclGetColumnNoRef())
      if (m_pclError != nullptr) m_pclError->SetInfoNames(column->pszGetSourceName(), column->pszGetName());
    return FALSE;
  }
  _AppendLiteral(&m_clLiteral);
  return TRUE;
}

BOOL CNACommand::bFormatEndOfQuery() {
  ISQLParserInformation* parse = m_pclParsedQuery != nullptr ? m_pclParsedQuery->piGetParserNoRef() : nullptr;
  if (parse == nullptr || m_bRewriteMode) return TRUE;
  int end = -1;
  for (int (ISQLParserInformation::*clause)() : {&ISQLParserInformation::nGetOrderByEnd, &ISQLParserInformation::nGetHavingEnd,
                                                 &ISQLParserInformation::nGetGroupByEnd, &ISQLParserInformation::nGetWhereEnd}) {
    end = (parse->*clause)();
    if (end != -1) break;
  }
  const wchar_t* query = parse->pszGetRequete();
  const int n = Length(query);
  if (end < 1 || n <= end + 1) return TRUE;
  // The rewrite copies a tail it reaches (a LIMIT after WHERE): never appended twice.
  const wchar_t* tail = query + end + 1;
  int tailLength = n - end - 1;
  while (tailLength > 0 && iswspace(static_cast<wint_t>(tail[tailLength - 1]))) --tailLength;
  const wchar_t* text = _Text().pszGetW();
  int textLength = _Text().nGetLength();
  while (textLength > 0 && iswspace(static_cast<wint_t>(text[textLength - 1]))) --textLength;
  if (tailLength == 0 ||
      (textLength >= tailLength && wmemcmp(text + textLength - tailLength, tail, static_cast<size_t>(tailLength)) == 0))
    return TRUE;
  return bComplete(query + end + 1, static_cast<unsigned int>(n - end - 1));
}

// ---------------------------------------------------------------- row limits

void CNACommand::_RemplaceLimitParTop() {
  if (m_bRewriteMode || m_pclCnx == nullptr) return;
  const wchar_t *open = m_pclCnx->pszGetQuoteOpen(), *close = m_pclCnx->pszGetQuoteClose();
  long long count = -1;
  int start = 0, end = 0;
  const bool rewrite = OnContent(&m_clFormated, [&](const auto* text, int n) {
    const int limit = ClauseStart(text, n, L"LIMIT", open, close, -1);
    if (limit <= 0) return false;
    int i = limit + 5;
    while (i < n && Separator(text[i])) ++i;
    // TOP has a count only: no number, or an offset and a count, stay as they are.
    if (i >= n || !Digit(text[i]) || !ReadNumber(text, n, &i, &count)) return false;
    // Whatever follows the count but separators (an offset, OFFSET, FOR UPDATE) would be lost.
    while (i < n && Separator(text[i])) ++i;
    if (i < n) return false;
    // The body ends before the blanks in front of LIMIT (a ")" before them is the body's).
    end = limit;
    while (end > 6 && Blank(text[end - 1])) --end;
    start = SkipBlanks(text, end, 6);
    return true;
  });
  if (!rewrite) return;
  m_clFormated.Tronque(end);
  const std::wstring head = L"SELECT TOP " + std::to_wstring(count) + L" ";
  m_clFormated.Remplace(0, start, head.c_str(), static_cast<int>(head.size()));
}

bool CNACommand::_RemplaceTopParLimit() {
  if (m_bRewriteMode) return false;
  long long count = m_llRowLimit;
  int cutStart = 0, cutEnd = 0;
  bool ends0 = false;
  OnContent(&m_clFormated, [&](const auto* text, int n) {
    const int top = SkipBlanks(text, n, 6);
    // TOP is a phrase of its own: a column named top10 is no row count.
    if (n >= 12 && At(text, n, top, L"TOP") && top + 3 < n && Blank(text[top + 3])) {
      int i = SkipBlanks(text, n, top + 3);
      long long value = -1;
      if (i < n && Digit(text[i]) && ReadNumber(text, n, &i, &value)) {
        cutStart = top;
        cutEnd = SkipBlanks(text, n, i);
        count = value;
      }
    }
    ends0 = EndsWith(text, n, L"LIMIT 0");
  });
  const bool top = cutEnd > cutStart;
  if (top) {
    m_clFormated.Coupe(cutStart, cutEnd - cutStart);
    m_llRowLimit = -1;
  }
  // TOP 0 asks for no row; a row limit of 0 means none was set.
  if ((count > 0 || (top && count == 0)) && !ends0) {
    m_clFormated.Add(L" LIMIT ", 7);
    if (m_llRowOffset > 0) {
      m_clFormated.AddNumber(m_llRowOffset);
      m_clFormated.Add(L", ", 2);
    }
    m_clFormated.AddNumber(count);
  }
  return top;
}

// ---------------------------------------------------------------- scanners

BOOL CNACommand::s_bSeparateur(wchar_t c) { return Separator(c); }

int CNACommand::s_nGetClauseStart(const CNAConnectionDescription* cnx, const wchar_t* text, const wchar_t* keyword,
                                  int from) {
  return ClauseStart(text, Length(text), keyword, cnx != nullptr ? cnx->pszGetQuoteOpen() : nullptr,
                     cnx != nullptr ? cnx->pszGetQuoteClose() : nullptr, from);
}

BOOL CNACommand::s_bGetItemNameAndPos(CTString* name, unsigned int* start, unsigned int* end, const wchar_t* text,
                                      unsigned int from) {
  *start = *end = ~0u;
  const int n = Length(text);
  int i = static_cast<int>(from);
  while (i < n && Separator(text[i])) ++i;
  if (i < n) {
    *start = static_cast<unsigned int>(i);
    const wchar_t first = text[i];
    if (first == L'[' || first == L'"') {
      const wchar_t closing = first == L'[' ? L']' : L'"';
      int j = i + 1;
      while (j < n && text[j] != closing) ++j;
      if (j < n) {
        name->Set(text + i + 1, static_cast<unsigned int>(j - i - 1));
        *end = static_cast<unsigned int>(j);
      }
    } else {
      int j = i;
      while (j < n && !Separator(text[j])) ++j;
      if (j < n) {
        name->Set(text + i, static_cast<unsigned int>(j - i));
        *end = static_cast<unsigned int>(j - 1);
      }
    }
  }
  return name->nTaille() != 0;
}

BOOL CNACommand::s_bQueryResultsetLimited(const CNAConnectionDescription* cnx, const wchar_t* text) {
  const int n = Length(text);
  if (!At(text, n, 0, L"SELECT")) return FALSE;
  if (s_nGetClauseStart(cnx, text, L"LIMIT", -1) > 0) return TRUE;
  const int top = SkipBlanks(text, n, 6);
  return n >= 12 && At(text, n, top, L"TOP") && top + 3 < n && Blank(text[top + 3]);
}

BOOL CNACommand::s_bIsQuerySet(const wchar_t* text) {
  const int n = Length(text);
  int i = SkipBlanks(text, n, 0);
  if (!At(text, n, i, L"SET")) return FALSE;
  i = SkipBlanks(text, n, i + 3);
  while (i < n && !Blank(text[i]) && text[i] != L'=') ++i;
  i = SkipBlanks(text, n, i);
  while (i < n && !Blank(text[i])) ++i;
  while (i < n && (Blank(text[i]) || text[i] == L';')) ++i;
  return i == n;
}

BOOL CNACommand::s_bRequeteTerminePar(const wchar_t* text, const wchar_t* word) {
  return EndsWith(text, Length(text), word);
}

int CNACommand::s_nGetPosSuiteRequete(const wchar_t* text, const wchar_t* word) {
  const int n = Length(text);
  const int i = SkipBlanks(text, n, 0);
  return At(text, n, i, word) ? i : -1;
}

BOOL CNACommand::s_bSuiteRequeteCommencePar(const wchar_t* text, const wchar_t* word) {
  return s_nGetPosSuiteRequete(text, word) >= 0;
}

BOOL CNACommand::s_bSuiteRequeteCommenceParMot(const wchar_t* text, const wchar_t* word) {
  const int i = s_nGetPosSuiteRequete(text, word);
  if (i < 0) return FALSE;
  const int after = i + Length(word);
  return after >= Length(text) || Separator(text[after]);
}

// ---------------------------------------------------------------- dump

const wchar_t* CNACommand::pszGetCommandDump() {
  if (!m_clDump.bEstVide()) return m_clDump.pszGetW();
  CNADriver* driver = CNADriver::s_pclDriver.load();
  if (driver != nullptr) driver->InitQueryDumpRessources();
  auto label = [&](eNA_DUMPLABEL which) { return driver != nullptr ? driver->pszGetDumpLabel(which) : L""; };
  auto add = [&](const wchar_t* s) { m_clDump.Add(s, Length(s)); };
  add(label(NA_LABEL_QUERY_TEXT));
  m_clDump.Add(_Text().pszGetW(), _Text().nGetLengthW());
  add(L"\r\n");
  add(label(NA_LABEL_PARAMETER_COUNT));
  add(L"=");
  m_clDump.AddNumber(m_tabParameter.nGetCount());
  add(L"\r\n");
  for (int i = 0; i < m_tabParameter.nGetCount(); ++i) {
    const CNAParameter* parameter = m_tabParameter[i];
    add(label(NA_LABEL_PARAMETER));
    add(L" ");
    m_clDump.AddNumber(i);
    add(L" :\t");
    if ((parameter->dwGetOptions() & NA_PARAM_CURSOR) != 0) {
      add(L" = <cursor parameter>>\r\n");
      continue;
    }
    int cp = 0;
    if (const CXYStringConcat<char>* literal = parameter->pclGetWrittenLiteral(&cp)) {
      add(L"literal = <");
      m_clDump.Add(literal->pszGet(), static_cast<int>(literal->nGetLength()), static_cast<unsigned int>(cp));
      add(L">\r\n");
      continue;
    }
    CAny value;
    if (parameter->pclGetValueNoRef() != nullptr) parameter->pclGetValueNoRef()->bGetValue(&value);
    add(label(NA_LABEL_HOST_TYPE));
    m_clDump.AddNumber(static_cast<int>(value.wGetType()));
    add(L" = <");
    const wchar_t* shown = nullptr;
    if (value.wGetType() == ZV_BUFFER) {
      unsigned int size = 0;
      value.Intern()->nGetDataSize(&size);
      add(L"Buffer, size = ");
      m_clDump.AddNumber(static_cast<long long>(size));
    } else if (value.__nCastToString(&shown, nullptr) < 100 && shown != nullptr) {
      add(shown);
    } else {
      add(label(NA_LABEL_VALUE_NOT_CONVERTIBLE));
    }
    add(L">\r\n");
  }
  return m_clDump.pszGetW();
}
