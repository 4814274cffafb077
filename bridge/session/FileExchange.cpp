// The file-exchange bridges: VENDOR writes a request file and starts the vendor's
// program, POLLING writes the request file only, FOLDERS waits for <PatientID>.dat; all
// of them (and USB) read the answer from the results file.
#include "session/FileExchange.h"

#include <cctype>
#include <string_view>
#include <vector>

#include "common/AnswerLimit.h"
#include "common/BridgeConfiguration.h"
#include "common/FailureNote.h"
#include "common/Keywords.h"
#include "common/PhaseTrail.h"
#include "formats/Codecs.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Process.h"

namespace trellybridge::session {
namespace {

std::string attemptText(const Request& request, const std::string& what) {
    return " Attempt Number " + std::to_string(request.session.attemptCount) + " of " +
           request.config.AllowedRetries.toText() + " to " + what + "..." + CRLF;
}

bool isControl(char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

// A step that cannot go on: a line in the progress log, and the reason the request notes.
Unexpected<Failure> stepFailure(Request& request, const std::string& reason) {
    request.updateText(" " + reason + CRLF);
    return failsWithNote(reason);
}

}  // namespace

// A path that was
// never set (it holds the INVALID marker) or one holding a character that no Windows
// file name may hold would otherwise become a file of that name in the working folder.
std::string unusablePath(std::string_view what, const std::string& path) {
    bool usable = !path.empty() && path.find(kInvalidMarker) == std::string::npos;
    for (size_t i = 0; usable && i < path.size(); ++i) {
        char c = path[i];
        bool driveColon = c == ':' && i == 1 && std::isalpha(static_cast<unsigned char>(path[0]));
        usable = !isControl(c) && std::string_view("<>\"|?*").find(c) == std::string_view::npos &&
                 (c != ':' || driveColon);
    }
    if (usable) return {};
    std::string shown = path.empty() ? "(empty)" : path;
    for (char& c : shown)
        if (isControl(c)) c = '?';
    return std::string(what) + " path is not usable: " + shown;
}

std::string shownPath(const std::string& path) {
    return fs::hostPath(path);
}

RunLoop FileExchangeBridge::load(Request& request) {
    request.setPhase(Phase::Cleanup);
    request.updateText(std::string("Preparing request for patient...") + CRLF);
    request.session.timeoutTicks = request.config.NetworkTimeout.toText();
    return RunLoop::Network;
}

bool FileExchangeBridge::readAnswer(Request& request) {
    bool received = readPatientFile(request);
    if (!received) request.session.rawDataReceived.clear();
    request.countAttempt(received);
    return received;
}

bool FileExchangeBridge::answerAtHand(Request& request) {
    const std::string& results = request.settings.resultsPath;
    if (!unusablePath("results", results).empty()) return false;
    std::optional<fs::FileStamp> look = fs::stampOf(results);
    auto now = static_cast<std::uint32_t>(platform::clock().tickCount());
    if (look != lastLook_) {
        lastLook_ = look;
        unchangedSince_ = now;
        return false;
    }
    return look && now - unchangedSince_ >= kSettledMs;
}

Expected<void> deletePatientFiles(Request& request, bool vendor) {
    const SessionState& s = request.session;
    const RequestSettings& c = request.settings;
    if (s.attemptCount == 0) {
        request.workStarted();
        request.clearText();
        request.updateText(std::string("Removing previous file(s)...") + CRLF);
    } else {
        request.updateText(attemptText(request, "delete patient file(s)"));
    }
    // Every path the later steps use is looked at here, so that a request that cannot
    // be made deletes nothing. VENDOR without a request path hands the identifier to the
    // program instead of writing a file.
    bool requestFile = !vendor || !isUnsetText(c.requestPath);
    std::string problem = vendor ? unusablePath("vendor program", c.applicationPath) : "";
    if (problem.empty()) problem = unusablePath("results", c.resultsPath);
    if (problem.empty() && requestFile) problem = unusablePath("request", c.requestPath);
    if (!problem.empty()) return stepFailure(request, problem);
    fs::removeFile(c.resultsPath);
    if (requestFile) fs::removeFile(c.requestPath);
    return {};
}

Expected<void> sendNetworkRequest(Request& request, const Delivery& deliver) {
    SessionState& s = request.session;
    if (s.attemptCount == 0) {
        request.workStarted();
        request.clearText();
        request.updateText(std::string("Sending patient request over network...") + CRLF);
    } else {
        request.updateText(attemptText(request, "send patient request"));
    }
    request::BuiltRequest built = request::buildRequest(request.config, platform::clock());
    request.reasons.record(built.notices);
    if (!built.formatKnown) request.failureNotice("ERROR building patient request");
    s.requestText = built.text;

    Expected<void> sent = deliver(request);
    if (!sent) {
        const std::string& reason = sent.error().detail;
        request.updateText(" " + reason + CRLF);
        request.failureNotice("Unable to send patient request", reason);
    }
    return sent;
}

// The request as one line for the known formats, else empty. Other accounts' programs
// pick it up, so it is an ordinary file, not a private one.
Expected<void> writeRequestFile(const Request& request) {
    const std::string& path = request.settings.requestPath;
    if (std::string problem = unusablePath("request", path); !problem.empty())
        return failsWithNote(problem);
    std::string content =
        request.settings.format != FormatKind::Unknown ? request.session.requestText + CRLF : "";
    fs::FileOutcome written = fs::writeOrdinaryFileAtomically(path, content);
    if (!written.ok)
        return failsWithNote("could not write request file " + shownPath(path) + ": " +
                             written.reason);
    return {};
}

Expected<void> startVendorProgram(const Request& request, const std::vector<std::string>& arguments,
                                  process::Program& program) {
    std::string reason;
    std::string path = shownPath(request.settings.applicationPath);
    if (program.start(path, arguments, &reason)) return {};
    return failsWithNote("could not start vendor program " + path + ": " + reason);
}

bool readPatientFile(Request& request) {
    SessionState& s = request.session;
    const RequestSettings& c = request.settings;
    if (s.attemptCount == 0) {
        request.workStarted();
        request.clearText();
        request.updateText(std::string("Reading patient file...") + CRLF);
    } else {
        request.updateText(" Attempt Number " + std::to_string(s.attemptCount) +
                           " to read patient file..." + CRLF);
    }
    const std::string& path = c.resultsPath;
    if (std::string problem = unusablePath("results", path); !problem.empty()) {
        request.fail(stepFailure(request, problem).error());
        return false;
    }
    // A pipe, a device or a file past the answer limit is not an answer: it counts as a
    // file that is not there yet, and the next attempt looks again.
    fs::RegularFileRead read = fs::readRegularFile(path, maxAnswerBytes());
    if (read.failure == fs::RegularFileRead::Failure::TooLarge) {
        std::string limit = "more than " + std::to_string(maxAnswerBytes()) + " bytes";
        request.updateText(" Results file too large: " + limit + CRLF);
        request.reasons.note("results file " + shownPath(path) + " is too large: " + limit);
        return false;
    }
    if (!read) {
        request.reasons.note("could not read results file " + shownPath(path) + ": " + read.reason);
        return false;
    }
    s.rawDataReceived = std::move(*read.content);
    s.finishedReceiving = platform::clock().now();

    bool parsed = false;
    if (request.settings.format != FormatKind::Unknown) {
        const std::string& end = c.endCharacter;
        // Marked in place: a copy of an answer as large as the limit would double its cost.
        std::string& raw = s.rawDataReceived;
        const size_t size = raw.size();
        raw += end + end;
        parsed = request.processResponse(raw);
        raw.resize(size);
    }
    if (!parsed) {
        request.noteNoPatient("results file " + shownPath(path));
        return false;
    }
    if (c.keywords.has(keyword::PurgePatientData)) fs::removeFile(path);
    return true;
}

}  // namespace trellybridge::session
