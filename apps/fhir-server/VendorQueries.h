// The two vendor requests the API makes, as work for a vendor thread: a patient by account
// number (one runRequest with the site's settings, then the FHIR Bundle of its record), and
// a search by name or social security number (GetPatientData, with the site's settings as
// its bridge parameters).
#pragma once

#include <string>

#include "ApiRequest.h"
#include "VendorPool.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge::fhirserver {

VendorPool::Work patientFetch(const GetPatientArguments& site, const std::string& account,
                              const std::string& accountSystem);

VendorPool::Work patientSearch(const GetPatientArguments& site, const ApiRequest& search);

// The GetPatientData request of a search by name (family, else given) or social security
// number: the search section, and every site setting as a bridge parameter under the
// request's names for them.
std::string searchRequest(const GetPatientArguments& site, const ApiRequest& search);

// Whether `bridge` (a NetworkBridgeType) can search by name and social security number.
bool bridgeSearches(const std::string& bridge);
// Whether the vendor answers `bridge` through a results file (VENDOR, POLLING, FOLDERS, USB).
bool bridgeUsesFiles(const std::string& bridge);

}  // namespace trellybridge::fhirserver
