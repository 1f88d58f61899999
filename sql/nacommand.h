// The SQL text of one statement before it is sent, and its pieces:
// - CNACommand: the command text as the builders write it, the parameters whose values belong at
//   given character positions of that text, the defines (the result columns the statement binds)
//   and the formatted SQL: the one text that is sent, in which every parameter is written as a
//   literal of the connection's dialect. Values reach the server only that way, never as bind
//   markers.
// - CNAParameter: a value with its position, option bits, column, item and LIKE escape.
// - CNADefine: a result column (a record column, or a name with a value holder).
// - CNASqlElt: one clause of a host-parsed query, as a span of the host's text.
//
// A command also rewrites a query the host parsed (nacommandrewrite.cpp: the clauses, the star,
// FROM, GROUP BY, ORDER BY, INSERT and UPDATE lists, a filter merged into WHERE, free SQL text)
// and writes the host's expression trees in the server's dialect (nacommandexpression.cpp:
// names, calculated columns, functions, literals taken out as typed parameters, empty dates).
// Both copy the host's text between the pieces they regenerate, moving one cursor forward; a
// position past the text copies nothing, never reads beyond it. References the host hands out
// (clause lists, nodes, descriptions) are given back on every path, failures included.
//
// Ownership: a command holds a reference on its connection, a count on its error object, one
// reference on each parameter and define and on the parsed query it was built from, and owns its
// NULL-selected set. A parameter holds a
// reference on its value holder and its column and an external reference on its item; a define
// references its column and its value holder. Everything is counted (CInterf): factories give
// objects with a count of 0 and the first holder takes the first reference.
//
// Rules every operation of a command keeps:
// - Positions count characters of the command text from 0. Parameters are kept in the order of
//   their positions; an edit of the text moves the parameters after the edit with it.
// - The formatted SQL is built on first request and kept until ResetFormatedSQL or
//   ResetCommand. It is narrow text of the connection's code page once the connection knows it
//   (wide before): a literal's bytes go in as they are, so its length, never a terminator, says
//   where it ends. A build that fails leaves it empty and hands out nothing.
// - The formatter trusts no position: one that goes back or lies past the text fails the build
//   with an internal error, nothing read out of place.
// Callers hold the driver mutex; the static scanners keep no state.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "common/ctstring.h"
#include "common/interf.h"
#include "common/refarray.h"
#include "common/tstringconcataw.h"
#include "platform/wintypes.h"
#include "sql/nacolumnlist.h"
#include "sql/naitemtype.h"

class CAny;
class CLiteralText;
class CNAColumn;
class CNAConnectionDescription;
class CNAConvertVariant;
class CNAError;
class CNARecord;
class CSQLParserInfo;
class IExpOpExpression;
class IInfoFrom;
class IInfoRubrique;
class INADataSourceDescription;
class INAItemDescription;
class INAQueryParametersValue;
class ISQLParserInformation;
struct CTabValParser;
struct stTEXTPOSITION;
template <typename T>
class CXYString;
template <typename T>
class CXYStringConcat;

// The host parse tree's operator codes (-1: none).
enum eOPEXPRESSION : int32_t;
// The host's kind of query.
enum eTYPEREQUETE : int32_t {};

// The kind of SQL a command holds.
enum eNAQUERYTYPE : int32_t {
  NA_QUERY_NONE = 0,
  NA_QUERY_SELECT = 1,
  NA_QUERY_UPDATE = 2,
  NA_QUERY_INSERT = 3,
  NA_QUERY_DELETE = 4,
  NA_QUERY_DELETEALL = 5,
  NA_QUERY_CREATE = 6,
  NA_QUERY_OTHER = 8,
  NA_QUERY_DROPTABLE = 9,
  // A SET statement passed through unchanged.
  NA_QUERY_SET = 10,
};
// The host's query kind as a command kind: 0 and anything above 5 other, 1 and 2 SELECT, 3
// UPDATE, 4 INSERT, 5 DELETE.
eNAQUERYTYPE eConvertTypeQuery(eTYPEREQUETE type);

// Value classes, as bits of a set (-1: every class).
enum ePARAMTYPECONV : int32_t {
  NA_PARAMCONV_NONE = 0,
  NA_PARAMCONV_INTEGER = 1,
  NA_PARAMCONV_REAL = 2,
  NA_PARAMCONV_TEXT = 4,
  NA_PARAMCONV_DATE = 8,
  NA_PARAMCONV_BINARY = 16,
  NA_PARAMCONV_BOOLEAN = 32,
  NA_PARAMCONV_CURRENCY = 64,
  NA_PARAMCONV_ALL = -1,
};
// The class of a host type code; 0 for a type of no class.
ePARAMTYPECONV ZVType2eParamType(unsigned short hostType);

// Host text types of one width: the ANSI family and the wide family.
inline bool bIsAnsiTextType(unsigned short t) { return (t >= 17 && t <= 19) || (t >= 21 && t <= 23) || t == 134; }
inline bool bIsWideTextType(unsigned short t) { return t == 16 || t == 20 || t == 81 || t == 110; }

// How bAdd takes the other command's parameters: shared (moved in place) or cloned.
enum eADDMMODE : int32_t { NA_ADD_SHARE = 0, NA_ADD_CLONE = 1 };

// Option bits of a parameter.
enum : unsigned int {
  // The value names a file whose content is the value (0x10: read as text, else as bytes).
  NA_PARAM_FILE = 0x1,
  NA_PARAM_FILE_TEXT = 0x10,
  // A host bind variable, refreshed from the host by its name before use.
  NA_PARAM_BIND = 0x10000,
  // A cursor parameter: never refreshed.
  NA_PARAM_CURSOR = 0x20000,
  // The pattern of a LIKE.
  NA_PARAM_LIKE = 0x40000,
  // Taken out of a host expression tree.
  NA_PARAM_LITERAL = 0x80000,
};

class CNAParameter : public CInterf {
 public:
  enum eNAPARAMETERINOUT : int32_t { NA_PARAM_IN = 1, NA_PARAM_OUT = 2, NA_PARAM_RETURN = 4 };

  // Takes a reference on value; operator -1, direction IN, no column, item or escape.
  CNAParameter(CNAConvertVariant* value, unsigned int position, unsigned int options, const wchar_t* name);
  ~CNAParameter() override;
  CNAParameter(const CNAParameter&) = delete;
  CNAParameter& operator=(const CNAParameter&) = delete;

  // A new parameter from the driver's factory on the same value object, with position,
  // options, name, column, item and escape; operator and direction those of a new one. One
  // reference for the caller; null when the factory gives none.
  virtual CNAParameter* pclGetClone();

