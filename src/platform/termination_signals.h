// SIGINT (Ctrl+C), SIGTERM (logout, kill) and SIGHUP (the terminal went away) turned into an
// ordinary call on the GUI thread, so that the program can end as if it had been closed: its
// tools stopped, its window closed, its workspace removed.
//
// The signal handler itself only notes the arrival and writes one byte into a close-on-exec
// pipe; a QSocketNotifier on the GUI thread reads it and calls the handler set here. Nothing
// is blocked or ignored, so programs that the process starts later begin with the default
// actions and an unchanged signal mask.
//
// Start-up calls Install before it makes the workspace and checks Received between its steps
// while no window runs. The main window reacts through the one handler:
//
//     platform::TerminationSignals::Instance().SetHandler(this, [this] { ... });
//
#pragma once

#include "platform/unique_fd.h"

#include <QPointer>

#include <functional>

class QObject;
class QSocketNotifier;

namespace platform {

class TerminationSignals {
public:
    static TerminationSignals& Instance();

    // Catches the three signals from now on. Safe to call again; false when the pipe or a
    // handler could not be set up (the signals then keep their default action).
    bool Install();

    // True once one of the signals has arrived since Install; it stays true. Safe on any thread.
    bool Received() const;

    // Sets the one reaction, replacing any set before: handler runs on the GUI thread, once
    // for every wake-up of the event loop that finds signals arrived (several signals close
    // together may give one call; a second Ctrl+C gives another). It is not called once
    // context is destroyed; signals that arrive while no live handler is set wait for the
    // next one. A signal that arrived before this call (before the event loop, even before
    // the QApplication) is handed to the new handler as soon as the event loop runs.
    // Call on the GUI thread, with the QApplication made and Install done; context lives on
    // the GUI thread. A null context or an empty handler removes the reaction.
    void SetHandler(QObject* context, std::function<void()> handler);

    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

private:
    TerminationSignals() = default;
    ~TerminationSignals();

    void OnReadable();

    UniqueFd m_readEnd;
    UniqueFd m_writeEnd;
    bool m_installed = false;
    // GUI-thread state: the notifier belongs to the QApplication and goes with it.
    QPointer<QSocketNotifier> m_notifier;
    QPointer<QObject> m_context;
    std::function<void()> m_handler;
};

} // namespace platform
