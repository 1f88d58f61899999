#include "sql/narowbinding.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <typeinfo>

#include "access/nadataaccess.h"
#include "access/narecord.h"
#include "driver/naconnectiondescription.h"
#include "sql/nacolumn.h"
#include "sql/nakjrecord.h"
#include "platform/codepage.h"
#include "sql/nacolumnsql.h"
#include "sql/nastatement.h"
#include "sql/nastatementsql.h"

namespace {

int nServerCodePage(const CNAConnectionDescription* cnx) { return cnx != nullptr ? cnx->nGetServerCodePage() : 0; }
int nHostCodePage(const CNAConnectionDescription* cnx) { return cnx != nullptr ? cnx->nGetHostCodePage() : 0; }

// A slot with a step and a defined bit that is the whole of its element of kj clears itself for a
// NULL in the row's loop: SetNull and the record's undefining of the element clear the same bytes.
void SetNullInRow(CNAConvertVariant::STRowSlot* entry, const STItemSlot& slot, const CNAKJRecord* kj) {
  entry->bNullInRow = entry->eKind != CNAConvertVariant::NA_ROWSLOT_NONE && entry->nDefinedBit != 0 &&
                      kj != nullptr && kj->pbyGetValues() != nullptr && slot.nOffset >= 0 && !slot.bMemo &&
                      entry->pbySlot == kj->pbyGetValues() + slot.nOffset && entry->nSize == slot.nSize;
}

}  // namespace

void CNARowBinding::Bind(CNARecord* record, CNAStatementSQL* sql, const CNAColumn* browsed) {
  m_bBound = m_bStepped = false;
  m_pclRecord = nullptr;
  m_tabSlot.clear();
  m_tabColumn.clear();
  m_tabHeld.clear();
  m_pbOnlyHeld = nullptr;
  if (record == nullptr || sql == nullptr) return;
  const int columns = record->nGetNbColumn();
  m_tabSlot.resize(static_cast<size_t>(columns));
  m_tabColumn.resize(static_cast<size_t>(columns));
  const CNAConnectionDescription* cnx = sql->pclGetConnectionNoRef();
  // The flag word starts at the flag byte of the first column slot that lies in the values; a
  // slot whose bit lies outside it is defined on its own.
  m_nFlagBase = ~0u;
  m_nFlagBytes = m_nBitItems = m_nBitValues = 0;
  int count = 0;
  for (; count < columns; ++count) {
    CNAColumn* column = record->pclGetColumnNoRef(count);
    if (column == nullptr || column->Slot().bComposedKey) break;
    const STItemSlot& slot = column->Slot();
    CNAConvertVariant::STRowSlot& entry = m_tabSlot[static_cast<size_t>(count)];
    entry.nColumn = slot.nPhysical;
    const unsigned int end = slot.nOffset >= 0 ? static_cast<unsigned int>(slot.nOffset) + slot.nSize : 0;
    if (!slot.bMemo && end != 0) {
      if (m_nFlagBase == ~0u) m_nFlagBase = slot.nPhysical / 8;
      const unsigned int byte = slot.nPhysical / 8 - m_nFlagBase;
      if (slot.nPhysical / 8 >= m_nFlagBase && byte < 8) {
        entry.nDefinedBit = static_cast<uint64_t>(0x80u >> (slot.nPhysical % 8)) << (8 * byte);
        m_nFlagBytes = std::max(m_nFlagBytes, byte + 1);
        m_nBitItems = std::max(m_nBitItems, slot.nPhysical + 1);
        m_nBitValues = std::max(m_nBitValues, end);
      }
    }
    STColumn& own = m_tabColumn[static_cast<size_t>(count)];
    own = STColumn{column, &slot, CNAConvertVariant::NA_ROWTEXT_OTHER, false, false};
    // Only the SQL column's own read is what a step stands in for; a memo keeps its own rules.
    CNAConvertVariant* value = column->pclGetNAValue();
    if (value != nullptr && !slot.bMemo && typeid(*column) == typeid(CNASQLColumn) &&
        column->pclGetRecordNoRef() == record) {
      own.bPlain = true;
      own.eForm = sql->eGetRowTextForm(slot.nPhysical, value);
      value->GetRowSlot(own.eForm, cnx, &entry);
      SetNullInRow(&entry, slot, record->pclGetNAKJRecord());
      own.bPending = entry.eKind == CNAConvertVariant::NA_ROWSLOT_NONE && !value->bDBReady();
    }
  }
  m_tabSlot.resize(static_cast<size_t>(count));
  m_tabColumn.resize(static_cast<size_t>(count));
  _BindServerTexts(record, sql, browsed);
  m_pclRecord = record;
  m_pclSQL = sql;
  m_nColumnStamp = record->nGetColumnStamp();
  m_nResultStamp = sql->nGetResultStamp();
  m_nServerCodePage = nServerCodePage(cnx);
  m_nHostCodePage = nHostCodePage(cnx);
  m_nFlagLayout = 0;
  _NoteStepped();
  m_bBound = true;
}