  // The column (referenced) and its item; null clears both.
  void SetColum(CNAColumn* column);
  // External references moved from the old item to the new one.
  void SetItem(INAItemDescription* item);
  // By the item's type; FALSE without an item.
  BOOL bIsDate() const;
  BOOL bIsText() const;
  BOOL bIsTextUnicode() const;
  // The column's database and analysis item types (TRUE); without a column the value's, TRUE
  // unless both are 0.
  BOOL bGetZVTypeInfo(eNA_ITEMTYPE* db, eNA_ITEMTYPE* analysis) const;
  // The server-side description of the value's database item, else of the column's imported
  // item: type, size, logical length (-1 for a memo), precision and scale; TRUE when the size
  // is not 0.
  BOOL bGetDBType(eNA_ITEMTYPE* type, unsigned int* size, int* length, int* precision, int* scale) const;
  BOOL bCaseInSensitiveLIKE() const;
  // Loads the file the value names into the value (as text only with both file bits); the file
  // bit is cleared on success.
  BOOL bLoadFile(CNAError* error);
  // The host's direction of the parameter's name is output (2) or both (3).
  BOOL bIsParamOUT(INAQueryParametersValue* binds) const;
  BOOL bSetValue(const CAny* value);
  // Same position, options, value (or written literal), column, item, escape and direction.
  BOOL bEqualsParameter(const CNAParameter* other) const;
  // The literal a parameter of CNACommand::bAddValueLiteral carries in place of a value holder,
  // with the code page of its bytes; null for a parameter that holds its value.
  virtual const CXYStringConcat<char>* pclGetWrittenLiteral(int*) const { return nullptr; }
  // out = "(" + the direction names set, "|" between them, + ")".
  void TypeParam2String(CXYStringConcat<wchar_t>* out) const;

  CNAConvertVariant* pclGetValueNoRef() const { return m_pclValue; }
  // The value holder replaced (referenced), the rest of the parameter as it is.
  void SetValue(CNAConvertVariant* value);
  unsigned int nGetPosition() const { return m_nPosition; }
  void SetPosition(unsigned int position) { m_nPosition = position; }
  unsigned int dwGetOptions() const { return m_dwOptions; }
  void SetOptions(unsigned int options) { m_dwOptions = options; }
  CNAColumn* pclGetColumnNoRef() const { return m_pclColumn; }
  const wchar_t* pszGetName() const { return m_csName.pszGet(); }
  INAItemDescription* piGetItemNoRef() const { return m_piItem; }
  wchar_t cGetEscape() const { return m_cEscape; }
  void SetEscape(wchar_t escape) { m_cEscape = escape; }
  eOPEXPRESSION eGetOperator() const { return m_eOperator; }
  void SetOperator(eOPEXPRESSION op) { m_eOperator = op; }
  eNAPARAMETERINOUT eGetDirection() const { return m_eDirection; }
  void SetDirection(eNAPARAMETERINOUT direction) { m_eDirection = direction; }

 private:
  CNAConvertVariant* m_pclValue;
  unsigned int m_nPosition;
  unsigned int m_dwOptions;
  CNAColumn* m_pclColumn = nullptr;
  CTString m_csName;
  INAItemDescription* m_piItem = nullptr;
  wchar_t m_cEscape = 0;
  eOPEXPRESSION m_eOperator;
  eNAPARAMETERINOUT m_eDirection = NA_PARAM_IN;
};

// A parameter whose value was written as its literal when it was made: the bytes the formatter
// appends in its place, in the code page of the formatted SQL they were written for. It holds no
// value, column or item. A command keeps the ones it made and takes one back once nobody else
// holds it.
class CNAParameterLiteral final : public CNAParameter {
 public:
  CNAParameterLiteral() : CNAParameter(nullptr, 0, 0, nullptr), m_clBytes(64) {}

  // A literal's memory above this many bytes is given back when the parameter is set again.
  static constexpr unsigned int kKeptBytes = 16384;

  // The fields of a new parameter at position, with the literal's n bytes of code page cp; false
  // when memory held fewer bytes.
  bool bSetLiteral(const char* bytes, int n, int cp, unsigned int position);
  // A copy of the literal, position, options and escape; one reference for the caller.
  CNAParameter* pclGetClone() override;
  const CXYStringConcat<char>* pclGetWrittenLiteral(int* cp) const override {
    *cp = m_nCodePage;
    return &m_clBytes;
  }

 private:
  CXYStringConcat<char> m_clBytes;
  int32_t m_nCodePage = 0;
};

class CNADefine : public CInterf {
 public:
  // References the column and its value holder.
  explicit CNADefine(CNAColumn* column);
  // References the value holder.
  CNADefine(const wchar_t* name, CNAConvertVariant* value);
  ~CNADefine() override;
  CNADefine(const CNADefine&) = delete;
  CNADefine& operator=(const CNADefine&) = delete;

  virtual BOOL bIsCursor() const { return FALSE; }

  // The column's name with a column, else its own.
  const wchar_t* pszGetName() const;
  CNAConnectionDescription* pclGetCnx() const;
  CNAColumn* pclGetColumnNoRef() const { return m_pclColumn; }
  CNAConvertVariant* pclGetValueNoRef() const { return m_pclValue; }

 private:
  CNAColumn* m_pclColumn = nullptr;
  CTString m_csName;
  CNAConvertVariant* m_pclValue = nullptr;
};

class CNASqlElt : public CInterf {
 public:
  enum eSQLELT : int32_t {
    NA_SQLELT_SELECT = 1,
    NA_SQLELT_FROM = 2,
    NA_SQLELT_WHERE = 3,
    NA_SQLELT_GROUPBY = 4,
    NA_SQLELT_HAVING = 5,
    NA_SQLELT_ORDERBY = 6,
    NA_SQLELT_ITEMTABLE = 7,
    NA_SQLELT_JOIN = 8,
    NA_SQLELT_WRITELIST = 10,
  };
  CNASqlElt(eSQLELT kind, unsigned int start, unsigned int end) : m_eKind(kind), m_nStart(start), m_nEnd(end) {}

  // Orders two elements (CNASqlElt**) by start, unsigned.
  static int pfnCmpELT(const void* a, const void* b);

  eSQLELT eGetKind() const { return m_eKind; }
  unsigned int nGetStart() const { return m_nStart; }
  unsigned int nGetEnd() const { return m_nEnd; }

 private:
  eSQLELT m_eKind;
  unsigned int m_nStart;
  unsigned int m_nEnd;
};

class CNACommand : public CInterf {
 public:
  // References the connection and counts the error.
  CNACommand(CNAError* error, CNAConnectionDescription* cnx);
  ~CNACommand() override;
  CNACommand(const CNACommand&) = delete;
  CNACommand& operator=(const CNACommand&) = delete;

