#include "common/zvmemoimage.h"

#include <initializer_list>

#include "common/str_buffer.h"

CZVMemoImage::~CZVMemoImage() {
  for (wchar_t* psz : {m_pszNomImage, m_pszNomTable, m_pszNomRubrique, m_pszNomTableNumEnr, m_pszNomRubriqueNumEnr})
    STR_DeleteW(psz);
  if (m_piImage != nullptr) m_piImage->Release();
}

void CZVMemoImage::SetName(wchar_t** ppsz, const wchar_t* psz) {
  // The copy comes first: psz may be the text about to be freed.
  wchar_t* copy = psz != nullptr ? STR_pszCreate(psz) : nullptr;
  STR_DeleteW(*ppsz);
  *ppsz = copy;
}

void CZVMemoImage::SetNomImage(const wchar_t* psz) { SetName(&m_pszNomImage, psz); }
void CZVMemoImage::SetNomTable(const wchar_t* psz) { SetName(&m_pszNomTable, psz); }
void CZVMemoImage::SetNomRubrique(const wchar_t* psz) { SetName(&m_pszNomRubrique, psz); }
void CZVMemoImage::SetNomTableNumEnr(const wchar_t* psz) { SetName(&m_pszNomTableNumEnr, psz); }
void CZVMemoImage::SetNomRubriqueNumEnr(const wchar_t* psz) { SetName(&m_pszNomRubriqueNumEnr, psz); }

void CZVMemoImage::SetBinData(const CZVBIN& b) {
  m_clBinData = b;
  m_dwFlags |= FLAG_BINDATA;
}

void CZVMemoImage::SetLoadType(eLOADTYPE t) {
  switch (t) {
    case LOAD_0:
    case LOAD_2: m_dwFlags &= ~FLAG_LOAD1; break;
    case LOAD_1: m_dwFlags |= FLAG_LOAD1; break;
    case LOAD_3: m_dwFlags = (m_dwFlags & ~FLAG_LOAD1) | FLAG_IMAGE; break;
  }
}

void CZVMemoImage::SetZVImage(IImageZV* p) {
  if (p != nullptr) p->AddRef();
  if (m_piImage != nullptr) m_piImage->Release();
  // Bytes fetched from the image it replaces are not this image's; bytes set by the owner stay.
  if (p != m_piImage && (m_dwFlags & FLAG_BINDATA) == 0) m_clBinData = CZVBIN();
  m_piImage = p;
  m_dwFlags = p != nullptr ? (m_dwFlags | FLAG_IMAGE) : (m_dwFlags & ~FLAG_IMAGE);
}

CZVBIN* CZVMemoImage::pclGetBinDataEx() {
  if ((m_dwFlags & FLAG_BINDATA) == 0) {
    if (m_pfnSauveZVBin != nullptr)
      reinterpret_cast<PFSAUVEZVBIN>(m_pfnSauveZVBin)(this);
    else if (m_piImage != nullptr && m_piImage->nGetVersion() > 7)
      m_piImage->WriteZVBin(&m_clBinData);
  }
  return &m_clBinData;
}

void* CZVMemoImage::piGetSourceImage() {
  if (m_pfnGetSourceImage == nullptr) return nullptr;
  return reinterpret_cast<PFGETSOURCEIMAGE>(m_pfnGetSourceImage)(this);
}
