#include <gtest/gtest.h>

#include <tuple>

#include "SampleRequest.h"
#include "common/Errors.h"
#include "common/ThreadState.h"
#include "component/Configuration.h"
#include "component/RequestPreparation.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

using configuration::CompanyCheck;

class ConfigurationTest : public testing::TestEnvironment {
protected:
    BridgeConfiguration stored(const GetPatientArguments& arguments) {
        BridgeConfiguration config;
        configuration::storeArguments(config, arguments);
        return config;
    }
    GetPatientArguments arguments;
};

// A value given, what a switch that defaults to false keeps, what one that defaults to true keeps.
TEST_F(ConfigurationTest, SwitchesFoldToTrueOrFalse) {
    const std::tuple<Variant, const char*, const char*> cases[] = {
        {Variant("FALSE"), "false", "false"}, {Variant("True"), "true", "true"},
        {Variant("yes"), "false", "true"},    {Variant("no"), "false", "true"},
        {Variant("0"), "false", "true"},      {Variant(""), "false", "true"},
        {Variant(), "false", "true"},         {Variant(true), "true", "true"},
        {Variant(false), "false", "false"},   {Variant(" true"), "false", "true"},
    };
    for (const auto& [given, defaultFalse, defaultTrue] : cases) {
        SCOPED_TRACE(given.toText());
        GetPatientArguments a;
        a.stripPaddedZeros = a.InsuranceOverrides = a.CaseSensitivity = given;
        a.DTR = a.RTS = a.EOF_ = a.NullDiscard = a.MEDICuseGuarantorAddress = given;
        a.DisplayProperties = a.DisplayDebugger = given;
        BridgeConfiguration config = stored(a);
        for (const Variant* field :
             {&config.stripPaddedZeros, &config.InsuranceOverrides, &config.CaseSensitivity,
              &config.DTR, &config.RTS, &config.EOF_, &config.NullDiscard,
              &config.MEDICuseGuarantorAddress})
            EXPECT_EQ(*field, Variant(defaultFalse));
        EXPECT_EQ(config.DisplayProperties, Variant(defaultTrue));
        EXPECT_EQ(config.DisplayDebugger, Variant(defaultTrue));
    }
}

// Each value a request refuses before anything is sent, and its neighbours that work. Unset
// (empty, or the INVALID marker) is none of these: its default or described handling applies.
TEST_F(ConfigurationTest, SettingsThatCanNeverWorkAreNamed) {
    using Field = Variant BridgeConfiguration::*;
    const Field delay = &BridgeConfiguration::TimeDelay,
                retries = &BridgeConfiguration::AllowedRetries,
                ports = &BridgeConfiguration::TCPRemotePorts,
                address = &BridgeConfiguration::VendorApplicationPath;
    // The bridge, the setting and its value, the start of the sentence naming it ("" usable).
    const std::tuple<const char*, Field, Variant, std::string> cases[] = {
        {"TCPIP", delay, "1", ""},
        {"TCPIP", delay, " 1e3 ", ""},
        {"TCPIP", delay, 250, ""},
        {"TCPIP", delay, "2147483647", ""},
        {"TCPIP", delay, "", ""},
        {"TCPIP", delay, "0", "TimeDelay must be a whole number of milliseconds from 1 to"},
        {"TCPIP", delay, "-5", "TimeDelay"},
        {"TCPIP", delay, "2147483648", "TimeDelay"},
        {"TCPIP", delay, "2.5", "TimeDelay"},
        {"TCPIP", delay, true, "TimeDelay"},
        {"TCPIP", delay, "1000x", "TimeDelay"},
        {"TCPIP", delay, kInvalidMarker, "TimeDelay"},
        {"TCPIP", retries, "0", ""},
        {"SERIAL", retries, " 3 ", ""},
        {"TCPIP", retries, 1e300, ""},
        {"VENDOR", retries, "", ""},
        {"TCPIP", retries, kInvalidMarker, ""},
        {"TCPIP", retries, "-1", "AllowedRetries must be a whole number of 0 or more, not \"-1\""},
        {"SERIAL", retries, "nan", "AllowedRetries"},
        {"VENDOR", retries, "inf", "AllowedRetries"},
        {"TCPIP", retries, -5, "AllowedRetries"},
        {"TCPIP", retries, "-1e300", "AllowedRetries"},
        {"HTTPS", retries, "abc", "AllowedRetries"},
        {"TCPIP", retries, "2.5", "AllowedRetries"},
        {"SERIAL", retries, "0", "AllowedRetries must be 1 or more over a serial line"},
        {"TCPIP", ports, "9991, 9992,,65535", ""},
        {"VENDOR", ports, "99x", ""},
        {"TCPIP", ports, "99x",
         "TCPRemotePorts must be port numbers from 1 to 65535 separated by commas, not \"99x\""},
        {"TCPIP", ports, "9991,0", "TCPRemotePorts"},
        {"TCPIP", ports, "65536", "TCPRemotePorts"},
        {"TCPIP", ports, "1e3", "TCPRemotePorts"},
        {"TCPIP", ports, ",", "TCPRemotePorts"},
        {"HTTPS", address, "HTTPS://127.0.0.1/svc/", ""},
        {"TCPIP", address, "http://x/", ""},
        {"HTTPS", address, "http://127.0.0.1/svc/",
         "VendorApplicationPath must be the web service's https:// address, not \"http://"},
        {"HTTPS", address, "file:///srv/answer.xml", "VendorApplicationPath"},
        {"HTTPS", address, "https://", "VendorApplicationPath"},
    };
    for (const auto& [bridge, field, value, problem] : cases) {
        SCOPED_TRACE(std::string(bridge) + " " + value.toText());
        BridgeConfiguration config;
        config.NetworkBridgeType = bridge;
        config.*field = value;
        std::vector<std::string> named = configuration::unusableSettings(config);
        ASSERT_EQ(named.size(), problem.empty() ? 0u : 1u);
        EXPECT_TRUE(problem.empty() || named[0].starts_with(problem)) << named[0];
    }
}

