#include "access/naidauto.h"

#include "access/nadataaccess.h"
#include "access/nainternalparse.h"
#include "driver/naconnectiondescription.h"
#include "driver/naerror.h"
#include "sql/inaitemdescription.h"
#include "sql/nacolumn.h"
#include "values/any.h"

namespace {
enum : int { kSiteNoRow = 60 };
constexpr unsigned int kErrNoRow = 59, kMsgPrefix = 28576;
}  // namespace

BOOL CNAIDAuto::_bBuildQueryGetMax(CXYStringConcat<wchar_t>* text, CNADataAccess* access, CNAColumn* column,
                                   int plusOne) {
  CNAConnectionDescription* cnx = access->pclGetConnectionNoRef();
  INAItemDescription* item = column->piGetItemNoRef();
  text->Add(L"SELECT MAX(");
  if (access->bSourceIsQuery()) {
    CTString name;
    const wchar_t* inSource = item != nullptr ? item->pszGetNameInSource() : nullptr;
    if (inSource != nullptr && *inSource != 0 && cnx != nullptr && cnx->bFormatItemName(nullptr, inSource, &name))
      text->Add(name.pszGet());
  } else {
    const wchar_t* name = column->pszGetFormatedOriginalName();
    if (name != nullptr) text->Add(name);
  }
  text->Add(plusOne ? L")+1" : L")");
  text->Add(L" FROM ");
  if (access->bSourceIsQuery()) {
    CTString table;
    const wchar_t* source = item != nullptr ? item->pszGetSourceName() : nullptr;
    if (source != nullptr && *source != 0 && cnx != nullptr && cnx->bFormatTableName(nullptr, source, &table))
      text->Add(table.pszGet());
  } else {
    const wchar_t* table = access->pszGetFormatedTableName();
    if (table != nullptr) text->Add(table);
  }
  return TRUE;
}

BOOL CNAIDAuto::_bBuildQueryGetNextValue(CXYStringConcat<wchar_t>* text, CNADataAccess* access, CNAColumn* column) {
  return _bBuildQueryGetMax(text, access, column, 1);
}

BOOL CNAIDAuto::_bBuildQueryGetMaxCurrentValue(CXYStringConcat<wchar_t>* text, CNADataAccess* access,
                                               CNAColumn* column) {
  return _bBuildQueryGetMax(text, access, column, 0);
}

void CNAIDAuto::_PrefixMessageErreur(CNAError* error, CNADataAccess* access, CNAColumn* column) {
  if (error != nullptr) error->AddUserMessageFirst(kMsgPrefix, access->pszGetLogicalName(), column->pszGetName());
}

BOOL CNAIDAuto::_bRunFirstRow(const CXYStringConcat<wchar_t>& text, CNADataAccess* access, CNAError* error,
                              BOOL* fetched, int* outOfRange, CAny* value) {
  CNAInternalParse* parse = CNAInternalParse::s_pclGetNAInternalParse(text.pszGet(), error, access->pclGetConnectionNoRef());
  if (parse == nullptr) return FALSE;
  parse->AddRef();
  *fetched = parse->bFetchData(NA_PARSE_FIRST, outOfRange, value, 1);
  parse->dwRelease();
  return TRUE;
}

BOOL CNAIDAuto::bGetNextValue(CNADataAccess* access, CNAColumn* column, CNAError* error, CAny* value) {
  CXYStringConcat<wchar_t> text;
  int outOfRange = 1;
  BOOL fetched = FALSE;
  if (!_bBuildQueryGetNextValue(&text, access, column) ||
      !_bRunFirstRow(text, access, error, &fetched, &outOfRange, value) || !fetched) {
    _PrefixMessageErreur(error, access, column);
    return FALSE;
  }
  if (value->bIsNull()) {
    value->SetI8(1);
    value->SetNull(false);
    value->SetFlags(0);
  }
  return TRUE;
}

BOOL CNAIDAuto::bGetMaxCurrentValue(CNADataAccess* access, CNAColumn* column, CNAError* error, CAny* value) {
  CXYStringConcat<wchar_t> text;
  int outOfRange = 1;
  BOOL ok = FALSE;
  if (!_bBuildQueryGetMaxCurrentValue(&text, access, column) ||
      !_bRunFirstRow(text, access, error, &ok, &outOfRange, value))
    return FALSE;
  if (ok && outOfRange) {
    CNAError::g_RaiseUserError(error, NA_ERRORTYPE_DEFAULT, NA_SRC_DATAACCESS, kSiteNoRow,
                               access->pclGetConnectionNoRef(), access->pszGetLogicalName(), column->pszGetName(),
                               kErrNoRow, access->pszGetLogicalName(), column->pszGetName());
    ok = FALSE;
  }
  return ok;
}
