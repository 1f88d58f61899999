// The driver's snapshot of a query the host's SQL engine parsed (sql/isqlparserinformation.h).
//
// CSQLParserInfo copies the parse's clause lists once, when it is given the parse, and works out
// what statements need: the column a browse uses by default, the unique and key columns, whether
// aggregates, grouping or columns that are no table column forbid the host's writes. It answers
// the rewriting code's and the query table's lookups.
// Ownership: it holds the parse (its count), one reference on every FROM entry, SELECT column and
// ORDER BY entry, its own CInfoGroupe copies of the GROUP BY entries, the WHERE and HAVING trees,
// the bind values and the bound record, and a count on its error object. UPDATE assignments and
// INSERT entries are held without references: the parse it holds keeps them alive. The columns it
// names (best parse item, key columns, order-by item) are elements of its own SELECT list and die
// with it; every lookup answers such an element, borrowed.
// The host's exceptions from item descriptions, physical names and column lookups are caught here
// and answered as null; nothing is raised into the error object.
//
// CInfoGroupe: an owned copy of one host GROUP BY entry, counted by its holders.
//
// Everything here runs under the driver mutex: the physical-name buffer is one for all.
#pragma once

#include <cstdint>

#include "common/ctstring.h"
#include "common/interf.h"
#include "common/refarray.h"
#include "common/ttableau.h"
#include "platform/wintypes.h"
#include "sql/isqlparserinformation.h"

class CNAColumn;
class CNAConnectionDescription;
class CNAError;
class CNARecord;

class CInfoGroupe {
 public:
  // Copies the host entry's seven answers; the entry is not kept.
  explicit CInfoGroupe(IInfoGroupe* entry);

  // ---- Virtual operations, in their slot order ----
  virtual const wchar_t* pszGetAlias() const { return m_csAlias.pszGet(); }
  virtual BOOL bIsAvecTable() const { return m_bAvecTable; }
  virtual const wchar_t* pszGetNomTable() const { return m_csNomTable.pszGet(); }
  virtual const wchar_t* pszGetNomRubrique() const { return m_csNomRubrique.pszGet(); }
  virtual stTEXTPOSITION stGetPosition() const { return m_stPosition; }
  virtual const wchar_t* pszGetNomFichier() const { return m_csNomFichier.pszGet(); }
  virtual const wchar_t* pszGetNomRubriqueAlias() const { return m_csNomRubriqueAlias.pszGet(); }
  virtual ~CInfoGroupe() = default;

  void AddRef() { ++m_nRef; }
  // The count left; the release that reaches 0 deletes.
  int nRelease();

 private:
  int m_nRef = 0;
  CTString m_csAlias;
  CTString m_csNomTable;
  CTString m_csNomRubrique;
  CTString m_csNomFichier;
  CTString m_csNomRubriqueAlias;
  int32_t m_bAvecTable = 0;
  stTEXTPOSITION m_stPosition;
};

class CSQLParserInfo : public CInterf {
 public:
  // Takes a count on error, then Set(parser, binds, withoutOrder).
  CSQLParserInfo(CNAError* error, ISQLParserInformation* parser, INAQueryParametersValue* binds, int withoutOrder);
  // Set(null, null, 0), SetRecord(null), the error given back.
  ~CSQLParserInfo() override;
  CSQLParserInfo(const CSQLParserInfo&) = delete;
  CSQLParserInfo& operator=(const CSQLParserInfo&) = delete;

  // Drops everything held, then copies parser's lists and facts (withoutOrder non-zero: no ORDER
  // BY or HAVING; the GROUP BY list stays, for bHOperationAllowed) and keeps binds.
  void Set(ISQLParserInformation* parser, INAQueryParametersValue* binds, int withoutOrder);

