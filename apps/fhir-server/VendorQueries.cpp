#include "VendorQueries.h"

#include <algorithm>
#include <cctype>

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

}  // namespace

VendorPool::Work patientFetch(const GetPatientArguments& site, const std::string& account,
                              const std::string& accountSystem) {
    GetPatientArguments settings = site;
    settings.PatientID = account;
    return [settings, accountSystem](TrellyBridgeComm& comm) {
        VendorAnswer answer;
        answer.found = comm.GetPatient(settings).isTrue();
        if (answer.found)
            answer.bundle = comm.patientAsFhir(accountSystem);
        else
            comm.ReturnPatient();  // publishes the errors of a request that ended early too
        answer = failureOf(comm, std::move(answer));
        comm.closeConnection();
        // A found record with nothing in it names nobody.
        if (answer.found && answer.bundle.empty()) answer.found = false;
        return answer;
    };
}

VendorPool::Work patientSearch(const GetPatientArguments& site, const ApiRequest& search) {
    std::string request = searchRequest(site, search);
    return [request](TrellyBridgeComm& comm) {
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
