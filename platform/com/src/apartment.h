// Per-thread apartment state shared by the COM sources.
#pragma once

// True while the calling thread has more CoInitialize calls than
// CoUninitialize calls.
bool ComThreadInitialized();
