// The answer parsers, one per vendor format. Each fills the thread's patient record,
// sets patientFound and keeps the raw answer for the debug dump. A parser returns false
// when it failed outright (the answer could not be read at all).
#pragma once

#include <string_view>

namespace trellybridge {

class TrellyBridgeComm;

namespace formats {

// Also publishes the record into the properties of `comm`.
bool parseHL7Stream(TrellyBridgeComm& comm, std::string_view answer);
// STANDARD, delimited layout (the header names the delimiter).
bool parseStandardStream(std::string_view answer);
// STANDARD, fixed-column layout.
bool parseStandardFixedStream(std::string_view answer);
bool parseScanStream(std::string_view answer);
bool parseXMLStream(std::string_view answer);

}  // namespace formats
}  // namespace trellybridge
