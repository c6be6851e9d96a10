#include "bench_display.h"

#include <QByteArray>

BenchDisplay::BenchDisplay() : m_name(qEnvironmentVariable("DISPLAY"))
{
    if (!m_name.isEmpty())
        return;
    // Xvfb picks a free display itself and tells its number on standard output.
    m_xvfb.start(QStringLiteral("Xvfb"),
                 {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                  QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                  QStringLiteral("tcp"), QStringLiteral("-noreset")});
    QByteArray number;
    while (!number.contains('\n') && m_xvfb.waitForReadyRead(10000))
        number += m_xvfb.readAllStandardOutput();
    if (number.trimmed().isEmpty())
        return;
    m_name = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
    qputenv("DISPLAY", m_name.toLatin1());
}

BenchDisplay::~BenchDisplay()
{
    if (m_xvfb.state() != QProcess::NotRunning) {
        m_xvfb.terminate();
        m_xvfb.waitForFinished(3000);
    }
}