  // ---- Overridable operations, in their order ----
  virtual BOOL bNeedToReplaceStar() { return TRUE; }
  virtual BOOL bIsEmpty() { return m_clTextHeld.bEstVide() && !m_bTextInFormated; }
  virtual int nGetParameterNbr() const { return m_tabParameter.nGetCount(); }
  // Defines go, the command text and the formatted SQL are emptied, row limit and offset back
  // to -1; the parameters go too unless kept.
  virtual void ResetCommand(int bKeepParameters);
  // Appends free SQL text the host located bind values and item references in: each bind value
  // becomes a parameter, each item reference a physical, quoted name. FALSE, with the internal
  // error, when the host's lists are not ascending, overlap or leave the text.
  virtual BOOL bComplete(ISQLParserInformation* parser);
  // Appends other's text, then its parameters moved by this text's former length (shared or
  // cloned by mode), then its defines. A shared parameter then belongs to this text only: a
  // source that goes on being used takes mode NA_ADD_CLONE. FALSE at the first clone that
  // cannot be made (what came before stays), and for other null or this command.
  virtual BOOL bAdd(CNACommand* other, eADDMMODE mode);
  // A parameter from the driver's factory placed at the end of the command text.
  virtual BOOL bAddParameter(CNAConvertVariant* value, eOPEXPRESSION op, unsigned int options, CNAColumn* column,
                             const wchar_t* name, wchar_t escape, CNAParameter::eNAPARAMETERINOUT direction);
  // The columns of record whose bMustDefine(define mode) holds, each by bAddSelectColumn; stops
  // at the first failure.
  virtual BOOL bAddSelectColumns(CNARecord* record, int mode);
  virtual BOOL bAddSelectColumn(CNAColumn* column, int mode);
  // out = table.name (quoted) inside the dialect's expression that gives item's date or time as
  // digit text; FALSE, out the plain name, for an item the dialect has no such form for.
  virtual BOOL _bFormatAndConvertItemInClause(CTString* out, INAItemDescription* item, const wchar_t* table,
                                              const wchar_t* name);
  // How a column of itemType is written as an operand of op in a clause of kind: NA_IT_TEXTE
  // when it is compared as the host's digit text (dates and times), else NA_IT_EMPTY.
  virtual eNA_ITEMTYPE eGetFormatExpressionColonne(CNASqlElt::eSQLELT kind, eNA_ITEMTYPE itemType, eOPEXPRESSION op,
                                                   IExpOpExpression* node);
  // Writes one parameter into the formatted SQL; *position may move forward past command text
  // the value stands for.
  virtual BOOL _bAddParameterFormated(CNAParameter* parameter, ePARAMTYPECONV mode, unsigned int* position);
  virtual BOOL _bAddParameterFormated(CNAParameter* parameter, eNA_ITEMTYPE db, eNA_ITEMTYPE analysis,
                                      ePARAMTYPECONV mode, unsigned int* position);
  // A LIKE pattern: normalised, written by the connection, its escapes and ESCAPE clause
  // adapted to the dialect.
  virtual BOOL _bAddParameterFormatedLike(CNAParameter* parameter, eNA_ITEMTYPE db, eNA_ITEMTYPE analysis,
                                          ePARAMTYPECONV mode, unsigned int* position);
  virtual void vAddEscapeLike(eNA_ITEMTYPE) {}
  virtual BOOL vbAddEscapedLikeValue(CNAParameter* parameter, CAny* pattern, eNA_ITEMTYPE db, eNA_ITEMTYPE analysis,
                                     unsigned int* position);
  virtual void vAddEscapeLikeIfNeeded(CNAParameter* parameter, const wchar_t* literal, unsigned int* position);
  virtual BOOL _bBuildFormatedSQL(ePARAMTYPECONV mode);
  // *name = item's name qualified by table and written as in a WHERE clause; parameter (may be
  // null) is typed by item.
  virtual void _FormatItemNameInWHEREClause(ISQLParserInformation* parser, INAItemDescription* item,
                                            const wchar_t* table, CTString* name, CNAParameter* parameter);
  // out = a SELECT column's name: a table column's name in its source, qualified by its table's
  // physical name (or alias) when asked; a calculated column's name as shown.
  virtual void _FormatRubriqueAlias(CTString* out, CSQLParserInfo* info, IInfoRubrique* column, int qualified, CNASqlElt::eSQLELT kind);
  // Hooks between and around the operands of an operator node: nothing here.
  virtual BOOL _vbFormatExpressionOperatorEntreOperande(CSQLParserInfo*, const wchar_t*, IExpOpExpression*, CNASqlElt::eSQLELT,
                                                        unsigned int*, CTStringConcatAW*) {
    return TRUE;
  }
  virtual BOOL _vbSkipOperande(IExpOpExpression*, IExpOpExpression*, unsigned int) { return FALSE; }
  virtual void _vConvertirFonction(IExpOpExpression*) {}
  // What the dialect writes before (before != 0) or after argument argIndex of the function
  // parent: texts, text of the host's skipped, arguments written ahead of their place.
  virtual BOOL _FormatExpressionArgument(CSQLParserInfo* info, const wchar_t* text, IExpOpExpression* parent,
                                         CNASqlElt::eSQLELT kind, unsigned int* cursor, CTStringConcatAW* out, int before,
                                         unsigned int argIndex);
  // Types a literal's parameter: in WHERE and HAVING by the operand it is compared with unless a
  // type is forced, elsewhere by the forced type or item.
  virtual BOOL _FormatExpressionLiteral(CSQLParserInfo* info, IExpOpExpression* parent, IExpOpExpression* node,
                                        CNASqlElt::eSQLELT kind, INAItemDescription* item, CNAParameter* parameter,
                                        eNA_ITEMTYPE type);
  virtual BOOL _FormatExpressionItemName(CTString* out, CNASqlElt::eSQLELT kind, eOPEXPRESSION op, IExpOpExpression* node,
                                         INAItemDescription* item, const wchar_t* table, const wchar_t* name);
  // out = the dialect's name of the operator or function op; FALSE (out empty) when the host's
  // name stays.
  virtual BOOL _FormatExpressionOperator(eOPEXPRESSION op, CTString* out);
  // "{" and "}", cut to size - 1 characters.
  virtual void _GetMotifVariableDebut(wchar_t* buffer, int size);
  virtual void _GetMotifVariableFin(wchar_t* buffer, int size);
  // out = the FROM entry's physical table name (else its description's database name), quoted.
  virtual void _FormatTableClauseFROM(CTString* out, CSQLParserInfo* info, IInfoFrom* from,
                                      INADataSourceDescription* desc);
  virtual void _FormatTableAliasClauseFROM(CTString* out, CSQLParserInfo* info, IInfoFrom* from);
  // Whether literals of trees become parameters (else they stay in the text).
  virtual BOOL _bShouldAddParameter(CSQLParserInfo*, IExpOpExpression*, IExpOpExpression*, CNASqlElt::eSQLELT,
                                    INAItemDescription*) {
    return m_bAddParameters;
  }

  // Back to the state of a new command on the same error and connection (code pages read from
  // the connection again), the blocks of its texts and lists kept for the next text. For a
  // command nobody else holds.
  void Recycle();
  // Handed out by its keeper with the Recycle put off: a SELECT of a seek the statement's kept
  // one serves never writes into it; any other build recycles it first.
  void OweRecycle() { m_bRecycleOwed = true; }
  bool bRecycleOwed() const { return m_bRecycleOwed; }

  // ---- Kind ----
  void SetQueryType(eTYPEREQUETE type);
  void SetNAQueryType(eNAQUERYTYPE type) { m_eQueryType = type; }
  eNAQUERYTYPE eGetQueryType() const { return m_eQueryType; }
  BOOL bSetInternalQuery(const wchar_t* text, unsigned int length);

