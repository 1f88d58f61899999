// A command writes the host's expression trees in the server's dialect: the walk copies the
// host's text between the nodes it rewrites (column references, calculated columns, functions the
// dialect names or orders differently, literals taken out as typed parameters, comparisons of a
// date with an empty one). The per-dialect rules are tables below.
#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <initializer_list>
#include <string>

#include "access/nadatasourcedescription.h"
#include "access/narecord.h"
#include "common/str_compare.h"
#include "driver/inadatasourcedescription.h"
#include "driver/naconnectiondescription.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"
#include "sql/inaitemdescription.h"
#include "sql/isqlparserinformation.h"
#include "sql/nacolumn.h"
#include "sql/nacommand.h"
#include "sql/naconvertvariant.h"
#include "sql/sqlparserinfo.h"
#include "values/xtime.h"

namespace {

enum { kSiteSelfReference = 1, kSiteUnsupported = 7 };
constexpr unsigned int kErrSelfReference = 32;
constexpr unsigned int kErrUnsupported = 48;

bool bIn(int v, std::initializer_list<int> set) { return std::find(set.begin(), set.end(), v) != set.end(); }
bool bBetween(int v, int from, int to) { return v >= from && v <= to; }
bool bHasText(const wchar_t* s) { return s != nullptr && *s != 0; }
bool bIsDateItem(eNA_ITEMTYPE t) { return t == NA_IT_DATE6 || t == NA_IT_DATE8 || t == NA_IT_DATETIME; }
bool bIsHostText(unsigned short t) { return bIsAnsiTextType(t) || bIsWideTextType(t); }
eNA_ITEMTYPE ItemType(const INAItemDescription* item) { return item != nullptr ? item->eNAGetItemType() : NA_IT_EMPTY; }
eOPEXPRESSION Op(int op) { return static_cast<eOPEXPRESSION>(op); }
eOPEXPRESSION OpOf(IExpOpExpression* node) { return node != nullptr ? node->eGetOperator() : Op(-1); }

// ---------------------------------------------------------------- per-dialect tables

// Names of operators and functions by dialect; a dialect list ends at its first 0.
struct STRename {
  int op;
  int dialects[6];
  const wchar_t* name;
};
constexpr STRename kRenames[] = {
    {7, {11}, L"NVL"},
    {8, {11}, L"NVL"},
    {42, {6}, L"SUBSTRING"},
    {42, {1, 11, 13}, L"SUBSTR"},
    {43, {6}, L"SUBSTRING"},
    {43, {1, 11, 13}, L"SUBSTR"},
    {44, {2, 4, 6}, L"SUBSTRING"},
    {44, {1, 8, 11}, L"SUBSTR"},
    {44, {7}, L"SYSIBM.SUBSTR"},
    {45, {7}, L"UCASE"},
    {46, {7}, L"LCASE"},
    {50, {2, 4, 6}, L"SUBSTRING"},
    {50, {7}, L"SYSIBM.SUBSTR"},
    {51, {7}, L"SYSIBM.SUBSTR"},
    {51, {1, 11, 13}, L"SUBSTR"},
    {52, {11}, L"TRIM"},
    {53, {11}, L"TRIM"},
    {54, {2}, L"LEN"},
    {54, {4}, L"CHAR_LENGTH"},
    {55, {1, 7, 8, 11, 13}, L"LENGTH"},
    {72, {1}, L"CEIL"},
    {75, {1}, L"SUBSTR"},
    {76, {1}, L"SUBSTR"},
    {77, {1}, L"LENGTH"},
    {78, {1}, L"LENGTH"},
    {79, {1}, L"LENGTHB"},
    {89, {1}, L"INSTR"},
    {92, {1}, L"TO_CHAR"},
    {92, {11}, L"SUBSTR(HEX"},
};

template <size_t N>
bool bInDialects(const int (&dialects)[N], int dialect) {
  for (int d : dialects) {
    if (d == 0) return false;
    if (d == dialect) return true;
  }
  return false;
}

// What a dialect writes around an argument of a function.
enum eARGUMENTACTION {
  ARG_TEXT,               // the row's text
  ARG_RIGHT_BY_NEGATIVE,  // ",-(" + the length argument + ") "
  ARG_RIGHT_BY_LEAST,     // ",-LEAST(LENGTH(" + argument 0 + ")," + the length ...
  ARG_SKIP_PAST_FROM,     // the host's "FROM" skipped, "," instead
  ARG_SKIP_PAST_FOR,      // the host's "FOR" skipped, "," instead
  ARG_SECOND_AHEAD,       // argument 1 + the row's text
  ARG_SKIP_SECOND,        // argument 1, written ahead, passed over
  ARG_SKIP_ONE_COMMA,     // blanks and one "," passed over
};
// argTo -1: no upper bound.
struct STArgument {
  int op;
  int dialects[5];
  bool before;
  int argFrom, argTo;
  eARGUMENTACTION action;
  const wchar_t* text;
};
constexpr STArgument kArguments[] = {
    {42, {1, 6, 11, 13}, false, 0, 0, ARG_TEXT, L",1"},
    {43, {6, 11, 13}, false, 0, 0, ARG_RIGHT_BY_NEGATIVE, nullptr},
    {43, {1}, false, 0, 0, ARG_RIGHT_BY_LEAST, nullptr},
    {43, {1}, false, 1, 1, ARG_TEXT, L")"},
    {52, {11}, true, 0, -1, ARG_TEXT, L"LEADING FROM "},
    {53, {11}, true, 0, -1, ARG_TEXT, L"TRAILING FROM "},
    {75, {1}, false, 0, 0, ARG_SKIP_PAST_FROM, nullptr},
    {76, {1}, false, 0, 0, ARG_SKIP_PAST_FROM, nullptr},
    {75, {1}, false, 1, 1, ARG_SKIP_PAST_FOR, nullptr},
    {76, {1}, false, 1, 1, ARG_SKIP_PAST_FOR, nullptr},
    {80, {1}, true, 0, 0, ARG_SECOND_AHEAD, L" FROM "},
    {89, {1}, true, 0, 0, ARG_SECOND_AHEAD, L" , "},
    {80, {1}, false, 0, 0, ARG_SKIP_SECOND, nullptr},
    {89, {1}, false, 0, 0, ARG_SKIP_SECOND, nullptr},
    {92, {1}, false, 0, -1, ARG_TEXT, L",'FMXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX'"},
    {92, {11}, false, 0, 0, ARG_TEXT, L"),3"},
    {88, {1}, true, 2, 2, ARG_TEXT, L")||("},
    {88, {1}, true, 3, -1, ARG_TEXT, L"||"},
    {88, {1}, false, 1, -1, ARG_SKIP_ONE_COMMA, nullptr},
};

// Type of an argument of an operator; "drop" gives the current item back.
enum eTYPEACTION {
  TYPE_INCOMING,           // the type the node was given
  TYPE_NONE,               // 0
  TYPE_NONE_DROP,          // 0, drop
  TYPE_NONE_DROP_IF_LAST,  // 0, drop when it is the last argument
  TYPE_TEXT_BY_CODE_PAGE,  // drop; UNICODE on a wide or UTF-8 connection, else TEXTE
  TYPE_DATETIME_UNLESS_DATE,
  TYPE_I4_DROP,
  TYPE_DATE8,
  TYPE_DATETIME,
  TYPE_TEXT_DROP,
};
// Argument selectors besides an index.
enum { ARGS_ANY = -1, ARGS_EVEN_AFTER_0 = -2, ARGS_ODD = -3 };
struct STTypeParameter {
  int op;
  int arg;
  eTYPEACTION action;
};
// The first row of the operator whose argument selector matches decides; an operator without a
// row types its arguments by the column format of the current item.
constexpr STTypeParameter kTypeParameters[] = {
    {1, 0, TYPE_INCOMING},          {1, ARGS_ANY, TYPE_NONE},
    {3, 0, TYPE_INCOMING},          {3, ARGS_ANY, TYPE_NONE},
    {59, 1, TYPE_NONE_DROP},        {59, ARGS_ANY, TYPE_NONE},
    {70, 1, TYPE_NONE_DROP},        {70, ARGS_ANY, TYPE_NONE},
    {74, ARGS_ANY, TYPE_NONE_DROP}, {107, ARGS_ANY, TYPE_NONE_DROP},
    {88, ARGS_ANY, TYPE_TEXT_BY_CODE_PAGE},
    {94, 0, TYPE_NONE},             {94, ARGS_EVEN_AFTER_0, TYPE_NONE_DROP}, {94, ARGS_ODD, TYPE_NONE_DROP_IF_LAST},
    {106, 0, TYPE_NONE},            {106, ARGS_EVEN_AFTER_0, TYPE_NONE_DROP}, {106, ARGS_ODD, TYPE_NONE_DROP_IF_LAST},
    {98, 0, TYPE_DATETIME_UNLESS_DATE}, {98, 1, TYPE_I4_DROP}, {98, ARGS_ANY, TYPE_NONE},
    {99, 0, TYPE_DATE8},            {99, ARGS_ANY, TYPE_NONE},
    {100, ARGS_ANY, TYPE_DATE8},
    {101, 0, TYPE_DATE8},           {101, 1, TYPE_NONE_DROP}, {101, ARGS_ANY, TYPE_NONE},
    {102, 0, TYPE_DATETIME},        {102, 1, TYPE_TEXT_DROP}, {102, 2, TYPE_TEXT_DROP}, {102, ARGS_ANY, TYPE_NONE},
};

bool bArgMatches(int selector, unsigned int arg) {
  switch (selector) {
    case ARGS_ANY: return true;
    case ARGS_EVEN_AFTER_0: return arg > 0 && arg % 2 == 0;
    case ARGS_ODD: return arg % 2 == 1;
    default: return static_cast<unsigned int>(selector) == arg;
  }
}

// Whether the current item still types what follows an operator.
enum eRETURNACTION { RETURN_KEEP, RETURN_DROP, RETURN_KEEP_TEXT, RETURN_KEEP_DATE };
struct STRange {
  int from, to;
};
struct STTypeRetour {
  eRETURNACTION action;
  STRange ranges[16];
};
constexpr STTypeRetour kTypeRetour[] = {
    {RETURN_DROP,
     {{7, 7}, {9, 26}, {31, 33}, {48, 49}, {54, 58}, {73, 74}, {77, 79}, {89, 96}, {100, 100}, {106, 108},
      {115, 117}, {135, 135}, {150, 155}}},
    {RETURN_KEEP_TEXT, {{42, 46}, {50, 53}, {75, 76}, {80, 88}, {105, 105}, {118, 130}}},
    {RETURN_KEEP_DATE, {{97, 99}, {101, 102}, {104, 104}, {109, 109}}},
};

eRETURNACTION ReturnAction(int op) {
  for (const STTypeRetour& row : kTypeRetour)
    for (const STRange& r : row.ranges)
      if (r.to != 0 && bBetween(op, r.from, r.to)) return row.action;
  return RETURN_KEEP;
}

// A comparison of a date item with an empty literal, by the connection's NULL ordering.
struct STEmptyDate {
  int op;
  const wchar_t* nullFirst;
  const wchar_t* nullLast;
};
constexpr STEmptyDate kEmptyDates[] = {
    {9, L" IS NULL ", L" IS NULL "},       {10, L" IS NOT NULL ", L" IS NOT NULL "},
    {11, L" 0=1 ", L" IS NOT NULL "},      {12, L" IS NULL ", L" 1=1 "},
    {13, L" IS NOT NULL ", L" 0=1 "},      {14, L" 1=1 ", L" IS NULL "},
};

void SetWideText(CAny* value, const std::wstring& text) {
  *value = CAny();
  value->__SetType(ZV_DSTRW, 0);
  value->SetValueByte(text.data(), static_cast<unsigned int>(text.size() * sizeof(wchar_t)));
}

// The text of a host value as wide text ("" for none).
std::wstring HostText(const CAny& value) {
  CAny copy(value);
  const wchar_t* text = nullptr;
  if (copy.__nCastToString(&text, nullptr) >= 100 || text == nullptr) return L"";
  return text;
}

bool bAllDigits(const std::wstring& text) {
  return std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

// text written the server's way, 'YYYY-MM-DD' then optionally ' ' or 'T' and 'HH:MM', ':SS' and
// '.' with 1 to 3 fraction digits, as the digit text a DATE8 or DATETIME column is compared in:
// the date's 8 digits, then the time's 9 digits (hours to milliseconds) for a DATETIME item and
// for a time past midnight, so that text order is the server's date order. "" for any other text.
std::wstring IsoDateAsDigits(const std::wstring& text, eNA_ITEMTYPE itemType) {
  // The longest form, '#' a digit.
  static constexpr wchar_t kShape[] = L"####-##-## ##:##:##.###";
  const size_t n = text.size();
  if (n != 10 && n != 16 && n != 19 && (n < 21 || n > 23)) return L"";
  std::wstring digits;
  for (size_t i = 0; i < n; ++i) {
    const wchar_t c = text[i];
    const bool ok = kShape[i] == L'#' ? c >= L'0' && c <= L'9' : i == 10 ? c == L' ' || c == L'T' : c == kShape[i];
    if (!ok) return L"";
    if (kShape[i] == L'#') digits += c;
  }
  digits.resize(17, L'0');
  if (itemType == NA_IT_DATE8 && digits.find_first_not_of(L'0', 8) == std::wstring::npos) digits.resize(8);
  return digits;
}

bool bIsEmptyLiteral(IExpOpExpression* node) {
  if (node == nullptr || node->eGetOperator() != NA_OPEXP_LITERAL) return false;
  // A bind variable's value is the host's, given at run time: it is not known empty.
  if (bHasText(node->pszGetColumnName())) return false;
  CAny value;
  if (!node->bGetLiteral(&value)) return false;
  if (value.wGetType() == ZV_VIDE) return true;
  return bIsHostText(value.wGetType()) && !value.bIsNull() && HostText(value).empty();
}

// The argument after `after` (null: the first), with a reference for the caller.
IExpOpExpression* NthArgument(IExpOpExpression* node, unsigned int n) {
  IExpOpExpression* arg = node->piGetNextArgument(nullptr);
  for (unsigned int i = 0; arg != nullptr && i < n; ++i) {
    IExpOpExpression* next = node->piGetNextArgument(arg);
    arg->nRelease();
    arg = next;
  }
  return arg;
}

bool bIsWordChar(wchar_t c) { return iswalpha(static_cast<wint_t>(c)) || c == L'_'; }

// Index i is a character of text (not past its end).
bool bWithin(const wchar_t* text, unsigned int i) { return wcsnlen(text, static_cast<size_t>(i) + 1) > i; }

// The index of the first `word` (ASCII, any case) in text from `from`, -1 when none; `limit`
// (when not -1) bounds the search.
int FindWord(const wchar_t* text, unsigned int from, const wchar_t* word, int limit = -1) {
  const size_t n = wcslen(text), k = wcslen(word);
  for (size_t i = from; i + k <= n && (limit < 0 || i < static_cast<size_t>(limit)); ++i)
    if (wcsncasecmp(text + i, word, k) == 0) return static_cast<int>(i);
  return -1;
}

int FindChar(const wchar_t* text, unsigned int from, wchar_t c) {
  const size_t n = wcslen(text);
  for (size_t i = from; i < n; ++i)
    if (text[i] == c) return static_cast<int>(i);
  return -1;
}

}  // namespace

// ---------------------------------------------------------------- text of the walk

void CNACommand::_Append(CTStringConcatAW* out, const wchar_t* text, int length) {
  if (text == nullptr) return;
  const unsigned int n = length < 0 ? static_cast<unsigned int>(wcslen(text)) : static_cast<unsigned int>(length);
  if (out == &_Text())
    bComplete(text, n);
  else
    out->Add(text, static_cast<int>(n));
}

void CNACommand::_CopyText(CTStringConcatAW* out, const wchar_t* text, unsigned int* cursor, unsigned int to) {
  if (text == nullptr || to <= *cursor) return;
  // Never past the text: a position the host gives may lie beyond it.
  const size_t from = wcsnlen(text, *cursor);
  if (from < *cursor) {
    *cursor = to;
    return;
  }
  const size_t n = wcsnlen(text + from, to - *cursor);
  _Append(out, text + from, static_cast<int>(n));
  *cursor = to;
}

void CNACommand::_KeepLiteral(CTStringConcatAW* out, const wchar_t* text, unsigned int* cursor,
                              IExpOpExpression* node) {
  const stTEXTPOSITION place = _stGetPositionExpression(node);
  // The host's text has no escape in a literal: a backslash there would end it elsewhere (and
  // let what follows be read as SQL).
  if (text == nullptr || place.bIsEmpty() || place.nEnd < place.nStart || *cursor > place.nStart ||
      m_pclCnx == nullptr || !m_pclCnx->bLikeEscapesByBackslash())
    return;
  const size_t end = wcsnlen(text, static_cast<size_t>(place.nEnd) + 1);
  if (end <= place.nStart || std::find(text + place.nStart, text + end, L'\\') == text + end) return;
  _CopyText(out, text, cursor, place.nStart);
  std::wstring kept;
  for (size_t i = place.nStart; i < end; ++i) {
    kept += text[i];
    if (text[i] == L'\\') kept += L'\\';
  }
  _Append(out, kept.c_str(), static_cast<int>(kept.size()));
  *cursor = static_cast<unsigned int>(end);
}

void CNACommand::_Truncate(CTStringConcatAW* out, unsigned int length) {
  if (out == &_Text())
    Tronque(length);
  else
    out->Tronque(static_cast<int>(length));
}

stTEXTPOSITION CNACommand::_stGetPositionExpression(IExpOpExpression* node) {
  const int op = node->eGetOperator();
  const stTEXTPOSITION extent = node->stGetExtent();
  if (op == NA_OPEXP_NOT || op == NA_OPEXP_NEGATE || extent.bIsEmpty()) return node->stGetPosition();
  return extent;
}

void CNACommand::_bCopyPreviousQueryContent(CTStringConcatAW* out, unsigned int* cursor, IExpOpExpression* node,
                                            const wchar_t* text) {
  const stTEXTPOSITION place = _stGetPositionExpression(node);
  if (!place.bIsEmpty()) _CopyText(out, text, cursor, place.nStart);
}

CNACommand* CNACommand::_pclNewSubCommand() {
  CNADriver* driver = CNADriver::s_pclDriver.load();
  CNACommand* command = driver != nullptr ? driver->pclAllocCommand(m_pclError, m_pclCnx) : nullptr;
  if (command == nullptr) {
    CNAError::g_RaiseNoMemory(m_pclError, m_pclCnx);
    return nullptr;
  }
  command->AddRef();
  command->m_pCalculChain = m_pCalculChain;
  command->m_bAddParameters = m_bAddParameters;
  return command;
}

// ---------------------------------------------------------------- the walk

BOOL CNACommand::_bExpressionToSQL(CSQLParserInfo* info, CSQLParserInfo* queryInfo, const wchar_t* text,
                                   IExpOpExpression* parent, IExpOpExpression* node, CNASqlElt::eSQLELT kind,
                                   unsigned int* cursor, CTStringConcatAW* out, INAItemDescription** item,
                                   eNA_ITEMTYPE type, unsigned int argIndex) {
  if (node == nullptr) return TRUE;
  const int op = node->eGetOperator();
  if (op == NA_OPEXP_LITERAL || op == NA_OPEXP_COLUMN) {
    if (!_bDoExpressionArgument(info, text, parent, node, kind, cursor, out, TRUE, argIndex)) return FALSE;
    const BOOL written = op == NA_OPEXP_LITERAL
                             ? _bDoExpressionLiteral(info, text, parent, node, kind, *item, cursor, out, type)
                             : _bDoExpressionColonne(info, queryInfo, text, parent, node, kind, cursor, out, item);
    return written && _bDoExpressionArgument(info, text, parent, node, kind, cursor, out, FALSE, argIndex);
  }
  if (op == NA_OPEXP_UNSUPPORTED) {
    CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSiteUnsupported, m_pclCnx, nullptr,
                               nullptr, kErrUnsupported, L"MySQL");
    return FALSE;
  }
  if (!_bDoExpressionArgument(info, text, parent, node, kind, cursor, out, TRUE, argIndex) ||
      !_bDoExpressionOperator(info, text, parent, node, kind, cursor, out))
    return FALSE;
  CParserRef<IExpOpExpression> argument(node->piGetNextArgument(nullptr));
  if (argument.Get() != nullptr) {
    const unsigned int lengthBefore = static_cast<unsigned int>(out->nGetLength());
    const unsigned int cursorBefore = *cursor;
    const eNA_ITEMTYPE first = _eTypeParameter(kind, node, 0, type, item);
    if (!_bExpressionToSQL(info, queryInfo, text, node, argument.Get(), kind, cursor, out, item, first, 0))
      return FALSE;
    if (m_pclCnx != nullptr && m_pclCnx->bTreatEmptyDateAsNULL() && argument.Get()->eGetOperator() == NA_OPEXP_COLUMN &&
        *item != nullptr && _bExpressionDateEmpty(out, cursor, node, text, lengthBefore, *item, cursorBefore)) {
      __FreeItem(item);
      return _bDoExpressionArgument(info, text, parent, node, kind, cursor, out, FALSE, argIndex);
    }
    if (argument.Get()->eGetOperator() == NA_OPEXP_COLUMN && *item != nullptr &&
        _bExpressionAboveBmp(out, cursor, node, text, lengthBefore, info, *item, cursorBefore)) {
      __FreeItem(item);
      return _bDoExpressionArgument(info, text, parent, node, kind, cursor, out, FALSE, argIndex);
    }
  }
  if (bIn(op, {NA_OPEXP_AND, NA_OPEXP_OR, NA_OPEXP_ADD, NA_OPEXP_SUBTRACT}) &&
      !_vbFormatExpressionOperatorEntreOperande(info, text, node, kind, cursor, out))
    return FALSE;
  for (unsigned int i = 1; argument.Get() != nullptr; ++i) {
    argument.Reset(node->piGetNextArgument(argument.Get()));
    if (argument.Get() == nullptr) break;
    const eNA_ITEMTYPE t = _eTypeParameter(kind, node, i, type, item);
    if (_vbSkipOperande(node, argument.Get(), i)) continue;
    if (!_bExpressionToSQL(info, queryInfo, text, node, argument.Get(), kind, cursor, out, item, t, i)) return FALSE;
  }
  if (!_bDoExpressionArgument(info, text, parent, node, kind, cursor, out, FALSE, argIndex)) return FALSE;
  _TypeRetour(kind, node, item);
  return TRUE;
}

