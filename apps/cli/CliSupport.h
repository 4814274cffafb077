// What the commands share: settings from files and --set, patients printed for
// people and scripts, progress to stderr.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/RequestState.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace CLI {
class App;
}

namespace trellybridge::ui {
class HeadlessToolkit;
}

namespace trellybridge::cli {

struct UsageError {
    std::string message;
};

// Vendor text is Windows-1252; terminals and JSON want UTF-8.
std::string toUtf8(std::string_view text);
// Every byte below 0x20 and 0x7F as \xHH (ESC as \x1B), so that vendor text cannot
// retitle, clear or otherwise drive the terminal it is shown on.
std::string escapeControls(std::string_view text);
// The most a --config file may hold.
inline constexpr std::size_t kMaxConfigFileBytes = 1024 * 1024;
// NAME=VALUE from --set; `where` names the source in messages. Throws UsageError.
void assignSetting(GetPatientArguments& arguments, const std::string& setting,
                   const std::string& where);
// NAME=VALUE lines, [section] lines ignored. A '#' that starts a line or follows a blank
// starts a comment, and the blanks around a value go; a value in double quotes is taken as
// written between them (NAME="a # b"). Throws UsageError, also for a file that is not a
// readable regular file of at most kMaxConfigFileBytes.
void readConfigFile(GetPatientArguments& arguments, const std::string& path);
// Settings from a config file (when one was named) and --set options; anything not given
// stays empty.
GetPatientArguments settingsFrom(const std::optional<std::string>& configFile,
                                 const std::vector<std::string>& sets);
// "error 310: ORVEL Parameter: ..." for each published error element.
std::vector<std::string> errorLines(const std::string& errorList);
struct ErrorEntry {
    int code = 0;
    std::string description;
};
// The published error elements, oldest first.
std::vector<ErrorEntry> errorEntries(const std::string& errorList);
// Fills the settings given nowhere with the working defaults (unless `bare`), then
// refuses, naming each, the settings that keep a request from being made. Throws
// UsageError before anything is sent.
void completeSettings(GetPatientArguments& arguments, bool bare);
// The exit status of a request: found, not on file, a settings problem, or else (any other
// FailureKind) the vendor could not be asked.
int exitStatus(bool found, const TrellyBridgeComm& comm);
// The patient as `output` says: "text", the non-empty properties as "name: value" lines;
// "json", all 119 as one JSON object (with the debug log's path, or null); "fhir", a FHIR
// R4 Bundle whose account number has `fhirAccountSystem` (empty: the environment's or the
// default), or an OperationOutcome saying why there is no patient.
void printPatient(const TrellyBridgeComm& comm, bool found, const std::string& output,
                  std::ostream& out, const std::string& fhirAccountSystem = {});
// --output text|json|fhir and --fhir-account-system on a command that prints a patient.
void addOutputOption(CLI::App& command, std::string& output, std::string& fhirAccountSystem);
// Refuses (UsageError) an account system the FHIR output could not use: the one given,
// else, when `output` is "fhir", the one TRELLYBRIDGE_FHIR_ACCOUNT_SYSTEM names.
void checkFhirAccountSystem(const std::string& output, const std::string& given);
// Prints why nothing was found: the recorded errors.
void printNotFound(const TrellyBridgeComm& comm, std::ostream& err);
// Where the request's debug log went, when it was written: one line.
void printDebugLogPlace(std::ostream& err);
// A headless toolkit whose progress lines go to `err` (none when quiet), installed for
// the calling thread. A CR LF in a line breaks it; other control characters are escaped.
std::shared_ptr<ui::HeadlessToolkit> installProgressToolkit(std::ostream& err, bool quiet);
// The same for the toolkit `ui` names ("headless" or "qt"); where windows cannot be shown
// it says why on `err` and runs headless. An unknown name is a usage error.
std::shared_ptr<ui::HeadlessToolkit> installToolkit(std::ostream& err, bool quiet,
                                                    const std::string& ui);
// The settings with their meaning and default, the exit status, the environment and the
// files, for --help-all (HelpReference.cpp).
std::string helpReference();
// The toolkit named by TRELLYBRIDGE_UI, "headless" when unset.
std::string defaultToolkitName();

// While a request waits, on a terminal and unless quiet: one line on `err`, redrawn every
// second ("waiting for 127.0.0.1:9000, attempt 1 of 3, 4 s left"); it gives way to each
// progress line of `toolkit` and is cleared when the request ends.
class WaitingLine {
public:
    WaitingLine(std::ostream& err, bool quiet, ui::HeadlessToolkit& toolkit);
    ~WaitingLine();
    WaitingLine(const WaitingLine&) = delete;
    WaitingLine& operator=(const WaitingLine&) = delete;
    // The line for a request as it stands.
    static std::string text(const RequestState& request);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace trellybridge::cli
