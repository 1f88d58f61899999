#include "common/tstringconcataw.h"

#include <cstring>
#include <cwchar>
#include <utility>

#include "common/ctstring.h"
#include "common/str_charclass.h"
#include "common/str_compare.h"
#include "common/utf.h"
#include "platform/codepage.h"

namespace {

constexpr unsigned int kUTF8 = 65001;

// Pages where a byte is not always a character of its own: lead and trail bytes, or escape
// sequences.
bool IsMultiBytePage(unsigned int cp) {
  switch (cp) {
    case 932:
    case 936:
    case 949:
    case 950:
    case 1361:
    case 50220:
      return true;
    default:
      return false;
  }
}

// A piece of text in the content's form: the caller's own text, or a converted copy. bLost: a
// character had no form in the content code page and became '?'.
template <typename T>
struct CPiece {
  const T* p = CXYStringConcat<T>::ChaineVide;
  int n = 0;
  int bLost = 0;
  CXYStringConcat<T> copy;

  explicit CPiece(int expected) : copy(expected > 0 ? static_cast<unsigned int>(expected) : 1) {}
  void Use(const T* s, int len) {
    if (s == nullptr || len < 1) return;
    p = s;
    n = len;
  }
  void UseCopy() { Use(copy.pszGet(), static_cast<int>(copy.nGetLength())); }
};

// Wide content: wide text as it is, narrow text of code page cp converted.
void ToContent(CPiece<wchar_t>& piece, const wchar_t* s, int n, unsigned int, unsigned int) { piece.Use(s, n); }
void ToContent(CPiece<wchar_t>& piece, const char* s, int n, unsigned int cp, unsigned int) {
  piece.copy.AddAnsi(s, n, cp);
  piece.UseCopy();
}
// Narrow content of code page content.
void ToContent(CPiece<char>& piece, const wchar_t* s, int n, unsigned int, unsigned int content) {
  piece.copy.AddWide(s, n, content, &piece.bLost);
  piece.UseCopy();
}
void ToContent(CPiece<char>& piece, const char* s, int n, unsigned int cp, unsigned int content) {
  if (cp == content) {
    piece.Use(s, n);
    return;
  }
  piece.copy.AddAnsiToAnsi(s, n, cp, content, &piece.bLost);
  piece.UseCopy();
}

int Length(const char* s) { return s != nullptr ? static_cast<int>(strnlen(s, 0x7FFFFFFF)) : 0; }
int Length(const wchar_t* s) { return s != nullptr ? static_cast<int>(wcsnlen(s, 0x7FFFFFFF)) : 0; }

// The wide character of UTF-8 text that contains byte i; '?' for a byte of no valid character.
wchar_t UTF8CharAt(const char* s, int len, int i) {
  int lead = i;
  while (lead > 0 && i - lead < 3 && (static_cast<unsigned char>(s[lead]) & 0xC0) == 0x80) --lead;
  int n = len - lead;
  const int c = UTF8FirstChar(s + lead, n);
  return c >= 0 && lead + n > i ? static_cast<wchar_t>(c) : L'?';
}

// The wide character of text of a multi-byte page that contains byte i: the first one that the
// prefixes ending after i complete (a prefix ending inside a character drops that character).
wchar_t MultiByteCharAt(const char* s, int len, int i, unsigned int cp) {
  const unsigned int before = i > 0 ? static_cast<unsigned int>(MultiByteToWideChar(cp, 0, s, i, nullptr, 0)) : 0;
  CXYStringConcat<wchar_t> prefix(static_cast<unsigned int>(i) + 8);
  for (int end = i + 1; end <= len && end <= i + 8; ++end) {
    prefix.Vide();
    prefix.AddAnsi(s, end, cp);
    if (prefix.nGetLength() > before) return prefix.pszGet()[prefix.nGetLength() - 1];
  }
  return 0;
}

}  // namespace

// ---- Internal dispatch ----

template <typename F>
void CTStringConcatAW::_Change(F f) {
  if (bIsWide())
    f(m_clW);
  else
    f(m_clA);
  _DropCache();
}

