// The driver's exported entry points, found by name by the host: compatibility, library start,
// the driver object, library end.
#pragma once

#include "platform/wintypes.h"

class INADriver;

#define QX_DRIVER_EXPORT extern "C" __attribute__((visibility("default")))

// Kinds 7 (the host's database engine) and 28 (its SQL engine): the version is recorded, 32 is
// written to *required, TRUE when the version is above 31. Other kinds: FALSE, nothing written.
QX_DRIVER_EXPORT BOOL bDLLCompatible(unsigned int kind, unsigned int version, unsigned int* required);
// Counts the calls; the first starts the module (and clears the recorded versions). TRUE.
QX_DRIVER_EXPORT BOOL bInitLibrary(HINSTANCE__* module);
// A new driver with one external reference and its error object; it becomes the designated one.
QX_DRIVER_EXPORT INADriver* piQueryInterface();
// Ends the module; the drivers still held may be released afterwards.
QX_DRIVER_EXPORT BOOL TermLibrary();

// Number of bInitLibrary calls so far (under the driver mutex).
extern int gnNbInitialisation;
