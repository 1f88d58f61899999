// CNAConvertVariant: carries one value between the host and the server (a column's current value,
// a parameter, a default value). Its value lives in the CAny (kind 1), in a caller's buffer such
// as an item's slot of the host record (kind 3), at a caller's pointer (kind 4) or in a buffer of
// its own (kind 5); kind 2 is a value not read from the server yet.
//
// Rules every path keeps:
// - One encoding per buffer. A kind 3 or 5 buffer of a UNICODE or MEMOUNICODE host item holds
//   UTF-16 units (pairs above U+FFFF); other wide buffers hold 4-byte characters; ANSI buffers
//   hold text of the connection's host code page. A BINAIRE host item's buffer always holds the
//   u16 length and at most size - 2 bytes.
// - A text longer than its buffer is cut at a character boundary, one terminator kept, and the
//   data size says what is held; a text that does not convert fails the setter.
// - Server texts that do not parse as the target type (numbers out of range, dates and times
//   that are no date or time of day, the empty text) raise error 53 with the text and leave the
//   buffer zeroed or the held value NULL. A zero month or day is the server's empty date.
// - Per value, the kind 3 paths of numbers, dates and texts allocate nothing on the heap and open
//   no conversion descriptor (decimals excepted where the host VM reads them: it makes one object
//   per value). A held
//   wide or narrow dynamic string keeps its block from value to value, through empty texts too,
//   and grows it only for a longer text; a failed growth leaves the value NULL with the
//   out-of-memory error.
// - The converter holds a reference on its connection from construction to destruction (a copy
//   moves it to the source's connection) and a count on its error object. The reference goes back
//   through the driver, so a converter that is a connection's last user closes it when its close
//   was requested.
#pragma once

#include <atomic>
#include <cstdint>

#include "driver/nareadstamp.h"
#include "sql/inaitemdescription.h"
#include "sql/navariant.h"

class CNAKJRecord;
class CZVBIN;
class INAItemDescription;
struct _SYSTEMTIME;

enum eNAVARTYPE : int32_t {
  NA_VAR_NONE = 0,
  NA_VAR_ANY = 1,
  NA_VAR_NOTREAD = 2,
  NA_VAR_BUFFER = 3,
  NA_VAR_POINTER = 4,
  NA_VAR_OWNBUFFER = 5,
};

class CNAConvertVariant final : public CNAVariant {
 public:
  CNAConvertVariant(CNAError* error, CNAConnectionDescription* cnx);
  ~CNAConvertVariant() override;

  // Retypes; for an HEURE host item and a text type the time text is brought to size - 1
  // characters (padded with '0' unless keepLength).
  BOOL vbChangeZVType(unsigned short type, int keepLength) override;
  BOOL vbGetValue(CAny* out) const override { return bGetValue(out); }
  BOOL vbIsEmpty() const override { return m_eVarType == NA_VAR_NONE; }
  const void* vpGetData() const override { return pGetData(); }
  unsigned int vnGetSize() const override { return nGetSize(); }
  CNAConnectionDescription* pclGetCnx() const override { return m_pclCnx; }
  virtual BOOL _bConvertDataToKJ() { return TRUE; }
  virtual BOOL _bConvertDataToDB() { return TRUE; }
  virtual BOOL _bInitBufferDB_Ptr();
  virtual BOOL _bInitBufferDB_Any();
  virtual BOOL _bInitTypeBind() { return TRUE; }

