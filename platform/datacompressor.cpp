#include "platform/datacompressor.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "common/utf.h"
#include "platform/codepage.h"
#include "platform/dllres.h"

namespace {

constexpr int kDigitBase = 40;
constexpr int kFirstCharDigit = 8;
constexpr int kEscapeByte = 38;  // the next byte as it stands
constexpr int kEscapeRun = 39;   // a count byte, then that many bytes
constexpr int kMaxRun = 255;

// Sorted (the packer searches them); the fourth leaves its last two places to the escapes.
constexpr unsigned char tabCharset1[32] = {
    ' ', '%', '\'', ',', '.', 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k',
    'l', 'm', 'n', 'o', 'p', 'q', 'r', 's', 't', 'u', 'v', 'w', 'x', 'y', 'z', 0xC3};
constexpr unsigned char tabCharset2[32] = {
    '(', ')', '-', ':', '<', '>', 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J',
    'K', 'L', 'M', 'N', 'O', 'P', 'Q', 'R', 'S', 'T', 'U', 'V', 'W', 'X', 'Y', 'Z'};
constexpr unsigned char tabCharset3[32] = {
    '\n', '\r', '!', '"', '#', '$', '&', '*', '+', '/', '0', '1', '2', '3', '4', '5',
    '6', '7', '8', '9', ';', '=', '?', '@', '[', '\\', ']', '_', '{', '|', '}', '~'};
// UTF-8 lead and continuation bytes of the accented letters, quotes and dashes of French text.
constexpr unsigned char tabCharset4[32] = {
    '\t', '^', '`', 0x80, 0x87, 0x88, 0x89, 0x8A, 0x8E, 0x93, 0x94, 0x99, 0x9B, 0xA0, 0xA2, 0xA6,
    0xA7, 0xA8, 0xA9, 0xAA, 0xAB, 0xAE, 0xAF, 0xB4, 0xB9, 0xBB, 0xBC, 0xC2, 0xC5, 0xE2, 0, 0};
constexpr const unsigned char* kCharsets[4] = {tabCharset1, tabCharset2, tabCharset3, tabCharset4};
constexpr int kCharsetSize[4] = {32, 32, 32, 30};

// Switch digit -> alphabet, alphabet -> switch digit.
constexpr int kSwitchToCharset[8] = {0, 1, 2, 3, 0, 1, 2, 3};
constexpr int kCharsetToSwitch[4] = {4, 5, 6, 7};

constexpr bool bSortedCharsets() {
  for (int c = 0; c < 4; ++c)
    for (int i = 1; i < kCharsetSize[c]; ++i)
      if (kCharsets[c][i - 1] >= kCharsets[c][i]) return false;
  return true;
}
static_assert(bSortedCharsets(), "alphabets must be sorted for the binary search");

// Escapes are read whenever the character would come from the fourth alphabet.
bool bEscapeAlphabet(int current, CDataCompressor::eCHARSETSHIFT shift) {
  return (shift != CDataCompressor::SHIFT_NONE ? static_cast<int>(shift) : current) == CDataCompressor::CHARSET_3;
}

int nCharsetOf(unsigned char c) {
  for (int a = 0; a < 4; ++a)
    if (CDataCompressor::_nGetValue(c, static_cast<CDataCompressor::eCHARSET>(a)) >= 0) return a;
  return -1;
}

// Groups digits three to a pair of bytes. An escape digit closes its pair; the escaped bytes follow.
class CDigitWriter {
 public:
  explicit CDigitWriter(std::vector<unsigned char>* out) : m_out(out) {}

  void Digit(int d) {
    m_digits[m_n++] = d;
    if (m_n == 3) Flush();
  }
  void Escape(int d, const unsigned char* data, int n) {
    m_digits[m_n++] = d;
    Flush();
    if (d == kEscapeRun) m_out->push_back(static_cast<unsigned char>(n));
    m_out->insert(m_out->end(), data, data + n);
  }
  void Finish() {
    if (m_n == 1) {
      m_out->push_back(static_cast<unsigned char>(m_digits[0] + 1));
      m_n = 0;
    } else if (m_n == 2) {
      Flush();
    }
  }

 private:
  // Unused places take a shift digit, which appends nothing.
  void Flush() {
    while (m_n < 3) m_digits[m_n++] = CDataCompressor::SHIFT_0;
    const int v = (m_digits[0] * kDigitBase + m_digits[1]) * kDigitBase + m_digits[2];
    m_out->push_back(static_cast<unsigned char>(v / 255 + 1));
    m_out->push_back(static_cast<unsigned char>(v % 255 + 1));
    m_n = 0;
  }

