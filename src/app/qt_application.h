// The one QApplication of the run. It is made on first use, just before the first window, so
// that runs which end before any window (no settings, --update on the recorded day) need no
// display; start-up destroys it after the main window, before the workspace is removed.
#pragma once

class QApplication;

namespace app {

// The application, made now if there is none yet (a test's own instance is used as it is).
// Qt is given the program's name only: nothing of the command line reaches it, so Qt's own
// options (-platform, -display, -stylesheet, ...) are not obeyed. Null, after one line on
// standard error, when the display that Qt would use cannot be opened: Qt would abort.
QApplication* EnsureQtApplication();
// Whether EnsureQtApplication would find its display, asked without making the application;
// false after the same line on standard error.
bool CanOpenDisplay();
// Destroys the application made by EnsureQtApplication, if any.
void DestroyQtApplication();

} // namespace app
