// The link list of the SQL-function service: the foreign keys read back from the server's own
// CREATE TABLE text.
#include <cwchar>
#include <iterator>
#include <memory>
#include <string>

#include "access/nadatasourcedescription.h"
#include "common/ctstring.h"
#include "driver/inadatasourcedescription.h"
#include "driver/naconnectiondescription.h"
#include "driver/nadriver.h"
#include "driver/nadriversql.h"
#include "sql/inaitemdescription.h"
#include "values/any.h"

namespace {

constexpr unsigned int kExtended = 32;
constexpr int kDialectMySQL = 5;

struct StatementRelease {
  void operator()(CNAStatementSQL* st) const { st->nRelease(); }
};
using HeldStatement = std::unique_ptr<CNAStatementSQL, StatementRelease>;

struct DescriptionRelease {
  void operator()(CNADataSourceDescription* d) const { d->nRelease(); }
};
using HeldDescription = std::unique_ptr<CNADataSourceDescription, DescriptionRelease>;

// A cursor over a CREATE TABLE text.
class CLinkReader {
 public:
  explicit CLinkReader(const wchar_t* text) : m_psz(text), m_nLength(wcslen(text)) {}

  bool bAtEnd() const { return m_nPos >= m_nLength; }
  wchar_t cPeek() const { return bAtEnd() ? 0 : m_psz[m_nPos]; }
  void SkipBlanks() {
    while (cPeek() == L' ' || cPeek() == L'\t') ++m_nPos;
  }
  // Steps over c when it comes next.
  bool bTake(wchar_t c) {
    if (cPeek() != c) return false;
    ++m_nPos;
    return true;
  }
  // Steps over word (compared ignoring case) when it comes next.
  bool bTakeWord(const wchar_t* word) {
    const size_t n = wcslen(word);
    if (m_nLength - m_nPos < n || wcsncasecmp(m_psz + m_nPos, word, n) != 0) return false;
    m_nPos += n;
    return true;
  }
  // A backquoted name (a doubled backquote inside is one backquote); false, position kept, when
  // none comes next or it is not closed.
  bool bTakeName(CTString* name) {
    size_t at = m_nPos;
    if (at >= m_nLength || m_psz[at] != L'`') return false;
    std::wstring read;
    for (++at; at < m_nLength; ++at) {
      if (m_psz[at] != L'`') {
        read += m_psz[at];
      } else if (at + 1 < m_nLength && m_psz[at + 1] == L'`') {
        read += L'`';
        ++at;
      } else {
        name->Set(read.c_str());
        m_nPos = at + 1;
        return true;
      }
    }
    return false;
  }
  // Moves after the next "CONSTRAINT" (exact case) that stands outside quoted texts and names;
  // false at the end of the text.
  bool bNextConstraint() {
    static constexpr wchar_t kWord[] = L"CONSTRAINT";
    constexpr size_t n = std::size(kWord) - 1;
    while (m_nPos < m_nLength) {
      const wchar_t c = m_psz[m_nPos];
      if (c == L'\'' || c == L'`' || c == L'"') {
        _SkipQuoted(c);
      } else if (m_nLength - m_nPos >= n && wcsncmp(m_psz + m_nPos, kWord, n) == 0) {
        m_nPos += n;
        return true;
      } else {
        ++m_nPos;
      }
    }
    return false;
  }

 private:
  // From an opening quote to after its closing one: a doubled quote stays inside, and a
  // backslash escapes the next character in a text (not in a name).
  void _SkipQuoted(wchar_t quote) {
    for (++m_nPos; m_nPos < m_nLength; ++m_nPos) {
      const wchar_t c = m_psz[m_nPos];
      if (c == L'\\' && quote != L'`') {
        ++m_nPos;
      } else if (c == quote) {
        if (m_nPos + 1 < m_nLength && m_psz[m_nPos + 1] == quote) {
          ++m_nPos;
        } else {
          ++m_nPos;
          return;
        }
      }
    }
  }

