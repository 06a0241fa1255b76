// The application icon's artwork, drawn at any size: the icon resource
// reduces it to palette pictures, the desktop icons are made from it in
// full colour.
#pragma once

#include "artwork.h"

namespace icon_art {

// Draws the icon at `size` x `size` pixels on `picture`, and its outline on
// `mask` (white where the icon is, blended at the edges); `picture` should
// start black, so that an edge pixel is its colour times the mask's cover.
// `shaded` adds the highlights only 256 colours or more can show.
void DrawReels(artwork::Canvas& picture, artwork::Canvas& mask, float size, bool shaded);

}  // namespace icon_art
