// Buttons and the checkbox: the brightening transform that makes a missing hot picture, the
// picture shown as the pointer comes and goes, and the command a press posts to its receiver.
#include "ui/controls/button_element.h"

#include "../test_tree.h"
#include "ui/controls/brighten.h"
#include "ui/elements/panel.h"
#include "ui/elements/routing.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <functional>

namespace ui {
namespace {

using uitest::Filled;

// Worked by hand: each colour component c (0..255) becomes 1.05 c + 12.75, rounded, at most 255,
// on straight values of the premultiplied pictures (a premultiplied computation would give a
// different colour for a half-transparent pixel).
TEST(Brighten, StraightColourOfAPremultipliedPictureInACopyOfItsFormat)
{
    const struct {
        const char* name;
        QColor in, out;
    } rows[] = {
        {"black gains the offset", {0, 0, 0}, {13, 13, 13}},
        {"mid values", {100, 150, 200}, {118, 170, 223}},
        {"bright values clamp", {243, 250, 230}, {255, 255, 254}},
        {"half-transparent keeps its alpha and straight colour",
         {100, 150, 200, 128},
         {118, 170, 223, 128}},
        {"transparent stays transparent", {0, 0, 0, 0}, {0, 0, 0, 0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto source = std::make_shared<const QImage>(uitest::Solid(3, 2, row.in));
        const QRgb before = source->pixel(1, 1);
        const SharedImage out = Brighten(source);
        ASSERT_TRUE(out);
        EXPECT_NE(out.get(), source.get());
        EXPECT_EQ(source->pixel(1, 1), before);
        EXPECT_EQ(out->format(), QImage::Format_ARGB32_Premultiplied);
        const QColor p = out->pixelColor(2, 1);
        EXPECT_NEAR(p.red(), row.out.red(), 2);
        EXPECT_NEAR(p.green(), row.out.green(), 2);
        EXPECT_NEAR(p.blue(), row.out.blue(), 2);
        EXPECT_EQ(p.alpha(), row.out.alpha());
    }
    EXPECT_FALSE(Brighten(SharedImage()));
    EXPECT_FALSE(Brighten(std::make_shared<const QImage>()));
}

// Counts the commands that reach it; onPress runs while one is handled.
class Receiver : public QObject {
public:
    int presses = 0;
    std::function<void()> onPress;

    std::function<void()> Command()
    {
        return [this] {
            ++presses;
            if (onPress)
                onPress();
        };
    }
    void Deliver() { QCoreApplication::sendPostedEvents(this); }
};

// A tree like the window's: a background picture in a grid, a canvas over it with one control.
struct Tree {
    std::shared_ptr<GridPanel> root = std::make_shared<GridPanel>();
    std::uint32_t hot = kNoElementId;

    explicit Tree(const std::shared_ptr<LayoutElement>& child)
    {
        auto background = std::make_shared<ImageElement>();
        background->SetImage(Filled(200, 100, qRgba(20, 20, 20, 255)));
        auto canvas = std::make_shared<CanvasPanel>();
        canvas->SetPosition(child.get(), 10, 10);
        canvas->AddChild(child);
        root->AddChild(background);
        root->AddChild(canvas);
        Pass();
    }
    // What the host's render thread does after an invalidation.
    void Pass() { uitest::RenderFrame(*root); }
    void Move(Point p) { RouteMouseMove(root, p, hot); }
    void Press(Point p) { RouteMouseDown(root, p); }
};

// With pictures; with a command of receiver's, when one is given.
template <class Control> std::shared_ptr<Control> Make(Receiver* target)
{
    auto control = std::make_shared<Control>();
    control->SetBaseImage(Filled(30, 20, qRgba(60, 60, 60, 255)));
    // Like the window's checkbox, the checkbox has no hot pictures of its own.
    if constexpr (std::is_same_v<Control, CheckboxElement>)
        control->SetCheckedBaseImage(Filled(30, 20, qRgba(40, 160, 40, 255)));
    else
        control->SetHotImage(Filled(30, 20, qRgba(90, 200, 90, 255)));
    if (target)
        control->SetCommand(target, target->Command());
    return control;
}

TEST(ButtonElement, EveryPressIsPostedToALiveReceiverOnly)
{
    Receiver receiver;
    auto button = Make<ButtonElement>(&receiver);
    Tree tree(button);
    tree.Press({15, 15});
    tree.Press({16, 16});
    EXPECT_EQ(receiver.presses, 0); // posted, not run
    receiver.Deliver();
    EXPECT_EQ(receiver.presses, 2);
    // A receiver that has gone is no receiver: nothing is posted to the dead object.
    auto gone = std::make_unique<Receiver>();
    button->SetCommand(gone.get(), gone->Command());
    gone.reset();
    EXPECT_EQ(button->Receiver(), nullptr);
    tree.Press({15, 15});
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
        tree.Move({150, 80});
        ((*button).*row.set)(true);
        tree.Pass();
        EXPECT_EQ(button->Image(), row.hotWhenBack ? button->HotImage() : button->BaseImage());
    }
}

// Not hit: the point is background, the window can be dragged from there; a disabled button
// told of a press directly posts nothing either.
TEST(ButtonElement, NeverPressedWhenDisabled)
{
    Receiver receiver;
    auto button = Make<ButtonElement>(&receiver);
    button->SetIsEnabled(false);
    Tree tree(button);
    EXPECT_EQ(RouteHitTest(tree.root, {15, 15}), HitArea::Caption);
    tree.Press({15, 15});
    button->OnMouseDown({15, 15});
    receiver.Deliver();
    EXPECT_EQ(receiver.presses, 0);
}

TEST(CheckboxElement, PressPostsThenToggles)
{
    Receiver receiver;
    auto box = Make<CheckboxElement>(&receiver);
    Tree tree(box);
    bool checkedWhenHandled = false;
    receiver.onPress = [&] { checkedWhenHandled = box->IsChecked(); };
    // Under the pointer: a hot picture made once from the base and kept.
    tree.Move({15, 15});
    ASSERT_TRUE(box->HotImage());
    EXPECT_EQ(box->Image(), box->HotImage());
    EXPECT_EQ(box->HotImage()->pixel(0, 0), qRgba(76, 76, 76, 255));
    tree.Press({15, 15});
    // The base picture of the new state at once, although the pointer is still over the box.
    EXPECT_TRUE(box->IsChecked());
    EXPECT_EQ(box->Image(), box->CheckedBaseImage());
    receiver.Deliver();
    EXPECT_EQ(receiver.presses, 1);
    EXPECT_TRUE(checkedWhenHandled);

    // The next movement brings the hot picture of the new state, made from its base.
    tree.Move({16, 15});
    ASSERT_TRUE(box->CheckedHotImage());
    EXPECT_EQ(box->Image(), box->CheckedHotImage());
    EXPECT_EQ(box->CheckedHotImage()->pixel(0, 0), qRgba(55, 181, 55, 255));
    tree.Press({16, 15});
    EXPECT_FALSE(box->IsChecked());
    EXPECT_EQ(box->Image(), box->BaseImage());
    tree.Move({15, 15});
    EXPECT_EQ(box->Image(), box->HotImage());
    receiver.Deliver();
    ASSERT_EQ(receiver.presses, 2);

    // Without a command (the window's play-after-download box) a press only toggles.
    box->SetCommand(nullptr, nullptr);
    tree.Press({16, 15});
    EXPECT_TRUE(box->IsChecked());
    receiver.Deliver();
    EXPECT_EQ(receiver.presses, 2);
}

} // namespace
} // namespace ui
