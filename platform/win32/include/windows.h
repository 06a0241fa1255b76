// Umbrella header of the Win32 subset, as the program includes it.
#pragma once

#include "windef.h"
#include "winerror.h"
#include "winbase.h"
#include "winfiles.h"
#include "winnls.h"
#include "winreg.h"
#include "winuser.h"
#include "wingdi.h"
#include "commdlg.h"
