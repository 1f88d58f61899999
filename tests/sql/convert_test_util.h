// What the converter tests share: a connection whose code pages the test sets, a converter bound
// to a slot of the test's own bytes for one host item, and the record bytes a date or time must
// give in DATE8, DATETIME and HEURE items.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "driver/naconnectiondescription.h"
#include "driver/naerror.h"
#include "host/host_itemdescription.h"
#include "host/host_nadescription.h"
#include "platform/codepage.h"
#include "sql/naconvertvariant.h"
#include "tests/support/any_test_values.h"

using Bytes = std::vector<uint8_t>;

// Of the code pages and dialect given; its server does not know the column type code
// m_nUnknownDBType (none unless set).
class CTestCnx final : public CNAConnectionDescription {
 public:
  CTestCnx(CHostConnectionDescription* host, int hostCp, int serverCp, int dialect = 0)
      : CNAConnectionDescription(L"t", host) {
    SetHostCodePage(hostCp);
    SetServerCodePage(serverCp);
    m_eDataSource = dialect;
    SetStatic(true);
  }
  BOOL bOpen(CNAError*) override { return TRUE; }
  BOOL bIsOpen() override { return TRUE; }
  BOOL bClose(CNAError*) override { return TRUE; }
  BOOL bDBTypeUnkwnownByDB(int code) const override { return code != 0 && code == m_nUnknownDBType; }

  int m_nUnknownDBType = 0;
};

// A kind 3 converter on size bytes of its own, for an item of the given type.
struct Slot {
  Slot(CNAConnectionDescription* cnx, eNA_ITEMTYPE type, unsigned int size)
      : item(L"col", type, size), bytes(size, 0xEE), conv(&error, cnx) {
    CNAError::s_Hold(&error);
    conv.SetStatic(true);
    EXPECT_TRUE(conv.bInitTypeVariant(NA_VAR_BUFFER, bytes.data(), size, ConverteItemToZVType(type)));
    conv.SetItemDesc(&item, nullptr);
  }
  ~Slot() { conv.ResetVariant(); }
  // The user error raised, its message, or "" without one.
  std::wstring Raised() const {
    const wchar_t* m = error.pclGetXError()->pszGetUserMessage();
    return error.nGetUserErrorCode() == 0 ? L"" : std::to_wstring(error.nGetUserErrorCode()) + L" " + (m ? m : L"");
  }
  CHostItemDescription item;
  Bytes bytes;
  CNAError error;
  CNAConvertVariant conv;
};

// The text shown is its bytes, each a character.
inline std::wstring Error53(int from, int item, const std::string& text) {
  std::wstring shown;
  for (unsigned char c : text) shown += static_cast<wchar_t>(c);
  return L"53 Une valeur de type " + std::to_wstring(from) + L" ne peut pas être convertie dans le type " +
         std::to_wstring(item) + L" de la rubrique : <" + shown + L">.";
}

// The bytes of a date and time in an item: DATE8 and HEURE as digits cut to size - 1 and
// zero-filled; DATETIME as the host's 8 bytes.
inline Bytes DateBytes(eNA_ITEMTYPE type, unsigned int size, int y, int mo, int d, int h, int mi, int s, int ms) {
  Bytes out(size, 0);
  char text[16];
  if (type == NA_IT_DATETIME) {
    const uint32_t word = static_cast<uint32_t>(y) << 16 | mo << 8 | d, milli = ((h * 60 + mi) * 60 + s) * 1000 + ms;
    for (int i = 0; i < 4; ++i)
      out[i] = static_cast<uint8_t>(word >> 8 * i), out[4 + i] = static_cast<uint8_t>(milli >> 8 * i);
    return out;
  }
  if (type == NA_IT_DATE8)
    snprintf(text, sizeof text, "%04d%02d%02d", y, mo, d);
  else
    snprintf(text, sizeof text, "%02d%02d%02d%03d", h, mi, s, ms);
  for (unsigned int i = 0; i + 1 < size && text[i] != 0; ++i) out[i] = static_cast<uint8_t>(text[i]);
  return out;
}
