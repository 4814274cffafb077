// The HL7 members of the class: thin variant wrappers over the parser and primitives.
#include <stdexcept>

#include "component/RecordPublishing.h"
#include "component/ThreadState.h"
#include "formats/AnswerDispatch.h"
#include "formats/Codecs.h"
#include "formats/Hl7Primitives.h"
#include "platform/Toolkit.h"
#include "session/Session.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge {
namespace {
long level(const Variant& value) {
    return static_cast<long>(value.toWholeNumber().value_or(0));
}
}  // namespace

Variant TrellyBridgeComm::parseHL7Stream(const Variant& HL7AStream) {
    ThreadState& state = threadState();
    // The host's call is a request of its own: the settings are read as they stand now,
    // and none stays behind for the next request.
    state.settings = readRequestSettings(state.config);
    struct Forget {
        ThreadState& state;
        ~Forget() { state.settings.reset(); }
    } forget{state};
    try {
        // The record is published as read, before the keywords' guarantor substitutions;
        // those reach the properties when a request publishes.
        formats::ParseResult result =
            formats::parseHL7Stream(HL7AStream.toText(), state.config, session::parseContext(state),
                                    [this, &state](const PatientRecord& record) {
                                        publishedFor_ = state.config.PatientID.toText();
                                        publishRecord(*this, record);
                                    });
        session::showMessageBoxes(result);
        session::applyParseResult(state, result);
    } catch (...) {
    }
    return Variant(state.patientFound);
}

Variant TrellyBridgeComm::getHL7Record(const Variant& HL7Stream, const Variant& HL7Tag,
                                       const Variant& SequentialOccurrence) {
    std::string stream = HL7Stream.toText();
    return std::string(hl7::getHL7Record(stream, HL7Tag.toText(), level(SequentialOccurrence)));
}

Variant TrellyBridgeComm::getHL7Field(const Variant& HL7Stream, const Variant& HL7Tag,
                                      const Variant& HL7Level) {
    std::string stream = HL7Stream.toText();
    return std::string(hl7::getHL7Field(stream, HL7Tag.toText(), level(HL7Level)));
}

Variant TrellyBridgeComm::getHL7SubField(const Variant& HL7Stream, const Variant& HL7OuterTag,
                                         const Variant& HL7Tag, const Variant& HL7Level) {
    std::string stream = HL7Stream.toText();
    ThreadState& state = threadState();
    const BridgeConfiguration& config = state.config;
    char terminator;
    try {
        terminator = hl7::requireComponentTerminator(config);
    } catch (const std::exception& failure) {
        // A lookup that cannot be made shows why when debugging, and ends the exchange
        // as in a parse.
        if (config.DisplayDebugger.toText() == "true") {
            ui::toolkit().messageBox("5 - " + std::string(failure.what()), "", ui::Icon::None);
            ui::toolkit().messageBox("ERROR capturing HL7 <subfield>", "Attention!",
                                     ui::Icon::Critical);
        }
        formats::ParseResult failed;
        failed.disconnected = true;
        session::applyParseResult(state, failed);
        return std::string();
    }
    return std::string(hl7::getHL7SubField(stream, HL7OuterTag.toText(), HL7Tag.toText(),
                                           level(HL7Level), terminator));
}

Variant TrellyBridgeComm::verifySubFields(const Variant& HL7Stream, const Variant& HL7Tag,
                                          const Variant& HL7Level) {
    return Variant(hl7::verifySubFields(HL7Stream.toText(), HL7Tag.toText(), level(HL7Level)));
}

Variant TrellyBridgeComm::getASCII(const Variant& ASCIIDelimitedString, CallError* error) {
    try {
        return hl7::getASCII(ASCIIDelimitedString.toText());
    } catch (const std::invalid_argument& failure) {
        // The error is the caller's, not trapped: a host sees the call fail.
        std::string said = failure.what();
        if (error) *error = {said == "Type mismatch" ? 13 : 5, said};
        return {};
    }
}

}  // namespace trellybridge
