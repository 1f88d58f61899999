// Resource texts by id: every user-visible text of the module (error messages, dump captions) is
// a printf-style format found by a numeric id, first through the host's string-loading callback
// (registered with CommandeComposante code 2), else in the module's own embedded block through
// the lookup function of the module information record.
//
// Owns: the request shape STRessourceModule, the module information record _stMyModuleInfo (the
// error layer fills this module's instance and its error table), the host callback, and the
// exported CommandeComposante and DLLRES_pLoadResourceModule.
//
// Texts may hold variants (singular, plural ...) joined by RES_VARIANT_SEPARATOR; the
// ...SingulierPluriel forms pick one by its number (0 the first).
//
// Wide results handed out as wchar_t** come from malloc; the caller frees them with free.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "common/ctstring.h"
#include "platform/wintypes.h"

// A request to a module's resource lookup. Requesters fill {id, 0, null, 0, 0, -1}; the lookup
// completes it when it finds the id. Six 32-bit words in the host's layout; here the text pointer
// is pointer-sized.
struct STRessourceModule {
  uint32_t nId;             // only the low 16 bits are compared
  uint32_t nUnused;         // 0
  const uint8_t* pbyData;   // packed text (set by the lookup)
  uint32_t nTaille;         // packed length in bytes (set by the lookup)
  int32_t nEncodage;        // RES_ENCODING_UTF8 or RES_ENCODING_UTF16 (set by the lookup)
  int32_t nUtilisation;     // kind 0 to 3 after the lookup, -1 before
};

enum : int32_t {
  RES_ENCODING_UTF8 = 1,
  RES_ENCODING_UTF16 = 2,
};

// Returns non-zero and completes the request when the module holds the id.
typedef BOOL (*PFNRESSOURCEMODULE)(STRessourceModule& request);

// One row of a module's error table: user code, resource id of the user message, detail id, level.
struct STErrorDef {
  uint32_t nUserCode;
  uint32_t nResourceId;
  uint32_t nDetailId;
  uint32_t nLevel;
};

// The module information record that every raise names.
struct _stMyModuleInfo {
  const STErrorDef* pstErrorDef;   // error table
  uint32_t nErrorDef;              // rows in it
  uint32_t nModule;                // module number
  const wchar_t* pszModuleName;    // module file name
  const wchar_t* pszVersion;       // module version
  PFNRESSOURCEMODULE pfnRessource; // resource lookup (null: the module has no block)
};

// The host's string-loading callback: a result above 0 is the text's length (or, when above the
// offered size, the size it needs); 0 or less means the host does not hold the id.
typedef int (*PFNLOADSTRINGQXM)(unsigned int id, wchar_t* buffer, int size);

// The variant separator: line feed, section sign, line feed.
inline constexpr const wchar_t* RES_VARIANT_SEPARATOR = L"\n\u00A7\n";

// CommandeComposante code 3's block: five 32-bit words in the host's layout; here the buffer
// pointer is pointer-sized, and a block whose nSize is below sizeof is refused (answer 0).
struct STCommandeComposanteLoadString {
  uint32_t nSize;       // sizeof the block
  uint32_t nId;         // resource id
  wchar_t* pszBuffer;   // receives the text
  int32_t nBufferSize;  // characters, terminator included
  int32_t nResult;      // written back: DLLRES_nLoadString's result
};

enum : int {
  COMMANDE_COMPOSANTE_SET_LOADSTRING = 2,  // parameter: PFNLOADSTRINGQXM; returns 1
  COMMANDE_COMPOSANTE_LOADSTRING = 3,      // parameter: STCommandeComposanteLoadString*
  COMMANDE_COMPOSANTE_GET_UTILISATION = 4, // parameter: resource id; kind or -1 (module block only)
};

typedef int (*PFNCOMMANDECOMPOSANTE)(int code, intptr_t parameter);

extern "C" {
// Component commands of the host, above; any other code returns 0.
__attribute__((visibility("default"))) int CommandeComposante(int code, intptr_t parameter);
// The module never keeps its resources in a separate library: always null.
__attribute__((visibility("default"))) void* DLLRES_pLoadResourceModule(const _stMyModuleInfo* record, unsigned int id,
                                                                        const wchar_t* name, unsigned int* pSize);
}
typedef void* (*PFNLOADRESOURCEMODULE)(const _stMyModuleInfo*, unsigned int, const wchar_t*, unsigned int*);

