#include "pages/PropertyPages.h"

#include <charconv>
#include <utility>

#include "common/SessionState.h"
#include "common/Text.h"
#include "common/Version.h"
#include "formats/Formats.h"
#include "pages/TcpTestDialog.h"
#include "settings/Settings.h"

namespace trellybridge::pages {
namespace {

using C = BridgeConfiguration;
using Choices = std::vector<std::string>;

// Built on first use: nothing runs before main.
const Choices& switchChoices() {
    static const Choices choices = {"true", "false"};
    return choices;
}

Choices formatNames() {
    Choices names;
    for (const formats::Format& format : formats::formats()) names.emplace_back(format.name);
    return names;
}

// The bridges in the page's order.
Choices bridgeChoices() {
    Choices choices(std::size(kBridgeRows));
    for (const BridgeRow& bridge : kBridgeRows)
        choices.at(static_cast<std::size_t>(bridge.pageRow)) = std::string(bridge.name);
    return choices;
}

Choices numbers(int from, int to) {
    Choices out;
    for (int n = from; n <= to; ++n) out.push_back(std::to_string(n));
    return out;
}

void attention(const std::string& text, ui::Icon icon) {
    ui::toolkit().messageBox(text, "Attention!", icon);
}

class CommonPage : public ConfigurationPage {
public:
    CommonPage()
        : ConfigurationPage(
              "frmCommonPropertyPage", "TrellyBridge Properties - Common",
              {{"Bridge Type:", &C::NetworkBridgeType, bridgeChoices()},
               {"Vendor Name:", &C::VendorName, {}},
               {"Vendor Facility:", &C::VendorFacility, {}},
               {"Vendor Request Tag:", &C::VendorRequestTag, {"ACCT=", "<%DYNAMIC%>"}},
               {"Vendor Format Type:", &C::VendorFormatType, formatNames()},
               {"Vendor Format Version:", &C::VendorFormatVersion, {"1.0", "2.3"}},
               {"EOF Response:", &C::EOFCharacter, {}},
               {"EOL (ASCII numerics , delimited):", &C::EOLCharacter, {}},
               {"EOF Request:", &C::EOFRequest, {}},
               {"Allowed Retries:", &C::AllowedRetries, numbers(0, 6)},
               {"Trim Padding Zeros:", &C::stripPaddedZeros, switchChoices()},
               {"Display Properties:", &C::DisplayProperties, switchChoices()},
               // Shown but never written back; read-only, so an edit cannot vanish unseen.
               {"Display Debugging:", &C::DisplayDebugger, switchChoices(), false},
               {"Insurance Overrides:", &C::InsuranceOverrides, switchChoices()},
               {"Case Sensitivity:", &C::CaseSensitivity, switchChoices()},
               {"Maximum Log Entries:", &C::LogInsuranceEntries, {}},
               {"Time Delay:", &C::TimeDelay, {"10", "100", "500", "1000"}}},
              settings::restoreCommonDefaults) {
        addButton("EOF Response...", [this] { showCharacters("EOF Response:"); });
        addButton("EOL...", [this] { showCharacters("EOL (ASCII numerics , delimited):"); });
        addButton("EOF Request...", [this] { showCharacters("EOF Request:"); });
    }

private:
    void showCharacters(std::string_view label) {
        attention(characterListText(controls_[controlFor(label)].text), ui::Icon::Information);
    }
};

class MedicPage : public ConfigurationPage {
public:
    MedicPage()
        : ConfigurationPage(
              "frmMEDICProperties", "TrellyBridge Properties - HL7",
              {{"HL7 Number Default:", &C::MEDICNumberDefault, {}},
               {"HL7 Number Length:", &C::MEDICNumberLength, {}},
               {"HL7 Number Valid List:", &C::MEDICNumberValidList, {}},
               {"HL7 Use Guarantor Address:", &C::MEDICuseGuarantorAddress, switchChoices()}},
              settings::restoreMEDICDefaults) {}
};

class SerialPage : public ConfigurationPage {
public:
    SerialPage()
        : ConfigurationPage(
              "frmSerialPropertyPage", "TrellyBridge Properties - Serial",
              {{"Com Port:", &C::CommPort, numbers(1, 9)},
               {"DTR:", &C::DTR, switchChoices()},
               {"RTS:", &C::RTS, switchChoices()},
               {"EOF:", &C::EOF_, switchChoices()},
               {"Handshaking:", &C::Handshaking, {"none", "xonxoff", "rts", "rtsxonxoff"}},
               {"Input Mode:", &C::InputMode, {"text", "binary"}},
               {"Null Discard:", &C::NullDiscard, switchChoices()},
               {"Bits/Second:",
                &C::BPS,
                {"110", "300", "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200",
                 "230400"}},
               {"Data Bits:", &C::DataBits, {}},
               {"Parity:", &C::Parity, {"none", "even", "odd", "mark", "space"}},
               {"Stop Bits:", &C::StopBits, {"1.0", "1.5", "2.0"}},
               {"Flow Control:", &C::FlowControl, {"none", "xon/xoff", "hardware"}}},
              settings::restoreSerialDefaults) {}

private:
    // A click on any list writes the whole page, as it always has; save writes it too,
    // so a value typed into a list is not lost when no list is clicked afterwards.
    void afterChoose() override { writeFields(); }
};

class MoreSerialPage : public ConfigurationPage {
public:
    MoreSerialPage()
        : ConfigurationPage("frmMoreSerialProperties", "TrellyBridge Properties - Serial",
                            {{"Input Length:", &C::InputLength, {}},
                             {"InBuffer Size:", &C::InBufferSize, {}},
                             {"OutBuffer Size:", &C::OutBufferSize, {}},
                             {"RThreshold:", &C::RThreshold, {}},
                             {"SThreshold:", &C::SThreshold, {}},
                             {"Serial Timeout (sec):", &C::SerialTimeout, {}}},
                            settings::restoreMoreSerialDefaults) {}

private:
    void afterSave() override { session().timeoutTicks = config().SerialTimeout.toText(); }
};

class NetworkPage : public ConfigurationPage {
public:
    NetworkPage()
        : ConfigurationPage("frmNetworkProperties", "TrellyBridge Properties - Network",
                            {{"Vendor Application Path:", &C::VendorApplicationPath, {}},
                             {"Network Request Path:", &C::VendorRequestPath, {}},
                             {"Network Results Path:", &C::VendorResultsPath, {}},
                             {"Network Timeout (sec):", &C::NetworkTimeout, {}}},
                            settings::restoreNetworkDefaults) {
        addButton("Application...",
                  [this] { choosePath(0, "*.exe", "Unable to locate your vendor's executable"); });
        addButton("Request...",
                  [this] { choosePath(1, "*.*", "Unable to locate your vendor's request path"); });
        addButton("Results...",
                  [this] { choosePath(2, "*.*", "Unable to locate your vendor's results path"); });
    }

private:
    void afterSave() override { session().timeoutTicks = config().NetworkTimeout.toText(); }

