// The update window and its worker: the window lives on the GUI thread; the worker posts it a
// question and waits for the answer, and posts the window's end.
#include "update/update_window.h"

#include "platform/post_to.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QIcon>
#include <QKeyEvent>
#include <QMessageBox>
#include <QProgressBar>
#include <QThread>

#include <future>

namespace update {

namespace {

// Dialog units of the window's font: a quarter of the average character width across, an
// eighth of the line height down.
QSize DialogUnits(const QFontMetrics& metrics, int x, int y)
{
    const int averageWidth =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                 "abcdefghijklmnopqrstuvwxyz")) /
        52;
    return {(x * averageWidth + 2) / 4, (y * metrics.height() + 4) / 8};
}

} // namespace

bool AskToUpdateWithMessageBox(QWidget* owner)
{
    return QMessageBox::question(owner, QStringLiteral("Update?"),
                                 QStringLiteral("Vandrel needs to update, click OK to approve."),
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

QString DescribeUpdateJobResult(UpdateJobResult result)
{
    switch (result) {
    case UpdateJobResult::Unverified:
        return QStringLiteral("The update could not be verified; nothing was installed.");
    case UpdateJobResult::NotAuthorised:
        return QStringLiteral("The update was not installed: the authorisation was cancelled or "
                              "refused.");
    case UpdateJobResult::InstallFailed:
        return QStringLiteral("The update could not be installed.");
    case UpdateJobResult::NoUpdate:
    case UpdateJobResult::HandedOver:
        break;
    }
    return {};
}

UpdateWindow::UpdateWindow(QString updateAddress, QString ownVersion, UpdateJobOptions options,
                           AskToUpdateFunction askToUpdate)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_updateAddress(std::move(updateAddress)), m_ownVersion(std::move(ownVersion)),
      m_options(std::move(options)), m_askToUpdate(std::move(askToUpdate))
{
    setWindowTitle(QStringLiteral("Vandrel is checking for updates..."));
    setWindowIcon(QIcon(QStringLiteral(":/icons/vandrel.png")));

    const QFontMetrics metrics(font());
    const QSize client = DialogUnits(metrics, 309, 28);
    const QSize margin = DialogUnits(metrics, 7, 7);
    const QSize bar = DialogUnits(metrics, 295, 14);
    setFixedSize(client);
    auto* progress = new QProgressBar(this);
    progress->setObjectName(QStringLiteral("progress"));
    progress->setRange(0, 0); // busy: the bar moves without a value
    progress->setTextVisible(false);
    progress->setGeometry(QRect(QPoint(margin.width(), margin.height()), bar));
}

UpdateWindow::~UpdateWindow()
{
    if (m_worker)
        m_worker->wait();
}

int UpdateWindow::Exec()
{
    m_worker.reset(QThread::create([this] { RunUpdateWorker(*this); }));
    m_worker->start();
    const int result = exec();
    m_worker->wait();
    return result;
}

bool UpdateWindow::AskToUpdate()
{
    return m_askToUpdate ? m_askToUpdate(this) : AskToUpdateWithMessageBox(this);
}

void UpdateWindow::Tell(const QString& text)
{
    QMessageBox::warning(this, QStringLiteral("Update"), text);
}

void UpdateWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
}

void UpdateWindow::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void RunUpdateWorker(UpdateWindow& window)
{
    // The window outlives these calls: it ends only by the last one, and waits for this thread.
    const auto ask = [&window] {
        // Widgets live on the GUI thread: ask there and wait for the answer.
        std::promise<bool> answer;
        platform::PostTo(&window, [&window, &answer] { answer.set_value(window.AskToUpdate()); });
        return answer.get_future().get();
    };
    const UpdateJobResult result =
        RunUpdateJob(window.UpdateAddress(), window.OwnVersion(), window.Options(), ask);
    if (result == UpdateJobResult::HandedOver)
        window.SetInstallerLaunched();
    if (const QString text = DescribeUpdateJobResult(result); !text.isEmpty()) {
        // Waited for, so the window ends only once the message is closed.
        std::promise<void> told;
        platform::PostTo(&window, [&window, &told, text] {
            window.Tell(text);
            told.set_value();
        });
        told.get_future().wait();
    }
    platform::PostTo(&window, [&window] { window.done(2); });
}

} // namespace update