  const wchar_t* m_psz;
  size_t m_nLength;
  size_t m_nPos = 0;
};

// "(" name [, name]… ")" joined by ","; the count of names, 0 when the list cannot be read.
int nReadColumns(CLinkReader* r, CTString* columns) {
  columns->Vide();
  if (!r->bTake(L'(')) return 0;
  int count = 0;
  std::wstring joined;
  do {
    r->SkipBlanks();
    CTString name;
    if (!r->bTakeName(&name)) return 0;
    if (count++ > 0) joined += L',';
    joined += name.pszGet();
    r->SkipBlanks();
  } while (r->bTake(L','));
  if (!r->bTake(L')')) return 0;
  columns->Set(joined.c_str());
  return count;
}

// The rule after "ON DELETE " or "ON UPDATE "; restrict when none of the known words follows.
CNADriverSQL::eSQLForeignKeysRules eReadRule(CLinkReader* r) {
  r->SkipBlanks();
  if (r->bTakeWord(L"CASCADE")) return CNADriverSQL::SQLFK_CASCADE;
  if (r->bTakeWord(L"SET NULL")) return CNADriverSQL::SQLFK_SET_NULL;
  if (r->bTakeWord(L"NO ACTION")) return CNADriverSQL::SQLFK_NO_ACTION;
  // Stepped over so that an ON UPDATE after it is still read.
  if (r->bTakeWord(L"RESTRICT")) return CNADriverSQL::SQLFK_RESTRICT;
  if (r->bTakeWord(L"SET DEFAULT")) return CNADriverSQL::SQLFK_SET_DEFAULT;
  return CNADriverSQL::SQLFK_RESTRICT;
}

const wchar_t* pszRuleCode(CNADriverSQL::eSQLForeignKeysRules rule) {
  switch (rule) {
    case CNADriverSQL::SQLFK_CASCADE: return L"2022";
    case CNADriverSQL::SQLFK_RESTRICT: return L"2021";
    case CNADriverSQL::SQLFK_SET_NULL: return L"2023";
    case CNADriverSQL::SQLFK_NO_ACTION: return L"2020";
    case CNADriverSQL::SQLFK_SET_DEFAULT: return L"2023";
    default: return L"";
  }
}

}  // namespace

BOOL CNADriverSQL::_bTextToeSQLForeignKeysRules(eSQLForeignKeysRules* rule, const wchar_t* text) {
  const CTString t(text);
  const struct {
    const wchar_t* text;
    eSQLForeignKeysRules rule;
  } known[] = {{L"NO ACTION", SQLFK_NO_ACTION}, {L"RESTRICT", SQLFK_RESTRICT}, {L"SET NULL", SQLFK_SET_NULL},
               {L"SET DEFAULT", SQLFK_SET_DEFAULT}, {L"CASCADE", SQLFK_CASCADE}};
  *rule = SQLFK_UNKNOWN;
  for (const auto& k : known)
    if (t.bEstEgalI(k.text)) *rule = k.rule;
  return TRUE;
}

namespace {

// [owner "."] table; an empty or missing owner is left out.
void AddOwnedName(CXYStringConcat<wchar_t>* out, const wchar_t* owner, const wchar_t* table) {
  if (owner != nullptr && owner[0] != 0) {
    out->Add(owner);
    out->Add(L".");
  }
  out->Add(table != nullptr ? table : L"");
}

}  // namespace

BOOL CNADriverSQL::s_bConcatConstraint(CXYStringConcat<wchar_t>* out, unsigned int flags, const wchar_t* owner1,
                                       const wchar_t* table1, const wchar_t* columns1, const wchar_t* owner2,
                                       const wchar_t* table2, const wchar_t* columns2, eSQLForeignKeysRules rule1,
                                       eSQLForeignKeysRules rule2) {
  if (!out->bEstVide()) out->Add(L"\r\n");
  AddOwnedName(out, owner1, table1);
  out->Add(L"_");
  AddOwnedName(out, owner2, table2);
  out->Add(L"\t");
  AddOwnedName(out, owner1, table1);
  for (const wchar_t* field : {columns1, L"0,N"}) {
    out->Add(L"\t");
    out->Add(field != nullptr ? field : L"");
  }
  out->Add(L"\t");
  AddOwnedName(out, owner2, table2);
  for (const wchar_t* field : {columns2, L"0,1"}) {
    out->Add(L"\t");
    out->Add(field != nullptr ? field : L"");
  }
  if ((flags & kExtended) != 0) {
    for (const eSQLForeignKeysRules rule : {rule1, rule2}) {
      out->Add(L"\t");
      out->Add(pszRuleCode(rule));
    }
  }
  return TRUE;
}

BOOL CNADriverSQL::_bGetNomCleComposee(INADataSourceDescription* desc, CTString* columns, int count) {
  const int keys = desc->nGetNumKeys();
  for (int k = 0; k < keys; ++k) {
    INAItemDescription* key = desc->piNAGetKey(static_cast<unsigned int>(k));
    if (key == nullptr) continue;
    bool bMatch = false;
    if (key->bIsComposedKey() && key->nGetNumComponents() == count) {
      std::wstring joined;
      for (int c = 1; c <= count; ++c) {
        INAItemDescription* component = key->piGetItemComponent(c);
        if (c > 1) joined += L',';
        if (component != nullptr) {
          joined += component->pszGetName();
          component->nExternalRelease();
        }
      }
      bMatch = columns->bEstEgalI(joined.c_str()) != FALSE;
      if (bMatch) columns->Set(key->pszGetName());
    }
    key->nExternalRelease();
    if (bMatch) break;
  }
  return TRUE;
}

