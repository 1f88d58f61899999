// Memory blocks, memory status, rectangles and system probes of the Win32 emulation. Stateless
// except the memory status, which is cached for one second under a lock.
//
// Heap and global blocks carry a 16-byte header holding their size (so the caller's bytes stay
// 16-byte aligned and a reallocation knows what it keeps); the pointer handed out follows it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/wintypes.h"

struct tagRECT {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};
struct tagPOINT {
  int32_t x;
  int32_t y;
};
struct tagMEMORYSTATUSEX {
  uint32_t dwLength;
  uint32_t dwMemoryLoad;
  uint64_t ullTotalPhys;
  uint64_t ullAvailPhys;
  uint64_t ullTotalPageFile;
  uint64_t ullAvailPageFile;
  uint64_t ullTotalVirtual;
  uint64_t ullAvailVirtual;
  uint64_t ullAvailExtendedVirtual;
};
struct tagMEMORYSTATUS {
  uint32_t dwLength;
  uint32_t dwMemoryLoad;
  uint32_t dwTotalPhys;
  uint32_t dwAvailPhys;
  uint32_t dwTotalPageFile;
  uint32_t dwAvailPageFile;
  uint32_t dwTotalVirtual;
  uint32_t dwAvailVirtual;
};
struct _OSVERSIONINFO {
  uint32_t dwOSVersionInfoSize;
  uint32_t dwMajorVersion;
  uint32_t dwMinorVersion;
  uint32_t dwBuildNumber;
  uint32_t dwPlatformId;
  wchar_t szCSDVersion[128];
};
struct HINSTANCE__;

// ---- Memory ----
// flags 8 zero-fills; a failure with flag 4 throws an unsigned int 0xC0000017, else answers null.
void* HeapAlloc(void* heap, unsigned int flags, size_t size);
// Keeps the contents up to the smaller size; flag 8 zero-fills the growth. On failure the old
// block stays valid. A null block is allocated.
void* HeapReAlloc(void* heap, unsigned int flags, void* block, size_t size);
BOOL HeapFree(void* heap, unsigned int flags, void* block);
// flag 0x40 zero-fills.
void* GlobalAlloc(unsigned int flags, size_t size);
// flag 0x80: the block unchanged; else reallocated keeping its contents, flag 0x40 zero-filling
// the growth. Null on failure (the old block stays valid).
void* GlobalReAlloc(void* block, size_t size, unsigned int flags);
void* GlobalFree(void* block);
void* GlobalLock(void* block);
BOOL GlobalUnlock(void* block);
void ZeroMemory(void* p, size_t size);
// Physical and swap bytes from /proc/meminfo (else sysinfo); the load stays within 0 to 100.
void GlobalMemoryStatusEx(tagMEMORYSTATUSEX* status);
void GlobalMemoryStatus(tagMEMORYSTATUS* status);

// ---- System information ----
BOOL GetVersionEx(_OSVERSIONINFO* info);
BOOL bWindowsNT();
BOOL bWindowsNT(unsigned int major, unsigned int minor);
BOOL bWindows2000();
BOOL bWindowsXP();
BOOL bWindows2003();
BOOL bWindowsVista();
BOOL bWindowsSeven();
BOOL bWindows8();
BOOL bWindowsSmartphone();
BOOL bWindowsCE2002();
BOOL bIsWindows64();
// -10, -11, -12: the standard descriptors 0, 1, 2; else -1.
intptr_t GetStdHandle(unsigned int which);
// a x b / c rounded half away from zero, with a 64-bit product; -1 for c = 0 or a result beyond
// 32 bits.
int MulDiv(int a, int b, int c);
extern const unsigned char gpbyIsChaAlphaNumeric_Latin1[32];
extern unsigned char gpbyIsChaAlphaNumeric_Latin1_Data[32];
BOOL LinuxIsCharAlphaNumericA(char c);
BOOL bEmule_IsCharAlphaNumericA(char c);
int nEmule_LoadStringW(HINSTANCE__* module, unsigned int id, wchar_t* buffer, int size);
int nEmule_LoadStringA(HINSTANCE__* module, unsigned int id, char* buffer, int size);

// ---- Rectangles (TRUE unless stated) ----
BOOL CopyRect(tagRECT* dst, const tagRECT* src);
BOOL SetRect(tagRECT* rect, int left, int top, int right, int bottom);
tagRECT* SetRectEmpty(tagRECT* rect);
// Empty: right - left < 1 or bottom - top < 1.
BOOL IsRectEmpty(const tagRECT* rect);
BOOL bEmule_IsRectEmpty(const tagRECT* rect);
BOOL EqualRect(const tagRECT* a, const tagRECT* b);
BOOL PtInRect(const tagRECT* rect, tagPOINT p);
tagRECT* OffsetRect(tagRECT* rect, int dx, int dy);
BOOL bEmule_OffsetRect(tagRECT* rect, int dx, int dy);
tagRECT* InflateRect(tagRECT* rect, int dx, int dy);
// The overlap of two non-empty rectangles, else dst zeroed and FALSE.
BOOL IntersectRect(tagRECT* dst, const tagRECT* a, const tagRECT* b);
BOOL bEmule_IntersectRect(tagRECT* dst, const tagRECT* a, const tagRECT* b);
BOOL UnionRect(tagRECT* dst, const tagRECT* a, const tagRECT* b);
// a less a band of b that spans a's width or height from one side; FALSE (dst zeroed) when a is
// empty or b covers it.
BOOL SubtractRect(tagRECT* dst, const tagRECT* a, const tagRECT* b);
