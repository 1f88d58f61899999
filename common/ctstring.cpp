#include "common/ctstring.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <random>
#include <string>
#include <vector>

#include "common/printf_length.h"
#include "common/str_compare.h"
#include "common/str_number.h"
#include "common/xystring.h"
#include "platform/codepage.h"
#include "platform/winformat.h"

namespace {

// Every length is an int, so no text may hold more than INT_MAX - 1 characters.
constexpr size_t kMaxChars = static_cast<size_t>(INT_MAX) - 1;
// __Remplace keeps its work buffer on the stack up to this many characters.
constexpr size_t kStackReplace = 1024;

struct Piece {
  const wchar_t* p;
  size_t n;
};

size_t Len(const wchar_t* s) { return s != nullptr ? wcslen(s) : 0; }

int ClampIndex(int i, size_t len) {
  if (i < 0) return 0;
  return static_cast<size_t>(i) > len ? static_cast<int>(len) : i;
}

}  // namespace

const wchar_t CTString::ms_szVide[1] = {0};

// ---- Construction ----

CTString::CTString(const wchar_t* s) { Set(s); }
CTString::CTString(const CTString& other) { SetCounted(other.pszGet(), Len(other.m_psz)); }
CTString::CTString(const wchar_t* s, int n) {
  if (s != nullptr && n > 0) SetCounted(s, wcsnlen(s, static_cast<size_t>(n)));
}
CTString::CTString(const wchar_t* a, const wchar_t* b, const wchar_t* c) { Set(a, b, c); }
CTString::CTString(const char* s) { SetANSIEx(s, -1, 1252); }
CTString::~CTString() { free(m_psz); }

// ---- Buffer ----

BOOL CTString::_SetBufferSize(int n) {
  const size_t chars = n < 0 ? 0 : static_cast<size_t>(n);
  wchar_t* p = chars > kMaxChars ? nullptr : static_cast<wchar_t*>(realloc(m_psz, (chars + 1) * sizeof(wchar_t)));
  if (p == nullptr) {
    Vide();
    return FALSE;
  }
  m_psz = p;
  return TRUE;
}

void CTString::Vide() {
  free(m_psz);
  m_psz = nullptr;
}

void CTString::SetBuffer(wchar_t* p) {
  if (p == m_psz) return;
  free(m_psz);
  m_psz = p;
}

void CTString::Transfert(CTString& other) {
  if (&other == this) return;
  SetBuffer(other.m_psz);
  other.m_psz = nullptr;
}

bool CTString::bAliases(const wchar_t* s) const {
  if (m_psz == nullptr || s == nullptr) return false;
  const uintptr_t a = reinterpret_cast<uintptr_t>(s), b = reinterpret_cast<uintptr_t>(m_psz);
  return a >= b && a <= b + wcslen(m_psz) * sizeof(wchar_t);
}

// The pieces (which may lie in the string's own text) joined in a new buffer, read before the
// old buffer goes. Null for an empty result or no memory.
static wchar_t* Assemble(const Piece* pieces, int count) {
  size_t n = 0;
  for (int i = 0; i < count; ++i) {
    if (pieces[i].n > kMaxChars - n) return nullptr;
    n += pieces[i].n;
  }
  wchar_t* p = n == 0 ? nullptr : static_cast<wchar_t*>(malloc((n + 1) * sizeof(wchar_t)));
  if (p == nullptr) return nullptr;
  wchar_t* w = p;
  for (int i = 0; i < count; ++i) {
    if (pieces[i].n > 0) wmemcpy(w, pieces[i].p, pieces[i].n);
    w += pieces[i].n;
  }
  *w = 0;
  return p;
}

void CTString::SetCounted(const wchar_t* s, size_t n) {
  if (s == nullptr || n == 0) {
    Vide();
    return;
  }
  if (bAliases(s)) {
    if (s == m_psz && m_psz[n] == 0) return;
    wmemmove(m_psz, s, n);
    m_psz[n] = 0;
    _SetBufferSize(static_cast<int>(n));
    return;
  }
  if (m_psz == nullptr || wcslen(m_psz) != n) {
    if (n > kMaxChars || !_SetBufferSize(static_cast<int>(n))) {
      Vide();
      return;
    }
  }
  wmemcpy(m_psz, s, n);
  m_psz[n] = 0;
}