BOOL CNACommand::_bDoExpressionArgument(CSQLParserInfo* info, const wchar_t* text, IExpOpExpression* parent,
                                        IExpOpExpression* node, CNASqlElt::eSQLELT kind, unsigned int* cursor,
                                        CTStringConcatAW* out, int before, unsigned int argIndex) {
  if (parent == nullptr) return TRUE;
  const stTEXTPOSITION place = _stGetPositionExpression(node);
  const bool function = CSQLParserInfo::s_bIsFunction(parent->eGetOperator()) != FALSE;
  if (before) {
    if (place.bIsEmpty()) return TRUE;
    _CopyText(out, text, cursor, place.nStart);
    if (*cursor == place.nStart && wcsnlen(text, place.nStart + 4) >= place.nStart + 4 &&
        wcsncmp(text + place.nStart, L"utf8", 4) == 0)
      *cursor = place.nStart + 4;
    return !function || _FormatExpressionArgument(info, text, parent, kind, cursor, out, TRUE, argIndex);
  }
  if (function && !_FormatExpressionArgument(info, text, parent, kind, cursor, out, FALSE, argIndex)) return FALSE;
  if (!place.bIsEmpty()) _CopyText(out, text, cursor, place.nEnd + 1);
  return TRUE;
}

BOOL CNACommand::_bDoExpressionOperator(CSQLParserInfo*, const wchar_t* text, IExpOpExpression*,
                                        IExpOpExpression* node, CNASqlElt::eSQLELT, unsigned int* cursor,
                                        CTStringConcatAW* out) {
  const stTEXTPOSITION place = _stGetPositionExpression(node);
  if (place.bIsEmpty()) return TRUE;
  _CopyText(out, text, cursor, place.nStart);
  CTString name;
  if (!_FormatExpressionOperator(node->eGetOperator(), &name) || *cursor != place.nStart) return TRUE;
  _Append(out, name.pszGet());
  unsigned int end = place.nStart;
  while (end <= place.nEnd && bWithin(text, end) && bIsWordChar(text[end])) ++end;
  *cursor = end;
  _vConvertirFonction(node);
  return TRUE;
}

