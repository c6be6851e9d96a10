// Buttons and the checkbox: which picture shows, and the press.
#include "ui/controls/button_element.h"

#include "platform/post_to.h"
#include "ui/controls/brighten.h"

namespace ui {

ButtonElement::ButtonElement()
{
    SetIsInteractive(true);
    SetCursor(Qt::PointingHandCursor);
}

void ButtonElement::SetHotImage(SharedImage image)
{
    ChangeProperty(m_hotImage, image, prop::kHotImage, Invalidation::Layout);
}

void ButtonElement::SetBaseImage(SharedImage image)
{
    ChangeProperty(m_baseImage, image, prop::kBaseImage, Invalidation::Layout);
}

void ButtonElement::SetCommand(QObject* receiver, std::function<void()> command)
{
    m_receiver = receiver;
    m_command = std::move(command);
}

SharedImage ButtonElement::CurrentHotImage()
{
    if (!m_hotImage && m_baseImage)
        SetHotImage(Brighten(m_baseImage));
    return m_hotImage;
}

void ButtonElement::OnPropertyChanged(PropertyName name)
{
    if (name == prop::kBaseImage)
        SetImage(m_baseImage);
    // Hidden under the pointer (the stop button hides when pressed), the button is told no leave
    // by routing: it drops its hot look here, so it does not come back with it. A disabled one
    // keeps its look, greyed.
    if (name == prop::kIsVisible && !IsVisible())
        OnMouseLeave();
}

void ButtonElement::Press()
{
    if (!IsEnabled() || !m_receiver || !m_command)
        return;
    // Posted, never run here: the command may change the tree, which routing holds.
    platform::PostTo(m_receiver.data(), m_command);
}

void ButtonElement::OnMouseDown(Point)
{
    Press();
}

void ButtonElement::OnMouseMove(Point)
{
    SetImage(CurrentHotImage());
}

void ButtonElement::OnMouseLeave()
{
    SetImage(m_baseImage);
}

void CheckboxElement::SetCheckedHotImage(SharedImage image)
{
    ChangeProperty(m_checkedHotImage, image, prop::kCheckedHotImage, Invalidation::Layout);
}

void CheckboxElement::SetCheckedBaseImage(SharedImage image)
{
    ChangeProperty(m_checkedBaseImage, image, prop::kCheckedBaseImage, Invalidation::Layout);
}

void CheckboxElement::SetIsChecked(bool value)
{
    ChangeProperty(m_isChecked, value, prop::kIsChecked, Invalidation::Layout);
}

SharedImage CheckboxElement::CurrentBaseImage() const
{
    return m_isChecked ? m_checkedBaseImage : BaseImage();
}

SharedImage CheckboxElement::CurrentHotImage()
{
    if (!m_isChecked)
        return ButtonElement::CurrentHotImage();
    if (!m_checkedHotImage && m_checkedBaseImage)
        SetCheckedHotImage(Brighten(m_checkedBaseImage));
    return m_checkedHotImage;
}

void CheckboxElement::OnPropertyChanged(PropertyName name)
{
    ButtonElement::OnPropertyChanged(name);
    if (name == prop::kIsChecked)
        SetImage(CurrentBaseImage());
}

void CheckboxElement::Press()
{
    if (!IsEnabled())
        return;
    ButtonElement::Press();
    // The receiver handles the press only after this call, so it sees the new state.
    if (IsEnabled())
        SetIsChecked(!m_isChecked);
}

void CheckboxElement::OnMouseMove(Point)
{
    SetImage(CurrentHotImage());
}

void CheckboxElement::OnMouseLeave()
{
    SetImage(CurrentBaseImage());
}

} // namespace ui