void CTString::AddCounted(const wchar_t* s, size_t n) {
  if (s == nullptr || n == 0) return;
  const size_t old = Len(m_psz);
  if (n > kMaxChars - old) {
    Vide();
    return;
  }
  // Taken as an offset: the buffer may move.
  const bool inside = bAliases(s);
  const size_t offset = inside ? static_cast<size_t>(s - m_psz) : 0;
  if (!_SetBufferSize(static_cast<int>(old + n))) return;
  wmemmove(m_psz + old, inside ? m_psz + offset : s, n);
  m_psz[old + n] = 0;
}

void CTString::Splice(size_t pos, size_t count, const wchar_t* s, size_t n) {
  const size_t len = Len(m_psz);
  const Piece pieces[3] = {{m_psz, pos}, {s, n}, {m_psz + pos + count, len - pos - count}};
  SetBuffer(Assemble(pieces, 3));
}

// ---- Assignment ----

void CTString::Set(const wchar_t* s) { SetCounted(s, Len(s)); }
CTString& CTString::operator=(const wchar_t* s) {
  Set(s);
  return *this;
}
CTString& CTString::operator=(wchar_t* s) {
  Set(s);
  return *this;
}
CTString& CTString::operator=(const CTString& other) {
  if (&other != this) SetCounted(other.m_psz, Len(other.m_psz));
  return *this;
}
CTString& CTString::operator=(CTString&& other) noexcept {
  Transfert(other);
  return *this;
}
void CTString::Set(const wchar_t* s, unsigned int n) { SetCounted(s, s != nullptr ? wcsnlen(s, n) : 0); }

void CTString::Set(const wchar_t* a, const wchar_t* b, const wchar_t* c) {
  const Piece pieces[3] = {{a, Len(a)}, {b, Len(b)}, {c, Len(c)}};
  const size_t total = pieces[0].n + pieces[1].n + pieces[2].n;
  if (total == 0) {
    Vide();
    return;
  }
  // In place only when no part lies in the text and the length stays.
  if (m_psz != nullptr && wcslen(m_psz) == total && !bAliases(a) && !bAliases(b) && !bAliases(c)) {
    wchar_t* w = m_psz;
    for (const Piece& piece : pieces) {
      if (piece.n > 0) wmemcpy(w, piece.p, piece.n);
      w += piece.n;
    }
    return;
  }
  SetBuffer(Assemble(pieces, 3));
}

void CTString::Set(wchar_t c) {
  // Terminated, like every text SetCounted may read up to its count.
  const wchar_t one[2] = {c, 0};
  if (c == 0)
    Vide();
  else
    SetCounted(one, 1);
}
CTString& CTString::operator=(wchar_t c) {
  Set(c);
  return *this;
}
void CTString::Set(const CXYString<wchar_t>& s) { Set(s.pszGet()); }
void CTString::Set(const CXYString<wchar_t>* s) { Set(s != nullptr ? s->pszGet() : nullptr); }

void CTString::SetI4(int n) {
  wchar_t text[16];
  Set(itow(n, text, 10));
}
void CTString::SetI8(long long n) {
  wchar_t text[32];
  Set(i64tow(n, text, 10));
}

void CTString::SetANSIEx(const char* s, int n, unsigned int codePage) {
  if (s == nullptr) {
    Vide();
    return;
  }
  // Exactly n bytes, or fewer when a NUL comes first.
  const size_t bytes = n < 0 ? strlen(s) : strnlen(s, static_cast<size_t>(n));
  if (bytes == 0 || bytes > kMaxChars) {
    Vide();
    return;
  }
  const int len = static_cast<int>(bytes);
  const int need = MultiByteToWideChar(codePage, 0, s, len, nullptr, 0);
  wchar_t* p = need > 0 ? static_cast<wchar_t*>(malloc((static_cast<size_t>(need) + 1) * sizeof(wchar_t))) : nullptr;
  const int got = p != nullptr ? MultiByteToWideChar(codePage, 0, s, len, p, need) : 0;
  if (got <= 0) {
    free(p);
    Vide();
    return;
  }
  p[got] = 0;
  SetBuffer(p);
}

// ---- Reading ----

int CTString::nTaille() const { return static_cast<int>(Len(m_psz)); }

