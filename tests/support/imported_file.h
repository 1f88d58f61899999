// The host's file over a server table, described as the driver's import describes its columns
// (item type, size, digits), as a host gets it for an external table; the key is the column `id`.
// Used by the comparisons of every column type read and written through the loaded driver.
#pragma once

#include <deque>
#include <string>

#include "driver/inadatasourcedescription.h"
#include "host/host_datasource.h"
#include "host/host_itemdescription.h"
#include "sql/inaitemdescription.h"

// A host text as ASCII, '?' for any other character (for messages and item names).
inline std::string Narrow(const wchar_t* w) {
  std::string s;
  for (; w != nullptr && *w != 0; ++w) s += *w < 128 ? static_cast<char>(*w) : '?';
  return s;
}

struct CImportedFile {
  // Builds desc from the driver's description of table (which must outlive this file).
  void Describe(INADataSourceDescription* imported, const wchar_t* table) {
    desc.m_pszName = desc.m_pszPhysicalName = desc.m_pszDBTableName = table;
    for (int i = 0; i < imported->nGetNumItems(); ++i) {
      INAItemDescription* item = imported->piNAGetItem(static_cast<unsigned int>(i));
      CHostItemDescription& h =
          items.emplace_back(names.emplace_back(item->pszGetName()).c_str(), item->eNAGetItemType(), item->nGetItemSize());
      h.m_nIntegerPart = item->nGetIntegerPart();
      h.m_nDecimalPart = item->nGetDecimalPart();
      h.m_pszNameInSource = L"";
      if (names.back() == L"id") {
        h.m_wKeyFlags = 0x8000;
        h.m_bNullAllowed = FALSE;
      }
      desc.Add(&h);
      item->nExternalRelease();
    }
  }
  // The item named name, null without it.
  const CHostItemDescription* Item(const wchar_t* name) const {
    for (size_t i = 0; i < items.size(); ++i)
      if (names[i] == name) return &items[i];
    return nullptr;
  }

  std::deque<std::wstring> names;
  std::deque<CHostItemDescription> items;
  CHostRecordDescription desc;
};
