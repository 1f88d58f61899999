// CNARowBinding: a statement's writers from the rows of its open result into its record, bound
// once per result. Each column of the record (up to its first composite key) gets the step its
// converter's slot has for its result column's texts (CNAConvertVariant::GetRowSlot), or none
// (a column whose converter has seen no server value yet asks again after its next own read).
// A row then runs through one loop (CNAConvertVariant::s_nWriteRow) over one compact array of
// the slots' constants: a NULL clears the slot, a text its step takes is written there, and
// every other value takes the column's own read (bSetValueFromDB), as does every column without
// a step. The record's defined bits follow as that read sets them; those of written and NULL
// slots that share the record's first flag word are set and cleared together at the end of the
// row.
//
// It owns nothing: the record, its columns and their converters are borrowed from the statement,
// which holds the record. What it keeps is valid while its stamps hold; bReadRow checks them
// before every row, and the statement forgets the binding when its record is replaced:
// - the record's column stamp (columns added or dropped),
// - the SQL statement's result stamp (a reset, a new result, a column array made or taken back);
//   a new result whose columns reach each converter in the forms bound keeps the binding,
// - each converter's shape stamp (kind, buffer, type, items, connection),
// - the connection's server and host code pages.
// The column stamp, the code pages and the converters' shape stamps are asked again only after
// some record's columns, some connection's code pages or some converter's shape changed (the
// counter all three move, CNAReadStamp), the record buffer's shape only for another buffer or
// layout: inside one result a row asks the result stamp, that counter and the buffer's layout stamp.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/wintypes.h"
#include "sql/naconvertvariant.h"
#include "sql/naservertext.h"

class CNAColumn;
class CNAKJRecord;
class CNARecord;
class CNARecordValue;
class CNAStatement;
class CNAStatementSQL;
struct STItemSlot;

// The run's constants are its base: the run's steps are given the binding.
class CNARowBinding : private CNAConvertVariant::STRowRun {
 public:
  // The next row is read column by column and binds again.
  void Forget() {
    m_bBound = false;
    // The row's first test then finds another record.
    m_pclRecord = nullptr;
  }
  // Binds the writers of record's columns for sql's current result; a column not read by a
  // plain SQL column of record gets none. browsed: the column the statement browses (may be null).
  void Bind(CNARecord* record, CNAStatementSQL* sql, const CNAColumn* browsed = nullptr);
  // The current row of sql into record, bound first unless bound for this record and SQL
  // statement as they stand now: the first column's read that fails ends it, FALSE. Without a
  // current row in the client's texts, every column takes its own read. A converter found
  // changed makes the binding forget itself after the row. current: record's current value
  // (null: none), which the caller has at hand.
  BOOL bReadRow(CNAStatement* statement, CNARecord* record, CNAStatementSQL* sql, CNARecordValue* current);
  // bReadRow's bound road is ready for this row: the binding, the row (*texts, *lengths) and the
  // record's buffer as bound. False, nothing done, otherwise (bReadRow asks then). current:
  // record's current value, not null.
  bool bRunReady(const CNARecord* record, const CNAStatementSQL* sql, const CNARecordValue* current,
                 const char* const** texts, const unsigned long** lengths) const;
  // The run's end at a slot it does not write (a NULL, a refused text): the statement's own road
  // for the row from its start (the slots the run wrote take the same bytes). Defined with the
  // statement's row reads.
  static BOOL s_bRunStopped(const CNAConvertVariant::STRowRun* run, const CNAConvertVariant::STRowSlot* p,
                            uint64_t held);
  // The binding whose run run is, and the statement that reads its rows (bReadRow's).
  static CNARowBinding* s_pclOf(const CNAConvertVariant::STRowRun* run) {
    return const_cast<CNARowBinding*>(static_cast<const CNARowBinding*>(run));
  }
  CNAStatement* pclGetStatementNoRef() const { return m_pclStatement; }
  // Every slot had a run's step when the slots were last noted (bRunReady tells whether that
  // still holds): else every row takes bReadRow.
  bool bRunLean() const { return m_bRunLean; }
  // The row through the slots' run, once bRunReady and bRunLean: bReadRow's answer. Its steps jump
  // from one to the next and out: in its caller's line, it needs no frame.
  BOOL bRunRow(const char* const* texts, const unsigned long* lengths) {
    ppTexts = texts;
    pnLengths = lengths;
    const CNAConvertVariant::STRowSlot* first = m_tabSlot.data();
    return first->pfnStep(this, first, 0);
  }
  // The columns bound with a writer (for tests).
  unsigned int nGetWriterCount() const;

