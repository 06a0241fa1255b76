// Umbrella header of the COM subset, as the program includes it.
#pragma once

#include <windows.h>

#include "combaseapi.h"
#include "guiddef.h"
#include "oaidl.h"
#include "objidl.h"
#include "oleauto.h"
#include "unknwn.h"
#include "wtypes.h"

// Binds the moniker to its object without a bind context, as
// pmk->BindToObject(NULL, NULL, iidResult, ppvResult).  grfOpt is reserved.
HRESULT BindMoniker(LPMONIKER pmk, DWORD grfOpt, REFIID iidResult, LPVOID* ppvResult);
