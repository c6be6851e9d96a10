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
#include <type_traits>
#include <vector>

namespace ui {
namespace {

using testpics::Filled;

// Collects the ids of the presses that reach it; onPress runs while one is handled.
class Receiver : public QObject {
public:
    std::vector<std::uint32_t> presses;
    std::function<void()> onPress;

    bool event(QEvent* e) override
    {
        auto* command = dynamic_cast<ElementCommandEvent*>(e);
        if (!command || command->type() != WM_ELEMENT_COMMAND)
            return QObject::event(e);
        presses.push_back(command->ElementId());
        if (onPress)
            onPress();
        return true;
    }

    void Deliver() { QCoreApplication::sendPostedEvents(this); }
};

// A tree like the window's: a background picture in a grid, a canvas over it with one control.
struct Tree {
    std::shared_ptr<GridPanel> root = std::make_shared<GridPanel>();
    std::shared_ptr<CanvasPanel> canvas = std::make_shared<CanvasPanel>();
    std::uint32_t hot = kNoElementId;

    explicit Tree(const std::shared_ptr<LayoutElement>& child)
    {
        auto background = std::make_shared<ImageElement>();
        background->SetImage(Filled(200, 100, qRgba(20, 20, 20, 255)));
        root->AddChild(background);
        canvas->SetPosition(child.get(), 10, 10);
        canvas->AddChild(child);
        root->AddChild(canvas);
        Pass();
    }

