// BSTR allocation and VARIANT clean-up.
#pragma once

#include "oaidl.h"

// Copies the NUL-terminated string; NULL for a NULL argument or when out of
// memory.
BSTR SysAllocString(const OLECHAR* psz);
// A string of ui characters (embedded NULs allowed) plus a terminator;
// copied from pch, or zero-filled when pch is NULL.
BSTR SysAllocStringLen(const OLECHAR* pch, UINT ui);
// Characters in the string, from its length prefix (0 for NULL).
UINT SysStringLen(BSTR bstr);
// Frees a string from SysAllocString*; NULL is ignored.
void SysFreeString(BSTR bstrString);

void VariantInit(VARIANTARG* pvarg);
// Frees what the variant owns and leaves it VT_EMPTY.
HRESULT VariantClear(VARIANTARG* pvarg);
