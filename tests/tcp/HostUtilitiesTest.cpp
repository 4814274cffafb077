#include <gtest/gtest.h>

#include "common/Keywords.h"

#include <set>

#include "common/ThreadState.h"
#include "platform/Sockets.h"
#include "platform/TcpTable.h"
#include "support/TestEnvironment.h"
#include "tcp/ConnectionTable.h"
#include "tcp/HostUtilities.h"
#include "tcp/TcpConnection.h"

namespace trellybridge {
namespace {

using namespace tcp;

class HostUtilitiesTest : public testing::TestEnvironment {};

TEST_F(HostUtilitiesTest, PortListOperations) {
    EXPECT_EQ(countListItems(""), 0);
    EXPECT_EQ(countListItems("9991"), 1);
    EXPECT_EQ(countListItems("9991,9992,"), 2);
    EXPECT_EQ(countListItems(",,"), 2);
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
    EXPECT_EQ(reverseList("1,2,3"), "3,2,1");
    EXPECT_EQ(distinctItems("5001,,5002,5001,"), "5001,5002");
}

TEST_F(HostUtilitiesTest, ShuffleIsAPermutationOfTheDistinctItems) {
    const std::pair<std::string, std::set<std::string>> cases[] = {
        {"9991,9992", {"9991", "9992"}},
        {"1,2,3,4,5,6,7,8,9,10", {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}},
        {"5001,5001,,5002", {"5001", "5002"}},  // repeats and empty items cannot stall it
        {"7", {"7"}},
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
    EXPECT_EQ(shufflePorts(""), "");
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

TEST_F(HostUtilitiesTest, AddressesAndNames) {
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
}

TEST_F(HostUtilitiesTest, StateNamesAndErrorTexts) {
    const std::pair<int, const char*> states[] = {
        {1, "CLOSED"},      {2, "LISTEN"}, {5, "ESTAB"}, {11, "TIME_WAIT"},
        {12, "DELETE_TCB"}, {0, ""},       {13, ""}};
    for (const auto& [state, name] : states) EXPECT_EQ(tcpStateName(state), name) << state;
    EXPECT_EQ(tcpSetLastErrorCode(10061),
              ": WSAECONNREFUSED: The attempt to connect was forcefully rejected");
    EXPECT_EQ(tcpSetLastErrorCode(12345), ": Case unknown in TCPIP::tcpSetLastErrorCode = 12345");
}

TEST_F(HostUtilitiesTest, TcpTableFromProcText) {
    const std::string tcp4 =
        "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
        "timeout inode\n"
        "   0: 0100007F:1F90 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000        "
        "0 1\n"
        "   1: 0100007F:C350 0100007F:2707 01 00000000:00000000 00:00000000 00000000  1000        "
        "0 2\n"
        "   2: 0100007F:C351 0700A8C0:01BB 06 00000000:00000000 00:00000000 00000000  1000        "
        "0 3\n"
        "garbage line\n";
    auto rows = iphelper::parseTcpTable(tcp4, false);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].state, 2);
    EXPECT_EQ(rows[0].localPort, 8080);
    EXPECT_EQ(addressToDotted(rows[1].remoteAddress), "127.0.0.1");
    EXPECT_EQ(rows[1].remotePort, 9991);
    EXPECT_EQ(rows[1].state, 5);
    EXPECT_EQ(addressToDotted(rows[2].remoteAddress), "192.168.0.7");
    EXPECT_EQ(rows[2].remotePort, 443);
    EXPECT_EQ(rows[2].state, 11);

    const std::string tcp6 =
        "  sl  local_address                         remote_address                        st\n"
        "   0: 0000000000000000FFFF00000100007F:1F90 0000000000000000FFFF00000100007F:0050 01\n"
        "   1: 00000000000000000000000001000000:1F90 00000000000000000000000001000000:0050 01\n";
    auto mapped = iphelper::parseTcpTable(tcp6, true);
    ASSERT_EQ(mapped.size(), 1u) << "only IPv4 peers are kept";
    EXPECT_EQ(addressToDotted(mapped[0].remoteAddress), "127.0.0.1");
    EXPECT_EQ(mapped[0].remotePort, 80);

    // The machine's own table: rows without a remote address are skipped.
    const TcpTableSnapshot table = loadTcpTable(threadState().session);
    for (int i = 0; i < table.count; ++i) EXPECT_NE(table.remoteIP[static_cast<size_t>(i)][0], '0');
    EXPECT_EQ(threadState().session.portCount, table.count);
}

}  // namespace
}  // namespace trellybridge