template <typename U, typename F>
void CTStringConcatAW::_Edit(const U* s, int n, F f) {
  if (bIsWide()) {
    CPiece<wchar_t> piece(n);
    ToContent(piece, s, n, _nAnsiCP(), _nContentCP());
    f(m_clW, piece.p, piece.n);
  } else {
    CPiece<char> piece(n);
    ToContent(piece, s, n, _nAnsiCP(), _nContentCP());
    f(m_clA, piece.p, piece.n);
  }
  _DropCache();
}

// ---- Views ----

const wchar_t* CTStringConcatAW::pszGetW() {
  if (m_clW.nGetLength() == 0 && !bIsWide())
    m_clW.AddAnsi(m_clA.pszGet(), static_cast<int>(m_clA.nGetLength()), _nContentCP());
  return m_clW.pszGet();
}

const char* CTStringConcatAW::pszGetA() {
  if (m_clA.nGetLength() == 0 && bIsWide())
    m_clA.AddWide(m_clW.pszGet(), static_cast<int>(m_clW.nGetLength()), _nAnsiCP());
  return m_clA.pszGet();
}

int CTStringConcatAW::nGetLengthW() {
  pszGetW();
  return static_cast<int>(m_clW.nGetLength());
}

int CTStringConcatAW::nGetLengthA() {
  pszGetA();
  return static_cast<int>(m_clA.nGetLength());
}

wchar_t CTStringConcatAW::cGetCharW(int i) {
  const int len = nGetLength();
  if (i < 0 || i >= len) return 0;
  if (bIsWide()) return m_clW.pszGet()[i];
  const char* s = m_clA.pszGet();
  const unsigned int cp = _nContentCP();
  if (cp == kUTF8) return UTF8CharAt(s, len, i);
  if (IsMultiBytePage(cp)) return MultiByteCharAt(s, len, i, cp);
  return STR_CharToWChar(s[i], 0, cp);
}

char CTStringConcatAW::cGetCharA(int i) {
  pszGetW();
  if (m_clW.nGetLength() == 0 || i < 0 || static_cast<unsigned int>(i) >= m_clA.nGetLength()) return 0;
  return m_clA.pszGet()[i];
}

BOOL CTStringConcatAW::bIsCharSpace(int i) const {
  if (i < 0 || i >= nGetLength()) return FALSE;
  return (bIsWide() ? m_clW.pszGet()[i] == L' ' : m_clA.pszGet()[i] == ' ') ? TRUE : FALSE;
}

// ---- Adding ----

void CTStringConcatAW::Add(const wchar_t* s, int n, unsigned int) {
  if (s == nullptr || n < 1) return;
  // The cache goes afterwards: s may be the cache itself.
  if (bIsWide())
    m_clW.Add(s, n);
  else
    m_clA.AddWide(s, n, _nContentCP());
  _DropCache();
}

void CTStringConcatAW::Add(const char* s, int n, unsigned int cp) {
  if (s == nullptr || n < 1) return;
  if (cp == 0xFFFFFFFFu) cp = _nAnsiCP();
  if (bIsWide())
    m_clW.AddAnsi(s, n, cp);
  else if (cp == _nContentCP())
    m_clA.Add(s, n);
  else
    m_clA.AddAnsiToAnsi(s, n, cp, _nContentCP());
  _DropCache();
}

void CTStringConcatAW::AddTwo(const char* head, int k, const char* s, int n, unsigned int cp) {
  if (!bIsWide() && cp != 0xFFFFFFFFu && cp == _nContentCP()) {
    m_clA.AddTwo(head, k, s, n);
    _DropCache();
    return;
  }
  Add(head, k, cp);
  Add(s, n, cp);
}

void CTStringConcatAW::Add(const CTString& s) { Add(s.pszGet(), s.nTaille()); }

void CTStringConcatAW::SetStrCte(const wchar_t* s, int n) {
  _Edit(s, n, [](auto& b, const auto* p, int len) { b.bRemplace(0, -1, p, len); });
}

void CTStringConcatAW::AddUTF8(const char* s, int n) {
  if (s == nullptr || n < 1) return;
  if (bIsWide())
    m_clW.AddUTF8(s, n, kUTF8);
  else
    m_clA.AddUTF8(s, n, _nContentCP());
  _DropCache();
}

