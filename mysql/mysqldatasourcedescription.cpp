#include "mysql/mysqldatasourcedescription.h"

#include <cwchar>
#include <cwctype>
#include <new>
#include <vector>

#include "common/xystringconcat.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"
#include "mysql/mysqlconnection.h"
#include "mysql/mysqlstatementsql.h"
#include "sql/naconvertvariant.h"
#include "sql/nastatementsql.h"
#include "values/any.h"

namespace {

// One converter of the driver, released however the scope is left.
struct HeldConverter {
  CNAConvertVariant* p = nullptr;
  HeldConverter(CNAError* error, CNAConnectionDescription* cnx) {
    CNADriver* driver = CNADriver::s_pclDriver;
    p = driver != nullptr ? driver->pclAllocVariant(error, cnx) : nullptr;
    if (p != nullptr) p->AddRef();
  }
  ~HeldConverter() {
    if (p != nullptr) p->nRelease();
  }
  HeldConverter(const HeldConverter&) = delete;
  HeldConverter& operator=(const HeldConverter&) = delete;
};

// Whether a part of key allows NULL.
bool bAnyPartNullable(CNAItemDescription* key) {
  for (int i = 1; i <= key->nGetNumComponents(); ++i) {
    INAItemDescription* part = key->piGetItemComponent(i);
    const bool nullable = part == nullptr || part->vbConstraintNullAllowed();
    if (part != nullptr) part->nExternalRelease();
    if (nullable) return true;
  }
  return false;
}

// The rows of an executed statement read as wide texts through one converter.
class CRowReader {
 public:
  CRowReader(CNAStatementSQL* statement, CNAError* error, CNAConnectionDescription* cnx)
      : m_pStatement(statement), m_value(error, cnx) {}
  bool bReady() const { return m_value.p != nullptr; }
  // The next row: 1 read, 0 none left, -1 the fetch failed.
  int nNext() {
    if (!m_pStatement->bFetch(0)) return -1;
    return m_pStatement->bIsEnd() ? 0 : 1;
  }
  // Column c of the row into out (empty for NULL or no text); *bNull whether it was NULL.
  bool bRead(unsigned int c, CTString* out, bool* bNull = nullptr) {
    m_value.p->InitTypeVariantAny(ZV_DSTRW, 0);
    if (!m_pStatement->bGetValue(m_value.p, c, 0)) return false;
    CAny value;
    m_value.p->bGetValue(&value);
    const wchar_t* text = nullptr;
    unsigned int length = 0;
    out->Vide();
    if (!value.bIsNull() && value.Intern()->nGetPCWSTR(&text) == 0 && value.Intern()->nGetSTRLEN(&length) == 0 &&
        text != nullptr)
      out->Set(text, length);
    if (bNull != nullptr) *bNull = value.bIsNull() || m_value.p->bIsNull();
    return true;
  }

 private:
  CNAStatementSQL* m_pStatement;
  HeldConverter m_value;
};

bool bStartsNoCase(const wchar_t* s, const wchar_t* prefix) {
  for (; *prefix != 0; ++s, ++prefix)
    if (towupper(static_cast<wint_t>(*s)) != static_cast<wint_t>(*prefix)) return false;
  return true;
}

// The client library's field type code of a column type text, for the column's facts: 0 for the
// types whose facts need no code (numbers, dates and times).
int nFieldTypeOfText(const wchar_t* type) {
  static const struct {
    const wchar_t* prefix;
    int code;
  } kTypes[] = {{L"BIT", 16},         {L"ENUM(", 247},     {L"SET(", 248},      {L"VARCHAR", 253},
                {L"VARBINARY", 253},  {L"CHAR", 254},      {L"BINARY", 254},    {L"TINYBLOB", 249},
                {L"MEDIUMBLOB", 250}, {L"LONGBLOB", 251},  {L"BLOB", 252},      {L"TINYTEXT", 249},
                {L"MEDIUMTEXT", 250}, {L"LONGTEXT", 251},  {L"TEXT", 252},      {L"JSON", 252}};
  for (const auto& t : kTypes)
    if (bStartsNoCase(type, t.prefix)) return t.code;
  return 0;
}

// The character set of a column from its collation ("utf8mb4_general_ci": "utf8mb4"); a column
// of bytes has none, and is "binary".
CTString CharsetOfCollation(const CTString& collation, const wchar_t* type) {
  CTString charset;
  if (collation.nTaille() == 0) {
    if (bStartsNoCase(type, L"BINARY") || bStartsNoCase(type, L"VARBINARY") || wcsstr(type, L"blob") != nullptr ||
        wcsstr(type, L"BLOB") != nullptr)
      charset = L"binary";
    return charset;
  }
  const int cut = collation.nPos(L"_");
  charset.Set(collation.pszGet(), static_cast<unsigned int>(cut >= 0 ? cut : collation.nTaille()));
  return charset;
}

// A name as the server takes any identifier: between backquotes, each one inside doubled.
CTString QuotedName(const wchar_t* name) {
  CTString quoted(L"`");
  for (const wchar_t* p = name; p != nullptr && *p != 0; ++p) {
    if (*p == L'`') quoted.Add(L"`");
    quoted.Add(p, 1);
  }
  quoted.Add(L"`");
  return quoted;
}

}  // namespace

