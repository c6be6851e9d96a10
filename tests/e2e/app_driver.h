// Drives the built program as a user would: starts it in a sandbox of its own (settings, a
// download folder, a temporary folder and a recording desktop opener), finds its window on the
// test display, clicks and types through the X server, and reads the screen's pixels.
#pragma once

#include "test_env.h"

#include <QImage>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class AppDriver {
public:
    // Makes the sandbox; artifacts (screenshots) go to build/artifacts/app_e2e/<the test>/.
    AppDriver();
    // Kills the program when it still runs, so a failed test leaves nothing behind.
    ~AppDriver();
    AppDriver(const AppDriver&) = delete;
    AppDriver& operator=(const AppDriver&) = delete;

    // Starts the program with these arguments, in the sandbox's folder (so relative paths are
    // taken from there), and waits until its window is on the screen at its full size.
    bool Start(const QStringList& args);

    // The folder the settings name as the download folder; empty at start.
    QString DownloadFolder() const { return m_root.path() + QStringLiteral("/downloads"); }
    QString SandboxFolder() const { return m_root.path(); }
    qint64 Pid() const { return m_process ? m_process->processId() : 0; }
    bool Running() const;

    // What the desktop opener was asked to open, one argument a line, in order.
    QStringList Opened() const;

    // The window's top-left corner on the screen, read afresh.
    QPoint WindowOrigin() const;
    // Clicks the left button at a point of the window (window coordinates, as below).
    void Click(QPoint at) const;
    // Presses the left button at from, moves in steps to to, releases (window coordinates of the
    // window's place when the drag starts).
    void Drag(QPoint from, QPoint to) const;
    // Types text into the window, or presses one key named as X names its keysyms ("Escape").
    void Type(const QString& text) const { Focused("type --delay 15", text); }
    void Key(const QString& keysym) const { Focused("key", keysym); }
    // Asks the window to close as a window manager does: a WM_DELETE_WINDOW client message.
    bool RequestClose() const;
    void Signal(int signal) const;

    // The whole screen now. With a name, it is also kept as <name>.png among the artifacts.
    QImage Screen(const QString& name = {}) const;
    // Takes window images until ready says yes or timeoutMs passes; the last image (kept as
    // name.png when a name is given) is handed out through last.
    bool WaitForWindowImage(const std::function<bool(const QImage&)>& ready, int timeoutMs,
                            const QString& name = {}, QImage* last = nullptr) const;

    // Waits for the program to end; its exit code, or -1 when it did not end normally in time.
    int WaitForExit(int timeoutMs);
    // What the program wrote to its standard error.
    QByteArray ErrorOutput() const
    {
        return testenv::ReadFile(SandboxFolder() + QStringLiteral("/stderr.txt"));
    }

    // Entries of the program's TMPDIR whose names start as workspaces do ("vnd").
    QStringList Workspaces() const;
    // Processes (other than the program) whose command line names a path in the sandbox: the
    // tools it started.
    QStringList ProcessesInSandbox() const;

private:
    // Runs xdotool on the test display with the blank-separated words, then more.
    QByteArray Xdotool(QLatin1StringView words, const QStringList& more = {}) const;
    void MoveTo(QPoint screen) const;
    void Focused(const char* words, const QString& argument) const;
    // Finds the window and notes its id and place; empty when it is not on the screen.
    QString FindWindow() const;

    QString m_artifacts;
    QTemporaryDir m_root;
    std::unique_ptr<QProcess> m_process;
    QString m_display;
    mutable QString m_window; // X window id, decimal: the last one found
    mutable QPoint m_origin;
    int m_exitCode = -1;
    bool m_exited = false;
};

// testenv::WaitUntil for conditions that start a process or take a screenshot: a pause after
// each miss, so waiting does not take a core the program needs.
bool WaitPaced(const std::function<bool()>& condition, int limitMs);

// Window geometry of the main window's parts, in window coordinates.
namespace app_geometry {
inline const QRect kUrlField(339, 330, 258, 18);
inline const QRect kLogBox(209, 445, 376, 52);
inline const QRect kBrowser(166, 303, 450, 338);
inline const QPoint kMp3Button(348, 610);
inline const QPoint kMp3ButtonSample(324, 610);
inline const QPoint kCloseButton(676, 172);
// Inside the stop square that takes the close button's place during a job; between the close
// cross's arms, so dark while the cross shows.
inline const QPoint kStopSquareSample(676, 169);
inline const QPoint kBackButton(607, 293);
inline const QPoint kBareSkin(390, 300);
inline const QSize kWindowSize(781, 786);
} // namespace app_geometry