void CNARowBinding::_VouchSlot(unsigned int i, const CNAKJRecord* kj) {
  using F = CNAConvertVariant;
  F::STRowSlot& slot = m_tabSlot[i];
  slot.bAskHeld = slot.bHeld = false;
  const auto named = std::find_if(m_tabServerText.begin(), m_tabServerText.end(),
                                  [&](const STServerTextCheck& c) { return c.nHeldSlot == static_cast<int>(i); });
  if (named != m_tabServerText.end() && kj != nullptr && kj->pbyGetValues() == m_pbyHeldValues) {
    // The writer's step is of the check's item and writes the very bytes the check reads.
    const STServerTextCheck& check = *named;
    const bool wide = slot.eKind == F::NA_ROWSLOT_UTF16;
    const bool narrow = slot.eKind >= F::NA_ROWSLOT_UTF8_1252 && slot.eKind <= F::NA_ROWSLOT_1252_UTF8;
    slot.bAskHeld = (check.eItem == NA_IT_UNICODE ? wide : narrow) &&
                    slot.pbySlot == m_pbyHeldValues + check.nOffset && slot.nSize == check.nSlotSize;
  }
  F::s_NoteStep(&slot);
}

void CNARowBinding::_BindServerTexts(CNARecord* record, CNAStatementSQL* sql, const CNAColumn* browsed) {
  m_tabServerText.clear();
  const CNAKJRecord* kj = record->pclGetNAKJRecord();
  m_pbyHeldValues = kj != nullptr ? kj->pbyGetValues() : nullptr;
  bool asked = false;
  const CNAConnectionDescription* cnx = sql->pclGetConnectionNoRef();
  const int columns = record->nGetNbColumn();
  int count = 0;
  sql->bGetColumnNbr(&count, 0);
  for (int i = 0; i < columns; ++i) {
    CNAColumn* c = record->pclGetColumnNoRef(i);
    if (c == nullptr || c->piGetItemNoRef() == nullptr || c->bIsComposedKey() || !g_bNamesRows(record, c, browsed)) continue;
    const unsigned int physical = c->nGetPhysicalIndice();
    if (physical >= static_cast<unsigned int>(count)) continue;
    STServerTextCheck check = g_stServerTextCheck(c, sql->pclGetNAColumnSQL(static_cast<int>(physical)), cnx);
    if (check.eKind == NA_SERVERTEXT_NONE) continue;
    if (check.bMayLose && g_bReadsKeyBytes(record, c, cnx, browsed)) {
      // The key's own bytes, read beside it after the record's columns.
      CTString alias;
      g_KeyBytesAlias(&alias, c);
      for (int k = count - 1; k >= 0 && static_cast<unsigned int>(k) > physical; --k) {
        const CNAColumnSQL* shadow = sql->pclGetNAColumnSQL(k);
        if (shadow != nullptr && shadow->m_csName.bEstEgal(alias.pszGet())) {
          check.nKeyBytes = k;
          break;
        }
      }
    }
    // A text check whose answer the slot's bytes alone give (no '?' of a page, no key bytes
    // read beside it, no server text kept for a value held) is asked of its column's writer.
    const bool vouched = m_pbyHeldValues != nullptr && check.eKind == NA_SERVERTEXT_TEXT &&
                         !check.bMayLose && check.nKeyBytes < 0 && !check.bNamedByText && check.nOffset >= 0 &&
                         (check.eItem == NA_IT_TEXTE || check.eItem == NA_IT_UNICODE);
    for (size_t k = 0; vouched && k < m_tabColumn.size(); ++k) {
      if (m_tabColumn[k].pclColumn != c || m_tabSlot[k].nColumn != check.nPhysical) continue;
      check.nHeldSlot = static_cast<int>(k);
      asked = true;
      break;
    }
    m_tabServerText.push_back(check);
  }
  if (!asked) m_pbyHeldValues = nullptr;
  for (unsigned int i = 0; i < m_tabSlot.size(); ++i) _VouchSlot(i, kj);
  _NoteAllAsked();
}

