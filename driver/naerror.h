// CNAError: the driver's error object. It wraps one error of this module (the body); the first
// error of a call fills the body and keeps its kind, every later one hangs under it as a
// sub-error, so the host reads the first cause with the rest attached. "The last error" is the
// body's last sub-error, or the body when it has none.
//
// Holders count it by hand (s_Hold / s_Drop): no AddRef or Release slot exists on it. The quiet
// flag keeps raising from adding the debug line and the connection's information (used on a
// scratch error object during a reconnection). Raising never fails visibly: a text that cannot
// be had is left out.
//
// The host reads the driver's object from any thread while another call raises into it: every
// operation takes the driver mutex, reads included. The texts handed to the host (dump, table
// and item names) are copies this object keeps for the calling thread, each until that thread
// asks this same object for the same kind of text again or the object dies: neither another
// thread's call nor a call on another error object frees them under the host.
#pragma once

#include <array>
#include <cstdarg>
#include <cstdint>
#include <thread>
#include <unordered_map>

#include "common/ctstring.h"
#include "common/xystring.h"
#include "driver/inaerror.h"
#include "platform/errortable.h"

class CNAConnectionDescription;

// Source-file numbers of the debug lines of raised errors.
enum eNA_SOURCEFILE : int {
  NA_SRC_CONNECTION = 1,
  NA_SRC_TRANSACTION = 2,
  NA_SRC_DATAACCESS = 3,
  NA_SRC_STATEMENT = 4,
  NA_SRC_DRIVER = 5,
  NA_SRC_TABLE = 6,
  NA_SRC_VARIANT = 7,
  NA_SRC_DATASOURCE = 8,
  NA_SRC_LOADER = 9,
  NA_SRC_COMMAND = 10,
  NA_SRC_RECORD = 11,
  NA_SRC_EXPRESSION = 14,
  NA_SRC_STATEMENTSQL = 50,
  NA_SRC_DRIVERSQL = 51,
  NA_SRC_MYSQL_STATEMENTSQL = 100,
  NA_SRC_MYSQL_CONNECTION = 101,
  NA_SRC_MYSQL_DRIVER = 103,
  NA_SRC_MYSQL_STATEMENT = 105,
};

class CNAError : public INAError {
 public:
  CNAError() = default;
  CNAError(const CNAError&) = delete;
  CNAError& operator=(const CNAError&) = delete;

  int nGetVersion() const override { return 1; }
  int nGetCompatSince() const override { return 1; }
  // The body's dump (every section, empty ones left out).
  const wchar_t* pszGetError() const override;
  // 0 for level 1, else the body's user code.
  DWORD dwGetErrorId() const override;
  eNA_ERRORTYPE eGetErrorType() const override;
  // Information 6 and 7 of the body, null when absent.
  const wchar_t* pszGetLogicalTableName() const override;
  const wchar_t* pszGetItemName() const override;
  CXError* pclGetXError() const override;
  eNAERRORLEVEL eGetErrorLevel() const override;
  ~CNAError() override;
  // Clears the body and the kind (-1).
  void Reset() override;
  // Reset for a caller that holds the driver lock (every host entry resets two errors, nearly
  // always clear ones).
  void ResetLocked() {
    // Every kind set marks the body (_SetType): a body known clear has the kind cleared too.
    if (!m_clError.bKnownClear()) _ResetWritten();
  }

  // ---- Holders' count: the holder that drops the last reference deletes the object ----
  static void s_Hold(CNAError* e);
  // Drops one reference of *pp (null: nothing) and clears *pp.
  static void s_Drop(CNAError** pp);
  uint32_t nGetRefCount() const;

  // ---- Raising ----
  // First error: kind and a copy of e into the body, plus the connection's information (unless
  // quiet). Later ones: e becomes a sub-error (ignored at level 1); the kind stays.
  void AddError(eNA_ERRORTYPE type, const CXError* e, CNAConnectionDescription* cnx);
  // The module's user error code with its message inserts; the debug line names file and site.
  void AddError(eNA_ERRORTYPE type, int file, int site, CNAConnectionDescription* cnx, unsigned int code, ...);
  void AddError(eNA_ERRORTYPE type, unsigned int code, int file, int site, CNAConnectionDescription* cnx);
  // The new error becomes the main one and what was held its sub-error; no connection information.
  void AddErrorFirst(eNA_ERRORTYPE type, int file, int site, CNAConnectionDescription* cnx, unsigned int code, ...);
  void _SetError(eNA_ERRORTYPE type, int file, int site, CNAConnectionDescription* cnx, unsigned int code,
                 va_list args);
  // code with the inserts (database name, server code); a non-empty message is appended to the
  // user message and becomes the system message; a non-zero server code is information 15.
  void _SetDataBaseError(eNA_ERRORTYPE type, CNAConnectionDescription* cnx, unsigned int code,
                         unsigned int serverCode, const wchar_t* message, const wchar_t* table, const wchar_t* item);
  // The error of a value operation's result kind (CXError::SetAnyError), with names and debug line.
  void SetAnyError(int kind, int p1, int p2, int file, int site, CNAConnectionDescription* cnx,
                   const wchar_t* table, const wchar_t* item);
  // Attaches a copy of e unless its level is 1.
  void AddSubError(const CXError* e);
  // Kind and body become the source's (nothing when it is this object).
  void Copy(const INAError* source);

