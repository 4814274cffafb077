#include "ui-qt/QtToolkit.h"

namespace trellybridge::ui {

std::shared_ptr<HeadlessToolkit> makeQtToolkit(ToolkitHost, ProgressSink, std::string& whyNot) {
    whyNot = "this build has no Qt toolkit";
    return nullptr;
}

std::shared_ptr<HeadlessToolkit> makeQtToolkit(ProgressSink sink, std::string& whyNot) {
    return makeQtToolkit({}, std::move(sink), whyNot);
}

}  // namespace trellybridge::ui