void CNARowBinding::_NoteSteppedLayout() {
  m_nSteppedLayout = m_bStepped && m_nFlagLayout != 0 && !m_tabSlot.empty() ? m_nFlagLayout : kNoLayout;
  // No check: nothing to note. The mask's answer for the buffer of the flag word; else a test
  // no row passes.
  m_nRowHeldMask = m_nRowHeldWant = 0;
  if (m_tabServerText.empty()) return;
  if (m_pbyMaskValues != nullptr && m_pbyMaskValues == m_pbyFlagValues)
    m_nRowHeldMask = m_nRowHeldWant = m_nHeldMask;
  else
    m_nRowHeldWant = 1;
}

void CNARowBinding::_NoteRun() {
  _NoteSteppedLayout();
  pbyFlags = m_pbyFlags;
  nAllBits = m_nAllBits;
  nHeldMask = m_nRowHeldMask;
  nHeldWant = m_nRowHeldWant;
  nFlagBytes = m_nFlagBytes;
  bFlagWord8 = m_bFlagWord8;
  pfnStopped = &s_bRunStopped;
  pfnNoted = &_s_bRunNoted;
  const size_t count = m_tabSlot.size();
  bool lean = m_nSteppedLayout != kNoLayout;
  for (size_t i = 0; i < count; ++i) {
    m_tabSlot[i].pfnStep = lean ? CNAConvertVariant::s_pfnRowStep(m_tabSlot[i], i + 1 == count) : nullptr;
    lean = lean && m_tabSlot[i].pfnStep != nullptr;
  }
  // A row with a step that may call takes bReadRow's own road (one frame for the row, not one a
  // slot), as does a row of many slots: the loop keeps the row's texts in registers, which each
  // of the run's steps reads again.
  m_bRunLean = lean && count <= kRunSlots;
}

void CNARowBinding::_NoteStepped() {
  m_bStepped = std::all_of(m_tabSlot.begin(), m_tabSlot.end(), [](const CNAConvertVariant::STRowSlot& s) {
    return s.eKind != CNAConvertVariant::NA_ROWSLOT_NONE && s.nDefinedBit != 0 &&
           s.pclValue->nGetShapeStamp() == s.nShapeStamp;
  });
  m_nAllBits = 0;
  for (const CNAConvertVariant::STRowSlot& s : m_tabSlot) m_nAllBits |= s.nDefinedBit;
  _NoteRun();
}