wchar_t CTString::cGetChar(int i) const {
  return i >= 0 && static_cast<size_t>(i) <= Len(m_psz) ? pszGet()[i] : 0;
}

void CTString::SetChar(int i, wchar_t c) {
  if (i >= 0 && static_cast<size_t>(i) < Len(m_psz)) m_psz[i] = c;
}

BOOL CTString::bEstEgal(const wchar_t* s) const { return wcscmp(pszGet(), s != nullptr ? s : L"") == 0; }

BOOL CTString::bEstEgalI(const wchar_t* s) const {
  return STR_nUpCompareW(s != nullptr ? s : L"", pszGet(), LOCALE_FLAG_ACCENT) == 0 ? TRUE : FALSE;
}

BOOL CTString::bCommencePar(const wchar_t* s) const {
  const size_t n = Len(s);
  return n <= Len(m_psz) && wmemcmp(pszGet(), s, n) == 0 ? TRUE : FALSE;
}

BOOL CTString::bTerminePar(const wchar_t* s) const {
  const size_t n = Len(s), len = Len(m_psz);
  return n <= len && wmemcmp(pszGet() + len - n, s, n) == 0 ? TRUE : FALSE;
}

// Counted form of bEstEgalI: the service's flexible rule on n characters of each side.
static BOOL EqualI(const wchar_t* a, const wchar_t* b, size_t n) {
  if (n == 0) return TRUE;
  return __STR_CompareStringEx<wchar_t>(LOCALE_FLAG_CASE_ACCENT, a, static_cast<int>(n), b, static_cast<int>(n),
                                        LOCALE_ID_SYSTEM_DEFAULT) == 2
             ? TRUE
             : FALSE;
}

BOOL CTString::bCommenceParI(const wchar_t* s) const {
  const size_t n = Len(s);
  return n <= Len(m_psz) ? EqualI(pszGet(), s, n) : FALSE;
}

BOOL CTString::bTermineParI(const wchar_t* s) const {
  const size_t n = Len(s), len = Len(m_psz);
  return n <= len ? EqualI(pszGet() + len - n, s, n) : FALSE;
}

BOOL CTString::bTerminePar(wchar_t c) const {
  const size_t len = Len(m_psz);
  return len > 0 && m_psz[len - 1] == c ? TRUE : FALSE;
}

int CTString::nPos(const wchar_t* s, int start) const {
  const size_t len = Len(m_psz);
  if (len == 0 || Len(s) == 0) return -1;
  if (start < 0) start = 0;
  if (static_cast<size_t>(start) >= len) return -1;
  const wchar_t* hit = wcsstr(m_psz + start, s);
  return hit != nullptr ? static_cast<int>(hit - m_psz) : -1;
}

int CTString::nPos(wchar_t c, int start) const {
  const size_t len = Len(m_psz);
  if (len == 0 || c == 0) return -1;
  if (start < 0) start = 0;
  if (static_cast<size_t>(start) >= len) return -1;
  const wchar_t* hit = wcschr(m_psz + start, c);
  return hit != nullptr ? static_cast<int>(hit - m_psz) : -1;
}

int CTString::nRPos(const wchar_t* s) const {
  const size_t len = Len(m_psz);
  if (len == 0 || Len(s) == 0) return -1;
  const wchar_t* hit = STRRSTR(m_psz, static_cast<int>(len), s);
  return hit != nullptr ? static_cast<int>(hit - m_psz) : -1;
}

int CTString::nRPos(wchar_t c) const {
  if (m_psz == nullptr || c == 0) return -1;
  const wchar_t* hit = wcsrchr(m_psz, c);
  return hit != nullptr ? static_cast<int>(hit - m_psz) : -1;
}

int CTString::nUpPos(const wchar_t* s, int start) const {
  const size_t len = Len(m_psz), n = Len(s);
  if (len == 0 || n == 0) return -1;
  if (start < 0) start = 0;
  if (static_cast<size_t>(start) + n > len) return -1;
  for (size_t i = static_cast<size_t>(start); i + n <= len; ++i) {
    size_t j = 0;
    while (j < n && towupper(static_cast<wint_t>(m_psz[i + j])) == towupper(static_cast<wint_t>(s[j]))) ++j;
    if (j == n) return static_cast<int>(i);
  }
  return -1;
}