CMySQLConnection* CMySQLDataSourceDescription::_pclMySQL() const {
  return static_cast<CMySQLConnection*>(m_pclConnection);
}

unsigned short CMySQLDataSourceDescription::_nKeyType(const wchar_t* keyText) {
  if (keyText == nullptr) return 0;
  if (bStartsNoCase(keyText, L"PRI")) return NA_KEY_PRIMARY | NA_KEY_ASCENDANT;
  if (bStartsNoCase(keyText, L"UNI")) return NA_KEY_UNIQUE | NA_KEY_ASCENDANT;
  return 0;
}

unsigned short CMySQLDataSourceDescription::_nKeyType(unsigned int fieldFlags) {
  if ((fieldFlags & 0x2) != 0) return NA_KEY_PRIMARY | NA_KEY_ASCENDANT;
  if ((fieldFlags & 0x4000) != 0) return NA_KEY_UNIQUE | NA_KEY_ASCENDANT;
  if ((fieldFlags & 0x8) != 0) return NA_KEY_DUPLICATES | NA_KEY_ASCENDANT;
  return 0;
}

// ---------------------------------------------------------------- query texts

BOOL CMySQLDataSourceDescription::_bQueryText(CXYStringConcat<wchar_t>* text, const wchar_t* verb) {
  CTString table;
  if (m_csDatabase.nTaille() != 0) {
    table = QuotedName(pszGetDBTableName());
    table.Add(L" FROM ");
    table.Add(QuotedName(m_csDatabase.pszGet()).pszGet());
  } else if (m_pclConnection == nullptr ||
             !m_pclConnection->bFormatTableName(m_pclError, pszGetDBTableName(), &table)) {
    return FALSE;
  }
  text->Vide();
  text->Add(verb);
  text->Add(table.pszGet());
  return TRUE;
}

BOOL CMySQLDataSourceDescription::_bGetQueryShowColumns(CXYStringConcat<wchar_t>* text) {
  const bool bFull = m_pclConnection != nullptr && _pclMySQL()->bServerVersionGreaterThan4_1();
  return _bQueryText(text, bFull ? L"SHOW FULL COLUMNS FROM " : L"SHOW COLUMNS FROM ");
}

BOOL CMySQLDataSourceDescription::_bGetQueryShowIndex(CXYStringConcat<wchar_t>* text) {
  return _bQueryText(text, L"SHOW INDEX FROM ");
}

// ---------------------------------------------------------------- columns

