// The dialog framework: application, threads, windows, message maps,
// dialogs and controls.
#pragma once

#include <windows.h>

#include "afxapp.h"
#include "afxctrls.h"
#include "afxdialog.h"
#include "afxmenu.h"
#include "afxmsgmap.h"
#include "afxthread.h"
#include "afxwnd.h"