int CTString::nPosParmi(const wchar_t* set) const {
  if (m_psz == nullptr || Len(set) == 0) return -1;
  const wchar_t* hit = wcspbrk(m_psz, set);
  return hit != nullptr ? static_cast<int>(hit - m_psz) : -1;
}

int CTString::nNbOcc(const wchar_t* s) const {
  const size_t n = Len(s);
  if (m_psz == nullptr || n == 0) return 0;
  int count = 0;
  for (const wchar_t* p = wcsstr(m_psz, s); p != nullptr; p = wcsstr(p + n, s)) ++count;
  return count;
}

CTString CTString::clMilieu(int pos, int count) const {
  const size_t len = Len(m_psz);
  if (pos < 0) pos = 0;
  if (static_cast<size_t>(pos) >= len) return CTString();
  const size_t rest = len - static_cast<size_t>(pos);
  CTString r;
  r.SetCounted(m_psz + pos, count < 0 || static_cast<size_t>(count) > rest ? rest : static_cast<size_t>(count));
  return r;
}

CTString CTString::clMilieu(int pos) const { return clMilieu(pos, -1); }

CTString CTString::clGauche(int n) const { return n > 0 ? clMilieu(0, n) : CTString(); }

CTString CTString::clDroite(int n) const {
  const size_t len = Len(m_psz);
  if (n <= 0) return CTString();
  const size_t k = std::min(static_cast<size_t>(n), len);
  return clMilieu(static_cast<int>(len - k), static_cast<int>(k));
}

CTString CTString::clExclu(const wchar_t* set) const {
  return clMilieu(0, static_cast<int>(wcscspn(pszGet(), set != nullptr ? set : L"")));
}

CTString CTString::clContientUniquement(const wchar_t* set) const {
  return clMilieu(0, static_cast<int>(wcsspn(pszGet(), set != nullptr ? set : L"")));
}

long long CTString::nVal(int base, int start, int count) const {
  if (base < 2 || base > 36) return 0;
  const size_t len = Len(m_psz);
  const size_t pos = static_cast<size_t>(ClampIndex(start, len));
  const size_t end = count < 0 || static_cast<size_t>(count) > len - pos ? len : pos + static_cast<size_t>(count);
  unsigned long long v = 0;
  for (size_t i = pos; i < end; ++i) {
    const int d = STR_nDigitValue(m_psz[i]);
    if (d < 0 || d >= base) break;
    v = v * static_cast<unsigned long long>(base) + static_cast<unsigned long long>(d);
  }
  return static_cast<long long>(v);
}

CTString CTString::operator+(const wchar_t* s) const {
  CTString r(*this);
  r.Add(s);
  return r;
}

// ---- Separated pieces ----

BOOL CTString::bPiece(int n, const wchar_t* sep, size_t sepLen, const wchar_t** start, int* length) const {
  const wchar_t* p = pszGet();
  for (int i = 0; i < n; ++i) {
    const wchar_t* hit = sepLen > 0 ? wcsstr(p, sep) : nullptr;
    if (hit == nullptr) return FALSE;
    p = hit + sepLen;
  }
  const wchar_t* end = sepLen > 0 ? wcsstr(p, sep) : nullptr;
  if (start != nullptr) *start = p;
  if (length != nullptr) *length = static_cast<int>(end != nullptr ? end - p : static_cast<ptrdiff_t>(wcslen(p)));
  return TRUE;
}

BOOL CTString::bExtraitChainePos(unsigned int n, wchar_t sep, const wchar_t** start, int* length) const {
  if (n > static_cast<unsigned int>(INT_MAX)) return FALSE;
  const wchar_t text[2] = {sep, 0};
  return bPiece(static_cast<int>(n), text, sep != 0 ? 1 : 0, start, length);
}

BOOL CTString::bExtraitChainePos(int n, const wchar_t* sep, const wchar_t** start, int* length) const {
  if (Len(m_psz) == 0) return FALSE;
  return bPiece(n < 0 ? 0 : n, sep, Len(sep), start, length);
}

BOOL CTString::bExtraitPosTailleChaine(int n, const wchar_t* sep, int* pos, int* length) const {
  const wchar_t* start = nullptr;
  if (!bExtraitChainePos(n, sep, &start, length)) return FALSE;
  if (pos != nullptr) *pos = static_cast<int>(start - m_psz);
  return TRUE;
}

