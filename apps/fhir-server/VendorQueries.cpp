#include "VendorQueries.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>

#include "common/FailureNote.h"
#include "common/Pace.h"
#include "common/RequestState.h"
#include "component/PatientAsFhir.h"
#include "component/RecordPublishing.h"
#include "component/RequestPreparation.h"
#include "session/ProgressWindow.h"
#include "session/RequestRun.h"

namespace trellybridge::fhirserver {
namespace {

// The settings whose element in a GetPatientData request has another name.
constexpr std::pair<std::string_view, std::string_view> kRequestNames[] = {
    {"DisplayDebugger", "Debug"},
    {"stripPaddedZeros", "TrimPaddingZeros"},
    {"CommPort", "ComPort"},
    {"BPS", "BitsPerSecond"},
    {"VendorRequestPath", "NetworkRequestPath"},
    {"VendorResultsPath", "NetworkResultsPath"},
};

std::string element(std::string_view name, std::string_view value) {
    return "<" + std::string(name) + ">" + std::string(value) + "</" + std::string(name) + ">";
}

std::string upper(std::string_view text) {
    std::string folded(text);
    std::transform(folded.begin(), folded.end(), folded.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return folded;
}

VendorAnswer failureOf(const TrellyBridgeComm& comm, VendorAnswer answer) {
    answer.failureKind = comm.get_FailureKind().toText();
    answer.failureNotes = comm.get_FailureNotes().toText();
    return answer;
}

// As the component's FailureKind and FailureNotes say what a request ended with.
void noteFailure(const FailureNotes& notes, VendorAnswer& answer) {
    if (answer.found) return;
    if (!notes.text().empty()) answer.failureKind = failureKindName(notes.latestKind());
    for (const std::string& line : notes.story())
        answer.failureNotes += (answer.failureNotes.empty() ? "" : "\n") + line;
}

// The request's own deadline, a little after its asker's, so that an answer that beats the
// asker is never one the deadline cut short.
int deadlineMs(VendorPool::Clock::time_point deadline) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - VendorPool::Clock::now());
    constexpr std::int64_t kDay = std::int64_t{24} * 3600 * 1000;
    return static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, kDay)) + 1;
}

}  // namespace

VendorPool::Work patientFetch(const GetPatientArguments& site, const std::string& account,
                              const std::string& accountSystem) {
    GetPatientArguments settings = site;
    settings.PatientID = account;
    return [settings, accountSystem](const VendorPool::Call& call) {
        RequestState state;
        if (configuration::prepareRequest(state, settings) == configuration::Prepared::Ready) {
            session::RequestOptions options;
            options.pace = Pace::Fast;
            options.cancel = &call.cancel;
            options.deadlineMs = deadlineMs(call.deadline);
            state = session::runRequest(std::move(state), options).state;
        }
        session::unloadProgressWindow();  // the bridge's connection or port
        VendorAnswer answer;
        answer.found = state.patientFound;
        if (answer.found) {
            logInsuranceEntries(state);
            answer.bundle =
                publishedRecordAsFhir(state.record, state.config.PatientID.toText(), accountSystem);
        }
        noteFailure(state.failures, answer);
        // A found record with nothing in it names nobody.
        if (answer.found && answer.bundle.empty()) answer.found = false;
        answer.late =
            !answer.found && (call.cancel.raised() || VendorPool::Clock::now() >= call.deadline);
        return answer;
    };
}

// A search runs through the component's GetPatientData, which reads the request's sections
// into the thread's settings before it runs.
VendorPool::Work patientSearch(const GetPatientArguments& site, const ApiRequest& search) {
    std::string request = searchRequest(site, search);
    return [request](const VendorPool::Call&) {
        TrellyBridgeComm comm;
        VendorAnswer answer;
        answer.result = comm.GetPatientData(request);
        answer = failureOf(comm, std::move(answer));
        comm.closeEnhancedBridgeConnection();
        return answer;
    };
}

std::string searchRequest(const GetPatientArguments& site, const ApiRequest& search) {
    std::string info = search.kind == ApiRequest::Kind::SearchSsn
                           ? element("SearchOn", "SSN") + element("Social", search.ssn)
                           : element("SearchOn", "NAME") + element("LastName", search.family) +
                                 element("FirstName", search.given);
    std::string bridge;
    for (std::size_t i = 0; i < GetPatientArguments::kCount; ++i) {
        std::string_view name = GetPatientArguments::name(i);
        if (name == "PatientID") continue;
        for (const auto& [setting, renamed] : kRequestNames)
            if (name == setting) name = renamed;
        bridge += element(name, site.at(i).toText());
    }
    return "<Request><UserInfo><CalledFrom>FHIR</CalledFrom></UserInfo><SearchInfo>" + info +
           element("CompanyID", "") + "</SearchInfo><BridgeParameters>" + bridge +
           "</BridgeParameters></Request>";
}

bool bridgeSearches(const std::string& bridge) {
    std::string folded = upper(bridge);
    return folded == "TCPIP" || folded == "SERIAL";
}

bool bridgeUsesFiles(const std::string& bridge) {
    std::string folded = upper(bridge);
    return folded == "VENDOR" || folded == "POLLING" || folded == "FOLDERS" || folded == "USB";
}

}  // namespace trellybridge::fhirserver
