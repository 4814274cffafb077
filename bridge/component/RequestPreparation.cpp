#include "component/RequestPreparation.h"

#include <span>
#include <string>
#include <utility>
#include <vector>

#include "common/Errors.h"
#include "common/FailureNote.h"
#include "common/RequestState.h"
#include "component/Configuration.h"
#include "pages/PropertyPages.h"
#include "platform/Toolkit.h"

namespace trellybridge::configuration {
namespace {

// The settings pages, in the order the user sees them.
void showPropertyPages(RequestState& state) {
    auto show = [&](std::string_view name) { pages::showPage(name, state.config, state.session); };
    show("frmCommonPropertyPage");
    if (formatKind(state.config) == FormatKind::Hl7) show("frmMEDICProperties");
    const BridgeRow* row = bridgeRow(bridgeKind(state.config));
    for (std::string_view page : row ? std::span<const std::string_view>(row->pages)
                                     : std::span<const std::string_view>(kPagesOfNoBridge))
        if (!page.empty()) show(page);
}

// A setting that must not reach a file, a program or the wire ends the request before
// anything is touched, and says why: in the error list, on the progress display and in
// the failure note.
Prepared refuse(RequestState& state, const std::string& problem) {
    state.session.attemptCount = 0;  // no attempt runs: the error is kept
    state.reasons().record(errc::InvalidParameter, problem);
    ui::toolkit().progress(ui::ProgressKind::Log, "Request not sent: " + problem + "\r\n");
    state.reasons().note(FailureKind::Settings, problem);
    return Prepared::Refused;
}

std::string joined(const std::vector<std::string>& problems) {
    std::string text;
    for (const std::string& problem : problems) text += (text.empty() ? "" : "; ") + problem;
    return text;
}

}  // namespace

Prepared prepareRequest(RequestState& state, const GetPatientArguments& arguments,
                        PreparationMode mode) {
    BridgeConfiguration& config = state.config;
    Reasons reasons = state.reasons();
    auto problemOf = [&](std::string problem) {
        return mode.refuseUnusable ? std::move(problem) : std::string();
    };
    // Read afresh each time: a page may change the setting.
    auto pages = [&] { return mode.showPages && config.DisplayProperties.toText() == "true"; };

    state.settings.reset();
    storeArguments(config, arguments);
    if (pages()) showPropertyPages(state);
    if (!adjustForBridge(config, reasons)) return Prepared::Ended;
    if (std::string problem = problemOf(patientIdProblem(config)); !problem.empty())
        return refuse(state, problem);
    if (formatKind(config) == FormatKind::Hl7 &&
        checkCompanyNumber(config, reasons) == CompanyCheck::Rejected) {
        reasons.note(FailureKind::Settings,
                     "the request was not sent: the company number of PatientID " +
                         config.PatientID.toText() +
                         " is not valid (MEDICNumberDefault, MEDICNumberValidList)");
        return Prepared::Ended;
    }
    // The company check may have put the default company in front of the identifier.
    if (std::string problem = problemOf(patientIdProblem(config)); !problem.empty())
        return refuse(state, problem);
    assignBridgePaths(config);
    if (config.VendorName.toText() == "HIS" && pages())
        pages::showPage("frmHISProperties", config, state.session);
    applyFinalDefaults(config);
    if (std::string problem = problemOf(joined(unusableSettings(config))); !problem.empty())
        return refuse(state, problem);
    state.settings = readRequestSettings(config);
    return Prepared::Ready;
}

}  // namespace trellybridge::configuration