  // ---- Command text ----
  // length ~0u: up to the terminator. In rewrite mode a non-empty formatted SQL gets it too.
  BOOL bComplete(const wchar_t* text, unsigned int length = ~0u);
  BOOL bCompleteWithNumber(int number);
  // Parameters at or after position move by the text's length.
  void Insert(unsigned int position, const wchar_t* text);
  // count characters at position become text. Parameters after the span move by the change of
  // length; a parameter strictly inside it goes; one at position stays (one at position moves
  // when count is 0).
  void Replace(unsigned int position, unsigned int count, const wchar_t* text);
  // Parameters at or after length go.
  void Tronque(unsigned int length);
  // The text cut to length and the parameters from index count on released: one at the cut that
  // came before them stays (a parameter takes no room in the text).
  void TronqueParameters(unsigned int length, int count);
  const wchar_t* pszGetOriginalSQL() { return _Text().pszGetW(); }
  const char* pszGetOriginalSQLA() { return _Text().pszGetA(); }
  int nGetOriginalSQLLength() const { return _Text().nGetLength(); }
  BOOL bAddReturning(const wchar_t* columns);
  BOOL bAddRecordLock();

  // ---- Parameters ----
  BOOL bAddParameter(CNAParameter* parameter);
  // The value in a new holder (null: FALSE) through the virtual form, without a name.
  BOOL bAddParameter(const CAny* value, eOPEXPRESSION op, unsigned int options, CNAColumn* column, wchar_t escape,
                     CNAParameter::eNAPARAMETERINOUT direction);
  BOOL bAddParameterReturn(CNAConvertVariant* value);
  // The same as bAddParameter(value, -1, 0, column, 0, NA_PARAM_IN) for the SQL sent, the literal
  // written now into a CNAParameterLiteral: no value holder is made. A value whose literal
  // depends on more than its bytes and column goes through bAddParameter: one the holder would
  // convert or whose flags it would drop, a formatted SQL still wide, a column of no item type, a
  // writer that fails or answers in other code pages.
  BOOL bAddValueLiteral(const CAny* value, CNAColumn* column);
  // bAddValueLiteral of the column's current value (bGetCurrentValue's) read from the record's
  // bytes: a defined narrow text written without its value, a number or date-time of a fixed
  // width made from the element alone. 1 added, 0 failed, -1 (nothing added) where the value is
  // to be read as the column reads it.
  int nAddColumnLiteral(CNAColumn* column);
  CNAParameter* pclGetParameterNoRef(int index) const { return m_tabParameter[index]; }

  // ---- Formatted SQL written by its builder ----
  // A builder that knows every value's literal writes the formatted SQL itself, the bytes the
  // formatter would write for the same text and literal parameters, without either: Begin, then
  // pieces and literals in order, then End. Between Begin and End the command is not to be read.
  // After End the command text is the whole statement (values written in, no parameter) and the
  // formatted SQL its bytes; a builder that gives up resets the command.
  // Begin empties the command (kind kept); false, nothing changed, where the formatted SQL is
  // still wide.
  bool bBeginFormated();
  int nGetFormatedCodePage() const { return m_clFormated.nGetCodePage(); }
  int nGetFormatedAnsiCodePage() const { return m_clFormated.nGetAnsiCodePage(); }
  // n bytes of the formatted SQL's code page, as they are.
  void AddFormated(const char* bytes, int n) { m_clTextBytes.Add(bytes, n); }
  // n characters of ASCII command text that follow a literal, with the blank the formatter puts
  // between a literal and the text after it.
  void AddFormatedText(const char* ascii, int n);
  // The column's literal as _bAddColumnValue's literal road writes it (from the record's bytes,
  // else from bGetCurrentValue's value): 1 written, 0 failed (the value cannot be read), -1
  // (nothing written) where that road adds a parameter.
  int nAddFormatedColumnLiteral(CNAColumn* column);
  void EndFormated();
  // The first bind variable of that name (case and accents ignored); null when none.
  CNAParameter* pclGetParameterByNameNoRef(const wchar_t* name) const;
  // Index of the first bind variable at parameter's position; -1 when none.
  int nGetUserParamIndice(const CNAParameter* parameter) const;
  void _OffsetParameter(unsigned int from, int delta);
  // Every bind variable takes the host's current value of its name (cursor parameters never
  // asked); stops at the first failure. TRUE with nothing to refresh.
  BOOL bUpdateParametersValues();
  // The host's value of the parameter's name, when it has one of a type, goes into its holder:
  // the holder keeps its type for a text of the same width, else takes the host's. TRUE.
  BOOL _bUpdateParameterValue(INAQueryParametersValue* binds, CNAParameter* parameter);
  CNAConvertVariant* _vpclAllocVariant();
  CNAConvertVariant* _vpclGetNewVariant(CNAColumn* column, const CAny* value);

  // ---- Select columns and defines ----
  void AddDefine(CNAColumn* column);
  void AddDefine(const wchar_t* name, CNAConvertVariant* value);
  int nGetDefineNbr() const { return m_tabDefine.nGetCount(); }
  CNADefine* pclGetDefineNoRef(int index) const { return m_tabDefine[index]; }
  // Moves whenever the define list changes; unique among commands (one counter for all), and a
  // define never changes its column or value holder: an equal stamp is the same list.
  unsigned int nGetDefinesStamp() const { return m_nDefinesStamp; }
  BOOL _bAddColumnInSelect(const wchar_t* text);
  BOOL bAddSelectAdditionnalColumn(const wchar_t* name, CNAConvertVariant* value);
  BOOL bAddSelectAdditionnalColumn(const wchar_t* name, unsigned short valueType);
  BOOL bAddSelectAdditionalColumnInQueryFormat(const wchar_t* name, CNAConvertVariant* value);
  const wchar_t* pszGetAdditionalColumns() { return m_clAdditionalColumns.pszGetW(); }
  int nGetDefineMode() const { return m_nDefineMode; }
  void SetDefineMode(int mode) { m_nDefineMode = mode; }

  // ---- Row limit (read by the TOP-to-LIMIT rewrite) ----
  void SetRowLimit(long long limit, long long offset) {
    m_llRowLimit = limit;
    m_llRowOffset = offset;
  }
  long long llGetRowLimit() const { return m_llRowLimit; }
  long long llGetRowOffset() const { return m_llRowOffset; }

