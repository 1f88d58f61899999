#include "platform/dllres.h"

#include <dlfcn.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cwchar>

#include "platform/datacompressor.h"
#include "platform/errortable.h"
#include "platform/resblock.h"
#include "platform/winformat.h"

namespace {

// Registered by the host at any time and read by every load: kept atomic so a load never sees
// half a pointer.
std::atomic<PFNLOADSTRINGQXM> gpfnLoadStringQXM{nullptr};
BOOL gbInitialise = FALSE;

constexpr int kFirstTry = 256;

BOOL bLookup(const _stMyModuleInfo* record, STRessourceModule& request) {
  return record != nullptr && record->pfnRessource != nullptr && record->pfnRessource(request);
}

STRessourceModule NewRequest(unsigned int id) { return STRessourceModule{id, 0, nullptr, 0, 0, -1}; }

// The host's text, asking again with the room it says it needs. The room always holds a
// terminator, and a text is never taken past the room offered.
template <typename TString>
BOOL __QXM_bLoadString(unsigned int id, TString* out) {
  const PFNLOADSTRINGQXM pfn = gpfnLoadStringQXM.load(std::memory_order_acquire);
  if (pfn == nullptr || out == nullptr) return FALSE;
  wchar_t first[kFirstTry] = {};
  const int r = pfn(id, first, kFirstTry);
  if (r <= 0) return FALSE;
  if (r < kFirstTry) {
    out->Set(first, static_cast<unsigned int>(r));
    return TRUE;
  }
  const int room = r < INT_MAX ? r + 1 : INT_MAX;
  wchar_t* buffer = static_cast<wchar_t*>(calloc(static_cast<size_t>(room), sizeof(wchar_t)));
  if (buffer == nullptr) return FALSE;
  const int r2 = pfn(id, buffer, room);
  if (r2 > 0) out->Set(buffer, static_cast<unsigned int>(r2 < room ? r2 : room - 1));
  free(buffer);
  return r2 > 0;
}

template <typename TString>
BOOL __DLLRES_bLoadString(const _stMyModuleInfo* record, unsigned int id, TString* out) {
  if (out == nullptr) return FALSE;
  if (__QXM_bLoadString(id, out)) return TRUE;
  STRessourceModule request = NewRequest(id);
  if (!bLookup(record, request)) return FALSE;
  wchar_t* text = CDataCompressor::s_pszDeCompress(request);
  out->Set(text);  // a text that does not unpack reads as empty
  free(text);
  return TRUE;
}

}  // namespace

// ---- Life cycle and the separate-library remnants ----

BOOL DLLRES_bInit(HINSTANCE, int) {
  gbInitialise = TRUE;
  return TRUE;
}

void DLLRES_Term() { gbInitialise = FALSE; }

BOOL DLLRES_bUtiliseDLLRes() { return FALSE; }

HINSTANCE ghGetRessourceHandle() { return nullptr; }

void DLLRES_SetFichierQXM(const wchar_t*) {}

void* DLLRES_pLoadResourceModule(const _stMyModuleInfo*, unsigned int, const wchar_t*, unsigned int*) {
  return nullptr;
}

void* DLLRES_pLoadResource(const _stMyModuleInfo* record, HINSTANCE handle, unsigned int id, const wchar_t* name,
                           unsigned int* pSize) {
  // A null handle would make dlsym search every loaded module.
  if (handle == nullptr) return nullptr;
  auto pfn = reinterpret_cast<PFNLOADRESOURCEMODULE>(dlsym(handle, "DLLRES_pLoadResourceModule"));
  return pfn != nullptr ? pfn(record, id, name, pSize) : nullptr;
}

BOOL DLLRES_bForceInitRessource(PFNCOMMANDECOMPOSANTE command) {
  if (command == nullptr) return FALSE;
  STCommandeComposanteLoadString block{sizeof(STCommandeComposanteLoadString), 0, nullptr, 0, 0};
  command(COMMANDE_COMPOSANTE_LOADSTRING, reinterpret_cast<intptr_t>(&block));
  return TRUE;
}

int DLLRES_nGetUtilisation(const _stMyModuleInfo* record, unsigned int id) {
  STRessourceModule request = NewRequest(id);
  return bLookup(record, request) ? request.nUtilisation : -1;
}

// ---- Host callback ----

PFNLOADSTRINGQXM QXM_pfnGetLoadString() { return gpfnLoadStringQXM.load(std::memory_order_acquire); }

void QXM_SetLoadString(PFNLOADSTRINGQXM pfn) { gpfnLoadStringQXM.store(pfn, std::memory_order_release); }

int QXM_nLoadString(unsigned int id, wchar_t* buffer, int size) {
  const PFNLOADSTRINGQXM pfn = QXM_pfnGetLoadString();
  return pfn != nullptr ? pfn(id, buffer, size) : 0;
}

BOOL QXM_bLoadString(unsigned int id, CTString* out) { return __QXM_bLoadString(id, out); }

// ---- Loading ----

