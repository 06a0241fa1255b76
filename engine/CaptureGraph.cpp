// The working graph on top of the base graph: the preview through the DV
// decoder into the preview frame, and the recording branch (AVI
// multiplexer and file writer on the current output file) with its
// capture stream held off until recording is switched on.
#include <string>

#include "CapturePanel.h"
#include "EventLog.h"

namespace {

std::wstring ToWide(const std::string& str) {
    const int nChars = MultiByteToWideChar(CP_ACP, 0, str.c_str(), -1, NULL, 0);
    std::wstring strWide(nChars > 0 ? nChars : 1, L'\0');
    if (nChars > 0) MultiByteToWideChar(CP_ACP, 0, str.c_str(), -1, &strWide[0], nChars);
    strWide.resize(nChars > 0 ? nChars - 1 : 0);
    return strWide;
}

void RunGraph(IGraphBuilder* pGraph, bool bRun) {
    if (pGraph == NULL) return;
    IMediaControl* pControl = NULL;
    if (SUCCEEDED(pGraph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&pControl))) &&
        pControl != NULL) {
        if (bRun)
            pControl->Run();
        else
            pControl->Stop();
        pControl->Release();
    }
}

}  // namespace

bool CCapturePanel::StartGraph() {
    {
        CStatusHold hold(*this);
        if (!(m_nFileType == 0 ? BuildType1Graph() : BuildType2Graph())) {
            TeardownGraph();
            return false;
        }
    }
    // The graph runs once the status threads are back.
    RunGraph(m_pGraph, true);
    return true;
}

void CCapturePanel::StopGraph() {
    CStatusHold hold(*this);
    RunGraph(m_pGraph, false);
    if (m_pVideoWindow != NULL) {
        m_pVideoWindow->put_Visible(OAFALSE);
        m_pVideoWindow->put_Owner(0);
        ReleaseField(m_pVideoWindow);
    }
    RemoveDownstream(m_pDeviceFilter);
    ReleaseField(m_pDroppedFrames);
    ReleaseField(m_pMux);
    ReleaseField(m_pFileSink);
}

// The steps both variants end with: the preview's resolution and window,
// the capture stream held off, and the device's dropped-frame counters.
static bool FinishCaptureGraph(CCapturePanel* pPanel) {
    pPanel->SetDecoderResolution(pPanel->m_pGraph, DVRESOLUTION_HALF);
    pPanel->PlaceVideoWindow();
    REFERENCE_TIME rtStart = MAXLONGLONG, rtStop = 0;
    pPanel->m_pBuilder->ControlStream(&PIN_CATEGORY_CAPTURE, NULL, NULL, &rtStart, &rtStop, 0, 0);
    return SUCCEEDED(pPanel->m_pBuilder->FindInterface(
        &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, pPanel->m_pDeviceFilter,
        IID_IAMDroppedFrames, reinterpret_cast<void**>(&pPanel->m_pDroppedFrames)));
}

bool CCapturePanel::BuildType1Graph() {
    if (m_pGraph == NULL || m_pBuilder == NULL || m_pDeviceFilter == NULL) return false;
    const std::wstring strFile = ToWide(m_strCaptureFile);
    if (!LogStep("SetOutputFileName",
                 m_pBuilder->SetOutputFileName(&MEDIASUBTYPE_Avi, strFile.c_str(), &m_pMux,
                                               &m_pFileSink)) ||
        m_pMux == NULL || m_pFileSink == NULL)
        return false;
    ConfigureMux(m_pMux);
    if (!LogStep("RenderStream capture",
                 m_pBuilder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved,
                                          m_pDeviceFilter, NULL, m_pMux)))
        return false;
    if (!LogStep("RenderStream preview",
                 m_pBuilder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Interleaved,
                                          m_pDeviceFilter, NULL, NULL)))
        return false;
    return FinishCaptureGraph(this);
}

