// CNARecherche: a key search as three condition trees (sql/naexpression.h): the equal tree (the
// rows whose key equals or starts with the searched value), the after tree (the rows beyond them
// in key order) and the before tree (the rows before them), and the parameters its last write
// made. Composite keys become chains of per-component comparisons; the host's minimum and maximum
// fill values inside a searched value open the bound they stand for. A filter (sql/nafilter.h) is
// a search. Also here: eCheckValue (is a value the minimum or maximum fill of its type) and
// s_bEspaceSQL.
//
// Ownership: a search holds a reference on its trees, on its parameters and on its connection, a
// count on its error object and an external reference on its fetch item; it borrows the record
// given to each call. A clone shares the trees and the parameters.
//
// Rules every operation keeps:
// - A condition that cannot be built (no column for the item, no component value, an operator a
//   composite key has no form for) gives no tree; a search left without an equal tree is inactive
//   and the call still answers TRUE. Nothing here raises an error of its own.
// - A searched value is read within its own bytes: a composite value shorter than its components
//   ends the component values where it ends.
// Callers hold the driver mutex.
#pragma once

#include <cstdint>
#include <vector>

#include "common/ctstring.h"
#include "common/interf.h"
#include "common/refarray.h"
#include "driver/nahost.h"
#include "platform/wintypes.h"
#include "sql/nacolumnlist.h"
#include "sql/nacommand.h"
#include "values/any.h"

class CNAColumn;
class CNACommand;
class CNAConnectionDescription;
class CNAConvertVariant;
class CNAError;
class CNAExpression;
class CNAFilter;
class CNAParameter;
class CNARecord;
class CNARecordValue;
class INAItemDescription;

// Flags of a search.
// Starts-with on the last text component.
constexpr unsigned int NA_SEARCH_GENERIC = 0x1;
// The current record found again: values from its columns, the key made unique.
constexpr unsigned int NA_SEARCH_RECORD = 0x2;
// The value is tested for the minimum and maximum fills.
constexpr unsigned int NA_SEARCH_FILLTEST = 0x4;
// Component values from the record's current values.
constexpr unsigned int NA_SEARCH_RECORDVALUES = 0x8;
// The equal tree only.
constexpr unsigned int NA_SEARCH_EQUALONLY = 0x10;

// eCheckValue's answers.
enum eNA_CHECKVALUE : int32_t { NA_VALUE_ORDINARY = 0, NA_VALUE_MIN = 1, NA_VALUE_MAX = 2 };

class CNARecherche : public CInterf {
 public:
  // Columns borrowed from the record, and values, of one comparison chain.
  using Columns = std::vector<CNAColumn*>;
  using Values = std::vector<CAny>;

  // Without an error object or connection: for the virtual _pclAllocRecherche.
  CNARecherche();
  // A reference on both.
  CNARecherche(CNAError* error, CNAConnectionDescription* cnx);
  ~CNARecherche() override;
  CNARecherche(const CNARecherche&) = delete;
  CNARecherche& operator=(const CNARecherche&) = delete;

  // ---- Virtual operations, in their order ----
  // Resets the command (parameters too) and this search's parameters, then writes the current
  // tree, ANDed after an active filter's equal tree. TRUE with nothing to write.
  virtual BOOL bGetSQL(CNACommand* command, CNAFilter* filter, CNARecord* record);
  // A new search (_pclAllocRecherche) with this one's state, flags, value and fetch item, sharing
  // its trees and parameters; one reference for the caller; null without memory.
  virtual CNARecherche* pclClone();
  // The node class of this search's trees (not referenced).
  virtual CNAExpression* pclAllocExpression();
  virtual CNARecherche* _pclAllocRecherche();

