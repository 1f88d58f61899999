// CTStringArray: a growable array of heap CTString objects that it owns. Every element pointer
// was made with new by the array and is deleted by it when the element is removed or replaced
// and when the array goes; a null element is allowed and reads as the empty text.
//
// The pointer-level operations inherited from CTableauDeBuffer (SupprimeDernier, Supprime(i, n),
// SupprimeToutEtLibere, Recupere, EchangeTableau, Deplace, Swap ...) move pointers only: they
// neither copy nor delete strings. The ones that would copy a pointer into a second slot are
// unavailable here, and Initialise makes copies of the text.
#pragma once

#include "common/ctstring.h"
#include "common/ttableau.h"
#include "platform/wintypes.h"

class CTStringArray : public CTTableau<CTString*> {
 public:
  CTStringArray() : CTTableau<CTString*>(1, 30) {}
  ~CTStringArray() override;

  // Replaces the content by n copies of the text of value (null: empty texts). The untyped form
  // reads p as the address of a CTString* element.
  void Initialise(CTString* const& value, int n) override;
  void Initialise(const void* p, int n) override;

  // ---- Adding and replacing (each new element is a copy; null texts count as empty) ----
  virtual void Ajoute(const CTString* s);
  virtual void Ajoute(const wchar_t* s);
  // A copy of each element of other, in order (other may be this array).
  virtual void Ajoute(const CTTableau<CTString*>& other);
  // 0 <= i <= count; any other i adds nothing.
  virtual void Insere(const CTString* s, int i);
  virtual void Insere(const wchar_t* s, int i);
  // Element i gets a copy of s (which may be its own text); the old string is deleted.
  // 0 <= i < count; any other i changes nothing.
  virtual void SetAt(const CTString* s, int i);
  virtual void SetAt(const wchar_t* s, int i);
  // Deletes element i and closes the gap (an i outside the array changes nothing).
  virtual void Supprime(int i);
  // Deletes every element; the pointer block stays allocated.
  virtual void SupprimeTout();

  // ---- Reading ----
  // No bounds check: 0 <= i < count.
  virtual CTString* operator[](int i) const;
  // First element at or after start (below 0: from 0) equal to s (null: empty): exactly, or
  // ignoring case and accents by the locale service. -1 when none.
  virtual int nRecherche(const wchar_t* s, int bCaseSensitive, int start) const;

  // ---- Sorting (equal elements keep no particular order) ----
  virtual void TrieCroisssant();   // wcscmp order
  virtual void TrieCroisssantI();  // wcscasecmp order: case folded by the C library's locale
  virtual void TrieDecroisssant(); // reverse wcscmp order

  // ---- Joining and splitting ----
  // out = the elements joined with sep between them (null or empty sep: nothing between); an
  // empty array gives the empty text. out may be one of the elements. FALSE (out unchanged) when
  // the text would be too long or memory runs out.
  virtual BOOL bFusion(CTString* out, const wchar_t* sep) const;
  // Replaces the content by the pieces of text between occurrences of sep, left to right: an
  // empty text gives no element, a trailing sep a last empty one, a null or empty sep the whole
  // text. text and sep may be texts of this array's elements.
  virtual void Decoupe(const CTString& text, const wchar_t* sep);
  virtual void Decoupe(const wchar_t* text, const wchar_t* sep);
  // Appends n copies of s (n <= 0: nothing); the existing elements stay.
  virtual void Initialise(const wchar_t* s, int n);
  // Appends at most n characters of s.
  virtual void vAjoute(const wchar_t* s, int n);

  // Appends a string that takes over s's buffer; s is left empty.
  void AjouteRecupere(CTString* s);
  // Append the formatted text (CTString::FormatV / the printf-style FormatMessageW); when
  // formatting fails the new element is empty.
  void AjoutePrintf(const wchar_t* format, ...);
  void AjouteFormatMessageWin(const wchar_t* format, ...);

  // out = text split by sep, sorted as TrieCroisssantI does and joined with sep (text may be
  // out's own text). Answers bFusion's result.
  static BOOL g_bTrieCroissantI(CTString* out, const wchar_t* text, const wchar_t* sep);

  // qsort comparisons of two elements (addresses of CTString* slots; null elements read as "").
  static int __nCompare(const void* a, const void* b);
  static int __nCompareI(const void* a, const void* b);
  static int __nCompareInverse(const void* a, const void* b);

  // These would leave one string in two slots.
  void Duplique(const CTTableau<CTString*>&) = delete;
  void _Duplique(const CTableauDeBuffer&) = delete;
  void Etend(int, CTString* const&, CTString* const&) = delete;

 private:
  // Appends p (already owned by nobody); deletes it when no slot could be made.
  void _AjouteNouveau(CTString* p);
  void _Sort(int (*compare)(const void*, const void*));
};
