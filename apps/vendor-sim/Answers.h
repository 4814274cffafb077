// What the simulated vendor system says: its answer to a patient query in each format,
// and the account number it finds in a query.
#pragma once

#include <string>
#include <string_view>

#include "SamplePatients.h"

namespace trellybridge::vendorsim {

enum class Format { Hl7, Standard, Scan, Xml };

// nullopt-free: unknown names give Hl7; use parseFormat to validate.
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
