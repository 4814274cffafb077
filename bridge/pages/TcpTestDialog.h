// The TCP test dialog: the TCP settings, a test of the name look-ups, and the machine's
// TCP connections, from which the user may take the vendor's address and port.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "common/BridgeConfiguration.h"
#include "common/SessionState.h"
#include "platform/Toolkit.h"
#include "tcp/ConnectionTable.h"

namespace trellybridge::pages {

// Appends spaces up to `width` when the text is shorter than width - 1; otherwise the
// text stays as it is (one short, or longer and uncut).
std::string padRight(std::string_view text, std::size_t width);
// One line of the connection list: address, upper-cased host name, port and state in
// fixed columns, any state holding "ESTAB" shown as "ESTABLISHED".
std::string connectionLine(std::string_view address, std::string_view hostName,
                           std::string_view port, std::string_view state);

class TcpTestDialog : public ui::PropertyPage {
public:
    // The controls, in the order the toolkit draws them.
    enum : std::size_t { MyHostName, MyIP, RemoteHostName, HostIP, RemotePorts, Timeout, Details };
    enum : std::size_t { TestButton, ClearButton, DetailsButton, RestoreButton, SaveButton };
    // How long each name look-up of the Test button may take.
    static constexpr int kLookupBoundMs = 3000;

    // The dialog edits the request's TCP settings and the session's TCP bookkeeping.
    TcpTestDialog(BridgeConfiguration& config, SessionState& session);
    // Opening: no connection is taken for open, the fields load, the layout is simple.
    void open();
    void load();
    void save();
    void restore();
    void test();
    void clear();
    void toggleDetails();
    // Empties the connection list and adds a line for each row of the TCP table snapshot.
    void loadAvailablePorts(const tcp::TcpTableSnapshot& table);
    bool detailed() const { return controls_[Details].visible; }

    void press(std::size_t button) override;
    void choose(std::size_t control, int line) override;

private:
    struct Row {
        std::string address, port;
    };
    BridgeConfiguration& config_;
    SessionState& session_;
    std::vector<Row> rows_;  // the table row behind each line of the list
    std::vector<std::string> loaded_;
};

}  // namespace trellybridge::pages
