// Tooltips for the capture panel's picture buttons: the nine transport
// buttons and "...", whose captions are symbols drawn as pictures.
#pragma once

#include <windows.h>

// Creates a tooltip control owned by the panel and adds one tool a picture
// button, each with the words for what the button does.  The display also
// names the buttons by these words for assistive tools.  NULL when the
// tooltip control cannot be created; the buttons then work without tips.
HWND AddButtonTips(HWND hPanel);