BOOL CMySQLDataSourceDescription::_bInitItemFromQueryShowColumns(CNAStatementSQL* statement) {
  if (statement == nullptr) return FALSE;
  CRowReader rows(statement, m_pclError, m_pclConnection);
  if (!rows.bReady()) return FALSE;
  const bool bCollation = _pclMySQL()->bServerVersionGreaterThan4_1();
  const unsigned int first = bCollation ? 3 : 2;
  int autoKeys = 0;
  for (unsigned int physical = 0;; ++physical) {
    const int next = rows.nNext();
    if (next <= 0) return next == 0;
    CTString field, type, collation, nullable, key, defaultText, extra;
    bool bNullDefault = false;
    if (!rows.bRead(0, &field) || !rows.bRead(1, &type) || (bCollation && !rows.bRead(2, &collation)) ||
        !rows.bRead(first, &nullable) || !rows.bRead(first + 1, &key) ||
        !rows.bRead(first + 2, &defaultText, &bNullDefault) || !rows.bRead(first + 3, &extra))
      return FALSE;
    eNA_ITEMTYPE itemType = NA_IT_EMPTY;
    unsigned int size = 0, integerPart = 0, decimalPart = 0;
    if (!m_pclConnection->bSQLTypeNameToNAType(m_pclError, &itemType, &size, &integerPart, &decimalPart,
                                               type.pszGet(), collation.pszGet()))
      return FALSE;
    unsigned short flags = _nKeyType(key.pszGet());
    int keyIndex = -1;
    if ((flags & NA_KEY_PRIMARY) != 0 && extra.nPos(L"auto_increment") >= 0) {
      // An identifier narrower than 4 bytes is held in 8: its values would not fit its own size;
      // so is an unsigned one of 4, whose upper half a signed 4-byte identifier cannot hold.
      itemType = size == 4 && itemType != NA_IT_UI4 ? NA_IT_IDAUTO4 : NA_IT_IDAUTO;
      if (itemType == NA_IT_IDAUTO) size = 8;
      keyIndex = autoKeys++;
    } else if (itemType != NA_IT_IDAUTO && itemType != NA_IT_IDAUTO4) {
      flags = 0;
    }
    CNAItemDescription* item = new (std::nothrow) CNAItemDescription();
    if (item == nullptr) return _NoMemory(), FALSE;
    item->AddRef();
    item->bInit(field.pszGet(), pszGetDBTableName(), field.pszGet(), 1, size, itemType, physical, keyIndex, flags,
                static_cast<int>(integerPart), static_cast<int>(decimalPart));
    if (!nullable.bEstEgal(L"YES")) item->SetNullable(0);
    // A column the server computes ("VIRTUAL GENERATED", "STORED GENERATED") takes no value of
    // ours, and a value of ours never names it.
    if (extra.nPos(L"GENERATED") >= 0) item->SetUpdatable(0);
    item->SetServerFacts(CMySQLConnection::s_dwColumnFacts(nFieldTypeOfText(type.pszGet()), 0,
                                                           CharsetOfCollation(collation, type.pszGet()).pszGet()));
    CAny value;
    value.__SetType(item->eGetItemZVType(), 0);
    if (bNullDefault) {
      value.SetNull(true);
      item->SetDefaultValue(&value, -1);
    } else {
      // A default the item cannot hold (an expression such as current_timestamp()) is none, and
      // no error: its refusal goes to a scratch error object.
      CNAError scratch;
      CNAError::s_Hold(&scratch);
      HeldConverter converter(&scratch, m_pclConnection);
      if (converter.p != nullptr) {
        converter.p->InitTypeVariantAny(item->eGetItemZVType(), 0);
        converter.p->SetItemDesc(item, item);
        if (converter.p->bSetValueDB(defaultText.pszGet(), static_cast<unsigned int>(defaultText.nTaille())) &&
            converter.p->bGetValue(&value))
          item->SetDefaultValue(&value, -1);
      }
    }
    const BOOL added = _AddItem(item);
    item->nRelease();
    if (!added) return FALSE;
  }
}

// ---------------------------------------------------------------- a result's columns

BOOL CMySQLDataSourceDescription::_bCompleteServerFacts(CNAStatementSQL* statement) {
  auto* st = dynamic_cast<CMySQLStatementSQL*>(statement);
  if (st == nullptr || m_pclConnection == nullptr) return TRUE;
  // The tables' refusals are no error of the result's.
  CNAError scratch;
  CNAError::s_Hold(&scratch);
  struct STSource {
    CTString database, table;
    CMySQLDataSourceDescription* desc;
  };
  std::vector<STSource> sources;
  constexpr uint32_t kCharsetFacts = NA_ITEM_WIDETEXT | NA_ITEM_BMPONLY;
  // The client library's own errors (a lost server among them) start here.
  constexpr DWORD kFirstClientError = 2000;
  bool failed = false;
  // A result without a unique key names a row written by its values: a column its table computes
  // must be known, and the fields do not tell it.
  bool keyless = true;
  for (int i = 0; i < nGetNumItems() && keyless; ++i)
    if (const CNAItemDescription* item = pclGetItemNoRef(i)) keyless = !item->bUniqueNotNull();
  for (int i = 0; i < nGetNumItems(); ++i) {
    CNAItemDescription* item = pclGetItemNoRef(i);
    // Of a result's field only a text's character set is untold, and such a text counts as wide.
    CTString database, table, column;
    if (item == nullptr || (!item->bWideText() && !keyless) ||
        !st->bGetColumnOrigin(item->nGetPhysicalIndice(), &database, &table, &column) || database.nTaille() == 0 ||
        table.nTaille() == 0 || column.nTaille() == 0)
      continue;
    STSource* source = nullptr;
    for (STSource& s : sources)
      if (s.database.bEstEgal(database.pszGet()) && s.table.bEstEgal(table.pszGet())) source = &s;
    if (source == nullptr) {
      auto* desc = new (std::nothrow) CMySQLDataSourceDescription(m_pclConnection, &scratch);
      if (desc != nullptr) {
        desc->AddRef();
        desc->SetLogicalName(table.pszGet());
        desc->SetDBName(table.pszGet());
        desc->m_csDatabase = database;
        if (!desc->_bImportItems()) {
          desc->nRelease();
          desc = nullptr;
          // The server's own refusal (no such table, no right to it) leaves the field's facts.
          const DWORD code = scratch.dwGetDataBaseErrorCode();
          if (code == 0 || code >= kFirstClientError) {
            m_pclError->Copy(&scratch);
            failed = true;
            break;
          }
          scratch.Reset();
        }
      }
      sources.push_back({database, table, desc});
      source = &sources.back();
    }
    const CNAItemDescription* own = source->desc != nullptr ? source->desc->pclNAGetItemNoRef(column.pszGet(), 2) : nullptr;
    if (own != nullptr && item->bWideText())
      item->SetServerFacts((item->dwGetServerFacts() & ~kCharsetFacts) | (own->dwGetServerFacts() & kCharsetFacts));
    if (own != nullptr && !own->bUpdatable()) item->SetUpdatable(0);
  }
  for (STSource& s : sources)
    if (s.desc != nullptr) s.desc->nRelease();
  return failed ? FALSE : TRUE;
}