BOOL CTString::bExtraitChaine(unsigned int n, wchar_t sep, CTString* out) const {
  const wchar_t* start = nullptr;
  int length = 0;
  if (out == nullptr || Len(m_psz) == 0 || !bExtraitChainePos(n, sep, &start, &length)) return FALSE;
  out->SetCounted(start, static_cast<size_t>(length));
  return TRUE;
}

BOOL CTString::bExtraitChaine(int n, const wchar_t* sep, CTString* out) const {
  const wchar_t* start = nullptr;
  int length = 0;
  if (out == nullptr || !bExtraitChainePos(n, sep, &start, &length)) return FALSE;
  out->SetCounted(start, static_cast<size_t>(length));
  return TRUE;
}

BOOL CTString::bExtraitChaineTok(int n, const wchar_t* delims, CTString* out) const {
  if (out == nullptr || Len(m_psz) == 0) return FALSE;
  if (n < 0) {
    out->Vide();
    return TRUE;
  }
  if (delims == nullptr) delims = L"";
  const wchar_t* p = m_psz;
  for (int i = 0;; ++i) {
    p += wcsspn(p, delims);
    if (*p == 0) return FALSE;
    const size_t len = wcscspn(p, delims);
    if (i == n) {
      out->SetCounted(p, len);
      return TRUE;
    }
    p += len;
  }
}

BOOL CTString::bExtraitEtRemplaceChaine(int n, const wchar_t* sep, const wchar_t* s) {
  int pos = 0, length = 0;
  if (!bExtraitPosTailleChaine(n, sep, &pos, &length)) return FALSE;
  Splice(static_cast<size_t>(pos), static_cast<size_t>(length), s, Len(s));
  return TRUE;
}

int CTString::PourTouteChaineSepareePar(const wchar_t* sep, IVisiteurPourTouteChaine* v) const {
  if (v == nullptr) return 0;
  if (Len(m_psz) == 0) return 1;
  const size_t sepLen = Len(sep);
  const wchar_t* p = m_psz;
  for (int i = 0;; ++i) {
    const wchar_t* hit = sepLen > 0 ? wcsstr(p, sep) : nullptr;
    const int length = static_cast<int>(hit != nullptr ? hit - p : static_cast<ptrdiff_t>(wcslen(p)));
    const int answer = v->nVisite(i, p, length);
    if (answer == 0 || hit == nullptr) return answer;
    p = hit + sepLen;
  }
}

const wchar_t* CTString::SetAround(const wchar_t* s, wchar_t c, bool last, bool after, bool existing) {
  const wchar_t* hit = s == nullptr || c == 0 ? nullptr : (last ? wcsrchr(s, c) : wcschr(s, c));
  if (hit == nullptr) {
    if (existing) {
      Vide();
      return s;
    }
    Set(s);
    return nullptr;
  }
  if (after)
    SetCounted(hit + 1, wcslen(hit + 1));
  else
    SetCounted(s, static_cast<size_t>(hit - s));
  return hit + 1;
}

const wchar_t* CTString::pszSetDebutPremier(const wchar_t* s, wchar_t c) { return SetAround(s, c, false, false, false); }
const wchar_t* CTString::pszSetDebutDernier(const wchar_t* s, wchar_t c) { return SetAround(s, c, true, false, false); }
const wchar_t* CTString::pszSetFinPremier(const wchar_t* s, wchar_t c) { return SetAround(s, c, false, true, false); }
const wchar_t* CTString::pszSetFinDernier(const wchar_t* s, wchar_t c) { return SetAround(s, c, true, true, false); }
const wchar_t* CTString::pszSetDebutPremierExistant(const wchar_t* s, wchar_t c) {
  return SetAround(s, c, false, false, true);
}
const wchar_t* CTString::pszSetDebutDernierExistant(const wchar_t* s, wchar_t c) {
  return SetAround(s, c, true, false, true);
}
const wchar_t* CTString::pszSetFinPremierExistant(const wchar_t* s, wchar_t c) {
  return SetAround(s, c, false, true, true);
}
const wchar_t* CTString::pszSetFinDernierExistant(const wchar_t* s, wchar_t c) {
  return SetAround(s, c, true, true, true);
}

// ---- Changing ----

void CTString::Add(wchar_t c) {
  if (c != 0) AddCounted(&c, 1);
}

