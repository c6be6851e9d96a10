// Buttons and the checkbox: the picture shown in each state, the hot picture made once, and
// the press posted to the target.
#include "ui/controls/button_element.h"

#include "test_pictures.h"
#include "ui/controls/element_command.h"
#include "ui/elements/drawing_surface.h"
#include "ui/elements/panel.h"
#include "ui/elements/routing.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <functional>
#include <memory>
#include <vector>

namespace ui {
namespace {

using testpics::Filled;

// Collects the presses that reach it; onPress runs while one is handled.
class Receiver : public QObject {
public:
    struct Press {
        QEvent::Type type;
        std::uint32_t id;
    };
    std::vector<Press> presses;
    std::function<void(const Press&)> onPress;

    bool event(QEvent* e) override
    {
        if (auto* command = dynamic_cast<ElementCommandEvent*>(e)) {
            presses.push_back({command->type(), command->ElementId()});
            if (onPress)
                onPress(presses.back());
            return true;
        }
        return QObject::event(e);
    }

    void Deliver() { QCoreApplication::sendPostedEvents(this); }
};

// A tree like the window's: a background picture in a grid, a canvas over it with one button.
struct Tree {
    std::shared_ptr<GridPanel> root = std::make_shared<GridPanel>();
    std::shared_ptr<CanvasPanel> canvas = std::make_shared<CanvasPanel>();
    std::vector<int> hostCalls;

    explicit Tree(const std::shared_ptr<LayoutElement>& child, Point at)
    {
        auto background = std::make_shared<ImageElement>();
        background->SetImage(Filled(200, 100, qRgba(20, 20, 20, 255)));
        root->AddChild(background);
        canvas->SetPosition(child.get(), at.x, at.y);
        canvas->AddChild(child);
        root->AddChild(canvas);
        root->SetHostCallback(&Tree::Host);
        root->SetHostContext(this);
        Pass();
    }

    // A host detaches itself before it lets the tree go (the root reports its emptied child
    // list while it is destroyed).
    ~Tree()
    {
        root->SetHostCallback(nullptr);
        root->SetHostContext(nullptr);
    }

    static void Host(void* context, PropertyName, int visualOnly)
    {
        static_cast<Tree*>(context)->hostCalls.push_back(visualOnly);
    }

