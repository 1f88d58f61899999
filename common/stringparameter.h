// CStringParameter: items name=value of a settings string ("Server=db1; Port=3306"), read,
// tested, replaced and removed; and one named parameter with its value.
//
// Rules of a settings string:
// - Items are separated by ';'. An item is found only where one starts: at the start of the text
//   or after a ';' and blanks (U+0020). Its name is followed by optional blanks and '='.
// - Names match without regard to case (each character upper-cased by the locale service);
//   accents count. A usable name is not empty, holds no ';' or '=' and starts and ends with no
//   blank; any other name is never found and never written.
// - A value runs from the first non-blank after '=' up to the next ';' or the end; reading drops
//   its trailing blanks. A value holding ';' would split into items, so it is never written.
//
// The object does not own or copy its name: the text must outlive it. It owns its value.
#pragma once

#include "common/ctstring.h"
#include "platform/wintypes.h"

class CStringParameter {
 public:
  explicit CStringParameter(const wchar_t* name) : m_pszName(name) {}

  const wchar_t* pszGetName() const { return m_pszName; }
  const CTString& GetValue() const { return m_clValue; }
  const wchar_t* pszGetValue() const { return m_clValue.pszGet(); }
  BOOL bIsDefined() const { return m_bDefined; }

  // Null value: empty and undefined. Otherwise the value (whole for length < 0, else at most
  // length characters) without trailing blanks, and defined. The last two arguments are unused.
  void SetParameterValue(const wchar_t* value, int length = -1, const wchar_t* = nullptr, int = 0);
  // The same for a directory: a value that is not empty ends with a backslash.
  void SetParameterValueRep(const wchar_t* value, int length = -1);
  // Reads this parameter from settings (removing its item with bRemove). TRUE.
  BOOL bInitParameterValue(CTString* settings, int bRemove);
  // When defined, appends ';' (when settings is not empty), the name, '=' and the value; an item
  // of the name already there with another value gets the value instead. FALSE, nothing changed,
  // when the write is refused (as s_bReplaceParameterValue); TRUE otherwise.
  BOOL bCompleteConnectionString(CTString* settings, const wchar_t* = nullptr, int = 0) const;

  // value (when not null) = the item's value, empty when there is none; *pbFound (when not null)
  // whether the item exists. With bRemove the item goes from settings with the blanks before it
  // and the ';' and blanks after it (the last item leaves the ';' before it); ';' and blanks left
  // at the start go too. Always TRUE.
  static BOOL s_bGetParameterValue(CTString* value, int* pbFound, CTString* settings, const wchar_t* name,
                                   int bRemove);
  static BOOL s_bParameterDefined(const CTString* settings, const wchar_t* name);
  // The item's value becomes value (null: empty); without the item, ';' (when settings is not
  // empty), name, '=' and value are appended. FALSE, nothing changed, for a null settings, an
  // unusable name or a value holding ';'.
  static BOOL s_bReplaceParameterValue(CTString* settings, const wchar_t* value, const wchar_t* name);
  // Locates the item: namePos = its name's first character, valueStart = the value's first
  // character, valueEnd = the character before the next ';' or the end (valueStart - 1 for an
  // empty value). FALSE with namePos = valueStart = valueEnd = -1 when there is no such item.
  static BOOL _s_bGetParameterPos(int& namePos, int& valueStart, int& valueEnd, const CTString* settings,
                                  const wchar_t* name);

 private:
  const wchar_t* m_pszName;
  CTString m_clValue;
  int m_bDefined = 0;
};