  // ---- Formatted SQL ----
  // The formatted SQL, built first when empty; null when the build fails.
  const wchar_t* pszGetFormatedSQL(ePARAMTYPECONV mode) { return pszGetFormatedSQLW(mode); }
  const wchar_t* pszGetFormatedSQLW(ePARAMTYPECONV mode);
  // In the connection's code page; *length (when asked) is its length in bytes, which the text
  // may not end at its first NUL.
  const char* pszGetFormatedSQLA(ePARAMTYPECONV mode, int* length = nullptr);
  // The builder itself (same rule); sent as its bytes and their count.
  CTStringConcatAW* pclGetFormatedSQL(ePARAMTYPECONV mode);
  void ResetFormatedSQL() {
    // A text written by its builder keeps its own bytes: it is read again from them.
    m_clFormated.Vide();
    m_bFormatedToLast = 0;
    m_clKeptTail.set = false;
  }
  // The last parameter replaced by parameter (referenced), which stands where it stood; the
  // formatted SQL keeps the bytes its last build wrote before that literal when the build noted
  // them (texts of one code page, no dialect rewrite before the literal), and the next request
  // writes the rest as a whole build would. FALSE, nothing changed, without a last parameter at
  // that place or in rewrite mode.
  BOOL bReplaceLastParameter(CNAParameter* parameter);
  void _CompleteFormatedSQL(const wchar_t* text, int length);
  // One blank before next unless the formatted SQL is empty, ends with a blank or next is one.
  void _AddSpaceBetween(wchar_t next);
  BOOL _bNeedParameterConversionToString(const CNAParameter* parameter, ePARAMTYPECONV mode) const;
  static BOOL _bNeedParameterConversionToString(const CNAConvertVariant* value, ePARAMTYPECONV mode);
  // The dump of text and parameters, written once and kept.
  const wchar_t* pszGetCommandDump();

  // ---- The host-parsed query the command is built from (referenced; null clears) ----
  void SetParsedQuery(CSQLParserInfo* query);
  CSQLParserInfo* pclGetParsedQueryNoRef() const { return m_pclParsedQuery; }
  // Outside rewrite mode, the parsed query's text after the last clause its parse ends (ORDER BY,
  // HAVING, GROUP BY, then WHERE) is appended: a trailing clause the parse does not cover stays.
  BOOL bFormatEndOfQuery();

  // ---- Query rewriting (nacommandrewrite.cpp) ----
  // Writes info's query, clause by clause, after the command text: physical quoted names, the
  // star expanded, expressions in the dialect, literals as parameters, filter's condition (may
  // be null or empty) ANDed into WHERE. keepOrderBy 0 leaves the query's ORDER BY out. mode 1 or
  // bit 4: only the ORDER BY and the host's item references are rewritten (rewrite mode). FALSE
  // with the reason in the error object: the command is then to be dropped.
  BOOL bFormatCondition(CSQLParserInfo* info, CNACommand* filter, int keepOrderBy, int mode);
  // Appends the attached query's ORDER BY rebuilt: names physical or as shown, directions kept or
  // inverted (no direction counts as ascending); the entries after a unique one are left out.
  BOOL bFormatORDERBY(int useShownName, int keepDirection);
  // Appends a filter condition the host parsed on its own (info's WHERE tree over its filter
  // text); names resolve against the query of the record info is bound to, when there is one.
  BOOL bAddFilterExpression(CSQLParserInfo* info);
  // Writes tree as a clause of kind from *cursor. For WHERE with a non-empty filter: the query's
  // condition in parentheses ANDed with the filter's, or a WHERE of the filter alone.
  BOOL bAddTreeExpression(CSQLParserInfo* info, CSQLParserInfo* queryInfo, const wchar_t* text,
                          IExpOpExpression* parent, IExpOpExpression* tree, CNASqlElt::eSQLELT kind,
                          unsigned int* cursor, CNACommand* filter);
  // Appends one expression of text alone: its extent, rewritten.
  BOOL bFormatSubExpression(CSQLParserInfo* info, const wchar_t* text, IExpOpExpression* parent,
                            IExpOpExpression* expression, CNASqlElt::eSQLELT kind);
  // Appends text with table's bind values as parameters and its item references as names
  // (whereNames: as in a WHERE clause, typing the parameter that follows).
  BOOL _bAddClause(CTabValParser* table, const wchar_t* text, ISQLParserInformation* parser, int whereNames);
  // The clause positions of kind in info's text; a missing clause stands just before the next
  // one present (a trailing LIMIT counts as one), else at the end of the text.
  BOOL _bGetClausePos(int* start, int* stop, CSQLParserInfo* info, CNASqlElt::eSQLELT kind);
  int _nGetClauseStart(CSQLParserInfo* info, CNASqlElt::eSQLELT kind);
  int _nGetClauseStop(CSQLParserInfo* info, CNASqlElt::eSQLELT kind);
  // table and item made original: a table that is no alias of the query becomes its physical
  // name (else its database name), an item its description's name.
  void _GetOriginalTableNameAndItemName(CSQLParserInfo* info, CTString* table, CTString* item);
  // The same, quoted, as table.item (the item alone without a table).
  void _GetFormatedOriginalTableNameAndItemName(CSQLParserInfo* info, const wchar_t* table, const wchar_t* item,
                                                CTString* out);
  // The description of item in table's source, with an external reference; null when none.
  INAItemDescription* _pclGetOriginalItemDesc(CSQLParserInfo* info, const wchar_t* table, const wchar_t* item);
  // The SELECT column table.item designates (with a table: a table column read through that
  // alias; without: the first shown so); null when none or when the host throws.
  static IInfoRubrique* _piGetInfoRubriqueFromAlias(CSQLParserInfo* info, const wchar_t* table, const wchar_t* item);