void CTStringConcatAW::AddNumber(int v, int width) {
  _Change([&](auto& b) { b.AddNumber(v, width); });
}
void CTStringConcatAW::AddNumber(long long v, int width) {
  _Change([&](auto& b) { b.AddNumber(v, width); });
}
void CTStringConcatAW::AddNumberHexa(unsigned char v) {
  _Change([&](auto& b) { b.AddNumberHexa(v); });
}
void CTStringConcatAW::AddNumberHexa(unsigned short v) {
  _Change([&](auto& b) { b.AddNumberHexa(v); });
}
void CTStringConcatAW::AddNumberHexa(unsigned int v) {
  _Change([&](auto& b) { b.AddNumberHexa(v); });
}
void CTStringConcatAW::AddNumberHexa(unsigned long long v) {
  _Change([&](auto& b) { b.AddNumberHexa(v); });
}

// ---- Editing ----

void CTStringConcatAW::Tronque(int n) {
  const int len = nGetLength();
  if (len == 0 || n > len) return;
  _Change([&](auto& b) { b.Tronque(n < 1 ? 0u : static_cast<unsigned int>(n)); });
}

void CTStringConcatAW::Coupe(int start, int n) {
  const int len = nGetLength();
  if (len == 0 || start > len) return;
  if (start < 0) start = 0;
  _Change([&](auto& b) {
    if (n < 1) return;
    if (static_cast<long long>(start) + n <= len)
      b.bRemplace(start, n, nullptr, 0);
    else
      b.Tronque(static_cast<unsigned int>(start));
  });
}

void CTStringConcatAW::Remplace(int start, int n, const wchar_t* s, int len) {
  const int length = nGetLength();
  if (length == 0) return;
  start = start < 0 ? 0 : start > length ? length : start;
  _Edit(s, len, [&](auto& b, const auto* p, int pl) { b.bRemplace(start, n, p, pl); });
}

void CTStringConcatAW::Remplace(int start, int n, const char* s, int len) {
  const int length = nGetLength();
  if (length == 0) return;
  start = start < 0 ? 0 : start > length ? length : start;
  _Edit(s, len, [&](auto& b, const auto* p, int pl) { b.bRemplace(start, n, p, pl); });
}

void CTStringConcatAW::Insert(const wchar_t* s, int n, int pos) {
  if (s == nullptr || n < 1) return;
  const int length = nGetLength();
  pos = pos < 0 ? 0 : pos > length ? length : pos;
  _Edit(s, n, [&](auto& b, const auto* p, int pl) { b.bRemplace(pos, 0, p, pl); });
}

void CTStringConcatAW::Insert(const char* s, int n, int pos) {
  if (s == nullptr || n < 1) return;
  const int length = nGetLength();
  pos = pos < 0 ? 0 : pos > length ? length : pos;
  _Edit(s, n, [&](auto& b, const auto* p, int pl) { b.bRemplace(pos, 0, p, pl); });
}

template <typename U>
void CTStringConcatAW::_RemplaceTout(const U* from, int nFrom, const U* to, int nTo, int start) {
  if (from == nullptr || nFrom < 1 || nGetLength() == 0) return;
  auto run = [&](auto& b, auto& pieceFrom, auto& pieceTo) {
    ToContent(pieceFrom, from, nFrom, _nAnsiCP(), _nContentCP());
    ToContent(pieceTo, to, nTo, _nAnsiCP(), _nContentCP());
    if (!pieceFrom.bLost) b.nRemplaceTout(pieceFrom.p, pieceFrom.n, pieceTo.p, pieceTo.n, start);
  };
  if (bIsWide()) {
    CPiece<wchar_t> pieceFrom(nFrom), pieceTo(nTo);
    run(m_clW, pieceFrom, pieceTo);
  } else {
    CPiece<char> pieceFrom(nFrom), pieceTo(nTo);
    run(m_clA, pieceFrom, pieceTo);
  }
  _DropCache();
}

void CTStringConcatAW::Remplace(const wchar_t* from, int nFrom, const wchar_t* to, int nTo, int start) {
  _RemplaceTout(from, nFrom, to, nTo, start);
}