BOOL CNACommand::_FormatExpressionOperator(eOPEXPRESSION op, CTString* out) {
  out->Vide();
  const int dialect = m_pclCnx != nullptr ? m_pclCnx->nGetDataSource() : 0;
  for (const STRename& row : kRenames)
    if (row.op == op && bInDialects(row.dialects, dialect)) {
      *out = row.name;
      return TRUE;
    }
  return FALSE;
}

BOOL CNACommand::_bWriteArgumentAhead(CSQLParserInfo* info, const wchar_t* text, IExpOpExpression* parent,
                                      unsigned int argIndex, CNASqlElt::eSQLELT kind, CTStringConcatAW* out) {
  CParserRef<IExpOpExpression> argument(NthArgument(parent, argIndex));
  if (argument.Get() == nullptr) return TRUE;
  CNACommand* ahead = _pclNewSubCommand();
  if (ahead == nullptr) return FALSE;
  // Written alone: the function's own argument texts are not repeated inside it.
  BOOL result = ahead->bFormatSubExpression(info, text, nullptr, argument.Get(), kind);
  if (result && out == &_Text())
    result = bAdd(ahead, NA_ADD_SHARE);
  else if (result)
    out->Add(ahead->_Text().pszGetW(), ahead->_Text().nGetLengthW());
  ahead->nRelease();
  return result;
}