  // ---- Expressions (nacommandexpression.cpp) ----
  // Writes node's text from *cursor into out, the command text. item: the current item
  // description (held; the caller gives it back with __FreeItem), which types the literals below;
  // type: the forced item type (0 none). A null node writes nothing. FALSE stops the walk.
  BOOL _bExpressionToSQL(CSQLParserInfo* info, CSQLParserInfo* queryInfo, const wchar_t* text, IExpOpExpression* parent,
                         IExpOpExpression* node, CNASqlElt::eSQLELT kind, unsigned int* cursor, CTStringConcatAW* out,
                         INAItemDescription** item, eNA_ITEMTYPE type, unsigned int argIndex);
  // Writes every column reference of a tree in its plain form, left operand before right.
  BOOL _bExpressionColonneToSQL(CSQLParserInfo* info, const wchar_t* text, IExpOpExpression* node,
                                unsigned int* cursor, CTStringConcatAW* out);
  // A column reference as an UPDATE target: the qualifier made physical unless it is an alias.
  BOOL _bDoExpressionColonne(CSQLParserInfo* info, const wchar_t* text, IExpOpExpression* node, unsigned int* cursor,
                             CTStringConcatAW* out);
  // *out = the name node designates for kind; *item its description (held, the former given back).
  // A calculated column's expression instead, its literals as parameters at textLength (0: kept
  // in the text); one already being written raises error 32.
  BOOL _bFormatExpressionItemName(CSQLParserInfo* info, CSQLParserInfo* queryInfo, IExpOpExpression* parent,
                                  IExpOpExpression* node, CNASqlElt::eSQLELT kind, CTString* out,
                                  INAItemDescription** item, unsigned int textLength);
  BOOL FormatExpressionItemName(CTString* out, CNASqlElt::eSQLELT kind, eOPEXPRESSION op, IExpOpExpression* node,
                                INAItemDescription* item, const wchar_t* table, const wchar_t* name);
  // *name becomes the item reference table.name written for a WHERE clause.
  void _FormatItemNameInWHEREClause(ISQLParserInformation* parser, const wchar_t* table, CTString* name,
                                    CNAParameter* parameter);
  // out = a calculated column's expression, rewritten in a fresh command; its parameters join this
  // command at textLength (0: literals stay in the text).
  BOOL bFormatExpressionColonneCalculee(CSQLParserInfo* info, IInfoRubrique* column, IExpOpExpression* parent,
                                        CNASqlElt::eSQLELT kind, CTString* out, unsigned int textLength);
  // Appends the calculated SELECT column shown as name; FALSE when there is none.
  BOOL bFormatExpressionColonneCalculee(CSQLParserInfo* info, const wchar_t* name, CNASqlElt::eSQLELT kind);
  static BOOL s_bFormatExpressionColonneCalculee(CTString* out, CSQLParserInfo* info, const wchar_t* name,
                                                 CNASqlElt::eSQLELT kind, CNAError* error,
                                                 CNAConnectionDescription* cnx);
  // The literal node becomes a parameter typed by item (or type) unless parameters are off; then
  // it stays as the host wrote it (see _KeepLiteral).
  BOOL _bDoExpressionLiteral(CSQLParserInfo* info, const wchar_t* text, IExpOpExpression* parent,
                             IExpOpExpression* node, CNASqlElt::eSQLELT kind, INAItemDescription* item,
                             unsigned int* cursor, CTStringConcatAW* out, eNA_ITEMTYPE type);
  // Brings value to the type the comparison needs: a date in the server's own text compared
  // with a date column's digits becomes those digits whole; host digits of dates and times
  // compared for equality are completed to the item's length (no other text is); then cast. A
  // value that does not cast stays as it is.
  BOOL FormatExpressionLiteral(CNASqlElt::eSQLELT kind, eOPEXPRESSION op, IExpOpExpression* parent,
                               INAItemDescription* item, eNA_ITEMTYPE type, CNAConvertVariant* value);
  // The forced type of argument argIndex of node; may give back the current item.
  eNA_ITEMTYPE _eTypeParameter(CNASqlElt::eSQLELT kind, IExpOpExpression* node, unsigned int argIndex,
                               eNA_ITEMTYPE type, INAItemDescription** item);
  // After node: whether the current item still types what follows.
  void _TypeRetour(CNASqlElt::eSQLELT kind, IExpOpExpression* node, INAItemDescription** item);
  static BOOL _bLastOperande(IExpOpExpression* node, unsigned int argIndex);
  static void __FreeItem(INAItemDescription** item);
  // A date column compared with an empty literal: a NULL test after the left operand, or a
  // constant condition in place of the comparison (out cut back to textLength, the text from
  // cursorBefore copied). FALSE, nothing written, when it does not apply.
  BOOL _bExpressionDateEmpty(CTStringConcatAW* out, unsigned int* cursor, IExpOpExpression* comparison,
                             const wchar_t* text, unsigned int textLength, INAItemDescription* item,
                             unsigned int cursorBefore);
  // A ucs2 or 3-byte UTF-8 column compared for equality with a text holding a character above
  // U+FFFF, which the server refuses to compare and no row holds: " 0=1 " in place of an "=",
  // " IS NOT NULL " after the column for a "<>" (as _bExpressionDateEmpty writes them). FALSE,
  // nothing written, when it does not apply.
  BOOL _bExpressionAboveBmp(CTStringConcatAW* out, unsigned int* cursor, IExpOpExpression* comparison,
                            const wchar_t* text, unsigned int textLength, CSQLParserInfo* info,
                            INAItemDescription* item, unsigned int cursorBefore);
  // Whether item's column holds no character above U+FFFF on a UTF-8 connection: its imported
  // column's facts, or before any result (a query's first run) its table's own. An item naming no
  // source is the column of the FROM entry that the qualifier of parent's first operand names,
  // else of the only entry holding its name; with neither, FALSE (the literal goes as written).
  bool _bBmpOnlyColumn(CSQLParserInfo* info, INAItemDescription* item, IExpOpExpression* parent);
  // Copies text from *cursor up to node's place.
  void _bCopyPreviousQueryContent(CTStringConcatAW* out, unsigned int* cursor, IExpOpExpression* node,
                                  const wchar_t* text);
  // Where a node stands: its extent, or its position for codes 1 and 3 and without an extent.
  static stTEXTPOSITION _stGetPositionExpression(IExpOpExpression* node);

  // ---- Rewriting state (the query rewriting sets it) ----
  void SetRewriteMode(BOOL on) { m_bRewriteMode = on ? 1 : 0; }
  BOOL bIsRewriteMode() const { return m_bRewriteMode; }
  BOOL bIsAddParameters() const { return m_bAddParameters; }
  void SetAddParameters(BOOL on) { m_bAddParameters = on ? 1 : 0; }
  BOOL bIsDialect5() const { return m_dwDialect5; }
  // A condition written after a query closed as a derived table names the query's columns as
  // that table shows them: by their name as shown, with no table.
  void SetBehindSubQuery(BOOL on) { m_bBehindSubQuery = on ? 1 : 0; }
  BOOL bIsBehindSubQuery() const { return m_bBehindSubQuery; }
  // A condition of an UPDATE or DELETE through a query names its columns by the table the write
  // names (empty: by their table as the query names it), since the query's alias of the table is
  // not known to the write.
  void SetWrittenTable(const wchar_t* table) { m_csWrittenTable = table; }
  const wchar_t* pszGetWrittenTable() const { return m_csWrittenTable.pszGet(); }

  // ---- LIKE ----
  // out = a pattern that matches exactly text with escape (0: the backslash); an empty text
  // leaves out null. FALSE with user error 12 when out cannot be sized.
  BOOL bEscapeLIKEParamAsKJParam(CXYString<wchar_t>* out, const wchar_t* text, wchar_t escape);
  BOOL bEscapeLIKEParamAsKJParam(CXYString<char>* out, const char* text, char escape);
  // Dialect 3: the escapes of a written pattern literal become the connection's texts.
  void _ChangeEscapement(CTStringConcatAW* literal, wchar_t escape);

  // ---- NULL-selected columns ----
  BOOL bColumnValuesNullSelected(const CNAColumn* column) const;
  BOOL bCombineColumnValuesNullSelected(eNAOperator op, CColumnNullValueExcluded* other);
  BOOL bCopyColumnValuesNullSelected(CColumnNullValueExcluded* other);
  // Makes the set when missing; FALSE with user error 12 when it cannot.
  BOOL _bInitColumnNullValueExcluded();
  CColumnNullValueExcluded* pclGetColumnNullValueExcludedNoRef() const { return m_pclNullExcluded; }

  CNAConnectionDescription* pclGetCnxNoRef() const { return m_pclCnx; }
  CNAError* pclGetErrorNoRef() const { return m_pclError; }

