#include "mysql/mysqldatasourcedescription.h"

#include <cwchar>
#include <cwctype>
#include <new>

#include "common/xystringconcat.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"
#include "mysql/mysqlconnection.h"
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
  if (m_pclConnection == nullptr || !m_pclConnection->bFormatTableName(m_pclError, pszGetDBTableName(), &table))
    return FALSE;
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
    if (collation.nPos(L"ucs2_") == 0 || collation.nPos(L"utf8_") == 0 || collation.nPos(L"utf8mb3_") == 0)
      item->SetBmpOnly();
    if (type.nPos(L"bit(") == 0 || type.bEstEgal(L"bit")) item->SetBit();
    if (collation.nTaille() > 0 && collation.nPos(L"latin1_") != 0 && collation.nPos(L"ascii_") != 0 &&
        !collation.bEstEgal(L"binary"))
      item->SetWideText();
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
