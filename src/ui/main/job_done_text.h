// The words of the desktop notification that says how a job ended: what was saved and where.
#pragma once

#include <QString>
#include <QStringList>

namespace ui {

struct JobDoneText {
    QString summary; // one short line
    QString body;    // plain text, no markup
};

// Describes a job that ended with the files in saved (absolute paths of the files it left, in
// the order it made them; empty when nothing was saved):
//   one file    "Download finished" / "clip.mp4 in ~/Videos"
//   several     "Download finished" / "clip.mp4 and 2 more in ~/Videos"
//   none        "Nothing was saved" / "The log in the window says why."
// A folder inside the home folder is written from "~"; a byte of a name that is not UTF-8 is
// shown as its Latin-1 character, as the log shows it.
JobDoneText DescribeJobDone(const QStringList& saved);

} // namespace ui
