#include "common/tstringarray.h"

#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cwchar>

#include "platform/winformat.h"

namespace {

const wchar_t* Text(const CTString* s) { return s != nullptr ? s->pszGet() : L""; }

const wchar_t* Slot(const void* p) { return Text(*static_cast<CTString* const*>(p)); }

// Collects the pieces of a split into an array.
class CDecoupeur : public IVisiteurPourTouteChaine {
 public:
  explicit CDecoupeur(CTStringArray* out) : m_out(out) {}
  int nVisite(int, const wchar_t* start, int length) override {
    m_out->vAjoute(start, length);
    return 1;
  }

 private:
  CTStringArray* m_out;
};

}  // namespace

CTStringArray::~CTStringArray() { SupprimeTout(); }

void CTStringArray::_AjouteNouveau(CTString* p) {
  if (CTTableau<CTString*>::Ajoute(p) == nullptr) delete p;
}

void CTStringArray::Initialise(CTString* const& value, int n) {
  // Copied first: value may be one of the strings about to go.
  CTString text(Text(value));
  SupprimeTout();
  Initialise(text.pszGet(), n);
}

void CTStringArray::Initialise(const void* p, int n) {
  Initialise(p != nullptr ? *static_cast<CTString* const*>(p) : nullptr, n);
}

// ---- Adding and replacing ----

void CTStringArray::Ajoute(const CTString* s) { Ajoute(s != nullptr ? s->pszGet() : nullptr); }

void CTStringArray::Ajoute(const wchar_t* s) { _AjouteNouveau(new CTString(s)); }

void CTStringArray::Ajoute(const CTTableau<CTString*>& other) {
  // Counted once: other may be this array, which grows meanwhile.
  const int n = other.nGetCount();
  AgranditMemoire(n);
  for (int i = 0; i < n; ++i) Ajoute(other.GetAt(i));
}

void CTStringArray::Insere(const CTString* s, int i) { Insere(s != nullptr ? s->pszGet() : nullptr, i); }

void CTStringArray::Insere(const wchar_t* s, int i) {
  CTString* p = new CTString(s);
  if (CTTableau<CTString*>::Insere(p, i) == nullptr) delete p;
}

void CTStringArray::SetAt(const CTString* s, int i) { SetAt(s != nullptr ? s->pszGet() : nullptr, i); }

void CTStringArray::SetAt(const wchar_t* s, int i) {
  if (i < 0 || i >= nGetCount()) return;
  // The copy is made before the old string goes: s may be its text.
  CTString* p = new CTString(s);
  CTString* old = GetAt(i);
  CTTableau<CTString*>::SetAt(p, i);
  delete old;
}

void CTStringArray::Supprime(int i) {
  if (i < 0 || i >= nGetCount()) return;
  delete GetAt(i);
  CTableauDeBuffer::Supprime(i, 1);
}

void CTStringArray::SupprimeTout() {
  const int n = nGetCount();
  for (int i = 0; i < n; ++i) delete GetAt(i);
  SupprimeDernier(n);
}

void CTStringArray::Initialise(const wchar_t* s, int n) {
  if (n <= 0) return;
  // Copied first: s may be an element's text, and the block may move.
  CTString text(s);
  AgranditMemoire(n);
  for (int k = 0; k < n; ++k) Ajoute(text.pszGet());
}

void CTStringArray::vAjoute(const wchar_t* s, int n) { _AjouteNouveau(new CTString(s, n)); }

void CTStringArray::AjouteRecupere(CTString* s) {
  CTString* p = new CTString;
  if (s != nullptr) p->Transfert(*s);
  _AjouteNouveau(p);
}

void CTStringArray::AjoutePrintf(const wchar_t* format, ...) {
  CTString* p = new CTString;
  va_list ap;
  va_start(ap, format);
  p->FormatV(format, ap);
  va_end(ap);
  _AjouteNouveau(p);
}

