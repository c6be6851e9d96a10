#include "bare_window.h"

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <utility>

BareWindow::BareWindow(std::shared_ptr<const QImage> picture, std::function<void()> firstPaint)
    : QWidget(nullptr, Qt::FramelessWindowHint), m_picture(std::move(picture)),
      m_firstPaint(std::move(firstPaint))
{
    setAttribute(Qt::WA_TranslucentBackground);
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    setGeometry(work.x() + (work.width() - m_picture->width()) / 2,
                work.y() + (work.height() - m_picture->height()) / 2, m_picture->width(),
                m_picture->height());
}

void BareWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(0, 0, *m_picture);
    p.end();
    if (m_firstPaint)
        std::exchange(m_firstPaint, {})();
}

long ResidentKb(long long pid)
{
    QFile status(pid ? QStringLiteral("/proc/%1/status").arg(pid)
                     : QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}
