// The loadable Qt toolkit's one entry point: a plain C function that the loading program
// finds by name. Both sides come from one build: the call carries C++ objects, so the
// module refuses a caller built otherwise.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "ui-qt/QtToolkit.h"

namespace trellybridge::ui {

inline constexpr char kQtModuleFile[] = "trellybridge-qt.so";
inline constexpr char kQtModuleEntry[] = "trellybridge_qt_toolkit";

struct QtModuleCall {
    // First, so that a module of another build can read them: the caller's build.
    const char* build = TRELLYBRIDGE_MODULE_BUILD;
    std::size_t size = sizeof(QtModuleCall);
    ToolkitHost host;
    ProgressSink sink;
    // What the module made: the toolkit, or null and why not.
    std::shared_ptr<HeadlessToolkit> toolkit;
    std::string whyNot;
};

using QtModuleEntry = void (*)(QtModuleCall* call);

}  // namespace trellybridge::ui