  // ---- Setting ----
  // A value search; exact 0 is a starts-with search.
  BOOL bSetRecherche(CNARecord* record, INAItemDescription* item, const CAny* value, eNA_PARSEDIRECTION direction,
                     int exact, int unused);
  // The current record found again on item; equalOnly non-zero builds the equal tree only; key,
  // when given, lists the columns that make the key unique.
  BOOL bRechercheEnreg(CNARecord* record, INAItemDescription* item, eNA_PARSEDIRECTION direction, int equalOnly,
                       const CNARefArray<CNAColumn>* key);
  // Ands to the record search set last one equality per memo column of record, on the memo's
  // value in values (texts by their bytes too where the server can): a row read from a source
  // without a unique key is told from its twins by its memos as well. FALSE without memory.
  BOOL bAndMemoValues(CNARecord* record, const CNARecordValue* values);
  // One condition joined by join to each tree (an inactive search first drops its trees); the
  // search becomes active on its equal tree. TRUE.
  BOOL bAddExpression(CNARecord* record, INAItemDescription* item, eNAOperator op, const CAny* value, int generic,
                      eNAOperator join, int fillTest);

  // ---- State ----
  // From state 1: state 2 on the after tree (direction 0) or the before tree (any other); from
  // any other state: state 1 on the equal tree. The direction is kept. TRUE.
  BOOL _SetContinueParcours(eNA_PARSEDIRECTION direction);
  BOOL bSetContinueParcours(eNA_PARSEDIRECTION direction) { return _SetContinueParcours(direction); }
  BOOL bReviensParcoursPrecedent(eNA_PARSEDIRECTION direction) { return _SetContinueParcours(direction); }
  // TRUE in state 1; in state 2 only for a direction other than the one kept.
  BOOL bPeutContinuerParcours(eNA_PARSEDIRECTION direction) const;
  BOOL bHTrouve() const { return m_nState == 1 ? TRUE : m_bFound; }
  void Cancel() { m_bFound = TRUE; }
  void Activate() { m_nState = 1; }
  // State 0; the current tree released.
  void Desactivate();
  int nGetState() const { return m_nState; }
  eNA_PARSEDIRECTION eGetDirection() const { return m_eDirection; }
  unsigned int dwGetFlags() const { return m_dwFlags; }
  BOOL bIsComposedKeySearch() const;

  // ---- Trees ----
  // The equal tree with a reference for the caller; null when none.
  CNAExpression* pclGetExpression() const;
  CNAExpression* pclGetEqualTreeNoRef() const { return m_pclEqual; }
  CNAExpression* pclGetAfterTreeNoRef() const { return m_pclAfter; }
  CNAExpression* pclGetBeforeTreeNoRef() const { return m_pclBefore; }
  CNAExpression* pclGetCurrentTreeNoRef() const { return m_pclCurrent; }
  INAItemDescription* piGetFetchItemNoRef() const { return m_piFetchItem; }

  // Unique to the trees this search holds: new whenever they are built or changed, kept when a
  // seek only renews their value (_bRenewValue).
  uint64_t nGetTreesStamp() const { return m_nTreesStamp; }
  // bGetSQL's write of the current tree repeated, without a filter, for the value it holds now:
  // its text stands in command as the last write left it, its parameter at conditionAt of that
  // write and at selectAt of command (CNAExpression::bRewriteValue). FALSE when it cannot be.
  // conversion: as bRewriteValue's.
  BOOL bRewriteCurrentValue(CNACommand* command, unsigned int conditionAt, unsigned int selectAt,
                            const eNA_ITEMTYPE* conversion = nullptr);

  // ---- Parameters ----
  int nGetNbParameter() const { return m_tabParameter.nGetCount(); }
  // With a reference for the caller; null out of range.
  CNAParameter* pclGetParameter(int i) const;
  // Appends (referenced) the command's parameters from index from to its last.
  void GetParameterFromQuery(CNACommand* command, unsigned int from);
  // A new parameter from the driver (column and its item set) appended to this search; not
  // referenced for the caller; null when none is made.
  CNAParameter* _pclAddParameter(CNAColumn* column, CNAConvertVariant* value, unsigned int position,
                                 unsigned int options);
  // From the last backwards, drops the parameters at or after position that command no longer
  // holds (every one at or after position without a command).
  void _RemoveParameterByPos(unsigned int position, const CNACommand* command = nullptr);

