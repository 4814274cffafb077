// What a request to the API asks for, read from its method, path and parameters alone:
// the capability statement, a patient by id or with everything, or a search by account
// number, social security number or name. Anything else is refused with the status and
// the sentence of its answer; nothing here asks the vendor.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/server/FrontEnd.h"

namespace trellybridge::fhirserver {

struct ApiRequest {
    enum class Kind {
        Metadata,       // GET /metadata
        Read,           // GET /Patient/{id}
        Everything,     // GET /Patient/{id}/$everything
        SearchAccount,  // GET /Patient?identifier=[system|]account
        SearchSsn,      // GET /Patient?identifier=http://hl7.org/fhir/sid/us-ssn|ssn
        SearchName,     // GET /Patient?family=&given=&birthdate=
        Refused,
    };
    Kind kind = Kind::Refused;
    std::string account;        // Read, Everything, SearchAccount
    std::string ssn;            // nine digits
    std::string family, given;  // Windows-1252, as the vendor compares them
    std::string birthDate;      // YYYY-MM-DD, or empty
    int status = 0;             // Refused: 400, 404, 405 or 406
    std::string why;
    std::vector<std::pair<std::string, std::string>> headers;  // Refused: Allow on 405
};

inline constexpr char kSsnSystem[] = "http://hl7.org/fhir/sid/us-ssn";

// `accountSystem` is the system the account numbers have in the service's answers.
ApiRequest readApiRequest(const platform::server::Request& request,
                          const std::string& accountSystem);

// The audit log's name of a kind ("read", "everything", "search-identifier", ...).
const char* operationName(ApiRequest::Kind kind);

}  // namespace trellybridge::fhirserver