// The text settings given are folded, trimmed or kept; the required ones left empty get the
// invalid marker, the others a default.
TEST_F(ConfigurationTest, TextSettingsAreFoldedTrimmedKeptOrDefaulted) {
    BridgeConfiguration config = stored(arguments);
    // Some of each group: the request, the vendor, TCP/IP, the company number, serial.
    for (const Variant* field :
         {&config.PatientID, &config.NetworkBridgeType, &config.VendorFormatType,
          &config.EOLCharacter, &config.AllowedRetries, &config.HTTPSSubjectCN,
          &config.TCPRemotePorts, &config.MEDICNumberLength, &config.CommPort, &config.Parity,
          &config.SThreshold})
        EXPECT_EQ(field->toText(), kInvalidMarker);
    EXPECT_EQ(config.VendorFacility, Variant());
    EXPECT_EQ(config.MEDICNumberDefault, Variant());
    EXPECT_EQ(config.SerialTimeout, Variant("5"));

    configuration::applyFinalDefaults(config);
    EXPECT_EQ(config.VendorApplicationPath.toText(), kInvalidMarker);
    EXPECT_EQ(config.VendorRequestPath.toText(), kInvalidMarker);
    EXPECT_EQ(config.VendorResultsPath.toText(), kInvalidMarker);
    EXPECT_EQ(config.NetworkTimeout, Variant("5"));
    EXPECT_EQ(config.TimeDelay, Variant("1000"));

    arguments.PatientID = "  12345 ";
    arguments.VendorName = "Medic";
    arguments.VendorFormatType = "hl7";
    arguments.Parity = "NONE";
    arguments.VendorRequestTag = "acct=";
    arguments.LogInsuranceEntries = "   ";
    arguments.AllowedRetries = 3;
    arguments.TCPRemotePorts = 5001;
    config = stored(arguments);
    EXPECT_EQ(config.PatientID, Variant("12345"));
    EXPECT_EQ(config.VendorName, Variant("MEDIC"));
    EXPECT_EQ(config.VendorFormatType, Variant("HL7"));
    EXPECT_EQ(config.Parity, Variant("none"));
    EXPECT_EQ(config.VendorRequestTag, Variant("acct="));
    EXPECT_EQ(config.LogInsuranceEntries, Variant(20000));
    EXPECT_EQ(config.AllowedRetries, Variant(3)) << "kept as the caller passed it";
    EXPECT_EQ(config.TCPRemotePorts, Variant("5001")) << "held as text";
    arguments.LogInsuranceEntries = "50";
    EXPECT_EQ(stored(arguments).LogInsuranceEntries, Variant("50"));
}