  // ---- Kind ----
  void InitTypeVariantAny(unsigned short type, unsigned int size);
  // InitTypeVariantAny(type, 0) then SetItemDesc(analysis, database); descriptions held already
  // are kept rather than given back and taken again.
  void InitTypeVariantAny(unsigned short type, INAItemDescription* analysis, INAItemDescription* database);
  // Kind 3 or 4 points at buffer; kind 5 allocates size zero bytes (FALSE, out of memory, when
  // it cannot).
  BOOL bInitTypeVariant(eNAVARTYPE kind, void* buffer, unsigned int size, unsigned short type);
  BOOL bInitTypeVariantBuffer(unsigned short type, unsigned int size);
  void ResetVariant();
  // Back to the state construction gave it (kind, buffer, descriptions, value, lengths), its
  // connection, error and references kept; the shape stamp moves on, so no row writer takes it
  // for the converter it was.
  // keepItems: the descriptions stay held for the caller, who types the converter again at once
  // through InitTypeVariantAny with its descriptions (or SetItemDesc).
  void Restart(bool keepItems = false);
  // Restart(true), InitTypeVariantAny(value's type, analysis, database) and bSetValue(value) in
  // one step, for a converter those two typed already as that value's type, a plain number not
  // NULL (a seek's value renewed): TRUE, the converter as the three leave it; FALSE, untouched.
  BOOL bRenewPlainNumber(INAItemDescription* analysis, INAItemDescription* database, const CAny* value);
  void SetItemDesc(INAItemDescription* analysis, INAItemDescription* database);
  // For the column layer: a value not read from the server yet.
  void SetNotRead() { m_eVarType = NA_VAR_NOTREAD; }
  eNAVARTYPE eGetVarType() const { return m_eVarType; }
  unsigned short wGetType() const { return m_clValue.wGetType(); }
  BOOL bIsNull() const { return m_clValue.bIsNull() ? TRUE : FALSE; }
  CNAError* pclGetError() const { return m_pclError; }

  // ---- Item types ----
  // Read when the item is set: every value converted asks it.
  eNA_ITEMTYPE eNAGetItemTypeAnalyse() const { return m_eAnalysisType; }
  eNA_ITEMTYPE eNAGetItemTypeDatabase() const {
    return m_piDatabase != nullptr ? m_piDatabase->eNAGetItemType() : NA_IT_EMPTY;
  }
  eNA_ITEMTYPE eNAGetItemType() const;
  eNA_ITEMTYPE eNAGetItemTypeDatabaseEx() const;
  BOOL bIsMemo() const;
  BOOL bIsMemoBinaire() const;
  BOOL bUnicodeDB() const;
  unsigned short eGetZVTypeDB() const;
  // The database item's type when the server knows its column type code; 0 otherwise.
  eNA_ITEMTYPE eNAGetDBType() const;
  const wchar_t* pszGetItemName() const;
  const wchar_t* pszGetTableName() const;
  INAItemDescription* piGetAnalysisItem() const { return m_piAnalysis; }
  INAItemDescription* piGetDatabaseItem() const { return m_piDatabase; }

  // ---- From the host ----
  void SetNull();
  BOOL bSetValue(const CAny* value);
  BOOL bSetValue(const unsigned char* bytes, unsigned int length);
  BOOL bSetValue(CZVBIN* bin);
  BOOL bSetValue(const wchar_t* text, unsigned int length);
  BOOL bSetValue(const char* text, unsigned int length);
  BOOL bSetValue(bool v);
  BOOL bSetValue(unsigned char v);
  BOOL bSetValue(unsigned short v);
  BOOL bSetValue(unsigned int v);
  BOOL bSetValue(unsigned long long v);
  BOOL bSetValue(char v);
  BOOL bSetValue(short v);
  BOOL bSetValue(int v);
  BOOL bSetValue(long long v);
  BOOL bSetValue(const CMoney& v);
  BOOL bSetValue(float v);
  BOOL bSetValue(double v);
  BOOL bSetValue(CDateTime* v);
  BOOL bSetValue(_SYSTEMTIME* v);

