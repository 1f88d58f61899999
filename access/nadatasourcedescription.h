// CNADataSourceDescription: the driver's description of a table or a query result as the host
// sees a file, behind INADataSourceDescription: its names, record sizes and its lists of items
// (composite keys included, in physical order), keys (in key-index order) and memos. It is built
// from the database (the backend's four import steps), from an executed statement (one item per
// result column), or completed from the host's parsed query; it also clones itself, answers
// lookups and tells whether another description's items all exist here.
//
// Ownership: it holds a count on its error object and a reference on its connection (given back
// through the driver), an external reference on each item in each list it is in (the same item
// object is shared between the item list and the key or memo list), and one external reference
// on its best parse item once chosen. Two counts keep it: the internal one (the driver's layers)
// and the external one (the host). A release at 0 changes nothing; the release that leaves both
// counts at 0 deletes it.
//
// Invariants the adding operations keep: item names are unique (case and accents ignored); an
// item's physical index is its place in the item list and a key's key index its place in the key
// list. Offsets and sizes hold only after UpdateRecordSize, which the statement and parser roads
// and the clone run and the database road does not.
//
// Index getters answer null (FALSE) at or past their count: the host passes any number. Errors go
// into the description's error object with its connection, and are dropped without one. Every
// entry runs under the driver mutex.
#pragma once

#include <cstdint>

#include "common/ctstring.h"
#include "common/refarray.h"
#include "driver/inadatasourcedescription.h"
#include "sql/naitemdescription.h"

class CNAConnectionDescription;
class CNAError;
class CNAStatementSQL;
class CSQLParserInfo;
class IInfoRubrique;
template <typename T>
class CXYStringConcat;

// How a description was built.
enum eNA_DESCORIGIN : int32_t {
  NA_DESC_NEW = 0,
  NA_DESC_DATABASE = 1,
  NA_DESC_STATEMENT = 2,
};

class CNADataSourceDescription : public INADataSourceDescription {
 public:
  // Counts 0; a count taken on error and a reference on cnx (either may be null).
  CNADataSourceDescription(CNAConnectionDescription* cnx, CNAError* error);
  CNADataSourceDescription(const CNADataSourceDescription&) = delete;
  CNADataSourceDescription& operator=(const CNADataSourceDescription&) = delete;

  // ---- INADataSourceDescription ----
  int nGetVersion() const override { return 6; }
  int nGetCompatSince() const override { return 1; }
  INADataSourceDescription* ExternalAddRef() override;
  int nExternalRelease() override;
  const wchar_t* pszGetLogicalName() const override { return m_csLogicalName.pszGet(); }
  const wchar_t* pszGetPhysicalName() const override { return m_csLogicalName.pszGet(); }
  const wchar_t* pszGetDefaultDirectory() const override { return L""; }
  int nGetDiskRecordSize() const override { return m_nDiskRecordSize; }
  int nGetMemoryRecordSize() const override { return m_nMemoryRecordSize; }
  int nGetNumItems() const override { return m_tabItem.nGetCount(); }
  int nGetNumKeys() const override { return m_tabKey.nGetCount(); }
  int nGetNumMemos() const override { return m_tabMemo.nGetCount(); }
  int nGetNumItemPhysicallyInFic() const override { return nGetNumItems(); }
  // pclNAGetItem(name, 2).
  INAItemDescription* piNAGetItem(const wchar_t* name) override;
  INAItemDescription* piNAGetItem(unsigned int i) override;
  INAItemDescription* piNAGetKey(unsigned int i) override;
  INAItemDescription* piNAGetMemo(unsigned int i) override;
  eNA_SUBDATATYPE eGetNASubDataType() const override { return static_cast<eNA_SUBDATATYPE>(1); }
  const wchar_t* pszGetDBTableName() const override { return m_csDBTableName.pszGet(); }
  // Chosen on the first call and kept: the first primary key, else the first unique key that
  // allows no NULL, else the first unique key, else key 0; without keys the first item that is
  // no memo, else item 0; null without items.
  INAItemDescription* piGetBestParseItemDesc() override;
  const wchar_t* pszGetExtendedInfo() const override { return m_csExtendedInfo.pszGet(); }
  const wchar_t* pszGetType() const override { return m_csType.pszGet(); }
  const wchar_t* pszGetOwner() const override { return m_csOwner.pszGet(); }
  const wchar_t* pszGetDefaultDatabase() const override;
  const wchar_t* pszGetExtension() const override { return nullptr; }
  const wchar_t* pszGetCaption() const override { return nullptr; }
  BOOL bGetNullSupported() const override { return TRUE; }

