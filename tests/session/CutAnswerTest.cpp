// An answer that stops before its end is never a patient, on any bridge: the vendor
// resets, half-closes or closes a TCP connection, hangs up a serial line, or drops an
// HTTPS body part-way. Insurances at the end of the answer would be lost without a word,
// so the request fails as "incomplete" after its attempts. Only where no end character
// is configured does the vendor's close end the answer.
#include <gtest/gtest.h>

#include <memory>

#include "Answers.h"
#include "SampleRequest.h"
#include "VendorSimulator.h"
#include "WebServiceSimulator.h"
#include "common/ThreadState.h"
#include "platform/EventLoop.h"
#include "session/SerialPeer.h"
#include "support/ScriptedPeer.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

using testing::ScriptedPeer;

// The sample patient's HL7 answer (two insurances, the second at its end).
std::string hl7Answer() {
    return vendorsim::answerFor(vendorsim::Format::Hl7, vendorsim::builtInPatients()[0]);
}

// Reads the request, sends the first half of the answer, then ends the connection as
// `end` does.
ScriptedPeer::Script sendsHalfThen(void (*end)(sockets::Socket)) {
    return [end](sockets::Socket connection) {
        testing::readRequest(connection);
        std::string answer = hl7Answer();
        sockets::send(connection, answer.substr(0, answer.size() / 2), 2000);
        end(connection);
    };
}
void resets(sockets::Socket connection) {
    testing::resetConnection(connection);
}
void halfCloses(sockets::Socket connection) {
    sockets::shutdown(connection, 1);
    testing::readRequest(connection, 2000);  // until the client gives up and closes
}
void closes(sockets::Socket) {}

class CutAnswerTest : public testing::RequestFixture {
protected:
    void TearDown() override {
        for (const char* variable :
             {"TRELLYBRIDGE_CA_FILE", "TRELLYBRIDGE_CLIENT_CERT", "TRELLYBRIDGE_CLIENT_KEY"})
            ::unsetenv(variable);
        TestEnvironment::TearDown();
    }
};

// A row's request, and what keeps its vendor alive while the request runs.
struct Started {
    GetPatientArguments a;
    std::shared_ptr<void> vendor;
};

TEST_F(CutAnswerTest, EveryBridgeCallsACutAnswerIncomplete) {
    struct Row {
        const char* name;
        std::function<Started()> start;
        bool found = false;
    };
    // One connection for each of the two attempts of every row (AllowedRetries 1 below).
    auto overTcp = [](ScriptedPeer::Script script, const char* keywords = "",
                      const char* endCharacter = "28", int connections = 2) {
        return [script, keywords, endCharacter, connections] {
            auto peer = std::make_shared<ScriptedPeer>(
                std::vector<ScriptedPeer::Script>(static_cast<size_t>(connections), script));
            GetPatientArguments a = vendorsim::sampleRequest("12345", "TCPIP", "HL7");
            a.TCPRemotePorts = std::to_string(peer->port());
            a.HTTPSSubjectCN = keywords;
            a.EOFCharacter = endCharacter;
            return Started{a, peer};
        };
    };
    auto wholeThenCloses = [](sockets::Socket connection) {
        testing::readRequest(connection);
        sockets::send(connection, hl7Answer(), 2000);
    };
    const Row rows[] = {
        {"TCP: a reset", overTcp(sendsHalfThen(resets))},
        {"TCP: a half-close", overTcp(sendsHalfThen(halfCloses))},
        {"TCP: a close", overTcp(sendsHalfThen(closes))},
        {"TCP, MLLP: a close inside the block", overTcp(sendsHalfThen(closes), "{MLLP}")},
        {"TCP, no end character configured: the close ends the answer",
         overTcp(wholeThenCloses, "", "", 1), true},
        {"serial: the line hangs up",
         [] {
             // The line goes away once the bridge had time to read what was sent.
             struct Line {
                 testing::SerialPeer peer;
                 ui::Timer hangUp{[this] { peer.hangUp(); }};
             };
             auto line = std::make_shared<Line>();
             EXPECT_TRUE(line->peer.open());
             line->peer.mapAs(4);
             line->peer.requestEnd = "\r\x1c";  // a serial line sends the request as it is
             line->peer.script = [vendor = line.get()](const std::string&) {
                 std::string answer = hl7Answer();
                 vendor->peer.line.write(answer.substr(0, answer.size() / 2));
                 vendor->hangUp.setInterval(200);
                 vendor->hangUp.setEnabled(true);
                 return std::string();
             };
             GetPatientArguments a = vendorsim::sampleRequest("12345", "SERIAL", "HL7", 4);
             a.InputLength = "0";
             return Started{a, line};
         }},
        {"HTTPS: the body stops half-way",
         [] {
             vendorsim::WebServiceOptions options;
             options.format = vendorsim::Format::Hl7;
             options.fault = vendorsim::WebFault::CutShort;
             auto service = std::make_shared<vendorsim::WebServiceSimulator>(options);
             std::string error;
             EXPECT_TRUE(service->start(error)) << error;
             const vendorsim::ClientFiles& files = service->clientFiles();
             ::setenv("TRELLYBRIDGE_CA_FILE", files.authority.c_str(), 1);
             ::setenv("TRELLYBRIDGE_CLIENT_CERT", files.certificate.c_str(), 1);
             ::setenv("TRELLYBRIDGE_CLIENT_KEY", files.key.c_str(), 1);
             GetPatientArguments a = vendorsim::sampleRequest("12345", "HTTPS", "HL7");
             a.VendorApplicationPath = service->baseAddress() + "svc";
             a.VendorRequestPath = "p.asp";
             return Started{a, service};
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Started started = row.start();
        a = started.a;
        a.AllowedRetries = "1";
        EXPECT_EQ(fetch(), row.found) << threadState().failures.text();
        comm.ReturnPatient();
        if (row.found) {
            EXPECT_EQ(comm.get_i2InsuredCompanyName(), Variant("HEARTLAND MUTUAL"));
        } else {
            EXPECT_EQ(comm.get_FailureKind(), Variant("incomplete"))
                << comm.get_FailureNotes().toText();
            EXPECT_EQ(comm.get_p1PatientLastName(), Variant(""));
        }
        comm.closeConnection();
    }
}

}  // namespace
}  // namespace trellybridge
