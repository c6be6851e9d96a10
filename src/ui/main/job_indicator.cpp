// The indicator changes elements under the tree lock, so no frame shows half a change.
#include "ui/main/job_indicator.h"

#include "ui/elements/tree_lock.h"
#include "ui/host/skin_accessible.h"
#include "ui/host/skin_window.h"

namespace ui {
namespace {

// The turning segment moves at 10 frames per second at the most.
constexpr int kSpinIntervalMs = 100;
constexpr int kSpinStepDegrees = 30;

} // namespace

const QString JobIndicator::kTitle = QStringLiteral("Vandrel");

JobIndicator::JobIndicator(const MainTree& tree, SkinWindow* window)
    : QObject(window), m_tree(tree), m_window(window)
{
    m_spinner.setInterval(kSpinIntervalMs);
    connect(&m_spinner, &QTimer::timeout, this, [this] { Turn(); });
}

SharedImage JobIndicator::Started()
{
    const SharedImage busy = LoadPngResource(kBusyStatusPicture);
    TreeLockGuard tree(TreeLock());
    for (const JobButton& job : m_tree.jobButtons)
        job.button->SetIsEnabled(false);
    m_tree.statusImage->SetImage(busy);
    m_tree.close->SetIsVisible(false);
    m_tree.stop->SetIsVisible(true);
    m_tree.progressRing->SetProgress(0);
    m_tree.progressRing->SetIsVisible(true);
    return busy;
}

void JobIndicator::Progress(std::int32_t thousandths)
{
    if (m_spinner.isActive())
        return;
    bool newPercent = false;
    {
        TreeLockGuard tree(TreeLock());
        newPercent = m_tree.progressRing->Progress() / 10 != thousandths / 10;
        m_tree.progressRing->SetProgress(thousandths); // no frame when the value is the same
    }
    // A screen reader hears the percent the title shows, once per change.
    if (newPercent)
        NotifyElementChanged(m_window, m_tree.progressRing);
    m_window->setWindowTitle(QStringLiteral("%1% \u00b7 %2").arg(thousandths / 10).arg(kTitle));
}

void JobIndicator::Converting()
{
    if (m_spinner.isActive())
        return;
    {
        TreeLockGuard tree(TreeLock());
        m_tree.progressRing->SetProgress(ProgressRing::kIndeterminate);
    }
    NotifyElementChanged(m_window, m_tree.progressRing);
    m_window->setWindowTitle(QStringLiteral("Converting \u00b7 %1").arg(kTitle));
    m_spinner.start();
}

void JobIndicator::Ended(bool last)
{
    TreeLockGuard tree(TreeLock());
    for (const JobButton& job : m_tree.jobButtons)
        job.button->SetIsEnabled(true);
    m_tree.statusImage->SetImage(LoadPngResource(kIdleStatusPicture));
    m_tree.close->SetIsVisible(last);
    if (!last)
        return;
    m_tree.stop->SetIsVisible(false);
    m_tree.progressRing->SetIsVisible(false);
    m_spinner.stop();
    m_window->setWindowTitle(kTitle);
}

void JobIndicator::Stopping()
{
    TreeLockGuard tree(TreeLock());
    m_tree.stop->SetIsVisible(false);
}

void JobIndicator::Turn()
{
    TreeLockGuard tree(TreeLock());
    m_tree.progressRing->SetSpinAngle(m_tree.progressRing->SpinAngle() + kSpinStepDegrees);
}

} // namespace ui
