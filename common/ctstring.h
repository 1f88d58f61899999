// CTString: the everyday owned wide string. It owns one malloc'ed buffer (null for the empty
// string, which reads as ""), copies deeply and is never shared; the host's shared strings are
// CXYString<wchar_t> (common/xystring.h).
//
// Shared rules:
// - Positions and lengths count characters. The text is terminated and holds no NUL of its own:
//   counted sources stop at their first NUL.
// - A text argument may point into the string's own text.
// - A failed allocation leaves the string empty.
// - Formatting follows the Windows conventions of platform/winformat.h ("%s" is a wide string).
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "common/str_buffer.h"
#include "platform/wintypes.h"

template <typename T>
class CXYString;

// Receives the pieces of PourTouteChaineSepareePar; 0 stops the walk.
class IVisiteurPourTouteChaine {
 public:
  virtual int nVisite(int index, const wchar_t* start, int length) = 0;

 protected:
  ~IVisiteurPourTouteChaine() = default;
};

class CTString {
 public:
  CTString() = default;
  CTString(const wchar_t* s);  // NOLINT: converts like the text it holds
  CTString(const CTString& other);
  CTString(CTString&& other) noexcept : m_psz(other.m_psz) { other.m_psz = nullptr; }
  // At most n characters of s.
  CTString(const wchar_t* s, int n);
  // a b c concatenated; nulls count as empty.
  CTString(const wchar_t* a, const wchar_t* b, const wchar_t* c);
  // Narrow text of code page 1252.
  explicit CTString(const char* s);
  ~CTString();

  // ---- Assignment ----
  // Null or empty s empties the string.
  void Set(const wchar_t* s);
  void SetUNICODE(const wchar_t* s) { Set(s); }
  CTString& operator=(const wchar_t* s);
  CTString& operator=(wchar_t* s);
  CTString& operator=(const CTString& other);
  CTString& operator=(CTString&& other) noexcept;
  // At most n characters of s (null: empty).
  void Set(const wchar_t* s, unsigned int n);
  void Set(const wchar_t* a, const wchar_t* b, const wchar_t* c);
  // A one-character text; 0 empties.
  void Set(wchar_t c);
  CTString& operator=(wchar_t c);
  void Set(const CXYString<wchar_t>& s);
  void Set(const CXYString<wchar_t>* s);
  void Set(std::nullptr_t) { Vide(); }
  void SetI4(int n);
  void SetI8(long long n);
  // n bytes of s (-1: up to its terminator) of codePage, converted; null s, or a conversion
  // that fails, empties the string.
  void SetANSIEx(const char* s, int n, unsigned int codePage);
  // Frees the buffer and adopts p (from malloc; null empties).
  void SetBuffer(wchar_t* p);
  // Takes other's buffer; other becomes empty.
  void Transfert(CTString& other);
  void Vide();
  // The buffer holds n + 1 characters (contents kept, not terminated). FALSE: the string is empty.
  BOOL _SetBufferSize(int n);

  // ---- Reading ----
  const wchar_t* pszGet() const { return m_psz != nullptr ? m_psz : ms_szVide; }
  int nTaille() const;
  // Character i (0 outside 0..length).
  wchar_t cGetChar(int i) const;
  // Writes character i (0 <= i < length; 0 cuts the text there).
  void SetChar(int i, wchar_t c);

  // Case-sensitive equality; null texts count as empty.
  BOOL bEstEgal(const wchar_t* s) const;
  bool operator==(const CTString& other) const { return bEstEgal(other.pszGet()) != FALSE; }
  bool operator!=(const CTString& other) const { return !(*this == other); }
  // Equality ignoring case and accents (the locale service's flexible rule).
  BOOL bEstEgalI(const wchar_t* s) const;
  BOOL bEstEgalI(const CTString& other) const { return bEstEgalI(other.pszGet()); }
  BOOL bCommencePar(const wchar_t* s) const;
  BOOL bTerminePar(const wchar_t* s) const;
  BOOL bCommenceParI(const wchar_t* s) const;
  BOOL bTermineParI(const wchar_t* s) const;
  BOOL bTerminePar(wchar_t c) const;