BOOL CNACommand::_FormatExpressionArgument(CSQLParserInfo* info, const wchar_t* text, IExpOpExpression* parent,
                                           CNASqlElt::eSQLELT kind, unsigned int* cursor, CTStringConcatAW* out,
                                           int before, unsigned int argIndex) {
  const int dialect = m_pclCnx != nullptr ? m_pclCnx->nGetDataSource() : 0;
  const int op = parent->eGetOperator();
  for (const STArgument& row : kArguments) {
    if (row.op != op || row.before != (before != 0) || !bInDialects(row.dialects, dialect)) continue;
    if (static_cast<int>(argIndex) < row.argFrom || (row.argTo >= 0 && static_cast<int>(argIndex) > row.argTo))
      continue;
    switch (row.action) {
      case ARG_TEXT:
        _Append(out, row.text);
        break;
      case ARG_RIGHT_BY_NEGATIVE: {
        _Append(out, L",-(");
        CParserRef<IExpOpExpression> length(parent->piGetRight());
        if (length.Get() != nullptr) {
          if (!_bWriteArgumentAhead(info, text, parent, 1, kind, out)) return FALSE;
        } else {
          _Append(out, std::to_wstring(parent->nGetIntegerParameter()).c_str());
        }
        _Append(out, L") ");
        break;
      }
      case ARG_RIGHT_BY_LEAST: {
        _Append(out, L",-LEAST(LENGTH(");
        if (!_bWriteArgumentAhead(info, text, parent, 0, kind, out)) return FALSE;
        _Append(out, L"),");
        CParserRef<IExpOpExpression> length(NthArgument(parent, 1));
        if (length.Get() != nullptr) {
          if (!_bWriteArgumentAhead(info, text, parent, 1, kind, out)) return FALSE;
          _Append(out, L"), GREATEST(0 ");
        } else {
          const int n = parent->nGetIntegerParameter();
          _Append(out, (std::to_wstring(n) + L"),").c_str());
          _Append(out, std::to_wstring(n > 0 ? n : 0).c_str());
          const int close = FindChar(text, *cursor, L')');
          if (close >= 0) *cursor = static_cast<unsigned int>(close);
        }
        break;
      }
      case ARG_SKIP_PAST_FROM: {
        CParserRef<IExpOpExpression> second(NthArgument(parent, 1));
        if (second.Get() != nullptr) {
          const int from = FindWord(text, *cursor, L"FROM");
          if (from >= 0) *cursor = static_cast<unsigned int>(from) + 4;
        } else {
          const int close = FindChar(text, *cursor, L')');
          const int forWord = FindWord(text, *cursor, L"FOR", close);
          if (forWord >= 0) {
            _CopyText(out, text, cursor, static_cast<unsigned int>(forWord));
            *cursor = static_cast<unsigned int>(forWord) + 3;
          }
        }
        _Append(out, L",");
        break;
      }
      case ARG_SKIP_PAST_FOR: {
        const int forWord = FindWord(text, *cursor, L"FOR");
        if (forWord >= 0) *cursor = static_cast<unsigned int>(forWord) + 3;
        _Append(out, L",");
        break;
      }
      case ARG_SECOND_AHEAD:
        if (!_bWriteArgumentAhead(info, text, parent, 1, kind, out)) return FALSE;
        _Append(out, row.text);
        break;
      case ARG_SKIP_SECOND: {
        CParserRef<IExpOpExpression> second(NthArgument(parent, 1));
        if (second.Get() != nullptr) {
          const stTEXTPOSITION place = _stGetPositionExpression(second.Get());
          if (!place.bIsEmpty() && place.nEnd + 1 > *cursor) *cursor = place.nEnd + 1;
        }
        break;
      }
      case ARG_SKIP_ONE_COMMA: {
        unsigned int i = *cursor;
        if (!bWithin(text, i)) break;
        while (text[i] != 0 && (text[i] == L' ' || text[i] == L'\t' || text[i] == L'\r' || text[i] == L'\n')) ++i;
        *cursor = text[i] == L',' ? i + 1 : i;
        break;
      }
    }
  }
  return TRUE;
}

