// CNAColumn: one item of a table or query bound to the current record of its data access
// (access/narecord.h). It reads and writes the item's value in the record's host-layout buffers,
// keeps a value converter for the server side, handles memo values and attached memo files,
// answers the NULL, change and uniqueness questions of searches and statements, and caches the
// item's names as the connection quotes them. A composite key is a column too: its value is its
// components' values one after the other.
//
// Ownership: a column holds an external reference on its item description and on its imported
// (database-side) description, a count on its error object, one reference on its converter and
// one on each component column. It borrows its record (set by vbInit), which owns it.
//
// Rules every operation keeps:
// - A plain column's converter is bound to the item's slot in the current record buffer (kind 3):
//   setting one sets the other. A memo column's converter holds the value itself (kind 1) and is
//   the current record value's memo entry at the column's memo index.
// - A column without a record, converter or connection answers FALSE (or NULL, or empty) to what
//   needs them; nothing is raised here: failures come from the converter, record or connection.
//
// CNASQLColumn is the column the driver's factory makes for records; it reads its value from a
// statement's fetched row.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/ctstring.h"
#include "common/interf.h"
#include "common/refarray.h"
#include "platform/wintypes.h"
#include "sql/naitemtype.h"
#include "sql/nakjrecord.h"

class CAny;
class CNAConnectionDescription;
class CNAConvertVariant;
class CNAError;
class CNAItemDescription;
class CNAKJRecord;
class CNARecord;
class CNAStatement;
class CNAVariant;
class CSQLParserInfo;
class INAItemDescription;
template <typename T>
class CXYStringConcat;

// Flag of bSameValue: the current value may go on past the given one (a starts-with match).
constexpr unsigned int NA_SAMEVALUE_PREFIX = 0x1000;

// Two fixed texts of size bytes in units of unit bytes (1 for the host's page, 2 for UTF-16) are
// the same up to and including the first terminator of a; past it the slot holds nothing read.
bool g_bSameFixedText(const BYTE* a, const BYTE* b, size_t size, size_t unit);

class CNAColumn : public CInterf {
 public:
  // Takes a count on error and an external reference on item.
  CNAColumn(CNAError* error, INAItemDescription* item);
  ~CNAColumn() override;
  CNAColumn(const CNAColumn&) = delete;
  CNAColumn& operator=(const CNAColumn&) = delete;

  // ---- Virtual operations, in their slot order ----
  // Stores the record, formats the names, takes the imported description when one is given and
  // binds the converter (not for a composite key); the first FALSE ends it.
  virtual BOOL vbInit(CNARecord* record, CNAItemDescription* imported);
  // Makes the converter on first use and binds it to the record's current value; its NULL state
  // follows the item's defined bit.
  virtual BOOL bInitVariant(CNARecord* record);
  // Replaces the imported description (references moved); the converter takes it as its server
  // item. TRUE.
  virtual BOOL bSetImportedItemDesc(CNAItemDescription* imported);
  // Binds the converter again after the record's buffers were made again.
  virtual BOOL bUpdateChangedTypeInCurrentRecord();
  // The imported item is an automatic identifier; FALSE without one.
  virtual BOOL bIsAutoIncrementOnDataBase() const;
  virtual const wchar_t* pszGetAliasNomTable() const { return m_csAliasNomTable.pszGet(); }
  virtual const wchar_t* pszGetFormatedAliasNomTable() const { return m_csFormatedAliasNomTable.pszGet(); }
  // The table a query's clauses qualify the column by (its alias in the query, or the physical
  // name of a table named by itself), plain and quoted.
  void SetAliasNomTable(const wchar_t* alias, const wchar_t* formatted) {
    m_csAliasNomTable = alias;
    m_csFormatedAliasNomTable = formatted;
  }
  // out = the current value: a composite key's bytes as a binary of the item size, a memo's value
  // (an attached file loaded first), else the record slot (NULL of the item's host type when
  // not defined).
  virtual BOOL bGetCurrentValue(CAny* out, unsigned int flags);
  virtual BOOL bGetOriginalValue(CAny* out, unsigned int flags);
  // out emptied, then the value's text; with withName "<name> = <text>".
  virtual BOOL bCurrentValueToString(CXYStringConcat<wchar_t>* out, int withName);
  // Sets the current value from the host (a memo: its converter; else the record slot).
  virtual BOOL bSetValue(const CAny* value, unsigned int flags);
  virtual BOOL bValueModified();
  virtual BOOL bValueDefined();
  virtual BOOL bOriginalValueDefined();
  // Whether the current value is value: equal bytes for values of one kind (the given ones a
  // prefix with NA_SAMEVALUE_PREFIX, else followed by zeros only), the host's equality otherwise.
  // An integer or real column compares value in its own type, a time column a whole value as its
  // item's digits (see bSoughtAsHeld), as a condition on the server compares them.
  virtual BOOL bSameValue(const CAny* value, unsigned int flags);
  // out = a sought value as the item holds it, where the item takes it otherwise than the host
  // compares it: an integer or real converted to the column's type, a time to its text cut to
  // the digits the item keeps (with NA_SAMEVALUE_PREFIX, the least time its digits start). FALSE
  // for NULL, any other column, or a value that does not convert.
  BOOL bSoughtAsHeld(const CAny* value, CAny* out, unsigned int flags = 0) const;
  // Brings the record to the NULL rules before a write: NULL-equivalent values become NULL. TRUE.
  virtual BOOL bCheckAndCorrectKJRecordValues();
  // Reads the value of a fetched row; FALSE here.
  virtual BOOL bSetValueFromDB(CNAStatement* statement, unsigned int element);
  // The memo's value comes from the file when next read. TRUE.
  virtual BOOL bHAttacheMemo(const wchar_t* path);
  // Writes the memo's value to the file (an empty file for NULL); error 15 when it cannot open.
  virtual BOOL bHExtraitMemo(const wchar_t* path);
  virtual BOOL bGetBLOB(CAny* out) { return bGetCurrentValue(out, 0); }
  // Whether a statement fetches (define) or writes (bind) this column for the mode given: never a
  // composite key, always a plain column, a memo by mode bit 1 (define) or bit 0 (bind).
  virtual BOOL bMustDefine(unsigned int mode);
  virtual BOOL bMustBind(unsigned int mode);
  virtual BOOL bGetCacheValue(CAny* out, unsigned int flags) { return bGetCurrentValue(out, flags); }
  // The converter, no reference; null before bInitVariant.
  virtual CNAConvertVariant* pclGetNAValue() const { return m_pclValue; }
  // A copy of the converter for the caller (not referenced); null without one.
  virtual CNAConvertVariant* pclGetVariantClone() const;
  // Forgets the memo state and takes original's value (NULL without one). TRUE.
  virtual BOOL bRestaureOriginalValue(CNAConvertVariant* original);

