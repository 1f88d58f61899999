// The host SQL engine's parse of one query as the driver reads it. The host implements these
// interfaces and the driver only calls them, by position: slots are declared in the host's
// order, once, here, and never inserted, removed or moved (answers the host adds go last).
//
// Ownership: every parser object (ISQLParserObject) keeps its count in the word after its
// interface pointer; whoever holds one raises it with AddRef and drops it with nRelease. Every
// operation that answers a parser object, an item description or a data-source description
// hands out one reference that the receiver gives back (nRelease, nExternalRelease). Texts and
// the two CTabValParser lists are the host's, valid while the object that gave them lives.
//
// Text positions count characters of the query text from 0, both ends inclusive.
//
// What the host's own description leaves open, and the stand-in host (host/host_sqlparser.h)
// answers so:
// - A clause the query lacks starts at 0 and ends at -1 (WHERE, HAVING, ORDER BY, GROUP BY).
// - The ORDER BY clause ends at its last entry's last character, ASC or DESC included; the
//   GROUP BY clause at its last entry's; a trailing LIMIT belongs to neither.
// - End of the SELECT list: the offset just past the last column (its alias included), so that
//   text copied up to it is the list; 1 when the list is the star; 0 outside a SELECT.
// - A node's extent spans its whole sub-expression, the parentheses around its operands
//   included but not those around itself; a function's starts at its name. Its text position
//   spans its operator or name token ("IS NOT NULL" and "NOT LIKE" whole); a column reference's
//   and a literal's are their extent.
// - The arguments of a node are its operands in text order: a binary node's left then right,
//   a function's arguments. piGetNextArgument(null) answers the first, piGetNextArgument(a) the
//   one after a; it keeps no state, so walks may nest and repeat.
// - The column-source test of a SELECT column is TRUE when the column reads one table column as
//   it is; an expression, a literal or an aggregate answers FALSE. A column's size and host type
//   are its item's (size in bytes of the host record, host engine type code); a calculated
//   column's are those of its expression's result.
// - Version handshake: called with 32, 32 and the address of a 32-bit id, the engine writes its
//   id there and answers TRUE; FALSE when it does not answer.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/wintypes.h"
#include "values/any.h"

class INADataSourceDescription;
class INAItemDescription;
class IInfoClauseList;
class IInfoRubrique;
class IInfoFrom;
class IInfoOrderBy;
class IInfoGroupe;
class IInfoInsertion;
class IInfoAffectation;
class IExpOpExpression;

// Host operator codes of expression nodes. 47, 48, 73, 9-14 and 27-33 are the host's; the rest
// are the stand-in host's own.
enum eOPEXPRESSION : int32_t {
  NA_OPEXP_AND = 0,
  NA_OPEXP_NOT = 1,
  NA_OPEXP_OR = 2,
  NA_OPEXP_NEGATE = 3,
  NA_OPEXP_ADD = 4,
  NA_OPEXP_SUBTRACT = 5,
  NA_OPEXP_IFNULL = 7,
  NA_OPEXP_EQUAL = 9,
  NA_OPEXP_DIFFERENT = 10,
  NA_OPEXP_LESS = 11,
  NA_OPEXP_LESSEQUAL = 12,
  NA_OPEXP_GREATER = 13,
  NA_OPEXP_GREATEREQUAL = 14,
  NA_OPEXP_SUM = 27,
  NA_OPEXP_AVG = 28,
  NA_OPEXP_MIN = 29,
  NA_OPEXP_MAX = 30,
  // Its result is a count, no value of its argument: the aggregate that stops item typing.
  NA_OPEXP_COUNT = 31,
  NA_OPEXP_LIKE = 32,
  NA_OPEXP_ISNULL = 33,
  NA_OPEXP_MULTIPLY = 40,
  NA_OPEXP_DIVIDE = 41,
  NA_OPEXP_LEFT = 42,
  NA_OPEXP_RIGHT = 43,
  NA_OPEXP_SUBSTRING = 44,
  NA_OPEXP_UPPER = 45,
  NA_OPEXP_LOWER = 46,
  NA_OPEXP_COLUMN = 47,
  NA_OPEXP_LITERAL = 48,
  NA_OPEXP_LTRIM = 52,
  NA_OPEXP_RTRIM = 53,
  NA_OPEXP_LENGTH = 54,
  NA_OPEXP_CEILING = 72,
  NA_OPEXP_UNSUPPORTED = 73,
};

// Words 0 and 2 are the first and last character; 0 and 0 is no position. Words 1 and 3 are the
// host's and carry nothing the driver reads.
struct stTEXTPOSITION {
  uint32_t nStart = 0;
  uint32_t nReserved1 = 0;
  uint32_t nEnd = 0;
  uint32_t nReserved3 = 0;

  bool bIsEmpty() const { return nStart == 0 && nEnd == 0; }
};

