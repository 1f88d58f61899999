// The SQL type map that CREATE TABLE text takes its column types from: CNATypeInfo is one entry
// (a type text, or a printf format that takes the item's size), CNAMapConvertType the map from
// item type to entry. The map holds one reference on each entry; a backend adds or replaces
// entries with its own type names through Add.
#pragma once

#include "common/ctstring.h"
#include "common/interf.h"
#include "common/refhashtable.h"
#include "sql/naitemtype.h"

class CNATypeInfo : public CInterf {
 public:
  CNATypeInfo(const wchar_t* text, int sized) : m_csFormat(text), m_bSized(sized) {}

  // The text, or the format filled by the item: HEURE with max(0, item size - 7), DECIMAL with
  // the precision and the scale, any other type with its logical size.
  void Format(const INAItemDescription* item, CTString* out) const;
  const wchar_t* pszGetFormat() const { return m_csFormat.pszGet(); }
  int bIsSized() const { return m_bSized; }

 private:
  CTString m_csFormat;
  int32_t m_bSized;
};

class CNAMapConvertType : public CNARefHashTable<eNA_ITEMTYPE, CNATypeInfo*> {
 public:
  // Fills the generic map, replacing the entries it holds already.
  virtual void _Init();
  // The entry of type becomes a new one of text and sized (the old one released).
  void Add(eNA_ITEMTYPE type, const wchar_t* text, int sized);
  // The item's type text into out; FALSE, out untouched, for a type without an entry.
  BOOL bFormat(const INAItemDescription* item, CTString* out) const;
};
