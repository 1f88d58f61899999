// INAVersion: the head of every interface the host calls by position. Its five slots come first
// in each such interface: the interface's version and the oldest version it is compatible with,
// two further numbers that every interface of the driver answers with -1, and a reserved slot.
#pragma once

class INAVersion {
 public:
  virtual int nGetVersion() const = 0;
  virtual int nGetCompatSince() const = 0;
  virtual int nGetNAVersion() const { return -1; }
  virtual int nGetNACompatSince() const { return -1; }
  virtual void NAVersion_EmptySlot_3() {}

 protected:
  ~INAVersion() = default;
};