  // ---- From the server ----
  BOOL bSetValueFromDB(const wchar_t* text, unsigned int length);
  BOOL bSetValueDB(const wchar_t* text, unsigned int length);
  BOOL bSetValueDB(const char* text, unsigned int length, unsigned int codePage) {
    // The roads a browse takes row after row, each in a few steps with the bytes the general road
    // writes: slots of integer, currency, date-time, decimal and UTF-16 text items, here in the caller, and
    // the held memo. Each hands what it does not take to the general road.
    if (m_eVarType == NA_VAR_BUFFER && m_nDBState != 0 && text != nullptr && length != 0xFFFFFFFFu) {
      const unsigned short type = wGetType();
      if (type >= ZV_UI1 && type <= ZV_I8) return _bSlotInteger(text, length, codePage);
      if (type == ZV_CY) return _bSlotCurrency(text, length, codePage);
      if (type == ZV_DATETIME) return _bSlotDateTime(text, length, codePage);
      if (type == ZV_DECIMAL) return _bSlotDecimal(text, length, codePage);
      if (codePage == 65001 && length > 0 && (type == ZV_DSTRW || type == ZV_PSTRW || type == 20 || type == 81))
        return _bSlotUTF16(text, length, codePage);
      if (length > 0) return _bSlotText(text, length, codePage);
    }
    return _bSetValueDBUnslotted(text, length, codePage);
  }
  BOOL bSetValueDB(const CAny* value);
  BOOL bSetValueDB(const unsigned char* bytes, unsigned int length);
  // The server's own "YYYY-MM-DD HH:MM:SS" into a DATETIME slot ready for server values: the bytes
  // bSetValueDB writes for its digit form "YYYYMMDD HH:MM:SS". FALSE, nothing written and no
  // error raised, for any other text or converter: the caller takes the digit road then.
  BOOL bSetServerDateTimeDB(const char* text, unsigned int length);

