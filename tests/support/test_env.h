// What tests share: the test environment that CTest starts (Xvfb, the loopback HTTP server and
// its media), an isolated home per test process, and small helpers for files and processes.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace testenv {

// The environment's folder, written by scripts/test-env.
inline QString Dir()
{
    return QStringLiteral(VANDREL_TEST_ENV_DIR);
}
// "http://127.0.0.1:PORT" of the loopback server; fails the test when it is not running.
QString HttpBase();
// The folder the server serves (clip.mp4, clip.flv, page.html, ...).
inline QString MediaDir()
{
    return Dir() + QStringLiteral("/media");
}
// The Xvfb display (":N"), or empty when the environment is not running.
QString Display();

// Points HOME and the XDG folders at a fresh temporary folder for this process, so no test
// reads or writes the real user's settings. Called by the test main before anything else.
void IsolateHome();
QString Home();

inline QString SourceDir()
{
    return QStringLiteral(VANDREL_SOURCE_DIR);
}
inline QString BinaryDir()
{
    return QStringLiteral(VANDREL_BINARY_DIR);
}

QByteArray ReadFile(const QString& path);
bool WriteFile(const QString& path, const QByteArray& data);

// Everything directly in folder (files, folders and links, hidden ones too), by name.
QStringList FilesIn(const QString& folder);
// The codec of each stream of a media file as ffprobe names it, in stream order, joined by
// blanks ("h264 aac"); empty when ffprobe reads no stream.
QString StreamCodecs(const QString& file);

// The names after "[download] Destination: " in a downloader's output, each ended by "\r".
QStringList DestinationNames(const QByteArray& output);

// Runs the event loop (when there is one) until condition() holds or limitMs pass; returns
// whether it held. The one way tests wait for something another thread or process does.
bool WaitUntil(const std::function<bool()>& condition, int limitMs);

struct ProcessResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};
// Runs a program (no shell) with an empty standard input and waits up to timeoutMs; exitCode
// is -1 when it did not finish. An extraEnv entry "NAME=value" sets a variable, a bare "NAME"
// removes it.
ProcessResult Run(const QString& program, const QStringList& args, int timeoutMs = 60000,
                  const QStringList& extraEnv = {});
// True once the process is gone, or a zombie waiting for its parent, within limitMs.
bool ProcessEnds(const QByteArray& pid, int limitMs = 10000);
// Runs a tool as the program does: in folder, with both of its outputs in out, in the order
// they were written.
ProcessResult RunTool(const QString& folder, const QString& program, const QStringList& args,
                      const QStringList& extraEnv = {}, int timeoutMs = 240000);

} // namespace testenv
