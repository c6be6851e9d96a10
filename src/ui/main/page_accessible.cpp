// The log box reads as a read-only, many-line text whose characters are its lines, newest first:
// what a reader needs to read and search it, without a caret or a selection.
#include "ui/main/page_accessible.h"

#include "ui/pages/download_page.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLineEdit>

namespace ui {
namespace {

class LogAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit LogAccessible(pages::LogBox* log)
        : QAccessibleWidget(log, QAccessible::EditableText), m_log(log)
    {
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = true;
        state.multiLine = true;
        return state;
    }
    void* interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    using QAccessibleWidget::text;
    QString text(int startOffset, int endOffset) const override
    {
        return m_log->Text().mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return static_cast<int>(m_log->Text().size()); }

    void selection(int, int* startOffset, int* endOffset) const override
    {
        *startOffset = *endOffset = 0;
    }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override
    {
        *startOffset = *endOffset = offset;
        return {};
    }

private:
    pages::LogBox* m_log;
};

QAccessibleInterface* LogFactory(const QString&, QObject* object)
{
    if (auto* log = dynamic_cast<pages::LogBox*>(object))
        return new LogAccessible(log); // owned by Qt's cache, which deletes it with the box
    return nullptr;
}

} // namespace

void DescribeForScreenReaders(pages::DownloadPage& page)
{
    [[maybe_unused]] static const bool installed = [] {
        QAccessible::installFactory(&LogFactory);
        return true;
    }();
    page.UrlField()->setAccessibleName(QStringLiteral("Video page address"));
    page.FolderField()->setAccessibleName(QStringLiteral("Download folder"));
    page.LogBox()->setAccessibleName(QStringLiteral("Log"));
}

} // namespace ui
