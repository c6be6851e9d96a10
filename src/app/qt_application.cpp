#include "app/qt_application.h"

#include <QApplication>

#include <memory>

namespace {

int* g_argc = nullptr;
char** g_argv = nullptr;
int g_noArgc = 1;
char g_name[] = "vandrel";
char* g_noArgv[] = {g_name, nullptr};
std::unique_ptr<QApplication> g_app;

} // namespace

void SetApplicationArguments(int& argc, char** argv)
{
    g_argc = &argc;
    g_argv = argv;
}

QApplication& EnsureQtApplication()
{
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance()))
        return *existing;
    if (!g_argc) {
        g_argc = &g_noArgc;
        g_argv = g_noArgv;
    }
    g_app = std::make_unique<QApplication>(*g_argc, g_argv);
    return *g_app;
}

void DestroyQtApplication()
{
    g_app.reset();
}