void CNARowBinding::_NoteAllAsked() {
  m_tabHeld.clear();
  m_pbOnlyHeld = nullptr;
  m_nHeldMask = 0;
  m_pbyMaskValues = nullptr;
  if (m_pbyHeldValues == nullptr) return;
  for (const STServerTextCheck& check : m_tabServerText) {
    if (check.nHeldSlot >= 0 && m_tabSlot[static_cast<size_t>(check.nHeldSlot)].bAskHeld) {
      m_tabHeld.push_back(STHeld{check.nPhysical, &m_tabSlot[static_cast<size_t>(check.nHeldSlot)].bHeld});
    } else if (check.bDigitsKept) {
      m_tabHeld.push_back(STHeld{check.nPhysical, nullptr});
    } else {
      m_tabHeld.clear();
      return;
    }
  }
  if (m_tabHeld.size() == 1 && m_tabHeld[0].pbHeld != nullptr) {
    m_pbOnlyHeld = m_tabHeld[0].pbHeld;
    m_nOnlyHeldColumn = m_tabHeld[0].nColumn;
  }
  // Every entry a writer's answer (so each check has its slot, asked): their bits, all or none.
  uint64_t mask = 0;
  for (const STServerTextCheck& check : m_tabServerText) {
    if (check.nHeldSlot < 0) return;
    const CNAConvertVariant::STRowSlot& slot = m_tabSlot[static_cast<size_t>(check.nHeldSlot)];
    if (!slot.bAskHeld || slot.nDefinedBit == 0) return;
    mask |= slot.nDefinedBit;
  }
  m_nHeldMask = mask;
  m_pbyMaskValues = m_pbyHeldValues;
}

[[gnu::always_inline]] inline bool CNARowBinding::_bAllHeld(const CNAKJRecord* kj, const char* const* texts, const unsigned long* lengths) const {
  // _bNoteServerTexts' first tests, which each check passes then.
  if (m_pbOnlyHeld != nullptr)
    return kj != nullptr && kj->pbyGetValues() == m_pbyHeldValues &&
           (*m_pbOnlyHeld || texts[m_nOnlyHeldColumn] == nullptr);
  if (m_tabHeld.empty() || kj == nullptr || kj->pbyGetValues() != m_pbyHeldValues) return false;
  // A writer's answer first: held (nearly always), its text is not looked at.
  for (const STHeld& h : m_tabHeld) {
    if (h.pbHeld != nullptr ? !*h.pbHeld && texts[h.nColumn] != nullptr
                            : texts[h.nColumn] != nullptr && g_bServerZeroDate(texts[h.nColumn], lengths[h.nColumn]))
      return false;
  }
  return true;
}

BOOL CNARowBinding::_bNoteServerTexts(CNARecord* record, const char* const* texts, const unsigned long* lengths,
                                      unsigned int columns) {
  CNARecordValue* current = record->pclGetCurrentValueNoRef();
  if (current == nullptr) return TRUE;
  const CNAKJRecord* kj = current->pclGetNAKJRecord();
  const BYTE* values = kj != nullptr ? kj->pbyGetValues() : nullptr;
  const size_t valuesSize = kj != nullptr ? kj->nGetTotalSize() - kj->nGetFlagFieldSize() : 0;
  // The writers wrote into these values' slots only.
  const bool answered = values != nullptr && values == m_pbyHeldValues;
  bool lost = false;
  for (const STServerTextCheck& check : m_tabServerText) {
    const char* text = texts[check.nPhysical];
    if (text == nullptr || (answered && check.nHeldSlot >= 0 && m_tabSlot[check.nHeldSlot].bHeld)) continue;
    size_t length = lengths[check.nPhysical];
    if (check.bSlotBytes && values != nullptr) {
      const bool keyBytes = check.nKeyBytes >= 0 && texts[check.nKeyBytes] != nullptr;
      if (keyBytes ? g_bServerTextHeldAsBytes(check, values, valuesSize, texts[check.nKeyBytes],
                                              lengths[check.nKeyBytes], true)
                   : g_bServerTextHeldAsBytes(check, values, valuesSize, text, length))
        continue;
    }
    // A date-time of no more digits than its item keeps differs only as a zero date.
    if (check.bDigitsKept && !g_bServerZeroDate(text, length)) continue;
    int held;
    eNASERVERTEXT kind = check.eKind;
    if (check.nKeyBytes >= 0 && texts[check.nKeyBytes] != nullptr) {
      // The value as the column holds it, in UTF-8: the page's '?' stands for nothing there.
      STServerTextCheck utf8 = check;
      utf8.nServerPage = CP_UTF8;
      utf8.bMayLose = false;
      text = texts[check.nKeyBytes];
      length = lengths[check.nKeyBytes];
      held = g_nServerTextHeld(utf8, values, valuesSize, text, length);
      kind = NA_SERVERTEXT_TEXTUTF8;
    } else {
      held = g_nServerTextHeld(check, values, valuesSize, text, length);
    }
    if ((held <= 0 || check.bNamedByText) && !current->bSetServerText(check.nPhysical, text, length, held < 0, kind))
      return FALSE;
    lost = lost || held < 0;
  }
  if (!lost) return TRUE;
  // Nothing names the row: it can only be found again by every text it came with.
  std::string row;
  for (unsigned int i = 0; i < columns; ++i) {
    const uint32_t n = texts[i] != nullptr ? static_cast<uint32_t>(lengths[i]) : 0;
    row.push_back(texts[i] != nullptr ? '\1' : '\0');
    row.append(reinterpret_cast<const char*>(&n), sizeof n);
    if (n > 0) row.append(texts[i], n);
  }
  return current->bSetServerText(CNARecordMemo::kRowTexts, row.data(), row.size(), true, NA_SERVERTEXT_NONE);
}

