// The kept SELECT of a seek or of a browse's further block: the command its SELECT was built
// into, sent again by the next seek (block) that differs only by the sought value (the value of
// the row the block goes on past), with that value's literal written in place.

#include "access/nadataaccess.h"
#include "access/narecord.h"
#include "common/str_buffer.h"
#include "sql/nacolumn.h"
#include "sql/naexpression.h"
#include "sql/narecherche.h"
#include "sql/nastatement.h"

namespace {

bool SameItem(const CTString& kept, bool keptNull, const wchar_t* item) {
  if (item == nullptr || keptNull) return item == nullptr && keptNull;
  return STR_bSameW(kept.pszGet(), item);
}

// The command's defines are those bAddSelectColumns gives for record now: its columns to define,
// in order, each with its value holder of now. Whether a column is to be defined is its kind's
// (a memo, a composite key): a column defined once stays so. *held: every define has a value
// holder, which its column then keeps for good.
bool DefinesRecordColumns(CNACommand* command, CNARecord* record, bool* held) {
  *held = true;
  if (record == nullptr) return false;
  const int defines = command->nGetDefineNbr();
  if (defines == record->nGetNbColumn()) {
    // Every column defined, each by the define of its place (a column passed over would leave a
    // define unmatched): the usual case, without the look for columns to pass over.
    for (int i = 0; i < defines; ++i) {
      CNAColumn* column = record->pclGetColumnNoRef(i);
      const CNADefine* define = command->pclGetDefineNoRef(i);
      if (define == nullptr || define->pclGetColumnNoRef() != column ||
          define->pclGetValueNoRef() != column->pclGetNAValue())
        return false;
      if (define->pclGetValueNoRef() == nullptr) *held = false;
    }
    return true;
  }
  int at = 0;
  for (int i = 0; i < record->nGetNbColumn(); ++i) {
    CNAColumn* column = record->pclGetColumnNoRef(i);
    CNADefine* define = at < defines ? command->pclGetDefineNoRef(at) : nullptr;
    if (define == nullptr || define->pclGetColumnNoRef() != column) {
      if (column->bMustDefine(static_cast<unsigned int>(command->nGetDefineMode()))) return false;
      continue;
    }
    if (define->pclGetValueNoRef() != column->pclGetNAValue()) return false;
    if (define->pclGetValueNoRef() == nullptr) *held = false;
    ++at;
  }
  return at == defines;
}

}  // namespace

void CNAStatement::STKeptSeek::Drop() {
  if (command != nullptr) command->nRelease();
  command = nullptr;
  search = nullptr;
  definesRecord = nullptr;
}

bool CNAStatement::_bKeptDefinesRecordColumns() {
  STKeptSeek& kept = m_clKeptSeek;
  CNARecord* record = m_pclRecord;
  const unsigned int defines = kept.command->nGetDefinesStamp();
  // A record's columns and a command's defines move their stamps on every change; the define
  // mode tells which columns may be passed over.
  const int mode = kept.command->nGetDefineMode();
  if (record != nullptr && record == kept.definesRecord && record->nGetColumnStamp() == kept.recordColumns &&
      defines == kept.definesStamp && mode == kept.defineMode)
    return true;
  kept.definesRecord = nullptr;
  bool held = false;
  if (!DefinesRecordColumns(kept.command, record, &held)) return false;
  if (held) {
    kept.definesRecord = record;
    kept.recordColumns = record->nGetColumnStamp();
    kept.definesStamp = defines;
    kept.defineMode = mode;
  }
  return true;
}

// The tree a kept SELECT's condition was written from: a seek's equal tree, or the tree a further
// block of a browse goes on past its last row by. answered: as bValueOnlyInLiteral's.
CNAExpression* CNAStatement::_pclKeptSELECTTree(const CNAColumn* answered) const {
  CNARecherche* search = m_pclRecherche;
  if (search == nullptr || search->nGetState() != (m_bContinuing ? 2 : 1)) return nullptr;
  // The current tree, which a seek's must be its equal tree.
  CNAExpression* tree = search->pclGetCurrentTreeNoRef();
  if (tree == nullptr || (!m_bContinuing && tree != search->pclGetEqualTreeNoRef())) return nullptr;
  return tree->bValueOnlyInLiteral(answered) ? tree : nullptr;
}

