// Umbrella header of the Win32 subset, as the program includes it.
#pragma once

#include "commdlg.h"
#include "winbase.h"
#include "windef.h"
#include "winerror.h"
#include "winfiles.h"
#include "wingdi.h"
#include "winnls.h"
#include "winreg.h"
#include "winuser.h"
