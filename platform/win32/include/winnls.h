// Code page conversion.  CP_ACP is UTF-8 here.
#pragma once

#include "windef.h"
