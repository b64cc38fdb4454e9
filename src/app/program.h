#pragma once

// The program's run once its application object exists: a second copy hands
// over to the running one and ends; otherwise the main window starts up and
// the event loop runs until it closes.

#include <functional>

namespace lumaset {

class MainWindow;

// `beforeLoad`, when given, sees the main window after it is built and
// before its start-up runs (the start-up benchmark watches it from there).
int RunProgram(const std::function<void(MainWindow&)>& beforeLoad = {});

}  // namespace lumaset
