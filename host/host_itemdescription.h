// Stand-in for the host's own item descriptions handed to the driver: fields set by the test,
// counted external references (the test owns the object; it never deletes itself). The version
// can be set to 8 to stand for the host's older descriptions, which know no NULL constraint.
#pragma once

#include <vector>

#include "common/ctstring.h"
#include "sql/inaitemdescription.h"
#include "values/any.h"

class CHostItemDescription final : public INAItemDescription {
 public:
  CHostItemDescription(const wchar_t* name, eNA_ITEMTYPE type, unsigned int size, unsigned int dimension = 1)
      : m_csName(name), m_eType(type), m_nItemSize(size), m_nDimension(dimension) {}

  int nGetVersion() const override { return m_nVersion; }
  int nGetCompatSince() const override { return 1; }
  INAItemDescription* ExternalAddRef() override {
    ++m_nRef;
    return this;
  }
  int nExternalRelease() override { return m_nRef > 0 ? --m_nRef : 0; }
  const wchar_t* pszGetName() const override { return m_csName.pszGet(); }
  unsigned int nGetDimension() const override { return m_nDimension; }
  unsigned int nGetItemSize() const override { return m_nItemSize; }
  unsigned int nGetLogicalSize(int element) const override {
    const unsigned int one = m_nLogicalSize != 0 ? m_nLogicalSize : m_nItemSize;
    return element == -1 ? one * m_nDimension : one;
  }
  unsigned int nGetTotalSize() const override { return m_nItemSize * m_nDimension; }
  eNA_ITEMTYPE eNAGetItemType() const override { return m_eType; }
  unsigned int nGetPhysicalIndice() const override { return m_nPhysical; }
  BOOL bIsKey() const override { return (m_wKeyFlags & 0xF000) != 0; }
  BOOL bMemo() const override { return bMemoText() || bMemoBinary(); }
  BOOL bMemoText() const override { return m_eType == NA_IT_MEMOTEXTE || m_eType == NA_IT_MEMOUNICODE; }
  BOOL bMemoBinary() const override { return m_eType == NA_IT_MEMOBINAIRE; }
  BOOL bNumerical() const override { return FALSE; }
  BOOL bLiteral() const override { return m_eType == NA_IT_TEXTE; }
  int nGetKeyIndice() const override { return bIsKey() ? 0 : -1; }
  int nGetNumComponents() const override { return static_cast<int>(m_tabComponents.size()); }
  BOOL bPrimary() const override { return (m_wKeyFlags & 0x8000) != 0; }
  BOOL bUnique() const override { return (m_wKeyFlags & 0xC000) != 0; }
  BOOL bDuplicates() const override { return (m_wKeyFlags & 0x2000) != 0; }
  BOOL bIsComposedKey() const override { return (m_wKeyFlags & 0x1000) != 0; }
  BOOL bGetAscendant(int) const override { return bIsKey() && (m_wKeyFlags & 0x400) == 0; }
  // The key, or with a component number from 1 that component when m_dwDescendingComponents has
  // its bit.
  BOOL bGetDescendant(int n) const override {
    if (n >= 1 && n <= 32 && m_dwDescendingComponents != 0) return (m_dwDescendingComponents >> (n - 1)) & 1;
    return (m_wKeyFlags & 0x400) != 0;
  }
  BOOL bGetIgnoreCase(int) const override { return (m_wKeyFlags & 0x80) != 0; }
  BOOL bGetIgnorePunctuation(int) const override { return (m_wKeyFlags & 0x40) != 0; }
  BOOL bGetIgnoreAccent(int) const override { return (m_wKeyFlags & 0x20) != 0; }
  INAItemDescription* piGetItemComponent(int n) override {
    if (n < 1 || n > nGetNumComponents()) return nullptr;
    return m_tabComponents[static_cast<size_t>(n - 1)]->ExternalAddRef();
  }
  int nGetOffset(int element) const override {
    return m_nOffset + static_cast<int>(m_nItemSize) * element;
  }
  int nGetSubItemRecordIndice(int element) const override { return m_nSubItem + element; }
  const CAny* pclGetDefaultValue() const override { return m_bDefault ? &m_clDefault : nullptr; }
  const wchar_t* pszGetExtendedInfo() const override { return L"host info"; }
  const wchar_t* pszGetCaption() const override { return L"host caption"; }
  const wchar_t* pszGetDBType() const override { return L""; }
  const wchar_t* pszGetXBaseIndexPath() const override { return nullptr; }
  const wchar_t* pszGetXBaseKeyExpression() const override { return nullptr; }
  int nGetIntegerPart() const override { return m_nIntegerPart; }
  int nGetDecimalPart() const override { return m_nDecimalPart; }
  const wchar_t* pszGetNameInSource() const override { return m_pszNameInSource; }
  const wchar_t* pszGetSourceName() const override { return m_pszSourceName; }
  unsigned int nGetKeySize() const override { return 0; }
  void SetKeySize(unsigned int) override {}
  unsigned int nGetComponentKeySize(int) const override { return 0; }
  void SetComponentKeySize(unsigned int, int) override {}
  BOOL bUpdatable() const override { return TRUE; }
  void SetUpdatable(int) override {}
  void* piGetPrimaryLink(INAContext*, INADataSourceDescription**) override { return nullptr; }
  void* piGetForeignLink(unsigned int, INAContext*, INADataSourceDescription**) override { return nullptr; }
  unsigned int nGetNumForeignLink() const override { return 0; }
  const wchar_t* pszGetUnicodeLocale() const override { return nullptr; }
  BOOL vbConstraintNullAllowed() const override { return m_bNullAllowed; }

  int nGetRefCount() const { return m_nRef; }

  // Set by the test (the layout by CHostRecordDescription).
  CTString m_csName;
  eNA_ITEMTYPE m_eType;
  unsigned int m_nItemSize;
  unsigned int m_nDimension;
  int m_nVersion = 9;
  unsigned short m_wKeyFlags = 0;
  int m_nIntegerPart = 0;
  int m_nDecimalPart = 0;
  BOOL m_bNullAllowed = TRUE;
  const wchar_t* m_pszNameInSource = L"source column";
  const wchar_t* m_pszSourceName = L"source table";
  // 0: the item size.
  unsigned int m_nLogicalSize = 0;
  // Bit n - 1: component n sorts descending.
  unsigned int m_dwDescendingComponents = 0;
  unsigned int m_nPhysical = 0;
  int m_nOffset = -1;
  int m_nSubItem = -1;
  bool m_bDefault = false;
  CAny m_clDefault;
  std::vector<INAItemDescription*> m_tabComponents;

 private:
  int m_nRef = 0;
};
