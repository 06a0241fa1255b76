// Umbrella header of the COM subset, as the program includes it.
#pragma once

#include <windows.h>

#include "guiddef.h"
#include "unknwn.h"
#include "wtypes.h"
#include "combaseapi.h"
#include "objidl.h"
#include "oaidl.h"
#include "oleauto.h"

// Binds the moniker to its object without a bind context, as
// pmk->BindToObject(NULL, NULL, iidResult, ppvResult).  grfOpt is reserved.
HRESULT BindMoniker(LPMONIKER pmk, DWORD grfOpt, REFIID iidResult, LPVOID* ppvResult);
