// GDI subset: device contexts over the display, bitmaps, brushes, drawing.
#pragma once

#include "windef.h"
