// What the command line asks the main window to do first: show an address (and start a job
// with it), or play a file.
#pragma once

#include "download/job_kind.h"

#include <QString>

namespace ui {

class MainWindow;

struct StartValues {
    QString url;                                         // for the URL field; may be empty
    download::JobKind jobKind = download::JobKind::None; // the job to start with the URL
    QString playerFile;                                  // the file to play; may be empty
};

// Makes the window's first page current from values, which may start a job or play a file.
// The window's pages and tree exist (BuildWindow).
void ApplyStartValues(MainWindow& window, const StartValues& values);

} // namespace ui
