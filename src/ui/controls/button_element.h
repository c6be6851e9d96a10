// ButtonElement and CheckboxElement: image elements that switch between a base and a hot
// picture as the pointer comes and goes, and post their Id to a target object when pressed.
#pragma once

#include "ui/controls/image_element.h"

#include <QEvent>
#include <QObject>
#include <QPointer>

namespace ui {

namespace prop {
inline constexpr PropertyName kHotImage = u"HotImage";
inline constexpr PropertyName kBaseImage = u"BaseImage";
inline constexpr PropertyName kCheckedHotImage = u"CheckedHotImage";
inline constexpr PropertyName kCheckedBaseImage = u"CheckedBaseImage";
inline constexpr PropertyName kIsChecked = u"IsChecked";
} // namespace prop

class ButtonElement : public ImageElement {
public:
    // Interactive, with the pointing-hand cursor.
    ButtonElement();

    const SharedImage& HotImage() const { return m_hotImage; }
    const SharedImage& BaseImage() const { return m_baseImage; }
    // Full change protocol with InvalidateLayout. A new BaseImage is shown at once.
    void SetHotImage(SharedImage image);
    void SetBaseImage(SharedImage image);

    // Where a press is posted, as an ElementCommandEvent of type message carrying the Id.
    // Written directly, without notification. Without a target (or once it is destroyed), or
    // with message QEvent::None, a press posts nothing.
    void SetTarget(QObject* target);
    QObject* Target() const { return m_target.data(); }
    void SetMessage(QEvent::Type message);
    QEvent::Type Message() const { return m_message; }

    // The hot picture; when there is none, one is made from BaseImage with Brighten, stored in
    // HotImage and so made only once.
    SharedImage CurrentHotImage();

    // Pointer hooks, called by routing on the window's thread with the tree lock held.
    void OnMouseDown(Point p) override;
    void OnMouseMove(Point p) override;
    void OnMouseLeave() override;

protected:
    void OnPropertyChanged(PropertyName name) override;
    // Posts the press (when enabled); the receiver runs after routing has returned.
    void PostPress();

private:
    SharedImage m_hotImage;
    SharedImage m_baseImage;
    QPointer<QObject> m_target;
    QEvent::Type m_message = QEvent::None;
};

// A button with a checked state and a second pair of pictures for it; a press posts, then
// toggles the state.
class CheckboxElement : public ButtonElement {
public:
    const SharedImage& CheckedHotImage() const { return m_checkedHotImage; }
    const SharedImage& CheckedBaseImage() const { return m_checkedBaseImage; }
    bool IsChecked() const { return m_isChecked; }
    // Full change protocol with InvalidateLayout. A change of IsChecked shows the base picture
    // of the new state; the picture setters change nothing shown by themselves, except
    // BaseImage, which is shown at once even while checked.
    void SetCheckedHotImage(SharedImage image);
    void SetCheckedBaseImage(SharedImage image);
    void SetIsChecked(bool value);

    // The hot picture of the current state, made from its base picture when missing.
    SharedImage CurrentHotImage();

    void OnMouseDown(Point p) override;
    void OnMouseMove(Point p) override;
    void OnMouseLeave() override;

protected:
    void OnPropertyChanged(PropertyName name) override;

private:
    SharedImage CurrentBaseImage() const;

    SharedImage m_checkedHotImage;
    SharedImage m_checkedBaseImage;
    bool m_isChecked = false;
};

} // namespace ui
