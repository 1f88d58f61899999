// CXError: the error record that every layer fills and hands on (level, user code, user / debug /
// system messages, the raising module, typed information items, sub-errors and the context of
// the host-language code that was running).
//
// Ownership: the error owns its texts (malloc'ed, exactly length + 1 characters), its item texts,
// one reference on each EIT_DATAACCESS object and EIT_EXCEPTIONDOTNET interface it holds, and its
// sub-errors. EIT 29 pointers are kept, never owned. Every getter of a text answers "" for a
// missing text. Allocation failures are not reported: the text that could not be had is left out.
//
// Raising by user code through a module's error table is in platform/errortable.h; the readable
// dump (StringDump) in platform/errordump.h.
//
// Argument lists: the ...List forms take the caller's va_list and never consume it.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "common/ttableau.h"
#include "platform/dllres.h"
#include "platform/qxunknown.h"
#include "platform/wintypes.h"

class CTString;

enum eERRORLEVEL : uint32_t {
  ERRORLEVEL_NONE = 1,     // no error: the reset value, and what setting it does (RAZ)
  ERRORLEVEL_WARNING = 2,  // given by the error table to a few codes
  ERRORLEVEL_ERROR = 3,    // every other code, and a code without a table row
};

enum eERRORINFOTYPE : uint32_t {
  EIT_NONE = 0,
  EIT_SRCFILE = 1,
  EIT_DSTFILE = 2,
  EIT_USERNAME = 3,
  EIT_HELPFILE = 4,
  EIT_PATHQXD = 5,
  EIT_LOGICALTABLENAME = 6,
  EIT_ITEMNAME = 7,
  EIT_PATHFIC = 8,
  EIT_PATHNDX = 9,
  EIT_PATHMMO = 10,
  EIT_LINKNAME = 11,
  EIT_RECNUM = 12,  // 64-bit
  EIT_ODBCCODE = 13,
  EIT_ODBCDESCRIPTION = 14,
  EIT_BASECODE = 15,    // 32-bit
  EIT_NATIVECODE = 16,  // 32-bit
  EIT_ADOCODE = 17,     // 32-bit
  EIT_BASEMESSAGE = 18,
  EIT_NATIVEMESSAGE = 19,
  EIT_ADOMESSAGE = 20,
  EIT_DATAACCESS = 21,  // CQXUnknown*, one reference held
  EIT_INFOCLIENT = 22,
  EIT_INFOSERVEUR = 23,
  EIT_PILEZV = 24,
  EIT_DATEHEURE = 25,
  EIT_LOCKINFO = 26,
  EIT_CORRIGE_ETAT = 27,
  EIT_INFOCS = 28,
  EIT_PRIVATEPTR = 29,  // plain pointer, not owned, never dumped
  EIT_XINFO = 30,       // 32-bit flag word
  EIT_COMPOSANT = 31,
  EIT_SERVEURCS = 32,
  EIT_PILEC = 33,
  EIT_RESERVED34 = 34,  // never stored
  EIT_RESERVED35 = 35,  // never stored
  EIT_HLOCKTIME = 36,   // 64-bit
  EIT_HCNXID = 37,      // 32-bit
  EIT_EXCEPTIONDOTNET = 38,  // IXErrorInterface*, one reference held
  EIT_POSITION_ERREUR = 39,
  EIT_LAST = 39,
};

// Dump sections (enumerators in platform/errordump.h).
enum eXERROR_INFO : uint32_t;

// The COM-style interface of an EIT_EXCEPTIONDOTNET item: only its second slot (add-reference)
// and third slot (release) are called.
class IXErrorInterface {
 public:
  virtual long QueryInterface(const void* iid, void** out) = 0;
  virtual unsigned long AddRef() = 0;
  virtual unsigned long Release() = 0;

 protected:
  ~IXErrorInterface() = default;
};

// Ready argument list for the constructors that raise with one; a distinct type so that a
// variadic insert of 0 can never be taken for a list.
struct STXErrorArgs {
  va_list* pArgs;
};

class CXError : public CQXUnknown {
 public:
  // One information item. The value word holds the text, object or interface pointer, or the
  // integer (32-bit types: the integer's bits; 64-bit types: the whole value).
  struct _stERRORINFO {
    eERRORINFOTYPE eType;
    uint32_t nUnused;
    uintptr_t uValue;
  };
  static_assert(sizeof(uintptr_t) == 8 && sizeof(_stERRORINFO) == 16, "a pointer-sized value word on x86_64");

