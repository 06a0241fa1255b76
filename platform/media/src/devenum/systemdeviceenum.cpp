// System device enumerator (CLSID_SystemDeviceEnum): a class enumerator of
// the devices that the registered drivers of a category list right now.
// No threads; a driver's list function may be called from any thread.
#include "com/comclasstable.h"
#include "com/commoniker.h"
#include "com/comobject.h"
#include "devicedriverlist.h"
#include "media/iids.h"
#include "uuids.h"

namespace {

class SystemDeviceEnum final : public ComObject<ICreateDevEnum> {
public:
    STDMETHODIMP CreateClassEnumerator(REFCLSID clsidDeviceClass, IEnumMoniker** ppEnumMoniker,
                                       DWORD) override {
        if (!ppEnumMoniker) return E_POINTER;
        *ppEnumMoniker = nullptr;
        std::vector<ComPtr<IMoniker>> monikers = ListDevices(clsidDeviceClass);
        // An empty category gives no enumerator at all.
        if (monikers.empty()) return S_FALSE;
        return CreateMonikerEnumerator(std::move(monikers), ppEnumMoniker);
    }
};

const ComClassRegistration registration(CLSID_SystemDeviceEnum,
                                        ComCreateInstance<SystemDeviceEnum>);

}  // namespace