void CTString::Insert(wchar_t c) {
  if (c != 0) Splice(0, 0, &c, 1);
}

void CTString::Add(const wchar_t* s) { AddCounted(s, Len(s)); }

void CTString::Add(const wchar_t* s, int n) {
  if (s != nullptr && n > 0) AddCounted(s, wcsnlen(s, static_cast<size_t>(n)));
}

void CTString::Add(const wchar_t* a, const wchar_t* b, const wchar_t* c) {
  const Piece pieces[4] = {{m_psz, Len(m_psz)}, {a, Len(a)}, {b, Len(b)}, {c, Len(c)}};
  if (pieces[1].n + pieces[2].n + pieces[3].n == 0) return;
  SetBuffer(Assemble(pieces, 4));
}

void CTString::Add(const CXYString<wchar_t>& s) { Add(s.pszGet()); }
void CTString::Add(const CXYString<wchar_t>* s) {
  if (s != nullptr) Add(s->pszGet());
}

void CTString::AddI4(int n) {
  wchar_t text[16];
  Add(itow(n, text, 10));
}

void CTString::AddI8(long long n) {
  wchar_t text[32];
  Add(i64tow(n, text, 10));
}

void CTString::AddPrintf(const wchar_t* format, ...) {
  CTString piece;
  va_list ap;
  va_start(ap, format);
  const int n = piece.FormatV(format, ap);
  va_end(ap);
  if (n > 0) Add(piece.m_psz);
}

void CTString::Insert(const wchar_t* s, int n, int pos) {
  if (s == nullptr || *s == 0 || n == 0 || n < -1) return;
  const size_t count = n == -1 ? wcslen(s) : wcsnlen(s, static_cast<size_t>(n));
  const size_t len = Len(m_psz);
  const size_t at = static_cast<size_t>(ClampIndex(pos, len));
  if (at == len)
    AddCounted(s, count);
  else
    Splice(at, 0, s, count);
}

void CTString::Remplace(int pos, int count, const wchar_t* s) {
  const size_t len = Len(m_psz);
  if (len == 0) return;
  const size_t at = static_cast<size_t>(ClampIndex(pos, len));
  const size_t cut = count <= 0 ? 0 : std::min(static_cast<size_t>(count), len - at);
  Splice(at, cut, s, Len(s));
}

void CTString::ReplaceAll(const wchar_t* from, const wchar_t* to, bool ignoreCase, int start) {
  const size_t len = Len(m_psz), fromLen = Len(from), toLen = Len(to);
  if (fromLen == 0 || len == 0) return;
  if (start < 0) start = 0;
  if (static_cast<size_t>(start) >= len) return;
  // Occurrences, each search resuming after the previous match.
  std::vector<size_t> hits;
  for (const wchar_t* q = m_psz + start;;) {
    const wchar_t* hit = ignoreCase ? STR_pszUpStrstr(q, from) : wcsstr(q, from);
    if (hit == nullptr) break;
    hits.push_back(static_cast<size_t>(hit - m_psz));
    q = hit + fromLen;
  }
  if (hits.empty()) return;
  const size_t kept = len - hits.size() * fromLen;
  if (toLen != 0 && hits.size() > (kMaxChars - kept) / toLen) {
    Vide();
    return;
  }
  const size_t newLen = kept + hits.size() * toLen;
  wchar_t stack[kStackReplace + 1];
  wchar_t* work = newLen <= kStackReplace ? stack : static_cast<wchar_t*>(malloc((newLen + 1) * sizeof(wchar_t)));
  if (work == nullptr) {
    Vide();
    return;
  }
  // from and to are read before the text changes: they may lie in it.
  size_t r = 0, w = 0;
  for (size_t hit : hits) {
    wmemcpy(work + w, m_psz + r, hit - r);
    w += hit - r;
    if (toLen > 0) wmemcpy(work + w, to, toLen);
    w += toLen;
    r = hit + fromLen;
  }
  wmemcpy(work + w, m_psz + r, len - r);
  work[newLen] = 0;
  if (work != stack) {
    SetBuffer(work);
    if (newLen == 0) Vide();
    return;
  }
  if (newLen == 0) {
    Vide();
    return;
  }
  if (_SetBufferSize(static_cast<int>(newLen))) wmemcpy(m_psz, work, newLen + 1);
}

