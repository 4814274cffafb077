// The Qt 6 Widgets toolkit: the session window, the settings pages, message boxes and
// the file dialog on screen. The header names no Qt type; programs choose it at run time.
#pragma once

#include <memory>
#include <string>

#include "platform/Toolkit.h"

namespace trellybridge::ui {

// A toolkit that draws on the display, sending progress to `sink` as the headless one
// does; null when this thread cannot show windows (no display, a host application
// without widgets or owned by another thread, a build without Qt), with the reason in
// `whyNot`.
std::shared_ptr<HeadlessToolkit> makeQtToolkit(ProgressSink sink, std::string& whyNot);

}  // namespace trellybridge::ui