  // Positions: -1 when not found, for an empty string or an empty s. A start below 0 counts as 0.
  int nPos(const wchar_t* s, int start = 0) const;
  int nPos(wchar_t c, int start = 0) const;
  // Last occurrence (occurrences may overlap).
  int nRPos(const wchar_t* s) const;
  int nRPos(wchar_t c) const;
  // Comparing towupper of each character.
  int nUpPos(const wchar_t* s, int start = 0) const;
  // First character that belongs to set.
  int nPosParmi(const wchar_t* set) const;
  // Non-overlapping occurrences.
  int nNbOcc(const wchar_t* s) const;

  // Pieces. A count below 0 means up to the end; positions are clamped to the text.
  CTString clMilieu(int pos, int count) const;
  CTString clMilieu(int pos) const;
  CTString clGauche(int n) const;
  CTString clDroite(int n) const;
  // The leading run of characters not in set / only in set.
  CTString clExclu(const wchar_t* set) const;
  CTString clContientUniquement(const wchar_t* set) const;
  // The unsigned number in base (2 to 36; digits 0-9, then a-z or A-Z) that starts the piece
  // clMilieu(start, count); reading stops at the first non-digit. 64-bit, wrapping.
  long long nVal(int base, int start = 0, int count = -1) const;
  CTString operator+(const wchar_t* s) const;

  // ---- Separated pieces (numbered from 0) ----
  // A null or empty text separator, or a character separator 0, leaves the whole text as piece 0.
  BOOL bExtraitChainePos(unsigned int n, wchar_t sep, const wchar_t** start, int* length) const;
  // FALSE for an empty string; n <= 0 is piece 0.
  BOOL bExtraitChainePos(int n, const wchar_t* sep, const wchar_t** start, int* length) const;
  BOOL bExtraitPosTailleChaine(int n, const wchar_t* sep, int* pos, int* length) const;
  // FALSE for an empty string or a missing piece (out then unchanged).
  BOOL bExtraitChaine(unsigned int n, wchar_t sep, CTString* out) const;
  BOOL bExtraitChaine(int n, const wchar_t* sep, CTString* out) const;
  // Token n of the text split at runs of delims (no empty tokens). n < 0 empties out (TRUE).
  BOOL bExtraitChaineTok(int n, const wchar_t* delims, CTString* out) const;
  // Replaces piece n by s. FALSE for an empty string or a missing piece.
  BOOL bExtraitEtRemplaceChaine(int n, const wchar_t* sep, const wchar_t* s);
  // Visits every piece, the last one even when empty; an empty string visits nothing and
  // answers 1. Answers the visitor's 0 at once, else its last answer. The visitor must not
  // change the string.
  int PourTouteChaineSepareePar(const wchar_t* sep, IVisiteurPourTouteChaine* v) const;
  // The string becomes the part of s before (Debut) or after (Fin) its first (Premier) or last
  // (Dernier) c; the answer points just after that c in s. Without c the string becomes s and
  // the answer is null; the Existant forms empty the string and answer s instead. When s is the
  // string's own text, the answer must not be used.
  const wchar_t* pszSetDebutPremier(const wchar_t* s, wchar_t c);
  const wchar_t* pszSetDebutDernier(const wchar_t* s, wchar_t c);
  const wchar_t* pszSetFinPremier(const wchar_t* s, wchar_t c);
  const wchar_t* pszSetFinDernier(const wchar_t* s, wchar_t c);
  const wchar_t* pszSetDebutPremierExistant(const wchar_t* s, wchar_t c);
  const wchar_t* pszSetDebutDernierExistant(const wchar_t* s, wchar_t c);
  const wchar_t* pszSetFinPremierExistant(const wchar_t* s, wchar_t c);
  const wchar_t* pszSetFinDernierExistant(const wchar_t* s, wchar_t c);