  // ---- Comparison ----
  // Same state, direction, flags, fetch item name, value and parameters.
  BOOL bEqualsSearch(const CNARecherche* other) const;
  // Both null: TRUE; one null: whether the other is inactive.
  static BOOL g_bEqualsSearch(const CNARecherche* a, const CNARecherche* b);

  // ---- Values ----
  // 0 ordinary, 1 the minimum fill, 2 the maximum fill of the value's type.
  static eNA_CHECKVALUE eCheckValue(const CAny* value);
  // The type's maximum and minimum fills (other types unchanged); not NULL.
  static void s_SetAnyToMax(CAny* value);
  static void s_SetAnyToMin(CAny* value);
  // TAB, LF, CR and blank only.
  static BOOL s_bEspaceSQL(wchar_t c);
  // A text whose data ends with its own terminator is sought whole by a starts-with search: TRUE
  // for one, with *text its text before the terminator; FALSE for any other value, text untouched.
  static BOOL s_bTextWithTerminator(const CAny& value, CAny* text);

  CNAError* pclGetErrorNoRef() const { return m_pclError; }
  CNAConnectionDescription* pclGetCnxNoRef() const { return m_pclCnx; }
  // The item whose value the record search set last took from a row its record does not hold
  // exactly and whose server text had lost a character too: the trees name that row by the
  // record's value, which may be another row's. Empty when every value named its row.
  const wchar_t* pszGetLostItem() const { return m_csLostItem.pszGet(); }
  BOOL bNamesByLostText() const { return m_csLostItem.nTaille() > 0 ? TRUE : FALSE; }
  // Some leaf names its row by the server's own text of a value.
  BOOL bNamesByServerText() const { return m_bServerText ? TRUE : FALSE; }
  const CAny* pclGetValue() const { return &m_clValue; }

