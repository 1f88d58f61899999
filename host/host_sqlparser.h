// Stand-in for the host's SQL engine: a recursive-descent parser of a documented subset that
// answers the parse-tree interfaces of sql/isqlparserinformation.h (see there for the positions,
// clause ends and answers the host's own description leaves open).
//
// The subset:
//   SELECT [DISTINCT] (* | expr [[AS] alias], ...) FROM t [[AS] a] {, t [[AS] a]
//     | [INNER | LEFT [OUTER] | RIGHT [OUTER]] JOIN t [[AS] a] ON cond} [WHERE cond]
//     [GROUP BY column, ...] [HAVING cond] [ORDER BY (expr | n) [ASC | DESC], ...]
//     [LIMIT n [(, | OFFSET) n]]
//   INSERT INTO t (column, ...) VALUES (expr, ...)
//   UPDATE t [[AS] a] SET column = expr, ... [WHERE cond]
//   DELETE FROM t [WHERE cond]
//   START ..., BEGIN ..., COMMIT ..., ROLLBACK ..., SET ... (session statements, kind 0, their
//     words not read)
// each optionally ended by ";". Expressions: [q.]column, numbers, 'text' ('' for a quote), bind
// variables {name}, = <> != < <= > >=, [NOT] LIKE ... [ESCAPE 'c'], IS [NOT] NULL, AND, OR, NOT,
// + - * / and unary -, parentheses, COUNT(*) COUNT SUM AVG MIN MAX, UPPER LOWER LTRIM RTRIM
// LENGTH CEILING (one argument), LEFT RIGHT IFNULL (two), SUBSTRING (two or three), and PHONETIC
// (one), a host function no server runs (operator 73). A tree or nesting deeper than 200 is
// refused. Anything else is a parse error naming its offset, never a crash.
// A filter condition parses on its own over tables written as a FROM list: its text is both the
// query text and the filter condition, its tree the WHERE tree, its kind 0.
//
// Names resolve against the catalogue's descriptions (ignoring case): every table must be known,
// and every column must be an item of exactly one FROM table or, outside the SELECT list and the
// join conditions, the name as shown of a SELECT column. A bind variable is a literal whose value
// is NULL (the host gives values at run time) and is listed in the parameter table.
//
// Ownership: every object made here counts its references; the parse made holds one reference for
// the caller and the parse holds its lists, entries and trees. The parse holds an external
// reference on every catalogue description while it lives. CHostQueryParameters starts with one
// reference for its maker. nLive counts the objects alive, for tests to see that nothing leaks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/ctstring.h"
#include "sql/isqlparserinformation.h"

class INADataSourceDescription;

// The tables the host knows (the test's descriptions).
class CHostSQLCatalogue {
 public:
  void Add(INADataSourceDescription* desc) { m_tabDesc.push_back(desc); }
  const std::vector<INADataSourceDescription*>& Descriptions() const { return m_tabDesc; }

 private:
  std::vector<INADataSourceDescription*> m_tabDesc;
};

class CHostSQLParser {
 public:
  // Operations that throw once asked to: both item-description lookups, the physical name, and
  // the SELECT-column enumeration of the clause lists (the driver's column lookups).
  enum : unsigned int {
    kThrowItemDescription = 1,
    kThrowPhysicalName = 2,
    kThrowColumnLookup = 4,
  };

  // The parse of text with one reference for the caller; null with the reason in *error.
  static ISQLParserInformation* piParse(const wchar_t* text, const CHostSQLCatalogue& tables, CTString* error);
  // The parse of a filter condition over from (a FROM list: "t [a], ..."), as piParse.
  static ISQLParserInformation* piParseCondition(const wchar_t* condition, const wchar_t* from,
                                                 const CHostSQLCatalogue& tables, CTString* error);
  // Appends an item reference (the host locates them in text it does not parse) to the
  // parameter table (pclGetParameters) or to the item-reference table of the whole text; the
  // names are copied.
  static void AddItemReference(ISQLParserInformation* parse, bool parameterTable, int start, int length,
                               const wchar_t* item, const wchar_t* table);
  // Appends a bind value (copied) to parse's parameter table, at no place of the text.
  static void AddParameter(ISQLParserInformation* parse, const CAny& value);
  // What parse's operations (and its lists') throw from now on (kThrow... bits; 0 none).
  static void SetThrow(ISQLParserInformation* parse, unsigned int what);
  // The handshake's answer and the id it writes (TRUE and 32 by default).
  static void SetHandshake(ISQLParserInformation* parse, BOOL answer, uint32_t id);
  // How many times parse's handshake was called.
  static int nHandshakeCalls(ISQLParserInformation* parse);
  // How many times parse was asked for a physical name.
  static int nPhysicalNameAsks(ISQLParserInformation* parse);
  static long nLive();
};

// Bind values by name, with the log of the names asked.
class CHostQueryParameters final : public INAQueryParametersValue {
 public:
  CHostQueryParameters();
  void Set(const wchar_t* name, const CAny& value, int direction = 1);

  void AddRef() override { ++m_nRef; }
  int nRelease() override;
  BOOL bHPrepareRequeteCalled() override { return m_bPrepared; }
  CAny* pclGetValue(const wchar_t* name, int reserved) override;
  int nGetDirection(const wchar_t* name) override;

  int nGetRefCount() const { return m_nRef; }

  BOOL m_bPrepared = FALSE;
  std::vector<std::wstring> m_tabAsked;

 private:
  ~CHostQueryParameters();
  struct STEntry {
    std::wstring name;
    CAny value;
    int direction;
  };
  STEntry* _pFind(const wchar_t* name);

  int m_nRef = 1;
  std::vector<STEntry> m_tabEntries;
};