void CTStringArray::AjouteFormatMessageWin(const wchar_t* format, ...) {
  CTString* p = new CTString;
  wchar_t* text = nullptr;
  va_list ap;
  va_start(ap, format);
  ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_STRING, format, 0, 0,
                   reinterpret_cast<wchar_t*>(&text), 0, &ap);
  va_end(ap);
  if (text != nullptr) {
    p->SetBuffer(text);
    if (text[0] == 0) p->Vide();
  }
  _AjouteNouveau(p);
}

// ---- Reading ----

CTString* CTStringArray::operator[](int i) const { return GetAt(i); }

int CTStringArray::nRecherche(const wchar_t* s, int bCaseSensitive, int start) const {
  const CTString empty;
  if (start < 0) start = 0;
  for (int i = start; i < nGetCount(); ++i) {
    const CTString* e = GetAt(i) != nullptr ? GetAt(i) : &empty;
    if (bCaseSensitive ? e->bEstEgal(s) : e->bEstEgalI(s)) return i;
  }
  return -1;
}

// ---- Sorting ----

int CTStringArray::__nCompare(const void* a, const void* b) { return wcscmp(Slot(a), Slot(b)); }
int CTStringArray::__nCompareI(const void* a, const void* b) { return wcscasecmp(Slot(a), Slot(b)); }
int CTStringArray::__nCompareInverse(const void* a, const void* b) { return wcscmp(Slot(b), Slot(a)); }

void CTStringArray::_Sort(int (*compare)(const void*, const void*)) {
  if (nGetCount() > 1) qsort(pGetData(), static_cast<size_t>(nGetCount()), sizeof(CTString*), compare);
}

void CTStringArray::TrieCroisssant() { _Sort(__nCompare); }
void CTStringArray::TrieCroisssantI() { _Sort(__nCompareI); }
void CTStringArray::TrieDecroisssant() { _Sort(__nCompareInverse); }

// ---- Joining and splitting ----

BOOL CTStringArray::bFusion(CTString* out, const wchar_t* sep) const {
  if (out == nullptr) return FALSE;
  const int n = nGetCount();
  const size_t sepLen = sep != nullptr ? wcslen(sep) : 0;
  // CTString counts in int.
  constexpr size_t kMax = static_cast<size_t>(INT_MAX) - 1;
  size_t total = 0;
  for (int i = 0; i < n; ++i) {
    const size_t len = wcslen(Text(GetAt(i))) + (i > 0 ? sepLen : 0);
    if (len > kMax - total) return FALSE;
    total += len;
  }
  if (total == 0) {
    out->Vide();
    return TRUE;
  }
  // A new buffer: out may be one of the elements being read.
  wchar_t* buffer = static_cast<wchar_t*>(malloc((total + 1) * sizeof(wchar_t)));
  if (buffer == nullptr) return FALSE;
  wchar_t* w = buffer;
  for (int i = 0; i < n; ++i) {
    if (i > 0 && sepLen > 0) w = wmemcpy(w, sep, sepLen) + sepLen;
    const wchar_t* s = Text(GetAt(i));
    const size_t len = wcslen(s);
    if (len > 0) w = wmemcpy(w, s, len) + len;
  }
  *w = 0;
  out->SetBuffer(buffer);
  return TRUE;
}

void CTStringArray::Decoupe(const CTString& text, const wchar_t* sep) {
  // Built aside, so that text and sep may belong to the strings being replaced.
  CTStringArray pieces;
  CDecoupeur collect(&pieces);
  text.PourTouteChaineSepareePar(sep, &collect);
  EchangeTableau(this, &pieces);
}

void CTStringArray::Decoupe(const wchar_t* text, const wchar_t* sep) { Decoupe(CTString(text), sep); }

BOOL CTStringArray::g_bTrieCroissantI(CTString* out, const wchar_t* text, const wchar_t* sep) {
  CTStringArray pieces;
  pieces.Decoupe(text, sep);
  pieces.TrieCroisssantI();
  return pieces.bFusion(out, sep);
}
