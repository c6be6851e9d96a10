// The baseline of the window benchmarks: a frameless, translucent Qt window that paints one
// picture with Source composition, centred in the screen's available area, as the program's
// host shows its skin, without the element tree.
#pragma once

#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>

class BareWindow : public QWidget {
public:
    // firstPaint, when set, runs once after the first paint.
    explicit BareWindow(std::shared_ptr<const QImage> picture,
                        std::function<void()> firstPaint = {});

protected:
    void paintEvent(QPaintEvent*) override;

private:
    std::shared_ptr<const QImage> m_picture;
    std::function<void()> m_firstPaint;
};

// The resident memory of a process (0: this one) in KiB, from /proc; -1 when it cannot be read.
long ResidentKb(long long pid = 0);