// ---------------------------------------------------------------- columns

BOOL CNACommand::_bDoExpressionColonne(CSQLParserInfo* info, CSQLParserInfo* queryInfo, const wchar_t* text,
                                       IExpOpExpression* parent, IExpOpExpression* node, CNASqlElt::eSQLELT kind,
                                       unsigned int* cursor, CTStringConcatAW* out, INAItemDescription** item) {
  __FreeItem(item);
  const stTEXTPOSITION place = _stGetPositionExpression(node);
  CTString name;
  if (place.bIsEmpty()) {
    // No place in the text: nothing is written, the column only types what follows.
    return _bFormatExpressionItemName(info, queryInfo, parent, node, kind, &name, item, 0);
  }
  _CopyText(out, text, cursor, place.nStart);
  if (!_bFormatExpressionItemName(info, queryInfo, parent, node, kind, &name, item,
                                  static_cast<unsigned int>(out->nGetLength())))
    return FALSE;
  _Append(out, name.pszGet());
  if (place.nEnd + 1 > *cursor) *cursor = place.nEnd + 1;
  if (node->bIsOuterJoinColumn()) _Append(out, L"(+)");
  return TRUE;
}

BOOL CNACommand::_bDoExpressionColonne(CSQLParserInfo* info, const wchar_t* text, IExpOpExpression* node,
                                       unsigned int* cursor, CTStringConcatAW* out) {
  const stTEXTPOSITION place = _stGetPositionExpression(node);
  if (place.bIsEmpty()) return TRUE;
  _CopyText(out, text, cursor, place.nStart);
  const wchar_t* qualifier = node->pszGetQualifier();
  CTString written;
  if (!bHasText(qualifier)) {
    _FormatItemName(node->pszGetColumnName(), &written);
  } else {
    CTString table(qualifier), name(node->pszGetColumnName());
    INADataSourceDescription* desc = nullptr;
    if (!info->bIsTableAlias(qualifier, &desc)) {
      const wchar_t* physical = info->pszGetPhysicalName(qualifier);
      if (physical != nullptr)
        table = physical;
      else if (desc != nullptr)
        table = desc->pszGetDBTableName();
    }
    if (desc != nullptr) desc->nExternalRelease();
    const int dialect = m_pclCnx != nullptr ? m_pclCnx->nGetDataSource() : 0;
    _FormatTableAndItemName(bIn(dialect, {6, 8, 13}) && m_eQueryType == NA_QUERY_UPDATE ? L"" : table.pszGet(),
                            name.pszGet(), &written);
  }
  _Append(out, written.pszGet());
  if (place.nEnd + 1 > *cursor) *cursor = place.nEnd + 1;
  if (node->bIsOuterJoinColumn()) _Append(out, L"(+)");
  return TRUE;
}

BOOL CNACommand::_bExpressionColonneToSQL(CSQLParserInfo* info, const wchar_t* text, IExpOpExpression* node,
                                          unsigned int* cursor, CTStringConcatAW* out) {
  if (node == nullptr) return TRUE;
  if (node->eGetOperator() == NA_OPEXP_COLUMN) return _bDoExpressionColonne(info, text, node, cursor, out);
  CParserRef<IExpOpExpression> argument(node->piGetNextArgument(nullptr));
  for (; argument.Get() != nullptr; argument.Reset(node->piGetNextArgument(argument.Get())))
    if (!_bExpressionColonneToSQL(info, text, argument.Get(), cursor, out)) return FALSE;
  return TRUE;
}

BOOL CNACommand::_bFormatExpressionItemName(CSQLParserInfo* info, CSQLParserInfo* queryInfo, IExpOpExpression* parent,
                                            IExpOpExpression* node, CNASqlElt::eSQLELT kind, CTString* out,
                                            INAItemDescription** item, unsigned int textLength) {
  CSQLParserInfo* lookup = queryInfo != nullptr ? queryInfo : info;
  const CTString written(node->pszGetColumnName());
  if (lookup == nullptr) {
    _FormatTableAndItemName(node->pszGetQualifier(), written.pszGet(), out);
    return TRUE;
  }
  const CTString qualifier(queryInfo != nullptr ? L"" : node->pszGetQualifier());
  CTString name(written), table, sourceAlias;
  if (IInfoRubrique* column = _piGetInfoRubriqueFromAlias(lookup, qualifier.pszGet(), written.pszGet())) {
    if (column->nGetCalculKind() != 0) {
      for (const STCalculChain* link = m_pCalculChain; link != nullptr; link = link->previous)
        if (link->column == column) {
          CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSiteSelfReference, m_pclCnx,
                                     nullptr, nullptr, kErrSelfReference, column->pszGetName());
          return FALSE;
        }
      // MySQL's HAVING knows the SELECT list's names, and only the grouped columns beside them:
      // an expression of plain columns would name a column it does not know (an aggregate's
      // stays as it is).
      CParserRef<IExpOpExpression> expression(kind == CNASqlElt::NA_SQLELT_HAVING ? column->piGetExpression()
                                                                                   : nullptr);
      if (kind == CNASqlElt::NA_SQLELT_HAVING && m_dwDialect5 && queryInfo == nullptr &&
          !CSQLParserInfo::s_bHoldsAggregate(expression.Get())) {
        _FormatTableAndItemName(nullptr, column->pszGetName(), out);
        return TRUE;
      }
      return bFormatExpressionColonneCalculee(lookup, column, parent, kind, out, textLength);
    }
    table = column->pszGetSourceTableName();
    name = column->pszGetNameInSource();
    sourceAlias = column->pszGetSourceTableAlias();
  }
  ISQLParserInformation* parser = lookup->piGetParserNoRef();
  INAItemDescription* desc = nullptr;
  if (parser != nullptr) {
    try {
      desc = parser->piGetItemDescription(table.nTaille() > 0 ? table.pszGet() : qualifier.pszGet(), name.pszGet());
    } catch (...) {
      desc = nullptr;
    }
  }
  if (desc != nullptr) {
    name = desc->pszGetName();
    __FreeItem(item);
    *item = desc;
  }
  // The qualifier: an alias of the query stays, a table becomes its physical name. Without
  // one, the SELECT column's table (through its alias when it has one).
  CTString resolved = qualifier;
  if (resolved.nTaille() == 0)
    resolved = sourceAlias.nTaille() > 0 && lookup->bIsTableAlias(sourceAlias.pszGet(), nullptr) ? sourceAlias : table;
  CTString ignored;
  if (resolved.nTaille() > 0) _GetOriginalTableNameAndItemName(lookup, &resolved, &ignored);
  const bool resolvedNames = kind == CNASqlElt::NA_SQLELT_WHERE || kind == CNASqlElt::NA_SQLELT_SELECT ||
                             (kind == CNASqlElt::NA_SQLELT_HAVING && !m_dwDialect5);
  if (!resolvedNames) {
    // As the host wrote it: no qualifier is added to a name written without one.
    name = written;
    if (!bHasText(node->pszGetQualifier()) || queryInfo != nullptr) resolved.Vide();
  }
  return _FormatExpressionItemName(out, kind, OpOf(parent), node, *item, resolved.pszGet(), name.pszGet());
}

BOOL CNACommand::_FormatExpressionItemName(CTString* out, CNASqlElt::eSQLELT kind, eOPEXPRESSION op,
                                           IExpOpExpression* node, INAItemDescription* item, const wchar_t* table,
                                           const wchar_t* name) {
  return FormatExpressionItemName(out, kind, op, node, item, table, name);
}

