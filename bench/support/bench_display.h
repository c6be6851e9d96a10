// An X display for benchmarks that need one: the one in DISPLAY, or an Xvfb of their own for
// as long as this object lives.
#pragma once

#include <QProcess>
#include <QString>

class BenchDisplay {
public:
    // Starts Xvfb when DISPLAY is empty and then sets DISPLAY for this process and its children.
    BenchDisplay();
    ~BenchDisplay();
    BenchDisplay(const BenchDisplay&) = delete;
    BenchDisplay& operator=(const BenchDisplay&) = delete;

    // ":N"; empty when there is no display and Xvfb did not start.
    const QString& Name() const { return m_name; }

private:
    QProcess m_xvfb;
    QString m_name;
};
