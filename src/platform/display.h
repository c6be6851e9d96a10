// Whether the window system that Qt will pick can be reached, asked before Qt is: a Qt
// application that finds no display aborts the process, and the program would leave its
// workspace behind.
#pragma once

#include "platform/expected.h"

namespace platform {

// Succeeds when Qt can open its display. Otherwise the failure says what could not be opened, to
// follow the words "cannot open the display": `":5" (DISPLAY)`, `(DISPLAY is not set)`, or the same
// for WAYLAND_DISPLAY. Qt's platform is taken from QT_QPA_PLATFORM (a list separated by ';', tried
// in order) or, without it, the session type, as Qt does; the X server is connected to (and
// stays connected, see EndDisplayCheck), a Wayland compositor's socket likewise. Platforms that
// need no display server (offscreen, minimal, vnc, ...) can always be opened.
Expected<void> CheckDisplay();
// An X server that CheckDisplay reached stays connected until this call (or the end of the
// process): a server whose last client leaves resets itself, and a connection that Qt made
// during the reset would fail. Call it once the application holds its own connection.
void EndDisplayCheck();

} // namespace platform
