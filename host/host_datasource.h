// Stand-in for the host's description of a file as the driver's records are sized from it: the
// test's items in order, laid out as the host lays out its records: offsets are running sums of
// total sizes and first sub-item indexes running sums of dimensions; composite keys are not
// physical items and have no place in the disk record. Its keys are its key items and its memos
// its memo items, each in the order added. Items stay the test's; references given out are
// counted on them. Its names are the test's ("file" unless set); items are found by name
// ignoring case, as the host finds them.
#pragma once

#include <cwchar>
#include <vector>

#include "driver/inadatasourcedescription.h"
#include "host/host_itemdescription.h"

class CHostRecordDescription final : public INADataSourceDescription {
 public:
  // Appends item and lays it out after the items before it.
  void Add(CHostItemDescription* item) {
    item->m_nOffset = m_nMemorySize;
    item->m_nSubItem = m_nSubItems;
    m_nMemorySize += static_cast<int>(item->nGetTotalSize());
    m_nSubItems += static_cast<int>(item->nGetDimension());
    if (!item->bIsComposedKey()) {
      item->m_nPhysical = static_cast<unsigned int>(m_nPhysical++);
      m_nDiskSize += static_cast<int>(item->nGetTotalSize());
    }
    m_tabItems.push_back(item);
    if (item->bIsKey()) m_tabKeys.push_back(item);
    if (item->bMemo()) m_tabMemos.push_back(item);
  }

  int nGetVersion() const override { return 6; }
  int nGetCompatSince() const override { return 1; }
  INADataSourceDescription* ExternalAddRef() override {
    ++m_nRef;
    return this;
  }
  int nExternalRelease() override { return m_nRef > 0 ? --m_nRef : 0; }
  const wchar_t* pszGetLogicalName() const override { return m_pszName; }
  const wchar_t* pszGetPhysicalName() const override { return m_pszPhysicalName; }
  const wchar_t* pszGetDefaultDirectory() const override { return L""; }
  int nGetDiskRecordSize() const override { return m_nDiskSize; }
  int nGetMemoryRecordSize() const override { return m_nMemorySize; }
  int nGetNumItems() const override { return static_cast<int>(m_tabItems.size()); }
  int nGetNumKeys() const override { return static_cast<int>(m_tabKeys.size()); }
  int nGetNumMemos() const override { return static_cast<int>(m_tabMemos.size()); }
  int nGetNumItemPhysicallyInFic() const override { return m_nPhysical; }
  INAItemDescription* piNAGetItem(const wchar_t* name) override {
    for (CHostItemDescription* item : m_tabItems)
      if (name != nullptr && wcscasecmp(item->pszGetName(), name) == 0) return item->ExternalAddRef();
    return nullptr;
  }
  INAItemDescription* piNAGetItem(unsigned int i) override {
    return i < m_tabItems.size() ? m_tabItems[i]->ExternalAddRef() : nullptr;
  }
  INAItemDescription* piNAGetKey(unsigned int i) override {
    return i < m_tabKeys.size() ? m_tabKeys[i]->ExternalAddRef() : nullptr;
  }
  INAItemDescription* piNAGetMemo(unsigned int i) override {
    return i < m_tabMemos.size() ? m_tabMemos[i]->ExternalAddRef() : nullptr;
  }
  eNA_SUBDATATYPE eGetNASubDataType() const override { return static_cast<eNA_SUBDATATYPE>(1); }
  const wchar_t* pszGetDBTableName() const override { return m_pszDBTableName; }
  // The test's choice, with an external reference; null when it made none.
  INAItemDescription* piGetBestParseItemDesc() override {
    return m_pBestParseItem != nullptr ? m_pBestParseItem->ExternalAddRef() : nullptr;
  }
  const wchar_t* pszGetExtendedInfo() const override { return L""; }
  const wchar_t* pszGetType() const override { return L""; }
  const wchar_t* pszGetOwner() const override { return L""; }
  const wchar_t* pszGetDefaultDatabase() const override { return L""; }
  const wchar_t* pszGetExtension() const override { return nullptr; }
  const wchar_t* pszGetCaption() const override { return nullptr; }
  BOOL bGetNullSupported() const override { return TRUE; }

  int nGetRefCount() const { return m_nRef; }
  // The host's own reading of its layout: no reference taken.
  CHostItemDescription* pclGetItemNoRef(size_t i) const { return i < m_tabItems.size() ? m_tabItems[i] : nullptr; }

  // Set by the test.
  const wchar_t* m_pszName = L"file";
  const wchar_t* m_pszPhysicalName = L"file";
  const wchar_t* m_pszDBTableName = L"file";
  INAItemDescription* m_pBestParseItem = nullptr;

 private:
  std::vector<CHostItemDescription*> m_tabItems;
  std::vector<CHostItemDescription*> m_tabKeys;
  std::vector<CHostItemDescription*> m_tabMemos;
  int m_nPhysical = 0;
  int m_nDiskSize = 0;
  int m_nMemorySize = 0;
  int m_nSubItems = 0;
  int m_nRef = 0;
};