  // ---- The item ----
  // With an external reference for the caller.
  INAItemDescription* piGetItem() const;
  INAItemDescription* piGetItemNoRef() const { return m_piItem; }
  // The item's element 0 as every row read uses it, read on first use: the item is the column's
  // for its life.
  const STItemSlot& Slot() {
    if (!m_stSlot.bRead) m_stSlot.Read(m_piItem);
    return m_stSlot;
  }
  CNAItemDescription* piGetImportedItemDescNoRef() const { return m_pclImported; }
  CNARecord* pclGetRecordNoRef() const { return m_pclRecord; }
  const wchar_t* pszGetName() const;
  // The name in the source when it has one, else the item's name.
  const wchar_t* pszGetOriginalName() const;
  const wchar_t* pszGetSourceName() const;
  unsigned int nGetPhysicalIndice() const;
  BOOL bIsComposedKey() const;
  BOOL bIsMemo() const;
  BOOL bIsMemoText() const;
  BOOL bIsMemoBin() const;
  BOOL bLiteral() const;
  int nGetIntegerPart() const;
  int nGetDecimalPart() const;
  eNA_ITEMTYPE eNAGetItemType() const;
  BOOL bGetDescendantComponent(int n) const;
  unsigned int nGetItemSize() const;
  unsigned int nGetValueSize() const { return nGetItemSize(); }
  unsigned int nGetLogicalSize() const;
  // -1 without an imported description.
  int nGetLogicalSizeOnDatabase() const;
  BOOL bIsMemoDB() const;
  eNA_ITEMTYPE eNAGetItemTypeOnDatabaseEx() const;
  // The imported item's database type as an item type; 0 without one or when the server does
  // not know it.
  eNA_ITEMTYPE eNAGetItemTypeOnDatabase() const;
  int nGetDBType() const;
  BOOL bBinaryString() const { return eNAGetItemType() == NA_IT_BINAIRE; }
  // A text item (memo texts included), which the server compares under a collation.
  BOOL bComparedByCollation() const {
    const eNA_ITEMTYPE t = eNAGetItemType();
    return t == NA_IT_TEXTE || t == NA_IT_MEMOTEXTE || t == NA_IT_CHAR || t == NA_IT_UNICODE || t == NA_IT_MEMOUNICODE;
  }
  BOOL bIsIdAuto() const;
  // The imported item's flag; the item's own without one.
  BOOL bUpdatable() const;
  BOOL bIsUnique() const;
  BOOL bUnique() const;
  BOOL bPrimary() const;
  BOOL bGetIgnoreCase(int n) const;
  BOOL bUniqueNotNull() const;
  BOOL bIsNullable() const;
  // The imported item's flag; for a composite key without one, FALSE when no part is nullable
  // on the database, else the item's own.
  BOOL bIsNullableOnDataBase() const;
  unsigned short eGetZVType() const;

  // ---- The record ----
  CNAConnectionDescription* pclGetCnx() const;
  BOOL bSourceIsQuery() const;
  const wchar_t* pszGetTableName() const;
  CSQLParserInfo* pclGetSourceQueryNoRef() const;
  // 0, or for a query source the item's calculation kind.
  int eGetTypeColonne() const;
  // Position in the record's memo columns, -1 when absent.
  int nGetMemoIndice() const;
  // Address of the item's bytes in record's current buffer (this column's record when null).
  BYTE* pGetValuePtr(CNARecord* record = nullptr) const;