  // ---- Changing ----
  void Add(wchar_t c);     // 0: nothing
  void Insert(wchar_t c);  // prepends; 0: nothing
  void Add(const wchar_t* s);
  // n characters of s (stopping at a NUL); n <= 0 or null s: nothing.
  void Add(const wchar_t* s, int n);
  void Add(const wchar_t* a, const wchar_t* b, const wchar_t* c);
  void Add(const CXYString<wchar_t>& s);
  void Add(const CXYString<wchar_t>* s);
  void AddI4(int n);
  void AddI8(long long n);
  void AddPrintf(const wchar_t* format, ...);
  // n characters of s (-1: all) before index pos (clamped to the text). Null or empty s, n 0 or
  // n below -1: nothing.
  void Insert(const wchar_t* s, int n, int pos);
  // count characters at pos (clamped to the text) become s (null: removed).
  void Remplace(int pos, int count, const wchar_t* s);
  // Every occurrence of from at or after start becomes to (null: empty).
  void Remplace(const wchar_t* from, const wchar_t* to, int start = 0);
  // The same comparing upper-case forms (locale service).
  void RemplaceI(const wchar_t* from, const wchar_t* to, int start = 0);
  void Remplace(wchar_t from, wchar_t to, int start = 0);
  // Blanks become no-break spaces (U+00A0).
  void Insecable();
  // Cuts at n (0 <= n <= length; the buffer stays).
  void Tronque(int n);
  // Removes the first n characters (clamped).
  void TronqueDebut(int n);
  // Removes count characters at pos; a range past the end cuts at pos.
  void Coupe(int pos, int count);
  // Removes trailing blanks (U+0020 only).
  void SansEspace();
  // Removes leading and trailing white space.
  void Trim();
  void RTrim(wchar_t c);
  void LTrim(wchar_t c);
  void Trim(wchar_t c);
  void Majuscule();
  void Minuscule();
  // Accents removed character by character; a character the mapping removes is dropped.
  void SansAccent();
  // Upper case without accents of s (which may be the own text); null or empty s empties.
  void SetStandard(const wchar_t* s);
  void Renverse();
  // Exactly n characters: padded with c or cut (n <= 0: empty).
  void Complete(int n, wchar_t c);
  // src shortened to width characters with "..." at position; null or empty src empties.
  void Ellipse(const wchar_t* src, unsigned int width, eELLIPSISPOSITION position);

  // ---- Formatting ----
  // The formatted text replaces the string; the arguments may point into it. Returns the length,
  // or -1 with the string empty when formatting fails.
  int FormatV(const wchar_t* format, va_list args);
  int printf(const wchar_t* format, ...);
  // Win32 message formatting (FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_STRING);
  // failure leaves the string unchanged.
  void FormatMessageW(const wchar_t* format, ...);
  void FormatMessageWin(const wchar_t* format, ...);
  // A new temporary file name in the temporary directory (TMPDIR when usable, else /tmp) whose
  // name starts with the prefix (its first 5 characters); empty when none could be made. The
  // file is not created.
  void FichierTemporaire(const wchar_t* prefix);

 private:
  static const wchar_t ms_szVide[1];

  // s points into the own buffer.
  bool bAliases(const wchar_t* s) const;
  // Replaces the text by the n characters at s (s may point into the buffer).
  void SetCounted(const wchar_t* s, size_t n);
  // Appends the n characters at s (s may point into the buffer).
  void AddCounted(const wchar_t* s, size_t n);
  // The text with [pos, pos + count) replaced by n characters of s.
  void Splice(size_t pos, size_t count, const wchar_t* s, size_t n);
  void ReplaceAll(const wchar_t* from, const wchar_t* to, bool ignoreCase, int start);
  // Locates piece n after the separator (sepLen characters, or the character sepChar).
  BOOL bPiece(int n, const wchar_t* sep, size_t sepLen, const wchar_t** start, int* length) const;
  const wchar_t* SetAround(const wchar_t* s, wchar_t c, bool last, bool after, bool existing);
  // Takes a formatted message (null: failure, nothing changes).
  void AdoptMessage(wchar_t* p);

  wchar_t* m_psz = nullptr;
};
