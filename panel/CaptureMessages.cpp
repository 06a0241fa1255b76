// The texts of the panel's messages about recordings that cannot start or
// that ended by themselves.
#include "CaptureMessages.h"

#include <stdio.h>

const char kCannotCreateText[] =
    "The Capture File could not be created, Nothing will be recorded. Check that its folder "
    "exists, or choose another file.";
const char kCannotWriteText[] =
    "The Capture File cannot be written, Nothing will be recorded. Check that the file and its "
    "folder may be written to, or choose another file.";
const char kGraphNotStartedText[] =
    "The Capture Graph could not be started, Nothing will be recorded. Check the Capture "
    "Device, or choose it again.";
const char kLostText[] =
    "The Capture File was removed during the recording, The recording could not be saved.";

std::string CapturedTimeText(long nSeconds) {
    if (nSeconds < 0) nSeconds = 0;
    char szText[32];
    snprintf(szText, sizeof szText, "%.2ld:%.2ld:%.2ld", nSeconds / 3600, nSeconds % 3600 / 60,
             nSeconds % 60);
    return szText;
}

std::string RecordingStoppedText(HRESULT hrCause, bool bDeviceLost, bool bFileKept, LPCSTR pszFile,
                                 long nSeconds) {
    const std::string strTime = CapturedTimeText(nSeconds);
    // A file that is gone explains the stop whatever error the writer saw.
    if (!bFileKept)
        return "The recording stopped because the Capture File or its folder was removed, "
               "Nothing of what was captured (" +
               strTime + ") could be saved.";
    const char* pszWhy = "of an error in the capture";
    const char* pszAdvice = "";
    if (hrCause == HRESULT_FROM_WIN32(ERROR_DISK_FULL) ||
        hrCause == HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL)) {
        pszWhy = "the disk is full";
        pszAdvice = " Free some space on the disk, or choose another file.";
    } else if (hrCause == HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE)) {
        pszWhy = "the Capture File reached the largest size allowed";
        pszAdvice = " Choose another file to record the rest.";
    } else if (hrCause == HRESULT_FROM_WIN32(ERROR_WRITE_FAULT)) {
        pszWhy = "the Capture File could not be written";
        pszAdvice = " Check the disk, or choose another file.";
    } else if (bDeviceLost) {
        pszWhy = "the Capture Device was lost";
        pszAdvice = " Connect it again to capture the rest.";
    }
    return std::string("The recording stopped because ") + pszWhy + ", What was captured (" +
           strTime + ") is saved in " + (pszFile != NULL ? pszFile : "") + "." + pszAdvice;
}