  // ---- Enumerators (borrowed elements): restart non-zero from the first; null at the end and
  // before a start ----
  IInfoFrom* piEnumFichierFrom(int restart);
  IInfoRubrique* piEnumRubriqueOUT(int restart);
  CInfoGroupe* piEnumRubriqueClauseGroupe(int restart);
  IInfoOrderBy* piEnumRubriqueClauseOrder(int restart);
  IInfoAffectation* piEnumRubriqueUpdate(int restart);
  IInfoInsertion* piEnumRubriqueInsert(int restart);
  int nGetFichierFromNbr() const { return m_tabFrom.nGetCount(); }
  // Null out of range.
  IInfoRubrique* piGetRubriqueOUT(int i) const;

  // ---- Lookups (case and accents ignored) ----
  // The first SELECT column shown as name.
  IInfoRubrique* piEnumRubriqueOUT(const wchar_t* name) const;
  // The first SELECT column, asked of the parse, shown as name and, with a non-empty alias, a
  // table column read through that alias; null when none or when the host throws.
  IInfoRubrique* piGetInfoRubriqueFromAlias(const wchar_t* alias, const wchar_t* name);
  // The GROUP BY entry designating column's name.
  CInfoGroupe* piGetRubriqueClauseGroupe(const CNAColumn* column) const;
  // The first ORDER BY entry whose SELECT column is column: by name as shown, or by name in the
  // source and source table (physical name, else table name) against the column's original name
  // and table alias.
  IInfoOrderBy* piGetRubriqueClauseOrder(const CNAColumn* column) const;
  // Whether name is an alias of a FROM entry other than its table name. When it is not, *desc
  // (when given) receives the parse's description of that entry, or of the table of that name,
  // with a reference for the caller (null when none).
  BOOL bIsTableAlias(const wchar_t* name, INADataSourceDescription** desc) const;

  // ---- Names ----
  // Null without a parse.
  const wchar_t* pszGetRequete() const;
  // Names as shown; null without such a column.
  const wchar_t* pszGetBestParseItem() const;
  const wchar_t* pszGetOrderByItem() const;
  // The parse's physical name of a table name or alias in the shared buffer (valid until the next
  // call); null for a null or empty name (the parse is not asked), an empty or too long answer,
  // or when the host throws.
  const wchar_t* pszGetPhysicalName(const wchar_t* name) const;
  static const wchar_t* pszGetPhysicalName(const wchar_t* name, ISQLParserInformation* parser);
  // The physical name of the column's source table, else that table's name.
  const wchar_t* pszGetPhysicalName(IInfoRubrique* column) const;
  // The database name of FROM entry i's table; empty without the entry or its description.
  CTString csGetFichierFrom_DBTableName(int i) const;
  // The FROM entry a column's qualifier names: the entry of that alias, else the first of that
  // table; -1 for none and for an empty qualifier.
  int nGetFichierFromOf(const wchar_t* qualifier) const;

  // ---- Column facts ----
  // The parse's item of a table column, with an external reference for the caller; null for a
  // calculated column and when the host throws.
  INAItemDescription* piGetItemDescription(IInfoRubrique* column) const;
  BOOL bRubriqueUnique(IInfoRubrique* column) const;
  BOOL bRubriqueUniqueNotNull(IInfoRubrique* column) const;
  // Whether the SELECT column shown as column's name reads a memo: a table column by the column's
  // own test, a calculated one when a column reference of its expression has a memo host type.
  BOOL bRubriqueSourceIsMemo(const CNAColumn* column) const;
  // Whether the SELECT column shown as column's name is calculated from an aggregate (of the
  // groups): a WHERE cannot compare it.
  BOOL bRubriqueIsAggregate(const CNAColumn* column) const;
  // One table and a SELECT column of an automatic-identifier host type.
  BOOL bQueryContainIdAuto() const;
  // The query text limits its rows (a LIMIT clause or a TOP phrase): worked out once per parse.
  BOOL bQueryResultsetLimited(const CNAConnectionDescription* cnx);
  // FALSE with an aggregate column, grouping, a column that is no table column, or the word
  // DISTINCT (any case, between blanks or before "(") in the text.
  BOOL bHOperationAllowed() const;
  IInfoRubrique* piGetBestParseItemNoRef() const { return m_piBestParseItem; }
  IInfoRubrique* piGetUniqueNotNullNoRef() const { return m_piUniqueNotNull; }
  IInfoRubrique* piGetUniqueNoRef() const { return m_piUnique; }
  IInfoRubrique* piGetKeyNoRef() const { return m_piKey; }
  IInfoRubrique* piGetOrderByItemNoRef() const { return m_piOrderByItem; }
  int nGetQueryKind() const { return m_nQueryKind; }
  IExpOpExpression* piGetWhereTreeNoRef() const { return m_piWhere; }
  IExpOpExpression* piGetHavingTreeNoRef() const { return m_piHaving; }

