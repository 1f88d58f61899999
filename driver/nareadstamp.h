// CNAReadStamp: one process-wide counter moved by every change a reader of rows may have kept
// across rows (a record's columns, a connection's code pages, a converter's shape). A reader keeps
// its value: while it stays, none of these changed, and one load asks all three.
//
// It only grows (it wraps after 2^32 moves); every move gives a value no earlier move gave, so a
// record may take one as a stamp of its own.
#pragma once

#include <atomic>

#include "driver/nadrivermutex.h"

class CNAReadStamp {
 public:
  static unsigned int nNow() { return s_nGenerator.load(std::memory_order_relaxed); }
  // The value after the move.
  static unsigned int nMove() {
    CNADriverMutex::s_Moved();
    return ++s_nGenerator;
  }

 private:
  static std::atomic<unsigned int> s_nGenerator;
};
