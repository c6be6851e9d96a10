// The one QApplication, made on first use after the display check and destroyed by start-up.
#include "app/qt_application.h"

#include "platform/display.h"

#include <QApplication>

#include <cstdio>
#include <memory>

namespace app {

namespace {

// QApplication keeps references to both for its whole life.
int g_argc = 1;
char g_name[] = "vandrel";
char* g_argv[] = {g_name, nullptr};
std::unique_ptr<QApplication> g_app;

} // namespace

bool CanOpenDisplay()
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        return true;
    const platform::Expected<void> display = platform::CheckDisplay();
    if (!display) {
        std::fprintf(stderr, "vandrel: cannot open the display %s\n",
                     display.error().text.toLocal8Bit().constData());
    }
    return display.has_value();
}

QApplication* EnsureQtApplication()
{
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance()))
        return existing;
    if (!CanOpenDisplay())
        return nullptr;
    g_argc = 1;
    g_app = std::make_unique<QApplication>(g_argc, g_argv);
    platform::EndDisplayCheck();
    return g_app.get();
}

void DestroyQtApplication()
{
    g_app.reset();
}

} // namespace app