    // What the host's render thread does after an invalidation: measure, then render.
    void Pass()
    {
        root->Measure({Unset, Unset});
        QImage frame = CreateFrameBitmap(root->DesiredSize().width, root->DesiredSize().height);
        DrawingSurface surface(frame);
        root->Render(surface, {0, 0, root->DesiredSize().width, root->DesiredSize().height});
    }
    void Move(Point p) { RouteMouseMove(root, p, hot); }
    void Leave() { Move({150, 80}); }
};

template <class Control> std::shared_ptr<Control> Make(Receiver* target)
{
    auto control = std::make_shared<Control>();
    control->SetBaseImage(Filled(30, 20, qRgba(60, 60, 60, 255)));
    control->SetHotImage(Filled(30, 20, qRgba(90, 200, 90, 255)));
    if constexpr (std::is_same_v<Control, CheckboxElement>)
        control->SetCheckedBaseImage(Filled(30, 20, qRgba(40, 160, 40, 255)));
    if (target) {
        control->SetTarget(target);
        control->SetMessage(WM_ELEMENT_COMMAND);
    }
    return control;
}

TEST(ButtonElement, HotPictureUnderThePointerMadeOnceFromTheBaseWhenNoneIsGiven)
{
    auto button = std::make_shared<ButtonElement>();
    const SharedImage base = Filled(30, 20, qRgba(100, 150, 200, 255));
    button->SetBaseImage(base);
    EXPECT_EQ(button->Image(), base);
    button->OnMouseMove({1, 1});
    const SharedImage hot = button->Image();
    ASSERT_TRUE(hot);
    EXPECT_EQ(hot, button->HotImage()); // kept, so the second hover reuses it
    EXPECT_EQ(hot->pixel(5, 5), qRgba(118, 170, 223, 255));
    button->OnMouseLeave();
    EXPECT_EQ(button->Image(), base);
    button->OnMouseMove({2, 2});
    EXPECT_EQ(button->Image(), hot);

    // A new hot picture is not shown by itself; a new base picture is.
    button->SetHotImage(Filled(30, 20, qRgba(1, 2, 3, 255)));
    EXPECT_EQ(button->Image(), hot);
    button->SetBaseImage(nullptr);
    EXPECT_FALSE(button->Image());
}

TEST(ButtonElement, EveryPressIsPostedToALiveTargetOnly)
{
    Receiver receiver;
    auto button = Make<ButtonElement>(&receiver);
    Tree tree(button);
    RouteMouseDown(tree.root, {15, 15});
    RouteMouseDown(tree.root, {16, 16});
    EXPECT_TRUE(receiver.presses.empty()); // posted, not sent
    receiver.Deliver();
    EXPECT_EQ(receiver.presses, (std::vector<std::uint32_t>{button->Id(), button->Id()}));
    EXPECT_EQ(FindElementById(receiver.presses[0]).get(), button.get());

    // A target that has gone is no target: nothing is posted to the dead object.
    auto gone = std::make_unique<Receiver>();
    button->SetTarget(gone.get());
    gone.reset();
    EXPECT_EQ(button->Target(), nullptr);
    RouteMouseDown(tree.root, {15, 15});
    QCoreApplication::sendPostedEvents();
}

// A hot button that is disabled hears no leave and stays hot; one that is hidden (the stop
// button when it is pressed) comes back with its base picture, not lit for the next job.
TEST(ButtonElement, HotButtonDisabledOrHiddenThenBack)
{
    const struct {
        const char* name;
        void (LayoutElement::*set)(bool);
        bool hotWhenBack;
    } rows[] = {
        {"disabled keeps the hot picture", &LayoutElement::SetIsEnabled, true},
        {"hidden comes back with its base picture", &LayoutElement::SetIsVisible, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto button = Make<ButtonElement>(nullptr);
        Tree tree(button);
        tree.Move({15, 15});
        ASSERT_EQ(button->Image(), button->HotImage());
        ((*button).*row.set)(false);
        tree.Pass();
        tree.Leave();
        ((*button).*row.set)(true);
        tree.Pass();
        EXPECT_EQ(button->Image(), row.hotWhenBack ? button->HotImage() : button->BaseImage());
    }
}

// Not hit: the point is background, the window can be dragged from there; a disabled control
// told of a press directly changes nothing either.
TEST(ButtonElement, NeverPressedWithoutPicturesOrDisabled)
{
    const struct {
        const char* name;
        bool pictures; // given, and the control disabled; else enabled without pictures
        bool checkbox;
    } rows[] = {
        {"a button without pictures", false, false},
        {"a disabled button", true, false},
        {"a disabled checkbox", true, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Receiver receiver;
        std::shared_ptr<ButtonElement> control;
        if (row.checkbox)
            control = Make<CheckboxElement>(&receiver);
        else if (row.pictures)
            control = Make<ButtonElement>(&receiver);
        else
            control = std::make_shared<ButtonElement>();
        control->SetTarget(&receiver);
        control->SetMessage(WM_ELEMENT_COMMAND);
        control->SetIsEnabled(!row.pictures);
        Tree tree(control);
        EXPECT_EQ(RouteHitTest(tree.root, {15, 15}), HitArea::Caption);
        RouteMouseDown(tree.root, {15, 15});
        if (!control->IsEnabled())
            control->OnMouseDown({15, 15});
        receiver.Deliver();
        EXPECT_TRUE(receiver.presses.empty());
        if (auto* box = dynamic_cast<CheckboxElement*>(control.get())) {
            EXPECT_FALSE(box->IsChecked());
        }
    }
}

TEST(CheckboxElement, PicturesPerState)
{
    const struct {
        const char* name;
        bool checked;
        bool hover;
        int shows; // 0 base, 1 hot, 2 checked base, 3 checked hot
    } rows[] = {
        {"unchecked", false, false, 0},
        {"unchecked, hot", false, true, 1},
        {"checked, pictures set before the state", true, false, 2},
        {"checked, hot", true, true, 3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto box = Make<CheckboxElement>(nullptr);
        box->SetCheckedHotImage(Filled(30, 20, qRgba(80, 220, 80, 255)));
        box->SetIsChecked(row.checked);
        if (row.hover)
            box->OnMouseMove({1, 1});
        const SharedImage pictures[] = {box->BaseImage(), box->HotImage(), box->CheckedBaseImage(),
                                        box->CheckedHotImage()};
        EXPECT_EQ(box->Image(), pictures[row.shows]);
    }
}

TEST(CheckboxElement, PressPostsThenToggles)
{
    Receiver receiver;
    auto box = Make<CheckboxElement>(&receiver);
    Tree tree(box);
    bool checkedWhenHandled = false;
    receiver.onPress = [&] { checkedWhenHandled = box->IsChecked(); };

    tree.Move({15, 15});
    ASSERT_EQ(box->Image(), box->HotImage());
    RouteMouseDown(tree.root, {15, 15});
    // The base picture of the new state at once, although the pointer is still over the box.
    EXPECT_TRUE(box->IsChecked());
    EXPECT_EQ(box->Image(), box->CheckedBaseImage());
    receiver.Deliver();
    EXPECT_EQ(receiver.presses, std::vector<std::uint32_t>{box->Id()});
    EXPECT_TRUE(checkedWhenHandled);

    // The next movement brings the hot picture of the new state, made from its base.
    tree.Move({16, 15});
    ASSERT_TRUE(box->CheckedHotImage());
    EXPECT_EQ(box->Image(), box->CheckedHotImage());
    EXPECT_EQ(box->CheckedHotImage()->pixel(0, 0), qRgba(55, 181, 55, 255));

    RouteMouseDown(tree.root, {16, 15});
    EXPECT_FALSE(box->IsChecked());
    EXPECT_EQ(box->Image(), box->BaseImage());

    receiver.Deliver();
    ASSERT_EQ(receiver.presses.size(), 2u);

    // Without a target (the window's play-after-download box) a press only toggles.
    box->SetTarget(nullptr);
    RouteMouseDown(tree.root, {16, 15});
    EXPECT_TRUE(box->IsChecked());
    receiver.Deliver();
    EXPECT_EQ(receiver.presses.size(), 2u);
}

TEST(CheckboxElement, CheckedHotPictureIsMadeOnlyFromACheckedBase)
{
    auto bare = std::make_shared<CheckboxElement>();
    bare->SetBaseImage(Filled(4, 4, qRgba(80, 80, 80, 255)));
    bare->SetIsChecked(true);
    EXPECT_FALSE(bare->CurrentHotImage());
    bare->SetIsChecked(false);
    EXPECT_TRUE(bare->CurrentHotImage());
}

} // namespace
} // namespace ui
