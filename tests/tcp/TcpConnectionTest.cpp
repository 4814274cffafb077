#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "common/ThreadState.h"
#include "platform/Sockets.h"
#include "support/ScriptedPeer.h"
#include "support/TestEnvironment.h"
#include "tcp/TcpConnection.h"

namespace trellybridge {
namespace {

using namespace tcp;

using testing::ScriptedPeer;

class TcpConnectionTest : public testing::TestEnvironment {
protected:
    void SetUp() override {
        TestEnvironment::SetUp();
        connection.reportTo(threadState().reasons());
    }
    bool openTo(std::uint16_t port) { return connection.open("127.0.0.1", "127.0.0.1", port); }
    Connection connection{ConnectionLimits{1000, false, false}};
};

TEST_F(TcpConnectionTest, OpenFailsWithAnErrorForBadPortsAndAddresses) {
    const std::pair<std::string, std::string> cases[] = {
        {"0", "127.0.0.1"}, {"65536", "127.0.0.1"},  {"abc", "127.0.0.1"},
        {"", "127.0.0.1"},  {"9991", "vendor.host"},
    };
    for (const auto& [port, remote] : cases) {
        threadState().errorList.clear();
        threadState().session.configuredPorts = "9991";
        EXPECT_FALSE(connection.open("127.0.0.1", remote, portNumberOf(port)))
            << port << " " << remote;
        EXPECT_FALSE(connection.connected());
        EXPECT_EQ(connection.socket(), sockets::kInvalidSocket)
            << "a failed open closes its socket";
        EXPECT_NE(threadState().errorList.find(
                      "id=\"320\" description=\"ORVEL TCP: error attempting to open following "
                      "port(s): 9991\""),
                  std::string::npos);
    }
}

TEST_F(TcpConnectionTest, HighPortsOpenAndRequestsEndWithCrLf) {
    std::string received;
    {
        ScriptedPeer peer([&](sockets::Socket s) {
            std::string chunk;
            while (sockets::waitReadable(s, 2000) == 1 && sockets::receive(s, chunk, 100) > 0)
                received += chunk;
        });
        ASSERT_GT(peer.port(), 0);
        ASSERT_TRUE(openTo(peer.port()))
            << "ports above 32767 are ports like any other: " << peer.port();
        EXPECT_TRUE(connection.sendData("ABC"));
        EXPECT_TRUE(connection.sendRequest("ABC"));
        connection.close(CloseMode::Normal);
    }
    EXPECT_EQ(received, "ABCABC\r\n");
}

TEST_F(TcpConnectionTest, SendingAndReceivingNeedAConnection) {
    std::string data = "x";
    std::int32_t length = 7;
    EXPECT_FALSE(connection.sendRequest("A"));
    EXPECT_EQ(threadState().errorList, "") << "the request send records nothing";
    EXPECT_FALSE(connection.sendData("A"));
    EXPECT_FALSE(connection.recvData(data, length));
    EXPECT_FALSE(connection.recvResult(data, length));
    const std::string& errors = threadState().errorList;
    EXPECT_NE(errors.find("id=\"322\""), std::string::npos);
    EXPECT_NE(errors.find("id=\"323\""), std::string::npos);
}

TEST_F(TcpConnectionTest, ReceiveReadsOnceAndSeesThePeerClose) {
    ScriptedPeer peer([](sockets::Socket s) { sockets::send(s, "HELLO", 5000); });
    ASSERT_TRUE(openTo(peer.port()));
    ASSERT_TRUE(connection.dataWaiting());
    std::string data;
    std::int32_t length = 0;
    EXPECT_TRUE(connection.recvData(data, length));
    EXPECT_EQ(data, "HELLO");
    EXPECT_EQ(length, 5);
    for (int reads = 0;
         reads < 100 && connection.dataWaiting() && connection.recvData(data, length) && length > 0;
         ++reads) {
    }
    EXPECT_EQ(length, 0) << "the peer closed";
    EXPECT_EQ(data, "");
}

TEST_F(TcpConnectionTest, ResultIsReadAcrossSegmentsUntilItsClosingTag) {
    ScriptedPeer peer([](sockets::Socket s) {
        sockets::send(s, "<Result><Patient>", 5000);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        sockets::send(s, "A</Patient></result>", 5000);
        sockets::waitReadable(s, 3000);  // stays open: the closing tag ends the read
    });
    ASSERT_TRUE(openTo(peer.port()));
    std::string data = "kept:";
    std::int32_t length = 0;
    EXPECT_TRUE(connection.recvResult(data, length));
    EXPECT_EQ(data, "kept:<Result><Patient>A</Patient></result>");
    EXPECT_EQ(length, 20);
}

TEST_F(TcpConnectionTest, ResultWaitIsBoundedFromTheFirstRead) {
    // A peer that accepts and then says nothing until we close (at most 30 s).
    ScriptedPeer peer([](sockets::Socket s) { sockets::waitReadable(s, 30000); });
    ASSERT_TRUE(openTo(peer.port()));
    std::string data;
    std::int32_t length = 0;
    auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(connection.recvResult(data, length)) << "nothing arrived: as a vendor that closed";
    // Guards a hang only: the wait bound is 1 s, and the peer would hold on for 30.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_EQ(data, "");
}

TEST_F(TcpConnectionTest, ForcedCloseDoesNotWaitForThePeer) {
    // The peer answers our end of sending with a last word and speaks again at once. A
    // normal close is still draining (or has closed in order), so that is accepted; a
    // forced close had already gone, so the last word meets a reset and, once the reset
    // is back (within 5 s here), nothing more can be sent.
    struct Case {
        const char* keywords;
        bool peerSeesReset;
    };
    for (const Case& c : {Case{"{tcp force}", true}, Case{"", false}}) {
        SCOPED_TRACE(c.keywords);
        BridgeConfiguration settings;
        settings.HTTPSSubjectCN = c.keywords;
        settings.SerialTimeout = "1";
        settings.TimeDelay = "1000";
        connection.setLimits(connectionLimits(settings));
        int lastSend = 0;
        {
            ScriptedPeer peer([&](sockets::Socket s) {
                std::string bytes;
                if (sockets::waitReadable(s, 10000) != 1 || sockets::receive(s, bytes, 64) != 0)
                    return;
                sockets::send(s, "BYE", 5000);
                lastSend = static_cast<int>(sockets::send(s, "BYE", 5000));
                for (int i = 0; i < 100 && c.peerSeesReset && lastSend >= 0; ++i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                    lastSend = static_cast<int>(sockets::send(s, "BYE", 5000));
                }
            });
            ASSERT_TRUE(openTo(peer.port()));
            EXPECT_TRUE(connection.close(CloseMode::Normal));
            EXPECT_EQ(connection.socket(), sockets::kInvalidSocket);
        }  // the peer's script has ended here
        EXPECT_EQ(lastSend, c.peerSeesReset ? -1 : 3);
    }
}

}  // namespace
}  // namespace trellybridge
