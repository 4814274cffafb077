// GetPatientData over TCP/IP against vendors on loopback: peers played by the test, and
// the vendor simulator with default settings. The run loop ticks on the virtual clock;
// the sockets wait in real time, each wait bounded.
#include <gtest/gtest.h>

#include "VendorSimulator.h"
#include "common/ThreadState.h"
#include "session/EnhancedWindow.h"
#include "session/SerialLine.h"
#include "session/SerialPeer.h"
#include "support/ScriptedPeer.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

using testing::ScriptedPeer;
using Script = ScriptedPeer::Script;

constexpr const char* kSearch =
    "<SearchOn>PID</SearchOn><PatientID>3-1001</PatientID><CompanyID>"
    "</CompanyID>";
constexpr const char* kSent =
    "<SearchInfo><SearchIndex>1</SearchIndex><SearchOn>PID</SearchOn><PatientID>1001</PatientID>"
    "<CompanyID>3</CompanyID></SearchInfo>\r\n";

// A request for `search` from a vendor on loopback at `port`; `parameters` adds to the
// bridge parameters, which by default allow two attempts a step, one tick apart.
std::string request(std::uint16_t port, const std::string& search = kSearch,
                    const std::string& parameters =
                        "<AllowedRetries>1</AllowedRetries>"
                        "<SerialTimeout>1</SerialTimeout>"
                        "<Debug>false</Debug>") {
    return "<Request><UserInfo><UserName>nurse</UserName></UserInfo><SearchInfo>" + search +
           "</SearchInfo><BridgeParameters><NetworkBridgeType>TCPIP</NetworkBridgeType>"
           "<TCPRemoteHostName>127.0.0.1</TCPRemoteHostName><TCPRemotePorts>" +
           std::to_string(port) + "</TCPRemotePorts>" + parameters +
           "</BridgeParameters></Request>";
}

class EnhancedSessionTest : public testing::RequestFixture {};

struct PeerCase {
    const char* name;
    std::vector<std::string> segments;
    const char* result;
};

TEST_F(EnhancedSessionTest, VendorAnswersBecomeTheResult) {
    const PeerCase cases[] = {
        {"a result in three segments, ending in lower case",
         {"<Result><TransactionID>5</Trans", "actionID><Patient>A</Patient>", "</result>\r\n"},
         "<Result><TransactionID>5</TransactionID><RecordCount>1</RecordCount><Patient>A</Patient>"
         "</result>"},
        {"three patients",
         {"<Result><TransactionID>6</TransactionID><Patient>A</Patient><Patient>B</Patient>"
          "<Patient>C</Patient></Result>"},
         "<Result><TransactionID>6</TransactionID><RecordCount>3</RecordCount><Patient>A</Patient>"
         "<Patient>B</Patient><Patient>C</Patient></Result>"},
        {"no transaction",
         {"<Result><Patient>A</Patient></Result>"},
         "<Result><Patient>A</Patient></Result>"},
        {"nothing",
         {},
         "<Result><RecordCount>0</RecordCount><Error>No records found matching the request!"
         "</Error></Result>"},
    };
    for (const PeerCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string received;
        ScriptedPeer vendor(c.segments.empty() ? Script([&](sockets::Socket connection) {
            received = testing::readRequest(connection);
        })
                                               : testing::answers(c.segments, 0, &received));
        EXPECT_EQ(search(request(vendor.port())), c.result);
        comm.closeEnhancedBridgeConnection();
        EXPECT_EQ(received, kSent) << "no end-of-request characters, CR LF after the section";
    }
    EXPECT_TRUE(session::enhancedWindow().caption.ends_with(" with RDZ"));
}

TEST_F(EnhancedSessionTest, SilentAndRefusingVendorsGiveTheErrorForm) {
    ScriptedPeer silent([](sockets::Socket connection) {
        testing::readRequest(connection);
        testing::readRequest(connection, 10000);  // until the session gives up and closes
    });
    EXPECT_EQ(search(request(silent.port())),
              "<Result><RecordCount>0</RecordCount><Error>Error 328. No patient found or timeout "
              "waiting for response</Error></Result>");
    comm.closeEnhancedBridgeConnection();

    std::uint16_t port = testing::closedPort();
    EXPECT_EQ(search(request(port)),
              "<Result><RecordCount>0</RecordCount><Error>ORVEL TCP: error attempting to open "
              "following port(s): " +
                  std::to_string(port) + "</Error></Result>");
}

