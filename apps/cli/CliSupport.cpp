#include "CliSupport.h"

#include "Cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>

#include "common/FailureNote.h"
#include "common/Text.h"
#include "component/CommandLine.h"
#include "formats/Fhir.h"
#include "platform/EventLoop.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/Toolkit.h"
#include "session/RequestRun.h"
#include "ui-qt/QtToolkit.h"

namespace trellybridge::cli {

// Vendor text is Windows-1252; terminals and JSON want UTF-8.
std::string toUtf8(std::string_view text) {
    return text::windows1252ToUtf8(text);
}

std::string escapeControls(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

namespace {

std::string trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// How much of `a` and `b` match, from 0 to 1: twice the characters of their matching
// blocks (the longest common run, then the same on each side of it) over both lengths.
// The same measure as Python's difflib, so the command and the binding suggest alike.
double similarity(std::string_view a, std::string_view b) {
    auto matched = [](auto& self, std::string_view x, std::string_view y) -> size_t {
        size_t best = 0, atX = 0, atY = 0;
        std::vector<size_t> run(y.size() + 1, 0), previous(y.size() + 1, 0);
        for (size_t i = 0; i < x.size(); ++i) {
            for (size_t j = 0; j < y.size(); ++j) {
                run[j + 1] = x[i] == y[j] ? previous[j] + 1 : 0;
                if (run[j + 1] > best) {
                    best = run[j + 1];
                    atX = i + 1 - best;
                    atY = j + 1 - best;
                }
            }
            std::swap(run, previous);
        }
        if (best == 0) return 0;
        return best + self(self, x.substr(0, atX), y.substr(0, atY)) +
               self(self, x.substr(atX + best), y.substr(atY + best));
    };
    size_t total = a.size() + b.size();
    return total == 0 ? 1.0 : 2.0 * static_cast<double>(matched(matched, a, b)) / total;
}

// " (did you mean 'TCPRemoteHostName'?)" for a misspelt setting name, or nothing.
std::string didYouMean(const std::string& name) {
    constexpr double kClose = 0.6;  // below this, no name is close enough to suggest
    std::string best;
    double bestScore = 0;
    for (size_t i = 0; i < GetPatientArguments::kCount; ++i) {
        std::string candidate(GetPatientArguments::name(i));
        double score = similarity(text::lower(name), text::lower(candidate));
        if (score < kClose) continue;
        // Ties go to the later name in order, as difflib's choice of the largest does.
        if (score > bestScore || (score == bestScore && text::lower(candidate) > text::lower(best)))
            best = candidate, bestScore = score;
    }
    return best.empty() ? "" : " (did you mean '" + best + "'?)";
}

void assign(GetPatientArguments& arguments, const std::string& name, const std::string& value,
            const std::string& where) {
    auto position = GetPatientArguments::find(name);
    if (!position)
        throw UsageError{where + ": unknown setting '" + escapeControls(name) + "'" +
                         didYouMean(name)};
    arguments.at(*position) = value;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// A config file's value: what follows '=', without the blanks around it and a comment (a
// '#' after a blank); a value in double quotes is taken as written between them.
std::string configValue(std::string_view raw, const std::string& where) {
    size_t given = raw.size();
    while (!raw.empty() && isBlank(raw.front())) raw.remove_prefix(1);
    bool afterBlank = raw.size() != given;
    std::string_view rest;
    std::string value;
    if (raw.starts_with('"')) {
        size_t close = raw.find('"', 1);
        if (close == std::string_view::npos)
            throw UsageError{where + ": the value has no closing quote"};
        value = raw.substr(1, close - 1);
        rest = raw.substr(close + 1);
    } else {
        size_t comment = std::string_view::npos;
        for (size_t i = 0; i < raw.size() && comment == std::string_view::npos; ++i)
            if (raw[i] == '#' && (i == 0 ? afterBlank : isBlank(raw[i - 1]))) comment = i;
        value = raw.substr(0, comment);
        rest = comment == std::string_view::npos ? "" : raw.substr(comment);
        while (!value.empty() && isBlank(value.back())) value.pop_back();
    }
    while (!rest.empty() && isBlank(rest.front())) rest.remove_prefix(1);
    if (!rest.empty() && rest.front() != '#')
        throw UsageError{where + ": only a comment may follow the closing quote"};
    return value;
}

}  // namespace

void assignSetting(GetPatientArguments& arguments, const std::string& setting,
                   const std::string& where) {
    size_t equals = setting.find('=');
    if (equals == std::string::npos)
        throw UsageError{where + ": expected NAME=VALUE, got '" + setting + "'"};
    assign(arguments, trimmed(setting.substr(0, equals)), setting.substr(equals + 1), where);
}

void readConfigFile(GetPatientArguments& arguments, const std::string& path) {
    if (path.empty()) throw UsageError{"--config: the file name is empty"};
    // A directory, a device such as /dev/zero or a huge file is refused before reading.
    fs::RegularFileRead file = fs::readRegularFile(path, kMaxConfigFileBytes);
    if (!file)
        throw UsageError{"cannot read config file '" + escapeControls(path) + "': " + file.reason};
    std::istringstream in(*file.content);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string clean = trimmed(line);
        if (clean.empty() || clean[0] == '#' || clean[0] == '[') continue;
        std::string where = path + ":" + std::to_string(number);
        size_t equals = clean.find('=');
        if (equals == std::string::npos)
            throw UsageError{where + ": expected NAME=VALUE, got '" + escapeControls(clean) + "'"};
        assign(arguments, trimmed(clean.substr(0, equals)),
               configValue(std::string_view(clean).substr(equals + 1), where), where);
    }
}

// "error 310: ORVEL Parameter: ..." for each published error element. An element holds
// its message twice (attribute and text), unescaped, so the message is found by length.
std::vector<std::string> errorLines(const std::string& errorList) {
    std::vector<std::string> lines;
    for (const ErrorEntry& entry : errorEntries(errorList))
        lines.push_back("error " + std::to_string(entry.code) + ": " + entry.description);
    return lines;
}

std::vector<ErrorEntry> errorEntries(const std::string& errorList) {
    static const std::string kOpen = "<error id=\"", kClose = "</error>\r\n";
    std::vector<ErrorEntry> entries;
    for (size_t start = 0; (start = errorList.find(kOpen, start)) != std::string::npos;) {
        size_t idEnd = errorList.find('"', start + kOpen.size());
        size_t end = errorList.find(kClose, idEnd);
        if (idEnd == std::string::npos || end == std::string::npos) break;
        std::string id = errorList.substr(start + kOpen.size(), idEnd - start - kOpen.size());
        const std::string kBetween = "\" description=\"";
        size_t body = idEnd + kBetween.size();
        // body: message, '">', message
        size_t messageLength = end > body + 2 ? (end - body - 2) / 2 : 0;
        entries.push_back({static_cast<int>(Variant(id).numericValue()),
                           errorList.substr(end - messageLength, messageLength)});
        start = end + kClose.size();
    }
    return entries;
}

void completeSettings(GetPatientArguments& arguments, bool bare) {
    if (!bare) arguments.fillDefaults();
    std::vector<std::string> problems = arguments.settingProblems();
    if (problems.empty()) return;
    std::string message = "the request was not sent:";
    for (size_t i = 0; i < problems.size(); ++i)
        message += (i ? "; " : " ") + escapeControls(problems[i]);
    throw UsageError{message};
}

int exitStatus(bool found, const TrellyBridgeComm& comm) {
    if (found) return kFound;
    // Only the vendor's word that the patient is not there is "not found"; a refusal, an
    // answer that could not be read or was cut off is as good as no answer.
    std::string kind = comm.get_FailureKind().toText();
    if (kind == "settings") return kUsage;
    if (kind == "not on file" || kind.empty()) return kNotFound;
    return kUnreachable;
}

namespace {
// What --json says about a failure: the reason, every note, and the published errors.
nlohmann::ordered_json failureJson(const TrellyBridgeComm& comm) {
    nlohmann::ordered_json notes = nlohmann::ordered_json::array();
    std::istringstream lines(comm.get_FailureNotes().toText());
    for (std::string line; std::getline(lines, line);) notes.push_back(toUtf8(line));
    nlohmann::ordered_json errors = nlohmann::ordered_json::array();
    for (const ErrorEntry& entry : errorEntries(comm.get_ErrorCodes().toText()))
        errors.push_back({{"code", entry.code}, {"description", toUtf8(entry.description)}});
    return {{"failure", toUtf8(comm.get_FailureReason().toText())},
            {"failure_notes", notes},
            {"failure_kind", comm.get_FailureKind().toText()},
            {"errors", errors}};
}

// Why there is no Bundle. The issue code follows the exit status, so that a kind of
// failure reads as the status it exits with: not-found, invalid settings, or exception.
std::string failureAsFhir(const TrellyBridgeComm& comm, bool found) {
    int status = exitStatus(found, comm);
    const char* code = status == kUsage         ? "invalid"
                       : status == kUnreachable ? "exception"
                                                : "not-found";
    std::string reason = comm.get_FailureReason().toText();
    if (reason.empty()) reason = found ? "the answer held no patient data" : "no patient found";
    return formats::toFhirOperationOutcome(code, comm.get_FailureKind().toText(), reason);
}
}  // namespace

void addOutputOption(CLI::App& command, std::string& output, std::string& fhirAccountSystem) {
    command.add_option("--output", output, "text (default), json or fhir (a FHIR R4 Bundle)")
        ->transform(CLI::IsMember({"text", "json", "fhir"}, CLI::ignore_case));
    command.add_option("--fhir-account-system", fhirAccountSystem,
                       "The system URI of the account number in FHIR (default: "
                       "TRELLYBRIDGE_FHIR_ACCOUNT_SYSTEM, else " +
                           std::string(formats::kDefaultAccountSystem) + ")");
}

void checkFhirAccountSystem(const std::string& output, const std::string& given) {
    if (output != "fhir" && given.empty()) return;
    std::string problem = formats::accountSystem(given).problem;
    if (!problem.empty())
        throw UsageError{given.empty() ? problem : "--fhir-account-system: " + problem};
}

void printPatient(const TrellyBridgeComm& comm, bool found, const std::string& output,
                  std::ostream& out, const std::string& fhirAccountSystem) {
    if (output == "fhir") {
        std::string bundle = found ? comm.patientAsFhir(fhirAccountSystem) : std::string();
        out << (bundle.empty() ? failureAsFhir(comm, found) : bundle) << "\n";
        return;
    }
    if (output == "json") {
        nlohmann::ordered_json properties = nlohmann::ordered_json::object();
        for (int i = 0; i < kResultPropertyCount; ++i) {
            auto property = static_cast<ResultProperty>(i);
            properties[std::string(propertyName(property))] =
                toUtf8(comm.property(property).toText());
        }
        nlohmann::ordered_json document{{"found", found}, {"properties", properties}};
        document.update(failureJson(comm));
        // A host path is bytes as the system names them; what is not UTF-8 is replaced.
        const std::string debugLog = lastDebugLogFile();
        document["debug_log"] =
            debugLog.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(debugLog);
        out << document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
            << "\n";
        return;
    }
    for (int i = 0; i < kRecordPropertyCount + 2; ++i) {
        auto property = static_cast<ResultProperty>(i);
        std::string value = comm.property(property).toText();
        if (!value.empty())
            out << propertyName(property) << ": " << toUtf8(escapeControls(value)) << "\n";
    }
}

GetPatientArguments settingsFrom(const std::optional<std::string>& configFile,
                                 const std::vector<std::string>& sets) {
    GetPatientArguments arguments;
    arguments.TimeDelay = Variant();  // as if given nowhere: the component's default applies
    if (configFile) readConfigFile(arguments, *configFile);
    for (const std::string& setting : sets) assignSetting(arguments, setting, "--set");
    return arguments;
}

void printNotFound(const TrellyBridgeComm& comm, std::ostream& err) {
    err << "No patient found.\n";
    std::string reason = comm.get_FailureReason().toText();
    if (!reason.empty()) err << "  " << toUtf8(escapeControls(reason)) << "\n";
    for (const std::string& line : errorLines(comm.get_ErrorDescriptions().toText()))
        err << "  " << toUtf8(escapeControls(line)) << "\n";
}

void printDebugLogPlace(std::ostream& err) {
    const std::string file = lastDebugLogFile();
    if (!file.empty())
        err << "Debug log: " << escapeControls(file)
            << " (this request's dump, patient data included; DisplayDebugger=false for none)\n";
}

namespace {
constexpr const char* kClearLine = "\r\x1b[K";

// A progress line as it is shown: without the line ends that close it; empty, not shown.
std::string_view shownPart(std::string_view line) {
    while (line.ends_with("\r\n")) line.remove_suffix(2);
    return line;
}

void sendProgressTo(ui::HeadlessToolkit& toolkit, std::ostream& err, bool quiet) {
    if (!quiet)
        toolkit.setProgressSink([&err](ui::ProgressKind, std::string_view line) {
            line = shownPart(line);
            if (line.empty()) return;
            std::string shown;
            for (size_t start = 0;;) {
                size_t end = line.find("\r\n", start);
                shown += toUtf8(escapeControls(line.substr(start, end - start))) + "\n";
                if (end == std::string_view::npos) break;
                start = end + 2;
            }
            err << shown << std::flush;
        });
}
}  // namespace

std::shared_ptr<ui::HeadlessToolkit> installProgressToolkit(std::ostream& err, bool quiet) {
    auto toolkit = std::make_shared<ui::HeadlessToolkit>();
    sendProgressTo(*toolkit, err, quiet);
    ui::setToolkit(toolkit);
    return toolkit;
}

std::shared_ptr<ui::HeadlessToolkit> installToolkit(std::ostream& err, bool quiet,
                                                    const std::string& ui) {
    if (ui != "headless" && ui != "qt")
        throw UsageError{"--ui " + ui + ": the toolkits are headless and qt"};
    if (ui == "headless") return installProgressToolkit(err, quiet);
    std::string whyNot;
    std::shared_ptr<ui::HeadlessToolkit> toolkit = ui::loadQtToolkit({}, whyNot);
    if (!toolkit) {
        err << "No windows (" << whyNot << "): running headless\n";
        return installProgressToolkit(err, quiet);
    }
    sendProgressTo(*toolkit, err, quiet);
    ui::setToolkit(toolkit);
    return toolkit;
}

struct WaitingLine::Impl {
    Impl(std::ostream& stream, ui::HeadlessToolkit& progress)
        : err(stream), toolkit(progress), lines(progress.progressSink()) {}
    std::ostream& err;
    ui::HeadlessToolkit& toolkit;
    ui::ProgressSink lines;  // where progress lines went before the waiting line
    bool shown = false;      // the waiting line is on the terminal, to be cleared first
    ui::Timer timer;

    void clear() {
        if (shown) err << kClearLine << std::flush;
        shown = false;
    }
};

WaitingLine::WaitingLine(std::ostream& err, bool quiet, ui::HeadlessToolkit& toolkit) {
    if (quiet || !process::standardErrorIsTerminal() || !toolkit.progressSink()) return;
    impl_ = std::make_unique<Impl>(err, toolkit);
    // A progress line takes the waiting line's place; the next tick redraws it below.
    toolkit.setProgressSink([impl = impl_.get()](ui::ProgressKind kind, std::string_view line) {
        if (!shownPart(line).empty()) impl->clear();
        impl->lines(kind, line);
    });
    impl_->timer.setOnTick([impl = impl_.get()] {
        const RequestState* request = session::runningRequest();
        std::string line = request ? text(*request) : std::string();
        if (line.empty()) return;
        impl->err << kClearLine << toUtf8(escapeControls(line)) << std::flush;
        impl->shown = true;
    });
    impl_->timer.setInterval(1000);
    impl_->timer.setEnabled(true);
}

WaitingLine::~WaitingLine() {
    if (!impl_) return;
    impl_->clear();
    impl_->toolkit.setProgressSink(std::move(impl_->lines));
}

std::string WaitingLine::text(const RequestState& request) {
    const BridgeConfiguration& c = request.config;
    const SessionState& s = request.session;
    std::string target;
    std::optional<Transport> bridge = transport(c);
    if (!bridge) return {};
    switch (*bridge) {
        case Transport::Tcp:
            target = s.remoteIP.empty() ? c.TCPRemoteHostName.toText() : s.remoteIP;
            if (std::string port = s.portInUse.empty() ? c.TCPRemotePorts.toText() : s.portInUse;
                !port.empty())
                target += ":" + port;
            break;
        case Transport::SerialLine: target = "COM" + c.CommPort.toText(); break;
        case Transport::WebService: target = c.VendorApplicationPath.toText(); break;
        case Transport::Files: target = c.VendorResultsPath.toText(); break;
    }
    int allowed = std::max(allowedAttempts(c), 1);
    int attempt = std::clamp(s.attemptCount, 1, allowed);
    double tick = std::max(c.TimeDelay.numericValue(), 1.0) / 1000;
    double perAttempt = Variant(s.timeoutTicks).numericValue() + 1;
    if (!(perAttempt >= 1)) perAttempt = 1;
    double left = ((allowed - attempt + 1) * perAttempt - s.elapsedTicks) * tick;
    return "waiting for " + target + ", attempt " + std::to_string(attempt) + " of " +
           std::to_string(allowed) + ", " + std::to_string(std::max(0L, std::lround(left))) +
           " s left";
}

std::string defaultToolkitName() {
    const char* named = std::getenv("TRELLYBRIDGE_UI");
    return named && *named ? named : "headless";
}

}  // namespace trellybridge::cli