BOOL CNADriverSQL::_bExtraitLink_FromShowCreateTable(CXYStringConcat<wchar_t>* out, const wchar_t* text,
                                                     const wchar_t* table, CNAConnectionDescription* cnx,
                                                     INADataSourceDescription* desc, unsigned int flags) {
  HeldDescription ownDesc;  // the referencing table's, when none was given
  CLinkReader r(text);
  // A constraint the reading cannot follow is left for the next one.
  while (r.bNextConstraint()) {
    r.SkipBlanks();
    CTString name, referenced, columns, referencedColumns;
    if (!r.bTakeName(&name)) continue;
    r.SkipBlanks();
    if (!r.bTakeWord(L"FOREIGN KEY")) continue;
    r.SkipBlanks();
    const int count = nReadColumns(&r, &columns);
    if (count == 0) continue;
    if (count > 1) {
      if (desc == nullptr && ownDesc == nullptr && m_pclDriver != nullptr)
        ownDesc.reset(m_pclDriver->_pclGetTableDesc(table, cnx));
      INADataSourceDescription* d = desc != nullptr ? desc : ownDesc.get();
      if (d == nullptr) continue;
      _bGetNomCleComposee(d, &columns, count);
    }
    r.SkipBlanks();
    if (!r.bTakeWord(L"REFERENCES")) continue;
    r.SkipBlanks();
    if (!r.bTakeName(&referenced)) continue;
    r.SkipBlanks();
    const int referencedCount = nReadColumns(&r, &referencedColumns);
    if (referencedCount == 0) continue;
    if (referencedCount > 1) {
      HeldDescription refDesc(m_pclDriver != nullptr ? m_pclDriver->_pclGetTableDesc(referenced.pszGet(), cnx)
                                                     : nullptr);
      if (refDesc == nullptr) continue;
      _bGetNomCleComposee(refDesc.get(), &referencedColumns, referencedCount);
    }
    if ((flags & kExtended) == 0) continue;
    eSQLForeignKeysRules onDelete = SQLFK_RESTRICT, onUpdate = SQLFK_RESTRICT;
    r.SkipBlanks();
    if (r.bTakeWord(L"ON DELETE ")) onDelete = eReadRule(&r);
    r.SkipBlanks();
    if (r.bTakeWord(L"ON UPDATE ")) onUpdate = eReadRule(&r);
    if (!out->bEstVide()) out->Add(L"\r\n");
    for (const wchar_t* field : {name.pszGet(), referenced.pszGet(), referencedColumns.pszGet(), L"0,N", table,
                                 columns.pszGet(), L"0,1", pszRuleCode(onUpdate)}) {
      out->Add(field);
      out->Add(L"\t");
    }
    out->Add(pszRuleCode(onDelete));
  }
  return TRUE;
}

BOOL CNADriverSQL::bGetLinkList(CAny* out, CNAConnectionDescription* cnx, const wchar_t* table,
                                INADataSourceDescription* desc, unsigned int flags) {
  if (cnx->nGetDataSource() != kDialectMySQL) return TRUE;
  const wchar_t* name = desc != nullptr ? desc->pszGetDBTableName() : table;
  CTString formatted;
  if (!cnx->bFormatTableName(m_pclError, name, &formatted)) return FALSE;
  const CTString sql(L"SHOW CREATE TABLE ", formatted.pszGet(), L"");
  CNAStatementSQL* made = nullptr;
  if (!bExecute(m_pclError, &made, cnx, sql.pszGet(), nullptr, 0) || made == nullptr) return FALSE;
  HeldStatement st(made);
  if (!st->bFetch(0)) return FALSE;
  if (st->bIsEnd()) return TRUE;
  const wchar_t* column = st->_pszGetColumnName(1);
  if (column == nullptr || !CTString(column).bEstEgalI(L"Create Table")) return TRUE;
  CAny value;
  const wchar_t* text = nullptr;
  if (!st->bGetValue(&value, 1, 0) || value.bIsNull() ||
      (value.wGetType() != ZV_DSTRW && value.wGetType() != ZV_PSTRW) || value.Intern()->nGetPCWSTR(&text) != 0 ||
      text == nullptr)
    return TRUE;
  CXYStringConcat<wchar_t> list;
  _bExtraitLink_FromShowCreateTable(&list, text, table != nullptr ? table : name, cnx, desc, flags);
  g_SetList(out, list);
  return TRUE;
}