  // ---- Scanners of SQL text (wide, terminated; null counts as empty) ----
  // TAB, LF, CR, blank and ! % ( ) * + , - / =.
  static BOOL s_bSeparateur(wchar_t c);
  // Backward search for keyword (any case) from `from` (-1: the end) down to index 1, skipping
  // string literals and the connection's quoted names; the keyword needs a separator on each
  // side. Its index, or -1.
  static int s_nGetClauseStart(const CNAConnectionDescription* cnx, const wchar_t* text, const wchar_t* keyword,
                               int from);
  static BOOL s_bGetItemNameAndPos(CTString* name, unsigned int* start, unsigned int* end, const wchar_t* text,
                                   unsigned int from);
  // A SELECT with a LIMIT clause or a TOP phrase.
  static BOOL s_bQueryResultsetLimited(const CNAConnectionDescription* cnx, const wchar_t* text);
  // SET, one name and one value (or less), then only blanks and semicolons.
  static BOOL s_bIsQuerySet(const wchar_t* text);
  static BOOL s_bRequeteTerminePar(const wchar_t* text, const wchar_t* word);
  static BOOL s_bSuiteRequeteCommencePar(const wchar_t* text, const wchar_t* word);
  static int s_nGetPosSuiteRequete(const wchar_t* text, const wchar_t* word);
  static BOOL s_bSuiteRequeteCommenceParMot(const wchar_t* text, const wchar_t* word);

  static constexpr int kSourceFile = 10;

 protected:
  // ---- Rewriting pieces: each copies the text from *cursor to its piece, writes it and leaves
  // *cursor after it ----
  void _SetSQLParserInfo(CSQLParserInfo* info);
  BOOL _bFormatSELECTList(unsigned int* cursor, const wchar_t* text, CSQLParserInfo* info);
  BOOL _bFormatAlias(unsigned int* cursor, const wchar_t* text);
  BOOL _bAddFromClause(unsigned int* cursor, const wchar_t* text, CSQLParserInfo* info, const CNASqlElt* piece);
  BOOL _bAddJoinClause(unsigned int* cursor, const wchar_t* text, CSQLParserInfo* info, const CNASqlElt* piece);
  BOOL _bFormatGROUPBY(unsigned int* cursor, const wchar_t* text, CSQLParserInfo* info);
  BOOL _bFormatORDERBY(unsigned int* cursor, const wchar_t* text, int keepOrderBy, int keepDirection,
                       int useShownName, int* uniqueReached);
  BOOL _bAddItemInORDERBY(CSQLParserInfo* info, IInfoRubrique* column, int index, const wchar_t* text,
                          const stTEXTPOSITION& position, int useShownName, int* unique);
  BOOL _bFormatINSERTUPDATEList(unsigned int* cursor, const wchar_t* text, CSQLParserInfo* info);
  // _bAddClause over [*cursor, end) of text: entries before *cursor are passed over, those from
  // end on left to what follows.
  BOOL _bAddClauseBetween(CTabValParser* table, const wchar_t* text, ISQLParserInformation* parser, int whereNames,
                          unsigned int* cursor, unsigned int end);
  void _FormatTableName(ISQLParserInformation* parser, const wchar_t* table, CTString* out);
  void _FormatItemName(const wchar_t* item, CTString* out);
  void _FormatTableAndItemName(const wchar_t* table, const wchar_t* item, CTString* out);
  // ---- Expression pieces ----
  BOOL _bDoExpressionArgument(CSQLParserInfo* info, const wchar_t* text, IExpOpExpression* parent,
                              IExpOpExpression* node, CNASqlElt::eSQLELT kind, unsigned int* cursor,
                              CTStringConcatAW* out, int before, unsigned int argIndex);
  BOOL _bDoExpressionOperator(CSQLParserInfo* info, const wchar_t* text, IExpOpExpression* parent,
                              IExpOpExpression* node, CNASqlElt::eSQLELT kind, unsigned int* cursor,
                              CTStringConcatAW* out);
  BOOL _bDoExpressionColonne(CSQLParserInfo* info, CSQLParserInfo* queryInfo, const wchar_t* text,
                             IExpOpExpression* parent, IExpOpExpression* node, CNASqlElt::eSQLELT kind,
                             unsigned int* cursor, CTStringConcatAW* out, INAItemDescription** item);
  // Argument argIndex of parent written in a fresh command and joined here.
  BOOL _bWriteArgumentAhead(CSQLParserInfo* info, const wchar_t* text, IExpOpExpression* parent,
                            unsigned int argIndex, CNASqlElt::eSQLELT kind, CTStringConcatAW* out);
  // A fresh command of the driver's on this one's error and connection, sharing its chain of
  // calculated columns; referenced for the caller, null (no-memory error) when none.
  CNACommand* _pclNewSubCommand();
  // ---- Text of the walk: into the command text through bComplete, elsewhere as it is ----
  void _Append(CTStringConcatAW* out, const wchar_t* text, int length = -1);
  // Copies text[*cursor, to) (never past the text's end) and moves *cursor to `to`; nothing
  // when *cursor is at or past it.
  void _CopyText(CTStringConcatAW* out, const wchar_t* text, unsigned int* cursor, unsigned int to);
  // A literal node left in the text: as the host wrote it, but for its backslashes, doubled where
  // the session reads a backslash in a literal as an escape.
  void _KeepLiteral(CTStringConcatAW* out, const wchar_t* text, unsigned int* cursor, IExpOpExpression* node);
  void _Truncate(CTStringConcatAW* out, unsigned int length);

  // The builders' code pages: the formatted SQL is narrow once the connection's code page is
  // known.
  int _nFormatedCodePage() const;
  // Appends a literal written in a builder of _nFormatedCodePage: as its bytes when both are
  // narrow text of one code page, else as wide text.
  void _AppendLiteral(CTStringConcatAW* literal);
  BOOL _bAddParameters(CNACommand* other, eADDMMODE mode, unsigned int offset);
  // The formatted SQL from parameter first on, previous the text position written up to, then
  // the text after the last one and the dialect's row limit rewrite. A failure empties it.
  // resumed: the formatted SQL already ends with the text before parameter first.
  BOOL _bFormatFrom(int first, unsigned int previous, bool resumed, ePARAMTYPECONV mode);
  // The refresh with the parsed query's bind values (TRUE without them).
  BOOL _bUpdateParameterValue(CNAParameter* parameter);
  // The dialect flag and the texts' code pages, from the connection.
  void _SetConnectionFacts();
  // The dialect's row-limit rewrite of a formatted SQL just built: forgets where the last
  // literal was written when it moved bytes.
  void _RewriteRowLimit();
  // After a build of text (n characters) that noted its last literal (ending at literalEnd; the
  // text after it from previous; rewriteAt the length before the row-limit rewrite): what it wrote after that literal
  // is kept when nothing of it was read from before the literal.
  void _KeepTail(const wchar_t* text, unsigned int n, int literalEnd, unsigned int previous, int rewriteAt);
  // A resumed build of text (n characters), its last literal just written, the text after it
  // from previous: the kept
  // tail appended when this build would write it the same (same text after the literal, blank
  // rule, row limit, dialect, form of the formatted SQL). FALSE, nothing written, otherwise.
  bool _bAppendKeptTail(const wchar_t* text, unsigned int n, unsigned int previous);
  // Whether the kept tail is what this build writes after the literal ending at previous of text
  // (n units), the literal's last unit a blank or not (endsBlank).
  [[gnu::always_inline]] inline bool _bKeptTailFits(const wchar_t* text, unsigned int n, unsigned int previous,
                                                    bool endsBlank);
  // A resumed build whose last parameter writes an integer's digits (_bIntegerDigits) and whose
  // kept tail applies (as _bAppendKeptTail tells): both appended at once. FALSE, nothing written,
  // otherwise: the general road then writes the same.
  bool _bResumeIntegerWithKeptTail();
  // The digits _bAddParameterFormated writes for parameter when they are those of its holder's
  // own integer value, as s_bAppendIntegerLiteral gives them: a parameter without options or a
  // written literal. false otherwise.
  bool _bIntegerDigits(CNAParameter* parameter, CLiteralText* digits) const;
  // LIMIT into TOP (dialects 1-3) and TOP into LIMIT (5, 6) on the formatted SQL, a SELECT
  // (_RewriteRowLimit tells).
  void _RemplaceLimitParTop();
  // TRUE when a TOP phrase was cut from the head.
  bool _RemplaceTopParLimit();