// ---------------------------------------------------------------- keys

BOOL CMySQLDataSourceDescription::_bInitKeysFromQueryShowIndex(CNAStatementSQL* statement) {
  if (statement == nullptr) return FALSE;
  CRowReader rows(statement, m_pclError, m_pclConnection);
  if (!rows.bReady()) return FALSE;
  CNAItemDescription* pending = nullptr;
  CTString previousKey, previousColumn;
  unsigned short previousFlags = 0;
  bool bAny = false;
  BOOL result = TRUE;
  for (;;) {
    const int next = rows.nNext();
    if (next <= 0) {
      result = next == 0;
      break;
    }
    CTString table, nonUnique, keyName, sequence, column;
    if (!rows.bRead(0, &table) || !rows.bRead(1, &nonUnique) || !rows.bRead(2, &keyName) ||
        !rows.bRead(3, &sequence) || !rows.bRead(4, &column)) {
      result = FALSE;
      break;
    }
    unsigned short flags = nonUnique.bEstEgal(L"0") ? NA_KEY_UNIQUE | NA_KEY_ASCENDANT : NA_KEY_DUPLICATES | NA_KEY_ASCENDANT;
    if ((flags & NA_KEY_UNIQUE) != 0 && keyName.bEstEgal(L"PRIMARY")) flags |= NA_KEY_PRIMARY;
    if (bAny && !_bInitKeyDescription(&pending, keyName.pszGet(), !keyName.bEstEgal(previousKey.pszGet()),
                                      previousColumn.pszGet(), previousFlags)) {
      result = FALSE;
      break;
    }
    previousKey = keyName;
    previousColumn = column;
    previousFlags = flags;
    bAny = true;
  }
  if (bAny && !_bAddKeyDescription(&pending, previousColumn.pszGet(), previousFlags)) result = FALSE;
  if (pending != nullptr) pending->nRelease();
  return result;
}

BOOL CMySQLDataSourceDescription::_bInitKeyDescription(CNAItemDescription** pending, const wchar_t* keyName,
                                                       int newKey, const wchar_t* columnName, unsigned short flags) {
  if (newKey) return _bAddKeyDescription(pending, columnName, flags);
  if (*pending == nullptr) {
    CNAItemDescription* composite = new (std::nothrow) CNAItemDescription();
    if (composite == nullptr) return _NoMemory(), FALSE;
    composite->AddRef();
    composite->bInit(keyName, pszGetPhysicalName(), keyName, 1, 0, NA_IT_BINAIRE, UINT32_MAX, nGetNumKeys(),
                     static_cast<unsigned short>(flags | NA_KEY_COMPOSED), 0, 0);
    *pending = composite;
  }
  return _bAddItemComponent(*pending, columnName);
}

BOOL CMySQLDataSourceDescription::_bAddKeyDescription(CNAItemDescription** pending, const wchar_t* columnName,
                                                      unsigned short flags) {
  if (*pending == nullptr) {
    _bSetKeyType(columnName, flags);
    return TRUE;
  }
  BOOL result = _bAddItemComponent(*pending, columnName);
  // A key is NULL only through a part: one whose parts the server holds NOT NULL (a primary
  // key's always are) is never NULL, and a browse on it needs no more order than the key.
  if (result && ((flags & NA_KEY_PRIMARY) != 0 || !bAnyPartNullable(*pending))) (*pending)->SetNullable(0);
  if (result) result = _AddItem(*pending);
  (*pending)->nRelease();
  *pending = nullptr;
  return result;
}
