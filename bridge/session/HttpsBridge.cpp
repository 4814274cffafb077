// The HTTPS bridge: the web service is called once when the window loads and again on
// each read attempt; the first answer ends the session.
#include <algorithm>

#include "common/AnswerLimit.h"
#include "common/Errors.h"
#include "common/FailureNote.h"
#include "common/PhaseTrail.h"
#include "common/Text.h"
#include "common/XmlHelpers.h"
#include "formats/AnswerDispatch.h"
#include "platform/HttpClient.h"
#include "platform/ObjectRegistry.h"
#include "session/Bridges.h"
#include "session/WebService.h"

namespace trellybridge::session {
namespace {

constexpr const char* kLogon = "orvel";
constexpr const char* kPassword = "kxv482";
constexpr const char* kFormat = "orvel";
constexpr const char* kMaskedPassword = "********";

// The service's own error numbers; they are not in the recorders' table.
constexpr errc kInvalidLogon = static_cast<errc>(201);
constexpr errc kMissingDigitalId = static_cast<errc>(202);
constexpr errc kNoApiForOrganization = static_cast<errc>(203);
constexpr errc kPatientNotFound = static_cast<errc>(204);

// The longest piece of a service's text that a progress line repeats.
constexpr std::size_t kShownServiceText = 200;

bool isUnreserved(char c) {
    auto byte = static_cast<unsigned char>(c);
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
           (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
}

std::string formEncoded(std::string_view value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (char c : value) {
        auto byte = static_cast<unsigned char>(c);
        if (isUnreserved(c)) {
            encoded += c;
        } else if (c == ' ') {
            encoded += '+';
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0x0F];
        }
    }
    return encoded;
}

// The text between an element's tags, without surrounding blanks and line ends.
std::string elementText(std::string_view element) {
    size_t open = element.find('>');
    size_t close = element.rfind("</");
    if (open == std::string_view::npos || close == std::string_view::npos || close <= open)
        return {};
    std::string_view inner = element.substr(open + 1, close - open - 1);
    size_t first = inner.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return std::string(inner.substr(first, inner.find_last_not_of(" \t\r\n") - first + 1));
}

std::string shownText(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    if (text.size() > kShownServiceText) text = text.substr(0, kShownServiceText) + "...";
    return text;
}

// A failed call: the recorder keeps it as the system always did (and drops it while an
// attempt runs); the progress log and the failure notes say why in words.
void callFailed(Request& request, errc code, const std::string& why) {
    request.reasons.record(code, why);
    request.reasons.note(code, why,
                         why.starts_with(platform::http_error::kCutOffAnswer)
                             ? FailureKind::Incomplete
                             : FailureKind::Unreachable);
    request.updateText(" " + why + CRLF);
    request.attemptFailed();
}

// Credentials that cannot be used are a settings error: the request ends at once, as no
// other attempt could do better.
void credentialsFailed(Request& request, errc code, const std::string& why) {
    request.reasons.record(code, why);
    request.reasons.note(code, why, FailureKind::Settings);
    request.updateText(" " + why + CRLF);
    request.setPatientFound(false);
    request.end();
}

// Each call is over before the session's wait for the next attempt would be: the wait
// between attempts, at least one second.
long callBoundMs(const Request& request) {
    double ms = request.settings.networkTimeoutTicks * request.settings.timeDelayMs;
    return static_cast<long>(std::clamp(ms, 1000.0, 600000.0));
}

// One call of the web service, with what the session shows and notes of it.
class WebServiceCall {
public:
    // Calls the web service once; the answer, or empty text.
    std::string readPatientStream(Request& request) {
        SessionState& s = request.session;
        const BridgeConfiguration& c = request.config;
        try {
            if (s.attemptCount == 0) {
                request.workStarted();
                s.attemptCount = 1;
                request.clearText();
                request.updateText("Preparing to send HTTPS request to " +
                                   c.VendorApplicationPath.toText() + "..." + CRLF);
            } else {
                request.updateText(" Attempt Number " + std::to_string(s.attemptCount) + " of " +
                                   c.AllowedRetries.toText() + " to read patient stream..." + CRLF);
            }
            s.rawDataReceived.clear();
            s.rawDataReceived = requestWebService(request);
            s.finishedReceiving = platform::clock().now();
            bool parsed = false;
            if (request.patientFound()) {
                request.setTickInterval(RunLoop::Network, request.settings.timeDelayMs);
                if (request.settings.format != FormatKind::Unknown) {
                    // Marked in place: a copy of an answer as large as the limit would
                    // double its cost.
                    std::string& raw = s.rawDataReceived;
                    const size_t size = raw.size();
                    raw += request.settings.endCharacter + request.settings.endCharacter;
                    parsed = request.processResponse(raw);
                    raw.resize(size);
                    if (!parsed) request.noteNoPatient("the web service's answer");
                } else {
                    // An answer no parser reads holds no patient.
                    request.setPatientFound(false);
                    request.reasons.note(FailureKind::Settings, "VendorFormatType " +
                                                                    c.VendorFormatType.toText() +
                                                                    " is not " + formatNameList() +
                                                                    ": the answer is not read");
                }
            }
            return parsed ? s.rawDataReceived : std::string();
        } catch (...) {
            request.failureNotice("ERROR receiving HTTPS response");
            return {};
        }
    }

private:
    static std::string requestWebService(Request& request) {
        SessionState& s = request.session;
        const BridgeConfiguration& c = request.config;
        std::string address = webServiceAddress(c);
        s.requestText = webServiceQuery(c, true);

        platform::registerHttpClient();
        auto client = platform::ObjectRegistry::instance().create(platform::kHttpClientProgId);
        if (!client) {
            callFailed(
                request, errc::WebServiceUndetermined,
                std::string("no HTTP client is registered as ") + platform::kHttpClientProgId);
            return {};
        }
        auto put = [&client](const char* name, Variant value) {
            Variant ignored;
            client->invoke(name, platform::MemberKind::PutByValue, std::span(&value, 1), ignored);
        };
        put("ConnectionTimeout", 10000);
        put("ForceReload", true);
        put("SendClientCertificate", true);
        put("Timeout", callBoundMs(request));
        put("MaxResponseBytes", static_cast<long long>(maxAnswerBytes()));
        const Variant arguments[] = {address, 0, webServiceQuery(c, false), "", ""};
        Variant result;
        platform::InvokeStatus status =
            client->invoke("Retrieve", platform::MemberKind::Method, arguments, result);
        if (status != platform::InvokeStatus::Ok) {
            const platform::RaisedError& raised = client->raisedError();
            int number =
                raised.number > 0 ? raised.number : errorNumber(errc::WebServiceUndetermined);
            std::string why = raised.description.empty()
                                  ? "the web service could not be called at " + address
                                  : raised.description;
            Variant local;
            client->invoke("LocalFailure", platform::MemberKind::Get, {}, local);
            if (local.isTrue())
                credentialsFailed(request, static_cast<errc>(number), why);
            else
                callFailed(request, static_cast<errc>(number), why);
            return {};
        }
        std::string response = result.toText();
        if (response.empty()) {
            callFailed(request, errc::WebServiceUndetermined,
                       "the web service at " + address + " answered with an empty body");
            return {};
        }
        if (text::containsUpperCased(response, "<ERROR")) {
            request.attemptFailed();
            serviceErrorText(request, response);
            return response;
        }
        request.setPatientFound(true);
        return response;
    }

