// The stand-in host engine's interface for native accesses (IKJForNA) and its text service, which
// folds text into UTF-16 keys with the stand-in locale service's mapping over whole code points:
// case (to upper case), accents, blanks and punctuation. The calls to each fold are counted, and
// a test may take the service away. The test or program that makes it owns it.
#pragma once

#include "driver/nahost.h"

class CHostKJTextService final : public IKJTextService {
 public:
  int nFoldUTF16(unsigned short* dst, int room, const unsigned short* src, int count, int bNoPunct, int bNoAccent,
                 int bNoCase) override;
  int nFoldUTF32(unsigned short* dst, int room, const wchar_t* src, int count, int bNoPunct, int bNoAccent,
                 int bNoCase) override;

  int m_nCallsUTF16 = 0;
  int m_nCallsUTF32 = 0;
};

class CHostKJ final : public IKJForNA {
 public:
  IKJTextService* piGetTextService() override { return m_bNoService ? nullptr : &m_service; }

  CHostKJTextService m_service;
  bool m_bNoService = false;
};