 private:
  // What only the column's own read needs.
  struct STColumn {
    CNAColumn* pclColumn;
    const STItemSlot* pSlot;
    // How the result column's texts reach a plain SQL column's converter: its step is bound
    // for that form.
    CNAConvertVariant::eNAROWTEXT eForm;
    bool bPlain;
    // A plain column whose converter has seen no server value yet (a result's first row, or
    // only NULLs so far): asked for its step again after each of its own reads until then.
    bool bPending;
  };
  // The run's end for the texts to note after the row, then the access's row read forgotten when
  // it fails.
  static BOOL _s_bRunNoted(const STRowRun* run, const CNAConvertVariant::STRowSlot* p, uint64_t held);
  // The run's constants and each slot's step, with m_nSteppedLayout.
  void _NoteRun();
  // bReadRow's checks of the stamps in full, binding again when one changed; counters: the
  // CNAReadStamp they were asked at.
  void _CheckStamps(CNAStatement* statement, CNARecord* record, CNAStatementSQL* sql, unsigned int counters);
  // The flag word of kj's written slots (null: each slot goes through SetSlotDefined), kept for
  // kj's layout stamp when there is one.
  BYTE* _pbyFlagWord(CNAKJRecord* kj);
  // bReadRow for a row off its bound road (kj not the buffer the flag word was found in, or some
  // slot without its step or bit): its flag word found again, then each slot asked.
  BOOL _bReadRowAsked(CNAStatement* statement, CNARecord* record, CNAStatementSQL* sql, CNAKJRecord* kj,
                      const char* const* texts, const unsigned long* lengths);
  // The bound road's rest from slot stop, where the steps stopped: nulls, the bits of the slots
  // before it that were cleared. The bound road's record, statement, buffer and row are asked
  // again (no step changes them): the row's loop keeps nothing of them.
  BOOL _bWriteRowStoppedAt(CNAStatement* statement, const CNAConvertVariant::STRowSlot* stop, uint64_t nulls);
  // m_nSteppedLayout and the row's held test again, after m_bStepped or the flag word's layout
  // changed.
  void _NoteSteppedLayout();
  // bReadRow's rest from column i: each column by its own read (no row in the client's texts).
  BOOL _bReadColumnsFrom(CNAStatement* statement, CNARecord* record, CNAStatementSQL* sql, unsigned int i);
  // bReadRow's rest from slot i, defined and nulls the flag bits of the slots before it: each slot
  // asked (flags: the flag word, or null), then the flag word and the row's server texts.
  BOOL _bWriteRowFrom(CNAStatement* statement, CNARecord* record, CNAStatementSQL* sql, CNAKJRecord* kj,
                      BYTE* flags, const char* const* texts, const unsigned long* lengths, unsigned int i,
                      uint64_t defined, uint64_t nulls);
  // The written slots' bits set in the flag word, the NULL ones' cleared.
  void _SetFlagWord(BYTE* flags, uint64_t defined, uint64_t nulls) const;
  // The row's server texts noted unless its writers held them all; kj: the record's current buffer.
  BOOL _bRowTextsNoted(CNARecord* record, CNAStatementSQL* sql, const CNAKJRecord* kj, const char* const* texts,
                       const unsigned long* lengths);
  // Column i's own read, then its step when it was pending and its converter is now ready.
  BOOL _bReadColumn(CNAStatement* statement, CNARecord* record, CNAStatementSQL* sql, unsigned int i);
  // A new result of the same statement whose columns give every plain column the form it was
  // bound for (and none pending) keeps the binding: its result stamp is taken, true.
  bool _bKeepFor(const CNAStatementSQL* sql);
  // The checks of the columns that name the record's rows (its keys and browse order, every
  // column without a unique key) whose item may hold a value otherwise than the server.
  void _BindServerTexts(CNARecord* record, CNAStatementSQL* sql, const CNAColumn* browsed);
  // The row's server texts its record does not hold exactly, onto the record's current value.
  BOOL _bNoteServerTexts(CNARecord* record, const char* const* texts, const unsigned long* lengths,
                         unsigned int columns);
  // Column i's writer, when a check names it and its step writes the bytes the check reads, is
  // asked whether it held each row's text exactly: the check is not made again then.
  void _VouchSlot(unsigned int i, const CNAKJRecord* kj);
  // m_tabHeld again, after a vouching.
  void _NoteAllAsked();
  // m_bStepped again, after a slot's step changed or a stamp may have moved.
  void _NoteStepped();
  // Every check of the row would find its text held (NULL, its writer's answer, or a date-time
  // that is no zero date): nothing to note. kj: the record's buffer after the row.
  bool _bAllHeld(const CNAKJRecord* kj, const char* const* texts, const unsigned long* lengths) const;

