#include "WebService.h"

#include <utility>

#include "WebServiceModule.h"
#include "platform/ProgramModules.h"

namespace trellybridge::vendorsim {

bool parseWebFault(std::string_view name, WebFault& fault) {
    static const std::pair<std::string_view, WebFault> kNames[] = {
        {"none", WebFault::None},         {"silent", WebFault::Silent},
        {"slow", WebFault::Slow},         {"wrong-certificate", WebFault::WrongCertificate},
        {"redirect", WebFault::Redirect}, {"error-page", WebFault::ErrorPage},
        {"empty", WebFault::EmptyBody},   {"cut", WebFault::CutShort},
    };
    for (const auto& [text, value] : kNames)
        if (text == name) {
            fault = value;
            return true;
        }
    return false;
}

std::unique_ptr<WebService> loadWebService(WebServiceOptions options, WebService::Log log,
                                           std::string& error) {
    platform::ModuleLoad load =
        platform::loadProgramModule(kWebServiceModuleFile, kWebServiceModuleEntry);
    if (load.outcome == platform::ModuleLoad::Outcome::Missing) {
        error = "the web service simulator needs the trellybridge-websim package; " + load.reason;
        return nullptr;
    }
    if (load.outcome != platform::ModuleLoad::Outcome::Loaded) {
        error = "the web service simulator cannot be loaded: " + load.reason;
        return nullptr;
    }
    WebServiceModuleCall call;
    call.options = std::move(options);
    call.log = std::move(log);
    reinterpret_cast<WebServiceModuleEntry>(load.entryPoint)(&call);
    if (!call.service) error = "the web service simulator belongs to another build of trellybridge";
    return std::move(call.service);
}

}  // namespace trellybridge::vendorsim
