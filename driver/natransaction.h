// CNATransaction: one named transaction of a connection and the chain of transactions nested
// under it. The connection holds the outermost one; each transaction holds one reference on its
// nested one and none on the connection, which outlives them. The SQL goes through the
// connection's direct operations: BEGIN, COMMIT and ROLLBACK for the outermost, and on MySQL
// savepoints named after the nesting depth for the nested ones (a second BEGIN would commit the
// outer transaction's work behind its back). The host's names are matched here only, never sent.
//
// The active flag is cleared before COMMIT or ROLLBACK is sent: a failed end leaves the
// transaction inactive and answers FALSE, its outcome on the server unknown.
#pragma once

#include "common/ctstring.h"
#include "common/interf.h"
#include "platform/wintypes.h"

class CNAConnectionDescription;
class CNAError;

class CNATransaction : public CInterf {
 public:
  // depth: 0 for the outermost, one more for each nesting level.
  explicit CNATransaction(CNAConnectionDescription* connection, int depth = 0)
      : m_pclConnection(connection), m_nDepth(depth) {}
  ~CNATransaction() override;
  CNATransaction(const CNATransaction&) = delete;
  CNATransaction& operator=(const CNATransaction&) = delete;

  virtual BOOL bDetach(CNAError*) { return TRUE; }
  virtual BOOL bSetActive(CNAError*, int) { return TRUE; }
  virtual BOOL bResume(CNAError*) { return TRUE; }
  virtual BOOL _bNABegin(CNAError* error);
  virtual BOOL _bNACommit(CNAError* error);
  virtual BOOL _bNARollBack(CNAError* error);

  // Keeps name and internal; active = the begin's result, returned.
  BOOL bBegin(CNAError* error, const wchar_t* name, int internal);
  // Begins one more transaction under the innermost active one.
  BOOL bInternalTransactionBegin(CNAError* error, const wchar_t* name);
  // Without a name: the innermost active transaction. By name: that transaction, which must
  // have no active nested one (error 10); a name matching none answers FALSE.
  BOOL bCommit(CNAError* error, const wchar_t* name);
  // Without a name: the innermost active one. By name: that transaction, or when a nested one is
  // active, the nested chain only; a name matching none: error 9.
  BOOL bRollBack(CNAError* error, const wchar_t* name);
  // The active chain from the innermost out; TRUE only when every roll-back succeeded.
  BOOL bRollBackAll(CNAError* error);
  BOOL _bCommit(CNAError* error);
  // TRUE when not active.
  BOOL _bRollBack(CNAError* error);
  BOOL _bInternalTransactionOpened() const;

  BOOL bIsActive() const { return m_bActive; }
  const wchar_t* pszGetName() const { return m_csName.pszGet(); }
  CNATransaction* pclGetNested() const { return m_pclNested; }

 private:
  BOOL _bIsMyName(const wchar_t* name) const;
  BOOL _bSavepoints() const;

  CNAConnectionDescription* m_pclConnection;
  CTString m_csName;
  CNATransaction* m_pclNested = nullptr;
  int m_bActive = 0;
  int m_bInternal = 0;
  int m_nDepth;
};