    static void serviceErrorText(Request& request, const std::string& response) {
        struct Known {
            const char* text;
            errc code;
        };
        static const Known kKnown[] = {
            {"INVALID LOGON.", kInvalidLogon},
            {"INVALID OR MISSING DIGITAL ID.", kMissingDigitalId},
            {"THE ORVEL VELQUIN API IS NOT AVAILABLE FOR THIS ORGANIZATION.",
             kNoApiForOrganization},
            {"PATIENT NOT FOUND.", kPatientNotFound},
        };
        xml::Document document(response);
        bool explained = false;
        for (const xml::Searchable& element : xml::getXMLElements(document.whole(), "error")) {
            std::string said = elementText(element.text);
            if (!said.ends_with('.')) said += '.';
            std::string upper = text::upper(said);
            auto known = std::find_if(std::begin(kKnown), std::end(kKnown),
                                      [&upper](const Known& k) { return upper == k.text; });
            if (known == std::end(kKnown)) {
                request.reasons.note("the web service reported an error: " + shownText(said));
                request.updateText(" The web service reported: " + shownText(said) + CRLF);
                explained = true;
                continue;
            }
            std::string message = serviceErrorMessage(errorNumber(known->code), request.config);
            if (known->code == kPatientNotFound) request.setPatientFound(false);
            request.reasons.append(known->code, message);
            request.reasons.note(known->code, message,
                                 known->code == kPatientNotFound ? FailureKind::NotOnFile
                                                                 : FailureKind::Unreachable);
            request.updateText(" " + shownText(message) + CRLF);
            explained = true;
        }
        if (!explained)
            request.reasons.note("the web service answered with an error: " + shownText(response));
    }
};

class HttpsBridge : public Bridge {
public:
    RunLoop load(Request& request) override {
        SessionState& s = request.session;
        request.setPhase(Phase::Read);
        s.attemptCount = 0;
        s.rawDataReceived = service_.readPatientStream(request);
        s.timeoutTicks = request.config.NetworkTimeout.toText();
        return RunLoop::Network;
    }
    bool readAnswer(Request& request) override {
        SessionState& s = request.session;
        s.rawDataReceived = service_.readPatientStream(request);
        bool received = !s.rawDataReceived.empty();
        if (!received)
            s.attemptCount += 1;
        else
            request.updateText(
                std::string(request.patientFound() ? " ...Successful!" : " ...Failed!") + CRLF +
                CRLF);
        return received;
    }

private:
    WebServiceCall service_;
};

}  // namespace

std::string webServiceAddress(const BridgeConfiguration& c) {
    return c.VendorApplicationPath.toText() + c.VendorRequestPath.toText();
}

std::string webServiceQuery(const BridgeConfiguration& c, bool maskPassword) {
    // An organisation never set holds the INVALID marker, which no service knows.
    std::string organization = isUnset(c.HTTPSOrganizationID) ? "" : c.HTTPSOrganizationID.toText();
    return "orgid=" + formEncoded(organization) + "&pid=" + formEncoded(c.PatientID.toText()) +
           "&logon=" + formEncoded(kLogon) +
           "&password=" + (maskPassword ? kMaskedPassword : formEncoded(kPassword)) +
           "&format=" + formEncoded(kFormat);
}

std::string serviceErrorMessage(int code, const BridgeConfiguration& c) {
    switch (code) {
        case 201: return "VELQUIN Service: invalid logon";
        case 202: return "VELQUIN Service: missing client certificate or incorrect organization ID";
        case 203: return "VELQUIN Service: invalid or missing vendor organization ID.";
        case 204:
            return "VELQUIN Service: could not locate " + c.PatientID.toText() +
                   " on vendor system.";
        default: return {};
    }
}

std::unique_ptr<Bridge> makeHttpsBridge() {
    return std::make_unique<HttpsBridge>();
}

}  // namespace trellybridge::session
