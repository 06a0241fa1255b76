// A virtual deck.
#include "deck.h"

#include <edevdefs.h>
#include <evcode.h>
#include <winerror.h>

#include <chrono>

#include "difpacks.h"
#include "dvtimecode.h"
#include "dvvideoinfo.h"

namespace dvdeck {

std::shared_ptr<Deck> Deck::Open(const DeckConfig& config, bool realTime, std::string* error) {
    std::unique_ptr<Tape> tape;
    if (config.tape == "pal")
        tape = Tape::OpenBuiltin(dv::Standard::PAL, kBuiltinRepeats, error);
    else if (config.tape == "ntsc")
        tape = Tape::OpenBuiltin(dv::Standard::NTSC, kBuiltinRepeats, error);
    else
        tape = Tape::OpenFile(config.tape, error);
    if (!tape) return nullptr;
    return std::shared_ptr<Deck>(new Deck(config, std::move(tape), realTime));
}

Deck::Deck(const DeckConfig& config, std::unique_ptr<Tape> tape, bool realTime)
    : m_config(config),
      m_tape(std::move(tape)),
      m_realTime(realTime),
      m_transport(m_tape->Frames()) {
    dv::FrameView first;
    const auto& f = m_tape->FirstFrame();
    if (dv::ViewFrame(f.data(), f.size(), first)) {
        dv::DvInfoPacks packs;
        dv::ReadDvInfoPacks(first, packs);
        m_dvinfo.dwDVAAuxSrc = dv::PackDword(packs.aauxSrc);
        m_dvinfo.dwDVAAuxCtl = dv::PackDword(packs.aauxCtl);
        m_dvinfo.dwDVAAuxSrc1 = dv::PackDword(packs.aauxSrc1);
        m_dvinfo.dwDVAAuxCtl1 = dv::PackDword(packs.aauxCtl1);
        m_dvinfo.dwDVVAuxSrc = dv::PackDword(packs.vauxSrc);
        m_dvinfo.dwDVVAuxCtl = dv::PackDword(packs.vauxCtl);
        m_signal = dv::SignalCode(first);
    }
    if (m_config.signal != 0) m_signal = m_config.signal;
    m_tcBuffer.resize(m_tape->FrameSize());
    if (m_realTime) m_motor = std::thread([this] { MotorLoop(); });
}

Deck::~Deck() { Shutdown(); }

void Deck::Shutdown() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_motorStop = true;
    }
    m_cv.notify_all();
    if (m_motor.joinable()) m_motor.join();
}

REFERENCE_TIME Deck::FrameStart(int64_t n) const {
    // 25 frames a second, or 30000/1001.
    if (m_tape->Standard() == dv::Standard::PAL) return n * 400000;
    return n * 1001 * 10000000 / 30000;
}

void Deck::MotorLoop() {
    using namespace std::chrono;
    const auto epoch = steady_clock::now();
    int64_t tick = 0;
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        const auto due = epoch + nanoseconds(FrameStart(tick + 1) * 100);
        m_cv.wait_until(lock, due, [&] { return m_motorStop || steady_clock::now() >= due; });
        if (m_motorStop) return;
        // A late wake-up catches up on every period that went by.
        while (steady_clock::now() >= epoch + nanoseconds(FrameStart(tick + 1) * 100)) {
            ++tick;
            if (!Plugged()) continue;
            const int64_t shown = m_transport.Tick();
            if (shown < 0) continue;
            for (DeckStream* s : m_streams) {
                if (s->stop || !s->running->load(std::memory_order_acquire)) continue;
                if (s->queue.size() < kReceiveQueue)
                    s->queue.push_back(shown);
                else
                    s->dropped->fetch_add(1, std::memory_order_relaxed);
            }
        }
        m_cv.notify_all();
    }
}

bool Deck::Unplug() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!Plugged()) return false;
        m_plugged.store(false, std::memory_order_release);
        for (DeckStream* s : m_streams) s->queue.clear();
    }
    m_cv.notify_all();
    Announce(false);
    return true;
}