// The bridge, AllowedRetries, whether the request goes on, AllowedRetries after, the time-out.
TEST_F(ConfigurationTest, BridgeAdjustmentGivesTcpOneMoreAttempt) {
    const std::tuple<const char*, Variant, bool, Variant, const char*> cases[] = {
        {"TCPIP", Variant("3"), true, Variant(4), "7"},
        {"TCPIP", Variant(1e300), true, Variant(1e300), "7"},
        {"TCPIP", Variant("nan"), true, Variant("nan"), "7"},  // left for the refusal
        {"TCPIP", Variant(kInvalidMarker), false, Variant(kInvalidMarker), "7"},
        {"SERIAL", Variant("3"), true, Variant("3"), "7"},
        {"VENDOR", Variant("abc"), true, Variant("abc"), "9"},
    };
    for (const auto& [bridge, retries, ok, retriesAfter, timeout] : cases) {
        SCOPED_TRACE(bridge);
        BridgeConfiguration config;
        config.NetworkBridgeType = bridge;
        config.AllowedRetries = retries;
        config.SerialTimeout = "7";
        config.NetworkTimeout = "9";
        EXPECT_EQ(configuration::adjustForBridge(config, threadState().reasons()), ok);
        EXPECT_EQ(config.AllowedRetries, retriesAfter);
        EXPECT_EQ(config.bridgeTimeout, Variant(timeout));
    }
}

// The bridge and the results path given; the application, request and results paths after.
TEST_F(ConfigurationTest, PathsFollowTheBridgeType) {
    const std::tuple<const char*, const char*, const char*, const char*, const char*> cases[] = {
        {"SERIAL", "r", "N/A", "N/A", "N/A"},
        {"TCPIP", "r", "N/A", "N/A", "N/A"},
        {"VENDOR", "r", "app", "req", "r"},
        {"POLLING", "r", "N/A", "req", "r"},
        {"FOLDERS", "C:\\results", "N/A", "N/A", "C:\\results\\42.dat"},
        {"FOLDERS", "C:\\results\\", "N/A", "N/A", "C:\\results\\42.dat"},
        {"FOLDERS", "", "N/A", "N/A", "\\42.dat"},
        {"FOLDERS", "/srv/results", "N/A", "N/A", "/srv/results\\42.dat"},
        {"USB", "r", "app", "req", "r"},
        {"HTTPS", "r", "app", "req", "r"},
    };
    for (const auto& [bridge, resultsPath, application, request, results] : cases) {
        SCOPED_TRACE(std::string(bridge) + " " + resultsPath);
        BridgeConfiguration config;
        config.NetworkBridgeType = bridge;
        config.PatientID = "42";
        config.VendorApplicationPath = "app";
        config.VendorRequestPath = "req";
        config.VendorResultsPath = resultsPath;
        configuration::assignBridgePaths(config);
        EXPECT_EQ(config.VendorApplicationPath, Variant(application));
        EXPECT_EQ(config.VendorRequestPath, Variant(request));
        EXPECT_EQ(config.VendorResultsPath, Variant(results));
    }
}

TEST_F(ConfigurationTest, CompanyNumberCheck) {
    auto listOf = [](int entries) {
        std::string list = "1";
        for (int i = 1; i < entries; ++i) list += ",x";
        return list;
    };
    const std::string hundredAndOne = listOf(101), many = listOf(102);
    auto notValid = [](const char* company) {
        return errorElement(errc::InvalidCompanyNumber,
                            std::string("ORVEL Parameter: ") + company +
                                " is not a valid company number for current user");
    };
    const std::string noCompany =
        "ORVEL Parameter: a company number must precede the patientID (ie. 1-123456789) or a "
        "default must be defined";
    constexpr CompanyCheck kPass = CompanyCheck::Passed, kReject = CompanyCheck::Rejected;
    // PatientID, the default company and the valid list given; the outcome, PatientID after,
    // whether the company mode is on, and the error list.
    using Row = std::tuple<const char*, const char*, std::string, CompanyCheck, const char*, bool,
                           std::string>;
    const Row cases[] = {
        {"123456789", "1", "1,2", kPass, "1-123456789", true, ""},  // default joins the identifier
        {"2-555", "1", "1,2", kPass, "2-555", true, ""},  // company taken from the identifier
        {"ab-5", "1", "x,Ab", kPass, "ab-5", true, ""},   // lower case matches the upper-cased list
        {"2-555", "1", "1, 2", kReject, "2-555", true, notValid("2")},  // entries compared exactly
        {"7-42", "1", "1", kReject, "7-42", true, notValid("7")},
        {"-42", "1", "1", kReject, "-42", true,
         errorElement(errc::MissingCompanyNumber, noCompany)},
        {"123", "n/a", "9", kPass, "123", false, ""},  // n/a means no check
        {"123", "", "9", kPass, "123", false, ""},     // an empty default means no check
        {"123", "1", kInvalidMarker, kReject, "123", true, notValid("1")},  // empty list: no match
        {"7", "1", "2,,1", kPass, "1-7", true, ""},  // adjacent commas give an empty entry
        {"123", "1", hundredAndOne, kPass, "1-123", true, ""},  // 101 entries are allowed
        {"123", "1", many, kReject, "123", true, ""},           // more end silently
    };
    for (int row = 0; const auto& [patientId, defaultCompany, validList, outcome, patientIdAfter,
                                   medicMode, error] : cases) {
        SCOPED_TRACE("row " + std::to_string(row++));
        threadState() = ThreadState{};
        BridgeConfiguration config;
        config.PatientID = patientId;
        config.MEDICNumberDefault = defaultCompany;
        config.MEDICNumberValidList = validList;
        EXPECT_EQ(configuration::checkCompanyNumber(config, threadState().reasons()), outcome);
        EXPECT_EQ(config.PatientID, Variant(patientIdAfter));
        EXPECT_EQ(config.medicCompanyMode, medicMode);
        EXPECT_EQ(threadState().errorList, error);
    }
}

