// ButtonElement and CheckboxElement: image elements that switch between a base and a hot
// picture as the pointer comes and goes, and run the command they carry when pressed.
#pragma once

#include "ui/controls/image_element.h"

#include <QObject>
#include <QPointer>

#include <functional>

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

    // What a press runs: command, posted to receiver's thread (routing holds the tree, which
    // the command may change). Written directly, without notification. Without a receiver (or
    // once it is destroyed) or a command, a press runs nothing.
    void SetCommand(QObject* receiver, std::function<void()> command);
    QObject* Receiver() const { return m_receiver.data(); }

    // The hot picture; when there is none, one is made from BaseImage with Brighten, stored in
    // HotImage and so made only once.
    SharedImage CurrentHotImage();

    // What a click does, also for the keyboard and screen readers: posts the command (when
    // enabled), which runs after the caller has let the tree go. Tree lock held.
    virtual void Press();

    // Pointer hooks, called by routing on the window's thread with the tree lock held.
    void OnMouseDown(Point p) override;
    void OnMouseMove(Point p) override;
    void OnMouseLeave() override;

protected:
    void OnPropertyChanged(PropertyName name) override;

private:
    SharedImage m_hotImage;
    SharedImage m_baseImage;
    QPointer<QObject> m_receiver;
    std::function<void()> m_command;
};

// A button with a checked state and a second pair of pictures for it; a press posts its
// command, then toggles the state (the command sees the new one).
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

    void Press() override;
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
