// CNAItemDescription: the driver's description of one item (column) or key, behind the host's
// INAItemDescription: its names, its storage in the host record (type, element size, dimension,
// offset), its key kind, its constraints and its default value. Also the storage-size rule of
// the host record, the item type of a numeric format and the compatibility test of two items.
//
// A description is shared through two counts: the internal one (the driver's own holders:
// component arrays, columns, data-source arrays) and the external one (the host, and reference
// arrays of descriptions). A release at 0 returns 0 and changes nothing; the description deletes
// itself once, when a release leaves both counts at 0. It holds an internal reference on each
// component of a composite key. A new description has both counts at 0.
//
// Operations taking an INAItemDescription* work through the interface only, so the host's own
// descriptions are accepted as well as the driver's.
#pragma once

#include <cstdint>

#include "common/ctstring.h"
#include "common/refpolicy.h"
#include "common/ttableau.h"
#include "sql/inaitemdescription.h"
#include "values/any.h"

class CNAConnectionDescription;
class CNADataSourceDescription;
class IInfoRubrique;

// Key flags.
enum : unsigned short {
  NA_KEY_PRIMARY = 0x8000,
  NA_KEY_UNIQUE = 0x4000,
  NA_KEY_DUPLICATES = 0x2000,
  NA_KEY_COMPOSED = 0x1000,
  NA_KEY_ASCENDANT = 0x0800,
  NA_KEY_DESCENDANT = 0x0400,
  NA_KEY_IGNORECASE = 0x0080,
  NA_KEY_IGNOREPUNCTUATION = 0x0040,
  NA_KEY_IGNOREACCENT = 0x0020,
};
// Item flags.
enum : uint32_t {
  NA_ITEM_AUTOINCREMENT = 0x1,
  NA_ITEM_NOTNULL = 0x2,
  NA_ITEM_NOTUPDATABLE = 0x4,
  NA_ITEM_SPACEPADDING = 0x8,
  NA_ITEM_VARIABLESCALE = 0x10,
  // A text column whose character set holds no character above U+FFFF (ucs2, 3-byte UTF-8).
  NA_ITEM_BMPONLY = 0x20,
  // A BIT column: the server compares it as a number, never as the binary string its bytes make.
  NA_ITEM_BIT = 0x40,
  // A text column whose character set holds characters code page 1252 cannot (every set but
  // latin1, ascii and binary): a '?' read on a 1252 connection may stand for a character lost.
  NA_ITEM_WIDETEXT = 0x80,
  // An ENUM or SET column: the server orders it by member number, not by its text.
  NA_ITEM_ENUMSET = 0x100,
  // A binary string column (BINARY, VARBINARY, BLOB, the binary character set): its bytes are
  // compared as they are, their length included.
  NA_ITEM_BINARY = 0x200,
  // What the server's description of a column says beyond its item type (SetServerFacts).
  NA_ITEM_SERVERFACTS = NA_ITEM_BMPONLY | NA_ITEM_BIT | NA_ITEM_WIDETEXT | NA_ITEM_ENUMSET | NA_ITEM_BINARY,
};

// Sort direction of a key: 0 ascending, any other value descending.
enum eSENSTRI : int {
  NA_SENS_ASCENDANT = 0,
  NA_SENS_DESCENDANT = 1,
};

class CNAItemDescription : public INAItemDescription {
 public:
  // How a clone differs from its source (bits).
  enum eCLONEDESC : int {
    // An item without key flags that is no memo text becomes a key with duplicates.
    NA_CLONE_KEYDUPLICATES = 1,
    // Dates and date-times become texts with an empty text as default.
    NA_CLONE_DATEASTEXT = 2,
  };

  CNAItemDescription();
  CNAItemDescription(const CNAItemDescription&) = delete;
  CNAItemDescription& operator=(const CNAItemDescription&) = delete;