  // ---- Construction: reference count 0, level 1, everything empty ----
  explicit CXError(const _stMyModuleInfo* record);
  // Raises code with the variadic inserts (SetUserError).
  CXError(const _stMyModuleInfo* record, unsigned int code, ...);
  CXError(const _stMyModuleInfo* record, unsigned int code, STXErrorArgs args);
  // Raises code, then appends debug to the debug message.
  CXError(const _stMyModuleInfo* record, const wchar_t* debug, unsigned int code, ...);
  CXError(const _stMyModuleInfo* record, const wchar_t* debug, unsigned int code, STXErrorArgs args);
  // Module number 0, then a deep copy.
  CXError(const CXError& other);
  CXError(const _stMyModuleInfo* record, const CXError& other);
  // Module number from the record (or the number), then a light copy (moving other's contents)
  // when light is non-zero, else a deep copy. A null source leaves the error clear.
  CXError(const _stMyModuleInfo* record, CXError& other, int light);
  CXError(const _stMyModuleInfo* record, CXError* other, int light);
  CXError(unsigned int module, CXError* other, int light);
  // Deep copy (Copy); the module number stays.
  CXError& operator=(const CXError& other);
  ~CXError() override;

  // ---- Codes, level and context ----
  // Level 1 resets the whole error (RAZ); the same level again changes nothing.
  void SetErrorLevel(eERRORLEVEL level);
  eERRORLEVEL eGetErrorLevel() const { return m_eLevel; }
  void SetUserErrorCode(unsigned int code) {
    _Touch();
    m_nUserCode = code;
  }
  unsigned int nGetUserErrorCode() const { return m_nUserCode; }
  void SetUserErrorCode55(unsigned int code) {
    _Touch();
    m_nUserCode55 = code;
  }
  unsigned int nGetUserErrorCode55() const { return m_nUserCode55; }
  void SetDetailId(unsigned int id) {
    _Touch();
    m_nDetailId = id;
  }
  unsigned int nGetDetailId() const { return m_nDetailId; }
  // The syntax is kept only when the name could be.
  void SetFunctionName(const wchar_t* name, unsigned char syntax);
  const wchar_t* pszGetFunctionName() const { return _psz(m_pszFunctionName); }
  unsigned char nGetFunctionSyntax() const { return m_bySyntax; }
  // Line and thread are kept only when the texts could be.
  void SetVMContext(const wchar_t* caption, const wchar_t* objectName, unsigned short line, unsigned short thread);
  void SetVMContext(const wchar_t* caption, unsigned short line, unsigned short thread);
  void SetVMContext(const wchar_t* objectName);
  const wchar_t* pszGetTraitmentCaption() const { return _psz(m_pszCaption); }
  const wchar_t* pszGetObjectName() const { return _psz(m_pszObjectName); }
  unsigned short wGetTraitmentLine() const { return m_wLine; }  // 65535: no line
  unsigned short wGetTraitmentThread() const { return m_wThread; }
  void InitModName(const wchar_t* name);
  void InitModVersion(const wchar_t* version);
  // bForce: name and version become the record's; otherwise only when no name is held yet.
  void InitModInfo(const _stMyModuleInfo* record, BOOL bForce);
  const wchar_t* pszGetModName() const { return _psz(m_pszModName); }
  const wchar_t* pszGetModVersion() const { return _psz(m_pszModVersion); }
  void __InitInternalModInfo(unsigned int module) { m_nModule = module; }
  unsigned int nGetModuleNumber() const { return m_nModule; }

