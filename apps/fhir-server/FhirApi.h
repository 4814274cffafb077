// The FHIR R4 API of the practice system: each request read (ApiRequest), the vendor asked
// once on a vendor thread within the request's deadline, and the answer made from the
// component's own FHIR Bundle (Bundles). Runs on the front end's worker threads.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "platform/server/FrontEnd.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge::fhirserver {

struct ApiSettings {
    GetPatientArguments site;                    // the site's settings, complete but for PatientID
    std::string accountSystem;                   // the account numbers' identifier system
    std::chrono::milliseconds deadline{30'000};  // from the request's arrival to its answer
    std::size_t vendorRequests = 4;              // at once
    std::size_t waiting = 16;                    // in line for the vendor; 503 beyond
    bool tokens = false, certificates = false;   // how clients authenticate (for /metadata)
    // When not empty, this Bundle stands for every patient and no vendor is asked: the
    // service's own cost, measured beside the vendor's.
    std::string fixedBundle;
};

class FhirApi {
public:
    explicit FhirApi(ApiSettings settings);
    ~FhirApi();
    FhirApi(const FhirApi&) = delete;
    FhirApi& operator=(const FhirApi&) = delete;

    platform::server::Response answer(const platform::server::Request& request);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// An OperationOutcome answer of `status` saying `why` (the front end's own refusals).
platform::server::Response refusal(int status, const std::string& why);

}  // namespace trellybridge::fhirserver
