// The demo's web service: the simulated one, with the client's certificate variables
// pointing at the files it made for as long as it runs.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "WebService.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge::cli {

class DemoWebService {
public:
    DemoWebService();
    ~DemoWebService();
    DemoWebService(const DemoWebService&) = delete;
    DemoWebService& operator=(const DemoWebService&) = delete;

    bool start(std::string& error);
    // `a` fetching its patient from this service.
    GetPatientArguments settings(GetPatientArguments a) const;

private:
    std::unique_ptr<vendorsim::WebService> service_;              // loaded at start
    std::map<std::string, std::optional<std::string>> previous_;  // the variables as they were
};

}  // namespace trellybridge::cli