  // ---- Messages. Several texts of one message are joined by "\r\n" ----
  // Appends text ("\r\n" first when a message exists, even for an empty text). Returns the
  // message, or null when nothing could be appended.
  const wchar_t* AddUserMessage(const wchar_t* text);
  // Null or empty text ignored, else AddUserMessage.
  void AddUserMessageNoFormat(const wchar_t* text);
  // text + "\r\n" + the message held (a held empty message still gets the "\r\n").
  void AddUserMessageFirst(const wchar_t* text);
  // Null or empty text ignored.
  void AddDebugMessageNoFormat(const wchar_t* text);
  void AddDebugMessageFirst(const wchar_t* text);
  void AddDebugMessagePrintf(const wchar_t* format, ...);
  // Resource text of id formatted with the inserts, appended to (or put in front of) the user
  // message; the id is recorded among the error ids. A text that cannot be loaded or comes out
  // empty leaves a note in the debug message instead. Texts with variants give their first one.
  void AddUserMessage(const _stMyModuleInfo* record, unsigned int id, ...);
  void AddUserMessageList(const _stMyModuleInfo* record, unsigned int id, va_list args);
  void AddUserMessageFirst(const _stMyModuleInfo* record, unsigned int id, ...);
  void AddUserMessageListFirst(const _stMyModuleInfo* record, unsigned int id, va_list args);
  // The same into the debug message, without recording the id; id 0xFFFFFFFF does nothing here.
  void AddDebugMessage(const _stMyModuleInfo* record, unsigned int id, ...);
  void AddDebugMessageList(const _stMyModuleInfo* record, unsigned int id, va_list args);
  void RAZUserMessage() { __vDeleteString(&m_pszUserMessage); }
  const wchar_t* pszGetUserMessage() const { return _psz(m_pszUserMessage); }
  const wchar_t* pszGetDebugMessage() const { return _psz(m_pszDebugMessage); }
  int nNumErrorId() const { return m_tabErrorId.nGetCount(); }
  // 0 outside 0..count-1.
  unsigned int nGetErrorId(int index) const;

  // ---- System error ----
  void SetSystemError(unsigned int code, const wchar_t* text);
  void SetSystemErrorMessage(unsigned int code, const wchar_t* text);
  void SetSystemErrorMessage(const wchar_t* text);
  // UTF-8 text; code 0.
  void SetSystemErrorMessageA(const char* text);
  void SetSystemErrorMessagePrintf(unsigned int code, const wchar_t* format, ...);
  void SetSystemErrorMessagePrintf(const wchar_t* format, ...);
  // Code 0, text = resource id formatted (or the note when it cannot be loaded).
  void SetSystemErrorMessage(const _stMyModuleInfo* record, unsigned int id, ...);
  // A non-zero code keeps the text of the current errno (the disk file's lock-conflict values
  // 0x80000000 to 0x80000002 read as EAGAIN); code 0 deletes the text. The inserts are unused.
  void SetSystemErrorParam(unsigned int code, ...);
  // Text of hstrerror(h_errno).
  void SetSystemErrorForGetHostBy(unsigned int code);
  unsigned int dwGetSystemErrorCode() const { return m_dwSystemCode; }
  const wchar_t* pszGetSystemErrorMessage() const { return _psz(m_pszSystemMessage); }

  // ---- Information items: at most one per type, in the order first added ----
  // value: the text for text types, the address of the integer for integer types, the
  // CQXUnknown* (type 21), IXErrorInterface* (type 38) or pointer (type 29) itself. A null value
  // or a type above 39 does nothing; types 0, 34 and 35 are never stored. A present type is
  // replaced in place; when the new value cannot be copied the item keeps its old value.
  void AddInfo(eERRORINFOTYPE type, const void* value);
  // By position: the text or object pointer, or the integer itself, in *value. For the 64-bit
  // types *value holds, on entry, the address of a long long that receives the value. Outside
  // the items, or for types 0, 34 and 35: type 0.
  void GetInfo(int index, eERRORINFOTYPE* type, const void** value) const;
  // TRUE and the value (as GetInfo) when the type is present.
  BOOL bGetInfo(eERRORINFOTYPE type, const void** value) const;
  BOOL bHasInfo(eERRORINFOTYPE type) const { return _nFindInfo(type) >= 0; }
  void DeleteInfo(eERRORINFOTYPE type);
  int nNumInfo() const { return m_tabInfo.nGetCount(); }
  void __SetXInfo(unsigned int bits, BOOL bSet);
  BOOL __bGetXInfo(unsigned int bits) const;

  // ---- Sub-errors: owned copies ----
  // Copies e (light: moves its contents); the first sub-error's user message is appended to
  // this error's unless the NoUserMessage form is used.
  void AddSubError(CXError* e) { _AddSubError(e, 0, 0); }
  void AddSubErrorLight(CXError* e) { _AddSubError(e, 1, 0); }
  void AddSubErrorNoUserMessage(CXError* e) { _AddSubError(e, 0, 1); }
  void AddSubErrorLightNoUserMessage(CXError* e) { _AddSubError(e, 1, 1); }
  int nGetNbSubError() const { return m_pSubErrors != nullptr ? m_pSubErrors->nGetCount() : 0; }
  // Null outside 0..count-1.
  CXError* pclGetSubError(int index) const;
  void DeleteAllSubError() { __DeleteAllSubError(); }