bool Deck::Plug() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (Plugged()) return false;
        m_plugged.store(true, std::memory_order_release);
    }
    m_cv.notify_all();
    Announce(true);
    return true;
}

void Deck::Announce(bool present) {
    {
        std::lock_guard<std::mutex> lock(m_listenersLock);
        for (DeckListener* l : m_listeners) l->DeviceChanged(present);
    }
    BroadcastDeviceChange();
}

HRESULT Deck::PutMode(long mode) {
    HRESULT hr;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!Plugged()) return E_FAIL;
        hr = m_transport.SetMode(mode);
    }
    m_cv.notify_all();
    return hr;
}

HRESULT Deck::GetMode(long* mode) {
    if (!mode) return E_POINTER;
    std::lock_guard<std::mutex> lock(m_lock);
    if (!Plugged()) return E_FAIL;
    *mode = m_transport.Mode();
    return S_OK;
}

HRESULT Deck::GetTimecode(DWORD* bcd) {
    int64_t head;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!Plugged()) return E_FAIL;
        head = m_transport.Head();
    }
    std::lock_guard<std::mutex> lock(m_tcLock);
    if (head != m_tcFrame) {
        if (!m_tape->ReadFrame(head, m_tcBuffer.data())) return E_FAIL;
        // The tape's own timecode, jumps and all; where the subcode has
        // none, the position counted from the start of the tape.
        dv::FrameView view;
        std::optional<dv::Timecode> tc;
        if (dv::ViewFrame(m_tcBuffer.data(), m_tcBuffer.size(), view)) tc = dv::ReadTimecode(view);
        m_tcBcd = dv::TimecodeBcd(tc ? *tc : dv::TimecodeAt(head, m_tape->Standard()));
        m_tcFrame = head;
    }
    *bcd = m_tcBcd;
    return S_OK;
}

void Deck::AddListener(DeckListener* l) {
    std::lock_guard<std::mutex> lock(m_listenersLock);
    m_listeners.push_back(l);
}

void Deck::RemoveListener(DeckListener* l) {
    std::lock_guard<std::mutex> lock(m_listenersLock);
    std::erase(m_listeners, l);
}

void Deck::Attach(DeckStream* s) {
    std::lock_guard<std::mutex> lock(m_lock);
    s->stop = false;
    s->queue.clear();
    m_streams.push_back(s);
}

void Deck::Detach(DeckStream* s) {
    std::lock_guard<std::mutex> lock(m_lock);
    std::erase(m_streams, s);
    s->queue.clear();
}

void Deck::StopStream(DeckStream* s) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        s->stop = true;
    }
    m_cv.notify_all();
}

void Deck::Wake() {
    { std::lock_guard<std::mutex> lock(m_lock); }
    m_cv.notify_all();
}

bool Deck::NextFrame(DeckStream* s, int64_t* frame) {
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        if (s->stop || !Plugged()) return false;
        if (m_realTime) {
            if (!s->queue.empty()) {
                *frame = s->queue.front();
                s->queue.pop_front();
                return true;
            }
        } else if (s->running->load(std::memory_order_acquire)) {
            // Unpaced: the tape moves one period per frame taken; a still
            // transport (stopped, or at an end) waits for a new mode.
            const long before = m_transport.Mode();
            const int64_t shown = m_transport.Tick();
            if (shown >= 0) {
                *frame = shown;
                return true;
            }
            if (before != m_transport.Mode() || m_transport.Mode() != ED_MODE_STOP) continue;
        }
        m_cv.wait(lock);
    }
}

void Deck::FrameDelivered() {
    const long n = m_delivered.fetch_add(1, std::memory_order_acq_rel) + 1;
    if (m_config.unplugAfter > 0 && n == m_config.unplugAfter) Unplug();
}

}  // namespace dvdeck
