// CNAExpression: one node of a search or filter condition (sql/narecherche.h builds the trees):
// AND, OR and NOT over operands, a leaf comparing one column with one value, a constant (0=1,
// 1=1), or a leaf holding a condition the host parsed. bGetSQL writes a tree as WHERE text into a
// command, each value becoming a parameter of the command (written as a literal later), and folds
// on the way what needs no server: a comparison decided for every row becomes a constant and
// leaves its AND or OR parent.
//
// Ownership: a node holds a reference on its operands, its column, its value, its parsed
// condition and a count on its error object, and owns its NULL-selected set. The parameters a
// write makes are held by the command and by the search that asked for the write.
//
// Rules every write keeps:
// - Writing is destructive for what folds: a node that folds keeps its constant (10 or 11) as its
//   operator, and a leaf's simplified operator stays; writing the tree again gives the same text.
// - Whatever a fold cuts from the text takes its parameters with it, from the command and from
//   the search; a parameter at the cut that belongs to the text before it stays.
// - A parameter that cannot be made fails the leaf; the rest of the tree is still written.
// - Column names and parsed conditions are written by the command's query rewriting: a date or
//   time column compared as digit text where it says so (with a value of that text), a calculated
//   column of a host query as its bracketed expression. NULL tests and date ranges name the plain
//   column.
// Callers hold the driver mutex.
#pragma once

#include <cstdint>

#include "common/ctstring.h"
#include "common/interf.h"
#include "platform/wintypes.h"
#include "sql/nacolumnlist.h"
#include "sql/naitemtype.h"

class CAny;
class CNAColumn;
class CNACommand;
class CNAConnectionDescription;
class CNAConvertVariant;
class CNAError;
class CNAParameter;
class CNARecherche;
class CNARecord;
class CSQLParserInfo;
class CTString;
class ISQLParserInformation;

// Flags of a node. The other bits come from the search and are carried as they are.
// Starts-with: LIKE on texts, a range on partial dates.
constexpr unsigned int NA_EXPR_GENERIC = 0x1;
// The lower and the upper bound of a filter range.
constexpr unsigned int NA_EXPR_LOWER = 0x40;
constexpr unsigned int NA_EXPR_UPPER = 0x80;
// A component of a composite key.
constexpr unsigned int NA_EXPR_COMPONENT = 0x100;
// A text column compared by its bytes, not under its collation.
constexpr unsigned int NA_EXPR_BYTES = 0x200;
// A comparison that goes on past a search's matches: its value is no host stand-in for NULL,
// since the matches never take the NULL keys.
constexpr unsigned int NA_EXPR_PAST_MATCHES = 0x400;

class CNAExpression : public CInterf {
 public:
  // An empty node (operator 0: no condition); counts error.
  explicit CNAExpression(CNAError* error);
  ~CNAExpression() override;
  CNAExpression(const CNAExpression&) = delete;
  CNAExpression& operator=(const CNAExpression&) = delete;

  // ---- Virtual operations, in their order ----
  // A new empty node of this node's class (not referenced); null without memory.
  virtual CNAExpression* pclAllocExpression();
  // Writes this leaf (a comparison or a constant). *folded: 1 when it turned into a constant and
  // wrote nothing.
  virtual BOOL _bGetSQLFromValue(CNACommand* command, CNARecherche* search, int* folded);

  // ---- Building (new nodes are not referenced; null without memory) ----
  CNAExpression* pclAllocExpression(eNAOperator op, CNAExpression* left, CNAExpression* right, unsigned int flags);
  CNAExpression* pclAllocExpression(eNAOperator op, CNAColumn* column, CNAConvertVariant* value, unsigned int flags);
  // Operator 9 over a new snapshot of condition (no bind values, no ORDER BY).
  CNAExpression* pclAllocExpression(ISQLParserInformation* condition, unsigned int flags);
  // (op, this, right) with this node's flags.
  CNAExpression* pclAddOperation(eNAOperator op, CNAExpression* right);
  // Each sets the members (references taken), then the flags through _SetFlag.
  void InitExpression(eNAOperator op, CNAExpression* left, CNAExpression* right, unsigned int flags);
  void InitExpression(eNAOperator op, CNAColumn* column, CNAConvertVariant* value, unsigned int flags);
  BOOL InitExpression(ISQLParserInformation* condition, unsigned int flags);
  // A leaf shares column and value with its copy; a node copies its operands. Null without memory.
  CNAExpression* pclClone();
  // This leaf as a new one on its column would be: op, value (referenced) and flags, and no
  // NULL-selected set of an earlier write.
  void RenewLeaf(eNAOperator op, CNAConvertVariant* value, unsigned int flags);
  // When old is an operand, replacement takes its place (referenced) and old is released.
  void Insert(CNAExpression* old, CNAExpression* replacement);

  // The tree for a browse past an equality (op > or <): a starts-with leaf on a text, date or time
  // becomes, for >, NOT(the leaf) AND (column > value) in its parent; any other = leaf takes op
  // (inverted on a column the host query sorts descending); the leaves changed are marked as going
  // past the matches. Returns what stands in this node's place: the new AND node, or this node.
  CNAExpression* pclTransformEqualTo(CNARecord* record, CNAExpression* parent, eNAOperator op);

