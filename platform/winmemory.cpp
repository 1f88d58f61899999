// Memory blocks, memory status, rectangles and system probes (declared in platform/winmemory.h).
#include "platform/winmemory.h"

#include <sys/sysinfo.h>
#include <sys/utsname.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

namespace {

constexpr size_t kHeader = 16;
constexpr unsigned int kHeapZero = 8;
constexpr unsigned int kHeapThrow = 4;
constexpr unsigned int kGlobalZero = 0x40;
constexpr unsigned int kGlobalModify = 0x80;

size_t& SizeOf(void* block) { return *reinterpret_cast<size_t*>(static_cast<char*>(block) - kHeader); }

void* Allocate(size_t size, bool bZero) {
  if (size > SIZE_MAX - kHeader) return nullptr;
  char* p = static_cast<char*>(bZero ? calloc(1, size + kHeader) : malloc(size + kHeader));
  if (p == nullptr) return nullptr;
  *reinterpret_cast<size_t*>(p) = size;
  return p + kHeader;
}

void* Reallocate(void* block, size_t size, bool bZeroGrowth) {
  if (block == nullptr) return Allocate(size, bZeroGrowth);
  if (size > SIZE_MAX - kHeader) return nullptr;
  const size_t old = SizeOf(block);
  char* p = static_cast<char*>(realloc(static_cast<char*>(block) - kHeader, size + kHeader));
  if (p == nullptr) return nullptr;
  *reinterpret_cast<size_t*>(p) = size;
  if (bZeroGrowth && size > old) memset(p + kHeader + old, 0, size - old);
  return p + kHeader;
}

void Release(void* block) {
  if (block != nullptr) free(static_cast<char*>(block) - kHeader);
}

void* OrThrow(void* p, unsigned int flags) {
  if (p == nullptr && (flags & kHeapThrow) != 0) throw 0xC0000017u;
  return p;
}

std::mutex g_statusLock;
time_t g_statusTime = -1;
tagMEMORYSTATUSEX g_status;

void Compute(tagMEMORYSTATUSEX* s) {
  unsigned long long total = 0, avail = 0, swapTotal = 0, swapAvail = 0;
  FILE* f = fopen("/proc/meminfo", "re");
  if (f != nullptr) {
    char line[256];
    unsigned long long n[6];
    while (fgets(line, sizeof line, f) != nullptr) {
      if (sscanf(line, "Mem: %llu %llu %llu %llu %llu %llu", &n[0], &n[1], &n[2], &n[3], &n[4], &n[5]) == 6) {
        total += n[0];
        avail += n[2] + n[4] + n[5];
      }
      if (sscanf(line, "Swap: %llu %llu %llu", &n[0], &n[1], &n[2]) == 3) {
        swapTotal += n[0];
        swapAvail += n[2];
      }
      if (sscanf(line, "MemTotal: %llu", &n[0]) == 1) total = n[0] * 1024;
      if (sscanf(line, "MemFree: %llu", &n[0]) == 1) avail = n[0] * 1024;
      if (sscanf(line, "SwapTotal: %llu", &n[0]) == 1) swapTotal = n[0] * 1024;
      if (sscanf(line, "SwapFree: %llu", &n[0]) == 1) swapAvail = n[0] * 1024;
      if (sscanf(line, "Buffers: %llu", &n[0]) == 1) avail += n[0] * 1024;
      if (sscanf(line, "Cached: %llu", &n[0]) == 1) avail += n[0] * 1024;
    }
    fclose(f);
  } else {
    struct sysinfo info;
    if (sysinfo(&info) == 0) {
      total = static_cast<unsigned long long>(info.totalram) * info.mem_unit;
      avail = static_cast<unsigned long long>(info.freeram) * info.mem_unit;
      swapTotal = static_cast<unsigned long long>(info.totalswap) * info.mem_unit;
      swapAvail = static_cast<unsigned long long>(info.freeswap) * info.mem_unit;
    } else {
      total = avail = swapTotal = swapAvail = 0x1000000;
    }
  }
  // Counts from different moments can disagree; the load stays a percentage.
  if (avail > total) avail = total;
  if (swapAvail > swapTotal) swapAvail = swapTotal;
  memset(s, 0, sizeof *s);
  s->dwLength = 40;
  s->ullTotalPhys = total;
  s->ullAvailPhys = avail;
  s->ullTotalPageFile = swapTotal;
  s->ullAvailPageFile = swapAvail;
  const unsigned long long all = total + swapTotal;
  if (f != nullptr && total != 0 && all >= 100)
    s->dwMemoryLoad = static_cast<uint32_t>((all - swapAvail - avail) / (all / 100));
  if (s->dwMemoryLoad > 100) s->dwMemoryLoad = 100;
}

bool bEmpty(const tagRECT* r) { return r->right - r->left < 1 || r->bottom - r->top < 1; }

}  // namespace