  // ---- INAItemDescription ----
  int nGetVersion() const override { return 9; }
  int nGetCompatSince() const override { return 1; }
  INAItemDescription* ExternalAddRef() override;
  int nExternalRelease() override;
  const wchar_t* pszGetName() const override { return m_csName.pszGet(); }
  unsigned int nGetDimension() const override { return m_nDimension; }
  unsigned int nGetItemSize() const override { return m_nItemSize; }
  unsigned int nGetLogicalSize(int element) const override;
  unsigned int nGetTotalSize() const override { return m_nDimension * m_nItemSize; }
  eNA_ITEMTYPE eNAGetItemType() const override { return m_eType; }
  unsigned int nGetPhysicalIndice() const override { return m_nPhysicalIndice; }
  BOOL bIsKey() const override { return (m_wKeyFlags & 0xF000) != 0; }
  BOOL bMemo() const override { return g_bIsMemo(m_eType); }
  BOOL bMemoText() const override { return g_bIsMemoText(m_eType); }
  BOOL bMemoBinary() const override { return g_bIsMemoBinary(m_eType); }
  BOOL bNumerical() const override;
  BOOL bLiteral() const override { return m_eType == NA_IT_TEXTE; }
  int nGetKeyIndice() const override { return m_nKeyIndice; }
  int nGetNumComponents() const override { return m_tabComponents.nGetCount(); }
  BOOL bPrimary() const override { return (m_wKeyFlags & NA_KEY_PRIMARY) != 0; }
  BOOL bUnique() const override { return (m_wKeyFlags & (NA_KEY_PRIMARY | NA_KEY_UNIQUE)) != 0; }
  BOOL bDuplicates() const override { return (m_wKeyFlags & NA_KEY_DUPLICATES) != 0; }
  BOOL bIsComposedKey() const override { return (m_wKeyFlags & NA_KEY_COMPOSED) != 0; }
  BOOL bGetAscendant(int component) const override { return bIsKey() && !bGetDescendant(component); }
  BOOL bGetDescendant(int) const override { return (m_wKeyFlags & NA_KEY_DESCENDANT) != 0; }
  BOOL bGetIgnoreCase(int) const override { return (m_wKeyFlags & NA_KEY_IGNORECASE) != 0; }
  BOOL bGetIgnorePunctuation(int) const override { return (m_wKeyFlags & NA_KEY_IGNOREPUNCTUATION) != 0; }
  BOOL bGetIgnoreAccent(int) const override { return (m_wKeyFlags & NA_KEY_IGNOREACCENT) != 0; }
  INAItemDescription* piGetItemComponent(int n) override;
  // -1 until the item is laid out, and for an element whose offset does not fit.
  int nGetOffset(int element) const override;
  int nGetSubItemRecordIndice(int element) const override;
  const CAny* pclGetDefaultValue() const override { return &m_clDefaultValue; }
  const wchar_t* pszGetExtendedInfo() const override { return m_csExtendedInfo.pszGet(); }
  const wchar_t* pszGetCaption() const override { return m_csCaption.pszGet(); }
  const wchar_t* pszGetDBType() const override { return m_csDBType.pszGet(); }
  const wchar_t* pszGetXBaseIndexPath() const override { return nullptr; }
  const wchar_t* pszGetXBaseKeyExpression() const override { return nullptr; }
  int nGetIntegerPart() const override { return m_nIntegerPart; }
  int nGetDecimalPart() const override { return m_nDecimalPart; }
  const wchar_t* pszGetNameInSource() const override { return m_csNameInSource.pszGet(); }
  const wchar_t* pszGetSourceName() const override { return m_csSourceName.pszGet(); }
  unsigned int nGetKeySize() const override { return 0; }
  void SetKeySize(unsigned int) override {}
  unsigned int nGetComponentKeySize(int) const override { return 0; }
  void SetComponentKeySize(unsigned int, int) override {}
  BOOL bUpdatable() const override { return (m_dwFlags & NA_ITEM_NOTUPDATABLE) == 0; }
  void SetUpdatable(int updatable) override { SetFlag(NA_ITEM_NOTUPDATABLE, updatable == 0); }
  void* piGetPrimaryLink(INAContext*, INADataSourceDescription**) override { return nullptr; }
  void* piGetForeignLink(unsigned int, INAContext*, INADataSourceDescription**) override { return nullptr; }
  unsigned int nGetNumForeignLink() const override { return 0; }
  const wchar_t* pszGetUnicodeLocale() const override { return nullptr; }
  BOOL vbConstraintNullAllowed() const override { return (m_dwFlags & NA_ITEM_NOTNULL) == 0; }

  // ---- After the interface ----
  virtual ~CNAItemDescription();
  virtual void SetIntegerPart(int n) { m_nIntegerPart = n; }
  virtual void SetDecimalPart(int n) { m_nDecimalPart = n; }
  // A copy (the driver's factory, count 0) for target: every field, its key index the target's
  // next (-1 for an item that is no key), its components the target's items of their names.
  // Null when the factory makes none.
  virtual CNAItemDescription* pclGetCloneItemDescription(CNADataSourceDescription* target, eCLONEDESC mode);

  // ---- Counts ----
  void AddRef() { ++m_nRef; }
  // The internal count left (see the header).
  int nRelease();
  int nGetRef() const { return static_cast<int>(m_nRef); }
  int nGetExternalRef() const { return static_cast<int>(m_nExternalRef); }

