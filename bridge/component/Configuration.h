// Turning the caller's settings into the thread's BridgeConfiguration.
#pragma once

#include <string>

#include "common/BridgeConfiguration.h"
#include "common/Reasons.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge::configuration {

// Stores the fifty GetPatient arguments with their folding, switches and INVALID markers.
void storeArguments(BridgeConfiguration& config, const GetPatientArguments& arguments);
// Sets bridgeTimeout and gives TCPIP one more attempt; false when AllowedRetries is
// not a number and the request must end.
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
// Why TimeDelay cannot be the session timer's interval (a whole number of milliseconds
// from 1 to 2147483647), or empty text when it can.
std::string timeDelayProblem(const BridgeConfiguration& config);
// SetCommonParameters: the normalisation of the GetPatientData path, in place.
bool normaliseCommonParameters(BridgeConfiguration& config, const Reasons& reasons);

}  // namespace trellybridge::configuration
