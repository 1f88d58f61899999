// The stand-in host's image object (IImageZV): a version and some bytes, with its references and
// its calls to the version and to the bytes counted. The test or program that makes it owns it;
// the count starts at 1 for that owner.
#pragma once

#include <string>

#include "common/zvmemoimage.h"

class CHostImage final : public IImageZV {
 public:
  CHostImage(int nVersion, std::string bytes) : m_nVersion(nVersion), m_bytes(std::move(bytes)) {}
  void AddRef() override { ++m_nRef; }
  void Release() override { --m_nRef; }
  int nGetVersion() override {
    ++m_nVersionCalls;
    return m_nVersion;
  }
  void WriteZVBin(CZVBIN* pBin) override {
    ++m_nWriteCalls;
    pBin->nAssign(m_bytes.data(), static_cast<int>(m_bytes.size()));
  }

  int m_nRef = 1;
  int m_nVersionCalls = 0;
  int m_nWriteCalls = 0;

 private:
  int m_nVersion;
  std::string m_bytes;
};