bool CCapturePanel::BuildType2Graph() {
    if (m_pGraph == NULL || m_pBuilder == NULL || m_pDeviceFilter == NULL) return false;
    IBaseFilter* pSplitter = NULL;
    if (!LogStep("CoCreateInstance DV Splitter",
                 CoCreateInstance(CLSID_DVSplitter, NULL, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  reinterpret_cast<void**>(&pSplitter))) ||
        pSplitter == NULL)
        return false;
    bool bBuilt = false;
    const std::wstring strFile = ToWide(m_strCaptureFile);
    // A multiplexer that is missing after a successful call fails the
    // build: nothing could be recorded, and it would be configured and
    // connected through a null pointer.
    if (LogStep("AddFilter DV Splitter", m_pGraph->AddFilter(pSplitter, L"DV Splitter")) &&
        LogStep("SetOutputFileName",
                m_pBuilder->SetOutputFileName(&MEDIASUBTYPE_Avi, strFile.c_str(), &m_pMux,
                                              &m_pFileSink)) &&
        m_pMux != NULL) {
        ConfigureMux(m_pMux);
        bBuilt = LogStep("RenderStream capture",
                         m_pBuilder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved,
                                                  m_pDeviceFilter, NULL, pSplitter)) &&
                 LogStep("RenderStream video",
                         m_pBuilder->RenderStream(NULL, NULL, pSplitter, NULL, m_pMux)) &&
                 LogStep("RenderStream audio",
                         m_pBuilder->RenderStream(NULL, NULL, pSplitter, NULL, m_pMux)) &&
                 LogStep("RenderStream preview",
                         m_pBuilder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Interleaved,
                                                  m_pDeviceFilter, NULL, NULL)) &&
                 FinishCaptureGraph(this);
    }
    pSplitter->Release();
    return bBuilt;
}

void CCapturePanel::ConfigureMux(IBaseFilter* pMux) {
    if (pMux == NULL) return;
    pMux->AddRef();
    IConfigAviMux* pConfigMux = NULL;
    pMux->QueryInterface(IID_IConfigAviMux, reinterpret_cast<void**>(&pConfigMux));
    if (pConfigMux != NULL) {
        pConfigMux->SetOutputCompatibilityIndex(TRUE);
        IConfigInterleaving* pInterleaving = NULL;
        pMux->QueryInterface(IID_IConfigInterleaving, reinterpret_cast<void**>(&pInterleaving));
        if (pInterleaving != NULL) {
            pInterleaving->put_Mode(INTERLEAVE_NONE_BUFFERED);
            pInterleaving->Release();
        }
        pConfigMux->Release();
    }
    pMux->Release();
}

void CCapturePanel::RemoveDownstream(IBaseFilter* pFilter) {
    if (pFilter == NULL || m_pGraph == NULL) return;
    IEnumPins* pEnum = NULL;
    if (FAILED(pFilter->EnumPins(&pEnum)) || pEnum == NULL) return;
    pEnum->Reset();
    IPin* pPin = NULL;
    while (pEnum->Next(1, &pPin, NULL) == S_OK) {
        if (pPin == NULL) continue;
        IPin* pConnected = NULL;
        pPin->ConnectedTo(&pConnected);
        if (pConnected == NULL) {
            pPin->Release();
            pPin = NULL;
            continue;
        }
        PIN_INFO info;
        info.pFilter = NULL;
        if (pConnected->QueryPinInfo(&info) != S_OK) {
            pConnected->Release();
            pPin->Release();
            break;
        }
        HRESULT hrLast = S_OK;
        if (info.dir == PINDIR_INPUT) {
            RemoveDownstream(info.pFilter);
            m_pGraph->Disconnect(pConnected);
            hrLast = m_pGraph->Disconnect(pPin);
            if (info.pFilter != m_pDeviceFilter) hrLast = m_pGraph->RemoveFilter(info.pFilter);
        }
        if (info.pFilter != NULL) info.pFilter->Release();
        pConnected->Release();
        pPin->Release();
        pPin = NULL;
        if (hrLast != S_OK) break;
    }
    pEnum->Release();
}
