// The IEEE-1394 DV driver: lists every AV/C unit with a tape subunit on
// every port in the video input category, follows bus resets (units that
// go raise EC_DEVICE_LOST; the windows hear of units that come and go).
#pragma once

#include <memory>

#include "fwbus.h"

namespace dvfw {

// Puts a bus in place of the system's (tests); null goes back to the
// system's bus.  The units of the previous bus are forgotten.
void SetBus(std::shared_ptr<Bus> bus);

}  // namespace dvfw
