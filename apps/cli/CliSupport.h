// What the commands share: settings from files and --set, patients printed for
// people and scripts, progress to stderr.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge::ui {
class HeadlessToolkit;
}

namespace trellybridge::cli {

struct UsageError {
    std::string message;
};

// Vendor text is Windows-1252; terminals and JSON want UTF-8.
std::string toUtf8(std::string_view text);
// NAME=VALUE from --set; `where` names the source in messages. Throws UsageError.
void assignSetting(GetPatientArguments& arguments, const std::string& setting,
                   const std::string& where);
// NAME=VALUE lines, '#' comments, [section] lines ignored. Throws UsageError.
void readConfigFile(GetPatientArguments& arguments, const std::string& path);
// Settings from a config file and --set options; anything not given stays empty.
GetPatientArguments settingsFrom(const std::string& configFile,
                                 const std::vector<std::string>& sets);
// "error 310: ORVEL Parameter: ..." for each published error element.
std::vector<std::string> errorLines(const std::string& errorList);
// The non-empty properties as "name: value" lines, or all 119 as one JSON object.
void printPatient(const TrellyBridgeComm& comm, bool found, bool json, std::ostream& out);
// Prints why nothing was found: the recorded errors.
void printNotFound(const TrellyBridgeComm& comm, std::ostream& err);
// A headless toolkit whose progress lines go to `err` (none when quiet), installed for
// the calling thread.
std::shared_ptr<ui::HeadlessToolkit> installProgressToolkit(std::ostream& err, bool quiet);

}  // namespace trellybridge::cli
