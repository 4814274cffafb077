// Why a request got no resource, as FHIR says it: an OperationOutcome with one issue, and
// the HTTP status that goes with it. A vendor's failure is told by its kind alone, never by
// the vendor's own words, which may quote a patient.
#pragma once

#include <string>

#include "VendorPool.h"
#include "platform/server/FrontEnd.h"

namespace trellybridge::fhirserver {

inline constexpr char kFhirJson[] = "application/fhir+json; charset=utf-8";

// An answer of `status` whose body is an OperationOutcome saying `why`, its issue code
// following the status (400 invalid, 401 login, 403 forbidden, 404 not-found, 405 and 406
// not-supported, 408 and 504 timeout, 413, 414 and 431 too-costly, 502 transient, 503
// throttled, anything else exception). Its outcome (for the audit line) is the issue code:
// `why` may quote what the client sent.
platform::server::Response outcomeResponse(int status, const std::string& why,
                                           const std::string& issueCode = {});

// The answer to a vendor request that found no patient: 404 not on file; 504 when the
// vendor did not answer in time (no answer to the query, the web service's time-out, or,
// over a file bridge, no results file); 502 when it could not be reached, refused the
// query, or sent what could not be read or was cut off; 500 when the site's settings
// cannot make the request. The response's outcome is the word the audit line shows.
platform::server::Response failureResponse(const VendorAnswer& answer, bool fileBridge);

}  // namespace trellybridge::fhirserver
