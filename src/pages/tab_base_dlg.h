// What both pages share: a child widget of the main window that covers its client area and is
// masked to its visible controls, moves its controls where the window elements of the tree
// say, and hands closing and dropped files on to its owner.
//
// Drops reach the owner because neither a page nor its controls accept drops: Qt gives a drop
// to the nearest widget under the pointer, or ancestor of it, that does.
#pragma once

#include "pages/itab.h"

#include <QHash>
#include <QPointer>
#include <QRect>
#include <QWidget>

class TabBaseDlg : public QWidget, public ITab {
    Q_OBJECT

public:
    // The page starts hidden; the main window shows the current one.
    explicit TabBaseDlg(QWidget* owner);
    ~TabBaseDlg() override;

    QWidget* GetWindowHandle() override { return this; }
    void OnShow() override {}
    void OnHide() override {}
    void OnFileDropped(const QString&) override {}

    // The control registered under id, or null.
    QWidget* GetDlgItem(int id) const;

    // A rectangle in dialog units of the page's font (a quarter of the average character width
    // across, an eighth of the character height down) in pixels.
    QRect MapDialogRect(const QRect& dialogUnits) const;

protected:
    // Makes control (a direct child) findable by id and keeps the mask in step with it.
    void AddControl(int id, QWidget* control);

    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void UpdateMask();

    QPointer<QWidget> m_owner;
    QHash<int, QPointer<QWidget>> m_controls;
};
