// The query dump the driver hands the host for its traces (CNADriver::bGetQueryDump).
#include <climits>

#include "driver/nadriver.h"
#include "sql/isqlparserinformation.h"
#include "values/any.h"

BOOL CNADriver::bGetQueryDump(CTString* out, const wchar_t* query, CTabValParser* parameters,
                              unsigned int maximumLength) {
  if (out == nullptr) return TRUE;
  InitQueryDumpRessources();
  const bool whole = maximumLength == 0xFFFFFFFFu;
  const int cut = whole || maximumLength > INT_MAX ? INT_MAX : static_cast<int>(maximumLength);
  out->Vide();
  out->Add(pszGetDumpLabel(NA_LABEL_QUERY_TEXT));
  if (query != nullptr) out->Add(query);
  out->Add(L"\r\n");
  if (parameters != nullptr) {
    out->Add(pszGetDumpLabel(NA_LABEL_PARAMETER_COUNT));
    out->Add(L"=");
    out->AddI4(parameters->nCount);
    out->Add(L"\r\n");
    for (int i = 0; i < parameters->nCount && out->nTaille() < cut; ++i) {
      const STValParser* entry = parameters->ppEntries != nullptr ? parameters->ppEntries[i] : nullptr;
      CAny value;
      if (entry != nullptr) value = entry->clValue;
      out->Add(pszGetDumpLabel(NA_LABEL_PARAMETER));
      out->Add(L" ");
      out->AddI4(i);
      out->Add(L" :\t");
      out->Add(pszGetDumpLabel(NA_LABEL_HOST_TYPE));
      out->Add(L" = <");
      out->AddI4(value.wGetType());
      out->Add(L">\t");
      out->Add(pszGetDumpLabel(NA_LABEL_VALUE));
      out->Add(L" = <");
      const wchar_t* text = nullptr;
      if (!value.bIsNull() && value.__nCastToString(&text, nullptr) < 100 && text != nullptr)
        out->Add(text);
      else
        out->Add(pszGetDumpLabel(NA_LABEL_VALUE_NOT_CONVERTIBLE));
      out->Add(L">\r\n");
    }
  }
  if (!whole && out->nTaille() > cut) out->Tronque(cut);
  return TRUE;
}