  // ---- Result rows ----
  // How a result column's non-NULL values reach bSetValueDB: its text as the server sent it, in
  // the server's code page (NA_ROWTEXT_DB); the server's "YYYY-MM-DD HH:MM:SS" of a DATETIME
  // column, which bSetServerDateTimeDB tries first (NA_ROWTEXT_DATETIME); the server's
  // "YYYY-MM-DD" of a DATE column, as its digits YYYYMMDD (NA_ROWTEXT_DATE); any other way.
  enum eNAROWTEXT : int32_t { NA_ROWTEXT_OTHER = 0, NA_ROWTEXT_DB = 1, NA_ROWTEXT_DATETIME = 2, NA_ROWTEXT_DATE = 3 };
  // What a row writer knows of one slot, read once: the kind of its step (NONE: the general
  // road only), the slot's bytes and the constants of its type. Right while the converter's
  // nGetShapeStamp() keeps nShapeStamp (every change of kind, buffer, type, items or connection
  // moves it) and its connection's two code pages stay as they were when it was filled.
  enum eNAROWSLOT : uint8_t {
    NA_ROWSLOT_NONE = 0,
    NA_ROWSLOT_INTEGER,
    NA_ROWSLOT_CURRENCY,
    NA_ROWSLOT_DECIMAL,       // precision 1 to 18: a 64-bit unscaled value
    NA_ROWSLOT_WIDEDECIMAL,   // 19 to 38
    NA_ROWSLOT_REAL,          // a double, or a float of width 4
    NA_ROWSLOT_DATETIME,  // the server's "YYYY-MM-DD HH:MM:SS" only
    NA_ROWSLOT_DATE8,     // the server's "YYYY-MM-DD" of a date, into a DATE8 slot's digits
    NA_ROWSLOT_UTF16,
    NA_ROWSLOT_UTF8_1252,  // narrow text slots: server page, host page
    NA_ROWSLOT_UTF8_UTF8,
    NA_ROWSLOT_1252_1252,
    NA_ROWSLOT_1252_UTF8,
    // Steps only (STRowSlot::eStep), never a slot's kind: the asked forms of the usual text kinds,
    // those of short texts by the slot's size (UTF-16: 34 to 64 bytes, 65 to 96; 1252: 4 to 7,
    // 8 to 15); integer slots that hold just the value, of 1, 2, 4 and 8 bytes.
    NA_ROWSLOT_INTEGER_1,
    NA_ROWSLOT_INTEGER_2,
    NA_ROWSLOT_INTEGER_4,
    NA_ROWSLOT_INTEGER_8,
    NA_ROWSLOT_UTF16_ASKED,
    NA_ROWSLOT_UTF16_ASKED_64,
    NA_ROWSLOT_UTF16_ASKED_96,
    NA_ROWSLOT_UTF8_1252_ASKED,
    NA_ROWSLOT_UTF8_1252_ASKED_4,
    NA_ROWSLOT_UTF8_1252_ASKED_8,
  };
  struct STRowSlot;
  struct STRowRun;
  // One slot's step of a row's run (s_pfnRowStep): writes slot p from the run's row, held the
  // held bits so far, then goes on to the next slot's step, or ends the row after the last.
  using PFNROWSTEP = BOOL (*)(const STRowRun* run, const STRowSlot* p, uint64_t held);
  struct STRowSlot {
    // Integers: the magnitudes a value lies below, positive and negative (0: unsigned). First, so
    // that the row's loop reads them at its slot's own address, indexed.
    uint64_t nLimit[2] = {0, 0};
    CNAConvertVariant* pclValue = nullptr;
    unsigned char* pbySlot = nullptr;
    // Owned by the caller: OR-ed into s_nWriteRow's defined word when this slot is written; 0
    // stops the row after the write so that the caller defines the slot itself.
    uint64_t nDefinedBit = 0;
    uint32_t nSize = 0;
    uint32_t nColumn = 0;  // the result column whose texts it takes
    uint32_t nShapeStamp = 0;
    eNAROWSLOT eKind = NA_ROWSLOT_NONE;
    uint8_t nWidth = 0;  // numbers: the bytes of the value
    uint8_t nPrecision = 0, nScale = 0;
    // Owned by the caller, with a defined bit: the slot is the whole of its record's element, so
    // that a NULL may clear it (s_bNullRowSlot) and its bit go into s_nWriteRow's NULL word.
    bool bNullInRow = false;
    // Owned by the caller: a text slot's writer tells in bHeld, at each write, whether the slot
    // holds the text character for character, whole, with no NUL (false where not known).
    bool bAskHeld = false;
    mutable bool bHeld = false;
    // The step s_pWriteRowStepped takes: eKind, or its asked form while bAskHeld (s_NoteStep).
    eNAROWSLOT eStep = NA_ROWSLOT_NONE;
    // An asked UTF-16 step of a size class: the most units of a text held with room to spare.
    uint8_t nHeldUnits = 0;
    // Owned by the caller: the slot's step in a row's run (s_pfnRowStep), while the run holds.
    PFNROWSTEP pfnStep = nullptr;
  };
  // What a row's run needs past its slots, owned by the caller. Each slot's step jumps to the
  // next one's: a row of slots that all write runs with no loop, no dispatch and no frame. The
  // last step sets the slots' bits in the flag word and ends the row unless a text is to be
  // noted. Every slot must have a kind, its step noted and a defined bit, no stamp moved.
  struct STRowRun {
    // The row's texts (null: NULL) and their lengths, by result column, set before each row: the
    // steps read them here and keep their registers for the slot's own work.
    const char* const* ppTexts = nullptr;
    const unsigned long* pnLengths = nullptr;
    // The flag word of the slots' bits (nAllBits), eight bytes of the buffer, else its bytes.
    BYTE* pbyFlags = nullptr;
    uint64_t nAllBits = 0;
    // A row whose held bits, masked, give the wanted ones has no text to note.
    uint64_t nHeldMask = 0, nHeldWant = 0;
    unsigned int nFlagBytes = 0;
    bool bFlagWord8 = false;
    // Slot p not written (NULL, its text refused), nothing written there: the rest of the row.
    PFNROWSTEP pfnStopped = nullptr;
    // Every slot written, the flag word set: a text to note.
    PFNROWSTEP pfnNoted = nullptr;
  };
  // The step of slot (its eStep) in a row's run; last: the row's last slot. Null for a step that
  // may call (a run's steps call nothing on their usual texts): the integers that fill their
  // slot and the short asked texts have one.
  static PFNROWSTEP s_pfnRowStep(const STRowSlot& slot, bool last);
  // slot's eStep again, after its kind or bAskHeld changed.
  static void s_NoteStep(STRowSlot* slot);
  // This slot's step for a result column of form read on cnx (the converter's own connection),
  // with cnx's code pages as they are now; kind NONE where only the general road will do.
  // nColumn and nDefinedBit are left to the caller, bNullInRow cleared.
  void GetRowSlot(eNAROWTEXT form, const CNAConnectionDescription* cnx, STRowSlot* slot);
  // Writes one text into the slot with the bytes, data size and flags the general road leaves
  // (the slot must be of a kind, its stamp holding). FALSE: nothing written, nothing raised.
  static BOOL s_bWriteRowSlot(const STRowSlot& slot, const char* text, unsigned int length);
  // Writes the texts of slots [from, count) of one row while each is written, OR-ing their
  // nDefinedBit into *defined, and clears those whose text is NULL when s_bNullRowSlot does,
  // OR-ing their bits into *nulls. Returns count when every slot is done; else the first slot not
  // finished: untouched (its text refused or a NULL it does not clear, no kind, its stamp moved),
  // or with kRowWritten added, written but its bit left to the caller.
  static constexpr unsigned int kRowWritten = 0x80000000u;
  static unsigned int s_nWriteRow(const STRowSlot* slots, unsigned int from, unsigned int count,
                                  const char* const* texts, const unsigned long* lengths, uint64_t* defined,
                                  uint64_t* nulls);
  // s_nWriteRow over [first, last) for a caller that knows that every slot there has a kind, its
  // step noted (s_NoteStep) and a defined bit and that no stamp moved since it checked them
  // (s_nShapeStampNow): none of these is asked again. The slot it stopped at, last when every
  // slot is done. The defined bits are left to the caller: those of the slots before the stop
  // that are not in *nulls. *held: the bits of the written asked slots whose bHeld is set after
  // their write, OR-ed in.
  static const STRowSlot* s_pWriteRowStepped(const STRowSlot* first, const STRowSlot* last, const char* const* texts,
                                             const unsigned long* lengths, uint64_t* nulls, uint64_t* held);
  // For a NULL of a slot with bNullInRow whose stamp holds: clears the slot as SetNull does (and
  // so the record's element), TRUE; the caller clears the slot's bit. FALSE, nothing done, else.
  static BOOL s_bNullRowSlot(const STRowSlot& slot);
  unsigned int nGetShapeStamp() const { return m_nShapeStamp; }
  // Moves with every converter's shape stamp (and at a converter's birth), but for the renewals of
  // a value held as it is, which has no buffer and so no step of a slot: while it stays, no slot's
  // stamp moved. It only grows.
  static unsigned int s_nShapeStampNow() { return CNAReadStamp::nNow(); }
  // bInitBufferDB ran (or had nothing to do): a slot gets a writer only then.
  BOOL bDBReady() const { return m_nDBState != 0 ? TRUE : FALSE; }

