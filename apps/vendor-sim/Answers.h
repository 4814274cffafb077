// What the simulated vendor system says: its answer to a patient query in each format,
// and the account number it finds in a query.
#pragma once

#include <string>
#include <string_view>

#include "SamplePatients.h"
#include "common/BridgeConfiguration.h"

namespace trellybridge::vendorsim {

// The simulator speaks the formats the library reads, each by its writer's row.
using Format = FormatKind;

// False, leaving `format` as it was, for a name that is no format's (any case).
bool parseFormat(std::string_view name, Format& format);
std::string formatName(Format format);

// The answer for a patient, records ended as the component expects them; the
// end-of-answer character is added by whoever sends it.
std::string answerFor(Format format, const SamplePatient& patient);
// The answer a vendor gives when it has no such patient.
std::string notFoundAnswer(Format format, std::string_view account);
// An HL7 acknowledgement that refuses the query: an application error (AE, with an ERR
// segment) or a reject (AR).
std::string refusalAnswer(bool rejected);
// The account number asked for: QRD-8 of an HL7 query, the id of an XML query, the text
// after "ACCT=" (or the request itself, trimmed) otherwise.
std::string requestedAccount(Format format, std::string_view request);

}  // namespace trellybridge::vendorsim
