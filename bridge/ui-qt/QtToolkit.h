// The Qt 6 Widgets toolkit: the progress window, the settings pages, message boxes and
// the file dialog on screen. The header names no Qt type; programs choose it at run time.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Toolkit.h"

namespace trellybridge::ui {

// What the toolkit drives and asks of the program that shows the windows: the calling
// thread's event loop (what it watches, when its next timer is due, one turn of it) and
// the host path of a system's path. The loadable toolkit carries its own copy of the
// platform layer, so it must work on the loading program's loop, not on that copy's.
struct ToolkitHost {
    std::function<std::vector<int>()> watchedDescriptors;
    std::function<int()> nextTimerWait;
    std::function<void()> pump;
    std::function<std::string(std::string_view)> hostPath;
};

// A toolkit that draws on the display, sending progress to `sink` as the headless one
// does; null when this thread cannot show windows (no display, a host application
// without widgets or owned by another thread, a build without Qt), with the reason in
// `whyNot`. For programs that link the toolkit (trellybridge_ui).
std::shared_ptr<HeadlessToolkit> makeQtToolkit(ProgressSink sink, std::string& whyNot);
std::shared_ptr<HeadlessToolkit> makeQtToolkit(ToolkitHost host, ProgressSink sink,
                                               std::string& whyNot);

// The same from the loadable toolkit, for programs that do not link Qt: loaded from the
// install (or the build) when first asked for. When it is not installed, `whyNot` says
// that the windows need the trellybridge Qt package.
std::shared_ptr<HeadlessToolkit> loadQtToolkit(ProgressSink sink, std::string& whyNot);

}  // namespace trellybridge::ui
