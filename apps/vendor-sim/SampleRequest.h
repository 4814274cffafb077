// The settings that fetch a sample patient from the vendor simulator: one builder for
// the demo, the screenshots program, the benchmarks and the tests.
#pragma once

#include <string>

#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge::vendorsim {

// `account` in `format` over `bridge`, framed as the simulator frames that format (HL7
// ends in 28, the others in 126; STANDARD names the patient after "ACCT="), lines ending
// in CR, two retries, one-second time-outs and no windows. TCPIP reaches 127.0.0.1 on
// `port`; SERIAL takes COM port `port` at the settings pages' defaults. A caller changes
// what its request needs after.
GetPatientArguments sampleRequest(const std::string& account, const std::string& bridge,
                                  const std::string& format, int port = 0);

}  // namespace trellybridge::vendorsim