  // ---- Composite keys ----
  // Null for a column that is no composite key.
  CRefArray<CNAColumn>* pclGetTabComponent() const { return m_pTabComponent; }
  // Appends a component with a reference. FALSE without memory.
  BOOL AddCompositeKey(CNAColumn* component);
  // Whether column is the record's column of one of this item's components.
  BOOL bIsComposedKeyComponent(CNAColumn* column) const;

  // ---- Names ----
  // The item name and the original name quoted by the record's connection.
  BOOL bFormatName();
  const wchar_t* pszGetFormatedName() const { return m_csFormatedName.pszGet(); }
  const wchar_t* pszGetFormatedOriginalName() const { return m_csFormatedOriginalName.pszGet(); }
  // withName != 0: the formatted name; else for a query source the formatted table alias (or the
  // item's source table formatted) and ".", then the formatted original name. Valid until the
  // next call or a change of the column's names.
  const wchar_t* pszGetFormatedSelectName(int withName);

  // ---- Converters ----
  // Types converter for hostType (0: the item's) with both descriptions; the descriptions make
  // its type the item's. TRUE.
  BOOL bInitVariant_NV_Any(CNAError* error, CNAConvertVariant* converter, unsigned short hostType);
  BOOL bValueIsUnreadYet() const;
  // The converter's NULL flag follows the defined bit, then the converter's own preparation.
  BOOL bConvertDataToDB();

  // ---- Values ----
  BOOL bSetValueNULL();
  // A value bound for the server: a plain column's converter takes it; a memo follows the memo
  // rules (stored only when it changed).
  BOOL bSetValueToDB(const CAny* value, unsigned int flags);
  BOOL bNull() const;
  // NULL, or a value the server would take as none: an empty date or date-time, and on dialect 1
  // an empty text or binary (an empty text stays a value in a NOT NULL column).
  BOOL bNullOrEquivalent(const CAny* value) const;
  BOOL bNullOrEquivalent(const CNAVariant* value) const;
  BOOL bNullOrEquivalent();
  void SetNotModified();
  // A memo value left on the server: NULL, kind 2, the item defined in the current record.
  void SetValueIsUnreadYet();
  void _SetItemValueDefinedInKJRecord(BOOL defined, int element);
  BOOL bMemoModified() const { return m_bMemoModified; }
  const wchar_t* pszGetAttachedMemoFile() const { return m_csMemoFile.pszGet(); }

  // Whether value counts as NULL for a memo: none, or its NULL flag (an empty memo is a value).
  static BOOL _bMemoValueNULL(const CAny* value);

 protected:
  // buffer (size bytes) = the components' values one after the other, each in its width: total
  // size, less 1 for TEXTE and 2 for UNICODE; zero-filled. FALSE when a component cannot be read.
  BOOL _bGetComposedKeyValue(unsigned char* buffer, unsigned int size);
  BOOL _bGetValue(const CNAKJRecord* record, CAny* out) const;
  // The attached file becomes the memo's value: a Unicode memo's file is its text in UTF-8 (as
  // extracted), a text memo's its text in the host's page, a binary memo's its bytes. FALSE
  // with the loader's error.
  BOOL _bLoadMemoFile();
  enum eNULLTEST { NA_NULLTEST_NEVER, NA_NULLTEST_DATETIME, NA_NULLTEST_VALUE };
  eNULLTEST _eNullTest() const;
  BOOL _bSetValueMemoToDB(const CAny* value, unsigned int flags);
  CNAKJRecord* _pclCurrentKJ() const;
  CNAKJRecord* _pclOriginalKJ() const;
  // The converter's NULL flag from the current record's bit.
  void _SyncNullWithRecord();

  INAItemDescription* m_piItem;
  CNAItemDescription* m_pclImported = nullptr;
  CNAError* m_pclError;
  CTString m_csFormatedName;
  CNARecord* m_pclRecord = nullptr;
  CRefArray<CNAColumn>* m_pTabComponent = nullptr;
  CTString m_csAliasNomTable;
  CTString m_csFormatedAliasNomTable;
  CTString m_csFormatedOriginalName;
  CTString m_csFormatedSelectName;
  CNAConvertVariant* m_pclValue = nullptr;
  // The item's element 0 as every row read marks it; filled on first use.
  STItemSlot m_stSlot;
  int32_t m_bMemoModified = 0;
  CTString m_csMemoFile;
};

class CNASQLColumn : public CNAColumn {
 public:
  using CNAColumn::CNAColumn;
  // The fetched row's value of the item's physical index into the converter, then the item's
  // defined bit from its NULL state; a memo whose read fails becomes NULL. The statement's answer.
  BOOL bSetValueFromDB(CNAStatement* statement, unsigned int element) override;
};
