// The window element's move request: posted to the window's parent on every render pass in
// which element and window are visible, never for a hidden or destroyed window, and safe to
// post from another thread.
#include "../test_tree.h"

#include "ui/elements/window_element.h"
#include "ui/elements/window_move_event.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QWidget>

using namespace ui;
using namespace uitest;

namespace {

// A page stand-in: moves the window the way the real receiver will.
class Page : public QWidget {
public:
    std::vector<Rect> moves;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() != WindowMoveEvent::EventType())
            return QWidget::event(e);
        auto* move = static_cast<WindowMoveEvent*>(e);
        if (auto* window = qobject_cast<QWidget*>(move->Window())) {
            const Rect& r = move->Geometry();
            window->setGeometry(r.x, r.y, r.width, r.height);
            moves.push_back(r);
        }
        return true;
    }
};

// A shown page with one native control that the tree's window element tracks.
struct Shown {
    Page page;
    QWidget* edit = new QWidget(&page);
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
    std::size_t MovesAfterOnePass()
    {
        page.moves.clear();
        Render();
        QCoreApplication::sendPostedEvents();
        return page.moves.size();
    }
};

TEST(WindowElementTest, MovesArePostedFromARenderThreadOnlyForAVisibleLiveWindow)
{
    Shown s;
    std::thread render([&] {
        for (int i = 0; i < 20; ++i)
            s.Render({0, 0, 100 + i, 30});
    });
    render.join();
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(s.page.moves.size(), 20u) << "one move per pass, the same rectangle or not";
    EXPECT_EQ(s.edit->width(), 100 + 19 - 10);

    s.edit->hide();
    EXPECT_EQ(s.MovesAfterOnePass(), 0u);
    s.edit->show();
    s.page.hide(); // hidden through its parent counts as hidden too
    EXPECT_EQ(s.MovesAfterOnePass(), 0u);
    s.page.show();
    EXPECT_EQ(s.MovesAfterOnePass(), 1u);
    s.element->SetIsVisible(false);
    EXPECT_EQ(s.MovesAfterOnePass(), 0u);

    s.element->SetIsVisible(true);
    delete s.edit;
    EXPECT_FALSE(s.element->Window()->Exists());
    EXPECT_EQ(s.MovesAfterOnePass(), 0u);

    auto page = std::make_unique<Page>();
    page->show();
    s.element->SetWindow(WindowHandle::Track(new QWidget(page.get())));
    page.reset(); // takes the window with it
    s.Render();
    QCoreApplication::sendPostedEvents(); // nothing may be delivered to the dead page
    EXPECT_FALSE(s.element->Window()->Exists());
}

} // namespace
