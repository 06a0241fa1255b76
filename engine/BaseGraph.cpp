// The base graph: a filter graph holding the selected device's filter, a
// capture graph builder on it, and the device's control interfaces.
#include "CapturePanel.h"
#include "DeviceList.h"
#include "EventLog.h"

BOOL CCapturePanel::BuildBaseGraph() {
    const int nIndex = m_nDeviceIndex;
    if (m_pDeviceList == NULL || nIndex < 0 || nIndex > m_pDeviceList->GetLastIndex()) return FALSE;
    ReleaseField(m_pGraph);

    if (!LogStep(
            "CoCreateInstance Filter Graph",
            CoCreateInstance(CLSID_FilterGraph, NULL, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                             IID_IGraphBuilder, reinterpret_cast<void**>(&m_pGraph))))
        return FALSE;
    if (FAILED(
            m_pGraph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(&m_pMediaEvent))))
        return FALSE;
    m_pMediaEvent->SetNotifyWindow(reinterpret_cast<OAHWND>(m_hNotifyWnd), WM_GRAPHEVENT, 0);

    IMoniker* pMoniker = m_pDeviceList->GetMoniker(nIndex);
    if (pMoniker == NULL) return FALSE;
    pMoniker->AddRef();
    BOOL bBuilt = FALSE;
    LogStep("BindMoniker",
            BindMoniker(pMoniker, 0, IID_IBaseFilter, reinterpret_cast<void**>(&m_pDeviceFilter)));
    if (m_pDeviceFilter != NULL &&
        SUCCEEDED(m_pDeviceFilter->QueryInterface(IID_IAMExtDevice,
                                                  reinterpret_cast<void**>(&m_pExtDevice))) &&
        SUCCEEDED(m_pExtDevice->QueryInterface(IID_IAMExtTransport,
                                               reinterpret_cast<void**>(&m_pTransport))) &&
        SUCCEEDED(m_pExtDevice->QueryInterface(IID_IAMTimecodeReader,
                                               reinterpret_cast<void**>(&m_pTimecodeReader))) &&
        LogStep("CoCreateInstance Capture Graph Builder",
                CoCreateInstance(
                    CLSID_CaptureGraphBuilder2, NULL, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                    IID_ICaptureGraphBuilder2, reinterpret_cast<void**>(&m_pBuilder))) &&
        LogStep("SetFiltergraph", m_pBuilder->SetFiltergraph(m_pGraph)) &&
        LogStep("AddFilter Tapeloom Device",
                m_pGraph->AddFilter(m_pDeviceFilter, L"Tapeloom Device")))
        bBuilt = TRUE;
    pMoniker->Release();
    return bBuilt;
}

void CCapturePanel::TeardownGraph() {
    if (m_pGraph != NULL) {
        IMediaControl* pControl = NULL;
        if (SUCCEEDED(
                m_pGraph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&pControl))) &&
            pControl != NULL) {
            pControl->Stop();
            pControl->Release();
        }
    }
    if (m_pVideoWindow != NULL) {
        m_pVideoWindow->put_Visible(OAFALSE);
        m_pVideoWindow->put_Owner(0);
    }
    ReleaseField(m_pGraph);
    ReleaseField(m_pBuilder);
    ReleaseField(m_pDeviceFilter);
    ReleaseField(m_pExtDevice);
    ReleaseField(m_pTransport);
    ReleaseField(m_pTimecodeReader);
    ReleaseField(m_pDroppedFrames);
    ReleaseField(m_pMux);
    ReleaseField(m_pFileSink);
    ReleaseField(m_pMediaEvent);
}
