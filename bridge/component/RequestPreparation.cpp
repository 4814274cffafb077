#include "component/RequestPreparation.h"

#include <string>
#include <utility>

#include "common/Errors.h"
#include "common/FailureNote.h"
#include "common/ThreadState.h"
#include "component/Configuration.h"
#include "pages/PropertyPages.h"
#include "platform/Toolkit.h"

namespace trellybridge::configuration {
namespace {

// The settings pages, in the order the user sees them.
void showPropertyPages(const BridgeConfiguration& config) {
    pages::showPage("frmCommonPropertyPage");
    if (formatKind(config) == FormatKind::Hl7) pages::showPage("frmMEDICProperties");
    BridgeKind bridge = bridgeKind(config);
    if (bridge == BridgeKind::Serial) {
        pages::showPage("frmSerialPropertyPage");
        pages::showPage("frmMoreSerialProperties");
    } else if (bridge == BridgeKind::TcpIp) {
        pages::showPage("frmTCPTest");
    } else if (bridge == BridgeKind::Https) {
        pages::showPage("frmNetworkProperties");
        pages::showPage("frmHTTPSProperties");
    } else {
        pages::showPage("frmNetworkProperties");
    }
}

// A setting that must not reach a file, a program or the wire ends the request before
// anything is touched, and says why: in the error list, on the progress display and in
// the failure note.
Prepared refuse(const std::string& problem) {
    threadState().session.attemptCount = 0;  // no attempt runs: the error is kept
    recordError(errc::InvalidParameter, problem);
    ui::toolkit().progress(ui::ProgressKind::Log, "Request not sent: " + problem + "\r\n");
    noteFailure(FailureKind::Settings, problem);
    return Prepared::Refused;
}

}  // namespace

Prepared prepareRequest(BridgeConfiguration& config, const GetPatientArguments& arguments,
                        PreparationMode mode) {
    auto problemOf = [&](std::string problem) {
        return mode.refuseUnusable ? std::move(problem) : std::string();
    };
    // Read afresh each time: a page may change the setting.
    auto pages = [&] { return mode.showPages && config.DisplayProperties.toText() == "true"; };

    storeArguments(config, arguments);
    if (pages()) showPropertyPages(config);
    if (!adjustForBridge(config)) return Prepared::Ended;
    if (std::string problem = problemOf(patientIdProblem(config)); !problem.empty())
        return refuse(problem);
    if (formatKind(config) == FormatKind::Hl7 &&
        checkCompanyNumber(config) == CompanyCheck::Rejected) {
        noteFailure(FailureKind::Settings,
                    "the request was not sent: the company number of PatientID " +
                        config.PatientID.toText() +
                        " is not valid (MEDICNumberDefault, MEDICNumberValidList)");
        return Prepared::Ended;
    }
    // The company check may have put the default company in front of the identifier.
    if (std::string problem = problemOf(patientIdProblem(config)); !problem.empty())
        return refuse(problem);
    assignBridgePaths(config);
    if (config.VendorName.toText() == "HIS" && pages()) pages::showPage("frmHISProperties");
    applyFinalDefaults(config);
    if (std::string problem = problemOf(timeDelayProblem(config)); !problem.empty())
        return refuse(problem);
    return Prepared::Ready;
}

}  // namespace trellybridge::configuration