bool CNARowBinding::_bKeepFor(const CNAStatementSQL* sql) {
  for (size_t i = 0; i < m_tabColumn.size(); ++i) {
    const STColumn& c = m_tabColumn[i];
    if (!c.bPlain) continue;
    const CNAConvertVariant* value = c.pclColumn->pclGetNAValue();
    if (c.bPending || sql->eGetRowTextForm(c.pSlot->nPhysical, value) != c.eForm ||
        (m_tabSlot[i].eKind != CNAConvertVariant::NA_ROWSLOT_NONE && m_tabSlot[i].pclValue != value))
      return false;
  }
  m_nResultStamp = sql->nGetResultStamp();
  return true;
}

BOOL CNARowBinding::_bReadColumn(CNAStatement* statement, CNARecord* record, CNAStatementSQL* sql, unsigned int i) {
  STColumn& c = m_tabColumn[i];
  CNAConvertVariant::STRowSlot& slot = m_tabSlot[i];
  // Its writer's answer was for another row.
  slot.bHeld = false;
  if (!c.pclColumn->bSetValueFromDB(statement, 0)) return FALSE;
  CNAConvertVariant* value = c.pclColumn->pclGetNAValue();
  if (c.bPending && value->bDBReady()) {
    c.bPending = false;
    value->GetRowSlot(sql->eGetRowTextForm(slot.nColumn, value), sql->pclGetConnectionNoRef(), &slot);
    SetNullInRow(&slot, *c.pSlot, record->pclGetNAKJRecord());
    _VouchSlot(i, record->pclGetNAKJRecord());
    _NoteAllAsked();
    _NoteStepped();
  }
  return TRUE;
}

// Out of line, as its binding: the row's own road keeps its registers.
[[gnu::noinline]] void CNARowBinding::_CheckStamps(CNAStatement* statement, CNARecord* record,
                                                   CNAStatementSQL* sql, unsigned int counters) {
  m_pclStatement = statement;
  const CNAConnectionDescription* cnx = sql->pclGetConnectionNoRef();
  if (!m_bBound || record != m_pclRecord || sql != m_pclSQL || record->nGetColumnStamp() != m_nColumnStamp ||
      nServerCodePage(cnx) != m_nServerCodePage || nHostCodePage(cnx) != m_nHostCodePage ||
      (sql->nGetResultStamp() != m_nResultStamp && !_bKeepFor(sql)))
    Bind(record, sql, statement->pclGetBrowsedColumnNoRef());
  else if (m_bBound && counters != m_nCountersChecked)
    // A new result alone (every seek's) moved no slot's stamp.
    _NoteStepped();
  m_nCountersChecked = counters;
}

