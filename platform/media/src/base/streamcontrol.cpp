// Stream control gate.
#include "media/streamcontrol.h"

void StreamControlGate::StartAt(const REFERENCE_TIME* ptStart, DWORD cookie) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_start = ptStart ? *ptStart : 0;
    m_startCookie = cookie;
    m_startSeq = ++m_seq;
}

void StreamControlGate::StopAt(const REFERENCE_TIME* ptStop, DWORD cookie) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_stop = ptStop ? *ptStop : 0;
    m_stopCookie = cookie;
    m_stopSeq = ++m_seq;
}

void StreamControlGate::GetInfo(AM_STREAM_INFO* pInfo) {
    std::lock_guard<std::mutex> lock(m_lock);
    *pInfo = AM_STREAM_INFO{};
    pInfo->tStart = m_start;
    pInfo->tStop = m_stop;
    pInfo->dwStartCookie = m_startCookie;
    pInfo->dwStopCookie = m_stopCookie;
    if (m_start != MAXLONGLONG) pInfo->dwFlags |= AM_STREAM_INFO_START_DEFINED;
    if (m_stop != MAXLONGLONG) pInfo->dwFlags |= AM_STREAM_INFO_STOP_DEFINED;
    if (!m_flowing) pInfo->dwFlags |= AM_STREAM_INFO_DISCARDING;
}

bool StreamControlGate::Admit(REFERENCE_TIME t, Change* change, DWORD* cookie) {
    std::lock_guard<std::mutex> lock(m_lock);
    *change = Change::None;
    *cookie = 0;
    const bool startDue = m_start != MAXLONGLONG && t >= m_start;
    const bool stopDue = m_stop != MAXLONGLONG && t >= m_stop;
    if (!startDue && !stopDue) return m_flowing;
    bool flow;
    if (startDue && stopDue) {
        // Both due: the later request decides, unless the window lies
        // wholly after the stop (start > stop) in stream time.
        flow = m_start > m_stop || (m_start == m_stop && m_startSeq > m_stopSeq);
    } else {
        flow = startDue;
    }
    if (startDue) m_start = MAXLONGLONG;
    if (stopDue) m_stop = MAXLONGLONG;
    if (flow != m_flowing) {
        m_flowing = flow;
        *change = flow ? Change::Started : Change::Stopped;
        *cookie = flow ? m_startCookie : m_stopCookie;
    }
    return m_flowing;
}