  // ---- Reading ----
  BOOL bGetValue(CAny* out) const;
  const void* pGetData() const;
  unsigned int nGetSize() const;
  unsigned int nGetUtilDataSize() const;
  BOOL bGetBufferDB(unsigned char** data, unsigned int* size, unsigned int** dbLength);
  // A DECIMAL analysis item's digits; on a dialect-2 connection those of the value's type (a
  // decimal's own); else the value's as a decimal.
  BOOL bGetDecimalInfo(int* precision, int* scale) const;
  int nCmp(const CNAVariant* other) const { return CNAVariant::nCmp(other); }
  BOOL bEqualsNAVariant(const CAny* other) const { return CNAVariant::bEqualsNAVariant(other); }
  BOOL bEqualsNAVariant(const CNAConvertVariant* other) const;
  BOOL bCopyVariant(const CNAConvertVariant* source);
  // Restart(true) then bCopyVariant(source) in one step, for a converter of a value of its own
  // already typed by source's descriptions (the copy of a leaf's value, renewed for the leaf's
  // next value): TRUE, the converter as those two leave it. FALSE, untouched, otherwise.
  BOOL bRenewCopy(const CNAConvertVariant* source);
  CNAConvertVariant* pclGetCloneVariant() const;
  BOOL bLoadFile(const wchar_t* path, CNAError* error, int binary);
  void CompleteSpaces(int n);
  BOOL bConvertDataToKJ(CNAKJRecord* record);
  BOOL bConvertDataToDB() { return bInitBufferDB(); }
  BOOL bInitBufferDB() { return m_nDBState != 0 ? TRUE : _bPrepareBufferDB(); }

