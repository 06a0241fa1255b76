// A virtual deck.
#include "deck.h"

#include <edevdefs.h>
#include <evcode.h>
#include <winerror.h>

#include <chrono>

#include "dv/dvtimecode.h"
#include "dv/dvvideoinfo.h"
#include "dvmediatype.h"

namespace dvdeck {

namespace {

int64_t ThreadTicks(long ms, dv::Standard standard) {
    if (ms <= 0) return 0;
    // Frame periods, rounded to the nearest: 25 or 30000/1001 a second.
    return standard == dv::Standard::PAL ? (int64_t(ms) * 25 + 500) / 1000
                                         : (int64_t(ms) * 30000 + 500500) / 1001000;
}

}  // namespace

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
      m_transport(m_tape->Frames(), ThreadTicks(config.threadMs, m_tape->Standard())) {
    m_headBuffer.resize(m_tape->MaxFrameSize());
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
                if (!s->Offered()) continue;
                if (s->queue.size() < kReceiveQueue)
                    s->queue.push_back(shown);
                else
                    s->dropped->fetch_add(1, std::memory_order_relaxed);
            }
        }
        m_cv.notify_all();
    }
}

void Deck::ClearQueuesLocked() {
    for (DeckStream* s : m_streams) s->queue.clear();
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

long Deck::SignalOf(int64_t frame, const uint8_t* data, size_t size) const {
    if (m_config.signal != 0 && frame >= m_config.signalFrom) return m_config.signal;
    dv::FrameView view;
    if (dv::ViewFrame(data, size, view)) return dv::SignalCode(view);
    return m_tape->StandardAt(frame) == dv::Standard::PAL ? dv::kSignal625_50_SD
                                                          : dv::kSignal525_60_SD;
}

int64_t Deck::HeadPosition() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_transport.Head();
}

bool Deck::ReadHeadLocked(int64_t head) {
    if (head == m_headFrame) return true;
    if (!m_tape->ReadFrame(head, m_headBuffer.data())) return false;
    const dv::Standard standard = m_tape->StandardAt(head);
    const size_t size = dv::FrameSize(standard);
    // The tape's own timecode, jumps and all; where the subcode has none,
    // the position counted from the start of the tape.
    dv::FrameView view;
    std::optional<dv::Timecode> tc;
    DeckFormat format;
    format.standard = standard;
    if (dv::ViewFrame(m_headBuffer.data(), size, view)) {
        tc = dv::ReadTimecode(view);
        format.dvinfo = DvInfoOf(view);
    }
    format.signal = SignalOf(head, m_headBuffer.data(), size);
    m_headBcd = dv::TimecodeBcd(tc ? *tc : dv::TimecodeAt(head, m_tape->Standard()));
    m_headFormat = format;
    m_headFrame = head;
    return true;
}

HRESULT Deck::GetTimecode(DWORD* bcd) {
    if (!Plugged()) return E_FAIL;
    const int64_t head = HeadPosition();
    std::lock_guard<std::mutex> lock(m_headLock);
    if (!ReadHeadLocked(head)) return E_FAIL;
    *bcd = m_headBcd;
    return S_OK;
}

HRESULT Deck::GetSignalCode(long* code) {
    if (!Plugged()) return E_FAIL;
    const int64_t head = HeadPosition();
    std::lock_guard<std::mutex> lock(m_headLock);
    if (!ReadHeadLocked(head)) return E_FAIL;
    *code = m_headFormat.signal;
    return S_OK;
}

HRESULT Deck::HeadFormat(DeckFormat* format) {
    const int64_t head = HeadPosition();
    std::lock_guard<std::mutex> lock(m_headLock);
    if (!ReadHeadLocked(head)) return E_FAIL;
    *format = m_headFormat;
    return S_OK;
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
            // transport (stopped, or at an end) waits for a new mode.  A
            // still frame comes at the tape's rate, as fast as a real deck
            // sends it: a paused deck is no busy loop.
            if (m_transport.Mode() == ED_MODE_FREEZE && m_transport.Threading() == 0) {
                const auto period = std::chrono::nanoseconds(FrameStart(1) * 100);
                const auto now = std::chrono::steady_clock::now();
                if (now < s->stillDue) {
                    m_cv.wait_until(lock, s->stillDue);
                    continue;
                }
                s->stillDue = (now - s->stillDue > period ? now : s->stillDue) + period;
            }
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
