// The device pieces the DV device drivers share.
#include "dvdevice.h"

namespace dvdeck {

bool DvDevice::Unplug() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!Plugged()) return false;
        m_plugged.store(false, std::memory_order_release);
        ClearQueuesLocked();
    }
    m_cv.notify_all();
    Announce(false);
    return true;
}

bool DvDevice::Plug() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (Plugged()) return false;
        m_plugged.store(true, std::memory_order_release);
    }
    m_cv.notify_all();
    Announce(true);
    return true;
}

void DvDevice::Announce(bool present) {
    {
        std::lock_guard<std::mutex> lock(m_listenersLock);
        for (DvDeviceListener* l : m_listeners) l->DeviceChanged(present);
    }
    BroadcastDeviceChange();
}

void DvDevice::AddListener(DvDeviceListener* l) {
    std::lock_guard<std::mutex> lock(m_listenersLock);
    m_listeners.push_back(l);
}

void DvDevice::RemoveListener(DvDeviceListener* l) {
    std::lock_guard<std::mutex> lock(m_listenersLock);
    std::erase(m_listeners, l);
}

void DvDevice::StopStream(DvStream* s) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        s->stop = true;
    }
    m_cv.notify_all();
}

void DvDevice::Wake() {
    { std::lock_guard<std::mutex> lock(m_lock); }
    m_cv.notify_all();
}

}  // namespace dvdeck
