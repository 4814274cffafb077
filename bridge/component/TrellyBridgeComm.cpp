#include "trellybridge/TrellyBridgeComm.h"

#include <optional>

#include "common/Errors.h"
#include "common/FailureNote.h"
#include "common/Version.h"
#include "component/Configuration.h"
#include "component/RecordPublishing.h"
#include "component/RequestPreparation.h"
#include "component/ThreadState.h"
#include "platform/Clock.h"
#include "platform/Toolkit.h"
#include "session/EnhancedWindow.h"
#include "session/ProgressWindow.h"

namespace trellybridge {

Variant TrellyBridgeComm::GetPatient(const GetPatientArguments& arguments) {
    using configuration::Prepared;
    // No exception crosses the interface: whatever fails, the caller learns only whether
    // the patient was found, and what the request ended with is published.
    std::optional<Prepared> prepared;  // none: the request broke off
    try {
        ThreadRequest request;
        RequestState& state = request.state();
        // A found flag left over from an earlier request must not report this one as found.
        state.patientFound = false;
        state.record.clear();
        state.failures.clear();
        state.debugLogFile.clear();
        Prepared ready = configuration::prepareRequest(state, arguments);
        if (ready == Prepared::Ready) request.run({});
        prepared = ready;
    } catch (...) {
    }
    const ThreadState& state = threadState();
    try {
        // A request that ended in its preparation publishes nothing but why.
        if (prepared && *prepared != Prepared::Ended) {
            ReturnPatient();
            return Variant(state.patientFound);
        }
    } catch (...) {
    }
    publishFailure(state.failures, state.patientFound);
    return Variant(state.patientFound);
}

Variant TrellyBridgeComm::GetPatient(
    const Variant& PatientID, const Variant& NetworkBridgeType, const Variant& VendorFacility,
    const Variant& VendorName, const Variant& VendorRequestTag, const Variant& VendorFormatType,
    const Variant& VendorFormatVersion, const Variant& EOFCharacter, const Variant& EOLCharacter,
    const Variant& EOFRequest, const Variant& AllowedRetries, const Variant& stripPaddedZeros,
    const Variant& DisplayProperties, const Variant& DisplayDebugger,
    const Variant& InsuranceOverrides, const Variant& CaseSensitivity,
    const Variant& LogInsuranceEntries, const Variant& HISDSN, const Variant& HISBusinessUnit,
    const Variant& HTTPSOrganizationID, const Variant& HTTPSSubjectCN,
    const Variant& TCPRemoteHostName, const Variant& TCPRemotePorts,
    const Variant& MEDICNumberDefault, const Variant& MEDICNumberLength,
    const Variant& MEDICNumberValidList, const Variant& MEDICuseGuarantorAddress,
    const Variant& CommPort, const Variant& DTR, const Variant& RTS, const Variant& EOF_,
    const Variant& Handshaking, const Variant& InputMode, const Variant& NullDiscard,
    const Variant& BPS, const Variant& DataBits, const Variant& Parity, const Variant& StopBits,
    const Variant& FlowControl, const Variant& InputLength, const Variant& InBufferSize,
    const Variant& OutBufferSize, const Variant& RThreshold, const Variant& SThreshold,
    const Variant& SerialTimeout, const Variant& VendorApplicationPath,
    const Variant& VendorRequestPath, const Variant& VendorResultsPath,
    const Variant& NetworkTimeout, const Variant& TimeDelay) {
    GetPatientArguments arguments;
#define TRELLYBRIDGE_COPY(name) arguments.name = name;
    TRELLYBRIDGE_GETPATIENT_ARGUMENTS(TRELLYBRIDGE_COPY)
#undef TRELLYBRIDGE_COPY
    return GetPatient(arguments);
}

void TrellyBridgeComm::publishFailure(const FailureNotes& notes, bool found) {
    failureReason_ = found ? std::string() : notes.text();
    failureNotes_.clear();
    if (!found)
        for (const std::string& line : notes.story())
            failureNotes_ += (failureNotes_.empty() ? "" : "\n") + line;
    failureKind_ = found || failureReason_.empty()
                       ? std::string()
                       : std::string(failureKindName(notes.latestKind()));
}

Variant TrellyBridgeComm::ReturnPatient() {
    ThreadState& state = threadState();
    publishedFor_ = state.config.PatientID.toText();
    publishFailure(state.failures, state.patientFound);
    setProperty(ResultProperty::DebugDataDump, state.debugDataDump);
    setProperty(ResultProperty::ErrorCodes, "");
    setProperty(ResultProperty::ErrorDescriptions, "");

    if (!state.patientFound) {
        setProperty(ResultProperty::DebugDataDump, "");
        setProperty(ResultProperty::ErrorCodes, state.errorList);
        setProperty(ResultProperty::ErrorDescriptions, state.errorList);
        for (int i = 0; i < kRecordPropertyCount; ++i)
            setProperty(static_cast<ResultProperty>(i), "");
        return {};
    }

    publishRecord(*this, state.record);

    if (!logInsuranceEntries(state)) return {};  // published, but neither logged nor with errors
    setProperty(ResultProperty::ErrorCodes, state.errorList);
    setProperty(ResultProperty::ErrorDescriptions, state.errorList);
    return {};
}

Variant TrellyBridgeComm::resetGlobalValues() {
    threadState().record.clear();
    return {};
}

namespace {
void endRequest(RequestState& state) {
    state.session.elapsedTicks = 0;
    state.session.completionCode = 0;
    state.patientFound = false;
    state.session.attemptCount = 0;
    state.session.rawDataReceived.clear();
}

// The host ends the request: also one still running, when it calls from inside it (a
// progress callback), so that what it ends with is what the host ended.
void endRequests() {
    endRequest(threadState());
    if (ThreadRequest* request = ThreadRequest::current()) endRequest(request->state());
    if (RequestState* running = session::runningRequest()) endRequest(*running);
}
}  // namespace

Variant TrellyBridgeComm::closeConnection() {
    endRequests();
    session::unloadProgressWindow();
    return {};
}

Variant TrellyBridgeComm::closeEnhancedBridgeConnection() {
    endRequests();
    session::unloadEnhancedWindow();
    return {};
}

Variant TrellyBridgeComm::VerifySerialSettings() {
    return Variant(threadState().session.completionCode == 1);
}

Variant TrellyBridgeComm::GetControlVersion() {
    return Variant(kControlVersion);
}

Variant TrellyBridgeComm::SetCommonParameters() {
    ThreadState& state = threadState();
    configuration::normaliseCommonParameters(state.config, state.reasons());
    return {};
}

}  // namespace trellybridge
