#include "CapturePanel.h"

#include "DeviceList.h"

CCapturePanel::CCapturePanel(CWnd* pParent) : CDialog(IDD, pParent) {}

CCapturePanel::~CCapturePanel() {
    // Whatever graph interfaces are still held, last field first.
    IUnknown* const apHeld[] = {m_pMediaEvent,   m_pFileSink,       m_pMux,
                                m_pVideoWindow,  m_pDroppedFrames,  m_pTimecodeReader,
                                m_pTransport,    m_pExtDevice,      m_pDeviceFilter,
                                m_pBuilder,      m_pGraph};
    for (IUnknown* pHeld : apHeld)
        if (pHeld != NULL) pHeld->Release();
}