  // ---- Filling ----
  // Type 0 becomes TEXTE of size 1; a DECIMAL whose format calls for a real becomes R8; a memo
  // gets size 8; automatic identifiers are not nullable; the default value becomes a NULL value
  // of the item's host type. TRUE.
  BOOL bInit(const wchar_t* name, const wchar_t* sourceName, const wchar_t* nameInSource, unsigned int dimension,
             unsigned int size, eNA_ITEMTYPE type, unsigned int physical, int keyIndex, unsigned short keyFlags,
             int integerPart, int decimalPart);
  BOOL bSetName(const wchar_t* name) {
    m_csName = name;
    return TRUE;
  }
  BOOL bSetKey(int keyIndex, unsigned short keyFlags) {
    m_nKeyIndice = keyIndex;
    m_wKeyFlags = keyFlags;
    return TRUE;
  }
  BOOL bSetKeyIndice(int keyIndex) {
    m_nKeyIndice = keyIndex;
    return TRUE;
  }
  void SetSensTri(eSENSTRI sens);
  void SetIgnoreCase(int ignore) { SetKeyFlag(NA_KEY_IGNORECASE, ignore != 0); }
  void SetNullable(int nullable) { SetFlag(NA_ITEM_NOTNULL, nullable == 0); }
  BOOL bNullable() const { return (m_dwFlags & NA_ITEM_NOTNULL) == 0; }
  void SetNotUpdatable() { SetUpdatable(0); }
  // I8 and UI8 become IDAUTO, I4 and UI4 become IDAUTO4.
  void SetAutoIncrement();
  BOOL bAutoIncrement() const { return (m_dwFlags & NA_ITEM_AUTOINCREMENT) != 0; }
  void SetSpacePadding() { SetFlag(NA_ITEM_SPACEPADDING, true); }
  BOOL bSpacePadding() const { return (m_dwFlags & NA_ITEM_SPACEPADDING) != 0; }
  void SetVariableScale() { SetFlag(NA_ITEM_VARIABLESCALE, true); }
  BOOL bGetVariableScale() const { return (m_dwFlags & NA_ITEM_VARIABLESCALE) != 0; }
  // The server's facts of the column (NA_ITEM_SERVERFACTS bits of facts; the others are ignored),
  // in place of those it held.
  void SetServerFacts(uint32_t facts) {
    m_dwFlags = (m_dwFlags & ~static_cast<uint32_t>(NA_ITEM_SERVERFACTS)) | (facts & NA_ITEM_SERVERFACTS);
  }
  uint32_t dwGetServerFacts() const { return m_dwFlags & NA_ITEM_SERVERFACTS; }
  BOOL bBmpOnly() const { return (m_dwFlags & NA_ITEM_BMPONLY) != 0; }
  BOOL bBit() const { return (m_dwFlags & NA_ITEM_BIT) != 0; }
  BOOL bWideText() const { return (m_dwFlags & NA_ITEM_WIDETEXT) != 0; }
  BOOL bEnumSet() const { return (m_dwFlags & NA_ITEM_ENUMSET) != 0; }
  BOOL bBinaryText() const { return (m_dwFlags & NA_ITEM_BINARY) != 0; }
  int nGetPrecision() const { return m_nIntegerPart + m_nDecimalPart; }
  int nGetScale() const { return m_nDecimalPart; }
  unsigned short eGetItemZVType() const { return ConverteItemToZVType(m_eType); }
  unsigned short wGetKeyFlags() const { return m_wKeyFlags; }
  // The server's type code of the column; 0 for none.
  int nGetDBType() const { return m_nDBType; }
  void SetDBType(const wchar_t* name, int code) {
    m_csDBType = name;
    m_nDBType = code;
  }
  // The item type when the column has a server type code the connection knows; else 0.
  eNA_ITEMTYPE eNAGetDBType(const CNAConnectionDescription* cnx) const;
  // 0 for a plain column; a calculated query column's kind otherwise.
  int nGetCalculation() const { return m_nCalculation; }
  // A query's item whose type the host's parse worked out (a calculated column, or one the host
  // describes no source of), set as the query's description is completed from the parse: the
  // server's result may retype it. A plain column keeps the type the host gives its source.
  BOOL bQueryTyped() const { return m_bQueryTyped ? TRUE : FALSE; }
  // The physical table a query column comes from; empty when unknown.
  const wchar_t* pszGetPhysicalSourceTable() const { return m_csPhysicalSourceTable.pszGet(); }
  // The column's place in the server's table as a backend knows it; -1 when none set it.
  int nGetPhysicalIndiceDB() const { return m_nSecondaryIndice; }
  void SetPhysicalIndiceDB(int n) { m_nSecondaryIndice = n; }
  // Copies the value into the default value, then converts it to the item's host type (a value
  // that does not convert is kept as it is).
  void SetDefaultValue(const CAny* value, int unused);

