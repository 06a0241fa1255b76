// Registry subset over a per-user text file.
#pragma once

#include "windef.h"
#include "winerror.h"