// The upper- and lower-casing of the bridge, the format and the switches are checked through
// the search request by GetPatientDataTest.EveryBridgeParameterReachesItsSetting.
TEST_F(ConfigurationTest, CommonParametersNormaliseInPlace) {
    BridgeConfiguration config;
    config.NetworkBridgeType = "tcpip";
    config.PatientID = " 77 ";
    config.AllowedRetries = "2";
    config.VendorResultsPath = "c:\\r.dat";
    config.MEDICNumberDefault = "";
    EXPECT_TRUE(configuration::normaliseCommonParameters(config, threadState().reasons()));
    EXPECT_EQ(config.PatientID, Variant("77"));
    EXPECT_EQ(config.DisplayProperties, Variant("true"));
    EXPECT_EQ(config.AllowedRetries, Variant(3));
    EXPECT_EQ(config.SerialTimeout, Variant("5"));
    EXPECT_EQ(config.bridgeTimeout, Variant("5")) << "the defaulted time-out";
    EXPECT_EQ(config.NetworkTimeout, Variant("5"));
    EXPECT_EQ(config.TimeDelay, Variant("1000"));
    EXPECT_EQ(config.LogInsuranceEntries, Variant(20000));
    EXPECT_EQ(config.VendorResultsPath, Variant("N/A"));
    EXPECT_EQ(config.TCPRemotePorts.toText(), kInvalidMarker);
    EXPECT_EQ(config.MEDICNumberDefault, Variant("")) << "no marker for the default company";

    BridgeConfiguration empty;
    empty.NetworkBridgeType = "TCPIP";
    EXPECT_FALSE(configuration::normaliseCommonParameters(empty, threadState().reasons()))
        << "marker + 1 is not a number";
}

using configuration::Prepared;

using RequestPreparationTest = ConfigurationTest;

// A request refuses what must not reach the vendor; an answer at hand is read with the
// same settings, with no pages and nothing refused. The pages a request shows are
// GetPatientTest.PropertyPagesAppearInOrder's.
TEST_F(RequestPreparationTest, RequestAndAnswerAtHandDifferOnlyInPagesAndRefusals) {
    // What the row shows, PatientID, TimeDelay, what comes of the request.
    const std::tuple<const char*, const char*, const char*, Prepared> cases[] = {
        {"usable", "12345", "1000", Prepared::Ready},
        {"control character", "12\n345", "1000", Prepared::Refused},
        {"bad delay", "12345", "0.5", Prepared::Refused},
    };
    for (const auto& [what, patientId, timeDelay, forRequest] : cases) {
        SCOPED_TRACE(what);
        GetPatientArguments a = vendorsim::sampleRequest(patientId, "tcpip", "hl7");
        a.TimeDelay = timeDelay;
        a.DisplayProperties = "true";

        threadState() = ThreadState{};
        EXPECT_EQ(configuration::prepareRequest(threadState(), a), forRequest);
        EXPECT_EQ(bridgeKind(threadState().config), BridgeKind::TcpIp) << "stored upper-cased";
        if (forRequest == Prepared::Refused) {
            EXPECT_NE(threadState().errorList.find("<error id=\"300\""), std::string::npos);
        }

        threadState() = ThreadState{};
        toolkit->pagesShown.clear();
        EXPECT_EQ(configuration::prepareRequest(threadState(), a, configuration::kForAnswerAtHand),
                  Prepared::Ready);
        EXPECT_TRUE(toolkit->pagesShown.empty());
        EXPECT_EQ(threadState().errorList, "");
        EXPECT_EQ(threadState().config.VendorResultsPath.toText(), "N/A") << "paths assigned";
    }
}

}  // namespace
}  // namespace trellybridge