  // ---- Copies and reset ----
  // Deep copy: this error becomes equal to other (its own sub-errors are replaced). EIT_DATAACCESS
  // items are copied only between errors of the same module number.
  CXError& Copy(const CXError& other);
  void Copy(const CXError* other) {
    _Touch();
    vCopy(other);
  }
  // Moves other's contents here and leaves other clear; EIT_DATAACCESS items of another module
  // number are released instead. Both module numbers stay.
  void LightCopy(CXError* other);
  // Clears everything but the module number.
  CXError* RAZ();
  // RAZ for an error asked to be clear again and again (every host entry resets two): one test
  // while nothing has been written into it since the last such reset.
  void ResetKnown() {
    if (m_bMaybeSet == 0) return;
    RAZ();
    if (m_bMaybeSet == 1 && bClear()) m_bMaybeSet = 0;
  }
  // For a holder that keeps a state of its own beside the error and clears it only when ResetKnown
  // finds the error written: setting that state marks the error.
  void MarkWritten() { _Touch(); }
  // The error is handed out to code that may write it without marking it (a caller built apart
  // from this header): from now on every ResetKnown tests it in full.
  void MarkHandedOut() { m_bMaybeSet = 2; }
  // Nothing written into the error since the last ResetKnown left it clear.
  bool bKnownClear() const { return m_bMaybeSet == 0; }
  // Nothing held and every field at its reset value: a RAZ would change nothing.
  bool bClear() const {
    // Asked at every host entry, where nearly every error is clear: one test of every field at once.
    auto bits = [](const void* p) { return reinterpret_cast<uintptr_t>(p); };
    const uintptr_t held = bits(m_pszUserMessage) | bits(m_pszDebugMessage) | bits(m_pszFunctionName) |
                           bits(m_pszCaption) | bits(m_pszObjectName) | bits(m_pszSystemMessage) | bits(m_pszModName) |
                           bits(m_pszModVersion) | bits(m_pSubErrors);
    const uint32_t codes = (static_cast<uint32_t>(m_eLevel) ^ static_cast<uint32_t>(ERRORLEVEL_NONE)) | m_nUserCode |
                           m_nUserCode55 | m_nDetailId | m_bySyntax | m_dwSystemCode | m_wLine | m_wThread |
                           static_cast<uint32_t>(m_tabErrorId.nGetCount()) | static_cast<uint32_t>(m_tabInfo.nGetCount());
    return (held | codes) == 0;
  }
  void TraceDump() const {}

  // ---- Raising by user code (platform/errortable.cpp) ----
  // RAZ, then ChangeUserError: how every layer raises.
  void SetUserError(const _stMyModuleInfo* record, unsigned int code, ...);
  void SetUserErrorList(const _stMyModuleInfo* record, unsigned int code, va_list args);
  // Raises without resetting: the code's message goes in front of the one held. The first
  // variant of a text with variants is used.
  void ChangeUserError(const _stMyModuleInfo* record, unsigned int code, ...);
  void ChangeUserErrorList(const _stMyModuleInfo* record, unsigned int code, va_list args);
  // The same with the variant (0 the first; DLLRES_nVariantOfCount) of the code's text.
  void SetUserErrorVariant(const _stMyModuleInfo* record, unsigned int code, int variant, ...);
  void ChangeUserErrorVariantList(const _stMyModuleInfo* record, unsigned int code, int variant, va_list args);
  // The user message is text, put in front as it stands; no error id is recorded.
  void SetUserErrorMessage(const _stMyModuleInfo* record, unsigned int code, const wchar_t* text);
  void ChangeUserErrorMessage(const _stMyModuleInfo* record, unsigned int code, const wchar_t* text);
  // RAZ, then level 3, the out-of-memory message (resource 25193) and system error 12.
  void SetErrorNoMemory();
  // The error of a value operation's result kind; p1 and p2 are the inserts.
  void SetAnyError(const _stMyModuleInfo* record, int kind, int p1, int p2);
  // Resource id of code's first row; 0 without one.
  static unsigned int nGetRessourceIdFromUserErrorCode(const _stMyModuleInfo* record, unsigned int code);
  // Rows (or a code and a row) by their user code: <0, 0, >0.
  static int __nErrorDefCompare(const void* a, const void* b);

