// What the service serves, as FHIR R4 states it: Patient read, search by identifier (and by
// name and birth date where the site's bridge can search), $everything; JSON only.
#pragma once

#include <string>

namespace trellybridge::fhirserver {

struct Capabilities {
    std::string date;           // when the service started (FHIR dateTime)
    std::string bridge;         // the site's NetworkBridgeType
    std::string format;         // its VendorFormatType
    std::string accountSystem;  // the system of the account numbers
    bool nameSearch = false;    // the bridge can search by name and social security number
    bool tokens = false, certificates = false;
};

std::string capabilityStatement(const Capabilities& capabilities);

}  // namespace trellybridge::fhirserver
