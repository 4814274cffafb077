// Turning the caller's settings into the thread's BridgeConfiguration.
#pragma once

#include <string>
#include <vector>

#include "common/BridgeConfiguration.h"
#include "common/Reasons.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge::configuration {

// Stores the fifty GetPatient arguments with their folding, switches and INVALID markers.
void storeArguments(BridgeConfiguration& config, const GetPatientArguments& arguments);
// Sets bridgeTimeout and gives TCPIP one more attempt; false when AllowedRetries is
// not set and the request must end. A count that can never work is left as given, for
// unusableSettings to name.
bool adjustForBridge(BridgeConfiguration& config, const Reasons& reasons);

enum class CompanyCheck { Passed, Rejected };
// The MEDIC company-number check of an HL7 request. A rejection has recorded 310 or
// 311, except for a valid list of more than 101 entries, which ends the request silently.
CompanyCheck checkCompanyNumber(BridgeConfiguration& config, const Reasons& reasons);
// The request and result paths each bridge type uses.
void assignBridgePaths(BridgeConfiguration& config);
// The INVALID markers and defaults that apply after the pages and the check.
void applyFinalDefaults(BridgeConfiguration& config);
// Why PatientID cannot be used, or empty text when it can: a control character would
// add lines to a request file or the wire on every bridge; for FOLDERS, where the
// identifier names the results file, a folder separator or "." / ".." would lead out of
// the results folder.
std::string patientIdProblem(const BridgeConfiguration& config);
// The settings given that can never work, one sentence each naming the setting and what
// would work: a TimeDelay that is no whole number of milliseconds from 1 to 2147483647,
// an AllowedRetries that is no whole number of 0 or more, a TCPIP port list with anything
// but port numbers, an HTTPS address that is not https://. A setting left unset (empty, or
// the INVALID marker) is none of these: its default or its described handling applies.
std::vector<std::string> unusableSettings(const BridgeConfiguration& config);
// SetCommonParameters: the normalisation of the GetPatientData path, in place.
bool normaliseCommonParameters(BridgeConfiguration& config, const Reasons& reasons);

}  // namespace trellybridge::configuration
