// The task allocator.
#include <objbase.h>

#include <cstdlib>

LPVOID CoTaskMemAlloc(SIZE_T cb) { return std::malloc(cb ? cb : 1); }

void CoTaskMemFree(LPVOID pv) { std::free(pv); }
