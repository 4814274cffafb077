#include "Outcomes.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace trellybridge::fhirserver {
namespace {

std::string issueCodeOf(int status) {
    switch (status) {
        case 400: return "invalid";
        case 401: return "login";
        case 403: return "forbidden";
        case 404: return "not-found";
        case 405:
        case 406: return "not-supported";
        case 408:
        case 504: return "timeout";
        case 413:
        case 414:
        case 431: return "too-costly";
        case 502: return "transient";
        case 503: return "throttled";
        default: return "exception";
    }
}

// The code of the latest failure note ("error 328: ..." is 328), 0 when it has none.
int latestErrorCode(const std::string& notes) {
    size_t start = notes.rfind('\n', notes.size() > 1 ? notes.size() - 2 : 0);
    std::string last = notes.substr(start == std::string::npos ? 0 : start + 1);
    if (last.rfind("error ", 0) != 0) return 0;
    try {
        return std::stoi(last.substr(6));
    } catch (...) {
        return 0;
    }
}

// Codes the component records when the vendor said nothing in time: no answer to the query
// (HostTimedOut) and the web service's time-out (PageTimedOut).
constexpr int kNoAnswerInTime[] = {328, 20};

}  // namespace

platform::server::Response outcomeResponse(int status, const std::string& why,
                                           const std::string& issueCode) {
    nlohmann::ordered_json issue;
    issue["severity"] = "error";
    issue["code"] = issueCode.empty() ? issueCodeOf(status) : issueCode;
    issue["diagnostics"] = why;
    nlohmann::ordered_json outcome;
    outcome["resourceType"] = "OperationOutcome";
    outcome["issue"] = nlohmann::ordered_json::array({issue});
    platform::server::Response response;
    response.status = status;
    response.contentType = kFhirJson;
    response.body = outcome.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    response.outcome = issue["code"].get<std::string>();
    return response;
}

platform::server::Response failureResponse(const VendorAnswer& answer, bool fileBridge) {
    auto ending = [](int status, const std::string& why, const std::string& outcome) {
        platform::server::Response response = outcomeResponse(status, why);
        response.outcome = outcome;
        return response;
    };
    const std::string& kind = answer.failureKind;
    if (kind == "not on file")
        return ending(404, "the practice system has no patient with this account number",
                      "not-found");
    if (kind == "settings")
        return ending(500,
                      "the service's bridge settings cannot make this request; its "
                      "administrator can see why with trellybridge serve --check",
                      "settings");
    int code = latestErrorCode(answer.failureNotes);
    bool silent = std::find(std::begin(kNoAnswerInTime), std::end(kNoAnswerInTime), code) !=
                      std::end(kNoAnswerInTime) ||
                  (fileBridge && code == 0);
    if (kind == "unreachable" && silent)
        return ending(504, "the practice system did not answer in time", "vendor-silent");
    static const std::pair<const char*, const char*> kSentences[] = {
        {"refused", "the practice system refused the query"},
        {"unreadable", "the practice system's answer could not be read"},
        {"incomplete", "the practice system's answer was cut off"},
    };
    for (const auto& [name, sentence] : kSentences)
        if (kind == name) return ending(502, sentence, std::string("vendor-") + name);
    return ending(502, "the practice system could not be reached", "vendor-unreachable");
}

}  // namespace trellybridge::fhirserver