void CNAStatement::KeepSeekSELECT(CNACommand* command, NA_WRITEPARSEFLAGS flags, const wchar_t* item, int forward) {
  STKeptSeek& kept = m_clKeptSeek;
  CNARecherche* search = m_pclRecherche;
  CNAExpression* tree = _pclKeptSELECTTree();
  const bool seek = command != nullptr && command == m_pclCommand && m_pclDataAccess != nullptr &&
                    _pclGetSourceQueryNoRef() == nullptr && !bExistFilter() && tree != nullptr &&
                    command->nGetParameterNbr() == 1 && search->nGetNbParameter() == 1;
  CNAParameter* own = seek ? search->pclGetParameter(0) : nullptr;
  // The SELECT's parameter is the copy of the one the condition wrote: they share its value.
  const bool copy = own != nullptr && own->pclGetValueNoRef() == command->pclGetParameterNoRef(0)->pclGetValueNoRef();
  const unsigned int conditionAt = own != nullptr ? own->nGetPosition() : 0;
  if (own != nullptr) own->nRelease();
  if (!copy) {
    kept.Drop();
    return;
  }
  command->AddRef();
  kept.Drop();
  kept.command = command;
  kept.block = m_bContinuing != 0;
  // A block's search is made again for each block: only its tree's column and operator are kept.
  kept.search = kept.block ? nullptr : search;
  kept.stamp = search->nGetTreesStamp();
  kept.column = tree->pclGetColumnNoRef();
  kept.op = tree->eGetOperator();
  kept.itemNull = item == nullptr;
  kept.item = item != nullptr ? item : L"";
  kept.forward = forward;
  kept.flags = flags;
  kept.orderCompletion = m_dwOrderCompletion;
  kept.rows = command->llGetRowLimit();
  kept.offset = command->llGetRowOffset();
  kept.reverse = m_bReverse;
  kept.conversion = tree->eWhereConversion(command);
  kept.conditionAt = conditionAt;
  kept.selectAt = command->pclGetParameterNoRef(0)->nGetPosition();
}

BOOL CNAStatement::bBuildKeptSeekSELECT(NA_WRITEPARSEFLAGS flags, const wchar_t* item, int forward, long long rows,
                                        long long offset) {
  STKeptSeek& kept = m_clKeptSeek;
  CNARecherche* search = m_pclRecherche;
  if (kept.command == nullptr || kept.block != (m_bContinuing != 0) || m_pclDataAccess == nullptr) return FALSE;
  // The kept tree's column answered for its = when the SELECT was kept.
  CNAExpression* tree = _pclKeptSELECTTree(kept.op == NA_OP_EQ ? kept.column : nullptr);
  if (tree == nullptr) return FALSE;
  if (kept.block ? tree->pclGetColumnNoRef() != kept.column || tree->eGetOperator() != kept.op
                 : search != kept.search || search->nGetTreesStamp() != kept.stamp)
    return FALSE;
  // The table's name is not asked: the access, and the name it formatted when it was made, are
  // the statement's for good.
  if (bExistFilter() || _pclGetSourceQueryNoRef() != nullptr || !SameItem(kept.item, kept.itemNull, item) ||
      forward != kept.forward || flags != kept.flags || m_dwOrderCompletion != kept.orderCompletion ||
      rows != kept.rows || offset != kept.offset || !_bKeptDefinesRecordColumns())
    return FALSE;
  CNACommand* command = kept.command;
  const bool asKept = tree->pclGetColumnNoRef() == kept.column && tree->eGetOperator() == kept.op;
  if (!search->bRewriteCurrentValue(command, kept.conditionAt, kept.selectAt, asKept ? &kept.conversion : nullptr)) {
    kept.Drop();
    return FALSE;
  }
  command->SetRowLimit(rows, offset);
  _SetQuery(command);
  m_bReverse = kept.reverse;
  return TRUE;
}
