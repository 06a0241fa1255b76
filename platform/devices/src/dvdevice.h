// What the DV device drivers' devices have in common: the transport and
// status calls their capture filters forward, the plug state, the filters
// bound to the device (told when it goes and comes back), and the capture
// streams it feeds.
//
// Locks: m_lock guards the plug state's side effects and the streams
// (a derived device guards more of its own with it); m_cv is signalled
// whenever a stream may have something new.  m_listenersLock guards the
// bound filters.  Events are raised outside m_lock.
#pragma once

#include <strmif.h>
#include <windef.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace dvdeck {

// A filter bound to a device, told when the device goes and comes back.
class DvDeviceListener {
public:
    virtual void DeviceChanged(bool present) = 0;

protected:
    ~DvDeviceListener() = default;
};

// The device's side of one capture stream (a running capture pin).  A
// device's own stream type adds the queue of what it has to offer.
struct DvStream {
    std::atomic<bool>* running = nullptr;  // the filter runs: frames are offered
    std::atomic<long>* dropped = nullptr;  // frames lost before the pin took them
    bool stop = false;                     // guarded by the device's lock

    // Whether the device offers the stream frames now; under the device's lock.
    bool Offered() const { return !stop && running->load(std::memory_order_acquire); }
};

class DvDevice {
public:
    DvDevice() = default;
    virtual ~DvDevice() = default;
    DvDevice(const DvDevice&) = delete;
    DvDevice& operator=(const DvDevice&) = delete;

    bool Plugged() const { return m_plugged.load(std::memory_order_acquire); }
    // The device went away / came back.  False when nothing changed; else
    // the bound filters raise EC_DEVICE_LOST and the windows are told.
    bool Unplug();
    bool Plug();

    // Transport and status, as the capture filter's IAMExtTransport and
    // IAMTimecodeReader report them.
    virtual HRESULT PutMode(long mode) = 0;
    virtual HRESULT GetMode(long* mode) = 0;
    // The timecode under the head as eight BCD digits.
    virtual HRESULT GetTimecode(DWORD* bcd) = 0;
    virtual HRESULT GetSignalCode(long* code) = 0;
    // Whether the capture filter offers IAMTimecodeReader.
    virtual bool HasTimecodeReader() const { return true; }

    void AddListener(DvDeviceListener* l);
    void RemoveListener(DvDeviceListener* l);

    // Ends the stream: NextFrame returns false from now on.
    void StopStream(DvStream* s);
    // Lets a waiting NextFrame look at the stream again.
    void Wake();

protected:
    // Empties every stream's queue when the device goes; under m_lock.
    virtual void ClearQueuesLocked() = 0;

    std::mutex m_lock;
    std::condition_variable m_cv;

private:
    void Announce(bool present);

    std::atomic<bool> m_plugged{true};
    std::mutex m_listenersLock;
    std::vector<DvDeviceListener*> m_listeners;
};

// Announces a change of the devices present to the windows
// (WM_DEVICECHANGE with DBT_DEVNODES_CHANGED); see virtualdeck.h.
void BroadcastDeviceChange();

}  // namespace dvdeck
