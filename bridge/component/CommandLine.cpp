#include "component/CommandLine.h"

#include "component/RequestPreparation.h"
#include "component/ThreadState.h"

namespace trellybridge {

bool readAnswerAtHand(TrellyBridgeComm& comm, const GetPatientArguments& arguments,
                      std::string_view answer) {
    ThreadState& state = threadState();
    state.patientFound = false;
    state.record.clear();
    state.failures.clear();
    using configuration::Prepared;
    session::RequestOptions options;
    options.kind = session::RequestKind::AnswerAtHand;
    options.answer = answer;
    if (configuration::prepareRequest(state, arguments, configuration::kForAnswerAtHand) ==
        Prepared::Ready)
        runFromThread(state, options);
    comm.ReturnPatient();
    return state.patientFound;
}

std::string lastDebugLogFile() {
    return threadState().debugLogFile;
}

}  // namespace trellybridge
