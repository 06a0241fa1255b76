// CImageButton: an owner-drawn push button that paints the standard button
// face itself and shows a small picture on it, optionally followed by its
// caption.
//
// The picture comes from a bitmap resource in which one key colour stands
// for the background.  SetImage makes two copies: one with the key colour
// turned into the button face colour (drawn normally) and one with it
// turned into white (drawn embossed while the button is disabled, where
// every non-white pixel is part of the shape).  Colour mapping and resizing
// happen once, in SetImage; a draw request only copies the prepared
// pictures.
//
// The control must have BS_OWNERDRAW; the framework forwards the parent's
// WM_DRAWITEM for it to DrawItem.  The button owns both pictures.
#pragma once

#include <afxwin.h>

class CImageButton : public CButton {
public:
    CImageButton();
    ~CImageButton() override;

    CImageButton(const CImageButton&) = delete;
    CImageButton& operator=(const CImageButton&) = delete;

    // Makes both pictures from bitmap resource nID of the application, to
    // be drawn cx x cy pixels (stretched if the bitmap's size differs);
    // crKey is the colour that stands for the background.  Replaces any
    // earlier pictures.  FALSE when either picture cannot be made; the
    // button then has no picture.
    BOOL SetImage(UINT nID, int cx, int cy, COLORREF crKey);

    // Puts the picture at (x, y) in client pixels, -1 centring it on that
    // axis, and turns the automatic layout off for good.  Returns the
    // previous position ((-1, -1) before the first call).
    POINT SetImagePosition(int x, int y);

    void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) override;

protected:
    // Replaces a coordinate of exactly -1 by the position that centres an
    // item of that size in the client rectangle on that axis.
    POINT ResolveCentre(POINT pt, int cx, int cy) const;

    BOOL m_bAutoLayout;     // picture and caption placed automatically
    POINT m_ptImage;        // fixed picture position when not automatic
    int m_nLeftMargin;      // item's left edge to the picture, with a caption
    int m_nTextGap;         // picture's right edge to the caption's area
    HBITMAP m_hbmNormal;    // key colour turned into the button face
    HBITMAP m_hbmDisabled;  // key colour turned into white, drawn embossed
    SIZE m_sizeImage;       // size at which both pictures are drawn
    UINT m_nLastState;      // item state of the previous draw request

public:
    // Whether the caption is drawn; the owner sets it directly.
    BOOL m_bDrawText;

private:
    void DeletePictures();
};