  // ---- The class's own virtual operations, in their order ----
  // Gives the connection back, the error, the best parse item, then every memo, key and item.
  virtual ~CNADataSourceDescription();
  // pclNAGetItemNoRef with an external reference.
  virtual CNAItemDescription* pclNAGetItem(const wchar_t* name, int mode);
  // Whether every item of other but its composite keys is here by name (trailing blanks
  // ignored); the first missing one raises user error 20.
  virtual BOOL bAreDescriptionCompatible(INADataSourceDescription* other);
  // out = base followed by n.
  virtual void MakeNewName(CTString* out, const wchar_t* base, int n);
  // A new description of the backend's class (count 0) with this one's names, sizes and items
  // cloned in physical order; null, the no-memory error raised, when it cannot be made whole.
  virtual CNADataSourceDescription* pclGetCloneDataSourceDescription(CNAItemDescription::eCLONEDESC mode);
  // The items, then the keys, from the server.
  virtual BOOL _bGetDataSourceInfo(int option);
  // The backend's import steps: query texts and the reading of their results. The generic ones
  // answer FALSE.
  virtual BOOL _bGetQueryShowColumns(CXYStringConcat<wchar_t>* query);
  virtual BOOL _bInitItemFromQueryShowColumns(CNAStatementSQL* statement);
  virtual BOOL _bGetQueryShowIndex(CXYStringConcat<wchar_t>* query);
  virtual BOOL _bInitKeysFromQueryShowIndex(CNAStatementSQL* statement);
  // The items of a statement's columns that are a table's own take the facts the table's own
  // description gives where the result's columns do not tell them (a column's character set).
  // The generic one does nothing. FALSE with the error when the server could not be asked.
  virtual BOOL _bCompleteServerFacts(CNAStatementSQL* statement);

  // ---- Counts ----
  void AddRef() { ++m_nRef; }
  int nRelease();
  int nGetRef() const { return static_cast<int>(m_nRef); }
  int nGetExternalRef() const { return static_cast<int>(m_nExternalRef); }

  // ---- Building ----
  // Names set to name, origin 1, then the import; FALSE with the reason in the error object.
  BOOL bInitDataSourceDescriptionFromDB(const wchar_t* name, int option);
  // One item per result column, named after the statement's address when the description has no
  // name; then laid out. The items made before a failing column stay.
  BOOL bInitDataSourceDescriptionFromStatement(CNAStatementSQL* statement);
  // Completes item i from SELECT column i, makes the items past the count, applies the ORDER BY
  // (an entry naming no item is skipped) and lays the record out whatever happened.
  BOOL bCompleteDescription(CSQLParserInfo* parser);
  void SetLogicalName(const wchar_t* name) { m_csLogicalName = name; }
  void SetDBName(const wchar_t* name) { m_csDBTableName = name; }
  // A new item of the driver's factory (physical -1: the next place) filled by bInit and added.
  // FALSE with the no-memory error when none is made.
  BOOL bAddItem(const wchar_t* name, const wchar_t* sourceName, const wchar_t* nameInSource, unsigned int dimension,
                unsigned int size, eNA_ITEMTYPE type, int physical, int keyIndex, unsigned short keyFlags,
                int integerPart, int decimalPart);
  // Offsets, sub-item indexes and the three sizes from the items in physical order; a composite
  // key has a place in the memory record only.
  void UpdateRecordSize();
  eNA_DESCORIGIN eGetOrigin() const { return m_eOrigin; }
  CNAConnectionDescription* pclGetConnectionNoRef() const { return m_pclConnection; }
  CNAError* pclGetErrorNoRef() const { return m_pclError; }