void* HeapAlloc(void*, unsigned int flags, size_t size) {
  return OrThrow(Allocate(size, (flags & kHeapZero) != 0), flags);
}

void* HeapReAlloc(void*, unsigned int flags, void* block, size_t size) {
  return OrThrow(Reallocate(block, size, (flags & kHeapZero) != 0), flags);
}

BOOL HeapFree(void*, unsigned int, void* block) {
  Release(block);
  return TRUE;
}

void* GlobalAlloc(unsigned int flags, size_t size) { return Allocate(size, (flags & kGlobalZero) != 0); }

void* GlobalReAlloc(void* block, size_t size, unsigned int flags) {
  if ((flags & kGlobalModify) != 0) return block;
  return Reallocate(block, size, (flags & kGlobalZero) != 0);
}

void* GlobalFree(void* block) {
  Release(block);
  return nullptr;
}

void* GlobalLock(void* block) { return block; }
BOOL GlobalUnlock(void*) { return TRUE; }
void ZeroMemory(void* p, size_t size) { memset(p, 0, size); }

void GlobalMemoryStatusEx(tagMEMORYSTATUSEX* status) {
  std::lock_guard<std::mutex> lock(g_statusLock);
  const time_t now = time(nullptr);
  if (now != g_statusTime) {
    Compute(&g_status);
    g_statusTime = now;
  }
  *status = g_status;
}

void GlobalMemoryStatus(tagMEMORYSTATUS* status) {
  tagMEMORYSTATUSEX ex;
  GlobalMemoryStatusEx(&ex);
  memset(status, 0, sizeof *status);
  status->dwLength = 24;
  status->dwMemoryLoad = ex.dwMemoryLoad;
  status->dwTotalPhys = static_cast<uint32_t>(ex.ullTotalPhys);
  status->dwAvailPhys = static_cast<uint32_t>(ex.ullAvailPhys);
  status->dwTotalPageFile = static_cast<uint32_t>(ex.ullTotalPageFile);
  status->dwAvailPageFile = static_cast<uint32_t>(ex.ullAvailPageFile);
}

BOOL GetVersionEx(_OSVERSIONINFO* info) {
  const uint32_t size = info->dwOSVersionInfoSize;
  memset(info, 0, sizeof *info);
  info->dwOSVersionInfoSize = size;
  info->dwPlatformId = 1000;
  struct utsname name;
  return uname(&name) == 0 ? TRUE : FALSE;
}

BOOL bWindowsNT() { return FALSE; }
BOOL bWindowsNT(unsigned int, unsigned int) { return FALSE; }
BOOL bWindows2000() { return FALSE; }
BOOL bWindowsXP() { return FALSE; }
BOOL bWindows2003() { return FALSE; }
BOOL bWindowsVista() { return FALSE; }
BOOL bWindowsSeven() { return FALSE; }
BOOL bWindows8() { return FALSE; }
BOOL bWindowsSmartphone() { return FALSE; }
BOOL bWindowsCE2002() { return FALSE; }
BOOL bIsWindows64() { return FALSE; }

intptr_t GetStdHandle(unsigned int which) {
  switch (static_cast<int>(which)) {
    case -10:
      return 0;
    case -11:
      return 1;
    case -12:
      return 2;
    default:
      return -1;
  }
}

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  int64_t product = static_cast<int64_t>(a) * b;
  int64_t divisor = c;
  if (divisor < 0) {
    product = -product;
    divisor = -divisor;
  }
  const int64_t result = product < 0 ? (product - divisor / 2) / divisor : (product + divisor / 2) / divisor;
  return result < INT32_MIN || result > INT32_MAX ? -1 : static_cast<int>(result);
}

#define QX_ALNUM_LATIN1                                                                                   \
  {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x03, 0xFE, 0xFF, 0xFF, 0x07, 0xFE, 0xFF, 0xFF, 0x07,      \
   0x08, 0x54, 0x00, 0xD4, 0x00, 0x00, 0x0C, 0x02, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF}
