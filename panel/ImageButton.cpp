#include "ImageButton.h"

#include <algorithm>
#include <string>

namespace {

// A copy of bitmap resource nID with the key colour mapped to crTo, at
// cx x cy pixels; NULL when the resource cannot be loaded or copied.
HBITMAP LoadMapped(UINT nID, int cx, int cy, COLORREF crKey, COLORREF crTo) {
    COLORMAP map{crKey, crTo};
    HBITMAP hbmLoaded = CreateMappedBitmap(AfxGetResourceHandle(), nID, 0, &map, 1);
    if (!hbmLoaded) return NULL;
    HBITMAP hbmCopy =
        static_cast<HBITMAP>(CopyImage(hbmLoaded, IMAGE_BITMAP, cx, cy, LR_COPYDELETEORG));
    // On failure the original is still there.
    if (!hbmCopy) DeleteObject(hbmLoaded);
    return hbmCopy;
}

}  // namespace

CImageButton::CImageButton()
    : m_bAutoLayout(TRUE),
      m_ptImage{-1, -1},
      m_nLeftMargin(4),
      m_nTextGap(8),
      m_hbmNormal(NULL),
      m_hbmDisabled(NULL),
      m_sizeImage{0, 0},
      m_nLastState(0),
      m_bDrawText(TRUE) {}

CImageButton::~CImageButton() { DeletePictures(); }

void CImageButton::DeletePictures() {
    if (m_hbmNormal) {
        DeleteObject(m_hbmNormal);
        m_hbmNormal = NULL;
    }
    if (m_hbmDisabled) {
        DeleteObject(m_hbmDisabled);
        m_hbmDisabled = NULL;
    }
}

BOOL CImageButton::SetImage(UINT nID, int cx, int cy, COLORREF crKey) {
    if (m_hbmNormal) {
        DeleteObject(m_hbmNormal);
        m_hbmNormal = NULL;
    }
    // The face colour is taken now: pictures made earlier keep theirs.
    const COLORREF crFace = GetSysColor(COLOR_BTNFACE);
    m_hbmNormal = LoadMapped(nID, cx, cy, crKey, crFace);

    if (m_hbmDisabled) {
        DeleteObject(m_hbmDisabled);
        m_hbmDisabled = NULL;
    }
    m_hbmDisabled = LoadMapped(nID, cx, cy, crKey, RGB(255, 255, 255));

    if (!m_hbmNormal || !m_hbmDisabled) {
        // Half a pair would draw an enabled picture with no disabled look
        // (or the reverse) at a size that may belong to the old pictures:
        // the button goes on without a picture instead.
        DeletePictures();
        return FALSE;
    }
    m_sizeImage.cx = cx;
    m_sizeImage.cy = cy;
    if (GetSafeHwnd() && ::IsWindow(m_hWnd)) Invalidate(TRUE);
    return TRUE;
}

POINT CImageButton::SetImagePosition(int x, int y) {
    const POINT ptOld = m_ptImage;
    m_ptImage.x = x;
    m_ptImage.y = y;
    m_bAutoLayout = FALSE;
    if (GetSafeHwnd() && ::IsWindow(m_hWnd)) Invalidate(TRUE);
    return ptOld;
}

POINT CImageButton::ResolveCentre(POINT pt, int cx, int cy) const {
    RECT rcClient{0, 0, 0, 0};
    GetClientRect(&rcClient);
    // Halving by a shift rounds toward minus infinity, also when the item
    // is larger than the button.
    if (pt.x == -1) pt.x = (rcClient.right - rcClient.left - cx) >> 1;
    if (pt.y == -1) pt.y = (rcClient.bottom - rcClient.top - cy) >> 1;
    return pt;
}

void CImageButton::DrawItem(LPDRAWITEMSTRUCT lpDIS) {
    if (!lpDIS) return;
    HDC hDC = lpDIS->hDC;
    RECT rcItem = lpDIS->rcItem;
    const UINT nState = lpDIS->itemState;

    const BOOL bPressed = (nState & ODS_SELECTED) != 0;
    const UINT nFrameState = bPressed ? DFCS_PUSHED : 0;
    const int nShift = bPressed ? 1 : 0;

    const BOOL bDisabled = (nState & ODS_DISABLED) != 0;
    HBITMAP hbmPicture = bDisabled ? m_hbmDisabled : m_hbmNormal;
    const UINT nLook = bDisabled ? DSS_DISABLED : DSS_NORMAL;

    const BOOL bFocusOnly = lpDIS->itemAction == ODA_FOCUS;

    if (!bFocusOnly) {
        // The face looks the same whether the button is enabled or not.
        DrawFrameControl(hDC, &rcItem, DFC_BUTTON, DFCS_BUTTONPUSH | nFrameState);

        std::string strCaption;
        GetWindowText(strCaption);

        if (m_hbmNormal) {
            POINT pt;
            if (m_bAutoLayout)
                pt = strCaption.empty() ? POINT{-1, -1} : POINT{rcItem.left + m_nLeftMargin, -1};
            else
                pt = m_ptImage;
            pt = ResolveCentre(pt, m_sizeImage.cx, m_sizeImage.cy);
            DrawState(hDC, NULL, NULL, reinterpret_cast<LPARAM>(hbmPicture), 0, pt.x + nShift,
                      pt.y + nShift, m_sizeImage.cx, m_sizeImage.cy, DST_BITMAP | nLook);
        }

        if (!strCaption.empty() && m_bDrawText) {
            SIZE sizeText{0, 0};
            GetTextExtentPoint32(hDC, strCaption.c_str(), static_cast<int>(strCaption.size()),
                                 &sizeText);
            // With a picture the caption is centred in the part of the
            // button right of the picture and the gap, and starts right
            // after the gap when it does not fit.  Otherwise (and with a
            // fixed picture position) it is centred in the button.
            POINT pt{-1, -1};
            if (m_bAutoLayout && m_hbmNormal) {
                RECT rcClient{0, 0, 0, 0};
                GetClientRect(&rcClient);
                const int nImageRight = m_nLeftMargin + m_sizeImage.cx + m_nTextGap;
                const int nFree = std::max(0, static_cast<int>(rcClient.right - rcClient.left) -
                                                  nImageRight - static_cast<int>(sizeText.cx));
                pt.x = nImageRight + nFree / 2;
            }
            const BOOL bCentredY = pt.y == -1;
            pt = ResolveCentre(pt, sizeText.cx, sizeText.cy);
            pt.x += nShift;
            pt.y += nShift;
            // A vertically centred caption sits one pixel higher.
            if (bCentredY) pt.y -= 1;
            DrawState(hDC, NULL, NULL, reinterpret_cast<LPARAM>(strCaption.c_str()), 0, pt.x, pt.y,
                      0, 0, DST_PREFIXTEXT | nLook);
        }
    }

    // The focus rectangle inverts: drawn twice at the same place it is
    // gone.  A focus change toggles it; a full redraw puts it back on the
    // fresh face.  It does not move when the button is pressed.
    if (!bDisabled &&
        (((nState ^ m_nLastState) & ODS_FOCUS) || (!bFocusOnly && (nState & ODS_FOCUS)))) {
        const int nWidth = rcItem.right - rcItem.left;
        const int nHeight = rcItem.bottom - rcItem.top;
        const int nInset = std::min(3, std::min(nWidth, nHeight) / 4);
        RECT rcFocus{rcItem.left + nInset, rcItem.top + nInset, rcItem.right - nInset,
                     rcItem.bottom - nInset};
        DrawFocusRect(hDC, &rcFocus);
    }

    m_nLastState = nState;
}
