// The dialog framework the panel builds on.
#pragma once

#include <afxwin.h>
