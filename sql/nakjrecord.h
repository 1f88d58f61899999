// CNAKJRecord: one record in the host's layout, whose bytes the host reads directly: a bit-field
// of defined (not NULL) flags, one bit per physical item, first item in the most significant bit
// of the first byte, followed by the values area where each item occupies its own offset on
// (elements of an array item one after the other). The record owns its one malloc'ed buffer and
// holds no pointer in it.
//
// Holders (the record template, row values, caches, the host) count it: a new record has count
// 0, whoever keeps it first takes the first reference, and the release that reaches 0 deletes
// it. A record nobody counted is deleted by its owner. The count is plain: records are touched
// under the driver mutex only.
//
// Serialised form: u32 total size, u32 item count, u32 bit-field size (all little-endian), then
// the whole buffer.
//
// Rules every operation keeps:
// - An element is addressed by item and index (a negative index: the whole item). An element
//   that does not lie wholly inside the values area (an item not laid out, an index past the
//   dimension, a description of another layout) is neither read nor written, nor defined.
// - An item whose physical index is not below the item count has no bit: it is neither written
//   nor defined, and reads as not defined.
// - Writes store at most the element's bytes and zero-fill the rest; reads never go past the
//   element.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>

#include "driver/nadrivermutex.h"
#include "platform/wintypes.h"
#include "sql/inaitemdescription.h"

// Virtual calls made as written, without GCC's speculative guess at the callee.
#if defined(__GNUC__) && !defined(__clang__)
#define QX_NO_GUESSED_CALLS [[gnu::optimize("no-devirtualize-speculatively")]]
#else
#define QX_NO_GUESSED_CALLS
#endif

class CAny;
class INADataSourceDescription;

// How bInit fills a new record: every item NULL, or the items' default values.
enum eINITTYPE : int {
  NA_INIT_EMPTY = 0,
  NA_INIT_DEFAULT = 1,
};

// What defining element 0 of an item needs of the item's description, read once: the host's
// descriptions do not change under a column, and each read is a call into the host.
struct STItemSlot {
  int64_t nOffset = -1;  // negative: the item has no element
  unsigned int nSize = 0;
  unsigned int nPhysical = 0;
  bool bMemo = false;
  bool bComposedKey = false;
  bool bRead = false;
  void Read(const INAItemDescription* item);
};

class CNAKJRecord {
 public:
  CNAKJRecord() = default;
  CNAKJRecord(const CNAKJRecord&) = delete;
  CNAKJRecord& operator=(const CNAKJRecord&) = delete;
  virtual ~CNAKJRecord();

  void AddRef() { ++m_nRef; }
  // The count left; a release without a reference changes nothing and answers 0.
  int nRelease();
  unsigned int nGetRefCount() const { return m_nRef; }

  // The forwarding slots that other layers call by position.
  virtual CNAKJRecord* vpclGetClone() const { return pclGetClone(); }
  virtual void vSetValues(const void* bytes, unsigned int length) { SetValues(bytes, length); }
  virtual BYTE* vpbyGetItemValue(const INAItemDescription* item, int index) { return pbyGetItemValue(item, index); }
  virtual const BYTE* vpbyGetItemValue(const INAItemDescription* item, int index) const {
    return pbyGetItemValue(item, index);
  }
  virtual void vSetItemValue(const INAItemDescription* item, const void* bytes, unsigned int length, int index) {
    SetItemValue(item, bytes, length, index);
  }
  virtual void vSetItemValue(const INAItemDescription* item, const CAny* value, int index) {
    SetItemValue(item, value, index);
  }
  virtual void vGetItemValue(CAny* out, const INAItemDescription* item, int index) const {
    GetItemValue(out, item, index);
  }
  virtual void vGetItemValue(void* out, const INAItemDescription* item, int index) const {
    GetItemValue(out, item, index);
  }
  virtual void vSetItemValueDefined(const INAItemDescription* item, BOOL defined, int index) {
    SetItemValueDefined(item, defined, index);
  }
  // The host asks it of every item of every row with items of its own: a guess that the item is
  // one of the driver's would only add a compare to each call.
  QX_NO_GUESSED_CALLS virtual BOOL vbItemValueDefined(const INAItemDescription* item, int) const {
    return _bItemBit<true>(item);
  }
  // The host gives back a record it was handed through this slot.
  virtual int vnRelease() { return nRelease(); }

