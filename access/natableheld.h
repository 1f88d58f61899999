// What the table object's files share (natable*.cpp only): the sites of the errors they raise, and
// scope holders of one reference on a data access, and one on the driver's context of a host
// context. Both give back however the scope is left.
#pragma once

#include <memory>

#include "access/nadataaccess.h"
#include "driver/nacontext.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"

namespace natable {

// Sites of the errors the table object raises, one per place across its files.
enum {
  kSiteNoDataAccess = 1,
  kSiteRecNum = 2,
  kSiteEngineSilent = 3,
  kSiteEngineOld = 4,
  kSiteFreeMemory = 5,
  kSiteInterditModif = 6,
  kSiteFinInterditModif = 7,
  kSiteCalculateKeyValue = 8,
  kSiteNoContext = 9,
  kSiteNullOut = 10,
  kSiteNoResultOut = 11,
};
// A pointer the entry answers through was null.
constexpr unsigned int kErrInternal = 4;

// Callers hold the driver lock.
inline void ResetError(CNAError* error) {
  if (error != nullptr) error->ResetLocked();
}

struct DataAccessRelease {
  void operator()(CNADataAccess* access) const { access->nRelease(); }
};
using HeldDataAccess = std::unique_ptr<CNADataAccess, DataAccessRelease>;

// A lookup gives back its own reference only: the context stays registered, with its error
// object and the name it keeps for the next file, until a data access leaves it
// (CNADriver::nReleaseContext) or the host closes it.
struct ContextRelease {
  void operator()(CNAContext* ctx) const { ctx->nRelease(); }
};
using HeldContext = std::unique_ptr<CNAContext, ContextRelease>;

}  // namespace natable
