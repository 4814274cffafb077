// The loadable Qt toolkit (trellybridge-qt.so): the toolkit made on the caller's loop.
#include "ui-qt/QtModule.h"

#include <cstring>

extern "C" __attribute__((visibility("default"))) void trellybridge_qt_toolkit(
    trellybridge::ui::QtModuleCall* call) {
    if (std::strcmp(call->build, TRELLYBRIDGE_MODULE_BUILD) != 0 ||
        call->size != sizeof(trellybridge::ui::QtModuleCall)) {
        // Only the build fields may be read: the rest may be laid out otherwise.
        return;
    }
    try {
        call->toolkit = trellybridge::ui::makeQtToolkit(std::move(call->host),
                                                        std::move(call->sink), call->whyNot);
    } catch (const std::exception& e) {
        call->toolkit = nullptr;
        call->whyNot = e.what();
    }
}