  // The raise block of every driver class: a module error with code and inserts, the table and
  // item names, information 16, the debug line; added to target (kind type, connection cnx) or
  // dropped when there is no target.
  static void g_RaiseUserError(CNAError* target, eNA_ERRORTYPE type, int file, int site,
                               CNAConnectionDescription* cnx, const wchar_t* table, const wchar_t* item,
                               unsigned int code, ...);

  // The out-of-memory error (no user code, system code 12), added to target as any other error;
  // nothing without a target.
  static void g_RaiseNoMemory(CNAError* target, CNAConnectionDescription* cnx);

  // ---- Statics on a bare error ----
  // Information 6 = table and then 7 = item, each only when not empty; without a table, neither.
  static void g_SetInfoNames(_CXErrorModule32* e, const wchar_t* table, const wchar_t* item);
  // Appends "IEQXMSQL=<file>.<site>\r\nModule=<QXMSQL>\r\nVersion=<20.0.10.0>" to the debug text.
  static void g_AddDebugInfo(CXError* e, int file, int site);
  // The connection's own information (its dump); nothing without a connection.
  static void g_AddInfoNative(_CXErrorModule32* e, CNAConnectionDescription* cnx);
  void SetInfoNames(const wchar_t* table, const wchar_t* item);

  // ---- On the last error ----
  void SetDataBaseErrorMessage(const wchar_t* text);
  void SetDataBaseErrorCode(unsigned int code);
  // Information 17 / 15, 0 when absent.
  DWORD dwGetADOErrorCode() const;
  DWORD dwGetDataBaseErrorCode() const;
  void AddDebugInfo(int file, int site);
  void AddDebugMessageNoFormat(const wchar_t* text);
  void AddDebugMessageNoFormatFirst(const wchar_t* text);
  void AddDebugMessage(unsigned int id, ...);
  void AddUserMessageNoFormat(const wchar_t* text);
  void AddUserMessage(unsigned int id, ...);
  void AddUserMessageFirst(unsigned int id, ...);
  // Keeps the code with the text of the current errno.
  void SetSystemErrorCode(unsigned int code);
  const wchar_t* pszGetSystemErrorMessage() const;
  DWORD dwGetSystemErrorCode() const;
  unsigned int nGetUserErrorCode() const;

  // ---- On the body ----
  // The kind the callers read (eGetErrorType), set after the fact.
  void SetErrorType(eNA_ERRORTYPE type);
  // 1, 2 or 3; other values are ignored.
  void SetErrorLevel(eNAERRORLEVEL level);
  // The body's dump as a host string (empty when the host allocator refuses).
  CXYString<wchar_t> StringDump() const;

  void SetQuiet(BOOL bQuiet);
  BOOL bIsQuiet() const;

 private:
  // ResetLocked's end for a body written since: out of line, and nothing of the caller's is
  // needed after it, so that a host entry keeps no register for the error across the call.
  [[gnu::noinline]] void _ResetWritten() {
    m_clError.ResetKnown();
    m_eType = NA_ERRORTYPE_NONE;
  }
  // Every kind set goes through here: ResetLocked trusts the body's mark to cover the kind.
  void _SetType(eNA_ERRORTYPE type) {
    m_eType = type;
    m_clError.MarkWritten();
  }
  // Callers hold the driver mutex.
  CXError* _pclGetLastXError() const;
  // call(the last error) under the driver mutex; its result.
  template <typename F>
  auto _OnLast(F call) const;
  // With an error held, fill builds a sub-error; else it fills the body, which takes the kind and
  // (unless quiet) the connection's information.
  template <typename F>
  void _FirstOrSubError(eNA_ERRORTYPE type, CNAConnectionDescription* cnx, F fill);
  void _AddErrorList(eNA_ERRORTYPE type, int file, int site, CNAConnectionDescription* cnx, unsigned int code,
                     va_list args);
  enum eHANDEDTEXT { HANDED_DUMP, HANDED_TABLE, HANDED_ITEM, HANDED_COUNT };
  // The calling thread's copy of text in this object (null stays null). Callers hold the driver mutex.
  const wchar_t* _pszHandOver(eHANDEDTEXT kind, const wchar_t* text) const;

  uint32_t m_nRef = 0;
  eNA_ERRORTYPE m_eType = NA_ERRORTYPE_NONE;
  // The host reads through const slots that hand out the body.
  mutable _CXErrorModule32 m_clError;
  int m_bQuiet = 0;
  // The texts handed to the host, by the thread that asked.
  mutable std::unordered_map<std::thread::id, std::array<CTString, HANDED_COUNT>> m_tabHanded;
};
