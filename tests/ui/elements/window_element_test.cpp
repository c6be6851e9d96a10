// The window element's move request: posted to the window's parent on every render pass in
// which element and window are visible, never for a hidden or destroyed window, and safe to
// post from another thread.
#include "../test_tree.h"

#include "ui/elements/window_element.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QWidget>

using namespace ui;
using namespace uitest;

namespace {

// A native control that counts how often it was resized.
class Control : public QWidget {
public:
    using QWidget::QWidget;
    int resizes = 0;

protected:
    void resizeEvent(QResizeEvent*) override { ++resizes; }
};

// A shown page with one native control that the tree's window element tracks.
struct Shown {
    QWidget page;
    Control* edit = new Control(&page);
    std::shared_ptr<GridPanel> grid = std::make_shared<GridPanel>();
    std::shared_ptr<WindowElement> element = std::make_shared<WindowElement>();

    Shown()
    {
        element->SetTopLeftMargin(5, 5);
        element->SetBottomRightMargin(5, 5);
        grid->AddChild(std::make_shared<Picture>(Solid(268, 28, Qt::white)));
        grid->AddChild(element);
        page.resize(400, 100);
        page.show();
        element->SetWindow(WindowHandle::Track(edit));
    }
    void Render(Rect r = {71, 5, 268, 28}) { RenderFrame(*grid, r, {400, 100}); }
    // Whether one pass moves the control (from elsewhere) to the content rectangle.
    bool MovedByOnePass()
    {
        edit->setGeometry(0, 0, 1, 1);
        Render();
        QCoreApplication::sendPostedEvents();
        return edit->geometry() == QRect(76, 10, 258, 18);
    }
};

TEST(WindowElementTest, MovesArePostedFromARenderThreadOnlyForAVisibleLiveWindow)
{
    Shown s;
    s.edit->resizes = 0;
    std::thread render([&] {
        for (int i = 0; i < 20; ++i)
            s.Render({0, 0, 100 + i, 30});
    });
    render.join();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(s.edit->resizes, 20) << "one move per pass";
    EXPECT_EQ(s.edit->width(), 100 + 19 - 10);

    s.edit->hide();
    EXPECT_FALSE(s.MovedByOnePass());
    s.edit->show();
    s.page.hide(); // hidden through its parent counts as hidden too
    EXPECT_FALSE(s.MovedByOnePass());
    s.page.show();
    EXPECT_TRUE(s.MovedByOnePass());
    s.element->SetIsVisible(false);
    EXPECT_FALSE(s.MovedByOnePass());

    // A move posted for a control that is gone when it arrives does nothing.
    s.element->SetIsVisible(true);
    s.Render();
    delete s.edit;
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(s.element->Window()->Exists());
    s.Render();
    QCoreApplication::sendPostedEvents();

    auto page = std::make_unique<QWidget>();
    page->show();
    s.element->SetWindow(WindowHandle::Track(new QWidget(page.get())));
    page.reset(); // takes the window with it
    s.Render();
    QCoreApplication::sendPostedEvents(); // nothing may be delivered to the dead page
    EXPECT_FALSE(s.element->Window()->Exists());
}

} // namespace
