#include "ui-qt/QtToolkit.h"

namespace trellybridge::ui {

std::shared_ptr<HeadlessToolkit> makeQtToolkit(ProgressSink, std::string& whyNot) {
    whyNot = "this build has no Qt toolkit";
    return nullptr;
}

}  // namespace trellybridge::ui
