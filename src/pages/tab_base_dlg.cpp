// The pages' common ground: covering the main window, moving controls where the tree's window
// elements say, masking to the visible controls, and passing closes and drops to the owner.
#include "pages/tab_base_dlg.h"

#include "ui/elements/window_move_event.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QRegion>

TabBaseDlg::TabBaseDlg(QWidget* owner) : QWidget(owner), m_owner(owner)
{
    QFont font(QStringLiteral("Verdana"), 8);
    font.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")});
    setFont(font);
    setAcceptDrops(false);
    if (owner) {
        setGeometry(owner->rect());
        owner->installEventFilter(this);
    }
    hide();
}

TabBaseDlg::~TabBaseDlg() = default;

QWidget* TabBaseDlg::GetDlgItem(int id) const
{
    return m_controls.value(id).data();
}

QRect TabBaseDlg::MapDialogRect(const QRect& dialogUnits) const
{
    const QFontMetrics metrics(font());
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int baseX = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
    const int baseY = metrics.height();
    return QRect(dialogUnits.x() * baseX / 4, dialogUnits.y() * baseY / 8,
                 dialogUnits.width() * baseX / 4, dialogUnits.height() * baseY / 8);
}

void TabBaseDlg::AddControl(int id, QWidget* control)
{
    Q_ASSERT(control->parentWidget() == this);
    m_controls.insert(id, control);
    control->setAcceptDrops(false);
    control->installEventFilter(this);
    UpdateMask();
}

bool TabBaseDlg::event(QEvent* e)
{
    if (e->type() == ui::WindowMoveEvent::EventType()) {
        const auto* move = static_cast<ui::WindowMoveEvent*>(e);
        // Only the page's own controls are moved; anything else (gone, or another page's) is
        // left alone.
        auto* control = qobject_cast<QWidget*>(move->Window());
        if (control && control->parentWidget() == this) {
            const ui::Rect& r = move->Geometry();
            control->setGeometry(r.x, r.y, r.width, r.height);
        }
        return true;
    }
    return QWidget::event(e);
}

bool TabBaseDlg::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == m_owner.data()) {
        if (e->type() == QEvent::Resize)
            setGeometry(m_owner->rect());
        return false;
    }
    switch (e->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
        UpdateMask();
        break;
    default:
        break;
    }
    return false;
}

void TabBaseDlg::UpdateMask()
{
    // The page lies over the whole skin; only its controls may take the pointer or paint.
    QRegion region;
    for (const QPointer<QWidget>& control : std::as_const(m_controls)) {
        if (control && !control->isHidden())
            region += control->geometry();
    }
    // An empty mask would mean no mask at all: then the page lets every event through instead.
    setAttribute(Qt::WA_TransparentForMouseEvents, region.isEmpty());
    if (region.isEmpty())
        clearMask();
    else
        setMask(region);
}

void TabBaseDlg::closeEvent(QCloseEvent* e)
{
    // Closing a page closes the program's window; the page itself stays.
    e->ignore();
    if (QWidget* owner = m_owner.data())
        QMetaObject::invokeMethod(
            owner, [owner] { owner->close(); }, Qt::QueuedConnection);
}
