#include "sql/natypeinfo.h"

#include <new>

#include "sql/inaitemdescription.h"

void CNATypeInfo::Format(const INAItemDescription* item, CTString* out) const {
  if (out == nullptr) return;
  if (!m_bSized || item == nullptr) {
    *out = m_csFormat;
    return;
  }
  switch (item->eNAGetItemType()) {
    case NA_IT_HEURE: {
      const int64_t fraction = static_cast<int64_t>(item->nGetItemSize()) - 7;
      out->printf(m_csFormat.pszGet(), static_cast<int>(fraction > 0 ? fraction : 0));
      break;
    }
    case NA_IT_DECIMAL:
      out->printf(m_csFormat.pszGet(), item->nGetIntegerPart() + item->nGetDecimalPart(), item->nGetDecimalPart());
      break;
    default:
      out->printf(m_csFormat.pszGet(), static_cast<int>(item->nGetLogicalSize(0)));
      break;
  }
}

void CNAMapConvertType::_Init() {
  struct STEntry {
    eNA_ITEMTYPE eType;
    const wchar_t* pszText;
    int bSized;
  };
  static constexpr STEntry kGeneric[] = {
      {NA_IT_IDAUTO, L"NUMERIC(19,0)", 0},  {NA_IT_I8, L"NUMERIC(19,0)", 0},
      {NA_IT_TIMELENGHT, L"NUMERIC(19,0)", 0}, {NA_IT_IDAUTO4, L"INTEGER", 0},
      {NA_IT_I4, L"INTEGER", 0},            {NA_IT_UI4, L"INTEGER", 0},
      {NA_IT_I1, L"SMALLINT", 0},           {NA_IT_I2, L"SMALLINT", 0},
      {NA_IT_UI1, L"SMALLINT", 0},          {NA_IT_UI2, L"SMALLINT", 0},
      {NA_IT_BOOLEEN, L"SMALLINT", 0},      {NA_IT_UI8, L"NUMERIC(20,0)", 0},
      {NA_IT_MONETAIRE, L"NUMERIC(24,6)", 0}, {NA_IT_DECIMAL, L"NUMERIC(%d,%d)", 1},
      {NA_IT_R4, L"REAL", 0},               {NA_IT_R8, L"FLOAT", 0},
      {NA_IT_REELTURBO, L"FLOAT", 0},       {NA_IT_CHAR, L"CHARACTER", 0},
      {NA_IT_IMAGE, L"CHARACTER(%d)", 1},   {NA_IT_TEXTE, L"VARCHAR(%d)", 1},
      {NA_IT_MEMOTEXTE, L"TEXT", 0},        {NA_IT_UNICODE, L"NVARCHAR(%d)", 1},
      {NA_IT_MEMOUNICODE, L"NTEXT", 0},     {NA_IT_BINAIRE, L"VARBINARY(%d)", 1},
      {NA_IT_DATE6, L"DATE", 0},            {NA_IT_DATE8, L"DATE", 0},
      {NA_IT_HEURE, L"TIME", 0},            {NA_IT_DATETIME, L"TIMESTAMP", 0},
  };
  for (const STEntry& e : kGeneric) Add(e.eType, e.pszText, e.bSized);
}

void CNAMapConvertType::Add(eNA_ITEMTYPE type, const wchar_t* text, int sized) {
  while (bRemoveValue(type)) {
  }
  CNATypeInfo* info = new (std::nothrow) CNATypeInfo(text, sized);
  if (info != nullptr) bAddValue(type, info);
}

BOOL CNAMapConvertType::bFormat(const INAItemDescription* item, CTString* out) const {
  CNATypeInfo* info = nullptr;
  if (item == nullptr || !bGetValue(item->eNAGetItemType(), &info) || info == nullptr) return FALSE;
  info->Format(item, out);
  return TRUE;
}
