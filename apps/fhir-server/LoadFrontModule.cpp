#include "FrontModule.h"
#include "platform/ProgramModules.h"

namespace trellybridge::fhirserver {

bool callFrontModule(FrontModuleCall& call, std::string& error) {
    platform::ModuleLoad load = platform::loadProgramModule(kFrontModuleFile, kFrontModuleEntry);
    if (load.outcome != platform::ModuleLoad::Outcome::Loaded) {
        error = "the service's network side cannot be loaded: " + load.reason;
        return false;
    }
    bool check = call.action == FrontModuleCall::Action::Check;
    call.problems = {"the service's network side belongs to another build of trellybridge"};
    reinterpret_cast<FrontModuleEntry>(load.entryPoint)(&call);
    if (check) return true;
    if (!call.frontEnd) error = call.problems.front();
    return call.frontEnd != nullptr;
}

}  // namespace trellybridge::fhirserver
