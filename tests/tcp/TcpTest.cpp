// The TCP layer: port lists, addresses and names, the machine's connection table, and
// one connection to a scripted peer on loopback.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <set>
#include <thread>

#include "common/Keywords.h"
#include "platform/Sockets.h"
#include "platform/TcpTable.h"
#include "support/ScriptedPeer.h"
#include "support/TestEnvironment.h"
#include "tcp/ConnectionTable.h"
#include "tcp/HostUtilities.h"
#include "tcp/PortList.h"
#include "tcp/TcpConnection.h"

namespace trellybridge {
namespace {

using namespace tcp;
using testing::ScriptedPeer;

class HostUtilitiesTest : public testing::TestEnvironment {};

TEST_F(HostUtilitiesTest, PortListOperations) {
    const std::pair<std::string, int> counts[] = {
        {"", 0}, {"9991", 1}, {"9991,9992,", 2}, {",,", 2}};
    for (const auto& [list, count] : counts) EXPECT_EQ(countListItems(list), count) << list;
    const std::tuple<std::string, int, std::string> items[] = {
        {"a,b,c", 2, "b"}, {"a,b,c", 5, "c"}, {"a,b,c", 0, "c"},
        {"a,,c", 2, ""},   {"a", 1, "a"},     {"", 1, ""},
    };
    for (const auto& [list, n, item] : items)
        EXPECT_EQ(getListItem(list, n), item) << list << " " << n;
    EXPECT_EQ(removeListItem("a,b,c", 3, 2), "a,c");
    EXPECT_EQ(removeListItem("a,b,c", 3, 3), "a,b,");
    EXPECT_EQ(removeListItem("a,b,c", 3, 1), "a,b,c") << "item 1 is always kept";
    EXPECT_EQ(removeDuplicateItems("1,2,1"), "1,2,");
    EXPECT_EQ(removeDuplicateItems("1,2,3"), "1,2,3");
    EXPECT_EQ(removeDuplicateItems("a,a,a,b"), "a,a,b,");
    EXPECT_EQ(removeDuplicateItems(",,,,,b,"), ",,b,b,,");
    EXPECT_EQ(reverseList("1,2,3"), "3,2,1");
    EXPECT_EQ(distinctItems("5001,,5002,5001,"), "5001,5002");
}

// Removing repeats gives what its definition gives, item i against each later item j,
// removing j, on lists of few values (repeats, empty items, a run at the end).
TEST_F(HostUtilitiesTest, RemovingRepeatsFollowsThePairwiseDefinition) {
    auto byDefinition = [](std::string list) {
        int count = countListItems(list);
        for (int i = 1; i <= count; ++i)
            for (int j = i + 1; j <= count; ++j)
                if (getListItem(list, i) == getListItem(list, j))
                    list = removeListItem(list, count, j);
        return list;
    };
    std::mt19937 random(44);
    for (int round = 0; round < 3000; ++round) {
        std::string list;
        for (size_t item = 0, items = random() % 12; item < items; ++item)
            list += (item ? "," : "") +
                    std::string(random() % 3, static_cast<char>('a' + random() % 3));
        if (random() % 5 == 0) list += ",";
        ASSERT_EQ(removeDuplicateItems(list), byDefinition(list)) << list;
    }
}

TEST_F(HostUtilitiesTest, ShuffleIsAPermutationOfTheDistinctItems) {
    const std::pair<std::string, std::set<std::string>> cases[] = {
        {"9991,9992", {"9991", "9992"}},
        {"1,2,3,4,5,6,7,8,9,10", {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}},
        {"5001,5001,,5002", {"5001", "5002"}},  // repeats and empty items cannot stall it
        {"7", {"7"}},
        {"", {}},
    };
    for (const auto& [list, expected] : cases) {
        for (int round = 0; round < 20; ++round) {
            std::string shuffled = shufflePorts(list);
            std::set<std::string> seen;
            int count = countListItems(shuffled);
            for (int i = 1; i <= count; ++i) seen.insert(getListItem(shuffled, i));
            EXPECT_EQ(seen, expected) << shuffled;
            EXPECT_EQ(static_cast<size_t>(count), expected.size()) << shuffled;
        }
    }
}

TEST_F(HostUtilitiesTest, DottedAddressesReadAsTheOriginalReadThem) {
    const std::pair<const char*, const char*> cases[] = {
        {"192.168.0.7", "192.168.0.7"},
        {"127.1", "127.0.0.1"},
        {"10.1.258", "10.1.1.2"},
        {"0x7f.0.0.1", "127.0.0.1"},
        {"3232235527", "192.168.0.7"},
        {"256.1.1.1", nullptr},
        {"", nullptr},
        {"host.example", nullptr},
    };
    for (const auto& [text, dotted] : cases) {
        std::uint32_t address = sockets::inetAddr(text);
        if (dotted)
            EXPECT_EQ(addressToDotted(address), dotted) << text;
        else
            EXPECT_EQ(address, sockets::kAddressNone) << text;
    }
}

TEST_F(HostUtilitiesTest, AddressesNamesAndStates) {
    EXPECT_EQ(resolveHostAddress("127.0.0.1"), "127.0.0.1");
    EXPECT_EQ(resolveHostAddress("no-such-host.invalid"), "");
    EXPECT_EQ(getRemoteIP("127.0.0.1"), "127.0.0.1");
    BridgeConfiguration pinned;
    pinned.HTTPSSubjectCN = "x{local ip:10.1.2.3}y";
    EXPECT_EQ(getLocalIP("anything", localIpKeyword(pinned)), "10.1.2.3");
    EXPECT_FALSE(getLocalIP(getLocalHostName()).empty())
        << "an unresolvable name binds to any address";
    EXPECT_EQ(getHostNameFromIP("not.an.address"), "");
    EXPECT_EQ(toolkit->messageBoxes.back(), "String passed is an invalid IP.");
    EXPECT_EQ(trimAtNull(std::string("abc\0def", 7)), "abc");
    const std::pair<int, const char*> states[] = {
        {1, "CLOSED"},      {2, "LISTEN"}, {5, "ESTAB"}, {11, "TIME_WAIT"},
        {12, "DELETE_TCB"}, {0, ""},       {13, ""}};
    for (const auto& [state, name] : states) EXPECT_EQ(tcpStateName(state), name) << state;
    EXPECT_EQ(tcpSetLastErrorCode(10061),
              ": WSAECONNREFUSED: The attempt to connect was forcefully rejected");
    EXPECT_EQ(tcpSetLastErrorCode(12345), ": Case unknown in TCPIP::tcpSetLastErrorCode = 12345");
}

TEST_F(HostUtilitiesTest, TcpTableFromProcText) {
    // Only the first four fields are read; the heading and lines without them are skipped.
    const std::string tcp4 =
        "  sl  local_address rem_address   st tx_queue rx_queue\n"
        "   0: 0100007F:1F90 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000\n"
        "   1: 0100007F:C350 0100007F:2707 01\n"
        "   2: 0100007F:C351 0700A8C0:01BB 06\n"
        "garbage line\n";
    const std::tuple<int, int, const char*, int> expected[] = {
        // state, local port, remote address, remote port
        {2, 8080, "0.0.0.0", 0},
        {5, 50000, "127.0.0.1", 9991},
        {11, 50001, "192.168.0.7", 443}};
    auto rows = iphelper::parseTcpTable(tcp4, false);
    ASSERT_EQ(rows.size(), std::size(expected));
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto& [state, localPort, remote, remotePort] = expected[i];
        EXPECT_EQ(rows[i].state, state) << i;
        EXPECT_EQ(rows[i].localPort, localPort) << i;
        EXPECT_EQ(addressToDotted(rows[i].remoteAddress), remote) << i;
        EXPECT_EQ(rows[i].remotePort, remotePort) << i;
    }
    const std::string tcp6 =
        "  sl  local_address                         remote_address                        st\n"
        "   0: 0000000000000000FFFF00000100007F:1F90 0000000000000000FFFF00000100007F:0050 01\n"
        "   1: 00000000000000000000000001000000:1F90 00000000000000000000000001000000:0050 01\n";
    auto mapped = iphelper::parseTcpTable(tcp6, true);
    ASSERT_EQ(mapped.size(), 1u) << "only IPv4 peers are kept";
    EXPECT_EQ(addressToDotted(mapped[0].remoteAddress), "127.0.0.1");
    EXPECT_EQ(mapped[0].remotePort, 80);