  // Sizes the record from the description (its physical items, and its disk record size or the
  // end of its last item that is no composite key when that lies further), every value NULL; with NA_INIT_DEFAULT each item that is not a composite key takes its default.
  // FALSE, the record unchanged, when the buffer cannot be allocated.
  BOOL bInit(INADataSourceDescription* desc, eINITTYPE init);

  BYTE* pbyGetValues() const { return m_pbyValues; }
  BYTE* pbyGetNullValuesFlags() const { return m_pbyFlags; }
  unsigned int nGetFlagFieldSize() const { return m_nFlagSize; }
  unsigned int nGetTotalSize() const { return m_nTotalSize; }
  unsigned int nGetItemCount() const { return m_nItemCount; }
  // Moves with every new buffer (its sizes and places): a reader that checked them knows them
  // unchanged while it stays. Unique among records (one counter for all); 0: no buffer yet.
  unsigned int nGetLayoutStamp() const { return m_nLayoutStamp; }
  // Moves with every new buffer of any record, and with CNARecordValue's parts (s_MoveLayouts): a
  // reader that checked sizes or parts knows them unchanged while it stays.
  static unsigned int s_nLayoutsNow() { return s_nLayoutGenerator.load(std::memory_order_relaxed); }
  static void s_MoveLayouts() {
    CNADriverMutex::s_Moved();
    s_nLayoutGenerator.fetch_add(1, std::memory_order_relaxed);
  }
  // Null when the element lies outside the values area.
  BYTE* pbyGetItemValue(const INAItemDescription* item, int index);
  const BYTE* pbyGetItemValue(const INAItemDescription* item, int index) const;

  // The item's bit (the index is not used). The host asks it of every item of every row read.
  BOOL bItemValueDefined(const INAItemDescription* item, int) const { return _bItemBit<false>(item); }
  // Sets or clears the item's bit. A memo element gets its reference: all zero when defined, all
  // 0xFF when NULL; the element of another item is zero-filled when it becomes NULL.
  void SetItemValueDefined(const INAItemDescription* item, BOOL defined, int index);
  // SetItemValueDefined of element 0 with the item's description read before. Every value of
  // every row read comes through here: a defined plain value only sets its bit.
  void SetSlotDefined(const STItemSlot& slot, BOOL defined) {
    if (defined && !slot.bMemo && slot.nPhysical < m_nItemCount && _bSlotInside(slot)) {
      m_pbyFlags[slot.nPhysical / 8] |= static_cast<BYTE>(0x80u >> (slot.nPhysical % 8));
      return;
    }
    _SetSlotDefined(slot, defined);
  }
  // For the item the slot was read from: bItemValueDefined(item, 0) and pbyGetItemValue(item, 0).
  BOOL bSlotDefined(const STItemSlot& slot) const;
  const BYTE* pbySlotElement(const STItemSlot& slot) const;
  // The same for count items at once, with the physical indexes given and element 0.
  void SetTabItemValueDefined(const INAItemDescription* const* items, unsigned int count,
                              const unsigned int* physical, const BOOL* defined);

  // Stores length bytes by the item type's rule, then defines the item.
  void SetItemValue(const INAItemDescription* item, const void* bytes, unsigned int length, int index);
  // Stores a host value, converted to the item's host type when needed. A NULL or empty value,
  // or one that does not convert, leaves the element NULL.
  void SetItemValue(const INAItemDescription* item, const CAny* value, int index);
  // The element as a host value of the item's host type, not NULL (the bit is not consulted).
  void GetItemValue(CAny* out, const INAItemDescription* item, int index) const;
  // The element's raw bytes into out (element size, or total size for a negative index).
  void GetItemValue(void* out, const INAItemDescription* item, int index) const;

  // Copies at most the values area and defines every item.
  void SetValues(const void* bytes, unsigned int length);
  // Copies the buffer of a record of the same layout; FALSE, nothing copied, for another one.
  BOOL Copy(const CNAKJRecord* other) {
    if (other == nullptr || other->m_nTotalSize != m_nTotalSize || other->m_nFlagSize != m_nFlagSize) return FALSE;
    if (other != this && m_nTotalSize > 0) memcpy(m_pbyBuffer, other->m_pbyBuffer, m_nTotalSize);
    return TRUE;
  }
  // A new record with the same sizes and bytes; null when memory runs out.
  CNAKJRecord* pclGetClone() const;
  // Same sizes and the same bytes (two empty records are equal).
  BOOL bEquals(const CNAKJRecord* other) const;