  // ---- Changing the type ----
  BOOL bChangeTypeMemo(eNA_ITEMTYPE type);
  // Dimension, size, type and database type text of other; the database type code becomes 0.
  // Without keepAuto automatic identifiers become plain integers. The parts follow the new type,
  // and the default value is converted to it (one that does not convert becomes an empty value
  // of the new type, NULL when it was). TRUE; FALSE without other.
  BOOL bChangeType(INAItemDescription* other, int keepAuto);
  // The same, and the database type code of other.
  BOOL bChangeType(CNAItemDescription* other, int keepAuto);
  // bChangeType(other, keepKeyKind), then the texts, the names in source and, when other is a
  // key, key flags rebuilt from other (unique only with keepKeyKind) and the key index given.
  BOOL bCompleteDescription(INAItemDescription* other, int keepKeyKind, unsigned int keyIndex);
  // A calculated query column: named in itself, from no source, of the column's host type and
  // size (a text, Unicode text or binary item of a memo column of its kind stays as it is). TRUE.
  BOOL bCompleteDescriptionCalcul(IInfoRubrique* column);
  // Appends a component with an internal reference; a composite key grows by its logical size
  // (doubled for UNICODE). FALSE, nothing kept, without a component or memory.
  BOOL bAddComponent(CNAItemDescription* component);
  // Whether this item can hold the values of other; ansiFold compares wide texts as ANSI ones,
  // laxDate lets date and time items take date-times.
  BOOL bTypeMatch(const INAItemDescription* other, int ansiFold, int laxDate) const;

  // ---- Type rules ----
  // Bytes of one element in the host record; 0 for types without storage and above 31.
  static unsigned int s_nGetKJSize(eNA_ITEMTYPE type, unsigned int length, int precision);
  // Item type and element size for a number of integer and decimal digits.
  static void s_GetTypeFromFormat(int integerPart, int decimalPart, eNA_ITEMTYPE* type, unsigned int* size);
  // Digits and decimals a host value type holds; FALSE for types that are not fixed-point.
  static BOOL s_bGetDecimalInfo(unsigned short zvType, int* digits, int* decimals);
  // UNICODE becomes TEXTE of half the size, MEMOUNICODE becomes MEMOTEXTE.
  static void s_Type2Ansi(eNA_ITEMTYPE* type, unsigned int* size);
  static BOOL g_bIsMemo(eNA_ITEMTYPE type) { return g_bIsMemoText(type) || g_bIsMemoBinary(type); }
  static BOOL g_bIsMemoText(eNA_ITEMTYPE type) { return type == NA_IT_MEMOTEXTE || type == NA_IT_MEMOUNICODE; }
  static BOOL g_bIsMemoBinary(eNA_ITEMTYPE type) { return type == NA_IT_MEMOBINAIRE; }
  // Whether item is one of key's components (the same object).
  static BOOL bIsComponentOf(INAItemDescription* key, INAItemDescription* item);

 private:
  // The data-source description lays its items out (offset, first sub-item index).
  friend class CNADataSourceDescription;

  void SetFlag(uint32_t flag, bool on) { m_dwFlags = on ? (m_dwFlags | flag) : (m_dwFlags & ~flag); }
  void SetKeyFlag(unsigned short flag, bool on) {
    m_wKeyFlags = static_cast<unsigned short>(on ? (m_wKeyFlags | flag) : (m_wKeyFlags & ~flag));
  }
  // Deletes the description when both counts are 0.
  void _DeleteIfFree();
  // The default value converted to the item's host type; one that does not convert becomes an
  // empty value of that type, NULL when it was.
  void _UpdateDefaultValueType();

  CTString m_csName;
  CTString m_csExtendedInfo;
  CTString m_csCaption;
  CTString m_csDBType;
  int32_t m_nDBType = 0;
  uint32_t m_nDimension = 0;
  uint32_t m_nItemSize = 0;
  int32_t m_nKeyIndice = 0;
  eNA_ITEMTYPE m_eType = NA_IT_EMPTY;
  uint32_t m_nPhysicalIndice = 0;
  int32_t m_nSecondaryIndice = -1;
  uint16_t m_wKeyFlags = 0;
  uint32_t m_nRef = 0;
  uint32_t m_nExternalRef = 0;
  int32_t m_nOffset = -1;
  int32_t m_nSubItemIndice = -1;
  CAny m_clDefaultValue;
  int32_t m_nIntegerPart = 0;
  int32_t m_nDecimalPart = 0;
  CTString m_csSourceName;
  CTString m_csNameInSource;
  CTString m_csPhysicalSourceTable;
  int32_t m_nCalculation = 0;
  bool m_bQueryTyped = false;
  uint32_t m_dwFlags = 0;
  CTTableauPtr<CNAItemDescription> m_tabComponents;
};

// Reference arrays of descriptions hold external references.
template <>
struct CRefPolicy<CNAItemDescription> {
  static void AddRef(CNAItemDescription* p) { p->ExternalAddRef(); }
  static void Release(CNAItemDescription* p) { p->nExternalRelease(); }
};
