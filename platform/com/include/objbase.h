// Umbrella header of the COM subset, as the program includes it.
#pragma once

#include <windows.h>

#include "guiddef.h"
#include "unknwn.h"