  // Writes the tree. parent is the operator of the node above (0 at the top); *folded is 1 when
  // the tree turned into a constant, which is then its operator and wrote nothing. FALSE when a
  // parameter or a set could not be made (the text of the rest is still written).
  BOOL bGetSQL(CNACommand* command, eNAOperator parent, CNARecherche* search, int* folded, CNARecord* record);

  // A comparison whose text, written by bGetSQL, depends on its value only through the literal of
  // its parameter: on a number column of the table, = without a flag, or a browse's > or < past a
  // row (NA_EXPR_PAST_MATCHES and its search's bits) on a column unique and never NULL; a value
  // that is not NULL.
  // answered: a column whose share of the answer (its kind, composite key and item type, all its
  // own for its life) was yes for =, taken again without asking it when this is = on it.
  BOOL bValueOnlyInLiteral(const CNAColumn* answered = nullptr) const;
  // The write of such a leaf repeated for its value as it is now, its text left where the last
  // write put it: a new parameter for search (cleared before) at conditionAt, its copy at selectAt
  // in place of command's last parameter (CNACommand::bReplaceLastParameter), the leaf's
  // NULL-selected set as a write leaves it. ownKept and copyKept, when given, are the parameters
  // of the last write, held by search and command alone: they take a holder of the new value
  // instead, being what new ones on it would be. FALSE when a parameter cannot be made or placed.
  // conversion: eWhereConversion(command) as the caller found it for this leaf's column and
  // operator (their item type and the command's dialect are theirs for good); null: asked here.
  BOOL bRewriteValue(CNACommand* command, CNARecherche* search, unsigned int conditionAt, unsigned int selectAt,
                     CNAParameter* ownKept = nullptr, CNAParameter* copyKept = nullptr,
                     const eNA_ITEMTYPE* conversion = nullptr);
  // The item type the write of this leaf converts its value to in command's WHERE (NA_IT_EMPTY:
  // none).
  eNA_ITEMTYPE eWhereConversion(CNACommand* command) const;

  // The leaf names its row by the server's own text of the value, literal (ASCII, of the kind an
  // eNASERVERTEXT says): written in place of the value's. A new value (InitExpression on a
  // column, RenewLeaf) drops it; a clone keeps it.
  void SetServerLiteral(const wchar_t* literal, int kind);
  BOOL bHasServerLiteral() const { return m_csServerLiteral.nTaille() > 0 ? TRUE : FALSE; }

  // Whether the node's condition lets the NULL values of column through.
  BOOL bColumnValuesNullSelected(const CNAColumn* column) const;
  CColumnNullValueExcluded* pclGetColumnNullValueExcludedNoRef() const { return m_pclNullExcluded; }

  eNAOperator eGetOperator() const { return m_eOperator; }
  unsigned int dwGetFlags() const { return m_dwFlags; }
  BOOL bIsGenerique() const { return (m_dwFlags & NA_EXPR_GENERIC) != 0 ? TRUE : FALSE; }
  CNAExpression* pclGetLeftNoRef() const { return m_pclLeft; }
  CNAExpression* pclGetRightNoRef() const { return m_pclRight; }
  CNAColumn* pclGetColumnNoRef() const { return m_pclColumn; }
  CNAConvertVariant* pclGetValueNoRef() const { return m_pclValue; }
  CSQLParserInfo* pclGetParsedConditionNoRef() const { return m_pclParsed; }

  // ---- Statics ----
  // The operator's text ("" for one without).
  static const wchar_t* s_pszDumpOp(eNAOperator op);
  // The host parser's code of the operator; -1 when none.
  static int Convert_eNAOperator_To_eOPEXPRESSION(eNAOperator op);
  // > and <, >= and <= swapped; the rest as it is.
  static eNAOperator s_eInvertOperator(eNAOperator op);
  // 1 when the record's host query sorts column descending; 0 otherwise.
  static int s_eGetSensTriColonne(CNARecord* record, CNAColumn* column);
  // Whether a browse on the item browse reads column downwards: as its query sorts it, or, on a
  // table, every column of a browse on a descending key.
  static bool s_bDescendingInBrowse(CNARecord* record, CNAColumn* column, INAItemDescription* browse);
  // Whether column op value holds for every row: >= an empty text, <= a text starting with the
  // highest character, >= or <= NULL by the connection's NULL order, >= false and <= true.
  static BOOL s_bExpressionTrue(eNAOperator op, CNAConnectionDescription* cnx, const CAny* value);
  static BOOL _s_bExpressionTrueString(eNAOperator op, CNAConnectionDescription* cnx, const CAny* value);
  // The first and the last-plus-one value a partial date or time text stands for, of the host
  // type of the item type (HEURE a time, DATE8 a date, the others a date-time). FALSE for an
  // empty text or one the completion refuses.
  static BOOL s_bGetBorneRechercheDateMin(eNA_ITEMTYPE type, const CAny* partial, CAny* bound);
  static BOOL s_bGetBorneRechercheDateMax(eNA_ITEMTYPE type, const CAny* partial, CAny* bound);
  static BOOL s_bGetBorneRechercheDateGenerique(eNA_ITEMTYPE type, const CAny* partial, CAny* min, CAny* max);

