// INAItemDescription: one item (column) or key of a table or query as the host reads it. The
// driver's descriptions implement it (sql/naitemdescription.h) and the host hands in its own;
// both are called by position in this order, so slots are never inserted, removed or moved.
// piGetItemComponent gives its component with an external reference for the caller.
#pragma once

#include "common/refpolicy.h"
#include "driver/inaversion.h"
#include "platform/wintypes.h"
#include "sql/naitemtype.h"

class CAny;
class INAContext;
class INADataSourceDescription;

class INAItemDescription : public INAVersion {
 public:
  virtual INAItemDescription* ExternalAddRef() = 0;
  // The external count left; 0 and nothing done when it was 0 already.
  virtual int nExternalRelease() = 0;
  virtual const wchar_t* pszGetName() const = 0;
  // Elements of an array item; 1 for a plain item.
  virtual unsigned int nGetDimension() const = 0;
  // Bytes of one element in the host record.
  virtual unsigned int nGetItemSize() const = 0;
  // Characters or bytes the item holds (element -1: the whole array).
  virtual unsigned int nGetLogicalSize(int element) const = 0;
  virtual unsigned int nGetTotalSize() const = 0;
  virtual eNA_ITEMTYPE eNAGetItemType() const = 0;
  // Position among the physical items of the record: its NULL bit.
  virtual unsigned int nGetPhysicalIndice() const = 0;
  virtual BOOL bIsKey() const = 0;
  virtual BOOL bMemo() const = 0;
  virtual BOOL bMemoText() const = 0;
  virtual BOOL bMemoBinary() const = 0;
  virtual BOOL bNumerical() const = 0;
  virtual BOOL bLiteral() const = 0;
  virtual int nGetKeyIndice() const = 0;
  virtual int nGetNumComponents() const = 0;
  virtual BOOL bPrimary() const = 0;
  virtual BOOL bUnique() const = 0;
  virtual BOOL bDuplicates() const = 0;
  virtual BOOL bIsComposedKey() const = 0;
  virtual BOOL bGetAscendant(int component) const = 0;
  virtual BOOL bGetDescendant(int component) const = 0;
  virtual BOOL bGetIgnoreCase(int component) const = 0;
  virtual BOOL bGetIgnorePunctuation(int component) const = 0;
  virtual BOOL bGetIgnoreAccent(int component) const = 0;
  // Component n, from 1; null when there is none.
  virtual INAItemDescription* piGetItemComponent(int n) = 0;
  // Byte offset of an element in the values area of the record; -1 until laid out.
  virtual int nGetOffset(int element) const = 0;
  virtual int nGetSubItemRecordIndice(int element) const = 0;
  // The one default value of every element (no reference); may be null.
  virtual const CAny* pclGetDefaultValue() const = 0;
  virtual const wchar_t* pszGetExtendedInfo() const = 0;
  virtual const wchar_t* pszGetCaption() const = 0;
  virtual const wchar_t* pszGetDBType() const = 0;
  virtual const wchar_t* pszGetXBaseIndexPath() const = 0;
  virtual const wchar_t* pszGetXBaseKeyExpression() const = 0;
  virtual int nGetIntegerPart() const = 0;
  virtual int nGetDecimalPart() const = 0;
  virtual const wchar_t* pszGetNameInSource() const = 0;
  virtual const wchar_t* pszGetSourceName() const = 0;
  virtual unsigned int nGetKeySize() const = 0;
  virtual void SetKeySize(unsigned int size) = 0;
  virtual unsigned int nGetComponentKeySize(int component) const = 0;
  virtual void SetComponentKeySize(unsigned int size, int component) = 0;
  virtual BOOL bUpdatable() const = 0;
  virtual void SetUpdatable(int updatable) = 0;
  // Link descriptions of the host's analysis; the driver's items have none.
  virtual void* piGetPrimaryLink(INAContext* context, INADataSourceDescription** source) = 0;
  virtual void* piGetForeignLink(unsigned int n, INAContext* context, INADataSourceDescription** source) = 0;
  virtual unsigned int nGetNumForeignLink() const = 0;
  virtual const wchar_t* pszGetUnicodeLocale() const = 0;
  virtual BOOL vbConstraintNullAllowed() const = 0;

  // A primary key, or a unique key that cannot be NULL. Descriptions older than version 9 know
  // no NULL constraint: only their automatic identifiers count as not NULL.
  BOOL bUniqueNotNull() const;

 protected:
  ~INAItemDescription() = default;
};

// Holders of an item description hold an external reference.
template <>
struct CRefPolicy<INAItemDescription> {
  static void AddRef(INAItemDescription* p) { p->ExternalAddRef(); }
  static void Release(INAItemDescription* p) { p->nExternalRelease(); }
};
