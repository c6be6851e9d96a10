// Start-up work of the main window done ahead, while start-up unpacks the tools: decoding the
// skin (the largest picture) and loading the font configuration, the two slowest things the
// window would otherwise do one after the other on its own thread before its first frame.
#pragma once

#include <thread>

namespace ui {

// Runs the work on a thread of its own from construction; the destructor waits for it, so
// nothing of it outlives the scope that started it.
class MainWindowWarmUp {
public:
    MainWindowWarmUp();

private:
    std::jthread m_thread;
};

} // namespace ui