 protected:
  // The trees dropped, then equal, after and before built for item and value (see the source).
  BOOL _bSetRecherche(CNARecord* record, INAItemDescription* item, const CAny* value, eNA_PARSEDIRECTION direction,
                      unsigned int flags, const CNARefArray<CNAColumn>* key);
  // A value seek (flags 0) again on the plain item of the last one, whose trees would come out
  // the same but for the holder of the value the three leaves share: the leaves are renewed on a
  // holder of the new value, the state set as a new search sets it. FALSE, nothing changed, when
  // another object holds a tree (a clone shares them) or a write has folded one.
  BOOL _bRenewValue(CNARecord* record, INAItemDescription* item, const CAny* value, eNA_PARSEDIRECTION direction,
                    unsigned int flags);
  void _SetFetchItem(INAItemDescription* item);
  // CNAExpression::s_bDescendingInBrowse of the fetch item on column of record, asked once for the
  // trees as built (the record's source and the items are theirs for good).
  bool _bDescendingInBrowse(CNARecord* record, CNAColumn* column, INAItemDescription* item);
  // The trees are (about to be) built or changed otherwise than by _bRenewValue.
  void _NewTreesStamp();
  // *tree released and cleared.
  static void _Release(CNAExpression** tree);
  // One condition on item (null when none).
  CNAExpression* _pclAddExpression(CNARecord* record, INAItemDescription* item, eNAOperator op, const CAny* value,
                                   unsigned int flags, const CNARefArray<CNAColumn>* key);
  // columns[i] op values[i], joined by join with the comparisons for i + 1 .. last. A column past
  // the values compares with an empty value of its type (IS NULL for the date kinds).
  CNAExpression* _pclAddKeyExpression(CNARecord* record, const Columns& columns, const Values& values,
                                      CNAColumn* keyColumn, int i, int last, eNAOperator op, unsigned int flags,
                                      eNAOperator join);
  CNAExpression* _pclAddKeyExpressionEq(CNARecord* record, const Columns& columns, const Values& values,
                                        CNAColumn* keyColumn, unsigned int flags);
  CNAExpression* _pclAddBorne(CNARecord* record, const Columns& columns, const Values& values, CNAColumn* keyColumn,
                              int i, eNAOperator op, unsigned int flags);
  CNAExpression* _pclAddKeyExpressionInfSupCompositeKey(CNARecord* record, const Columns& columns, Values* values,
                                                        CNAColumn* keyColumn, eNAOperator op, BOOL minimum,
                                                        BOOL maximum, unsigned int flags);
  CNAExpression* _pclAddKeyExpressionInfSupRecord(CNARecord* record, const Columns& columns, Values* values,
                                                  CNAColumn* keyColumn, eNAOperator op, unsigned int flags);
  CNAExpression* _pclAddKeyExpressionInfSup(CNARecord* record, const Columns& columns, Values* values,
                                            CNAColumn* keyColumn, int n, eNAOperator op, unsigned int flags);
  CNAExpression* _pclInfSup(CNARecord* record, const Columns& columns, Values* values, CNAColumn* keyColumn, int i,
                            int n, eNAOperator op, unsigned int flags, CColumnNullValueExcluded* nulls);
  // A maximum fill ending text value i is cut off; TRUE when it was.
  BOOL _bGenericSearchDueTohValMax(const Columns& columns, Values* values, int i);
  // The record's browse order up to its unique not-null key, column first (its components for a
  // composite key).
  void _AddAllItem(CNARecord* record, CNAColumn* column, Columns* out);
  // Ends list (values beside it) with the text columns again, compared by their bytes when the
  // server can: the record order of a table without a unique key, as its browse's ORDER BY ends.
  // Answers where they start in list, -1 for none.
  int _nAddTextBytes(Columns* list, Values* values) const;
  // The component values of a composite value, read in the host's key layout within the value's
  // bytes.
  // The fills are looked for with NA_SEARCH_FILLTEST or NA_SEARCH_GENERIC in flags.
  void _GetComponentValue(const Columns& components, const CAny* value, Values* values, BOOL* minimum,
                          BOOL* maximum, unsigned int flags);
  // A fill-tested value: *usable unless it is a minimum, or a maximum with nothing left.
  void _GetValue(CNAColumn* column, CAny* value, BOOL* usable, BOOL* minimum, BOOL* maximum);
  // The record's column of each component of key.
  static void _GetComponents(CNARecord* record, CNAColumn* key, Columns* out);
  // node, a leaf on column of a value taken from the row being named, names it by the server's
  // text of that value when the row's record does not hold it exactly (or notes the item as lost).
  void _NameByServerText(CNARecord* record, CNAColumn* column, CNAExpression* node);

  CNAError* m_pclError = nullptr;
  int32_t m_nState = 0;
  eNA_PARSEDIRECTION m_eDirection = NA_PARSE_CURRENT;
  int32_t m_bFound = 0;
  unsigned int m_dwFlags = 0;
  CNAExpression* m_pclEqual = nullptr;
  CNAExpression* m_pclAfter = nullptr;
  CNAExpression* m_pclBefore = nullptr;
  CNAExpression* m_pclCurrent = nullptr;
  CRefArray<CNAParameter> m_tabParameter{10, 30};
  CAny m_clValue;
  INAItemDescription* m_piFetchItem = nullptr;
  CNAConnectionDescription* m_pclCnx = nullptr;
  // While a chain is built: the entries from this one on compare their column's bytes (-1: none).
  int m_nBytesFrom = -1;
  uint64_t m_nTreesStamp = 0;
  // _bDescendingInBrowse's answer, for the trees of this stamp and that record and column.
  uint64_t m_nDescendingStamp = 0;
  const CNARecord* m_pclDescendingRecord = nullptr;
  const CNAColumn* m_pclDescendingColumn = nullptr;
  bool m_bDescending = false;
  CTString m_csLostItem;
  bool m_bServerText = false;
  // While bAndMemoValues builds its chain: the row its values come from.
  const CNARecordValue* m_pclNamingValue = nullptr;
};
