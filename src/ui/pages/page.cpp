// The pages' common ground: covering the main window, masking to the visible controls, and
// passing closes and drops to the owner.
#include "ui/pages/page.h"

#include <QCloseEvent>
#include <QRegion>

namespace ui::pages {

Page::Page(QWidget* owner) : QWidget(owner), m_owner(owner)
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

Page::~Page() = default;

void Page::AddControl(QWidget* control)
{
    Q_ASSERT(control->parentWidget() == this);
    m_controls.emplace_back(control);
    control->setAcceptDrops(false);
    control->installEventFilter(this);
    UpdateMask();
}

bool Page::eventFilter(QObject* watched, QEvent* e)
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

void Page::UpdateMask()
{
    // The page lies over the whole skin; only its controls may take the pointer or paint.
    QRegion region;
    for (const QPointer<QWidget>& control : m_controls) {
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

void Page::closeEvent(QCloseEvent* e)
{
    // Closing a page closes the program's window; the page itself stays.
    e->ignore();
    if (QWidget* owner = m_owner.data())
        QMetaObject::invokeMethod(
            owner, [owner] { owner->close(); }, Qt::QueuedConnection);
}

} // namespace ui::pages