  // ---- For backends ----
  // Names it (Expr<1000 + sub-items> without a name, a number after a name in use), places it by
  // its physical index (-1: appended as the next, 0 while items exist: first), lists it among the
  // keys and memos it is. FALSE, nothing kept, without memory.
  BOOL _AddItem(CNAItemDescription* item);
  // Key index -1: the next; 0 while keys exist: first; else appended as it is.
  BOOL _AddKey(CNAItemDescription* item);
  // A key is never weakened: a primary item is left alone, and an item already a key keeps its
  // kind when it is the stronger (primary, then unique, then duplicates) and gains the new
  // flags' other bits. An item not yet a key becomes the next key. FALSE without such an item.
  BOOL _bSetKeyType(const wchar_t* name, unsigned short flags);
  BOOL _bSetKeyType(CNAItemDescription* item, unsigned short flags);
  BOOL _bSetKeyType(int i, unsigned short flags);
  // Appends the item of that name (or place) as composite's next component; FALSE without it.
  BOOL _bAddItemComponent(CNAItemDescription* composite, const wchar_t* name);
  BOOL _bAddItemComponent(CNAItemDescription* composite, int i);

  // ---- Lookups ----
  // The first item of that name, case and accents ignored; mode bit 0 cuts trailing blanks from
  // both names first. No reference.
  CNAItemDescription* pclNAGetItemNoRef(const wchar_t* name, int mode) const;
  // Item i, key i, memo i without a reference; null at or past the count.
  CNAItemDescription* pclGetItemNoRef(int i) const;
  CNAItemDescription* pclGetKeyNoRef(int i) const;
  CNAItemDescription* pclGetMemoNoRef(int i) const;
  // The first key of that name (trailing blanks ignored), with an external reference.
  INAItemDescription* piNAGetKey(const wchar_t* name);
  // The first item whose database physical index is n, with an external reference.
  CNAItemDescription* pclNAGetItemByPhysicalIndiceDB(unsigned int n);
  // pclNAGetItem(name, 2); none raises user error 26 (database table name, name).
  CNAItemDescription* pclNAGetCorrespondingItem(const wchar_t* name);
  // Replaces the best parse item (an external reference kept on item, which must not be null).
  void _SetBestParseItem(INAItemDescription* item);
  void _SetBestParseItem(const wchar_t* name);
  // The item type of a host item type code (a literal 42-entry table; past it, memo text).
  static eNA_ITEMTYPE g_eGetNAItemType(int hostType);

 protected:
  // The statement's columns as items (physical index = column, key index counted over columns
  // with key flags); the items added before a failing column stay.
  BOOL _bInitItems(CNAStatementSQL* statement);
  // The column query, its run, its reading; user error 30 when it yields no item.
  BOOL _bImportItems();
  BOOL _bImportIndex();
  // Completes item i from SELECT column i, or adds the column as a new item.
  BOOL _bCompleteItemDescription(CSQLParserInfo* parser, int singleTable, IInfoRubrique* column, int i);
  // The physical table a query item comes from. TRUE.
  BOOL _bCompleteItemDescription(CNAItemDescription* item, CSQLParserInfo* parser, IInfoRubrique* column);
  // A new item (the driver's factory) from the host's item of a SELECT column; its key kind by the
  // number of tables (a unique key of a query over several is one with duplicates).
  BOOL _bAjouteItemDescription(INAItemDescription* host, CSQLParserInfo* parser, IInfoRubrique* column,
                               int singleTable);
  void _NoMemory();

  CNAError* m_pclError;
  CNAConnectionDescription* m_pclConnection;

 private:
  // Runs the query the text step writes and hands its statement to the reading step.
  BOOL _bImport(BOOL (CNADataSourceDescription::*text)(CXYStringConcat<wchar_t>*),
                BOOL (CNADataSourceDescription::*read)(CNAStatementSQL*));
  // Deletes the description when both counts are 0.
  void _DeleteIfFree();
  // The first place of item in list; -1 when absent.
  static int _nFind(const CRefArray<CNAItemDescription>& list, const CNAItemDescription* item);
  // Every key from first on takes its place as key index.
  void _RenumberKeys(int first);

  uint32_t m_nRef = 0;
  uint32_t m_nExternalRef = 0;
  CTString m_csLogicalName;
  CTString m_csDBTableName;
  CTString m_csExtendedInfo;
  CTString m_csType;
  CTString m_csOwner;
  int32_t m_nDiskRecordSize = 0;
  int32_t m_nMemoryRecordSize = 0;
  int32_t m_nSubItems = 0;
  CRefArray<CNAItemDescription> m_tabItem{20, 30};
  CRefArray<CNAItemDescription> m_tabKey{10, 30};
  CRefArray<CNAItemDescription> m_tabMemo{10, 30};
  INAItemDescription* m_piBestParseItem = nullptr;
  eNA_DESCORIGIN m_eOrigin = NA_DESC_NEW;
};
