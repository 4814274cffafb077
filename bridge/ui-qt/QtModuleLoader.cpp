#include "platform/EventLoop.h"
#include "platform/FileSystem.h"
#include "platform/ProgramModules.h"
#include "ui-qt/QtModule.h"

namespace trellybridge::ui {

std::shared_ptr<HeadlessToolkit> loadQtToolkit(ProgressSink sink, std::string& whyNot) {
    platform::ModuleLoad load = platform::loadProgramModule(kQtModuleFile, kQtModuleEntry);
    switch (load.outcome) {
        case platform::ModuleLoad::Outcome::Loaded: break;
        case platform::ModuleLoad::Outcome::Missing:
            whyNot = "the windows need the trellybridge Qt package; " + load.reason;
            return nullptr;
        case platform::ModuleLoad::Outcome::Refused:
            whyNot = "the Qt toolkit library is not loaded: " + load.reason;
            return nullptr;
        case platform::ModuleLoad::Outcome::Failed:
            whyNot = "the Qt toolkit library cannot be loaded: " + load.reason;
            return nullptr;
    }
    QtModuleCall call;
    // The lambdas run here, so they reach this program's loop for the calling thread.
    call.host = {[] { return EventLoop::current().watchedDescriptors(); },
                 [] { return EventLoop::current().nextTimerWait(); },
                 [] { EventLoop::current().pump(); },
                 [](std::string_view path) { return fs::hostPath(path); }};
    call.sink = std::move(sink);
    call.whyNot = "the Qt toolkit library belongs to another build of trellybridge";
    reinterpret_cast<QtModuleEntry>(load.entryPoint)(&call);
    if (!call.toolkit) whyNot = call.whyNot;
    return call.toolkit;
}

}  // namespace trellybridge::ui
