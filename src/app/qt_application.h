// The one QApplication of the run. It is made on first use, just before the first window, so
// that runs which end before any window (no settings, --update on the recorded day) need no
// display; start-up destroys it after the main window, before the workspace is removed.
#pragma once

class QApplication;

// Remembers argc/argv for the QApplication made later; argv must outlive the application.
void SetApplicationArguments(int& argc, char** argv);
// The application, made now if there is none yet (a test's own instance is used as it is).
QApplication& EnsureQtApplication();
// Destroys the application made by EnsureQtApplication, if any.
void DestroyQtApplication();
