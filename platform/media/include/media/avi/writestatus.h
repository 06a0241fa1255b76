// Why a file write stopped: the few outcomes a recording has to tell apart.
#pragma once

namespace media::avi {

enum class WriteStatus {
    Ok,
    DiskFull,      // ENOSPC, EDQUOT
    FileTooLarge,  // EFBIG (file size limit), or the format's own limits reached
    WriteError,    // anything else: I/O error, device gone, bad descriptor
};

// Maps an errno value from open/write/truncate/sync to a stop reason.
WriteStatus WriteStatusFromErrno(int err);

// A short English name ("disk full", ...) for logs and totals.
const char* WriteStatusName(WriteStatus status);

}  // namespace media::avi
