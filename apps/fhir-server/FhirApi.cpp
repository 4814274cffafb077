#include "FhirApi.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <nlohmann/json.hpp>

#include "ApiRequest.h"
#include "Bundles.h"
#include "CapabilityStatement.h"
#include "Outcomes.h"
#include "PatientIds.h"
#include "SearchResults.h"
#include "VendorPool.h"
#include "VendorQueries.h"

namespace trellybridge::fhirserver {
namespace {

using platform::server::Response;
using Kind = ApiRequest::Kind;

// The most patients one search answers with; a search that lists more says so.
constexpr std::size_t kMaxListed = 100;

std::string utcNow() {
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

Response resource(std::string body, std::string outcome) {
    Response response;
    response.contentType = kFhirJson;
    response.body = std::move(body);
    response.outcome = std::move(outcome);
    return response;
}

// Names compare as the vendor compares them: without case, blanks or punctuation; a
// search value matches the names that begin with it, as FHIR's string search does.
std::string comparable(std::string_view text) {
    std::string kept;
    for (unsigned char c : text)
        if (std::isalnum(c) || c >= 0xC0) kept += static_cast<char>(c < 0x80 ? std::toupper(c) : c);
    return kept;
}

bool beginsWith(std::string_view name, std::string_view wanted) {
    std::string a = comparable(name), b = comparable(wanted);
    return a.compare(0, b.size(), b) == 0;
}

// Whether a listed patient is one the search asked for: the family and given names it
// gave (the vendor searched by one of them) and the birth date.
bool matches(const ListedPatient& patient, const ApiRequest& search) {
    auto field = [&patient](std::string_view wanted) {
        for (const auto& [name, value] : patient)
            if (comparable(name) == comparable(wanted)) return value;
        return std::string();
    };
    if (!search.family.empty() && !beginsWith(field("LastName"), search.family)) return false;
    if (!search.given.empty() && !beginsWith(field("FirstName"), search.given) &&
        !beginsWith(field("MiddleInitial"), search.given))
        return false;
    if (search.birthDate.empty()) return true;
    std::string born = field("BirthDate");
    std::string compact = search.birthDate.substr(0, 4) + search.birthDate.substr(5, 2) +
                          search.birthDate.substr(8, 2);
    return born == compact || born == search.birthDate;
}

}  // namespace

struct FhirApi::Impl {
    ApiSettings settings;
    std::string capabilities;
    std::unique_ptr<VendorPool> vendor;
    bool searches = false;
    bool fileBridge = false;  // the vendor answers through a results file

    // Asks the vendor within the deadline; `answered` is false with `response` set when it
    // could not.
    bool ask(VendorPool::Work work, std::chrono::steady_clock::time_point deadline,
             VendorAnswer& answer, Response& response) {
        switch (vendor->run(std::move(work), deadline, answer)) {
            case VendorPool::Outcome::Answered: return true;
            case VendorPool::Outcome::Busy:
                response = outcomeResponse(503,
                                           "the practice system is asked as often as it may "
                                           "be; try again shortly");
                response.headers.emplace_back("Retry-After", "2");
                response.outcome = "busy";
                return false;
            case VendorPool::Outcome::Late:
                response = outcomeResponse(
                    504, "the practice system did not answer within " +
                             std::to_string(settings.deadline.count() / 1000) + " s");
                response.outcome = "deadline";
                return false;
        }
        return false;
    }

    Response fetch(const ApiRequest& request, std::chrono::steady_clock::time_point deadline) {
        VendorAnswer answer;
        Response response;
        if (!settings.fixedBundle.empty()) {
            answer.found = true;
            answer.bundle = settings.fixedBundle;
        } else if (!ask(patientFetch(settings.site, request.account, settings.accountSystem),
                        deadline, answer, response)) {
            return response;
        }
        std::string id = idOfAccount(request.account).value_or("");
        if (!answer.found) {
            if (request.kind == Kind::SearchAccount && answer.failureKind == "not on file")
                return resource(searchset({}, 0), "not-found");
            return failureResponse(answer, fileBridge);
        }
        switch (request.kind) {
            case Kind::Read: return resource(patientAlone(answer.bundle, id), "found");
            case Kind::Everything: return resource(everything(answer.bundle, id), "found");
            default: return resource(searchset({searchEntry(answer.bundle, id)}, 1), "found");
        }
    }