BOOL CNACommand::FormatExpressionItemName(CTString* out, CNASqlElt::eSQLELT kind, eOPEXPRESSION op,
                                          IExpOpExpression* node, INAItemDescription* item, const wchar_t* table,
                                          const wchar_t* name) {
  if (item != nullptr && eGetFormatExpressionColonne(kind, item->eNAGetItemType(), op, node) != NA_IT_EMPTY) {
    _bFormatAndConvertItemInClause(out, item, table, name);
    return TRUE;
  }
  _FormatTableAndItemName(table, name, out);
  return TRUE;
}

BOOL CNACommand::_bFormatAndConvertItemInClause(CTString* out, INAItemDescription* item, const wchar_t* table,
                                                const wchar_t* name) {
  CTString column;
  _FormatTableAndItemName(table, name, &column);
  if (m_pclCnx == nullptr) {
    *out = column;
    return FALSE;
  }
  CTStringConcatAW expression(CTStringConcatAW::kWideContent, -1);
  const BOOL converted = m_pclCnx->bConvertExpressionToString(m_pclError, &expression, column.pszGet(), item, nullptr);
  *out = expression.pszGetW();
  return converted;
}

eNA_ITEMTYPE CNACommand::eGetFormatExpressionColonne(CNASqlElt::eSQLELT kind, eNA_ITEMTYPE itemType,
                                                     eOPEXPRESSION op, IExpOpExpression*) {
  if (op == NA_OPEXP_ISNULL) return NA_IT_EMPTY;
  if (itemType != NA_IT_HEURE && itemType != NA_IT_DATE8 && itemType != NA_IT_DATETIME) return NA_IT_EMPTY;
  if (itemType == NA_IT_HEURE && m_pclCnx != nullptr && !m_pclCnx->bSupportItemTime() &&
      bBetween(kind, CNASqlElt::NA_SQLELT_WHERE, CNASqlElt::NA_SQLELT_ORDERBY))
    return NA_IT_TEXTE;
  if (bBetween(op, 9, 14) || op == 22 || op == 23) return NA_IT_TEXTE;
  if (bBetween(op, 15, 21) || op == NA_OPEXP_LIKE || bBetween(op, 42, 46) || bBetween(op, 50, 57)) return NA_IT_TEXTE;
  return NA_IT_EMPTY;
}

// ---------------------------------------------------------------- calculated columns

BOOL CNACommand::bFormatExpressionColonneCalculee(CSQLParserInfo* info, IInfoRubrique* column, IExpOpExpression*,
                                                  CNASqlElt::eSQLELT kind, CTString* out, unsigned int textLength) {
  CNACommand* fresh = _pclNewSubCommand();
  if (fresh == nullptr) return FALSE;
  // The chain lives while the fresh command writes: a column met again on it is a cycle.
  const STCalculChain link{column, m_pCalculChain};
  fresh->m_pCalculChain = &link;
  if (textLength == 0) fresh->m_bAddParameters = 0;
  CParserRef<IExpOpExpression> expression(column->piGetExpression());
  BOOL result = expression.Get() != nullptr &&
                fresh->bFormatSubExpression(info, info->pszGetRequete(), nullptr, expression.Get(), kind);
  if (result) {
    *out = fresh->_Text().pszGetW();
    for (int i = 0; i < fresh->m_tabParameter.nGetCount() && result; ++i) {
      CNAParameter* parameter = fresh->m_tabParameter[i];
      parameter->SetPosition(parameter->nGetPosition() + textLength);
      result = bAddParameter(parameter);
    }
  }
  fresh->nRelease();
  return result;
}

BOOL CNACommand::bFormatExpressionColonneCalculee(CSQLParserInfo* info, const wchar_t* name, CNASqlElt::eSQLELT kind) {
  IInfoRubrique* column = info != nullptr ? info->piEnumRubriqueOUT(name) : nullptr;
  if (column == nullptr || column->nGetCalculKind() == 0) return FALSE;
  CTString text;
  if (!bFormatExpressionColonneCalculee(info, column, nullptr, kind, &text,
                                        static_cast<unsigned int>(_Text().nGetLength())))
    return FALSE;
  return bComplete(text.pszGet());
}

BOOL CNACommand::s_bFormatExpressionColonneCalculee(CTString* out, CSQLParserInfo* info, const wchar_t* name,
                                                    CNASqlElt::eSQLELT kind, CNAError* error,
                                                    CNAConnectionDescription* cnx) {
  IInfoRubrique* column = info != nullptr ? info->piEnumRubriqueOUT(name) : nullptr;
  if (column == nullptr || column->nGetCalculKind() == 0) return FALSE;
  CNADriver* driver = CNADriver::s_pclDriver.load();
  CNACommand* command = driver != nullptr ? driver->pclAllocCommand(error, cnx) : nullptr;
  if (command == nullptr) return FALSE;
  command->AddRef();
  command->m_bAddParameters = 0;
  const BOOL result = command->bFormatExpressionColonneCalculee(info, column, nullptr, kind, out, 0);
  command->nRelease();
  return result;
}

// ---------------------------------------------------------------- literals

BOOL CNACommand::_bDoExpressionLiteral(CSQLParserInfo* info, const wchar_t* text, IExpOpExpression* parent,
                                       IExpOpExpression* node, CNASqlElt::eSQLELT kind, INAItemDescription* item,
                                       unsigned int* cursor, CTStringConcatAW* out, eNA_ITEMTYPE type) {
  if (!_bShouldAddParameter(info, parent, node, kind, item)) {
    _KeepLiteral(out, text, cursor, node);
    return TRUE;
  }
  const stTEXTPOSITION place = _stGetPositionExpression(node);
  if (place.bIsEmpty()) return TRUE;
  CAny value;
  if (!node->bGetLiteral(&value)) return FALSE;
  const wchar_t* name = node->pszGetColumnName();
  const bool bind = bHasText(name);
  if (!bind && item != nullptr && bIsHostText(value.wGetType()) && !value.bIsNull()) {
    // Compared with a column that stops at U+FFFF, a character above it stands where the
    // server's general collations put it, at U+FFFD, as the table's conditions write it.
    std::wstring held = HostText(value);
    auto above = [](wchar_t c) { return static_cast<uint32_t>(c) > 0xFFFF; };
    if (std::any_of(held.begin(), held.end(), above) && _bBmpOnlyColumn(info, item, parent)) {
      std::replace_if(held.begin(), held.end(), above, static_cast<wchar_t>(0xFFFD));
      SetWideText(&value, held);
    }
  }
  eOPEXPRESSION op = OpOf(parent);
  unsigned int options = NA_PARAM_LITERAL | (bind ? NA_PARAM_BIND : 0u);
  wchar_t escape = 0;
  if (op == NA_OPEXP_LIKE && (bIsHostText(value.wGetType()) || bind)) {
    CParserRef<IExpOpExpression> pattern(parent->piGetRight());
    if (pattern.Get() == node) {
      options |= NA_PARAM_LIKE;
      escape = parent->cGetLikeEscape();
    }
  }
  _CopyText(out, text, cursor, place.nStart);
  *cursor = place.nEnd + 1;
  CNARecord* record = info != nullptr ? info->pclGetRecordNoRef() : nullptr;
  CNAColumn* column = type == NA_IT_EMPTY && record != nullptr && item != nullptr ? record->pclGetColumnNoRef(item)
                                                                                  : nullptr;
  CNAConvertVariant* holder = _vpclGetNewVariant(column, &value);
  if (holder == nullptr) return FALSE;
  holder->AddRef();
  // The splice position is the text's length: the literal's text is left out.
  const unsigned int length = static_cast<unsigned int>(out->nGetLength());
  const int before = m_tabParameter.nGetCount();
  BOOL result = bAddParameter(holder, op, options, column, bind ? name : nullptr, escape, CNAParameter::NA_PARAM_IN);
  holder->nRelease();
  if (!result || m_tabParameter.nGetCount() != before + 1) return FALSE;
  CNAParameter* parameter = m_tabParameter[before];
  parameter->SetPosition(length);
  if (column == nullptr) parameter->SetItem(item);
  return _FormatExpressionLiteral(info, parent, node, kind, item, parameter, type);
}