TEST_F(EnhancedSessionTest, ResendsAreTheSameRequest) {
    std::string first, second;
    ScriptedPeer vendor(std::vector<Script>{
        [&](sockets::Socket connection) {
            first = testing::readRequest(connection);
            testing::resetConnection(connection);
        },
        testing::answers({"<Result><TransactionID>1</TransactionID></Result>"}, 0, &second)});
    EXPECT_EQ(search(request(vendor.port())),
              "<Result><TransactionID>1</TransactionID><RecordCount>0</RecordCount></Result>");
    EXPECT_EQ(vendor.accepted(), 2);
    EXPECT_EQ(first, kSent);
    EXPECT_EQ(second, first);
}

TEST_F(EnhancedSessionTest, ASecondSearchWithoutACloseGetsOnlyItsOwnResult) {
    ScriptedPeer vendor(
        std::vector<Script>{testing::answers({"<Result><Patient>FIRST</Patient></Result>"}),
                            testing::answers({"<Result><Patient>SECOND</Patient></Result>"})});
    EXPECT_EQ(search(request(vendor.port())), "<Result><Patient>FIRST</Patient></Result>");
    EXPECT_EQ(search(request(vendor.port())), "<Result><Patient>SECOND</Patient></Result>");
}

TEST_F(EnhancedSessionTest, SearchOverASerialLineEndsAtTheEndCharacter) {
    testing::SerialPeer vendor;
    ASSERT_TRUE(vendor.open());
    vendor.mapAs(3);
    vendor.script = [](const std::string&) {
        return std::string("<Result><TransactionID>7</TransactionID><Patient>A</Patient>") +
               "<Patient>B</Patient></Result>~";
    };
    const std::string request =
        "<Request><SearchInfo>" + std::string(kSearch) +
        "</SearchInfo><BridgeParameters><NetworkBridgeType>SERIAL</NetworkBridgeType>"
        "<VendorFormatType>XML</VendorFormatType><ComPort>3</ComPort><BitsPerSecond>9600"
        "</BitsPerSecond><DataBits>8</DataBits><StopBits>1</StopBits><Handshaking>none"
        "</Handshaking><InputMode>text</InputMode><InputLength>0</InputLength><RThreshold>1"
        "</RThreshold><SThreshold>1</SThreshold><EOFCharacter>126</EOFCharacter>"
        "<AllowedRetries>2</AllowedRetries><SerialTimeout>1</SerialTimeout><Debug>false</Debug>"
        "</BridgeParameters></Request>";
    std::string result = search(request);
    EXPECT_EQ(result,
              "<Result><TransactionID>7</TransactionID><RecordCount>2</RecordCount><Patient>A"
              "</Patient><Patient>B</Patient></Result>");
    ASSERT_EQ(vendor.requests.size(), 1u);
    EXPECT_EQ(vendor.requests[0].bytes, kSent) << "the search and CR LF, as over TCP/IP";
    auto* control = session::serialControl(session::enhancedWindow().engine().bridge());
    EXPECT_TRUE(control && !control->portOpen()) << "the port is closed";
}

struct KindCase {
    const char* name;
    const char* search;
    const char* patient;  // the one account found
};

// The site's settings left to their defaults: five ticks of a second before each step, the
// debug log written, nothing pinned. Only the bridge, the vendor and the attempts are given.
TEST_F(EnhancedSessionTest, SimulatorFindsEachKindOfSearchWithDefaultSettings) {
    vendorsim::VendorSimulator simulator{vendorsim::SimulatorOptions{}};
    std::string error;
    ASSERT_TRUE(simulator.start(error)) << error;
    const KindCase cases[] = {
        {"identifier", "<SearchOn>PID</SearchOn><PatientID>20001</PatientID>", "20001"},
        {"last name", "<SearchOn>NAME</SearchOn><LastName>doe</LastName>", "12345"},
        {"first name", "<SearchOn>NAME</SearchOn><FirstName>Emeka</FirstName>", "30002"},
        {"social security number", "<SearchOn>SSN</SearchOn><Social>123456789</Social>", "12345"},
    };
    for (const KindCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string result =
            search(request(simulator.ports()[0], c.search, "<AllowedRetries>2</AllowedRetries>"));
        comm.closeEnhancedBridgeConnection();
        EXPECT_NE(result.find("<RecordCount>1</RecordCount>"), std::string::npos) << result;
        EXPECT_NE(result.find(std::string("<PatientID>") + c.patient + "</PatientID>"),
                  std::string::npos)
            << result;
    }
    std::string log = readDriveCFile("BRIDGEDEBUG.log");
    EXPECT_EQ(testing::occurrences(log, "REQUEST:: "), 4);
    EXPECT_NE(log.find("  <SearchInfo><SearchIndex>3</SearchIndex>"), std::string::npos);
}

}  // namespace
}  // namespace trellybridge
