// The full-screen background behind the wizard: a gradient or a picture
// with a title at the top left and a second text at the bottom right.
#pragma once
#include <windows.h>

namespace pvx {

struct Run;

// Creates the hidden window with its two texts.
HWND CreateBackdropWindow(Run& run);
// Creates the window, builds the canvas and the texts from the header and
// shows it. A run without a backdrop never makes the window.
void ShowBackdrop(Run& run);

}  // namespace pvx