    void choosePath(std::size_t control, std::string_view filter, const std::string& notFound) {
        std::string current = controls_[control].text;
        ui::FileDialogResult chosen = ui::toolkit().fileDialog("c:\\", current, filter);
        if (chosen.outcome == ui::FileDialogOutcome::Failed) {
            attention("Unable to locate a qualified path", ui::Icon::Critical);
            return;
        }
        if (chosen.outcome == ui::FileDialogOutcome::Cancelled || chosen.path == current) {
            if (config().DisplayDebugger.toText() == "true")
                attention(notFound, ui::Icon::Critical);
            return;
        }
        std::string value = chosen.path;
        if (control == 2 && vendorPathsOf(bridgeKind(config())) == VendorPaths::ResultsFolder)
            value = folderOfChosenFile(chosen.path) + config().PatientID.toText() + ".dat";
        setField(control, value);
    }
};

class HisPage : public ConfigurationPage {
public:
    HisPage()
        : ConfigurationPage(
              "frmHISProperties", "TrellyBridge Properties - HIS",
              {{"HIS DSN:", &C::HISDSN, {}}, {"HIS Business Unit:", &C::HISBusinessUnit, {}}},
              settings::restoreHISDefaults) {}
};

class HttpsPage : public ConfigurationPage {
public:
    HttpsPage()
        : ConfigurationPage("frmHTTPSProperties", "TrellyBridge Properties - HTTPS",
                            {{"HTTPS OrganizationID:", &C::HTTPSOrganizationID, {}},
                             {"HTTPS SubjectCN:", &C::HTTPSSubjectCN, {}}},
                            settings::restoreHTTPSDefaults) {}

private:
    void afterSave() override { session().timeoutTicks = config().NetworkTimeout.toText(); }
};

}  // namespace

std::string pageCaption() {
    return std::string(kApplicationTitle) + " v.1.6.1";
}

std::string characterListText(std::string_view list) {
    constexpr int kMaxCodes = 11;
    std::string shown;
    std::size_t start = 0;
    for (int n = 0; n < kMaxCodes && start <= list.size(); ++n) {
        std::size_t comma = list.find(',', start);
        std::string code = text::trimSpaces(list.substr(start, comma - start));
        int value = -1;
        auto [end, error] = std::from_chars(code.data(), code.data() + code.size(), value);
        bool whole = error == std::errc() && end == code.data() + code.size() && !code.empty();
        if (whole && value == 13) {
            shown += "{CR}";
        } else if (whole && value == 10) {
            shown += "{LF}";
        } else if (whole && value > 0 && value <= 255) {
            shown += static_cast<char>(value);
        }
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return "ASCII character string: " + shown;
}

std::string folderOfChosenFile(std::string_view path) {
    std::size_t last = path.find_last_of("\\/");
    return last == std::string_view::npos ? std::string() : std::string(path.substr(0, last + 1));
}

ConfigurationPage::ConfigurationPage(std::string name, std::string heading,
                                     std::vector<FieldSpec> fields,
                                     std::function<void(BridgeConfiguration&)> restoreGroup)
    : ui::PropertyPage(std::move(name), pageCaption(), std::move(heading)),
      fields_(std::move(fields)),
      restoreGroup_(std::move(restoreGroup)) {
    for (const FieldSpec& spec : fields_) {
        ui::Control control;
        control.label = spec.label;
        control.kind = !spec.written          ? ui::ControlKind::ReadOnly
                       : spec.choices.empty() ? ui::ControlKind::TextBox
                                              : ui::ControlKind::List;
        controls_.push_back(std::move(control));
    }
    loaded_.resize(fields_.size());
    addButton("&Save", [this] { save(); });
    addButton("Restore &Defaults", [this] { restore(); });
}

void ConfigurationPage::addButton(std::string caption, std::function<void()> action) {
    buttons_.push_back(std::move(caption));
    actions_.push_back(std::move(action));
}

void ConfigurationPage::load() {
    const BridgeConfiguration& config = *config_;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        ui::Control& control = controls_[i];
        control.text.clear();
        control.choices = fields_[i].choices;
        control.text = (config.*fields_[i].field).toText();
        // A setting the caller left out holds the INVALID marker: the box shows it as
        // unset, and a save leaves the marker untouched unless the user types a value.
        control.placeholder.clear();
        if (control.text == kInvalidMarker) {
            control.text.clear();
            control.placeholder = "not set";
        }
        loaded_[i] = control.text;
    }
}

void ConfigurationPage::writeFields() {
    BridgeConfiguration& config = *config_;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        if (!fields_[i].written || controls_[i].text == loaded_[i]) continue;
        config.*fields_[i].field = controls_[i].text;
        loaded_[i] = controls_[i].text;
    }
}

