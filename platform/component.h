// The component entry's function type and message codes, shared by the module's own "Execution"
// and the host's, which the module finds by name in the host's module handle.
#pragma once

#include <cstdint>

// Answers are pointer-sized: several host queries answer with an object's address.
typedef intptr_t (*PFNEXECUTION)(unsigned int nCode, void* pArgument);

enum : unsigned int {
  EXEC_HOST_QUERY = 3053,     // argument: the query number below
  EXEC_HOST_END_NOTICE = 3052,
  EXEC_HOST_CALL_STACK = 3184,
  EXEC_INITIALISE = 3985,
  EXEC_TERMINATE = 4875,
  EXEC_SET_LOCALE = 4878,
  EXEC_CHANGE_LANGUAGE = 4879,
  EXEC_INIT_DYNAMIC_TYPES = 4963,
  EXEC_MEMORY_DUMP = 5238,
  EXEC_DEACTIVATE = 5684,
  EXEC_REACTIVATE = 5864,
};

// Host queries (code EXEC_HOST_QUERY).
enum : int {
  HOST_QUERY_PRODUCT_CODE = 1,
  HOST_QUERY_INTERNAL_LANGUAGE = 2,
  HOST_QUERY_PRODUCT_NAME = 3,
  HOST_QUERY_OPTIONS = 4,
  HOST_QUERY_REAL_PRODUCT_CODE = 5,
  HOST_QUERY_DOTNET = 6,
  HOST_QUERY_LIBSHOP = 7,
  HOST_QUERY_ACTIVE_VERSION = 8,
  HOST_QUERY_GLOBAL_FACTORY = 9,
  HOST_QUERY_TOPOLOGY_COLLECTOR = 10,
  HOST_QUERY_SMARTPHONE_MODE = 11,
  HOST_QUERY_LOCALE = 12,
  HOST_QUERY_STRING_ALLOCATOR = 13,
  HOST_QUERY_MULTITHREAD_FLAG = 14,
  HOST_QUERY_COMPONENT_INFORMATION = 15,
};