void CTString::Remplace(const wchar_t* from, const wchar_t* to, int start) { ReplaceAll(from, to, false, start); }
void CTString::RemplaceI(const wchar_t* from, const wchar_t* to, int start) { ReplaceAll(from, to, true, start); }

void CTString::Remplace(wchar_t from, wchar_t to, int start) {
  const size_t len = Len(m_psz);
  if (from == 0 || len == 0) return;
  for (size_t i = static_cast<size_t>(ClampIndex(start, len)); i < len; ++i)
    if (m_psz[i] == from) m_psz[i] = to;
}

void CTString::Insecable() { Remplace(L' ', L'\u00A0', 0); }

void CTString::Tronque(int n) {
  if (n >= 0 && static_cast<size_t>(n) <= Len(m_psz) && m_psz != nullptr) m_psz[n] = 0;
}

void CTString::TronqueDebut(int n) {
  const size_t len = Len(m_psz);
  if (len == 0 || n <= 0) return;
  const size_t k = std::min(static_cast<size_t>(n), len);
  wmemmove(m_psz, m_psz + k, len - k + 1);
}

void CTString::Coupe(int pos, int count) {
  const size_t len = Len(m_psz);
  if (pos < 0 || static_cast<size_t>(pos) >= len || count <= 0) return;
  const size_t at = static_cast<size_t>(pos);
  if (static_cast<size_t>(count) >= len - at)
    m_psz[at] = 0;
  else
    wmemmove(m_psz + at, m_psz + at + count, len - at - static_cast<size_t>(count) + 1);
}

void CTString::SansEspace() {
  size_t len = Len(m_psz);
  while (len > 0 && m_psz[len - 1] == L' ') --len;
  if (m_psz != nullptr) m_psz[len] = 0;
}

void CTString::Trim() { STR_SuppressSideSpaces(m_psz); }
void CTString::RTrim(wchar_t c) { STR_SuppressRightCar(m_psz, c); }
void CTString::LTrim(wchar_t c) { STR_SuppressLeftCar(m_psz, c); }
void CTString::Trim(wchar_t c) { STR_SuppressSideCar(m_psz, c); }

void CTString::Majuscule() {
  if (Len(m_psz) > 0) STR_ToUpper(m_psz);
}

void CTString::Minuscule() {
  if (Len(m_psz) > 0) STR_ToLower(m_psz);
}

void CTString::SansAccent() {
  const size_t len = Len(m_psz);
  size_t w = 0;
  for (size_t i = 0; i < len; ++i) {
    wchar_t out = 0;
    STR_nMapCharEx(LOCALE_FLAG_ACCENT, &out, m_psz[i]);
    if (out != 0) m_psz[w++] = out;
  }
  if (m_psz != nullptr) m_psz[w] = 0;
}

void CTString::SetStandard(const wchar_t* s) {
  if (Len(s) == 0) {
    Vide();
    return;
  }
  wchar_t* out = nullptr;
  STR_nCreateMapString(LOCALE_FLAG_CASE_ACCENT, &out, s);
  SetBuffer(out);
  if (out != nullptr && out[0] == 0) Vide();
}

void CTString::Renverse() { std::reverse(m_psz, m_psz + Len(m_psz)); }

void CTString::Complete(int n, wchar_t c) {
  if (n <= 0) {
    Vide();
    return;
  }
  const bool wasEmpty = m_psz == nullptr;
  if (!_SetBufferSize(n)) return;
  if (wasEmpty) m_psz[0] = 0;
  // Pads up to n characters and terminates there, which also cuts a longer text.
  if (c != 0) STR_Complete(m_psz, n + 1, c);
  m_psz[n] = 0;
}

void CTString::Ellipse(const wchar_t* src, unsigned int width, eELLIPSISPOSITION position) {
  const size_t len = Len(src);
  if (len == 0) {
    Vide();
    return;
  }
  if (len <= width) {
    SetCounted(src, len);
    return;
  }
  wchar_t* p = static_cast<wchar_t*>(malloc((static_cast<size_t>(width) + 1) * sizeof(wchar_t)));
  if (p == nullptr) {
    Vide();
    return;
  }
  STR_Ellipsis(p, src, width, position);
  SetBuffer(p);
  const size_t n = wcslen(p);
  if (n == 0)
    Vide();
  else
    _SetBufferSize(static_cast<int>(n));
}