  // ---- The parse, binds and record ----
  ISQLParserInformation* piGetParserNoRef() const { return m_piParser; }
  // The parse's description of a table name or alias, with a reference for the caller.
  INADataSourceDescription* piGetNADataSourceDescription(const wchar_t* name) const;
  // With a reference for the caller; null without bind values.
  INAQueryParametersValue* piGetUserBindVariable() const;
  BOOL bHPrepareRequeteCalled() const;
  // The former record released, record referenced.
  void SetRecord(CNARecord* record);
  CNARecord* pclGetRecordNoRef() const { return m_pclRecord; }
  // The source query of the bound record; null without one.
  CSQLParserInfo* pclGetQueryParserInfoNoRef() const;

  // Aggregates: 27 to 31.
  static BOOL s_bIsGroupmentColumn(int op);
  // Whether the expression is an aggregate or holds one among its arguments.
  static BOOL s_bHoldsAggregate(IExpOpExpression* node) { return _bExpressionHoldsAggregate(node); }
  static BOOL s_bIsFunction(int op);

 private:
  void _Clear();
  void _CopyLists(IInfoClauseList* lists, int withoutOrder);
  // The unique and key columns from one table column's item.
  void _NoteKeys(IInfoRubrique* column);
  static BOOL _bExpressionIsMemo(IExpOpExpression* node);
  static BOOL _bExpressionHoldsAggregate(IExpOpExpression* node);
  // FALSE without a known column, TRUE for it, else the test of column's item (FALSE without one).
  BOOL _bKeyTest(IInfoRubrique* column, IInfoRubrique* known, BOOL (INAItemDescription::*test)() const) const;

  CNAError* m_pclError = nullptr;
  ISQLParserInformation* m_piParser = nullptr;
  int32_t m_nQueryKind = 0;
  // -1 until asked, then 0 or 1.
  int32_t m_nResultsetLimited = -1;
  INAQueryParametersValue* m_piBinds = nullptr;
  IInfoRubrique* m_piBestParseItem = nullptr;
  IInfoRubrique* m_piUniqueNotNull = nullptr;
  IInfoRubrique* m_piUnique = nullptr;
  IInfoRubrique* m_piKey = nullptr;
  IInfoRubrique* m_piOrderByItem = nullptr;
  CRefArray<IInfoFrom> m_tabFrom;
  int m_nFrom = -1;
  CRefArray<IInfoRubrique> m_tabRubrique;
  int m_nRubrique = -1;
  CRefArray<CInfoGroupe> m_tabGroupe;
  int m_nGroupe = -1;
  CRefArray<IInfoOrderBy> m_tabOrderBy;
  int m_nOrderBy = -1;
  CTTableau<IInfoAffectation*> m_tabAffectation;
  int m_nAffectation = -1;
  CTTableau<IInfoInsertion*> m_tabInsertion;
  int m_nInsertion = -1;
  int32_t m_bNonColumn = 0;
  int32_t m_bAggregate = 0;
  IExpOpExpression* m_piWhere = nullptr;
  IExpOpExpression* m_piHaving = nullptr;
  CNARecord* m_pclRecord = nullptr;
};
