// The sections of CXError::StringDump (platform/xerror.h), the readable multi-line text of an
// error; captions are resource texts of this module (gstMyModuleInfo32).
#pragma once

#include <cstdint>

#include "platform/xerror.h"

enum eXERROR_INFO : uint32_t {
  XEI_MODULE = 0x1,          // module name and version
  XEI_CONTEXT = 0x2,         // processing caption and function
  XEI_LEVEL = 0x4,
  XEI_USERCODE = 0x8,
  XEI_USERCODE55 = 0x10,     // second user code
  XEI_SYSCODE = 0x20,
  XEI_SYSMESSAGE = 0x40,
  XEI_USERMESSAGE = 0x80,
  XEI_DEBUGMESSAGE = 0x100,
  XEI_INFO = 0x200,          // information items
  XEI_DETAILID = 0x400,
  XEI_SUBERROR = 0x800,
  XEI_ALL = 0xFFF,
  XEI_NOUSERCAPTION = 0x40000000,  // no caption line before the user message
  XEI_ONLYFILLED = 0x80000000,     // empty sections are left out, not captioned as empty
};

constexpr eXERROR_INFO operator|(eXERROR_INFO a, eXERROR_INFO b) {
  return static_cast<eXERROR_INFO>(static_cast<uint32_t>(a) | static_cast<uint32_t>(b));
}

// Resource ids of the dump's captions.
enum : unsigned int {
  RES_DUMP_CONTEXT = 28844,
  RES_DUMP_CAPTION_LINE = 28845,     // caption, object part, line, thread
  RES_DUMP_CAPTION_NOLINE = 25770,   // caption, object part, thread
  RES_DUMP_FUNCTION = 28846,         // name, syntax
  RES_DUMP_USERMESSAGE = 28857,
  RES_DUMP_NO_USERMESSAGE = 28858,
  RES_DUMP_USERCODE = 28851,         // code
  RES_DUMP_LEVEL1 = 28847,
  RES_DUMP_LEVEL2 = 28848,
  RES_DUMP_LEVEL3 = 28849,           // also 0x40000004 and 0x40000008
  RES_DUMP_LEVEL_1000X = 25311,      // 0x10001 to 0x10006 and 0x20001
  RES_DUMP_LEVEL_OTHER = 28850,      // level
  RES_DUMP_USERCODE55 = 28852,       // code
  RES_DUMP_SYSCODE = 28853,          // code
  RES_DUMP_NO_SYSCODE = 28854,
  RES_DUMP_SYSMESSAGE = 28855,
  RES_DUMP_NO_SYSMESSAGE = 28856,
  RES_DUMP_MODULE = 28842,           // name, version
  RES_DUMP_NO_MODULE = 28843,
  RES_DUMP_DETAILID = 28863,         // id
  RES_DUMP_NO_DETAILID = 28864,
  RES_DUMP_DEBUGMESSAGE = 28859,
  RES_DUMP_NO_DEBUGMESSAGE = 28860,
  RES_DUMP_INFO = 28861,
  RES_DUMP_NO_INFO = 28862,
  RES_DUMP_SUBERROR = 28865,         // number, from 1
};