BOOL CNACommand::_FormatExpressionLiteral(CSQLParserInfo*, IExpOpExpression* parent, IExpOpExpression*,
                                          CNASqlElt::eSQLELT kind, INAItemDescription* item, CNAParameter* parameter,
                                          eNA_ITEMTYPE type) {
  if ((kind == CNASqlElt::NA_SQLELT_WHERE || kind == CNASqlElt::NA_SQLELT_HAVING) && type == NA_IT_EMPTY &&
      parent != nullptr) {
    CParserRef<IExpOpExpression> left(parent->piGetLeft());
    if (left.Get() != nullptr) {
      const eNA_ITEMTYPE source = g_eGetNAItemTypeFromKJ(left.Get()->nGetHostType());
      const eNA_ITEMTYPE format = eGetFormatExpressionColonne(kind, source, parent->eGetOperator(), left.Get());
      type = format != NA_IT_EMPTY ? format : source;
    }
  }
  return FormatExpressionLiteral(kind, OpOf(parent), parent, item, type, parameter->pclGetValueNoRef());
}

BOOL CNACommand::FormatExpressionLiteral(CNASqlElt::eSQLELT kind, eOPEXPRESSION op, IExpOpExpression* parent,
                                         INAItemDescription* item, eNA_ITEMTYPE type, CNAConvertVariant* holder) {
  if (holder == nullptr || m_pclCnx == nullptr) return TRUE;
  eNA_ITEMTYPE target = type;
  if (target == NA_IT_EMPTY && item != nullptr) {
    const eNA_ITEMTYPE format = eGetFormatExpressionColonne(kind, item->eNAGetItemType(), op, parent);
    target = format != NA_IT_EMPTY ? format : item->eNAGetItemType();
  }
  if (target == NA_IT_EMPTY) return TRUE;
  CAny value;
  holder->bGetValue(&value);
  if (value.bIsNull() || value.wGetType() == ZV_VIDE) return TRUE;
  const eNA_ITEMTYPE itemType = ItemType(item);
  // A LIKE pattern names no one date: it stays as written.
  const std::wstring iso = target == NA_IT_TEXTE && op != NA_OPEXP_LIKE &&
                                   (itemType == NA_IT_DATE8 || itemType == NA_IT_DATETIME) &&
                                   bIsHostText(value.wGetType())
                               ? IsoDateAsDigits(HostText(value), itemType)
                               : L"";
  if (!iso.empty()) {
    // The column is compared as the host's digits: the server's own date text is brought to them whole.
    SetWideText(&value, iso);
  } else if ((op == NA_OPEXP_EQUAL || op == NA_OPEXP_DIFFERENT) && item != nullptr &&
             bIsHostText(value.wGetType())) {
    // A partial date or time compared for equality: its missing parts take their minimum.
    const std::wstring text = HostText(value);
    const size_t logical = item->nGetLogicalSize(0);
    // As many characters as the item holds (its size keeps one for a terminator).
    const size_t held = logical > 1 ? logical - 1 : logical;
    CXTime time;
    CTString completed;
    bool complete = false;
    // Only the host's digits are completed: read as digits, any other text became another date.
    if (itemType == NA_IT_HEURE && text.size() < logical) {
      time.bSetZVTimeMin(text.c_str(), -1);
      time.GetZVTimeHHMMSSCCm(completed);
      complete = true;
    } else if ((itemType == NA_IT_DATE6 || itemType == NA_IT_DATE8) && text.size() < logical && bAllDigits(text)) {
      time.bSetZVDateTimeMin(text.c_str(), -1);
      time.GetZVDate(completed);
      complete = true;
    } else if (itemType == NA_IT_DATETIME && text.size() <= 16 && bAllDigits(text)) {
      time.bSetZVDateTimeMin(text.c_str(), -1);
      time.GetZVTimeAAAAMMJJHHMMSSCCm(completed);
      completed = completed.clGauche(17);
      complete = true;
    }
    if (complete) {
      std::wstring s = completed.pszGet();
      if (itemType != NA_IT_DATETIME && s.size() > held) s.resize(held);
      SetWideText(&value, s);
    }
  }
  const unsigned short from = value.wGetType();
  if (target == NA_IT_TEXTE && itemType == NA_IT_HEURE && item->nGetItemSize() != 1 &&
      (from == 8 || from == 9 || from == ZV_TIMEW || from == ZV_TIMEA)) {
    std::wstring s = HostText(value);
    const size_t size = item->nGetItemSize() - 1;
    if (s.size() > size)
      s.resize(size);
    else if (s.empty() || s.back() != L'%')
      s.resize(size, L'0');
    SetWideText(&value, s);
  } else if (!m_pclCnx->bCastCAnyIntoDBType(nullptr, &value, target, itemType, 0)) {
    // A value that does not cast goes as the host gave it; the server judges it.
    return TRUE;
  }
  holder->InitTypeVariantAny(value.wGetType(), 0);
  holder->bSetValue(&value);
  return TRUE;
}

// ---------------------------------------------------------------- typing

void CNACommand::__FreeItem(INAItemDescription** item) {
  if (item == nullptr || *item == nullptr) return;
  (*item)->nExternalRelease();
  *item = nullptr;
}

BOOL CNACommand::_bLastOperande(IExpOpExpression* node, unsigned int argIndex) {
  CParserRef<IExpOpExpression> argument(NthArgument(node, argIndex));
  if (argument.Get() == nullptr) return FALSE;
  CParserRef<IExpOpExpression> next(node->piGetNextArgument(argument.Get()));
  return next.Get() == nullptr;
}

eNA_ITEMTYPE CNACommand::_eTypeParameter(CNASqlElt::eSQLELT kind, IExpOpExpression* node, unsigned int argIndex,
                                         eNA_ITEMTYPE type, INAItemDescription** item) {
  const int op = node->eGetOperator();
  for (const STTypeParameter& row : kTypeParameters) {
    if (row.op != op || !bArgMatches(row.arg, argIndex)) continue;
    switch (row.action) {
      case TYPE_INCOMING: return type;
      case TYPE_NONE: return NA_IT_EMPTY;
      case TYPE_NONE_DROP: __FreeItem(item); return NA_IT_EMPTY;
      case TYPE_NONE_DROP_IF_LAST:
        if (_bLastOperande(node, argIndex)) __FreeItem(item);
        return NA_IT_EMPTY;
      case TYPE_TEXT_BY_CODE_PAGE: {
        __FreeItem(item);
        const int cp = m_pclCnx != nullptr ? m_pclCnx->nGetServerCodePage() : -1;
        return cp == CTStringConcatAW::kWideContent || cp == 65001 ? NA_IT_UNICODE : NA_IT_TEXTE;
      }
      case TYPE_DATETIME_UNLESS_DATE:
        return *item != nullptr && (bIsDateItem(ItemType(*item))) ? NA_IT_EMPTY : NA_IT_DATETIME;
      case TYPE_I4_DROP: __FreeItem(item); return NA_IT_I4;
      case TYPE_DATE8: return NA_IT_DATE8;
      case TYPE_DATETIME: return NA_IT_DATETIME;
      case TYPE_TEXT_DROP: __FreeItem(item); return NA_IT_TEXTE;
    }
  }
  return *item != nullptr ? eGetFormatExpressionColonne(kind, ItemType(*item), Op(op), node) : NA_IT_EMPTY;
}

