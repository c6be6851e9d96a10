// The host tests' tree, counting host and display helpers.
#include "host_test_support.h"

#include "test_env.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QThread>

#include <gtest/gtest.h>

namespace hosttest {

TestPicture::TestPicture(QImage picture)
    : m_picture(std::make_shared<const QImage>(std::move(picture)))
{
}

void TestPicture::SetPicture(QImage picture)
{
    auto next = std::make_shared<const QImage>(std::move(picture));
    ChangeProperty(m_picture, next, u"Image", Invalidation::Layout);
}

void TestPicture::MeasureOverride(ui::Size)
{
    ++measures;
    const int w = Width() != ui::Unset ? Width() : m_picture->width();
    const int h = Height() != ui::Unset ? Height() : m_picture->height();
    SetDesiredSize({w, h});
}

void TestPicture::RenderOverride(ui::DrawingSurface& surface, ui::Rect content)
{
    rendering = true;
    if (const int delay = renderDelayMs; delay > 0)
        QThread::msleep(static_cast<unsigned long>(delay));
    const ui::Size size = ui::DrawingSurface::ImageSize(*m_picture);
    surface.DrawImage(*m_picture, {content.x, content.y, size.width, size.height},
                      {0, 0, size.width, size.height});
    rendering = false;
    ++rendersFinished;
}

TestButton::TestButton(QImage picture) : TestPicture(std::move(picture))
{
    SetIsInteractive(true);
}

void TestButton::OnMouseDown(ui::Point)
{
    ++presses;
}

QImage Disc(int width, int height, QColor color)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(QRectF(0, 0, width, height));
    return image;
}

QImage Solid(int width, int height, QColor color)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

TestTree MakeTree()
{
    TestTree t;
    t.root = std::make_shared<ui::GridPanel>();
    t.skin = std::make_shared<TestPicture>(
        Disc(TestTree::kSkinSize, TestTree::kSkinSize, TestTree::kSkinColour));
    t.canvas = std::make_shared<ui::CanvasPanel>();
    t.button = std::make_shared<TestButton>(
        Solid(TestTree::kButtonWidth, TestTree::kButtonHeight, TestTree::kBaseColour));
    t.canvas->SetPosition(t.button.get(), TestTree::kButtonAt.x(), TestTree::kButtonAt.y());
    t.canvas->AddChild(t.button);
    t.root->AddChild(t.skin);
    t.root->AddChild(t.canvas);
    return t;
}

void Pump(int ms)
{
    testenv::WaitUntil([] { return false; }, ms);
}

void Settle(ui::VisualDlgImpl& host, int quietMs)
{
    ASSERT_TRUE(testenv::WaitUntil([&] { return host.FramesRendered() > 0; }, kWaitMs))
        << "no first frame";
    std::uint64_t seen = host.FramesRendered();
    QElapsedTimer quiet;
    quiet.start();
    testenv::WaitUntil(
        [&] {
            if (host.FramesRendered() != seen) {
                seen = host.FramesRendered();
                quiet.restart();
            }
            return quiet.elapsed() >= quietMs;
        },
        5000);
}

bool Xdo(const QStringList& args)
{
    const testenv::ProcessResult r = testenv::Run(QStringLiteral("xdotool"), args, 10000);
    EXPECT_EQ(r.exitCode, 0) << "xdotool " << args.join(' ').toStdString() << ": "
                             << r.err.toStdString();
    return r.exitCode == 0;
}

bool MoveMouse(QPoint global)
{
    const bool ok = Xdo(
        {QStringLiteral("mousemove"), QString::number(global.x()), QString::number(global.y())});
    Pump(60);
    return ok;
}

QImage Screenshot(const QString& name)
{
    Pump(50);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    const QImage shot = screen->grabWindow(0).toImage();
    const QString dir = testenv::BinaryDir() + QStringLiteral("/artifacts/host");
    QDir().mkpath(dir);
    shot.save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
    return shot;
}

} // namespace hosttest