// The host's bind values of an SQL text. Each entry's placeholder is a range of the text in
// characters. Flag bit 0: the value names a file whose content is sent instead, bit 4 then asks
// for that content as ANSI text rather than bytes.
struct STValParser {
  CAny clValue;
  int nStart = 0;
  int nLength = 0;
  unsigned int dwFlags = 0;
};
// An item named in free SQL text: its range and its names as the host resolved them.
struct STItemParser {
  int nStart = 0;
  int nLength = 0;
  const wchar_t* pszItem = nullptr;
  const wchar_t* pszTable = nullptr;
};
// Two lists: bind values, then item references.
struct CTabValParser {
  int nCount = 0;
  STValParser** ppEntries = nullptr;
  int nItemCount = 0;
  STItemParser** ppItems = nullptr;
};

class ISQLParserObject {
 public:
  // Raises the count kept after the interface pointer.
  void AddRef() { m_nRef.fetch_add(1, std::memory_order_relaxed); }
  // Drops one reference; the host deletes the object at 0. The count left.
  virtual int nRelease() = 0;

 protected:
  virtual ~ISQLParserObject() = default;

  std::atomic<int32_t> m_nRef{0};
};

// Holds the one reference a parser object was handed out with and gives it back, also when the
// host throws; Reset gives back the one held and holds another.
template <typename T>
class CParserRef {
 public:
  explicit CParserRef(T* p = nullptr) : m_p(p) {}
  ~CParserRef() { Reset(nullptr); }
  CParserRef(const CParserRef&) = delete;
  CParserRef& operator=(const CParserRef&) = delete;
  void Reset(T* p) {
    if (m_p != nullptr) m_p->nRelease();
    m_p = p;
  }
  T* Get() const { return m_p; }

 private:
  T* m_p;
};

class ISQLParserInformation : public ISQLParserObject {
 public:
  // The condition text when the parse is a filter condition; "" for a statement.
  virtual const wchar_t* pszGetFilterCondition() = 0;
  virtual CTabValParser* pclGetParameters() = 0;
  virtual const wchar_t* pszGetRequete() = 0;
  // From the "WHERE" keyword to the condition's last character.
  virtual int nGetWhereStart() = 0;
  virtual int nGetWhereEnd() = 0;
  // At the "ORDER" keyword.
  virtual int nGetOrderByStart() = 0;
  // Null when the query has none.
  virtual IInfoClauseList* piGetClauseList() = 0;
  virtual int nGetHavingStart() = 0;
  virtual int nGetHavingEnd() = 0;
  virtual IExpOpExpression* piGetWhereTree() = 0;
  // The item references of the whole text (second list).
  virtual CTabValParser* pclGetItemReferences() = 0;
  virtual BOOL bHandshake(int required, int own, uint32_t* id) = 0;
  // Null for a calculated column.
  virtual INAItemDescription* piGetItemDescription(IInfoRubrique* column) = 0;
  // table: a table name or alias of the query, or "" for the first table that has the item.
  virtual INAItemDescription* piGetItemDescription(const wchar_t* table, const wchar_t* item) = 0;
  virtual INADataSourceDescription* piGetDataSourceDescription(IInfoFrom* from) = 0;
  // name: an alias of the query, else a table the host knows.
  virtual INADataSourceDescription* piGetDataSourceDescription(const wchar_t* name) = 0;
  // 1 SELECT, 3 UPDATE, 4 INSERT, 5 DELETE (the host also knows 0 other and 2 a second SELECT).
  virtual int nGetQueryKind() = 0;
  virtual IExpOpExpression* piGetHavingTree() = 0;
  virtual int nGetSelectListEnd() = 0;
  // The physical name of a table name or alias; "" when the host knows none.
  virtual const wchar_t* pszGetPhysicalName(const wchar_t* table) = 0;
  virtual int nGetOrderByEnd() = 0;
  virtual int nGetGroupByEnd() = 0;

 protected:
  ~ISQLParserInformation() override = default;
};

// Each enumerator takes 1 to restart, 0 to continue, and answers null at the end (also when
// continuing an enumeration never started).
class IInfoClauseList : public ISQLParserObject {
 public:
  virtual IInfoRubrique* piEnumRubrique(int restart) = 0;
  virtual int nGetGroupCount() = 0;
  virtual IInfoFrom* piEnumFrom(int restart) = 0;
  virtual IInfoOrderBy* piEnumOrderBy(int restart) = 0;
  virtual IInfoGroupe* piEnumGroupe(int restart) = 0;
  // from: the entry a JOIN brings in, or null for every join condition.
  virtual IExpOpExpression* piEnumJoinCondition(IInfoFrom* from, int restart) = 0;
  virtual IInfoAffectation* piEnumAffectation(int restart) = 0;
  virtual IInfoInsertion* piEnumInsertion(int restart) = 0;

 protected:
  ~IInfoClauseList() override = default;
};