int DLLRES_nLoadString(const _stMyModuleInfo* record, unsigned int id, wchar_t* buffer, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  if (QXM_pfnGetLoadString() != nullptr) {
    const int r = QXM_nLoadString(id, buffer, size);
    if (r > 0 && r < size) {
      buffer[r] = 0;
      return r;
    }
    // The host's text does not fit (it may have written nothing): take it whole and cut it.
    CTString text;
    if (r > 0 && __QXM_bLoadString(id, &text)) {
      const int n = text.nTaille() < size ? text.nTaille() : size - 1;
      wmemcpy(buffer, text.pszGet(), static_cast<size_t>(n));
      buffer[n] = 0;
      return n;
    }
  }
  buffer[0] = 0;
  STRessourceModule request = NewRequest(id);
  if (!bLookup(record, request)) return 0;
  int length = size;
  switch (CDataCompressor::s_nDeCompress(buffer, &length, request)) {
    case CDataCompressor::RESULT_OK:
      return length;
    case CDataCompressor::RESULT_CUT:
      return size - 1;
    default:
      buffer[0] = 0;
      return 0;
  }
}

BOOL DLLRES_bLoadString(const _stMyModuleInfo* record, unsigned int id, CTString* out) {
  return __DLLRES_bLoadString(record, id, out);
}

// ---- Loading and formatting ----

unsigned int DLLRES_dwFormatMessage(const wchar_t* format, wchar_t** out, va_list args) {
  if (out == nullptr) return 0;
  *out = nullptr;
  if (format == nullptr) return 0;
  va_list copy;
  va_copy(copy, args);
  wchar_t* text = nullptr;
  const unsigned int n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_STRING, format, 0, 0,
                                        reinterpret_cast<wchar_t*>(&text), 0, &copy);
  va_end(copy);
  if (n == 0) {
    free(text);
    return 0;
  }
  *out = text;
  return n;
}

unsigned int DLLRES_dwFormatMessage(const wchar_t* format, CTString* out, va_list args) {
  if (out == nullptr) return 0;
  wchar_t* text = nullptr;
  const unsigned int n = DLLRES_dwFormatMessage(format, &text, args);
  out->SetBuffer(text);
  return n;
}

BOOL DLLRES_bFormatMessageList(const _stMyModuleInfo* record, unsigned int id, CTString* out, va_list args) {
  if (out == nullptr) return FALSE;
  CTString format;
  if (!DLLRES_bLoadString(record, id, &format)) {
    out->Vide();
    return FALSE;
  }
  return DLLRES_dwFormatMessage(format.pszGet(), out, args) != 0;
}

BOOL DLLRES_bFormatMessage(const _stMyModuleInfo* record, unsigned int id, CTString* out, ...) {
  va_list args;
  va_start(args, out);
  const BOOL b = DLLRES_bFormatMessageList(record, id, out, args);
  va_end(args);
  return b;
}

int DLLRES_nFormatMessageList(const _stMyModuleInfo* record, unsigned int id, wchar_t** out, va_list args) {
  if (out == nullptr) return 0;
  *out = nullptr;
  CTString format;
  if (!DLLRES_bLoadString(record, id, &format)) return 0;
  return static_cast<int>(DLLRES_dwFormatMessage(format.pszGet(), out, args));
}

int DLLRES_nFormatMessage(const _stMyModuleInfo* record, unsigned int id, wchar_t** out, ...) {
  va_list args;
  va_start(args, out);
  const int n = DLLRES_nFormatMessageList(record, id, out, args);
  va_end(args);
  return n;
}

BOOL DLLRES_bFormatMessageSingulierPlurielList(const _stMyModuleInfo* record, int variant, unsigned int id,
                                               CTString* out, va_list args) {
  if (out == nullptr) return FALSE;
  CTString text, piece;
  if (variant < 0 || !DLLRES_bLoadString(record, id, &text) ||
      !text.bExtraitChaine(variant, RES_VARIANT_SEPARATOR, &piece)) {
    out->Vide();
    return FALSE;
  }
  return DLLRES_dwFormatMessage(piece.pszGet(), out, args) != 0;
}

BOOL DLLRES_bFormatMessageSingulierPluriel(const _stMyModuleInfo* record, int variant, unsigned int id, CTString* out,
                                           ...) {
  va_list args;
  va_start(args, out);
  const BOOL b = DLLRES_bFormatMessageSingulierPlurielList(record, variant, id, out, args);
  va_end(args);
  return b;
}

CTStringFormatMessage::CTStringFormatMessage(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  DLLRES_dwFormatMessage(format, static_cast<CTString*>(this), args);
  va_end(args);
}

// ---- Component commands ----

int CommandeComposante(int code, intptr_t parameter) {
  switch (code) {
    case COMMANDE_COMPOSANTE_SET_LOADSTRING:
      QXM_SetLoadString(reinterpret_cast<PFNLOADSTRINGQXM>(parameter));
      return 1;
    case COMMANDE_COMPOSANTE_LOADSTRING: {
      auto* block = reinterpret_cast<STCommandeComposanteLoadString*>(parameter);
      // A block of another layout would have us write through a wrong pointer.
      if (block == nullptr || block->nSize < sizeof(STCommandeComposanteLoadString)) return 0;
      block->nResult = DLLRES_nLoadString(&gstMyModuleInfo32, block->nId, block->pszBuffer, block->nBufferSize);
      return block->nResult;
    }
    case COMMANDE_COMPOSANTE_GET_UTILISATION:
      return DLLRES_nGetUtilisation(&gstMyModuleInfo32, static_cast<unsigned int>(parameter));
    default:
      return 0;
  }
}
