// The live picture: the preview decoder's resolution and the video
// window, placed as a borderless child picture in the preview frame with
// the aspect of the device's standard.
#include "CapturePanel.h"
#include "MainDialog.h"

namespace {

// The preview frame of the application's main window, looked up at the
// time of the call; NULL when there is no main window with a frame.
HWND PreviewFrameWindow() {
    CWinApp* pApp = AfxGetApp();
    CMainDialog* pMain = pApp != NULL ? dynamic_cast<CMainDialog*>(pApp->m_pMainWnd) : NULL;
    return pMain != NULL ? pMain->m_wndPreviewFrame.GetSafeHwnd() : NULL;
}

// Caption, frame, system menu, minimise and maximise boxes and clipping
// styles are taken away from the renderer's window.
const long kVideoStyleMask = static_cast<long>(0xF930FFFFu);

}  // namespace

void CCapturePanel::SetDecoderResolution(IGraphBuilder* pGraph, int nResolution) {
    if (pGraph == NULL) return;
    IBaseFilter* pDecoder = NULL;
    pGraph->FindFilterByName(L"DV Video Decoder", &pDecoder);
    if (pDecoder == NULL) return;
    IIPDVDec* pDvDec = NULL;
    pDecoder->QueryInterface(IID_IIPDVDec, reinterpret_cast<void**>(&pDvDec));
    if (pDvDec != NULL) {
        pDvDec->put_IPDisplay(nResolution);
        int nDisplay = 0;
        pDvDec->get_IPDisplay(&nDisplay);
        pDvDec->Release();
    }
    pDecoder->Release();
}

void CCapturePanel::PlaceVideoWindow() {
    if (m_pGraph == NULL) return;
    HWND hFrame = PreviewFrameWindow();
    RECT rcFrame = {0, 0, 0, 0};
    ::GetClientRect(hFrame, &rcFrame);
    const LONG nWidth = rcFrame.right - rcFrame.left;
    const LONG nHeight = rcFrame.bottom - rcFrame.top;
    const bool bNtsc = m_nVideoStandard == 0;
    RECT rcPicture;
    if (nHeight < nWidth) {
        // A wide frame: the picture fills the height and is centred.
        const LONG nPictureWidth = static_cast<LONG>(nHeight * (bNtsc ? 1.5 : 1.25));
        const LONG nLeft = (nWidth - nPictureWidth) / 2;
        rcPicture = {nLeft, rcFrame.top, nLeft + nPictureWidth, rcFrame.bottom};
    } else {
        // A tall or square frame: the picture fills the width.
        const LONG nPictureHeight = static_cast<LONG>(nWidth * (bNtsc ? 2.0 / 3.0 : 0.8));
        const LONG nTop = (nHeight - nPictureHeight) / 2;
        rcPicture = {rcFrame.left, nTop, rcFrame.right, nTop + nPictureHeight};
    }
    if (m_pVideoWindow != NULL) {
        m_pVideoWindow->Release();
        m_pVideoWindow = NULL;
    }
    if (FAILED(m_pGraph->QueryInterface(IID_IVideoWindow,
                                        reinterpret_cast<void**>(&m_pVideoWindow))) ||
        m_pVideoWindow == NULL)
        return;
    AttachVideoWindow(m_pVideoWindow, rcPicture, hFrame);
}

void CCapturePanel::AttachVideoWindow(IVideoWindow* pVideoWindow, const RECT& rcPicture,
                                      HWND hFrame) {
    if (pVideoWindow == NULL) return;
    pVideoWindow->AddRef();
    pVideoWindow->put_Owner(reinterpret_cast<OAHWND>(hFrame));
    long lStyle = 0;
    pVideoWindow->get_WindowStyle(&lStyle);
    pVideoWindow->put_WindowStyle(lStyle & kVideoStyleMask);
    pVideoWindow->put_MessageDrain(reinterpret_cast<OAHWND>(hFrame));
    pVideoWindow->SetWindowPosition(rcPicture.left, rcPicture.top, rcPicture.right - rcPicture.left,
                                    rcPicture.bottom - rcPicture.top);
    pVideoWindow->put_Visible(OATRUE);
    pVideoWindow->Release();
}
