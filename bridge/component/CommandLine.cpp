#include "component/CommandLine.h"

#include "component/RequestPreparation.h"
#include "component/ThreadState.h"

namespace trellybridge {

bool readAnswerAtHand(TrellyBridgeComm& comm, const GetPatientArguments& arguments,
                      std::string_view answer) {
    {
        ThreadRequest request;
        RequestState& state = request.state();
        state.patientFound = false;
        state.record.clear();
        state.failures.clear();
        session::RequestOptions options;
        options.kind = session::RequestKind::AnswerAtHand;
        options.answer = answer;
        if (configuration::prepareRequest(state, arguments, configuration::kForAnswerAtHand) ==
            configuration::Prepared::Ready)
            request.run(options);
    }
    comm.ReturnPatient();
    return threadState().patientFound;
}

std::string lastDebugLogFile() {
    return threadState().debugLogFile;
}

}  // namespace trellybridge
