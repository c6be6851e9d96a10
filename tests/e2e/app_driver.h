// Drives the built program as a user would: in a sandbox of its own (settings, a download folder,
// a temporary folder and a recording desktop opener), through its window on the test display
// (xdotool). Screenshots go to build/artifacts/app_e2e/<the test>/.
#pragma once

#include "test_env.h"

#include <QImage>
#include <QPoint>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <vector>

class AppDriver {
public:
    AppDriver();
    // Kills the program and the tools it started, so a failed test leaves nothing behind.
    ~AppDriver();

    // Starts the program in the sandbox's folder and waits for its window at its full size. A
    // run that is still going on keeps running beside it (until the driver ends); Pid() and the
    // window calls then mean the new one.
    bool Start(const QStringList& args);

    // Sets a variable for the runs started from now on.
    void SetEnvironment(const QString& name, const QString& value) { m_env.insert(name, value); }

    QString DownloadFolder() const { return m_root.path() + QStringLiteral("/downloads"); }
    QString SandboxFolder() const { return m_root.path(); }
    qint64 Pid() const { return m_process ? m_process->processId() : 0; }
    bool Running() const;
    // What the desktop opener was asked to open, in order.
    QStringList Opened() const;

    // Pointer and keyboard in window coordinates; the window's place is read afresh each time.
    QPoint WindowOrigin() const;
    void Click(QPoint at) const { Drag(at, at); }
    void Drag(QPoint from, QPoint to) const;
    void Type(const QString& text) const { Focused("type --delay 15", text); }
    void Key(const QString& keysym) const { Focused("key", keysym); }
    // A window manager's close: a WM_DELETE_WINDOW client message.
    bool RequestClose() const;

    QImage Screen() const;
    // Window images until ready holds or timeoutMs passes; the last one kept as name.png, in last.
    bool WaitForWindowImage(const std::function<bool(const QImage&)>& ready, int timeoutMs,
                            const QString& name = {}, QImage* last = nullptr) const;

    // The exit code, or -1 when the program did not end normally in time.
    int WaitForExit(int timeoutMs);
    QByteArray ErrorOutput() const
    {
        return testenv::ReadFile(SandboxFolder() + QStringLiteral("/stderr.txt"));
    }
    // Workspaces ("vnd*") in the program's TMPDIR.
    QStringList Workspaces() const;
    // "pid command" of every other process whose command line names a sandbox path: its tools.
    QStringList ProcessesInSandbox() const;

private:
    QByteArray Xdotool(QLatin1StringView words, const QStringList& more = {}) const;
    void MoveTo(QPoint screen) const;
    void Focused(const char* words, const QString& argument) const;
    // Finds the window and notes its id and place; empty when it is not on the screen.
    QString FindWindow() const;

    QString m_artifacts;
    QTemporaryDir m_root;
    std::unique_ptr<QProcess> m_process;
    std::vector<std::unique_ptr<QProcess>> m_earlier;
    QString m_display;
    QProcessEnvironment m_env;
    mutable QString m_window; // X window id, decimal: the last one found
    mutable QPoint m_origin;
};

// testenv::WaitUntil with a pause after each miss, so waiting takes no core the program needs.
bool WaitPaced(const std::function<bool()>& condition, int limitMs);

// The main window's parts, in window coordinates.
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