  // The slots, by record column; their nDefinedBit is the bit in the flag word at m_nFlagBase.
  std::vector<CNAConvertVariant::STRowSlot> m_tabSlot;
  std::vector<STColumn> m_tabColumn;
  std::vector<STServerTextCheck> m_tabServerText;
  // The flag word's first byte and its bytes used, and what the record's shape must hold for
  // those bits to be its slots' own (SetSlotDefined's first step): more items than the largest
  // physical index, values reaching past the last element.
  unsigned int m_nFlagBase = 0;
  unsigned int m_nFlagBytes = 0;
  unsigned int m_nBitItems = 0;
  unsigned int m_nBitValues = 0;
  // The record's values when bound (null: no writer asked): the writers' answers hold for
  // checks reading these.
  const BYTE* m_pbyHeldValues = nullptr;
  // When every server-text check has a writer asked (nHeldSlot, its bAskHeld set) or keeps a
  // date-time's digits: each check's result column and its writer's answer (in m_tabSlot, which
  // keeps its size while bound), or none for a date-time, held unless a zero date; else empty.
  struct STHeld {
    unsigned int nColumn;
    const bool* pbHeld;
  };
  std::vector<STHeld> m_tabHeld;
  // Its only entry when that is a writer's answer (most keys), tested without the loop.
  const bool* m_pbOnlyHeld = nullptr;
  unsigned int m_nOnlyHeldColumn = 0;
  // When every entry is a writer's answer and every slot has a defined bit: their bits. A bound
  // row whose slots written held (or NULL) cover them has nothing to note, for the values at
  // m_pbyMaskValues (m_pbyHeldValues then; else null: ask _bAllHeld).
  uint64_t m_nHeldMask = 0;
  // The defined bits of all the slots, found with m_bStepped.
  uint64_t m_nAllBits = 0;
  // A bound row whose held and NULL slots' bits, masked, give the wanted ones has nothing to note.
  uint64_t m_nRowHeldMask = 0, m_nRowHeldWant = 0;
  // The values of the buffer of layout m_nFlagLayout.
  const BYTE* m_pbyFlagValues = nullptr;
  const BYTE* m_pbyMaskValues = nullptr;
  // The flag word of the buffer of layout m_nFlagLayout, and whether that buffer holds eight bytes
  // from it.
  BYTE* m_pbyFlags = nullptr;
  bool m_bFlagWord8 = false;
  // CNAReadStamp when the stamps were last checked in full: while it stays, no record's columns,
  // code page or converter's shape changed. It fills a hole of the layout: a larger
  // statement moves the heap the client library allocates each result from, at a cost to seeks.
  unsigned int m_nCountersChecked = 0;
  CNARecord* m_pclRecord = nullptr;
  CNAStatementSQL* m_pclSQL = nullptr;
  // The statement that owns the binding (the one bReadRow is given), for the run's ends.
  CNAStatement* m_pclStatement = nullptr;
  unsigned int m_nColumnStamp = 0;
  unsigned int m_nResultStamp = 0;
  int m_nServerCodePage = 0;
  int m_nHostCodePage = 0;
  // The layout stamp of the record buffer the flag word was found in (0: none kept).
  unsigned int m_nFlagLayout = 0;
  bool m_bBound = false;
  // Every slot has a run's step, of kRunSlots at most (_NoteRun).
  bool m_bRunLean = false;
  static constexpr size_t kRunSlots = 4;
  // Every slot has a step and a bit in the flag word (most tables) and its stamp held when the
  // counters were last checked: the row's loop asks none of these while they stay.
  bool m_bStepped = false;
  // m_nFlagLayout while m_bStepped holds, else kNoLayout: a row of a buffer of this layout takes
  // the bound road. Wider than a layout stamp, so that none is kNoLayout; after the flags, in
  // the hole they leave (the statement keeps its size).
  static constexpr uint64_t kNoLayout = uint64_t{1} << 32;
  uint64_t m_nSteppedLayout = kNoLayout;
};