  // ---- Dump (platform/errordump.cpp) ----
  // Appends the dump of the sections of flags to out.
  void StringDump(CTString& out, eXERROR_INFO flags) const;
  CTString StringDump(eXERROR_INFO flags) const;
  // Appends the line of one item (written even for an empty text).
  void DumpInfo(eERRORINFOTYPE type, const void* value, CTString* out) const;
  // line = the item's line; an empty or null text gives none unless bEvenEmpty (type 39 always
  // has one). For the 64-bit types value points to the value.
  void __DumpInfo(eERRORINFOTYPE type, const void* value, CTString& line, int bEvenEmpty) const;

  // ---- Text allocation: every text is written through these ----
  // *pp becomes a copy of s (null s: deleted); the old text is freed. Returns the copy, null
  // when s is null or the copy could not be had (*pp then null).
  virtual wchar_t* __vpszAllocString(wchar_t** pp, const wchar_t* s);
  // *pp's buffer resized to s's length and s copied in (s may lie in *pp). Null: *pp unchanged.
  virtual wchar_t* __vpszReallocString(wchar_t** pp, const wchar_t* s);
  // *pp's buffer resized to n characters, terminator included (content kept). Null: unchanged.
  virtual wchar_t* __vpszReallocString(wchar_t** pp, unsigned int n);
  // s appended to *pp (s may lie in *pp). Null: *pp unchanged.
  virtual wchar_t* __vpszConcatString(wchar_t** pp, const wchar_t* s);
  virtual void __vDeleteString(wchar_t** pp);
  virtual void __AddSubError(CXError* e, int light, int noUserMessage);
  virtual void __DeleteAllSubError();
  virtual void vCopy(const CXError* other);

 private:
  enum eTarget { TARGET_USER, TARGET_USER_FRONT, TARGET_DEBUG, TARGET_SYSTEM };

  static const wchar_t* _psz(const wchar_t* p) { return p != nullptr ? p : L""; }
  // Every member that can write a field the reset clears marks the error first (ResetKnown
  // trusts the mark): a new member that writes one must mark too. A member that writes only through
  // a non-virtual member that marks need not, nor one that only clears; a virtual one may be
  // overridden, so its callers mark.
  void _Touch() { m_bMaybeSet |= 1; }
  void _AddSubError(CXError* e, int light, int noUserMessage) {
    _Touch();
    __AddSubError(e, light, noUserMessage);
  }
  void _Reset();
  // Joins text to *pp with "\r\n" between (in front when bFront); one allocation, all or nothing.
  wchar_t* _pszJoin(wchar_t** pp, const wchar_t* text, bool bFront);
  void _AddResourceMessage(const _stMyModuleInfo* record, unsigned int id, int variant, va_list args, eTarget target);
  void _ChangeUserError(const _stMyModuleInfo* record, unsigned int code, int variant, va_list* args,
                        const wchar_t* text);
  void _SetSystemErrorUTF8(unsigned int code, const char* text);
  void _SetSystemErrorV(unsigned int code, const wchar_t* format, va_list args);
  void _SetSystemErrorOfErrno(unsigned int code, int err);
  int _nFindInfo(eERRORINFOTYPE type) const;
  const void* _pInfoValue(const _stERRORINFO& item) const;
  void _FreeInfo(_stERRORINFO& item);
  void _DeleteAllInfo();
  bool _bIsDescendant(const CXError* e) const;

  eERRORLEVEL m_eLevel = ERRORLEVEL_NONE;
  uint32_t m_nUserCode = 0;
  wchar_t* m_pszUserMessage = nullptr;
  wchar_t* m_pszDebugMessage = nullptr;
  wchar_t* m_pszFunctionName = nullptr;
  wchar_t* m_pszModName = nullptr;
  wchar_t* m_pszModVersion = nullptr;
  uint8_t m_bySyntax = 0;
  // 0: clear since the last ResetKnown and not written since; bit 1: handed out, never known
  // clear again (in the padding after the syntax byte: the layout stays). A new error is not
  // known clear.
  uint8_t m_bMaybeSet = 1;
  uint32_t m_nDetailId = 0;
  CTTableau<unsigned int> m_tabErrorId{1, 30};
  CTTableau<_stERRORINFO> m_tabInfo{1, 30};
  uint32_t m_dwSystemCode = 0;
  wchar_t* m_pszSystemMessage = nullptr;
  wchar_t* m_pszCaption = nullptr;
  uint16_t m_wLine = 0;
  uint16_t m_wThread = 0;
  CTTableau<CXError*>* m_pSubErrors = nullptr;
  wchar_t* m_pszObjectName = nullptr;
  uint32_t m_nModule = 0;
  uint32_t m_nUserCode55 = 0;
};
