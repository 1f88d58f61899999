// A 40-byte value area for the VM tests, with typed reads and writes of its first bytes.
#pragma once

#include <cstring>

#include "host/vm_value.h"

struct Area {
  alignas(8) unsigned char b[kVMAreaSize] = {};
  template <typename T>
  T As() const {
    T v;
    memcpy(&v, b, sizeof(T));
    return v;
  }
  template <typename T>
  static Area Of(T v) {
    Area a;
    memcpy(a.b, &v, sizeof(T));
    return a;
  }
};