const unsigned char gpbyIsChaAlphaNumeric_Latin1[32] = QX_ALNUM_LATIN1;
unsigned char gpbyIsChaAlphaNumeric_Latin1_Data[32] = QX_ALNUM_LATIN1;
#undef QX_ALNUM_LATIN1

BOOL LinuxIsCharAlphaNumericA(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (gpbyIsChaAlphaNumeric_Latin1[u >> 3] >> (u & 7)) & 1 ? TRUE : FALSE;
}
BOOL bEmule_IsCharAlphaNumericA(char c) { return LinuxIsCharAlphaNumericA(c); }
int nEmule_LoadStringW(HINSTANCE__*, unsigned int, wchar_t*, int) { return 0; }
int nEmule_LoadStringA(HINSTANCE__*, unsigned int, char*, int) { return 0; }

BOOL CopyRect(tagRECT* dst, const tagRECT* src) {
  *dst = *src;
  return TRUE;
}

BOOL SetRect(tagRECT* rect, int left, int top, int right, int bottom) {
  if (rect == nullptr) return FALSE;
  *rect = {left, top, right, bottom};
  return TRUE;
}

tagRECT* SetRectEmpty(tagRECT* rect) {
  *rect = {0, 0, 0, 0};
  return rect;
}

BOOL IsRectEmpty(const tagRECT* rect) { return bEmpty(rect) ? TRUE : FALSE; }
BOOL bEmule_IsRectEmpty(const tagRECT* rect) {
  return rect->left >= rect->right || rect->top >= rect->bottom ? TRUE : FALSE;
}

BOOL EqualRect(const tagRECT* a, const tagRECT* b) {
  return a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom ? TRUE : FALSE;
}

BOOL PtInRect(const tagRECT* rect, tagPOINT p) {
  return rect->left <= p.x && p.x < rect->right && rect->top <= p.y && p.y < rect->bottom ? TRUE : FALSE;
}

tagRECT* OffsetRect(tagRECT* rect, int dx, int dy) {
  rect->left += dx;
  rect->right += dx;
  rect->top += dy;
  rect->bottom += dy;
  return rect;
}
BOOL bEmule_OffsetRect(tagRECT* rect, int dx, int dy) {
  OffsetRect(rect, dx, dy);
  return TRUE;
}

tagRECT* InflateRect(tagRECT* rect, int dx, int dy) {
  *rect = {rect->left - dx, rect->top - dy, rect->right + dx, rect->bottom + dy};
  return rect;
}

BOOL IntersectRect(tagRECT* dst, const tagRECT* a, const tagRECT* b) {
  const bool bOverlap = a->left < b->right && a->right > b->left && a->top < b->bottom && a->bottom > b->top;
  if (bEmpty(a) || bEmpty(b) || !bOverlap) {
    SetRectEmpty(dst);
    return FALSE;
  }
  *dst = {a->left > b->left ? a->left : b->left, a->top > b->top ? a->top : b->top,
          a->right < b->right ? a->right : b->right, a->bottom < b->bottom ? a->bottom : b->bottom};
  return TRUE;
}
BOOL bEmule_IntersectRect(tagRECT* dst, const tagRECT* a, const tagRECT* b) { return IntersectRect(dst, a, b); }

BOOL UnionRect(tagRECT* dst, const tagRECT* a, const tagRECT* b) {
  const bool ea = bEmpty(a), eb = bEmpty(b);
  if (ea && eb) {
    SetRectEmpty(dst);
    return FALSE;
  }
  if (ea || eb) {
    *dst = ea ? *b : *a;
    return TRUE;
  }
  *dst = {a->left < b->left ? a->left : b->left, a->top < b->top ? a->top : b->top,
          a->right > b->right ? a->right : b->right, a->bottom > b->bottom ? a->bottom : b->bottom};
  return TRUE;
}

BOOL SubtractRect(tagRECT* dst, const tagRECT* a, const tagRECT* b) {
  if (bEmpty(a)) {
    SetRectEmpty(dst);
    return FALSE;
  }
  tagRECT r = *a;
  tagRECT o;
  if (IntersectRect(&o, a, b)) {
    if (EqualRect(&o, a)) {
      SetRectEmpty(dst);
      return FALSE;
    }
    if (o.left == a->left && o.right == a->right) {
      if (o.top == a->top) r.top = o.bottom;
      else if (o.bottom == a->bottom) r.bottom = o.top;
    } else if (o.top == a->top && o.bottom == a->bottom) {
      if (o.left == a->left) r.left = o.right;
      else if (o.right == a->right) r.right = o.left;
    }
  }
  *dst = r;
  return TRUE;
}