[[gnu::noinline]] BYTE* CNARowBinding::_pbyFlagWord(CNAKJRecord* kj) {
  // The flag word of written slots is theirs when the record holds their bits and elements
  // (SetSlotDefined's own first step).
  m_nFlagLayout = 0;
  m_pbyFlags = nullptr;
  m_pbyFlagValues = kj->pbyGetValues();
  m_bFlagWord8 = false;
  if (kj->pbyGetValues() != nullptr && m_nFlagBytes != 0 && m_nBitItems <= kj->nGetItemCount() &&
      m_nBitValues <= kj->nGetTotalSize() - kj->nGetFlagFieldSize()) {
    m_nFlagLayout = kj->nGetLayoutStamp();
    m_pbyFlags = kj->pbyGetNullValuesFlags() + m_nFlagBase;
    m_bFlagWord8 = m_pbyFlags + 8 <= kj->pbyGetNullValuesFlags() + kj->nGetTotalSize();
  }
  _NoteRun();
  return m_pbyFlags;
}

[[gnu::noinline]] BOOL CNARowBinding::_bReadColumnsFrom(CNAStatement* statement, CNARecord* record,
                                                         CNAStatementSQL* sql, unsigned int i) {
  for (const unsigned int count = static_cast<unsigned int>(m_tabSlot.size()); i < count; ++i)
    if (!_bReadColumn(statement, record, sql, i)) return FALSE;
  return TRUE;
}

[[gnu::always_inline]] inline void CNARowBinding::_SetFlagWord(BYTE* flags, uint64_t defined, uint64_t nulls) const {
  // Bits come only through the flag word: the written slots' set, the NULL ones' cleared.
  if ((defined | nulls) == 0) return;
  // Two bytes (bits of nine to sixteen columns) as one little-endian word, no byte loop.
  if (m_nFlagBytes == 1) {
    flags[0] = static_cast<BYTE>((flags[0] | defined) & ~nulls);
  } else if (m_nFlagBytes == 2) {
    uint16_t word;
    memcpy(&word, flags, 2);
    word = static_cast<uint16_t>((word | defined) & ~nulls);
    memcpy(flags, &word, 2);
  } else {
    for (unsigned int k = 0, n = m_nFlagBytes; k < n; ++k, defined >>= 8, nulls >>= 8)
      flags[k] = static_cast<BYTE>((flags[k] | defined) & ~nulls);
  }
}

[[gnu::always_inline]] inline BOOL CNARowBinding::_bRowTextsNoted(CNARecord* record, CNAStatementSQL* sql,
                                                                   const CNAKJRecord* kj, const char* const* texts,
                                                                   const unsigned long* lengths) {
  // Rows whose writers held every checked text exactly (most rows) have nothing to note.
  if (m_tabServerText.empty() || _bAllHeld(kj, texts, lengths)) return TRUE;
  return _bNoteServerTexts(record, texts, lengths, sql->nGetColumnCount());
}

