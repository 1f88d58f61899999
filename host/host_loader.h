// Loads the stand-in host module and the driver module the way the host runtime does (dlopen of
// the file, entry points by name). Both handles are owned and closed by the loader.
//
// Over the loaded driver it also plays the host's file layer: it starts the driver as the host
// does, gets connections and tables through INADriver, and reads and writes the current record
// of a file through INATable, at the offsets of the host's own record description. A record the
// driver hands over is given back through the record's own release slot.
#pragma once

#include <string>
#include <vector>

#include "driver/nahost.h"

class CHostControl;
class CHostRecordDescription;
class CNAKJRecord;
class INAConnectionDescription;
class INADataSourceDescription;
class INADriver;
class INATable;

// One item of a record as the host reads it: whether it is defined and its bytes.
struct CHostItemValue {
  bool bDefined = false;
  std::vector<unsigned char> tabBytes;
  bool operator==(const CHostItemValue&) const = default;
};
using CHostRow = std::vector<CHostItemValue>;

class CHostLoader {
 public:
  CHostLoader() = default;
  ~CHostLoader();
  CHostLoader(const CHostLoader&) = delete;
  CHostLoader& operator=(const CHostLoader&) = delete;

  // Opens the host module and then the driver; false with a reason in *err when either fails.
  // The folder is QX_LIB_DIR when set, else the folder of the running program.
  bool Load(std::string* err);

  void* HostHandle() const { return m_host; }
  void* DriverHandle() const { return m_driver; }
  CHostControl* Control() const { return m_control; }
  // An entry point of the driver, or null.
  void* DriverSymbol(const char* name) const;
  template <typename F>
  F DriverEntry(const char* name) const {
    return reinterpret_cast<F>(DriverSymbol(name));
  }
  static std::string LibraryDir();

  // ---- The host's file layer ----
  // Load, the component start-up, bInitLibrary, the host VM bound and piQueryInterface: the
  // driver with the host's reference (the loader keeps none); null with the reason in *err.
  INADriver* piQueryInterface(std::string* err);
  // TermLibrary and the component end, once the host has released the driver.
  bool Stop();
  BOOL bOpenConnection(INAConnectionDescription* cnx);
  // The table with an external reference for the host; null when none is given.
  INATable* piGetTable(INAConnectionDescription* cnx, INADataSourceDescription* desc);
  // *row = the current record of ctx, item by item in the description's order, read at the
  // host's own offsets; FALSE (row untouched) when the driver hands no record.
  BOOL bGetRecord(INATable* table, INAContext* ctx, const CHostRecordDescription& desc, CHostRow* row);
  // Hands record to ctx's file with one reference taken for the driver, which drops it.
  BOOL bSetRecord(INATable* table, INAContext* ctx, CNAKJRecord* record);

 private:
  void* m_host = nullptr;
  void* m_driver = nullptr;
  void* m_vm = nullptr;
  CHostControl* m_control = nullptr;
  INADriver* m_piDriver = nullptr;
  bool m_bStarted = false;
};
