// A static library that uses the test component, as the engine uses the
// media framework.
#include <objbase.h>

int TestUserMarker() { return 1; }
