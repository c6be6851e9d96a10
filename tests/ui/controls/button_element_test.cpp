// Buttons and the checkbox: the picture shown in each state, the hot picture made once by the
// brightening transform, and the press posted to the target.
#include "ui/controls/button_element.h"

#include "../test_tree.h"
#include "ui/controls/brighten.h"
#include "ui/controls/element_command.h"
#include "ui/elements/panel.h"
#include "ui/elements/routing.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <functional>

namespace ui {
namespace {

using uitest::Filled;
using Presses = std::vector<std::uint32_t>;

// Worked by hand: each colour component c (0..255) becomes 1.05 c + 12.75, rounded, at most 255.
TEST(Brighten, PixelArithmetic)
{
    const struct {
        const char* name;
        QRgb in, out;
    } rows[] = {
        {"black gains the offset", qRgba(0, 0, 0, 255), qRgba(13, 13, 13, 255)},
        {"mid values", qRgba(100, 150, 200, 255), qRgba(118, 170, 223, 255)},
        {"bright values clamp", qRgba(243, 250, 230, 255), qRgba(255, 255, 254, 255)},
        {"alpha is kept", qRgba(40, 80, 120, 77), qRgba(55, 97, 139, 77)},
        // Straight values: a premultiplied computation would give a different colour here.
        {"faint pixel keeps its straight colour", qRgba(200, 0, 0, 10), qRgba(223, 13, 13, 10)},
        {"transparent stays transparent", qRgba(0, 0, 0, 0), qRgba(13, 13, 13, 0)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const SharedImage out = Brighten(Filled(3, 2, row.in));
        ASSERT_TRUE(out);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(out->pixel(x, y), row.out) << x << "," << y;
    }
}

TEST(Brighten, PremultipliedSourceIsLeftAloneAndTheCopyKeepsItsFormat)
{
    const auto source = std::make_shared<const QImage>(uitest::Solid(2, 2, {100, 150, 200, 128}));
    const QRgb before = source->pixel(1, 1);
    const SharedImage out = Brighten(source);
    ASSERT_TRUE(out);
    EXPECT_NE(out.get(), source.get());
    EXPECT_EQ(source->pixel(1, 1), before);
    EXPECT_EQ(out->format(), QImage::Format_ARGB32_Premultiplied);
    const QRgb p = out->convertToFormat(QImage::Format_ARGB32).pixel(0, 0);
    EXPECT_NEAR(qRed(p), 118, 2);
    EXPECT_NEAR(qGreen(p), 170, 2);
    EXPECT_NEAR(qBlue(p), 223, 2);
    EXPECT_EQ(qAlpha(p), 128);
    EXPECT_FALSE(Brighten(SharedImage()));
    EXPECT_FALSE(Brighten(std::make_shared<const QImage>()));
}

// Collects the ids of the presses that reach it; onPress runs while one is handled.
class Receiver : public QObject {
public:
    Presses presses;
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

// With pictures; with target, when one is given.
template <class Control> std::shared_ptr<Control> Make(Receiver* target)
{
    auto control = std::make_shared<Control>();
    control->SetBaseImage(Filled(30, 20, qRgba(60, 60, 60, 255)));
    control->SetHotImage(Filled(30, 20, qRgba(90, 200, 90, 255)));
    if constexpr (std::is_same_v<Control, CheckboxElement>)
        control->SetCheckedBaseImage(Filled(30, 20, qRgba(40, 160, 40, 255)));
    control->SetTarget(target);
    control->SetMessage(WM_ELEMENT_COMMAND);
    return control;
}

TEST(ButtonElement, HotPictureUnderThePointerMadeOnceFromTheBaseWhenNoneIsGiven)
{
    ButtonElement button;
    const SharedImage base = Filled(30, 20, qRgba(100, 150, 200, 255));
    button.SetBaseImage(base);
    EXPECT_EQ(button.Image(), base);
    button.OnMouseMove({1, 1});
    const SharedImage hot = button.Image();
    ASSERT_TRUE(hot);
    EXPECT_EQ(hot, button.HotImage()); // kept, so the second hover reuses it
    EXPECT_EQ(hot->pixel(5, 5), qRgba(118, 170, 223, 255));
    button.OnMouseLeave();
    EXPECT_EQ(button.Image(), base);
    button.OnMouseMove({2, 2});
    EXPECT_EQ(button.Image(), hot);
    // A new hot picture is not shown by itself; a new base picture is.
    button.SetHotImage(Filled(30, 20, qRgba(1, 2, 3, 255)));
    EXPECT_EQ(button.Image(), hot);
    button.SetBaseImage(nullptr);
    EXPECT_FALSE(button.Image());
}

TEST(ButtonElement, EveryPressIsPostedToALiveTargetOnly)
{
    Receiver receiver;
    auto button = Make<ButtonElement>(&receiver);
    Tree tree(button);
    tree.Press({15, 15});
    tree.Press({16, 16});
    EXPECT_TRUE(receiver.presses.empty()); // posted, not sent
    receiver.Deliver();
    EXPECT_EQ(receiver.presses, (Presses{button->Id(), button->Id()}));
    EXPECT_EQ(FindElementById(receiver.presses[0]).get(), button.get());
    // A target that has gone is no target: nothing is posted to the dead object.
    auto gone = std::make_unique<Receiver>();
    button->SetTarget(gone.get());
    gone.reset();
    EXPECT_EQ(button->Target(), nullptr);
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

// Not hit: the point is background, the window can be dragged from there; a disabled control
// told of a press directly changes nothing either.
TEST(ButtonElement, NeverPressedWithoutPicturesOrDisabled)
{
    Receiver receiver;
    const struct {
        const char* name;
        std::shared_ptr<ButtonElement> control;
    } rows[] = {
        {"a button without pictures", Make<ButtonElement>(&receiver)},
        {"a disabled button", Make<ButtonElement>(&receiver)},
        {"a disabled checkbox", Make<CheckboxElement>(&receiver)},
    };
    rows[0].control->SetBaseImage(nullptr);
    rows[0].control->SetHotImage(nullptr);
    rows[1].control->SetIsEnabled(false);
    rows[2].control->SetIsEnabled(false);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Tree tree(row.control);
        EXPECT_EQ(RouteHitTest(tree.root, {15, 15}), HitArea::Caption);
        tree.Press({15, 15});
        if (!row.control->IsEnabled())
            row.control->OnMouseDown({15, 15});
        receiver.Deliver();
        EXPECT_TRUE(receiver.presses.empty());
        if (auto* box = dynamic_cast<CheckboxElement*>(row.control.get())) {
            EXPECT_FALSE(box->IsChecked());
        }
    }
}

TEST(CheckboxElement, PicturesPerState)
{
    const struct {
        const char* name;
        bool checked, hover;
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
    // The checked hot picture is made only from a checked base.
    CheckboxElement bare;
    bare.SetBaseImage(Filled(4, 4, qRgba(80, 80, 80, 255)));
    bare.SetIsChecked(true);
    EXPECT_FALSE(bare.CurrentHotImage());
    bare.SetIsChecked(false);
    EXPECT_TRUE(bare.CurrentHotImage());
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
    tree.Press({15, 15});
    // The base picture of the new state at once, although the pointer is still over the box.
    EXPECT_TRUE(box->IsChecked());
    EXPECT_EQ(box->Image(), box->CheckedBaseImage());
    receiver.Deliver();
    EXPECT_EQ(receiver.presses, Presses{box->Id()});
    EXPECT_TRUE(checkedWhenHandled);

    // The next movement brings the hot picture of the new state, made from its base.
    tree.Move({16, 15});
    ASSERT_TRUE(box->CheckedHotImage());
    EXPECT_EQ(box->Image(), box->CheckedHotImage());
    EXPECT_EQ(box->CheckedHotImage()->pixel(0, 0), qRgba(55, 181, 55, 255));
    tree.Press({16, 15});
    EXPECT_FALSE(box->IsChecked());
    EXPECT_EQ(box->Image(), box->BaseImage());
    receiver.Deliver();
    ASSERT_EQ(receiver.presses.size(), 2u);

    // Without a target (the window's play-after-download box) a press only toggles.
    box->SetTarget(nullptr);
    tree.Press({16, 15});
    EXPECT_TRUE(box->IsChecked());
    receiver.Deliver();
    EXPECT_EQ(receiver.presses.size(), 2u);
}

} // namespace
} // namespace ui
