// What the command line asks of the component beside the class's members: an answer at
// hand read as a request reads the vendor's, and where the last request's debug dump went.
#pragma once

#include <string>
#include <string_view>

#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge {

// Reads `answer` as GetPatient reads a vendor's answer: the settings prepared as a
// request's (no pages, nothing refused), nothing sent, and the result published on
// `comm` as ReturnPatient publishes it (its insurance log included). True when it held
// the patient.
bool readAnswerAtHand(TrellyBridgeComm& comm, const GetPatientArguments& arguments,
                      std::string_view answer);

// The host path of the debug log the thread's last request wrote its dump to, or empty.
std::string lastDebugLogFile();

}  // namespace trellybridge