    // What the host's render thread does after an invalidation: measure, then render.
    void Pass()
    {
        root->Measure({Unset, Unset});
        QImage frame = CreateFrameBitmap(root->DesiredSize().width, root->DesiredSize().height);
        DrawingSurface surface(frame);
        root->Render(surface, {0, 0, root->DesiredSize().width, root->DesiredSize().height});
    }
};

std::shared_ptr<ButtonElement> MakeButton(Receiver* target)
{
    auto button = std::make_shared<ButtonElement>();
    button->SetBaseImage(Filled(30, 20, qRgba(60, 60, 60, 255)));
    button->SetHotImage(Filled(30, 20, qRgba(90, 200, 90, 255)));
    if (target) {
        button->SetTarget(target);
        button->SetMessage(WM_ELEMENT_COMMAND);
    }
    return button;
}

TEST(ButtonElement, StartsInteractiveWithTheHandCursor)
{
    ButtonElement button;
    EXPECT_TRUE(button.IsInteractive());
    EXPECT_EQ(button.Cursor(), Qt::PointingHandCursor);
    EXPECT_FALSE(button.Image());
    EXPECT_EQ(button.Target(), nullptr);
    EXPECT_EQ(button.Message(), QEvent::None);
}

TEST(ButtonElement, ShowsBaseAndHotPictures)
{
    auto button = MakeButton(nullptr);
    EXPECT_EQ(button->Image(), button->BaseImage());
    button->OnMouseMove({1, 1});
    EXPECT_EQ(button->Image(), button->HotImage());
    button->OnMouseLeave();
    EXPECT_EQ(button->Image(), button->BaseImage());
    // A new hot picture is not shown by itself; a new base picture is.
    button->SetHotImage(Filled(30, 20, qRgba(1, 2, 3, 255)));
    EXPECT_EQ(button->Image(), button->BaseImage());
    button->SetBaseImage(nullptr);
    EXPECT_FALSE(button->Image());
}

TEST(ButtonElement, HoverPictureIsMadeOnceFromTheBase)
{
    auto button = std::make_shared<ButtonElement>();
    const SharedImage base = Filled(30, 20, qRgba(100, 150, 200, 255));
    button->SetBaseImage(base);
    ASSERT_FALSE(button->HotImage());

    button->OnMouseMove({1, 1});
    const SharedImage hot = button->Image();
    ASSERT_TRUE(hot);
    EXPECT_NE(hot, base);
    EXPECT_EQ(hot, button->HotImage()); // kept in the hot property
    EXPECT_EQ(hot->pixel(5, 5), qRgba(118, 170, 223, 255));

    button->OnMouseLeave();
    EXPECT_EQ(button->Image(), base);
    button->OnMouseMove({2, 2});
    EXPECT_EQ(button->Image(), hot); // the second hover reuses it
    EXPECT_EQ(button->CurrentHotImage(), hot);
}

TEST(ButtonElement, WithoutPicturesShowsNothingAndIsNeverHit)
{
    auto button = std::make_shared<ButtonElement>();
    Receiver receiver;
    button->SetTarget(&receiver);
    button->SetMessage(WM_ELEMENT_COMMAND);
    EXPECT_FALSE(button->CurrentHotImage());
    Tree tree(button, {10, 10});
    EXPECT_EQ(button->DesiredSize(), (Size{0, 0}));
    EXPECT_EQ(RouteHitTest(tree.root, {10, 10}), HitArea::Caption);
    RouteMouseDown(tree.root, {10, 10});
    receiver.Deliver();
    EXPECT_TRUE(receiver.presses.empty());
}

TEST(ButtonElement, OnePixelLargerHotPictureRemeasuresTheTree)
{
    // The minimise button's own pictures: 25 x 7, and 26 x 8 while hot.
    auto button = std::make_shared<ButtonElement>();
    button->SetBaseImage(LoadPngResource(133));
    button->SetHotImage(LoadPngResource(179));
    Tree tree(button, {40, 30});
    ASSERT_EQ(button->ActualRect(), (Rect{40, 30, 25, 7}));

    tree.hostCalls.clear();
    std::uint32_t hot = kNoElementId;
    RouteMouseMove(tree.root, {45, 33}, hot);
    EXPECT_EQ(hot, button->Id());
    ASSERT_FALSE(tree.hostCalls.empty());
    EXPECT_EQ(tree.hostCalls.front(), 0); // layout, not only a redraw
    tree.Pass();
    EXPECT_EQ(button->ActualRect(), (Rect{40, 30, 26, 8}));

    RouteMouseMove(tree.root, {150, 80}, hot);
    tree.Pass();
    EXPECT_EQ(button->ActualRect(), (Rect{40, 30, 25, 7}));
}

TEST(ButtonElement, PressPostsTheIdToTheTarget)
{
    Receiver receiver;
    auto button = MakeButton(&receiver);
    Tree tree(button, {10, 10});

    RouteMouseDown(tree.root, {15, 15});
    EXPECT_TRUE(receiver.presses.empty()); // posted, not sent
    receiver.Deliver();
    ASSERT_EQ(receiver.presses.size(), 1u);
    EXPECT_EQ(receiver.presses[0].type, WM_ELEMENT_COMMAND);
    EXPECT_EQ(receiver.presses[0].id, button->Id());
    EXPECT_EQ(FindElementById(receiver.presses[0].id).get(), button.get());
}

TEST(ButtonElement, TwoQuickPressesPostTwoEvents)
{
    Receiver receiver;
    auto button = MakeButton(&receiver);
    Tree tree(button, {10, 10});
    RouteMouseDown(tree.root, {15, 15});
    RouteMouseDown(tree.root, {16, 16});
    receiver.Deliver();
    ASSERT_EQ(receiver.presses.size(), 2u);
    EXPECT_EQ(receiver.presses[0].id, receiver.presses[1].id);
}

TEST(ButtonElement, NothingIsPostedWithoutATarget)
{
    Receiver bystander;
    auto button = MakeButton(nullptr);
    Tree tree(button, {10, 10});
    RouteMouseDown(tree.root, {15, 15});
    bystander.Deliver();
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(bystander.presses.empty());

    // A target that has gone is no target.
    auto gone = std::make_unique<Receiver>();
    button->SetTarget(gone.get());
    button->SetMessage(WM_ELEMENT_COMMAND);
    gone.reset();
    EXPECT_EQ(button->Target(), nullptr);
    RouteMouseDown(tree.root, {15, 15});
    QCoreApplication::sendPostedEvents();
}

TEST(ButtonElement, DisabledButtonIsNeverPressed)
{
    Receiver receiver;
    auto button = MakeButton(&receiver);
    Tree tree(button, {10, 10});
    button->SetIsEnabled(false);
    tree.Pass();

    // Not hit: the point is background, the window can be dragged from there.
    EXPECT_EQ(RouteHitTest(tree.root, {15, 15}), HitArea::Caption);
    RouteMouseDown(tree.root, {15, 15});
    button->OnMouseDown({15, 15}); // even when told directly
    receiver.Deliver();
    EXPECT_TRUE(receiver.presses.empty());
}

TEST(ButtonElement, DisabledWhileHotKeepsTheHotPicture)
{
    Receiver receiver;
    auto button = MakeButton(&receiver);
    Tree tree(button, {10, 10});
    std::uint32_t hot = kNoElementId;
    RouteMouseMove(tree.root, {15, 15}, hot);
    ASSERT_EQ(button->Image(), button->HotImage());

    button->SetIsEnabled(false);
    tree.Pass();
    RouteMouseMove(tree.root, {150, 80}, hot); // no leave reaches a disabled button
    EXPECT_EQ(button->Image(), button->HotImage());

    button->SetIsEnabled(true);
    tree.Pass();
    EXPECT_EQ(button->Image(), button->HotImage());
    RouteMouseMove(tree.root, {15, 15}, hot);
    RouteMouseMove(tree.root, {150, 80}, hot);
    EXPECT_EQ(button->Image(), button->BaseImage());
}

std::shared_ptr<CheckboxElement> MakeCheckbox(bool checked, bool withCheckedHot)
{
    auto box = std::make_shared<CheckboxElement>();
    box->SetBaseImage(Filled(40, 12, qRgba(80, 80, 80, 255)));
    box->SetHotImage(Filled(40, 12, qRgba(120, 120, 120, 255)));
    box->SetCheckedBaseImage(Filled(40, 12, qRgba(40, 160, 40, 255)));
    if (withCheckedHot)
        box->SetCheckedHotImage(Filled(40, 12, qRgba(80, 220, 80, 255)));
    box->SetIsChecked(checked);
    return box;
}

TEST(CheckboxElement, PicturesSetBeforeTheStateShowTheCheckedBase)
{
    auto box = MakeCheckbox(true, true);
    EXPECT_EQ(box->Image(), box->CheckedBaseImage());
    box->OnMouseMove({1, 1});
    EXPECT_EQ(box->Image(), box->CheckedHotImage());
    box->OnMouseLeave();
    EXPECT_EQ(box->Image(), box->CheckedBaseImage());
}

TEST(CheckboxElement, PicturesPerState)
{
    enum class Shows { Base, Hot, CheckedBase, CheckedHot };
    const struct {
        const char* name;
        bool checked;
        bool hover;
        Shows expected;
    } rows[] = {
        {"unchecked", false, false, Shows::Base},
        {"unchecked, hot", false, true, Shows::Hot},
        {"checked", true, false, Shows::CheckedBase},
        {"checked, hot", true, true, Shows::CheckedHot},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto box = MakeCheckbox(row.checked, true);
        if (row.hover)
            box->OnMouseMove({1, 1});
        else
            box->OnMouseLeave();
        const SharedImage expected[] = {box->BaseImage(), box->HotImage(), box->CheckedBaseImage(),
                                        box->CheckedHotImage()};
        EXPECT_EQ(box->Image(), expected[static_cast<int>(row.expected)]);
    }
}

TEST(CheckboxElement, PressPostsThenToggles)
{
    Receiver receiver;
    auto box = MakeCheckbox(false, false);
    box->SetTarget(&receiver);
    box->SetMessage(WM_ELEMENT_COMMAND);
    Tree tree(box, {10, 10});
    bool checkedWhenHandled = false;
    receiver.onPress = [&](const Receiver::Press&) { checkedWhenHandled = box->IsChecked(); };

    std::uint32_t hot = kNoElementId;
    RouteMouseMove(tree.root, {15, 15}, hot);
    ASSERT_EQ(box->Image(), box->HotImage());
    RouteMouseDown(tree.root, {15, 15});
    // The base picture of the new state at once, although the pointer is still over the box.
    EXPECT_TRUE(box->IsChecked());
    EXPECT_EQ(box->Image(), box->CheckedBaseImage());
    receiver.Deliver();
    ASSERT_EQ(receiver.presses.size(), 1u);
    EXPECT_EQ(receiver.presses[0].id, box->Id());
    EXPECT_TRUE(checkedWhenHandled);

    // The next movement brings the hot picture of the new state, made from its base.
    RouteMouseMove(tree.root, {16, 15}, hot);
    ASSERT_TRUE(box->CheckedHotImage());
    EXPECT_EQ(box->Image(), box->CheckedHotImage());
    EXPECT_EQ(box->CheckedHotImage()->pixel(0, 0), qRgba(55, 181, 55, 255));

    RouteMouseDown(tree.root, {16, 15});
    EXPECT_FALSE(box->IsChecked());
    EXPECT_EQ(box->Image(), box->BaseImage());
}

TEST(CheckboxElement, WithoutATargetAPressOnlyToggles)
{
    // The window's play-after-download box is such an element.
    auto box = MakeCheckbox(true, false);
    Tree tree(box, {10, 10});
    RouteMouseDown(tree.root, {15, 15});
    EXPECT_FALSE(box->IsChecked());
    RouteMouseDown(tree.root, {15, 15});
    EXPECT_TRUE(box->IsChecked());
}

TEST(CheckboxElement, DisabledBoxNeitherPostsNorToggles)
{
    Receiver receiver;
    auto box = MakeCheckbox(false, true);
    box->SetTarget(&receiver);
    box->SetMessage(WM_ELEMENT_COMMAND);
    box->SetIsEnabled(false);
    box->OnMouseDown({1, 1});
    receiver.Deliver();
    EXPECT_TRUE(receiver.presses.empty());
    EXPECT_FALSE(box->IsChecked());
}

TEST(CheckboxElement, NewBasePictureShowsEvenWhileChecked)
{
    auto box = MakeCheckbox(true, true);
    const SharedImage replacement = Filled(40, 12, qRgba(7, 7, 7, 255));
    box->SetBaseImage(replacement);
    EXPECT_EQ(box->Image(), replacement);
    box->OnMouseMove({1, 1});
    EXPECT_EQ(box->Image(), box->CheckedHotImage());
    box->OnMouseLeave();
    EXPECT_EQ(box->Image(), box->CheckedBaseImage());
    // The other pictures change nothing shown by themselves.
    box->SetCheckedBaseImage(Filled(40, 12, qRgba(9, 9, 9, 255)));
    box->SetCheckedHotImage(nullptr);
    box->SetHotImage(nullptr);
    EXPECT_NE(box->Image(), box->CheckedBaseImage());
}

TEST(CheckboxElement, CheckedHotPictureNeedsACheckedBase)
{
    auto box = std::make_shared<CheckboxElement>();
    box->SetBaseImage(Filled(4, 4, qRgba(80, 80, 80, 255)));
    box->SetIsChecked(true);
    EXPECT_FALSE(box->CurrentHotImage());
    EXPECT_FALSE(box->CheckedHotImage());
    box->SetIsChecked(false);
    EXPECT_TRUE(box->CurrentHotImage()); // the button rule: brightened base
}

} // namespace
} // namespace ui
