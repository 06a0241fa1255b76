// Umbrella header of the media framework, as the program includes it.
#pragma once

#include <objbase.h>

#include "amvideo.h"
#include "control.h"
#include "edevdefs.h"
#include "evcode.h"
#include "mmreg.h"
#include "strmif.h"
#include "uuids.h"
#include "vfwmsgs.h"