// ---- Formatting ----

int CTString::FormatV(const wchar_t* format, va_list args) {
  if (format == nullptr) {
    Vide();
    errno = EINVAL;
    return -1;
  }
  // The estimate is no bound for every format: grow until the text fits. The arguments may lie
  // in the own text, so the old buffer goes only at the end.
  size_t cap = static_cast<size_t>(STRG_nCalculeLongueurPrintf<wchar_t>(format, args)) + 2;
  for (;;) {
    if (cap > kMaxChars + 1) cap = kMaxChars + 1;
    wchar_t* p = static_cast<wchar_t*>(malloc(cap * sizeof(wchar_t)));
    if (p == nullptr) {
      Vide();
      errno = ENOMEM;
      return -1;
    }
    va_list ap;
    va_copy(ap, args);
    const int r = vsnwprintfWin(p, static_cast<unsigned int>(cap), format, ap);
    const int e = errno;
    va_end(ap);
    if (r >= 0) {
      wchar_t* shrunk = static_cast<wchar_t*>(realloc(p, (static_cast<size_t>(r) + 1) * sizeof(wchar_t)));
      SetBuffer(shrunk != nullptr ? shrunk : p);
      if (r == 0) Vide();
      return r;
    }
    free(p);
    if (e != 0 || cap > kMaxChars) {
      Vide();
      errno = e != 0 ? e : EOVERFLOW;
      return -1;
    }
    cap *= 2;
  }
}

int CTString::printf(const wchar_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  const int r = FormatV(format, ap);
  va_end(ap);
  return r;
}

// Runs a Win32-style message formatter with an allocated result: the text, or null on failure.
typedef unsigned int (*MessageFormatter)(unsigned int, const void*, unsigned int, unsigned int, wchar_t*, unsigned int,
                                         va_list*);
static wchar_t* FormatMessageText(MessageFormatter formatter, const wchar_t* format, va_list* args) {
  wchar_t* p = nullptr;
  formatter(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_STRING, format, 0, 0, reinterpret_cast<wchar_t*>(&p),
            0, args);
  return p;
}

void CTString::AdoptMessage(wchar_t* p) {
  if (p == nullptr) return;
  SetBuffer(p);
  if (p[0] == 0) Vide();
}

void CTString::FormatMessageW(const wchar_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  wchar_t* p = FormatMessageText(::FormatMessageW, format, &ap);
  va_end(ap);
  AdoptMessage(p);
}

void CTString::FormatMessageWin(const wchar_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  wchar_t* p = FormatMessageText(::FormatMessageWin, format, &ap);
  va_end(ap);
  AdoptMessage(p);
}

// The temporary directory as the system's tempnam picks it without a directory argument.
static std::string TempDirectory() {
  struct stat st;
  const char* env = getenv("TMPDIR");
  if (env != nullptr && *env != 0 && stat(env, &st) == 0 && S_ISDIR(st.st_mode)) {
    std::string dir(env);
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
  }
  return "/tmp";
}

void CTString::FichierTemporaire(const wchar_t* prefix) {
  // The prefix, at most 5 characters ("file" when empty), in UTF-8: the name is decoded back
  // with the same code page.
  std::wstring wide(prefix != nullptr ? prefix : L"", prefix != nullptr ? wcsnlen(prefix, 5) : 0);
  if (wide.empty()) wide = L"file";
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(bytes > 0 ? static_cast<size_t>(bytes) : 0, '\0');
  if (bytes <= 0 || WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, utf8.data(), bytes, nullptr, nullptr) <= 0) {
    Vide();
    return;
  }
  utf8.resize(strlen(utf8.c_str()));
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device device;
  std::mt19937_64 rng((static_cast<uint64_t>(device()) << 32) ^ device() ^ static_cast<uint64_t>(getpid()));
  const std::string base = TempDirectory() + "/" + utf8;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = base;
    for (int i = 0; i < 6; ++i) name += kLetters[rng() % (sizeof kLetters - 1)];
    struct stat st;
    if (lstat(name.c_str(), &st) == 0 || errno != ENOENT) continue;
    SetANSIEx(name.c_str(), -1, CP_UTF8);
    return;
  }
  Vide();
}