void ConfigurationPage::setField(std::size_t control, const std::string& text) {
    config().*fields_[control].field = text;
    controls_[control].text = text;
    loaded_[control] = text;
}

void ConfigurationPage::save() {
    writeFields();
    afterSave();
    closed_ = true;
}

void ConfigurationPage::restore() {
    restoreGroup_(config());
    load();
}

void ConfigurationPage::press(std::size_t button) {
    if (button < actions_.size()) actions_[button]();
}

void ConfigurationPage::choose(std::size_t control, int line) {
    if (control >= controls_.size() || line < 0) return;
    const std::vector<std::string>& choices = controls_[control].choices;
    if (static_cast<std::size_t>(line) >= choices.size()) return;
    controls_[control].text = choices[static_cast<std::size_t>(line)];
    afterChoose();
}

std::size_t ConfigurationPage::controlFor(std::string_view label) const {
    for (std::size_t i = 0; i < controls_.size(); ++i)
        if (controls_[i].label == label) return i;
    return std::string::npos;
}

std::unique_ptr<ui::PropertyPage> makePage(std::string_view name, BridgeConfiguration& config,
                                           SessionState& session) {
    std::unique_ptr<ConfigurationPage> page;
    if (name == "frmCommonPropertyPage") page = std::make_unique<CommonPage>();
    if (name == "frmMEDICProperties") page = std::make_unique<MedicPage>();
    if (name == "frmSerialPropertyPage") page = std::make_unique<SerialPage>();
    if (name == "frmMoreSerialProperties") page = std::make_unique<MoreSerialPage>();
    if (name == "frmNetworkProperties") page = std::make_unique<NetworkPage>();
    if (name == "frmHISProperties") page = std::make_unique<HisPage>();
    if (name == "frmHTTPSProperties") page = std::make_unique<HttpsPage>();
    if (page) {
        page->edit(config, session);
        page->load();
        return page;
    }
    if (name == "frmTCPTest") {
        auto dialog = std::make_unique<TcpTestDialog>(config, session);
        dialog->open();
        return dialog;
    }
    return nullptr;
}

void showPage(std::string_view name, BridgeConfiguration& config, SessionState& session) {
    if (std::unique_ptr<ui::PropertyPage> page = makePage(name, config, session))
        ui::toolkit().showPropertyPage(*page);
}

}  // namespace trellybridge::pages
