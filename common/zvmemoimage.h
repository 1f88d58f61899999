// CZVMemoImage: one image kept in a memo item of a record, as the host's image handling fills it
// through the setters: where it comes from (image, table and item names, record number and the
// names locating that record, the host's field, callback and database context), how it loads, and
// its bytes, held or fetched on demand from the save callback or from an attached host image.
//
// The memo owns heap copies of its names, its binary data (a shared CZVBIN) and one reference on
// the attached image; the host's pointers are only kept. The host calls the setters by position:
// their order below is the host's and must not change.
#pragma once

#include <cstdint>

#include "common/zvbin.h"
#include "platform/qxunknown.h"

// The host's image object, called by position; only the listed slots are used.
class IImageZV {
 public:
  virtual void AddRef() = 0;
  virtual void Release() = 0;
#define QX_IMAGE_SLOT(n) virtual void vReserved##n() {}
  QX_IMAGE_SLOT(2) QX_IMAGE_SLOT(3) QX_IMAGE_SLOT(4) QX_IMAGE_SLOT(5) QX_IMAGE_SLOT(6) QX_IMAGE_SLOT(7)
  virtual int nGetVersion() = 0;
  QX_IMAGE_SLOT(9) QX_IMAGE_SLOT(10) QX_IMAGE_SLOT(11) QX_IMAGE_SLOT(12) QX_IMAGE_SLOT(13) QX_IMAGE_SLOT(14)
  QX_IMAGE_SLOT(15) QX_IMAGE_SLOT(16) QX_IMAGE_SLOT(17) QX_IMAGE_SLOT(18) QX_IMAGE_SLOT(19) QX_IMAGE_SLOT(20)
  QX_IMAGE_SLOT(21) QX_IMAGE_SLOT(22) QX_IMAGE_SLOT(23) QX_IMAGE_SLOT(24) QX_IMAGE_SLOT(25) QX_IMAGE_SLOT(26)
  QX_IMAGE_SLOT(27) QX_IMAGE_SLOT(28)
#undef QX_IMAGE_SLOT
  // Writes the image's bytes into *pBin.
  virtual void WriteZVBin(CZVBIN* pBin) = 0;

 protected:
  ~IImageZV() = default;
};

class CZVMemoImage : public CQXUnknown {
 public:
  enum eLOADTYPE { LOAD_0 = 0, LOAD_1 = 1, LOAD_2 = 2, LOAD_3 = 3 };
  static constexpr uint32_t FLAG_BINDATA = 0x1;
  static constexpr uint32_t FLAG_IMAGE = 0x10;
  static constexpr uint32_t FLAG_LOAD1 = 0x8000;

  using PFSAUVEZVBIN = void (*)(CZVMemoImage* memo);
  using PFGETSOURCEIMAGE = void* (*)(CZVMemoImage* memo);

  CZVMemoImage() = default;
  CZVMemoImage(const CZVMemoImage&) = delete;
  CZVMemoImage& operator=(const CZVMemoImage&) = delete;
  // Frees the names and drops the image's reference.
  ~CZVMemoImage() override;

  // Name setters keep a heap copy (null for null); the text may be one of the memo's own names.
  virtual void SetNomImage(const wchar_t* psz);
  virtual void SetNomTable(const wchar_t* psz);
  virtual void SetNomRubrique(const wchar_t* psz);
  virtual void SetChamp(void* p) { m_pChamp = p; }
  virtual void SetCallback(void* p) { m_pCallback = p; }
  virtual void SetContexteKJ(void* p) { m_pContexteKJ = p; }
  virtual void SetNumEnr(long long n) { m_llNumEnr = n; }
  virtual void SetNomTableNumEnr(const wchar_t* psz);
  virtual void SetNomRubriqueNumEnr(const wchar_t* psz);
  // Shares b's block and marks the data as set.
  virtual void SetBinData(const CZVBIN& b);
  virtual void SetCallbackSauveZVBin(void* pfn) { m_pfnSauveZVBin = pfn; }
  virtual void SetCallbackGetSourceImage(void* pfn) { m_pfnGetSourceImage = pfn; }

  // 0 and 2 clear FLAG_LOAD1, 1 sets it, 3 clears it and sets FLAG_IMAGE; other values do nothing.
  void SetLoadType(eLOADTYPE t);
  // Takes a reference on p and drops the one on the previous image (p may be that image);
  // FLAG_IMAGE follows whether p is null. Another image drops the bytes fetched from the previous
  // one; data given by SetBinData is kept.
  void SetZVImage(IImageZV* p);
  // The binary data, first filled when not set: by the save callback when there is one, else by
  // an attached image whose version is above 7.
  CZVBIN* pclGetBinDataEx();
  // The source-image callback's answer; null without a callback.
  void* piGetSourceImage();

  const wchar_t* pszGetNomImage() const { return m_pszNomImage; }
  const wchar_t* pszGetNomTable() const { return m_pszNomTable; }
  const wchar_t* pszGetNomRubrique() const { return m_pszNomRubrique; }
  const wchar_t* pszGetNomTableNumEnr() const { return m_pszNomTableNumEnr; }
  const wchar_t* pszGetNomRubriqueNumEnr() const { return m_pszNomRubriqueNumEnr; }
  void* pGetChamp() const { return m_pChamp; }
  void* pGetCallback() const { return m_pCallback; }
  void* pGetContexteKJ() const { return m_pContexteKJ; }
  long long llGetNumEnr() const { return m_llNumEnr; }
  uint32_t dwGetFlags() const { return m_dwFlags; }
  IImageZV* piGetZVImage() const { return m_piImage; }

 private:
  static void SetName(wchar_t** ppsz, const wchar_t* psz);

  wchar_t* m_pszNomImage = nullptr;
  wchar_t* m_pszNomTable = nullptr;
  wchar_t* m_pszNomRubrique = nullptr;
  void* m_pChamp = nullptr;
  void* m_pCallback = nullptr;
  void* m_pContexteKJ = nullptr;
  long long m_llNumEnr = -1;
  wchar_t* m_pszNomTableNumEnr = nullptr;
  wchar_t* m_pszNomRubriqueNumEnr = nullptr;
  uint32_t m_dwFlags = 0;
  CZVBIN m_clBinData;
  void* m_pfnSauveZVBin = nullptr;
  void* m_pfnGetSourceImage = nullptr;
  IImageZV* m_piImage = nullptr;
};
