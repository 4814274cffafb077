// GetPatient over TCP/IP against the vendor simulator on loopback. The run loop ticks on
// the virtual clock; the sockets wait in real time, each wait bounded.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "VendorSimulator.h"
#include "common/ThreadState.h"
#include "session/SessionWindow.h"
#include "session/TcpFixture.h"

namespace trellybridge {
namespace {

using vendorsim::Fault;
using vendorsim::SimulatorOptions;
using vendorsim::VendorSimulator;

class TcpSessionTest : public testing::TcpFixture {
protected:
    void SetUp() override {
        TcpFixture::SetUp();
        platform::setClock(&march);
        a.HTTPSSubjectCN = "{LOCAL IP:127.0.0.1}";
    }
    std::unique_ptr<VendorSimulator> simulator(SimulatorOptions options) {
        auto started = std::make_unique<VendorSimulator>(std::move(options));
        std::string error;
        EXPECT_TRUE(started->start(error)) << error;
        return started;
    }
    std::string portsOf(const VendorSimulator& s) {
        std::string list;
        for (auto port : s.ports()) list += (list.empty() ? "" : ",") + std::to_string(port);
        return list;
    }
    const SessionState& session() { return threadState().session; }

    platform::VirtualClock march{{2013, 3, 1, 9, 5, 0}};
};

TEST_F(TcpSessionTest, RequestBytesAreExactAndTheAnswerIsParsed) {
    auto vendor = simulator({});
    a.TCPRemotePorts = portsOf(*vendor);
    EXPECT_TRUE(fetch());
    EXPECT_EQ(comm.get_p1PatientLastName(), Variant("DOE"));
    EXPECT_EQ(comm.get_i2InsuredCompanyName(), Variant("HEARTLAND MUTUAL"));
    ASSERT_EQ(vendor->queries().size(), 1u);
    EXPECT_EQ(vendor->queries()[0],
              "\vMSH|^~\\&|LUMAK|ORVEL|MEDIC|LAB1|201303010905+0000^S||QRY^Q01|0001|P|2.3|\r"
              "QRD|201303010905+0000^S|R|I|0001|||1^RD|12345|DEM|||T|\r\x1c\r\x1c\r\n");
    EXPECT_EQ(store->get("Properties", "LastGoodPort"), a.TCPRemotePorts.toText());
    EXPECT_EQ(session().portResults[0], "SUCCESS!");
    EXPECT_NE(std::find(toolkit->progressLines.begin(), toolkit->progressLines.end(),
                        "Verifying port availability...\r\n"),
              toolkit->progressLines.end());
    EXPECT_NE(session::sessionWindow().txtInformation.find(" parse.attempt          <successful>!"),
              std::string::npos);
    EXPECT_EQ(session().phaseTrail,
              (std::vector<std::string>{"Prepare -> Connect", "Connect -> Receive",
                                        "Receive -> Parse", "Parse -> Parsed"}));
}

TEST_F(TcpSessionTest, LastGoodPortIsTriedFirst) {
    SimulatorOptions refusing;
    refusing.ports = {0, 0, 0};
    refusing.fault = Fault::Refuse;
    auto vendor = simulator(refusing);
    auto ports = vendor->ports();
    a.TCPRemotePorts = portsOf(*vendor);
    a.AllowedRetries = "0";
    store->set("Properties", "LastGoodPort", std::to_string(ports[1]));
    EXPECT_FALSE(fetch());
    EXPECT_EQ(session().portList[0], std::to_string(ports[1]));
    EXPECT_EQ(session().portCount, 3);
    std::set<std::string> tried(session().portList.begin(), session().portList.begin() + 3);
    EXPECT_EQ(tried.size(), 3u);
    EXPECT_EQ(session().portResults[2], "FAILED!");
    EXPECT_EQ(store->get("Properties", "LastGoodPort"), "") << "the list was used up";
}

TEST_F(TcpSessionTest, StoredPortIsMatchedAsASubstring) {
    a.TCPRemotePorts = "5001,5002";
    a.AllowedRetries = "0";
    store->set("Properties", "LastGoodPort", "50");
    fetch();
    EXPECT_EQ(session().portList[0], "50") << "the stored text occurs in the list and goes first";
    EXPECT_EQ(session().portCount, 3);
    EXPECT_EQ(session().configuredPorts, "5001,5002");
}

TEST_F(TcpSessionTest, RefusedPortMovesOnToTheNext) {
    SimulatorOptions options;
    options.ports = {0, 0};
    auto vendor = simulator(options);
    SimulatorOptions refusing;
    refusing.fault = Fault::Refuse;
    auto deadPort = simulator(refusing);
    std::string dead = portsOf(*deadPort), live = std::to_string(vendor->ports()[0]);
    a.TCPRemotePorts = dead + "," + live;
    store->set("Properties", "LastGoodPort", dead);
    EXPECT_TRUE(fetch());
    EXPECT_EQ(session().portList[0], dead);
    EXPECT_EQ(session().portResults[0], "FAILED!");
    EXPECT_EQ(session().portResults[1], "SUCCESS!");
    EXPECT_EQ(store->get("Properties", "LastGoodPort"), live);
    EXPECT_NE(session::sessionWindow().txtInformation.find(" send attempt  <successful>!"),
              std::string::npos);
}

struct FaultCase {
    const char* name;
    Fault fault;
    bool found;
    const char* progress;  // a line the user sees on the way
};

TEST_F(TcpSessionTest, FaultsEndAsPromisedWithinTheirBound) {
    const FaultCase cases[] = {
        {"split into two packets a second apart", Fault::Split, true,
         " receive.attempt  <successful>!"},
        {"slow within the session time-out", Fault::Slow, true,
         " parse.attempt          <successful>!"},
        {"silent", Fault::Silent, false, " send attempt  <successful>!"},
        {"closes at once", Fault::CloseAtOnce, false, "Attempting to send: "},
        {"answers for another patient", Fault::WrongPatient, false,
         "Patient ID returned does not match ID submitted.\r12345 <--> 20001"},
        {"answers garbage", Fault::Garbage, false, "  THIS IS NOT A PATIENT RECORD"},
        {"refuses", Fault::Refuse, false, " open.reattempt.port."},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatorOptions options;
        options.fault = c.fault;
        options.delayMs = 1500;
        auto vendor = simulator(options);
        a.TCPRemotePorts = portsOf(*vendor);
        a.SerialTimeout = "3";  // a whole answer may take three seconds
        toolkit->progressLines.clear();
        toolkit->messageBoxes.clear();
        auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(fetch(), c.found);
        EXPECT_TRUE(toolkit->showedText(c.progress, true)) << c.progress;
        // Guards a hang only: each case ends within the 3 s session time-out.
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
        if (c.found) {
            EXPECT_EQ(comm.get_i2InsuredCompanyName(), Variant("HEARTLAND MUTUAL")) << "read whole";
        }
        comm.closeConnection();
    }
}

TEST_F(TcpSessionTest, LongAnswersAreReadWhole) {
    SimulatorOptions options;
    vendorsim::SamplePatient patient = options.patients[0];
    patient.fields["p2ICD9Description1"] = std::string(12000, 'D');
    options.patients = {patient};
    auto vendor = simulator(options);
    a.TCPRemotePorts = portsOf(*vendor);
    EXPECT_TRUE(fetch());
    EXPECT_EQ(comm.get_p2ICD9Description1().toText().size(), 12000u);
    EXPECT_EQ(comm.get_i2InsuredCompanyName(), Variant("HEARTLAND MUTUAL"));
}

}  // namespace
}  // namespace trellybridge
