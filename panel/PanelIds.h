// Control IDs of the capture panel's template that the panel's code uses.
#pragma once

#define IDC_CAPTURE_FILE 1022