void CNACommand::_TypeRetour(CNASqlElt::eSQLELT, IExpOpExpression* node, INAItemDescription** item) {
  if (*item == nullptr) return;
  const eNA_ITEMTYPE t = ItemType(*item);
  switch (ReturnAction(node->eGetOperator())) {
    case RETURN_KEEP: return;
    case RETURN_DROP: break;
    case RETURN_KEEP_TEXT:
      if (bIsTextAW(t)) return;
      break;
    case RETURN_KEEP_DATE:
      if (bIsDateItem(t)) return;
      break;
  }
  __FreeItem(item);
}

// ---------------------------------------------------------------- characters above the BMP

bool CNACommand::_bBmpOnlyColumn(CSQLParserInfo* info, INAItemDescription* item, IExpOpExpression* parent) {
  if (m_pclCnx == nullptr || m_pclCnx->nGetServerCodePage() != 65001) return false;
  const wchar_t* table = item->pszGetSourceName();
  const wchar_t* name = bHasText(item->pszGetNameInSource()) ? item->pszGetNameInSource() : item->pszGetName();
  CNADriver* driver = CNADriver::s_pclDriver;
  const auto bmpIn = [&](const wchar_t* physical) {
    CNADataSourceDescription* desc =
        driver != nullptr && bHasText(name) ? driver->_pclGetTableDesc(physical, m_pclCnx) : nullptr;
    if (desc == nullptr) return -1;
    const CNAItemDescription* own = desc->pclNAGetItemNoRef(name, 2);
    const int bmp = own == nullptr ? -1 : own->bBmpOnly() ? 1 : 0;
    desc->nRelease();
    return bmp;
  };
  // Items that name no table of their own (a file the host described itself): the FROM entry the
  // condition's qualifier names, else the only one holding the name. Any other guess may judge
  // the literal by another table's column; unsure, it goes as written.
  int from = -1, fromBmp = -1;
  if (!bHasText(table) && info != nullptr) {
    const auto bmpOfFrom = [&](int i) {
      const CTString db = info->csGetFichierFrom_DBTableName(i);
      return db.nTaille() != 0 ? bmpIn(db.pszGet()) : -1;
    };
    CParserRef<IExpOpExpression> left(parent != nullptr ? parent->piGetLeft() : nullptr);
    const bool named = left.Get() != nullptr && left.Get()->eGetOperator() == NA_OPEXP_COLUMN;
    const wchar_t* qualifier = named ? left.Get()->pszGetQualifier() : nullptr;
    if (bHasText(qualifier)) {
      from = info->nGetFichierFromOf(qualifier);
      fromBmp = bmpOfFrom(from);
    }
    for (int i = 0; !bHasText(qualifier) && i < info->nGetFichierFromNbr(); ++i) {
      const int held = bmpOfFrom(i);
      if (held < 0) continue;
      if (from >= 0) {
        from = fromBmp = -1;
        break;
      }
      from = i;
      fromBmp = held;
    }
  }
  // Found by its name alone, the record's column is the condition's only when it reads that entry.
  CNARecord* record = info != nullptr ? info->pclGetRecordNoRef() : nullptr;
  CNAColumn* column = record != nullptr ? record->pclGetColumnNoRef(item) : nullptr;
  const CNAItemDescription* imported = column != nullptr ? column->piGetImportedItemDescNoRef() : nullptr;
  if (imported != nullptr && (bHasText(table) || info->nGetFichierFromOf(column->pszGetAliasNomTable()) == from))
    return imported->bBmpOnly() != FALSE;
  // A query's first run comes before its result describes it: the table tells.
  if (!bHasText(table)) return fromBmp == 1;
  const wchar_t* physical = info != nullptr ? info->pszGetPhysicalName(table) : nullptr;
  return bmpIn(bHasText(physical) ? physical : table) == 1;
}

BOOL CNACommand::_bExpressionAboveBmp(CTStringConcatAW* out, unsigned int* cursor, IExpOpExpression* comparison,
                                      const wchar_t* text, unsigned int textLength, CSQLParserInfo* info,
                                      INAItemDescription* item, unsigned int cursorBefore) {
  const int op = comparison->eGetOperator();
  if (op != NA_OPEXP_EQUAL && op != NA_OPEXP_DIFFERENT) return FALSE;
  CParserRef<IExpOpExpression> left(comparison->piGetLeft());
  CParserRef<IExpOpExpression> right(comparison->piGetRight());
  IExpOpExpression* literal = right.Get();
  if (left.Get() == nullptr || literal == nullptr || literal->eGetOperator() != NA_OPEXP_LITERAL ||
      bHasText(literal->pszGetColumnName()))
    return FALSE;
  CAny value;
  if (!literal->bGetLiteral(&value) || !bIsHostText(value.wGetType()) || value.bIsNull()) return FALSE;
  const std::wstring held = HostText(value);
  if (std::none_of(held.begin(), held.end(), [](wchar_t c) { return static_cast<uint32_t>(c) > 0xFFFF; }) ||
      !_bBmpOnlyColumn(info, item, comparison))
    return FALSE;
  if (op == NA_OPEXP_EQUAL) {
    _Truncate(out, textLength);
    unsigned int from = cursorBefore;
    _bCopyPreviousQueryContent(out, &from, left.Get(), text);
    _Append(out, L" 0=1 ");
  } else {
    _Append(out, L" IS NOT NULL ");
  }
  const stTEXTPOSITION place = _stGetPositionExpression(literal);
  if (!place.bIsEmpty()) *cursor = place.nEnd + 1;
  return TRUE;
}

// ---------------------------------------------------------------- empty dates

BOOL CNACommand::_bExpressionDateEmpty(CTStringConcatAW* out, unsigned int* cursor, IExpOpExpression* comparison,
                                       const wchar_t* text, unsigned int textLength, INAItemDescription* item,
                                       unsigned int cursorBefore) {
  if (item == nullptr || !bIsDateItem(item->eNAGetItemType()) || m_pclCnx == nullptr) return FALSE;
  const int op = comparison->eGetOperator();
  const STEmptyDate* row = nullptr;
  for (const STEmptyDate& r : kEmptyDates)
    if (r.op == op) row = &r;
  if (row == nullptr) return FALSE;
  CParserRef<IExpOpExpression> left(comparison->piGetLeft());
  CParserRef<IExpOpExpression> right(comparison->piGetRight());
  if (left.Get() == nullptr || !bIsEmptyLiteral(right.Get())) return FALSE;
  const wchar_t* written = m_pclCnx->bNULLBeforeNotNULL() ? row->nullFirst : row->nullLast;
  if (wcsstr(written, L"=1") != nullptr) {
    // A constant stands for the whole comparison.
    _Truncate(out, textLength);
    unsigned int from = cursorBefore;
    _bCopyPreviousQueryContent(out, &from, left.Get(), text);
  }
  _Append(out, written);
  const stTEXTPOSITION literal = _stGetPositionExpression(right.Get());
  if (!literal.bIsEmpty()) *cursor = literal.nEnd + 1;
  return TRUE;
}
