// The answer parsers, one per vendor format. Each fills the thread's patient record,
// sets patientFound and keeps the raw answer for the debug dump. A parser returns false
// when it failed outright (the answer could not be read at all).
#pragma once

#include <string>
#include <string_view>

namespace trellybridge {

class TrellyBridgeComm;

namespace formats {

// Also publishes the record into the properties of `comm`. An answer without a PID
// segment is no patient and fails, so that the dispatcher shows it and ends the session.
bool parseHL7Stream(TrellyBridgeComm& comm, std::string_view answer);
// STANDARD, delimited layout (the header names the delimiter).
bool parseStandardStream(std::string_view answer);
// STANDARD, fixed-column layout.
bool parseStandardFixedStream(std::string_view answer);
bool parseScanStream(std::string_view answer);
// The tag of a SCAN line (before the first "=", trimmed) and its value (after it, up to
// the line's end character, trimmed).
std::string getScanTag(std::string_view line);
std::string getScanValue(std::string_view line);
bool parseXMLStream(std::string_view answer);

}  // namespace formats
}  // namespace trellybridge
