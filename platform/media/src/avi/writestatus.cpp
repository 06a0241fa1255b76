#include "media/avi/writestatus.h"

#include <cerrno>

namespace media::avi {

WriteStatus WriteStatusFromErrno(int err) {
    switch (err) {
        case 0:
            return WriteStatus::Ok;
        case ENOSPC:
        case EDQUOT:
            return WriteStatus::DiskFull;
        case EFBIG:
            return WriteStatus::FileTooLarge;
        default:
            return WriteStatus::WriteError;
    }
}

const char* WriteStatusName(WriteStatus status) {
    switch (status) {
        case WriteStatus::Ok:
            return "ok";
        case WriteStatus::DiskFull:
            return "disk full";
        case WriteStatus::FileTooLarge:
            return "file too large";
        case WriteStatus::WriteError:
            return "write error";
    }
    return "write error";
}

}  // namespace media::avi
