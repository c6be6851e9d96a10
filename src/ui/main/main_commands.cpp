// What each button of the main window does.
#include "ui/main/main_commands.h"

#include "ui/elements/tree_lock.h"
#include "ui/main/main_tree.h"
#include "ui/main/main_window.h"
#include "ui/pages/download_page.h"

#include <functional>

namespace ui {
namespace {

// A command that changes elements runs under the tree lock (routing has let it go by then).
std::function<void()> Locked(std::function<void()> command)
{
    return [command = std::move(command)] {
        TreeLockGuard tree(TreeLock());
        command();
    };
}

} // namespace

void WireCommands(MainWindow& window, const MainTree& tree,
                  std::function<void(download::JobKind)> onJobPressed)
{
    MainWindow* w = &window;
    tree.minimise->SetCommand(w, [w] { w->showMinimized(); });
    // Outside the lock, like the window manager's close; refused while a job runs.
    tree.close->SetCommand(w, [w] { w->close(); });
    tree.stop->SetCommand(w, Locked([w] { w->StopJobsByUser(); }));
    tree.back->SetCommand(w, Locked([w] { w->SwitchPage(MainWindow::kDownloadPage); }));
    // The chooser changes no element, so the render thread need not wait for it: the skin
    // keeps answering the pointer while the chooser is open.
    tree.folderButton->SetCommand(w, [w] {
        if (pages::DownloadPage* page = w->DownloadPage())
            page->ChooseDownloadFolder();
    });
    // The press is told before the lock: it may write the settings file, which the render
    // thread need not wait for.
    for (const JobButton& job : tree.jobButtons)
        job.button->SetCommand(w, [kind = job.kind, onJobPressed,
                                   start = Locked([w, kind = job.kind] { w->StartJob(kind); })] {
            if (onJobPressed)
                onJobPressed(kind);
            start();
        });
}

} // namespace ui