  std::vector<unsigned char>* m_out;
  int m_digits[3] = {};
  int m_n = 0;
};

}  // namespace

int CDataCompressor::_nGetCharset(eCHARSETSHIFT digit) {
  return digit >= 0 && digit < 8 ? kSwitchToCharset[digit] : -1;
}

CDataCompressor::eCHARSETSHIFT CDataCompressor::_nGetCharsetSwitch(eCHARSET charset) {
  return charset >= 0 && charset < 4 ? static_cast<eCHARSETSHIFT>(kCharsetToSwitch[charset]) : SHIFT_NONE;
}

int CDataCompressor::_nGetValue(unsigned int character, eCHARSET charset) {
  if (charset < 0 || charset > 3) return -1;
  const unsigned char* table = kCharsets[charset];
  int lo = 0, hi = kCharsetSize[charset] - 1;
  while (lo <= hi) {
    const int mid = (lo + hi) / 2;
    if (table[mid] == character) return mid + kFirstCharDigit;
    if (table[mid] < character)
      lo = mid + 1;
    else
      hi = mid - 1;
  }
  return -1;
}

void CDataCompressor::_AddASCIIDigit(unsigned char byte) {
  if (m_nOut < m_nCapacity - 1) m_pbyOut[m_nOut] = byte;
  ++m_nOut;
}

void CDataCompressor::_AddASCIIDigit(int digit, eCHARSETSHIFT& shift) {
  if (digit < 4) {
    shift = static_cast<eCHARSETSHIFT>(digit);
  } else if (digit < kFirstCharDigit) {
    m_eCharset = static_cast<eCHARSET>(_nGetCharset(static_cast<eCHARSETSHIFT>(digit)));
  } else {
    const int charset = shift != SHIFT_NONE ? static_cast<int>(shift) : static_cast<int>(m_eCharset);
    _AddASCIIDigit(kCharsets[charset][digit - kFirstCharDigit]);
    shift = SHIFT_NONE;
  }
}

BOOL CDataCompressor::_bEscape(int digit, int* pos) {
  if (*pos >= m_nIn) return FALSE;
  if (digit == kEscapeByte) {
    _AddASCIIDigit(m_pbyIn[(*pos)++]);
    return TRUE;
  }
  const int n = m_pbyIn[*pos];
  if (m_nIn - *pos - 1 < n) return FALSE;
  for (int i = 1; i <= n; ++i) _AddASCIIDigit(m_pbyIn[*pos + i]);
  *pos += n + 1;
  return TRUE;
}

int CDataCompressor::nDeCompress(unsigned char* out, int* outLength, const unsigned char* in, int inLength) {
  m_pbyOut = out;
  m_nCapacity = out != nullptr && *outLength > 0 ? *outLength : 0;
  m_nOut = 0;
  m_pbyIn = in;
  m_nIn = in != nullptr && inLength > 0 ? inLength : 0;
  m_eCharset = CHARSET_0;  // every text starts afresh
  eCHARSETSHIFT shift = SHIFT_NONE;
  int result = RESULT_OK;
  int pos = 0;
  while (pos < m_nIn && result == RESULT_OK) {
    int digits[3];
    int count;
    if (m_nIn - pos >= 2) {
      const int b0 = m_pbyIn[pos], b1 = m_pbyIn[pos + 1];
      pos += 2;
      const int v = (b0 - 1) * 255 + (b1 - 1);
      if (b0 == 0 || b1 == 0 || v >= kDigitBase * kDigitBase * kDigitBase) {
        result = RESULT_BAD_INPUT;
        break;
      }
      digits[0] = v / (kDigitBase * kDigitBase);
      digits[1] = v / kDigitBase % kDigitBase;
      digits[2] = v % kDigitBase;
      count = 3;
    } else {
      const int b = m_pbyIn[pos++];
      if (b == 0 || b > kDigitBase) {
        result = RESULT_BAD_INPUT;
        break;
      }
      digits[0] = b - 1;
      count = 1;
    }
    for (int i = 0; i < count; ++i) {
      if (digits[i] >= kEscapeByte && bEscapeAlphabet(m_eCharset, shift)) {
        if (!_bEscape(digits[i], &pos)) result = RESULT_SHORT_ESCAPE;
        shift = SHIFT_NONE;
        break;
      }
      _AddASCIIDigit(digits[i], shift);
    }
  }
  if (m_nCapacity > 0) m_pbyOut[m_nOut < m_nCapacity ? m_nOut : m_nCapacity - 1] = 0;
  if (result == RESULT_OK && m_nOut >= m_nCapacity) result = RESULT_CUT;
  *outLength = m_nOut;
  return result;
}

