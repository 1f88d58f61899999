// Allocation-statistics entry points. The runtime keeps no statistics: each takes no action and
// answers 0 (no dump written, no mark set, total size 0).
#pragma once

int Alloc_bDump(const wchar_t* file, int flag);
int Alloc_bMarque();
int Alloc_nTailleTotale();