BOOL CNARowBinding::bReadRow(CNAStatement* statement, CNARecord* record, CNAStatementSQL* sql,
                             CNARecordValue* current) {
  // The record's columns, the connection's code pages and the converters' shapes change only as
  // their one counter moves; a binding forgotten or not made holds no record. A result stamp is
  // no other statement's: the one kept is that of m_pclSQL, bound with it.
  const unsigned int counters = CNAReadStamp::nNow();
  if (record != m_pclRecord || sql->nGetResultStamp() != m_nResultStamp || counters != m_nCountersChecked)
      [[unlikely]]
    _CheckStamps(statement, record, sql, counters);
  const char* const* texts = nullptr;
  const unsigned long* lengths = nullptr;
  // No row in the client's texts: every column reads its own.
  if (!sql->bGetRowTexts(&texts, &lengths)) [[unlikely]]
    return _bReadColumnsFrom(statement, record, sql, 0);
  // The record's shape, read once: no step touches it. A buffer of the layout whose flag word was
  // found has it at the same place (a layout stamp names one buffer of one record); the slots
  // checked since the counters held need no asking (m_nSteppedLayout is kNoLayout otherwise, which
  // no buffer's stamp is). Most rows stop at no slot.
  CNAKJRecord* kj = current != nullptr ? current->pclGetNAKJRecord() : nullptr;
  if (kj == nullptr || kj->nGetLayoutStamp() != m_nSteppedLayout) [[unlikely]]
    return _bReadRowAsked(statement, record, sql, kj, texts, lengths);
  uint64_t nulls = 0, held = 0;
  // The slots' bounds as the vector keeps them: no count to work out and keep through the loop.
  const CNAConvertVariant::STRowSlot* first = m_tabSlot.data();
  const CNAConvertVariant::STRowSlot* last = first + m_tabSlot.size();
  // A binding without a slot takes no bound road (_NoteSteppedLayout).
  if (first == last) __builtin_unreachable();
  const CNAConvertVariant::STRowSlot* stop =
      CNAConvertVariant::s_pWriteRowStepped(first, last, texts, lengths, &nulls, &held);
  if (stop != last) [[unlikely]]
    return _bWriteRowStoppedAt(statement, stop, nulls);
  // Every slot written or cleared: the written ones are the others.
  if (m_bFlagWord8) [[likely]] {
    // The flag word as eight bytes of the buffer: those past its own are written back as read.
    uint64_t word;
    memcpy(&word, m_pbyFlags, 8);
    word = (word | m_nAllBits) & ~nulls;
    memcpy(m_pbyFlags, &word, 8);
  } else {
    _SetFlagWord(m_pbyFlags, m_nAllBits & ~nulls, nulls);
  }
  // Rows whose writers held every checked text exactly (most rows) have nothing to note.
  if (((held | nulls) & m_nRowHeldMask) == m_nRowHeldWant) return TRUE;
  // The record, statement and buffer as bound (no step changes them): the loop keeps none.
  return _bRowTextsNoted(m_pclRecord, m_pclSQL, m_pclRecord->pclGetNAKJRecord(), texts, lengths);
}

bool CNARowBinding::bRunReady(const CNARecord* record, const CNAStatementSQL* sql, const CNARecordValue* current,
                              const char* const** texts, const unsigned long** lengths) const {
  // bReadRow's tests in one: the binding as it stands, a row, a buffer of the stepped layout
  // (whose slots all have their step in the run).
  const CNAKJRecord* kj = current->pclGetNAKJRecord();
  return record == m_pclRecord && sql->nGetResultStamp() == m_nResultStamp &&
         CNAReadStamp::nNow() == m_nCountersChecked && sql->bGetRowTexts(texts, lengths) && kj != nullptr &&
         kj->nGetLayoutStamp() == m_nSteppedLayout;
}

namespace {

void ForgetRowRead(const CNAStatement* statement) {
  if (CNADataAccess* access = statement->pclGetDataAccessNoRef()) access->ForgetRowRead();
}

}  // namespace

BOOL CNARowBinding::_s_bRunNoted(const STRowRun* run, const CNAConvertVariant::STRowSlot*, uint64_t) {
  auto* binding = const_cast<CNARowBinding*>(static_cast<const CNARowBinding*>(run));
  // Texts noted: what an armed statement stands for may move.
  CNADriverMutex::s_Moved();
  // The record, statement and buffer as bound (no step changes them).
  CNARecord* record = binding->m_pclRecord;
  const BOOL read = binding->_bRowTextsNoted(record, binding->m_pclSQL, record->pclGetNAKJRecord(), run->ppTexts,
                                             run->pnLengths);
  if (!read) ForgetRowRead(binding->m_pclStatement);
  return read;
}