// ---- Life cycle and the separate-library remnants ----
BOOL DLLRES_bInit(HINSTANCE module = nullptr, int flags = 0);
void DLLRES_Term();
BOOL DLLRES_bUtiliseDLLRes();  // FALSE
HINSTANCE ghGetRessourceHandle();  // null
void DLLRES_SetFichierQXM(const wchar_t* path);  // does nothing
// DLLRES_pLoadResourceModule of the loaded module `handle` (found with dlsym); null without it.
void* DLLRES_pLoadResource(const _stMyModuleInfo* record, HINSTANCE handle, unsigned int id, const wchar_t* name,
                           unsigned int* pSize);
// Has another component load its texts: command(3, {20, 0, null, 0}). FALSE for a null command.
BOOL DLLRES_bForceInitRessource(PFNCOMMANDECOMPOSANTE command);
// The kind (0 to 3) of the record's resource id, -1 when its lookup does not hold it.
int DLLRES_nGetUtilisation(const _stMyModuleInfo* record, unsigned int id);

// ---- Host callback ----
// The registered callback (null when none), and registration (null unregisters).
PFNLOADSTRINGQXM QXM_pfnGetLoadString();
void QXM_SetLoadString(PFNLOADSTRINGQXM pfn);
// The callback's result as it stands; 0 when none is registered.
int QXM_nLoadString(unsigned int id, wchar_t* buffer, int size);
// The text through the callback: 256 places first; an answer of 256 or more is the length
// needed, and the callback is asked again with room for it and a terminator. Never more is
// taken than the room offered. FALSE: no callback, or it does not hold the id (out unchanged).
BOOL QXM_bLoadString(unsigned int id, CTString* out);

// ---- Loading ----
// The text into buffer (size characters, terminator included): its length, size - 1 when it was
// cut, 0 when not found (buffer then holds an empty text when size > 0). A host text is cut and
// terminated the same way, whatever length the host claims.
int DLLRES_nLoadString(const _stMyModuleInfo* record, unsigned int id, wchar_t* buffer, int size);
// The text into out; FALSE when not found (out unchanged).
BOOL DLLRES_bLoadString(const _stMyModuleInfo* record, unsigned int id, CTString* out);

// ---- Loading and formatting ----
// The text of id used as the format of the arguments. TRUE when the result is not empty; out is
// emptied otherwise.
BOOL DLLRES_bFormatMessage(const _stMyModuleInfo* record, unsigned int id, CTString* out, ...);
BOOL DLLRES_bFormatMessageList(const _stMyModuleInfo* record, unsigned int id, CTString* out, va_list args);
// The same into a malloc'ed text (*out null when not found): its length, 0 when not found.
int DLLRES_nFormatMessage(const _stMyModuleInfo* record, unsigned int id, wchar_t** out, ...);
int DLLRES_nFormatMessageList(const _stMyModuleInfo* record, unsigned int id, wchar_t** out, va_list args);
// Formats a given text (printf-style, Windows conventions); returns the length (0 on failure,
// out then empty / *out null).
unsigned int DLLRES_dwFormatMessage(const wchar_t* format, CTString* out, va_list args);
unsigned int DLLRES_dwFormatMessage(const wchar_t* format, wchar_t** out, va_list args);
// Variant `variant` (0 the first) of the text of id, formatted. FALSE when the text or the
// variant is missing, or the result is empty (out then emptied).
BOOL DLLRES_bFormatMessageSingulierPluriel(const _stMyModuleInfo* record, int variant, unsigned int id, CTString* out,
                                           ...);
BOOL DLLRES_bFormatMessageSingulierPlurielList(const _stMyModuleInfo* record, int variant, unsigned int id,
                                               CTString* out, va_list args);
// Variant of a count: 0 for 0 and 1, 1 above (the French rule).
inline int DLLRES_nVariantOfCount(long long count) { return count > 1 ? 1 : 0; }

// A CTString filled from a format and its arguments.
class CTStringFormatMessage : public CTString {
 public:
  explicit CTStringFormatMessage(const wchar_t* format, ...);
};
