// The stream control gate of an output pin (IAMStreamControl): a start
// and a stop time in stream time, MAXLONGLONG meaning none.  Each sample
// is admitted or discarded by its start time; a pending start or stop
// takes effect at the first sample at or after its time, and 0 means "at
// the next sample".  When a start and a stop are both due, the one set
// last wins.  A stream flows until the first stop.  Discarded samples are
// simply not delivered: nothing downstream stops.
#pragma once

#include <mutex>

#include "strmif.h"

class StreamControlGate {
public:
    enum class Change { None, Started, Stopped };

    void StartAt(const REFERENCE_TIME* ptStart, DWORD cookie);
    void StopAt(const REFERENCE_TIME* ptStop, DWORD cookie);
    void GetInfo(AM_STREAM_INFO* pInfo);

    // Whether a sample at stream time t flows; *change tells a state change
    // with its cookie (for EC_STREAM_CONTROL_STARTED / _STOPPED).
    bool Admit(REFERENCE_TIME t, Change* change, DWORD* cookie);

private:
    std::mutex m_lock;
    bool m_flowing = true;
    REFERENCE_TIME m_start = MAXLONGLONG;
    REFERENCE_TIME m_stop = MAXLONGLONG;
    DWORD m_startCookie = 0, m_stopCookie = 0;
    unsigned long m_startSeq = 0, m_stopSeq = 0, m_seq = 0;
};
