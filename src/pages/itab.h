// The interface through which the main window shows, hides and positions a page.
#pragma once

#include <QString>

class QWidget;

class ITab {
public:
    // The page's widget: a child of the main window that covers its client area.
    virtual QWidget* GetWindowHandle() = 0;
    // The page becomes the current one.
    virtual void OnShow() = 0;
    // The page stops being the current one.
    virtual void OnHide() = 0;
    // The first file dropped on the window while this page is current.
    virtual void OnFileDropped(const QString& path) = 0;

protected:
    ~ITab() = default;
};
