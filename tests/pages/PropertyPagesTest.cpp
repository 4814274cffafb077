#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "component/RequestPreparation.h"
#include "pages/PropertyPages.h"
#include "pages/TcpTestDialog.h"
#include "settings/Settings.h"
#include "support/TestEnvironment.h"
#include "tcp/ConnectionTable.h"

namespace trellybridge {
namespace {

using pages::ConfigurationPage;

class PropertyPagesTest : public testing::TestEnvironment {
protected:
    std::unique_ptr<ConfigurationPage> open(std::string_view name) {
        auto* page = dynamic_cast<ConfigurationPage*>(
            pages::makePage(name, testing::threadRequest().config, testing::threadRequest().session)
                .release());
        EXPECT_NE(page, nullptr) << name;
        return std::unique_ptr<ConfigurationPage>(page);
    }
    std::string& textOf(ConfigurationPage& page, std::string_view label) {
        std::size_t i = page.controlFor(label);
        EXPECT_NE(i, std::string::npos) << label;
        return page.controls().at(i).text;
    }
};

// A page saved as it was loaded leaves every field exactly as it was: the INVALID
// marker, bytes of the upper half and values that are not text.
TEST_F(PropertyPagesTest, SaveWithoutEditsLeavesEveryFieldByteIdentical) {
    std::string high;
    for (int b = 0x80; b <= 0xFF; ++b) high += static_cast<char>(b);
    BridgeConfiguration& c = testing::threadRequest().config;
    int n = 0;
#define TRELLYBRIDGE_FILL(name) \
    c.name = (n++ % 3 == 0) ? Variant(kInvalidMarker) : Variant(high + #name);
    TRELLYBRIDGE_GETPATIENT_ARGUMENTS(TRELLYBRIDGE_FILL)
#undef TRELLYBRIDGE_FILL
    c.LogInsuranceEntries = 20000;
    c.NetworkBridgeType = kInvalidMarker;
    const BridgeConfiguration before = c;
    for (const char* name : {"frmCommonPropertyPage", "frmMEDICProperties", "frmSerialPropertyPage",
                             "frmMoreSerialProperties", "frmNetworkProperties", "frmHISProperties",
                             "frmHTTPSProperties"}) {
        auto page = open(name);
        page->save();
        EXPECT_TRUE(page->closed()) << name;
    }
#define TRELLYBRIDGE_SAME(name) EXPECT_EQ(c.name.toText(), before.name.toText()) << #name;
    TRELLYBRIDGE_GETPATIENT_ARGUMENTS(TRELLYBRIDGE_SAME)
#undef TRELLYBRIDGE_SAME
    EXPECT_EQ(c.LogInsuranceEntries.numericValue(), 20000) << "still a number";
    // The marker shows as an empty box saying "not set"; a value typed there is written.
    auto common = open("frmCommonPropertyPage");
    EXPECT_EQ(textOf(*common, "Bridge Type:"), "");
    EXPECT_EQ(common->controls()[common->controlFor("Bridge Type:")].placeholder, "not set");
    EXPECT_EQ(common->controls()[common->controlFor("Vendor Facility:")].placeholder, "");
    textOf(*common, "Bridge Type:") = "TCPIP";
    // Display Debugging is shown read-only and never written.
    ui::Control& debugging = common->controls()[common->controlFor("Display Debugging:")];
    EXPECT_EQ(debugging.kind, ui::ControlKind::ReadOnly);
    debugging.text = "true";
    common->save();
    EXPECT_EQ(c.NetworkBridgeType.toText(), "TCPIP");
    EXPECT_EQ(c.DisplayDebugger.toText(), before.DisplayDebugger.toText());
}

// Typed values are written on Save, a list clicked writes the whole page at once, and
// Restore writes the group's defaults and shows them; the page stays open for the last two.
TEST_F(PropertyPagesTest, SaveChoiceAndRestoreWriteThePage) {
    auto serial = open("frmSerialPropertyPage");
    textOf(*serial, "Com Port:") = "7";  // typed into the list, no list clicked
    serial->save();
    EXPECT_EQ(testing::threadRequest().config.CommPort.toText(), "7");

    auto more = open("frmMoreSerialProperties");
    textOf(*more, "Serial Timeout (sec):") = "12";
    more->save();
    EXPECT_EQ(testing::threadRequest().session.timeoutTicks, "12");
    testing::threadRequest().config.NetworkTimeout = "9";
    open("frmNetworkProperties")->save();
    EXPECT_EQ(testing::threadRequest().session.timeoutTicks, "9");

    serial = open("frmSerialPropertyPage");
    textOf(*serial, "Data Bits:") = "7";
    serial->choose(serial->controlFor("Parity:"), 1);
    EXPECT_EQ(testing::threadRequest().config.Parity.toText(), "even");
    EXPECT_EQ(testing::threadRequest().config.DataBits.toText(), "7");
    serial->restore();
    EXPECT_EQ(textOf(*serial, "Parity:"), testing::threadRequest().config.Parity.toText());
    EXPECT_NE(textOf(*serial, "Parity:"), "even");
    EXPECT_FALSE(serial->closed());
}

// The pages a bridge's row names are pages there are, and each restores the group that
// the bridge's working defaults take from it.
TEST_F(PropertyPagesTest, EveryBridgesPagesOpenAndRestoreItsDefaults) {
    auto settingsOf = [](const BridgeConfiguration& c) {
        GetPatientArguments a;
#define TRELLYBRIDGE_COPY(name) a.name = c.name;
        TRELLYBRIDGE_GETPATIENT_ARGUMENTS(TRELLYBRIDGE_COPY)
#undef TRELLYBRIDGE_COPY
        return a;
    };
    for (const BridgeRow& bridge : kBridgeRows)
        for (std::string_view name : bridge.pages) {
            if (name.empty()) continue;
            SCOPED_TRACE(name);
            BridgeConfiguration shown, restored;
            SessionState session;
            std::unique_ptr<ui::PropertyPage> page = pages::makePage(name, shown, session);
            ASSERT_NE(page, nullptr);
            auto* form = dynamic_cast<ConfigurationPage*>(page.get());
            if (form == nullptr) continue;  // the TCP test dialog: its own test below
            form->restore();
            settings::restorePageDefaults(name, restored, session);
            for (std::size_t i = 0; i < GetPatientArguments::kCount; ++i)
                EXPECT_EQ(settingsOf(shown).at(i), settingsOf(restored).at(i)) << i;
        }
}

TEST_F(PropertyPagesTest, CharacterListShowsAtMostElevenCharacters) {
    const std::pair<const char*, const char*> cases[] = {
        {"13,10", "{CR}{LF}"},
        {"126", "~"},
        {"65,66,67,68,69,70,71,72,73,74,75,76", "ABCDEFGHIJK"},
        {"abc", ""},
        {" 65 , 999,-3,66", "AB"},
        {"", ""},
    };
    for (const auto& [list, shown] : cases)
        EXPECT_EQ(pages::characterListText(list), std::string("ASCII character string: ") + shown)
            << list;

    testing::threadRequest().config.EOLCharacter = "13,10";
    auto common = open("frmCommonPropertyPage");
    common->press(3);  // the EOL button, after Save, Restore and EOF Response
    ASSERT_FALSE(toolkit->messageBoxes.empty());
    EXPECT_EQ(toolkit->messageBoxes.back(), "Attention!: ASCII character string: {CR}{LF}");
}

class ScriptedFileDialog : public testing::RecordingToolkit {
public:
    ui::FileDialogResult answer;
    std::string askedFolder, askedName, askedFilter;
    ui::FileDialogResult fileDialog(std::string_view folder, std::string_view name,
                                    std::string_view filter) override {
        askedFolder = folder;
        askedName = name;
        askedFilter = filter;
        return answer;
    }
};

TEST_F(PropertyPagesTest, ChosenResultsFileForFoldersBecomesFolderAndPatientId) {
    auto dialog = std::make_shared<ScriptedFileDialog>();
    ui::setToolkit(dialog);
    const struct {
        const char* bridge;
        ui::FileDialogOutcome outcome;
        const char* chosen;
        const char* field;
        const char* box;
    } cases[] = {
        {"FOLDERS", ui::FileDialogOutcome::Chosen, "/srv/r/x.txt", "/srv/r/42.dat", ""},
        {"FOLDERS", ui::FileDialogOutcome::Chosen, "c:\\r\\x.txt", "c:\\r\\42.dat", ""},
        {"VENDOR", ui::FileDialogOutcome::Chosen, "c:\\r\\x.txt", "c:\\r\\x.txt", ""},
        {"FOLDERS", ui::FileDialogOutcome::Cancelled, "", "c:\\old\\p.dat",
         "Attention!: Unable to locate your vendor's results path"},
        {"FOLDERS", ui::FileDialogOutcome::Chosen, "c:\\old\\p.dat", "c:\\old\\p.dat",
         "Attention!: Unable to locate your vendor's results path"},
        {"FOLDERS", ui::FileDialogOutcome::Failed, "", "c:\\old\\p.dat",
         "Attention!: Unable to locate a qualified path"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chosen);
        BridgeConfiguration& config = testing::threadRequest().config;
        config.NetworkBridgeType = c.bridge;
        config.PatientID = "42";
        config.DisplayDebugger = "true";
        config.VendorResultsPath = "c:\\old\\p.dat";
        dialog->messageBoxes.clear();
        dialog->answer = {c.outcome, c.chosen};
        auto page = open("frmNetworkProperties");
        page->press(4);  // the results button, after Save, Restore, Application, Request
        EXPECT_EQ(dialog->askedFolder, "c:\\");
        EXPECT_EQ(dialog->askedName, "c:\\old\\p.dat");
        EXPECT_EQ(dialog->askedFilter, "*.*");
        EXPECT_EQ(config.VendorResultsPath.toText(), c.field);
        EXPECT_EQ(textOf(*page, "Network Results Path:"), c.field);
        EXPECT_EQ(dialog->messageBoxes.empty() ? "" : dialog->messageBoxes.back(), c.box);
    }
}

// Restoring the common page blanks the log size; the request sets it again, so errors
// are still published and insurance lines still logged.
TEST_F(PropertyPagesTest, RestoringTheCommonPageKeepsTheLogSize) {
    toolkit->onPage = [](ui::PropertyPage& page) {
        if (page.name() != "frmCommonPropertyPage") return;
        auto& configPage = dynamic_cast<ConfigurationPage&>(page);
        configPage.restore();
        configPage.controls()[configPage.controlFor("Bridge Type:")].text = "FOLDERS";
        configPage.save();
    };
    GetPatientArguments a;
    a.PatientID = "42";
    a.NetworkBridgeType = "FOLDERS";
    a.DisplayProperties = "true";
    configuration::prepareRequest(testing::threadRequest(), a);
    EXPECT_EQ(toolkit->pagesShown.front(), "frmCommonPropertyPage");
    EXPECT_EQ(testing::threadRequest().config.LogInsuranceEntries.toText(), "20000");
}

// The connections list has fixed columns and choosing a line takes the row behind it; Test
// looks the host up, Clear and Restore reset the fields, Save writes them.
TEST_F(PropertyPagesTest, TcpDialogListsTestsClearsRestoresAndSaves) {
    std::string expected = "10.0.0.5       VENDOR                  9991  ESTABLISHED";
    expected.resize(65, ' ');
    EXPECT_EQ(pages::connectionLine("10.0.0.5", "vendor", "9991", "ESTAB"), expected);
    EXPECT_EQ(pages::padRight("abc", 4), "abc") << "one short stays one short";

    pages::TcpTestDialog dialog{testing::threadRequest().config, testing::threadRequest().session};
    dialog.open();
    EXPECT_FALSE(dialog.detailed());
    dialog.press(pages::TcpTestDialog::ClearButton);
    dialog.controls()[pages::TcpTestDialog::RemoteHostName].text = "";
    dialog.press(pages::TcpTestDialog::TestButton);
    EXPECT_FALSE(dialog.controls()[pages::TcpTestDialog::MyHostName].text.empty());
    EXPECT_EQ(dialog.controls()[pages::TcpTestDialog::HostIP].text, "FAILED!");

    dialog.press(pages::TcpTestDialog::RestoreButton);
    EXPECT_EQ(dialog.controls()[pages::TcpTestDialog::RemotePorts].text, "9991");
    EXPECT_EQ(dialog.controls()[pages::TcpTestDialog::Timeout].text, "8");
    EXPECT_EQ(dialog.controls()[pages::TcpTestDialog::MyHostName].text, "");

    tcp::TcpTableSnapshot table;
    table.remoteIP = {"10.0.0.5", "192.168.100.200", "10.10.100.200"};  // 8, 15 and 14 wide
    table.hostName = {"vendor", "a-very-long-vendor-host-name.example"};
    table.remotePort = {"9991", "9991", "9991"};
    table.state = {"ESTABLISHED", "TIME_WAIT", "ESTAB"};
    table.count = 3;
    dialog.loadAvailablePorts(table);
    ASSERT_EQ(dialog.controls()[pages::TcpTestDialog::Details].choices.size(), 3U);
    EXPECT_EQ(dialog.controls()[pages::TcpTestDialog::Details].choices[0], expected);
    for (int line : {0, 1, 2}) {
        dialog.choose(pages::TcpTestDialog::Details, line);
        EXPECT_EQ(dialog.controls()[pages::TcpTestDialog::HostIP].text,
                  table.remoteIP[static_cast<std::size_t>(line)]);
        EXPECT_EQ(dialog.controls()[pages::TcpTestDialog::RemoteHostName].text,
                  table.remoteIP[static_cast<std::size_t>(line)])
            << "the connection's far end, not this machine";
        EXPECT_EQ(dialog.controls()[pages::TcpTestDialog::RemotePorts].text, "9991") << line;
    }

    dialog.controls()[pages::TcpTestDialog::RemoteHostName].text = "127.0.0.1";
    dialog.press(pages::TcpTestDialog::TestButton);
    EXPECT_EQ(dialog.controls()[pages::TcpTestDialog::HostIP].text, "127.0.0.1");
    dialog.press(pages::TcpTestDialog::SaveButton);
    EXPECT_TRUE(dialog.closed());
    EXPECT_EQ(testing::threadRequest().config.TCPRemoteHostName.toText(), "127.0.0.1");
    EXPECT_EQ(testing::threadRequest().session.remoteIP, "127.0.0.1");
    EXPECT_EQ(testing::threadRequest().config.SerialTimeout.toText(), "8");
}

}  // namespace
}  // namespace trellybridge