    // The machine's own table: rows without a remote address are skipped.
    const TcpTableSnapshot table = loadTcpTable(testing::threadRequest().session);
    for (int i = 0; i < table.count; ++i) EXPECT_NE(table.remoteIP[static_cast<size_t>(i)][0], '0');
    EXPECT_EQ(testing::threadRequest().session.portCount, table.count);
}

class TcpConnectionTest : public testing::TestEnvironment {
protected:
    void SetUp() override {
        TestEnvironment::SetUp();
        connection.reportTo(testing::threadRequest().reasons());
    }
    bool openTo(std::uint16_t port) {
        return connection.open("127.0.0.1", "127.0.0.1", port).has_value();
    }
    Connection connection{ConnectionLimits{1000, false, false}};
    std::string data;
    std::int32_t length = 0;
};

TEST_F(TcpConnectionTest, OpenFailsForBadPortsAndAddressesAndNothingGoesWithoutAConnection) {
    const std::pair<std::string, std::string> cases[] = {
        {"0", "127.0.0.1"}, {"65536", "127.0.0.1"},  {"abc", "127.0.0.1"},
        {"", "127.0.0.1"},  {"9991", "vendor.host"},
    };
    for (const auto& [port, remote] : cases) {
        Expected<void> opened = connection.open("127.0.0.1", remote, portNumberOf(port));
        ASSERT_FALSE(opened) << port << " " << remote;
        EXPECT_FALSE(connection.connected());
        EXPECT_EQ(connection.socket(), sockets::kInvalidSocket)
            << "a failed open closes its socket";
        EXPECT_EQ(opened.error().code, errc::PortOpenFailed);
    }
    testing::threadRequest().errorList.clear();
    EXPECT_FALSE(connection.sendRequest("A"));
    EXPECT_EQ(testing::threadRequest().errorList, "") << "the request send records nothing";
    EXPECT_FALSE(connection.sendData("A"));
    EXPECT_FALSE(connection.recvData(data, length));
    EXPECT_FALSE(connection.recvResult(data, length));
    EXPECT_NE(testing::threadRequest().errorList.find("id=\"322\""), std::string::npos);
    EXPECT_NE(testing::threadRequest().errorList.find("id=\"323\""), std::string::npos);
}

// The request goes first, its line ended by CR LF; the peer has it before it answers and
// closes.
TEST_F(TcpConnectionTest, RequestEndsWithCrLfAndReceiveReadsOnceAndSeesThePeerClose) {
    std::string received;
    ScriptedPeer peer([&](sockets::Socket s) {
        std::string chunk;
        while (received.size() < 5 && sockets::waitReadable(s, 2000) == 1 &&
               sockets::receive(s, chunk, 100) > 0)
            received += chunk;
        sockets::send(s, "HELLO", 5000);
    });
    ASSERT_TRUE(openTo(peer.port())) << "ports above 32767 are ports like any other";
    EXPECT_TRUE(connection.sendRequest("ABC"));
    ASSERT_TRUE(connection.dataWaiting());
    EXPECT_TRUE(connection.recvData(data, length));
    EXPECT_EQ(data, "HELLO");
    EXPECT_EQ(length, 5);
    for (int reads = 0;
         reads < 100 && connection.dataWaiting() && connection.recvData(data, length) && length > 0;
         ++reads) {
    }
    EXPECT_EQ(length, 0) << "the peer closed";
    EXPECT_EQ(data, "");
    EXPECT_EQ(received, "ABC\r\n");
}

TEST_F(TcpConnectionTest, ResultIsReadAcrossSegmentsUntilItsClosingTag) {
    ScriptedPeer peer([](sockets::Socket s) {
        sockets::send(s, "<Result><Patient>", 5000);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        sockets::send(s, "A</Patient></result>", 5000);
        sockets::waitReadable(s, 3000);  // stays open: the closing tag ends the read
    });
    ASSERT_TRUE(openTo(peer.port()));
    data = "kept:";
    EXPECT_TRUE(connection.recvResult(data, length));
    EXPECT_EQ(data, "kept:<Result><Patient>A</Patient></result>");
    EXPECT_EQ(length, 20);
}

TEST_F(TcpConnectionTest, ResultWaitIsBoundedFromTheFirstRead) {
    // A peer that accepts and then says nothing until we close (at most 30 s).
    ScriptedPeer peer([](sockets::Socket s) { sockets::waitReadable(s, 30000); });
    ASSERT_TRUE(openTo(peer.port()));
    auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(connection.recvResult(data, length)) << "nothing arrived: as a vendor that closed";
    // Guards a hang only: the wait bound is 1 s, and the peer would hold on for 30.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_EQ(data, "");
    connection.close(CloseMode::Normal);  // lets the peer's script end now
}

// The peer answers our end of sending with a last word and speaks again at once. A
// normal close is still draining (or has closed in order), so that is accepted; a forced
// close had already gone, so the last word meets a reset and, once the reset is back
// (within 5 s here), nothing more can be sent.
TEST_F(TcpConnectionTest, ForcedCloseDoesNotWaitForThePeer) {
    for (const auto& [keywords, peerSeesReset] : {std::pair{"{tcp force}", true}, {"", false}}) {
        SCOPED_TRACE(keywords);
        BridgeConfiguration settings;
        settings.HTTPSSubjectCN = keywords;
        settings.SerialTimeout = "1";
        settings.TimeDelay = "1000";
        connection.setLimits(connectionLimits(readRequestSettings(settings)));
        int lastSend = 0;
        {
            ScriptedPeer peer([&, peerSeesReset = peerSeesReset](sockets::Socket s) {
                std::string bytes;
                if (sockets::waitReadable(s, 10000) != 1 || sockets::receive(s, bytes, 64) != 0)
                    return;
                sockets::send(s, "BYE", 5000);
                lastSend = static_cast<int>(sockets::send(s, "BYE", 5000));
                for (int i = 0; i < 100 && peerSeesReset && lastSend >= 0; ++i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                    lastSend = static_cast<int>(sockets::send(s, "BYE", 5000));
                }
            });
            ASSERT_TRUE(openTo(peer.port()));
            EXPECT_TRUE(connection.close(CloseMode::Normal));
            EXPECT_EQ(connection.socket(), sockets::kInvalidSocket);
        }  // the peer's script has ended here
        EXPECT_EQ(lastSend, peerSeesReset ? -1 : 3);
    }
}

}  // namespace
}  // namespace trellybridge