void CDataCompressor::s_Compress(const unsigned char* in, int inLength, std::vector<unsigned char>* out) {
  CDigitWriter writer(out);
  int current = CHARSET_0;
  int i = 0;
  while (i < inLength) {
    const unsigned char c = in[i];
    const int here = _nGetValue(c, static_cast<eCHARSET>(current));
    if (here >= 0) {
      writer.Digit(here);
      ++i;
      continue;
    }
    const int charset = nCharsetOf(c);
    if (charset >= 0) {
      // Two in a row from another alphabet pay for a switch; one alone takes a shift.
      const bool bSwitch = i + 1 < inLength && nCharsetOf(in[i + 1]) == charset &&
                           _nGetValue(in[i + 1], static_cast<eCHARSET>(current)) < 0;
      if (bSwitch) {
        writer.Digit(_nGetCharsetSwitch(static_cast<eCHARSET>(charset)));
        current = charset;
      } else {
        writer.Digit(charset);
      }
      writer.Digit(_nGetValue(c, static_cast<eCHARSET>(charset)));
      ++i;
      continue;
    }
    // Bytes of no alphabet travel as they are, behind an escape of the fourth alphabet.
    int n = 1;
    while (i + n < inLength && n < kMaxRun && nCharsetOf(in[i + n]) < 0) ++n;
    if (current != CHARSET_3) writer.Digit(SHIFT_3);
    writer.Escape(n == 1 ? kEscapeByte : kEscapeRun, in + i, n);
    i += n;
  }
  writer.Finish();
}

int CDataCompressor::s_nDeCompress(wchar_t* out, int* length, STRessourceModule& request) {
  const int capacity = *length;
  *length = -1;
  if (out == nullptr || capacity <= 0) return RESULT_CUT;
  // Three characters at most come out of every two packed bytes.
  const int workSize = static_cast<int>(request.nTaille * 3 / 2 + 2);
  unsigned char stackBuffer[255];
  unsigned char* work = workSize <= 255 ? stackBuffer : static_cast<unsigned char*>(malloc(workSize));
  if (work == nullptr) return RESULT_BAD_INPUT;

  CDataCompressor unpacker;
  int bytes = workSize;
  int result = unpacker.nDeCompress(work, &bytes, request.pbyData, static_cast<int>(request.nTaille));
  if (result == RESULT_CUT) bytes = workSize - 1;
  if (result == RESULT_OK || result == RESULT_CUT) {
    // Into out when the text fits, else through a scratch copy that is then cut.
    auto convert = [&](wchar_t* dst, int dstChars) -> int {
      if (request.nEncodage == RES_ENCODING_UTF8)
        return bytes == 0 ? 0 : MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char*>(work), bytes, dst, dstChars);
      std::vector<unsigned short> units(static_cast<size_t>(bytes / 2));
      if (!units.empty()) memcpy(units.data(), work, units.size() * sizeof(unsigned short));
      return units.empty() ? 0 : UTF16ToWideChar(units.data(), static_cast<int>(units.size()), dst, dstChars);
    };
    if (request.nEncodage != RES_ENCODING_UTF8 && request.nEncodage != RES_ENCODING_UTF16) {
      result = RESULT_BAD_INPUT;
    } else {
      const int needed = convert(nullptr, 0);
      if (needed < capacity) {
        *length = convert(out, capacity);
        out[*length] = 0;
      } else {
        std::vector<wchar_t> scratch(static_cast<size_t>(needed));
        convert(scratch.data(), needed);
        wmemcpy(out, scratch.data(), static_cast<size_t>(capacity - 1));
        out[capacity - 1] = 0;
        *length = capacity - 1;
        result = RESULT_CUT;
      }
    }
  }
  if (work != stackBuffer) free(work);
  return result;
}

wchar_t* CDataCompressor::s_pszDeCompress(STRessourceModule& request) {
  int capacity = static_cast<int>(request.nTaille * 3 / 2 + 2);
  wchar_t* text = static_cast<wchar_t*>(malloc(static_cast<size_t>(capacity) * sizeof(wchar_t)));
  if (text == nullptr) return nullptr;
  if (s_nDeCompress(text, &capacity, request) == RESULT_OK) return text;
  free(text);
  return nullptr;
}
