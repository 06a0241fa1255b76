// Files, environment, module and path names.
#pragma once

#include "windef.h"
#include "winerror.h"
