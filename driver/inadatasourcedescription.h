// INADataSourceDescription: a table or query description as the host reads it (the driver's own
// descriptions implement it, and the host hands its own to the driver), called by position in
// this order. Item, key and memo lookups come with an external reference for the caller.
#pragma once

#include <cstdint>

#include "driver/inaversion.h"
#include "platform/wintypes.h"

class INAItemDescription;

// Kind of data source; 1 for the driver's descriptions.
enum eNA_SUBDATATYPE : int32_t {};

class INADataSourceDescription : public INAVersion {
 public:
  virtual INADataSourceDescription* ExternalAddRef() = 0;
  // The external count left; 0 and nothing done when it was 0 already.
  virtual int nExternalRelease() = 0;
  virtual const wchar_t* pszGetLogicalName() const = 0;
  virtual const wchar_t* pszGetPhysicalName() const = 0;
  virtual const wchar_t* pszGetDefaultDirectory() const = 0;
  virtual int nGetDiskRecordSize() const = 0;
  virtual int nGetMemoryRecordSize() const = 0;
  virtual int nGetNumItems() const = 0;
  virtual int nGetNumKeys() const = 0;
  virtual int nGetNumMemos() const = 0;
  virtual int nGetNumItemPhysicallyInFic() const = 0;
  virtual INAItemDescription* piNAGetItem(const wchar_t* name) = 0;
  virtual INAItemDescription* piNAGetItem(unsigned int index) = 0;
  virtual INAItemDescription* piNAGetKey(unsigned int index) = 0;
  virtual INAItemDescription* piNAGetMemo(unsigned int index) = 0;
  virtual eNA_SUBDATATYPE eGetNASubDataType() const = 0;
  // The table's name in the database.
  virtual const wchar_t* pszGetDBTableName() const = 0;
  virtual INAItemDescription* piGetBestParseItemDesc() = 0;
  virtual const wchar_t* pszGetExtendedInfo() const = 0;
  virtual const wchar_t* pszGetType() const = 0;
  virtual const wchar_t* pszGetOwner() const = 0;
  virtual const wchar_t* pszGetDefaultDatabase() const = 0;
  virtual const wchar_t* pszGetExtension() const = 0;
  virtual const wchar_t* pszGetCaption() const = 0;
  virtual BOOL bGetNullSupported() const = 0;
  virtual void EmptySlot137() {}
  virtual void EmptySlot138() {}
  virtual void EmptySlot139() {}
  virtual void EmptySlot140() {}
  virtual void EmptySlot141() {}
  virtual void EmptySlot142() {}
  virtual void EmptySlot143() {}
  virtual void EmptySlot144() {}
  virtual void EmptySlot145() {}
  virtual void EmptySlot146() {}

 protected:
  ~INADataSourceDescription() = default;
};
