// INATable: a table or query result as the host holds it, called by position. The slots are
// declared once, here, in the host's order: the version head, sixty host operations (each after
// the version head takes the caller's context first, but bTableVirtualMoveSupported), then
// fourteen reserved slots. The implementation adds its own slots after these.
#pragma once

#include <cstdint>

#include "driver/inaversion.h"
#include "driver/nahost.h"

class CAny;
class CNAKJRecord;
class IGaugeControl;
class INAError;
class INADataSourceDescription;
class ISQLParserInformation;
enum eNA_OPERATION : int32_t;

class INATable : public INAVersion {
 public:
  virtual INATable* ExternalAddRef() = 0;
  // The external count left, or 0 when the table went back to the driver.
  virtual int nExternalRelease() = 0;
  // The error object the host reads after a failure in ctx (borrowed).
  virtual INAError* piGetLastError(INAContext* ctx) = 0;
  virtual BOOL bIsOpened(INAContext* ctx) = 0;
  // With an external reference for the caller; null without a description.
  virtual INADataSourceDescription* piGetDataSourceDescription() = 0;
  virtual BOOL bNbEnrNeedParse(INAContext* ctx, int* needParse, const wchar_t* item) = 0;
  virtual BOOL FreeMemory(INAContext* ctx, void** memory) const = 0;
  virtual BOOL bHReindexe(INAContext* ctx, unsigned int options, IGaugeControl* gauge) = 0;
  virtual BOOL bHCreationSiInexistant(INAContext* ctx, eNA_ACCESS access, const wchar_t* password) = 0;
  virtual BOOL bHCreation(INAContext* ctx, const wchar_t* password) = 0;
  virtual BOOL bHOuvre(INAContext* ctx, eNA_ACCESS access, const wchar_t* password) = 0;
  virtual BOOL bHMode(INAContext* ctx, _eNA_HMODE mode) = 0;
  virtual BOOL bHFerme(INAContext* ctx) = 0;
  virtual BOOL bHAjoute(INAContext* ctx, unsigned int flags, eNA_LOCKTYPE lock) = 0;
  virtual BOOL bHEcrit(INAContext* ctx, long long recnum, unsigned int flags, eNA_LOCKTYPE lock) = 0;
  virtual BOOL bHRaye(INAContext* ctx, long long recnum, eNA_LOCKTYPE lock) = 0;
  virtual BOOL bHSupprime(INAContext* ctx, long long recnum, eNA_LOCKTYPE lock) = 0;
  virtual BOOL bHModifie(INAContext* ctx, long long recnum, unsigned int flags, eNA_LOCKTYPE lock) = 0;
  virtual BOOL bHRecherche(INAContext* ctx, const wchar_t* item, const CAny* value, int generic, int setRead,
                           eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut, int fromFirst, unsigned int flags) = 0;
  virtual BOOL bHLibere(INAContext* ctx) = 0;
  virtual BOOL bHLit(INAContext* ctx, long long recnum, eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut) = 0;
  virtual BOOL bHLitxxx(INAContext* ctx, const wchar_t* item, eNA_PARSEDIRECTION dir, int setRead,
                        eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut, unsigned int flags) = 0;
  virtual BOOL bSkipRecord(INAContext* ctx, const wchar_t* item, eNA_PARSEDIRECTION dir, long long count,
                           int setRead, eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut, unsigned int flags) = 0;
  virtual BOOL bHBloqueFichier(INAContext* ctx, eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut) = 0;
  virtual BOOL bHDebloqueFichier(INAContext* ctx) = 0;
  virtual BOOL bHBloqueNumEnr(INAContext* ctx, long long recnum, eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut) = 0;
  virtual BOOL bHDebloqueNumEnr(INAContext* ctx, long long recnum) = 0;
  virtual BOOL bHEnDehors(INAContext* ctx, const wchar_t* item, int* out) = 0;
  virtual BOOL bEvalHTrouve(INAContext* ctx, const wchar_t* item, int* found, int* second) = 0;
  virtual BOOL bSetNextOperation(INAContext* ctx, eNA_OPERATION operation) = 0;
  virtual long long llGetRecNum(INAContext* ctx) = 0;
  virtual BOOL bGetRecNumState(INAContext* ctx, long long recnum, unsigned int* state) = 0;
  virtual BOOL bHFiltre(INAContext* ctx, ISQLParserInformation* condition, wchar_t* item) = 0;
  virtual BOOL bHFiltre(INAContext* ctx, const wchar_t* item, const CAny* min, int minIncluded, const CAny* max,
                        int maxIncluded, ISQLParserInformation* condition) = 0;
  virtual BOOL bHActiveFiltre(INAContext* ctx, const wchar_t* item, unsigned int flags) = 0;
  virtual BOOL bHDesactiveFiltre(INAContext* ctx, const wchar_t* item, unsigned int flags) = 0;
  virtual BOOL bHRetourPosition(INAContext* ctx, int id, wchar_t* itemOut, int keep, unsigned int mode) = 0;
  virtual BOOL bHLiberePosition(INAContext* ctx, int id) = 0;
  virtual BOOL bHSauvePosition(INAContext* ctx, const wchar_t* item, int* id, unsigned int mode) = 0;
  virtual BOOL bHVersion(INAContext* ctx, int* version) = 0;
  virtual BOOL bHNbEnr(INAContext* ctx, long long* count, unsigned int options, unsigned int flags) = 0;
  virtual BOOL bHPositionCourante(INAContext* ctx, const wchar_t* item, int* position, eNA_PRECISION precision,
                                  unsigned int flags) = 0;
  virtual BOOL bHPositionne(INAContext* ctx, const wchar_t* item, unsigned int position, eNA_PRECISION precision,
                            unsigned int flags) = 0;
  virtual BOOL bGetBLOB(INAContext* ctx, unsigned int memo, CAny* value) = 0;
  virtual BOOL bSetBLOB(INAContext* ctx, unsigned int memo, const CAny* value) = 0;
  virtual BOOL bGetRecord(INAContext* ctx, CNAKJRecord** record) const = 0;
  virtual BOOL bSetRecord(INAContext* ctx, CNAKJRecord* record) = 0;
  virtual BOOL bHAttacheMemo(INAContext* ctx, unsigned int memo, const wchar_t* path) = 0;
  virtual BOOL bExtraitMemo(INAContext* ctx, unsigned int memo, const wchar_t* path) = 0;
  virtual BOOL bHAnnuleRecherche(INAContext* ctx, const wchar_t* item) = 0;
  virtual BOOL bHChangeCle(INAContext* ctx, const wchar_t* item, unsigned int flags) = 0;
  virtual BOOL bHConstruitValCle(INAContext* ctx, CAny* out, const wchar_t* item, unsigned int options,
                                 CAny** values) = 0;
  virtual BOOL bHInterditModif(INAContext* ctx) = 0;
  virtual BOOL bHFinInterditModif(INAContext* ctx) = 0;
  virtual BOOL bCalculateKeyValue(INAContext* ctx, const wchar_t* item, void** out, const void* record,
                                  unsigned int* size, unsigned short options, int mode) = 0;
  virtual BOOL bFreeCache(INAContext* ctx) = 0;
  virtual BOOL bCompareTablePosition(INAContext* ctx, int first, int second, int* equal) = 0;
  virtual BOOL bTableVirtualMoveSupported() = 0;
  virtual BOOL bTableVirtualMove(INAContext* ctx, const wchar_t* item, long long* moved, unsigned int flags,
                                 int mode) = 0;
  virtual BOOL bSupprimeTout(INAContext* ctx) = 0;
  virtual void EmptySlot579() {}
  virtual void EmptySlot580() {}
  virtual void EmptySlot582() {}
  virtual void EmptySlot583() {}
  virtual void EmptySlot584() {}
  virtual void EmptySlot585() {}
  virtual void EmptySlot586() {}
  virtual void EmptySlot587() {}
  virtual void EmptySlot589() {}
  virtual void EmptySlot590() {}
  virtual void EmptySlot591() {}
  virtual void EmptySlot592() {}
  virtual void EmptySlot593() {}
  virtual void EmptySlot594() {}

 protected:
  ~INATable() = default;
};