    Response search(const ApiRequest& request, std::chrono::steady_clock::time_point deadline) {
        if (!searches)
            return outcomeResponse(
                400,
                "this practice system is searched by account number only: searching by name "
                "or social security number needs the TCPIP or SERIAL bridge, and this site's is " +
                    settings.site.NetworkBridgeType.toText(),
                "not-supported");
        VendorAnswer answer;
        Response response;
        if (!ask(patientSearch(settings.site, request), deadline, answer, response))
            return response;
        std::size_t listed = 0;
        std::vector<ListedPatient> patients = listedPatients(answer.result, kMaxListed, listed);
        if (listed == 0 && !answer.failureKind.empty() && answer.failureKind != "not on file") {
            return failureResponse(answer, fileBridge);
        }
        std::vector<std::string> entries;
        for (const ListedPatient& patient : patients) {
            if (!matches(patient, request)) continue;
            auto account = patient.find("PatientID");
            std::string id =
                account == patient.end() ? "" : idOfAccount(account->second).value_or("");
            std::string entry = searchEntry(patientBundle(patient, settings.accountSystem), id);
            if (!entry.empty()) entries.push_back(std::move(entry));
        }
        std::string warning = listed > kMaxListed
                                  ? "the practice system listed " + std::to_string(listed) +
                                        " patients and the first " + std::to_string(kMaxListed) +
                                        " were looked at: narrow the search"
                                  : std::string();
        std::size_t total = entries.size();
        return resource(searchset(entries, total, warning), total ? "found" : "not-found");
    }
};

FhirApi::FhirApi(ApiSettings settings) : impl_(std::make_unique<Impl>()) {
    Impl& impl = *impl_;
    impl.settings = std::move(settings);
    impl.searches = bridgeSearches(impl.settings.site.NetworkBridgeType.toText());
    impl.fileBridge = bridgeUsesFiles(impl.settings.site.NetworkBridgeType.toText());
    Capabilities capabilities;
    capabilities.date = utcNow();
    capabilities.bridge = impl.settings.site.NetworkBridgeType.toText();
    capabilities.format = impl.settings.site.VendorFormatType.toText();
    capabilities.accountSystem = impl.settings.accountSystem;
    capabilities.nameSearch = impl.searches;
    capabilities.tokens = impl.settings.tokens;
    capabilities.certificates = impl.settings.certificates;
    impl.capabilities = capabilityStatement(capabilities);
    impl.vendor = std::make_unique<VendorPool>(impl.settings.vendorRequests, impl.settings.waiting);
}

FhirApi::~FhirApi() = default;

Response FhirApi::answer(const platform::server::Request& asked) {
    auto deadline = std::chrono::steady_clock::now() + impl_->settings.deadline;
    ApiRequest request = readApiRequest(asked, impl_->settings.accountSystem);
    Response response;
    switch (request.kind) {
        case Kind::Refused:
            response = outcomeResponse(request.status, request.why);
            response.headers = request.headers;
            break;
        case Kind::Metadata: response = resource(impl_->capabilities, "metadata"); break;
        case Kind::Read:
        case Kind::Everything:
        case Kind::SearchAccount: response = impl_->fetch(request, deadline); break;
        case Kind::SearchSsn:
        case Kind::SearchName: response = impl_->search(request, deadline); break;
    }
    response.operation = operationName(request.kind);
    response.identifier = !request.account.empty() ? request.account
                          : !request.ssn.empty()   ? request.ssn
                                                   : request.family + "," + request.given;
    if (request.kind == Kind::Metadata || request.kind == Kind::Refused)
        response.identifier.clear();
    return response;
}

Response refusal(int status, const std::string& why) {
    return outcomeResponse(status, why);
}

}  // namespace trellybridge::fhirserver
