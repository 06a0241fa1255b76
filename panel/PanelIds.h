// Control IDs of the capture panel's template.
#pragma once

#include "resource.h"
