// What the window shows of its running jobs beside the log: the busy picture, the job buttons
// disabled, the stop button in the close button's place, the progress ring (filling while
// downloading, turning while converting) and the figure in the window's title.
#pragma once

#include "ui/controls/png_resource.h"
#include "ui/main/main_tree.h"

#include <QObject>
#include <QTimer>

#include <cstdint>

namespace ui {

class SkinWindow;

class JobIndicator : public QObject {
public:
    // The window's title is its name while idle. tree must outlive this object; GUI thread.
    JobIndicator(const MainTree& tree, SkinWindow* window);

    // Returns the busy picture it shows, which the log box lays under its text too.
    SharedImage Started();
    // The percent of the download, in thousandths; ignored while the ring turns.
    void Progress(std::int32_t thousandths);
    // The ring turns instead of filling: how much is left is no longer known.
    void Converting();
    // A job ended; last says no other one still runs.
    void Ended(bool last);
    // The stop button goes at once: the jobs end on their own threads.
    void Stopping();

    static const QString kTitle;

private:
    void Turn();

    const MainTree& m_tree;
    SkinWindow* m_window;
    QTimer m_spinner;
};

} // namespace ui