  static BOOL s_bTextToBool(const char* text) {
    return !(text == nullptr || *text == 0 || *text == '0' || *text == 'F' || *text == 'f');
  }
  static BOOL s_bTextToBool(const wchar_t* text) {
    return !(text == nullptr || *text == 0 || *text == L'0' || *text == L'F' || *text == L'f');
  }

  // The source-file number of this class's debug lines.
  static constexpr int kSourceFile = 12;

 private:
  bool _bBuffered() const { return m_eVarType == NA_VAR_BUFFER || m_eVarType == NA_VAR_OWNBUFFER; }
  bool _bUTF16Slot() const { return _bWideTextSlot() && bIsTextUnicode(eNAGetItemTypeAnalyse()); }
  // The same for the analysis item's type, read by the caller.
  bool _bUTF16Slot(eNA_ITEMTYPE analysis) const { return _bWideTextSlot() && bIsTextUnicode(analysis); }
  bool _bWideTextSlot() const { return _bBuffered() && g_bIsZVTextWide(wGetType()) && wGetType() != ZV_CARW; }
  // bInitBufferDB's work when the database form is not ready.
  BOOL _bPrepareBufferDB();
  bool _bBinarySlot() const;
  void _SetKind(eNAVARTYPE kind, bool keepItems = false);
  void _Touch();
  int _nHostCodePage() const;
  int _nServerCodePage() const;
  // Buffer writers (kinds 3 and 5): each zero-fills what it leaves and records the data size.
  BOOL _bStoreBytes(const void* bytes, unsigned int length, unsigned int reserve);
  // N bytes of a number, currency or date-time as _bStoreBytes stores them, for the slots where
  // that is a plain copy (analysis: the analysis item's type); false, nothing written, for the
  // others.
  template <unsigned int N>
  bool _bStoreFixed(const void* bytes, eNA_ITEMTYPE analysis);
  BOOL _bStoreWide(const wchar_t* text, unsigned int length);
  BOOL _bStoreAnsi(const char* text, unsigned int length, int codePage);
  BOOL _bSetValue(const char* text, unsigned int length, int codePage);
  // The common roads of bSetValueDB: each writes what the general road writes, and leaves any
  // other text to it.
  BOOL _bSlotInteger(const char* text, unsigned int length, unsigned int codePage);
  BOOL _bSlotCurrency(const char* text, unsigned int length, unsigned int codePage);
  BOOL _bSlotDateTime(const char* text, unsigned int length, unsigned int codePage);
  // "[-]digits[.digits]" of at most the item's scale and precision into its data form, with no
  // decimal object; any other text, item or slot takes the general road.
  BOOL _bSlotDecimal(const char* text, unsigned int length, unsigned int codePage);
  BOOL _bSlotUTF16(const char* text, unsigned int length, unsigned int codePage);
  // The kind of this slot's step for form with these code pages (NONE: the general road).
  eNAROWSLOT _eRowSlotKind(eNAROWTEXT form, int server, int host) const;
  // slot filled for kind (its tests passed): the slot and the constants of its type.
  void _FillRowSlot(eNAROWSLOT kind, STRowSlot* slot);
  // The step of slot's kind, size and bAskHeld.
  static eNAROWSLOT s_eStep(const STRowSlot& slot);
  // s_bNullRowSlot, in line in this file's row loop.
  static BOOL _s_bNullSlot(const STRowSlot& slot);
  // A row's run's step of slots of step Step (a lean one), the last slot of its row when Last.
  template <eNAROWSLOT Step, bool Last>
  static BOOL _s_bRowStep(const STRowRun* run, const STRowSlot* p, uint64_t held);
  // A lean step's other texts, by the call its short pass stands before.
  template <eNAROWSLOT Step, bool Last>
  static BOOL _s_bRowStepAny(const STRowRun* run, const STRowSlot* p, uint64_t held);
  // A row's run's end after its last slot.
  static BOOL _s_bEndRowRun(const STRowRun* run, const STRowSlot* end, uint64_t held);
  template <bool Last>
  static PFNROWSTEP _s_pfnRowStep(eNAROWSLOT step);
  // The loop of s_nWriteRow over [p, last): where it stopped, *written set as kRowWritten is added.
  template <bool Stepped>
  static const STRowSlot* _s_pWriteRun(const STRowSlot* p, const STRowSlot* last, const char* const* texts,
                                       const unsigned long* lengths, uint64_t* defined, uint64_t* nulls,
                                       uint64_t* held, unsigned int* written);
  // The decimal step of the slot: by the item's precision, when the slot holds its data form.
  eNAROWSLOT _eDecimalSlotKind() const;
  // The slot roads' steps, each the row writer's for the kind: FALSE, nothing written.
  BOOL _bIntoSlot(eNAROWSLOT kind, const char* text, unsigned int length);
  // Any other text slot: the general road's own step for it, without its tests of other kinds.
  BOOL _bSlotText(const char* text, unsigned int length, unsigned int codePage);
  BOOL _bSetValueDBGeneral(const char* text, unsigned int length, unsigned int codePage);
  // bSetValueDB for all but the slots it reads itself: the held memo's road, else the general one.
  BOOL _bSetValueDBUnslotted(const char* text, unsigned int length, unsigned int codePage);
  // Text of codePage into the held DSTRW (widened, cut at its first zero) or DSTRA (of the host
  // code page, copied) in the string's own block. FALSE, the value NULL, out of memory.
  BOOL _bSetHeldString(const char* text, unsigned int length, int codePage);
  // A value that does not fit raises error 53 with its own type and text, or with those given.
  BOOL _bSetSameType(const CAny* value, unsigned short from = 0, const wchar_t* shown = nullptr);
  BOOL _bSetNumberDB(const wchar_t* text, const wchar_t* shown, unsigned short from);
  // A server's number text of codePage: plain integer, currency, decimal and real texts without
  // the host VM.
  BOOL _bSetNumberDB(const char* text, unsigned int length, int codePage);
  BOOL _bSetNumberByVM(const char* text, unsigned int length, int codePage);
  // The held value (kind 1) becomes the number of type whose width bytes are given.
  BOOL _bHoldPlainNumber(unsigned short type, const unsigned char* bytes, unsigned int width);
  BOOL _bSetValueDB_AndConvertToDate(const char* text, unsigned int length, unsigned short from);
  BOOL _bSetDateDigits(const char* digits, int from);
  void _SetErrorConversionFailed(unsigned short from, const wchar_t* text);
  void _SetErrorConversionFailed(unsigned short from, const char* text, unsigned int length, int codePage);
  void _ZeroBuffer();