void CTStringConcatAW::Remplace(const char* from, int nFrom, const char* to, int nTo, int start) {
  _RemplaceTout(from, nFrom, to, nTo, start);
}

void CTStringConcatAW::Majuscule() {
  if (nGetLength() == 0) return;
  if (bIsWide()) {
    m_clW.Majuscule();
    m_clA.Vide();
    return;
  }
  _MajusculeNarrow();
  m_clW.Vide();
}

// Narrow content: byte-wise mapping would take UTF-8 or another page's bytes for characters of
// the host's code page. The characters are mapped as wide ones and written back; UTF-8 keeps
// any invalid byte as it stands.
void CTStringConcatAW::_MajusculeNarrow() {
  const unsigned int cp = _nContentCP();
  CXYStringConcat<char> out(m_clA.nGetStep());
  if (cp == kUTF8) {
    const char* s = m_clA.pszGet();
    const int len = static_cast<int>(m_clA.nGetLength());
    CXYStringConcat<wchar_t> chars(static_cast<unsigned int>(len) + 1);
    for (int i = 0; i < len;) {
      int n = len - i;
      const int c = UTF8FirstChar(s + i, n);
      if (c < 0) {
        ++i;
        continue;
      }
      const wchar_t w = static_cast<wchar_t>(c);
      chars.Add(&w, 1);
      i += n;
    }
    if (chars.nGetLength() != 0) STR_ToUpperBuff(chars.pGetData(), static_cast<int>(chars.nGetLength()));
    const wchar_t* upper = chars.pszGet();
    for (int i = 0, k = 0; i < len;) {
      int n = len - i;
      if (UTF8FirstChar(s + i, n) < 0) {
        out.Add(s + i, 1);
        ++i;
        continue;
      }
      char bytes[8];
      out.Add(bytes, UTF32ToUTF8(upper[k++], bytes));
      i += n;
    }
  } else {
    const wchar_t* w = pszGetW();
    const int len = static_cast<int>(m_clW.nGetLength());
    CXYStringConcat<wchar_t> upper(static_cast<unsigned int>(len) + 1);
    upper.Add(w, len);
    if (upper.nGetLength() == 0) return;
    wchar_t* u = upper.pGetData();
    STR_ToUpperBuff(u, len);
    for (int i = 0; i < len; ++i) {
      if (u[i] == w[i]) continue;
      char bytes[16];
      int lost = 0;
      WideCharToMultiByte(cp, 0, u + i, 1, bytes, sizeof bytes, nullptr, &lost);
      if (lost) u[i] = w[i];
    }
    out.AddWide(u, len, cp);
  }
  // Nothing written for a non-empty text means no memory: the content stays as it was.
  if (out.nGetLength() != 0) m_clA = std::move(out);
}

// ---- Searching ----

template <typename U>
int CTStringConcatAW::_nPosText(const U* s, int start) {
  if (s == nullptr) return -1;
  const int n = Length(s);
  if (bIsWide()) {
    CPiece<wchar_t> piece(n);
    ToContent(piece, s, n, _nAnsiCP(), _nContentCP());
    return m_clW.nPos(piece.p, piece.n, start);
  }
  CPiece<char> piece(n);
  ToContent(piece, s, n, _nAnsiCP(), _nContentCP());
  return piece.bLost ? -1 : m_clA.nPos(piece.p, piece.n, start);
}

int CTStringConcatAW::nPos(const wchar_t* s, int start) { return _nPosText(s, start); }
int CTStringConcatAW::nPos(const char* s, int start) { return _nPosText(s, start); }

int CTStringConcatAW::nPos(wchar_t c, int start) {
  if (bIsWide()) return m_clW.nPos(c, start);
  if (static_cast<uint32_t>(c) < 0x80) return m_clA.nPos(static_cast<char>(c), start);
  const wchar_t text[2] = {c, 0};
  return _nPosText(text, start);
}

int CTStringConcatAW::nPos(char c, int start) {
  if (bIsWide()) {
    if (c == 0) return m_clW.nPos(L'\0', start);
    const wchar_t w = STR_CharToWChar(c, 0, _nAnsiCP());
    return w != 0 ? m_clW.nPos(w, start) : -1;
  }
  return m_clA.nPos(c, start);
}
