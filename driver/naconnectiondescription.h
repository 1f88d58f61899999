// CNAConnectionDescription: the driver's object for one server connection, made by the backend's
// factory when the driver meets a new identification text, kept in the driver's connection
// registry and counted like every CInterf. It holds one reference on the host's description for
// its whole life. Opening, closing and the open state belong to the backend.
//
// The identification text holds the password: it is a registry key and nothing else, never
// written to an error, a dump or a debug line.
#pragma once

#include <cstdint>

#include "common/ctstring.h"
#include "common/interf.h"
#include "driver/nahost.h"

class CNAError;
class CXError;
class CNADriver;

class CNAConnectionDescription : public CInterf {
 public:
  // Draws the next connection id and takes a reference on the host description.
  CNAConnectionDescription(const wchar_t* identification, INAConnectionDescription* host);
  ~CNAConnectionDescription() override;
  CNAConnectionDescription(const CNAConnectionDescription&) = delete;
  CNAConnectionDescription& operator=(const CNAConnectionDescription&) = delete;

  // TRUE when open, also when it was open already; the reason of a failure goes to error.
  virtual BOOL bOpen(CNAError* error) = 0;
  virtual BOOL bIsOpen() = 0;
  virtual BOOL bClose(CNAError* error) = 0;
  // Adds what the connection can tell about itself to an error being raised.
  virtual void AddInfoNativeXError(CXError* e);

  const wchar_t* pszGetIdentification() const { return m_csIdentification.pszGet(); }
  unsigned int nGetConnectionID() const { return m_nConnectionID; }
  INAConnectionDescription* piGetHostDescription() const { return m_piHost; }

  // ---- Asked of the host description at each call ----
  const wchar_t* pszGetUserName() const { return m_piHost->pszGetUserName(); }
  const wchar_t* pszGetPassword() const { return m_piHost->pszGetPassword(); }
  const wchar_t* pszGetDataBase() const { return m_piHost->pszGetDataBase(); }
  // The text of the host's connection-name object; "" without one.
  const wchar_t* pszGetConnectionName() const;

  // TRUE when a close was requested and no transaction keeps the connection.
  BOOL bAutoCloseEnabled() const;
  BOOL _bTransactionOpened() const;

  BOOL bIsCloseRequested() const { return m_bCloseRequested; }
  unsigned int nGetOpenCount() const { return m_nOpenCount; }

  // Process-wide counter of the connection ids; touched under the driver mutex only.
  static unsigned int m_gnCnxGenerator;

 private:
  // The driver's registry opens, closes and counts.
  friend class CNADriver;

  unsigned int m_nConnectionID;
  INAConnectionDescription* m_piHost;
  CTString m_csIdentification;
  int m_bAutoClose = 1;
  // Set until an open succeeds and again by each close: the last user's release then closes and
  // unregisters the connection.
  int m_bCloseRequested = 1;
  // Successful opens not yet matched by a close: only these may give back an open reference.
  unsigned int m_nOpenCount = 0;
};