  CNAConnectionDescription* m_pclCnx = nullptr;
  INAItemDescription* m_piDatabase = nullptr;
  INAItemDescription* m_piAnalysis = nullptr;
  // The analysis item's type and, for a DECIMAL, its precision and scale (-1: none), read once.
  eNA_ITEMTYPE m_eAnalysisType = NA_IT_EMPTY;
  int m_nAnalysisPrecision = -1, m_nAnalysisScale = -1;
  // The value type the analysis item gives (ConverteItemToZVType), read with it.
  unsigned short m_wAnalysisZV = 0;
  // bDecimalForm of the analysis item.
  bool _bAnalysisDecimal(int* precision, int* scale) const {
    if (m_nAnalysisPrecision < 0) return false;
    *precision = m_nAnalysisPrecision;
    *scale = m_nAnalysisScale;
    return true;
  }
  eNAVARTYPE m_eVarType = NA_VAR_NONE;
  unsigned char* m_pbyBuffer = nullptr;
  unsigned int m_nDataSize = 0;
  unsigned int m_nBufferSize = 0;
  unsigned int m_nDBLength = 0;
  int m_nDBState = 0;
  // Moved by every change a row writer depends on (GetRowSlot), only through _MoveShapeStamp.
  unsigned int m_nShapeStamp = 0;
  void _MoveShapeStamp(unsigned int by) {
    m_nShapeStamp += by;
    CNAReadStamp::nMove();
  }
  // A value held as it is renewed: only a buffer's converter gives a slot a step (one that stopped
  // being a buffer moved the counter then), so the counter stays for the bindings' sake.
  void _MoveHeldShapeStamp(unsigned int by) { m_nShapeStamp += by; }
  CNAError* m_pclError = nullptr;
};
