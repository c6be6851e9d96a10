// What both pages share: a child widget of the main window that covers its client area and is
// masked to its visible controls (the tree's window elements move them), and hands closing and
// dropped files on to its owner. The main window shows, hides and feeds pages through it.
//
// Drops reach the owner because neither a page nor its controls accept drops: Qt gives a drop
// to the nearest widget under the pointer, or ancestor of it, that does.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <vector>

namespace ui::pages {

class Page : public QWidget {
    Q_OBJECT

public:
    // The page starts hidden; the main window shows the current one.
    explicit Page(QWidget* owner);
    ~Page() override;

    // The page becomes the current one.
    virtual void OnShow() {}
    // The page stops being the current one.
    virtual void OnHide() {}
    // The first file dropped on the window while this page is current.
    virtual void OnFileDropped(const QString&) {}

protected:
    // Keeps the mask in step with control (a direct child).
    void AddControl(QWidget* control);

    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void UpdateMask();

    QPointer<QWidget> m_owner;
    std::vector<QPointer<QWidget>> m_controls;
};

} // namespace ui::pages