  static constexpr int kSourceFile = 14;

 protected:
  // The flags; a starts-with on a composite component's text keeps its bit only for a value that
  // is a non-empty text.
  void _SetFlag(unsigned int flags);
  BOOL _bGetSQLFromSQL(CNACommand* command, CNARecherche* search, CNARecord* record);
  // The column's name as the WHERE clause writes it.
  BOOL _FormatItemNameExp(CTString* out, CNACommand* command, eNAOperator op);
  BOOL _bGetSQLFromValueNULL(const wchar_t* name, CNACommand* command, int* folded);
  BOOL _bGetSQLFromValueString(const wchar_t* name, CNACommand* command, CNARecherche* search, BOOL nullTest,
                               int* folded);
  // written, when given, is the literal's value in place of the leaf's.
  BOOL _bGetSQLFromValueUsingParameter(const wchar_t* name, CNACommand* command, CNARecherche* search, BOOL like,
                                       BOOL nullTest, const CAny* written = nullptr);
  // A new holder (referenced for the caller) of the leaf's value as its parameter carries it:
  // converted to conversion for a column compared as that type, else read through the column's
  // items. Null when none can be made.
  CNAConvertVariant* _pclNewParameterValue(CNARecherche* search, eNA_ITEMTYPE conversion);
  // _pclNewParameterValue's value, in the holder kept (held references: its holders') restarted
  // as new when it can be, else in a new one; one reference for the caller either way.
  CNAConvertVariant* _pclRenewParameterValue(CNARecherche* search, eNA_ITEMTYPE conversion, CNAConvertVariant* kept,
                                             unsigned int held);
  // What _pclNewParameterValue does to its new holder.
  void _FillParameterValue(CNAConvertVariant* holder, eNA_ITEMTYPE conversion);
  // The error a parameter's holder reports into: the search's, else the leaf's.
  CNAError* _pclParameterError(CNARecherche* search) const;
  BOOL _bGetSQLFromValueUsingParameterAddOpLike(CNAConvertVariant* holder, CNACommand* command);
  BOOL _bGetSQLFromValueDateTime(const wchar_t* name, CNACommand* command, CNARecherche* search, BOOL nullTest);
  // name op the server's literal, with its NULL test.
  BOOL _bGetSQLFromServerLiteral(const wchar_t* name, CNACommand* command, BOOL nullTest);
  // " OR name IS NULL)", closing the bracket a NULL test opened.
  void _CloseNullTest(CNACommand* command);
  // The text after the column's name that selects its NULLs (" IS NULL", or the connection's
  // own for a date column it may hold NOT NULL).
  const wchar_t* _pszIsNull(const CNAConnectionDescription* cnx) const;
  // A parameter for holder (referenced by the parameter) at the end of the command's text, typed
  // by the column, or by the value itself with typedByValue.
  BOOL _bAddParameter(CNACommand* command, CNARecherche* search, CNAConvertVariant* holder, unsigned int options,
                      BOOL typedByValue);
  // Boolean and text simplifications of a leaf's operator.
  void _ProcessBoolean();
  void _ProcessString();
  // Writes an operand of AND, OR or NOT (none: nothing, not folded).
  BOOL _bWriteOperand(CNAExpression* operand, CNACommand* command, eNAOperator parent, CNARecherche* search,
                      int* folded, CNARecord* record);
  // The text back to length and the parameters back to count, in the command and the search.
  static void _CutBack(CNACommand* command, CNARecherche* search, unsigned int length, int count);
  BOOL _bInitColumnNullValueExcluded();
  BOOL _bSetColumnValuesNullSelected(BOOL selected);
  BOOL _bCombineColumnValuesNullSelected(CNAExpression* left, CNAExpression* right);
  BOOL _bCopyColumnValuesNullSelected(CNAExpression* operand, int invert);
  CNAConnectionDescription* _pclGetCnx() const;

  CNAError* m_pclError;
  eNAOperator m_eOperator = NA_OP_NONE;
  CNAExpression* m_pclLeft = nullptr;
  CNAExpression* m_pclRight = nullptr;
  CNAColumn* m_pclColumn = nullptr;
  CNAConvertVariant* m_pclValue = nullptr;
  unsigned int m_dwFlags = 0;
  CSQLParserInfo* m_pclParsed = nullptr;
  CColumnNullValueExcluded* m_pclNullExcluded = nullptr;
  // The set a renewed leaf let go, as it was, for the next set it makes (emptied then, unless it
  // is already what that one is to hold).
  CColumnNullValueExcluded* m_pclSpareNullExcluded = nullptr;
  CTString m_csServerLiteral;
  int m_nServerLiteralKind = 0;
};
