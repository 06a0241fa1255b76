// The one application object; the framework's entry point runs it.
#include "MainApp.h"

CMainApp theApp;
