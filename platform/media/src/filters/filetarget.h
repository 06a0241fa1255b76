// Platform-internal: how the AVI multiplexer learns, from the file writer
// its output is connected to, which file to write.  The writer's input pin
// answers it.
#pragma once

#include <string>

#include "com/comptr.h"
#include "strmif.h"

DEFINE_GUID(IID_IMediaFileTarget, 0x5b0c7a31, 0x2e94, 0x4d1f, 0xa6, 0x3b, 0x71, 0x0e, 0x9c, 0x42,
            0xd8, 0x15);
interface IMediaFileTarget : public IUnknown {
    // The path (UTF-8) of the file the next run writes; empty when none is
    // set.
    virtual std::string TargetPath() = 0;
};
COM_DECLARE_IID(IMediaFileTarget);