  unsigned int nGetSerializeSize() const { return m_nTotalSize + kHeaderSize; }
  unsigned int nGetSerializeValuesOffset() const { return m_nFlagSize + kHeaderSize; }
  // Writes the serialised form; FALSE, nothing written, when size cannot hold it.
  BOOL Serialize(void* out, unsigned int size) const;
  // Reads a serialised form. FALSE, the record unchanged, for a buffer shorter than its header
  // and total size, a bit-field size other than ceil(count / 8), a total below the bit-field, or
  // when memory runs out.
  BOOL Deserialize(const void* bytes, unsigned int size);

  // Row-table hooks: the stored size of a record, its buffer copied out, and copied back into a
  // record of the same total size (FALSE, nothing copied, for another size).
  unsigned int _nGetDataSize() const { return m_nTotalSize; }
  void _Serialize(void* out) const {
    if (out != nullptr && m_nTotalSize > 0) memcpy(out, m_pbyBuffer, m_nTotalSize);
  }
  // Inline: every row a cache hands out comes through here.
  BOOL _Deserialize(const void* in, unsigned int size) {
    if (in == nullptr || size != m_nTotalSize || m_pbyBuffer == nullptr) return FALSE;
    if (size > 0) memmove(m_pbyBuffer, in, size);
    return TRUE;
  }

  static constexpr unsigned int kHeaderSize = 12;

 private:
  // The element's bytes and their count, or null.
  BYTE* _pbyElement(const INAItemDescription* item, int index, unsigned int* size) const;
  // The item's bit number, or -1 when it has none.
  int _nBit(unsigned int physical) const;
  // bItemValueDefined. The bit is shifted down to bit 0 (no compare after the mask); kLowFirst
  // finds it by its index counted from its byte's low bit (physical ^ 7), one step fewer where
  // the call has nothing else to do, while the shift of ~physical suits loops over the items.
  template <bool kLowFirst>
  [[gnu::always_inline]] BOOL _bItemBit(const INAItemDescription* item) const {
    if (item == nullptr) return FALSE;
    const unsigned int physical = item->nGetPhysicalIndice();
    if (physical >= m_nItemCount) return _nBit(physical) >= 0;  // FALSE; a debug build says why
    const unsigned int bit = kLowFirst ? physical ^ 7 : physical;
    return (m_pbyFlags[bit / 8] >> (kLowFirst ? bit & 7 : ~bit & 7)) & 1;
  }
  void _SetBit(int bit, BOOL defined);
  void _SetDefined(const INAItemDescription* item, unsigned int physical, BOOL defined, int index);
  bool _bSlotInside(const STItemSlot& slot) const {
    return m_pbyBuffer != nullptr && slot.nOffset >= 0 && static_cast<uint64_t>(slot.nOffset) + slot.nSize <= _nValuesSize();
  }
  void _SetSlotDefined(const STItemSlot& slot, BOOL defined);
  // The bit and the element's fill of a defined or NULL value (memo references: zeros or 0xFF).
  void _MarkDefined(BYTE* element, unsigned int size, unsigned int physical, bool memo, BOOL defined);
  // Stores without defining; false when the element does not exist.
  bool _bSetItemValue(const INAItemDescription* item, const void* bytes, unsigned int length, int index);
  // Stores a value of the item's host type (or an ANSI text for DATE8 and HEURE).
  void _StoreValue(const INAItemDescription* item, const CAny& value, int index);
  void _SetDefaults(const INAItemDescription* item);
  unsigned int _nValuesSize() const { return m_nTotalSize - m_nFlagSize; }
  void _Adopt(BYTE* buffer, unsigned int total, unsigned int count, unsigned int flagSize);
  // nRelease's last release.
  [[gnu::noinline]] void _DeleteLast();

  uint32_t m_nTotalSize = 0;
  BYTE* m_pbyBuffer = nullptr;
  uint32_t m_nItemCount = 0;
  BYTE* m_pbyValues = nullptr;
  uint32_t m_nFlagSize = 0;
  BYTE* m_pbyFlags = nullptr;
  uint32_t m_nRef = 0;
  uint32_t m_nLayoutStamp = 0;
  static std::atomic<unsigned int> s_nLayoutGenerator;
};
