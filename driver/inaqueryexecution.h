// INAQueryExecution: the host's execution options of a query it runs as a table. The driver reads
// two answers and keeps nothing: the object stays the host's and lives through the call it is
// handed to.
#pragma once

class INAQueryExecution {
 public:
  // The host's read flags for the query's first read; the driver adds its own bits to a copy.
  virtual unsigned int dwGetFlags() const = 0;
  // The name (as shown) of the result column the first read browses; null or empty for the
  // driver's own choice.
  virtual const wchar_t* pszGetRequestedColumn() const = 0;

 protected:
  ~INAQueryExecution() = default;
};
