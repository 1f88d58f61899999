// The host's global factory as the runtime sees it: only its first operation is called.
// The host owns the object; the runtime keeps a plain pointer (CInformationDLL::ms_piGlobalFactory).
#pragma once

class IGlobalFactory {
 public:
  // The factory's version; dynamic-object types need 2 or more.
  virtual int nGetVersion() = 0;

 protected:
  ~IGlobalFactory() = default;
};