  CNAError* m_pclError;
  CNAConnectionDescription* m_pclCnx;
  int32_t m_bRewriteMode = 0;
  eNAQUERYTYPE m_eQueryType = NA_QUERY_NONE;
  int32_t m_nRewritingWord = 0;
  CSQLParserInfo* m_pclParsedQuery = nullptr;
  // The command text (see _Text()).
  mutable CTStringConcatAW m_clTextHeld;
  // Set by EndFormated: the text is m_clTextBytes (code page m_nTextBytesCodePage, where the
  // builder gathered the statement between Begin and End), widened into m_clTextHeld on its first
  // reading.
  mutable int32_t m_bTextInFormated = 0;
  int32_t m_nTextBytesCodePage = 0;
  CXYStringConcat<char> m_clTextBytes{256};
  // Every reading and change of the command text goes through here.
  CTStringConcatAW& _Text() const {
    if (m_bTextInFormated) _WidenText();
    return m_clTextHeld;
  }
  void _WidenText() const;
  CRefArray<CNAParameter> m_tabParameter{50, 30};
  int32_t m_bAddParameters = 1;
  bool m_bRecycleOwed = false;
  uint32_t m_dwDialect5 = 0;
  CTStringConcatAW m_clAdditionalColumns;
  int32_t m_nDefineMode = 3;
  CRefArray<CNADefine> m_tabDefine{50, 30};
  void _DefinesChanged() { m_nDefinesStamp = ++s_nDefinesStampGenerator; }
  static std::atomic<unsigned int> s_nDefinesStampGenerator;
  unsigned int m_nDefinesStamp = ++s_nDefinesStampGenerator;
  // The defines of the last text that had any before a Recycle, one reference each: AddDefine
  // takes one back for the same place, column and value holder.
  CRefArray<CNADefine> m_tabSpareDefine{50, 30};
  long long m_llRowLimit = -1;
  long long m_llRowOffset = -1;
  CTStringConcatAW m_clFormated;
  // Where the last build wrote its last parameter's literal in m_clFormated (-1: not noted), that
  // parameter's place in the text and the build's mode; m_bFormatedToLast: m_clFormated holds
  // only the bytes before that literal (bReplaceLastParameter).
  int m_nLastLiteralAt = -1;
  unsigned int m_nLastLiteralPosition = 0;
  ePARAMTYPECONV m_eFormatedMode = NA_PARAMCONV_NONE;
  int32_t m_bFormatedToLast = 0;
  // What the last build wrote after its last literal and what that was made of (_KeepTail).
  struct STKeptTail {
    bool set = false;
    bool wide = false;
    bool literalEndsBlank = false;
    unsigned int previous = 0;
    long long rowLimit = -1, rowOffset = -1;
    int dialect = 0;
    std::wstring text;  // the command text after the literal
    std::string units;  // the formatted SQL's units after the literal (wide: wchar_t's bytes)
  } m_clKeptTail;
  // Scratch of _bAddParameterFormated: one parameter's literal at a time.
  CTStringConcatAW m_clLiteral;
  CTStringConcatAW m_clDump;
  // The calculated columns being written, innermost first (on the stack of their writers).
  struct STCalculChain {
    IInfoRubrique* column;
    const STCalculChain* previous;
  };
  const STCalculChain* m_pCalculChain = nullptr;
  CColumnNullValueExcluded* m_pclNullExcluded = nullptr;
  // The set a Recycle emptied, for the next text's set.
  CColumnNullValueExcluded* m_pclSpareNullExcluded = nullptr;
  int32_t m_bBehindSubQuery = 0;
  CTString m_csWrittenTable;

 private:
  // A literal parameter nobody else holds from m_tabLiteral (from m_nLiteralNext on), else a new
  // one, kept while there is room; null without memory.
  CNAParameterLiteral* _pclTakeLiteral();
  // The column's database and analysis types for a literal, m_clLiteral emptied for it; false
  // where the literal road does not apply (no connection or item type, a wide formatted SQL).
  bool _bLiteralTypes(CNAColumn* column, eNA_ITEMTYPE* db, eNA_ITEMTYPE* analysis);
  // m_clLiteral's bytes are those of the formatted SQL's code page (else the formatter converts).
  bool _bLiteralOfFormated() const;
  // m_clLiteral (of the formatted SQL's code page) as a literal parameter at the end of the text:
  // 1 added, 0 failed.
  int _nAddWrittenLiteral();
  // bAddValueLiteral's literal once _bLiteralTypes gave db and analysis, into m_clLiteral: 1
  // written, -1 where the value goes as a parameter.
  int _nValueLiteral(const CAny* value, CNAColumn* column, eNA_ITEMTYPE db, eNA_ITEMTYPE analysis);
  // A BIT column's bytes into m_clLiteral as the number they stand for (0x..., or 0 for none):
  // the server compares a BIT column with a quoted or X'' string as the number 0. false, nothing
  // written, for a NULL or any other column.
  bool _bBitLiteral(const CNAColumn* column, const CAny* value);
  // nAddColumnLiteral's literal into m_clLiteral, nothing added: 1 written; -1 where the value is
  // to be read as the column reads it; -2 where the value made from the element (in *value) goes
  // as a parameter.
  int _nRecordLiteral(CNAColumn* column, CAny* value);

  // nAddFormatedColumnLiteral's literal where the element alone tells it (bElementLiteralText, a
  // plain narrow text or a date-time's fields the connection writes itself, or NULL for an
  // undefined item): 1 written, -1 nothing written.
  int _nAddFormatedFromElement(CNAColumn* column);
  // The literal parameters this command made, one reference each (at most kLiteralsKept); the
  // search for a free one starts at m_nLiteralNext, back to 0 when the parameters go.
  static constexpr int kLiteralsKept = 64;
  CRefArray<CNAParameterLiteral> m_tabLiteral{16, 30};
  int32_t m_nLiteralNext = 0;
  // The parameter list fits the text: positions in order and within it. Otherwise error 24.
  BOOL _bCheckPositions();
};

// The driver's factory's twin: a new command, null without memory.
CNACommand* pclAllocCommand(CNAError* error, CNAConnectionDescription* cnx);
