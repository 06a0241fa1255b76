// A component file that nothing refers to by symbol: its class exists only
// through the static registration below.
#include "com/comclasstable.h"
#include "testobjects.h"

namespace {
ComClassRegistration s_registration(CLSID_TestComponent, &ComCreateInstance<CTestObject>);
}
