// What the panel tells the user when a recording cannot start or ends by
// itself.  Every text is shown in a message box owned by the panel, caption
// "Tapeloom", exclamation icon and an OK button.
#pragma once

#include <windows.h>

#include <string>

// Capture refused: the output file's folder is missing.
extern const char kCannotCreateText[];
// Capture refused: the output file exists but cannot be written, or its
// folder lets no file be made.
extern const char kCannotWriteText[];
// Capture refused: the graph that records does not run.
extern const char kGraphNotStartedText[];
// Stop Capture found the output file gone: the recording is lost.
extern const char kLostText[];

// A captured time as the Captured counter shows it, "hh:mm:ss".
std::string CapturedTimeText(long nSeconds);

// A recording ended by itself.  hrCause is the error the graph reported
// (the disk full, the file too large, a write failed, or another error);
// bDeviceLost tells that the device was gone by then (which explains any
// error but the file's own), bFileKept whether the recorded file is still
// on disk under pszFile, nSeconds how much was captured.
std::string RecordingStoppedText(HRESULT hrCause, bool bDeviceLost, bool bFileKept, LPCSTR pszFile,
                                 long nSeconds);
