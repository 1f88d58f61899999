// CTStringConcatAW: the SQL text builder. Its content is kept either as wide characters
// (content code page -2) or as narrow text of one code page (65001: UTF-8); the other form is
// built on request, kept as a cache and dropped by every change. Pieces of either width are
// converted into the content's form as they arrive. The builder owns both forms' memory.
//
// Shared rules:
// - Positions and counts are content units: characters for wide content, bytes for narrow
//   content (UTF-8 included: a cut falls where it is asked to, even inside a character).
// - Narrow text given without a code page of its own (code page 0xFFFFFFFF, and the narrow
//   arguments of the editing and search operations) is in the ANSI code page, which is also the
//   code page of the narrow view of wide content.
// - A null piece or a count below 1 adds nothing and leaves the cache valid.
// - Both code pages are set before text is added and the content code page is not changed
//   while text is held.
// - Memory that cannot be had drops the change that needed it; the text held stays whole.
#pragma once

#include "common/xystringconcat.h"
#include "platform/wintypes.h"

class CTString;

class CTStringConcatAW {
 public:
  static constexpr int kWideContent = -2;

  // Both code pages -1 (to be set), growth steps 1024.
  CTStringConcatAW() noexcept : CTStringConcatAW(-1, -1) {}
  CTStringConcatAW(int contentCodePage, int ansiCodePage, unsigned int step = 1024) noexcept
      : m_nCodePage(contentCodePage), m_nCodePageAnsi(ansiCodePage), m_clA(step), m_clW(step) {}
  CTStringConcatAW(CTStringConcatAW&&) noexcept = default;
  CTStringConcatAW& operator=(CTStringConcatAW&&) noexcept = default;

  void SetCodePages(int contentCodePage, int ansiCodePage) noexcept {
    m_nCodePage = contentCodePage;
    m_nCodePageAnsi = ansiCodePage;
  }
  int nGetCodePage() const noexcept { return m_nCodePage; }
  int nGetAnsiCodePage() const noexcept { return m_nCodePageAnsi; }
  BOOL bIsWide() const noexcept { return m_nCodePage == kWideContent; }
  // Length of the content in its units.
  int nGetLength() const noexcept {
    return static_cast<int>(bIsWide() ? m_clW.nGetLength() : m_clA.nGetLength());
  }
  BOOL bEstVide() const noexcept { return nGetLength() == 0; }
  // Empties content and cache (memory kept).
  void Vide() noexcept {
    m_clA.Vide();
    m_clW.Vide();
  }

  // ---- Views (never null) ----
  // The wide form; for narrow content converted from the content code page.
  const wchar_t* pszGetW();
  // The narrow form: narrow content itself, or wide content in the ANSI code page.
  const char* pszGetA();
  // Lengths of the two forms (each builds its form).
  int nGetLengthW();
  int nGetLengthA();
  // The wide character that contains content unit i (narrow content: decoded from the content
  // code page); 0 outside the content.
  wchar_t cGetCharW(int i);
  // Byte i of the narrow builder (narrow content, or the narrow view of wide content once
  // pszGetA built it); builds the wide view first. 0 when either is empty, or outside.
  char cGetCharA(int i);
  // Content unit i is a blank (U+0020); FALSE outside the content.
  BOOL bIsCharSpace(int i) const;

  // ---- Adding ----
  // n wide characters (converted to the content code page for narrow content).
  void Add(const wchar_t* s, int n, unsigned int unused = 0xFFFFFFFFu);
  // n bytes of code page cp (0xFFFFFFFF: the ANSI code page): converted from cp for wide content;
  // copied when cp is the content code page; otherwise converted to it.
  void Add(const char* s, int n, unsigned int cp = 0xFFFFFFFFu);
  // Add(head, k, cp) then Add(s, n, cp), neither in this string's own text; bytes of narrow
  // content's own code page in one step.
  void AddTwo(const char* head, int k, const char* s, int n, unsigned int cp);
  void Add(const CTString& s);
  void AddStrCte(const wchar_t* s, int n) { Add(s, n); }
  // Replaces the content by n wide characters (nothing: empty).
  void SetStrCte(const wchar_t* s, int n);
  // n bytes of UTF-8.
  void AddUTF8(const char* s, int n);
  // Numbers, as CXYStringConcat writes them.
  void AddNumber(int v, int width = -1);
  void AddNumber(long long v, int width = -1);
  void AddNumberHexa(unsigned char v);
  void AddNumberHexa(unsigned short v);
  void AddNumberHexa(unsigned int v);
  void AddNumberHexa(unsigned long long v);

  // ---- Editing (each drops the cache) ----
  // Cuts the content to n units; n below 1 empties it; n above the length does nothing.
  void Tronque(int n);
  // Removes n units at start (a negative start counts as 0); a range that runs past the end cuts
  // the content at start. Nothing when start lies beyond the length or n is below 1.
  void Coupe(int start, int n);
  // Replaces n units at start (n below 0 or past the end: up to the end) by len characters of s
  // (none: the units are removed). start is taken within 0..length. Nothing on empty content.
  void Remplace(int start, int n, const wchar_t* s, int len);
  void Remplace(int start, int n, const char* s, int len);
  // Inserts n units of s before unit pos (pos below 0: at the start; at or beyond the length:
  // appended). Nothing for a null s or n below 1.
  void Insert(const wchar_t* s, int n, int pos);
  void Insert(const char* s, int n, int pos);
  // Replaces every occurrence of nFrom units of from at or after start by nTo units of to, left
  // to right; inserted text is never searched again. A pattern the content code page cannot
  // represent has no occurrence.
  void Remplace(const wchar_t* from, int nFrom, const wchar_t* to, int nTo, int start);
  void Remplace(const char* from, int nFrom, const char* to, int nTo, int start);
  // Upper case in place through the host locale service. Narrow content goes through its wide
  // form; a character whose upper case the content code page cannot represent stays as it was.
  void Majuscule();

  // ---- Searching: a content position at or after start, -1 when none ----
  // Terminated patterns; exact comparison.
  int nPos(const wchar_t* s, int start);
  int nPos(const char* s, int start);
  // One character; 0 finds the end of the content. A narrow c is a character of the ANSI code
  // page for wide content, and the byte itself for narrow content.
  int nPos(wchar_t c, int start);
  int nPos(char c, int start);

 private:
  unsigned int _nContentCP() const noexcept { return static_cast<unsigned int>(m_nCodePage); }
  unsigned int _nAnsiCP() const noexcept { return static_cast<unsigned int>(m_nCodePageAnsi); }
  void _DropCache() noexcept {
    if (bIsWide())
      m_clA.Vide();
    else
      m_clW.Vide();
  }
  // f(content builder), then the cache is dropped.
  template <typename F>
  void _Change(F f);
  // f(content builder, piece, piece length) with the piece in the content's form (narrow pieces
  // are in the ANSI code page), then the cache is dropped.
  template <typename U, typename F>
  void _Edit(const U* s, int n, F f);
  template <typename U>
  void _RemplaceTout(const U* from, int nFrom, const U* to, int nTo, int start);
  template <typename U>
  int _nPosText(const U* s, int start);
  void _MajusculeNarrow();

  int32_t m_nCodePage;
  int32_t m_nCodePageAnsi;
  CXYStringConcat<char> m_clA;
  CXYStringConcat<wchar_t> m_clW;
};