// One SELECT column.
class IInfoRubrique : public ISQLParserObject {
 public:
  // The alias of the FROM entry the column reads (its table name when it has none); "" for a
  // calculated column.
  virtual const wchar_t* pszGetSourceTableAlias() = 0;
  // The alias after AS, else the column name, else the expression's text.
  virtual const wchar_t* pszGetName() = 0;
  virtual const wchar_t* pszGetNameInSource() = 0;
  // 0 a table column, 1 calculated.
  virtual int nGetCalculKind() = 0;
  virtual IExpOpExpression* piGetExpression() = 0;
  // The column's text without its alias; none for a column the star stands for.
  virtual stTEXTPOSITION stGetPosition() = 0;
  virtual const wchar_t* pszGetSourceTableName() = 0;
  virtual BOOL bIsColumnSource() = 0;
  virtual int nGetSize() = 0;
  virtual int nGetHostType() = 0;

 protected:
  ~IInfoRubrique() override = default;
};

// One table of FROM (or the table of INSERT, UPDATE and DELETE).
class IInfoFrom : public ISQLParserObject {
 public:
  virtual const wchar_t* pszGetTableName() = 0;
  // The table name when the entry has no alias (its alias position is then none).
  virtual const wchar_t* pszGetAlias() = 0;
  // The table name's token.
  virtual stTEXTPOSITION stGetPosition() = 0;
  virtual stTEXTPOSITION stGetAliasPosition() = 0;

 protected:
  ~IInfoFrom() override = default;
};

class IInfoOrderBy : public ISQLParserObject {
 public:
  // 0 ascending, 1 descending.
  virtual int nGetDirection() = 0;
  // 0-based index of the SELECT column ordered; -1 when the entry names none.
  virtual int nGetIndex() = 0;
  // The entry without ASC or DESC.
  virtual stTEXTPOSITION stGetPosition() = 0;

 protected:
  ~IInfoOrderBy() override = default;
};

// One GROUP BY entry.
class IInfoGroupe : public ISQLParserObject {
 public:
  // The alias of the entry's FROM table ("" when it has none).
  virtual const wchar_t* pszGetAlias() = 0;
  // Written with a qualifier.
  virtual BOOL bIsAvecTable() = 0;
  virtual const wchar_t* pszGetNomTable() = 0;
  // The column as written; "" when the entry names a SELECT column's alias.
  virtual const wchar_t* pszGetNomRubrique() = 0;
  virtual stTEXTPOSITION stGetPosition() = 0;
  // The qualifier as written; "" without one.
  virtual const wchar_t* pszGetNomFichier() = 0;
  // The name as shown of the SELECT column the entry designates, else the name written.
  virtual const wchar_t* pszGetNomRubriqueAlias() = 0;

 protected:
  ~IInfoGroupe() override = default;
};

class IInfoInsertion : public ISQLParserObject {
 public:
  virtual IExpOpExpression* piGetValue() = 0;
  virtual IExpOpExpression* piGetColumn() = 0;

 protected:
  ~IInfoInsertion() override = default;
};

class IInfoAffectation : public ISQLParserObject {
 public:
  virtual IExpOpExpression* piGetColumn() = 0;
  virtual IExpOpExpression* piGetValue() = 0;

 protected:
  ~IInfoAffectation() override = default;
};

class IExpOpExpression : public ISQLParserObject {
 public:
  virtual eOPEXPRESSION eGetOperator() = 0;
  virtual IExpOpExpression* piGetLeft() = 0;
  virtual IExpOpExpression* piGetRight() = 0;
  // A column reference's name; a bind variable's name for a literal written {name}.
  virtual const wchar_t* pszGetColumnName() = 0;
  // out = the literal's value; FALSE (out untouched) for a node that is no literal.
  virtual BOOL bGetLiteral(CAny* out) = 0;
  virtual stTEXTPOSITION stGetPosition() = 0;
  // A column reference's qualifier as written; "" without one.
  virtual const wchar_t* pszGetQualifier() = 0;
  virtual stTEXTPOSITION stGetExtent() = 0;
  virtual BOOL bIsOuterJoinColumn() = 0;
  virtual int nGetHostType() = 0;
  // 0 without ESCAPE.
  virtual wchar_t cGetLikeEscape() = 0;
  virtual IExpOpExpression* piGetNextArgument(IExpOpExpression* previous) = 0;
  // A function's integer literal second argument; 0 without one.
  virtual int nGetIntegerParameter() = 0;

 protected:
  ~IExpOpExpression() override = default;
};

// The host's bind values of a query, by name.
class INAQueryParametersValue {
 public:
  virtual void AddRef() = 0;
  virtual int nRelease() = 0;
  virtual BOOL bHPrepareRequeteCalled() = 0;
  // Null when the host has no value of that name. The value is the host's.
  virtual CAny* pclGetValue(const wchar_t* name, int reserved) = 0;
  // 1 input, 2 output, 3 both.
  virtual int nGetDirection(const wchar_t* name) = 0;

 protected:
  ~INAQueryParametersValue() = default;
};
