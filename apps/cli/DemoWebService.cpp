#include "DemoWebService.h"

#include "platform/Process.h"

namespace trellybridge::cli {
namespace {

vendorsim::WebServiceOptions demoOptions() {
    vendorsim::WebServiceOptions options;
    options.format = vendorsim::Format::Xml;
    options.organization = "DEMO";
    return options;
}

}  // namespace

DemoWebService::DemoWebService() = default;

DemoWebService::~DemoWebService() {
    for (const auto& [name, value] : previous_) process::setEnvironment(name, value);
    if (service_) service_->stop();
}

bool DemoWebService::start(std::string& error) {
    service_ = vendorsim::loadWebService(demoOptions(), {}, error);
    if (!service_ || !service_->start(error)) return false;
    const vendorsim::ClientFiles& files = service_->clientFiles();
    // The client trusts and presents the files just made; a proxy of the user's must not
    // see the loopback service.
    for (const auto& [name, value] : {std::pair{"TRELLYBRIDGE_CA_FILE", files.authority},
                                      std::pair{"TRELLYBRIDGE_CLIENT_CERT", files.certificate},
                                      std::pair{"TRELLYBRIDGE_CLIENT_KEY", files.key},
                                      std::pair{"NO_PROXY", std::string("127.0.0.1")},
                                      std::pair{"no_proxy", std::string("127.0.0.1")}})
        previous_.emplace(name, process::setEnvironment(name, value));
    return true;
}

GetPatientArguments DemoWebService::settings(GetPatientArguments a) const {
    a.NetworkBridgeType = "HTTPS";
    a.VendorFormatType = "XML";
    a.EOFCharacter = "126";
    a.HTTPSOrganizationID = "DEMO";
    a.VendorApplicationPath = service_->baseAddress();
    a.VendorRequestPath = "patient.asp";
    return a;
}

}  // namespace trellybridge::cli