[[gnu::noinline]] BOOL CNARowBinding::_bWriteRowStoppedAt(CNAStatement* statement,
                                                           const CNAConvertVariant::STRowSlot* stop, uint64_t nulls) {
  CNARecord* record = m_pclRecord;
  CNAStatementSQL* sql = m_pclSQL;
  const char* const* texts = nullptr;
  const unsigned long* lengths = nullptr;
  sql->bGetRowTexts(&texts, &lengths);
  uint64_t defined = 0;
  for (const CNAConvertVariant::STRowSlot* s = m_tabSlot.data(); s != stop; ++s) defined |= s->nDefinedBit;
  return _bWriteRowFrom(statement, record, sql, record->pclGetNAKJRecord(), m_pbyFlags, texts, lengths,
                        static_cast<unsigned int>(stop - m_tabSlot.data()), defined & ~nulls, nulls);
}

[[gnu::noinline]] BOOL CNARowBinding::_bReadRowAsked(CNAStatement* statement, CNARecord* record,
                                                      CNAStatementSQL* sql, CNAKJRecord* kj, const char* const* texts,
                                                      const unsigned long* lengths) {
  // Without a flag word each slot is written on its own and goes through SetSlotDefined.
  BYTE* flags = nullptr;
  if (kj != nullptr) flags = m_nFlagLayout != 0 && kj->nGetLayoutStamp() == m_nFlagLayout ? m_pbyFlags : _pbyFlagWord(kj);
  return _bWriteRowFrom(statement, record, sql, kj, flags, texts, lengths, 0, 0, 0);
}

[[gnu::noinline]] BOOL CNARowBinding::_bWriteRowFrom(CNAStatement* statement, CNARecord* record,
                                                      CNAStatementSQL* sql, CNAKJRecord* kj, BYTE* flags,
                                                      const char* const* texts, const unsigned long* lengths,
                                                      unsigned int i, uint64_t defined, uint64_t nulls) {
  const unsigned int count = static_cast<unsigned int>(m_tabSlot.size());
  bool changed = false;
  BOOL ok = TRUE;
  using F = CNAConvertVariant;
  const F::STRowSlot* slots = m_tabSlot.data();
  // After a slot that stops (a general road may move a stamp) each slot is asked.
  for (; i < count; ++i) {
    const F::STRowSlot& s = slots[i];
    if (flags != nullptr) {
      const unsigned int stop = F::s_nWriteRow(slots, i, count, texts, lengths, &defined, &nulls);
      i = stop & ~F::kRowWritten;
      if (i == count) break;
      if ((stop & F::kRowWritten) != 0) {
        kj->SetSlotDefined(*m_tabColumn[i].pSlot, TRUE);
        continue;
      }
    } else if (s.eKind != F::NA_ROWSLOT_NONE && texts[s.nColumn] != nullptr &&
               s.pclValue->nGetShapeStamp() == s.nShapeStamp &&
               F::s_bWriteRowSlot(s, texts[s.nColumn], static_cast<unsigned int>(lengths[s.nColumn]))) {
      if (kj != nullptr) kj->SetSlotDefined(*m_tabColumn[i].pSlot, TRUE);
      continue;
    }
    const F::STRowSlot& stopped = slots[i];
    if (stopped.eKind != F::NA_ROWSLOT_NONE) {
      if (stopped.pclValue->nGetShapeStamp() != stopped.nShapeStamp) {
        changed = true;
      } else if (texts[stopped.nColumn] == nullptr) {
        stopped.pclValue->SetNull();
        if (kj != nullptr) kj->SetSlotDefined(*m_tabColumn[i].pSlot, FALSE);
        continue;
      }
    }
    if (!_bReadColumn(statement, record, sql, i)) {
      ok = FALSE;
      break;
    }
  }
  _SetFlagWord(flags, defined, nulls);
  // A converter found changed binds again at the next row.
  if (changed) Forget();
  // A column's own read may have given the record its buffer.
  return ok ? _bRowTextsNoted(record, sql, record->pclGetNAKJRecord(), texts, lengths) : FALSE;
}

unsigned int CNARowBinding::nGetWriterCount() const {
  unsigned int n = 0;
  for (const auto& s : m_tabSlot) n += s.eKind != CNAConvertVariant::NA_ROWSLOT_NONE ? 1 : 0;
  return n;
}
