// The command line, run in this process or as the real program with its resources bounded.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "Cli.h"
#include "CliSupport.h"
#include "SampleRequest.h"
#include "VendorSimulator.h"
#include "common/RequestState.h"
#include "common/Text.h"
#include "formats/Formats.h"
#include "platform/SerialPort.h"
#include "platform/Toolkit.h"
#include "support/FhirValidation.h"
#include "support/RunProgram.h"
#include "support/ScriptedPeer.h"
#include "support/TestEnvironment.h"
#include "trellybridge/trellybridge.h"

namespace trellybridge {
namespace {

using Args = std::vector<std::string>;

// The request's settings as NAME=VALUE, the empty ones left out.
Args settingsOf(const GetPatientArguments& a) {
    Args settings;
    for (std::size_t i = 0; i < GetPatientArguments::kCount; ++i)
        if (!a.at(i).isEmptyText())
            settings.push_back(std::string(GetPatientArguments::name(i)) + "=" + a.at(i).toText());
    return settings;
}

// Settings under which a request that did run would end at once, found or not: the
// company number is refused before anything is sent.
const Args kEndsAtOnce = {
    "PatientID=-5",         "VendorFormatType=HL7",    "NetworkBridgeType=TCPIP",
    "MEDICNumberDefault=1", "DisplayProperties=false", "TCPRemoteHostName=127.0.0.1"};

// Arguments: `command` and its options, then a "--set" for each NAME=VALUE.
Args withSets(Args command, const Args& settings) {
    for (const std::string& setting : settings) command.insert(command.end(), {"--set", setting});
    return command;
}

// The real program with `arguments`, its memory and time bounded.
testing::ProgramResult runCli(const Args& arguments, const Args& environment = {},
                              const std::string& input = "/dev/null") {
    testing::ProgramRun run{{TRELLYBRIDGE_CLI_PATH}, environment, input};
    run.arguments.insert(run.arguments.end(), arguments.begin(), arguments.end());
    run.memoryBytes = 512ull << 20;
    return testing::runProgram(run);
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class CliTest : public testing::TestEnvironment {
protected:
    // Runs `trellybridge` with `arguments` in this process, printing to `to` or `out`; its
    // exit status.
    int run(Args arguments, std::ostream* to = nullptr) {
        arguments.insert(arguments.begin(), "trellybridge");
        std::vector<const char*> argv;
        for (const std::string& a : arguments) argv.push_back(a.c_str());
        out.str("");
        err.str("");
        return cli::run(static_cast<int>(argv.size()), argv.data(), to ? *to : out, err);
    }
    void TearDown() override {
        vendors.clear();
        TestEnvironment::TearDown();
    }
    // A simulator with `fault`, kept for the test; its first port.
    std::string startVendor(vendorsim::Fault fault = vendorsim::Fault::None) {
        vendorsim::SimulatorOptions options;
        options.fault = fault;
        vendors.push_back(std::make_unique<vendorsim::VendorSimulator>(options));
        std::string error;
        EXPECT_TRUE(vendors.back()->start(error)) << error;
        return std::to_string(vendors.back()->ports()[0]);
    }
    std::ostringstream out, err;
    std::vector<std::unique_ptr<vendorsim::VendorSimulator>> vendors;
};

// Bad input is a usage error that names it, before any request runs. The real program, its
// time bounded: before they were refused, files such as /dev/zero as a config file were read
// without end.
TEST_F(CliTest, BadInputIsAUsageErrorBeforeAnyRequest) {
    std::string big = (root / "big.conf").string(), fifo = (root / "answer.fifo").string();
    std::ofstream(big) << std::string(1024 * 1024, '#') << "\n";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    writeDriveCFile("search.txt", "LastName=Doe\n");
    writeDriveCFile("long.hl7", "MSH|^~\\&|X\rPID|1|12345|||DOE^JOHN" + std::string(1024, ' '));
    const struct {
        Args arguments;
        std::string named;  // what the message must name
        std::string environment = "TRELLYBRIDGE_MAX_ANSWER_BYTES=1024";
        std::string input = "/dev/null";
    } cases[] = {
        {{"get-patient", "--set", "NoSuchSetting=1"}, "NoSuchSetting"},
        // The nearest name, by the measure the Python binding uses too.
        {{"get-patient", "--set", "tcpremotehost=x"},
         "unknown setting 'tcpremotehost' (did you mean 'TCPRemoteHostName'?)"},
        {{"get-patient", "--set", "VendorFormat=HL7"}, "(did you mean 'VendorFormatType'?)"},
        {{"get-patient", "--set", "PatientID"}, "PatientID"},
        {{"get-patient", "--config", "/nonexistent/bridge.conf"}, "/nonexistent/bridge.conf"},
        {{"get-patient", "--config", "/dev/zero"}, "not a regular file"},
        {{"get-patient", "--config", big}, "larger than 1048576"},
        {{"get-patient", "--config", ""}, "empty"},
        {{"get-patient", "--ui", "motif"}, "motif"},
        {{"get-patient", "--set", "NetworkBridgeType=TCPIP"},
         "the request was not sent: PatientID is not set; VendorFormatType is not set; "
         "TCPRemoteHostName is not set"},
        {{"get-patient", "--no-defaults", "--set", "PatientID=1", "--set", "NetworkBridgeType=TCP",
          "--set", "VendorFormatType=foo"},
         "NetworkBridgeType TCP is not SERIAL, TCPIP, HTTPS, VENDOR, POLLING, FOLDERS or USB; "
         "VendorFormatType foo is not HL7, STANDARD, SCAN or XML"},
        {{"get-patient", "--set", "PatientID=1", "--set", "NetworkBridgeType=polling", "--set",
          "VendorFormatType=XML", "--set", "VendorResultsPath=c:\\r.dat"},
         "VendorRequestPath is not set"},
        // Values that can never work, refused before the vendor is asked.
        {withSets({"get-patient"},
                  {"PatientID=1", "NetworkBridgeType=TCPIP", "VendorFormatType=HL7",
                   "TCPRemoteHostName=127.0.0.1", "TCPRemotePorts=99x", "AllowedRetries=-1"}),
         "the request was not sent: AllowedRetries must be a whole number of 0 or more, not "
         "\"-1\"; "
         "TCPRemotePorts must be port numbers from 1 to 65535 separated by commas, not \"99x\""},
        {withSets({"get-patient", "--no-defaults"},
                  {"PatientID=1", "NetworkBridgeType=HTTPS", "VendorFormatType=XML",
                   "VendorApplicationPath=http://127.0.0.1/svc/", "AllowedRetries=x"}),
         "AllowedRetries must be a whole number of 0 or more, not \"x\"; VendorApplicationPath "
         "must be the web service's https:// address, not \"http://127.0.0.1/svc/\""},
        {withSets({"get-patient"}, {"PatientID=1", "NetworkBridgeType=HTTPS",
                                    "VendorFormatType=XML", "VendorApplicationPath=file:///a.xml"}),
         "VendorApplicationPath must be the web service's https:// address"},
        {{"get-patient-data", "--request", onDriveC("missing.xml")}, "missing.xml"},
        {{"get-patient-data", "--request", onDriveC("search.txt")}, "not XML"},
        {{"parse", "--format", "CSV", fifo}, "CSV"},
        {{"parse", "--format", "HL7", fifo}, "not a regular file"},
        // Standard input is held to the answer limit.
        {{"parse", "--format", "HL7", "-"},
         "larger than 1024 bytes",
         "TRELLYBRIDGE_MAX_ANSWER_BYTES=1024",
         onDriveC("long.hl7")},
        // With no scratch folder parse would write the site's logs: not at all.
        {{"parse", "--format", "HL7", onDriveC("search.txt")},
         "TMPDIR=/nonexistent",
         "TMPDIR=/nonexistent"},
        {{"parse", "--format", "HL7", onDriveC("search.txt")}, "TMPDIR=/proc", "TMPDIR=/proc"},
        {{"no-such-command"}, "no-such-command"},
        {{}, "subcommand"},
        {{"get-patient"}, "TRELLYBRIDGE_MAX_ANSWER_BYTES", "TRELLYBRIDGE_MAX_ANSWER_BYTES=0"},
        {{"get-patient"}, "from 65536 to", "TRELLYBRIDGE_DEBUG_LOG_MAX_BYTES=1"},
        // An identifier system that is no absolute URI in printable ASCII, from either source.
        {{"get-patient", "--fhir-account-system", "urn:\xC3\xA9"}, "n:\\xC3\\xA9\" is not ASCII"},
        {{"parse", "--format", "HL7", "--fhir-account-system", "mrn", "-"}, "not an absolute URI"},
        {{"get-patient", "--output", "fhir"},
         "_SYSTEM: \"urn:a b",
         "TRELLYBRIDGE_FHIR_ACCOUNT_SYSTEM=urn:a b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.named);
        Args arguments = c.arguments;
        if (arguments.size() > 1 && arguments[1] == "--config")  // were it read, it would end
            arguments = withSets(arguments, kEndsAtOnce);
        testing::ProgramResult result = runCli(arguments, {c.environment}, c.input);
        EXPECT_EQ(result.exitCode, cli::kUsage) << result.err;
        EXPECT_TRUE(has(result.err, c.named)) << result.err;
        EXPECT_FALSE(has(result.err, "style bridge")) << "no request ran";
        EXPECT_EQ(result.out, "");
    }
}

TEST_F(CliTest, ProgressLinesBreakOnlyAtTheirOwnLineEnds) {
    const std::pair<std::string, std::string> cases[] = {
        {"first\r\nsecond\r\n", "first\nsecond\n"},
        {"status", "status\n"},
        {"\r\n", ""},
        {"bare\rreturn\nand feed\r\n", "bare\\x0Dreturn\\x0Aand feed\n"},
        {std::string("nul\0\x7F", 5), "nul\\x00\\x7F\n"},
    };
    for (const auto& [line, shown] : cases) {
        std::ostringstream progress;
        auto toolkit = cli::installProgressToolkit(progress, false);
        ui::toolkit().progress(ui::ProgressKind::Log, line);
        EXPECT_EQ(progress.str(), shown);
        ui::setToolkit(nullptr);
    }
}

TEST_F(CliTest, ConfigFileLinesAndSetsCombine) {
    std::string path = (root / "bridge.conf").string();
    const std::string lines =
        "patientid = 7-42\nNetworkBridgeType=TCPIP\nVendorFormatType=HL7\nAllowedRetries=2\n"
        "DisplayProperties=false\nMEDICNumberDefault=1\n";
    std::ofstream(path) << "# a site's settings\n[bridge]\n" << lines << "Bogus\n";
    EXPECT_EQ(run({"get-patient", "--config", path}), cli::kUsage);
    EXPECT_TRUE(has(err.str(), "bridge.conf:9")) << err.str();
    std::ofstream(path) << lines;
    EXPECT_EQ(run({"get-patient", "--json", "--config", path, "--set", "MEDICNumberValidList=1,2",
                   "--set", "TCPRemoteHostName=127.0.0.1"}),
              cli::kUsage);
    EXPECT_TRUE(has(err.str(),
                    "error 310: ORVEL Parameter: 7 is not a valid company number for current user"))
        << err.str();
    // --json holds every property by name, and the published errors.
    auto json = nlohmann::json::parse(out.str());
    EXPECT_EQ(json["errors"][0]["code"], 310);
    EXPECT_TRUE(has(json["errors"][0]["description"], "7 is not a valid company number"));
    EXPECT_EQ(json["found"], false);
    EXPECT_EQ(json["properties"].size(), 119u);
    EXPECT_TRUE(has(json["properties"]["ErrorCodes"], "id=\"310\""));
}

// A '#' after a blank starts a comment, the blanks around a value go, quotes keep both.
TEST_F(CliTest, ConfigFileValuesLoseCommentsAndBlanksUnlessQuoted) {
    const std::pair<std::string, std::string> cases[] = {
        {"TCPRemoteHostName=127.0.0.1   # the PM server", "127.0.0.1"},
        {"TCPRemoteHostName = 127.0.0.1\t#", "127.0.0.1"},
        {"VendorRequestTag=ACCT#1", "ACCT#1"},
        {"VendorRequestTag= #only a comment", ""},
        {"VendorRequestTag=\" ACCT #1 \"  # quoted", " ACCT #1 "},
        {"VendorRequestTag=\"ACCT", "bridge.conf:1: the value has no closing quote"},
        {"VendorRequestTag=\"A\" B", "bridge.conf:1: only a comment may follow the closing quote"},
        {"VendorRequestTg=x",
         "unknown setting 'VendorRequestTg' (did you mean 'VendorRequestTag'?)"},
    };
    const std::string path = (root / "bridge.conf").string();
    for (const auto& [line, read] : cases) {
        SCOPED_TRACE(line);
        std::ofstream(path) << line << "\n";
        GetPatientArguments arguments;
        try {
            cli::readConfigFile(arguments, path);
            EXPECT_EQ(arguments.at(line.starts_with("TCP") ? 21 : 4).toText(), read);
        } catch (const cli::UsageError& e) {
            EXPECT_TRUE(has(e.message, read)) << e.message;
        }
    }
}

// The FHIR Bundle itself is checked against the schema by FormatCasesAsFhir.
TEST_F(CliTest, GetPatientFetchesOverTcpAndPrintsThePatient) {
    // The required settings alone find the patient; in the fast pace (the default) no tick
    // of the default timers is waited for. Bare, as a host calling GetPatient with the same
    // five, the INVALID marker of AllowedRetries ends it before sending.
    const Args required = {"PatientID=12345", "NetworkBridgeType=TCPIP",
                           "TCPRemoteHostName=127.0.0.1", "TCPRemotePorts=" + startVendor(),
                           "VendorFormatType=hl7"};
    const std::tuple<Args, const char*, bool> paces[] = {
        {{"--pace", "standard"}, "", true}, {{}, "standard", true}, {{"--fast"}, "standard", false},
        {{"--pace", "FAST"}, "", false},    {{}, "", false},
    };
    for (const auto& [options, environment, ticksWaited] : paces) {
        ::setenv("TRELLYBRIDGE_PACE", environment, 1);
        Args command = {"get-patient"};
        command.insert(command.end(), options.begin(), options.end());
        const int started = clock.tickCount();
        EXPECT_EQ(run(withSets(command, required)), cli::kFound) << err.str();
        EXPECT_EQ(clock.tickCount() != started, ticksWaited) << environment;
    }
    ::unsetenv("TRELLYBRIDGE_PACE");
    EXPECT_TRUE(has(out.str(), "p1PatientLastName: DOE\n")) << out.str();
    EXPECT_TRUE(has(err.str(), "TCPIP style bridge...")) << "progress goes to stderr";
    // The patient data of the debug log (on by default) is said to be there, once.
    const std::string debugLog = onDriveC("BRIDGEDEBUG.log");
    EXPECT_EQ(testing::occurrences(err.str(), "Debug log: " + debugLog + " ("), 1) << err.str();
    EXPECT_EQ(run(withSets({"get-patient", "--output", "FHIR", "--quiet", "--fhir-account-system",
                            "urn:oid:2.16.840.1.113883.19.5"},
                           required)),
              cli::kFound);
    EXPECT_TRUE(has(out.str(), "\"family\": \"DOE\"")) << out.str();
    EXPECT_TRUE(has(out.str(), "\"system\": \"urn:oid:2.16.840.1.113883.19.5\"")) << out.str();
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(run(withSets({"get-patient", "--json", "--quiet"}, required)), cli::kFound);
    EXPECT_EQ(nlohmann::json::parse(out.str())["debug_log"], debugLog);
    EXPECT_EQ(run(withSets({"get-patient", "--quiet", "--no-defaults"}, required)), cli::kUsage);
}

// Without VendorRequestPath the VENDOR bridge hands its program the identifier as its
// argument, with or without the working defaults.
TEST_F(CliTest, VendorProgramIsHandedTheIdentifierWithoutARequestFile) {
    const std::string program = (root / "vendor.sh").string();
    const std::string results = (root / "patient.dat").string();
    std::ofstream(program) << "#!/bin/sh\nexec " << TRELLYBRIDGE_CLI_PATH
                           << " vendor-sim --answer-once --account \"$1\" --results " << results
                           << "\n";
    ::chmod(program.c_str(), 0700);
    for (const char* defaults : {"--quiet", "--no-defaults"}) {
        SCOPED_TRACE(defaults);
        std::filesystem::remove(results);
        testing::ProgramResult result =
            runCli(withSets({"get-patient", "--quiet", defaults},
                            {"PatientID=12345", "NetworkBridgeType=VENDOR", "VendorFormatType=HL7",
                             "VendorApplicationPath=" + program, "VendorResultsPath=" + results}));
        EXPECT_EQ(result.exitCode, cli::kFound) << result.err;
        EXPECT_TRUE(has(result.out, "p1PatientLastName: DOE\n")) << result.out;
    }
}

// The line's framing and split reads are SerialBridgeTest's; here, the command finds the
// device the environment names and says how the request ended.
TEST_F(CliTest, GetPatientOverASerialLineWithTheComPortInTheEnvironment) {
    using vendorsim::Fault;
    const std::tuple<Fault, int, const char*> cases[] = {
        {Fault::None, cli::kFound, "p1PatientLastName: DOE\n"},
        {Fault::HangUp, cli::kUnreachable, "COM1"},  // mid-answer, and the device with it
        // An answer that could not be read is not "not on file".
        {Fault::Garbage, cli::kUnreachable, "could not be read as HL7"},
    };
    for (const auto& [fault, status, expected] : cases) {
        SCOPED_TRACE(expected);
        vendorsim::SimulatorOptions options;
        options.fault = fault;
        vendorsim::VendorSimulator vendor(options);
        std::string error;
        std::string device = vendor.serveSerialLine(error);
        ASSERT_FALSE(device.empty()) << error;
        GetPatientArguments a = vendorsim::sampleRequest("12345", "SERIAL", "HL7", 1);
        a.InputLength = "1";
        a.TimeDelay = "100";
        testing::ProgramResult result = runCli(withSets({"get-patient", "--quiet"}, settingsOf(a)),
                                               {"TRELLYBRIDGE_COM1=" + device});
        EXPECT_EQ(result.exitCode, status) << result.err;
        EXPECT_TRUE(has(status == cli::kFound ? result.out : result.err, expected))
            << result.out << result.err;
    }
}

// A signal mid-request gives the line back the settings it had; the user's own terminal,
// by any name, is no serial line and gets no request.
TEST_F(CliTest, SerialLineIsGivenBackOnASignalAndIsNeverTheUsersTerminal) {
    serial::PseudoTerminal line;
    std::string error;
    ASSERT_TRUE(line.open(error)) << error;
    int device = ::open(line.devicePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(device, 0);
    termios before{};
    ::tcgetattr(device, &before);
    ::cfsetspeed(&before, B1200);  // not the request's 9600
    ::tcsetattr(device, TCSANOW, &before);
    GetPatientArguments a = vendorsim::sampleRequest("12345", "SERIAL", "HL7", 1);
    a.AllowedRetries = "1";
    a.TimeDelay = "100";
    const Args request = withSets({TRELLYBRIDGE_CLI_PATH, "get-patient"}, settingsOf(a));
    for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
        testing::ProgramRun run{request, {"TRELLYBRIDGE_COM1=" + line.devicePath()}};
        run.whileRunning = [&line, signal](int pid) {
            std::string query;
            line.read(query, 10000);  // the request is out: the line is the request's
            ::kill(pid, signal);
        };
        EXPECT_FALSE(testing::runProgram(run).timedOut);
        termios after{};
        ::tcgetattr(device, &after);
        EXPECT_EQ(::cfgetospeed(&after), B1200) << "after signal " << signal;
    }
    ::close(device);
    for (const std::string& named : {std::string("/dev/tty"), line.devicePath()}) {
        Args command = request;
        command.insert(command.begin(), {"/usr/bin/setsid", "--ctty"});
        testing::ProgramResult result =
            testing::runProgram({command, {"TRELLYBRIDGE_COM1=" + named}, line.devicePath()});
        EXPECT_EQ(result.exitCode, cli::kUnreachable) << result.err;
        EXPECT_TRUE(has(result.err, named + ": the user's own terminal")) << result.err;
        std::string written;
        EXPECT_FALSE(line.read(written, 0)) << written;
    }
}

// A failure that is certain (refused, no address, no device) is reported after its attempts,
// one TimeDelay apart, on the command's fast pace: within (AllowedRetries + 1) TimeDelays and
// a second, on the virtual clock.
TEST_F(CliTest, QuietFailuresStillSayWhy) {
    using vendorsim::Fault;
    testing::ScriptedPeer resetting(
        std::vector<testing::ScriptedPeer::Script>(6, testing::resetsAfterRequest));
    const std::string noDevice = (root / "no-such-tty").string();
    ::setenv("TRELLYBRIDGE_COM2", noDevice.c_str(), 1);  // the serial page's port
    const struct {
        std::string port;
        std::string setting;  // the one the row changes
        std::string reason;   // "{port}" stands for the vendor's port
        int status;
        std::string issue;  // the code of the FHIR OperationOutcome's issue
        bool certain = false;
    } cases[] = {
        // First, while the peer waits for its connections.
        {std::to_string(resetting.port()), "PatientID=12345",
         "could not receive from 127.0.0.1 port {port}: Connection reset by peer (3 attempts)",
         cli::kUnreachable, "exception"},
        {startVendor(Fault::Refuse), "PatientID=12345",
         "could not connect to 127.0.0.1 port {port}: Connection refused (3 attempts)",
         cli::kUnreachable, "exception", true},
        {startVendor(Fault::Silent), "PatientID=12345", "no answer from 127.0.0.1 port {port} (",
         cli::kUnreachable, "exception"},
        {startVendor(), "TCPRemoteHostName=no-such-host.invalid",
         "could not find the address of no-such-host.invalid (3 attempts)", cli::kUnreachable,
         "exception", true},
        {startVendor(), "NetworkBridgeType=SERIAL", "could not open COM2 (" + noDevice,
         cli::kUnreachable, "exception", true},
        {startVendor(), "PatientID=99999",
         "the answer from 127.0.0.1 port {port} holds no patient 99999 (1 attempt)", cli::kNotFound,
         "not-found"},
        {startVendor(Fault::ErrorAck), "PatientID=12345",
         "the answer from 127.0.0.1 port {port}: the vendor refused the query (acknowledgement AE)",
         cli::kUnreachable, "exception"},
    };
    std::map<std::string, std::string> outcomes;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        Args settings =
            settingsOf(vendorsim::sampleRequest("12345", "TCPIP", "HL7", std::stoi(c.port)));
        settings.push_back(c.setting);
        const int started = clock.tickCount();
        EXPECT_EQ(run(withSets({"get-patient", "--quiet", "--json"}, settings)), c.status);
        const int elapsedMs = clock.tickCount() - started;
        EXPECT_TRUE(!c.certain || elapsedMs <= (2 + 1) * 1000 + 1000) << elapsedMs << " ms";
        std::string reason = c.reason;
        if (size_t at = reason.find("{port}"); at != std::string::npos)
            reason.replace(at, 6, c.port);
        EXPECT_TRUE(has(err.str(), "No patient found.\n  " + reason)) << err.str();
        // --json carries the same reason, and every note of the request.
        auto json = nlohmann::json::parse(out.str());
        EXPECT_TRUE(has(json["failure"], reason)) << json;
        ASSERT_FALSE(json["failure_notes"].empty());
        EXPECT_TRUE(has(json["failure_notes"].back(), reason));
        EXPECT_TRUE(json["debug_log"].is_null()) << "DisplayDebugger false";
        // FHIR gets no Bundle, but why: an OperationOutcome.
        EXPECT_EQ(run(withSets({"get-patient", "--quiet", "--output", "fhir"}, settings)),
                  c.status);
        json = nlohmann::json::parse(out.str());
        EXPECT_EQ(json["resourceType"], "OperationOutcome");
        EXPECT_EQ(json["issue"][0]["code"], c.issue);
        EXPECT_TRUE(has(json["issue"][0]["diagnostics"], reason)) << json;
        outcomes[c.issue + " " + c.reason] = out.str();
    }
    EXPECT_EQ(testing::fhirProblems(outcomes), "");
    ::unsetenv("TRELLYBRIDGE_COM2");
}

TEST_F(CliTest, GetPatientDataCountsThePatientsAndEscapesVendorTextOnATerminal) {
    const std::string counted =
        "<Result><TransactionID>1</TransactionID><RecordCount>1</RecordCount><Patient><LastName>DO";
    const std::string noPatient =
        "<Result><RecordCount>7</RecordCount><TransactionID>1</TransactionID>";
    const struct {
        std::string answer;
        int status;
        std::string printed;     // into a file or pipe
        std::string onTerminal;  // empty: as printed
    } cases[] = {
        // The vendor's own count and no patient: one count, the component's.
        {noPatient + "</Result>", cli::kNotFound,
         "<Result><TransactionID>1</TransactionID><RecordCount>0</RecordCount></Result>\n", ""},
        {"<Result><TransactionID>1</TransactionID><Patient><LastName>DO\x1B]0;owned\x07"
         "E</LastName></Patient></Result>",
         cli::kFound,
         counted + "\x1B]0;owned\x07"
                   "E</LastName></Patient></Result>\n",
         counted + "\\x1B]0;owned\\x07E</LastName></Patient></Result>\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.printed);
        testing::ScriptedPeer vendor(
            std::vector<testing::ScriptedPeer::Script>(2, testing::answers({c.answer})));
        // Laid out over lines, as a person writes it.
        writeDriveCFile("search.xml",
                        "<SearchInfo>\r\n  <SearchOn>NAME</SearchOn>\n\t<LastName>Doe</LastName>\n"
                        "</SearchInfo><BridgeParameters><NetworkBridgeType>TCPIP"
                        "</NetworkBridgeType><TCPRemoteHostName>127.0.0.1</TCPRemoteHostName>"
                        "<TCPRemotePorts>" +
                            std::to_string(vendor.port()) +
                            "</TCPRemotePorts><AllowedRetries>0</AllowedRetries><Debug>false"
                            "</Debug></BridgeParameters>");
        Args command = {"get-patient-data", "--quiet", "--request", onDriveC("search.xml")};
        EXPECT_EQ(run(command), c.status) << err.str();
        EXPECT_EQ(out.str(), c.printed);
        // Standard output on a pseudo-terminal for the run, as a user at one sees it.
        serial::PseudoTerminal terminal;
        std::string error;
        ASSERT_TRUE(terminal.open(error)) << error;
        int shown = ::open(terminal.devicePath().c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(shown, 0);
        std::cout.flush();
        int saved = ::dup(STDOUT_FILENO);
        ::dup2(shown, STDOUT_FILENO);
        int status = run(command, &std::cout);
        std::cout.flush();
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
        ::close(shown);
        const std::string& expected = c.onTerminal.empty() ? c.printed : c.onTerminal;
        std::string printed;
        for (int reads = 0; reads < 20 && printed.size() < expected.size(); ++reads)
            terminal.read(printed, 200);
        EXPECT_EQ(status, c.status) << err.str();
        EXPECT_EQ(printed, expected);
    }
}

TEST_F(CliTest, DemoFetchesEverySamplePatient) {
    platform::setClock(nullptr);  // the simulator's serial line answers in real time
    EXPECT_EQ(run({"demo"}), cli::kFound) << err.str();
    platform::setClock(&clock);
    for (const char* part : {"5 of 5 patients fetched.", "DOE, JOHN Q", "name search \"RIVERA\"",
                             "    20001  RIVERA, ANA", "FOUND      web service, XML"})
        EXPECT_TRUE(has(out.str(), part)) << part << "\n" << out.str();
}

// A saved answer read with the site's settings: vendor control characters are shown escaped
// (JSON keeps the text, escaped its own way); a keyword drops the insurance; the wrong format
// finds nothing.
TEST_F(CliTest, ParseReadsASavedAnswerWithTheSitesSettings) {
    const char answer[] =
        "MSH|^~\\&|X\rPID|1|12345|||DO\x1B]0;owned\x07"
        "E^JO\0HN\x7F\rIN1|1|P|C|AC\x1B[2JME\r";
    writeDriveCFile("answer.hl7", std::string(answer, sizeof answer - 1));
    Args parse = {"parse", "--format", "HL7", "--set", "EOLCharacter=13", onDriveC("answer.hl7")};
    EXPECT_EQ(run(parse), cli::kFound) << err.str();
    EXPECT_TRUE(has(out.str(), "p1PatientLastName: DO\\x1B]0;owned\\x07E\n")) << out.str();
    for (char c : out.str() + err.str())
        EXPECT_FALSE((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F)
            << "raw control character " << static_cast<int>(c);
    parse.insert(parse.begin() + 1, {"--json", "--set", "HTTPSSubjectCN={NO INS}"});
    EXPECT_EQ(run(parse), cli::kFound);
    auto properties = nlohmann::json::parse(out.str())["properties"];
    EXPECT_EQ(properties["p1PatientLastName"],
              "DO\x1B]0;owned\x07"
              "E");
    EXPECT_EQ(properties["i1InsuredCompanyName"], "");
    EXPECT_EQ(run({"parse", "--format", "XML", onDriveC("answer.hl7")}), cli::kNotFound);
    for (const formats::Format& format : formats::formats())  // any case, as a user types it
        EXPECT_NE(run({"parse", "--format", text::lower(format.name), onDriveC("answer.hl7")}),
                  cli::kUsage)
            << format.name;
}

TEST_F(CliTest, VendorSimulatorRunsForAWhileAndRejectsBadOptions) {
    EXPECT_EQ(run({"vendor-sim", "--format", "SCAN", "--run-for", "0.2"}), 0) << err.str();
    EXPECT_TRUE(has(out.str(), "listening on 127.0.0.1:"));
    EXPECT_EQ(run({"vendor-sim", "--format", "CSV"}), cli::kUsage);
    EXPECT_EQ(run({"vendor-sim", "--fault", "explode"}), cli::kUsage);
    EXPECT_TRUE(has(err.str(), "(the modes are none, refuse, silent, slow")) << err.str();
    vendorsim::VendorSimulator taken({});
    std::string error;
    ASSERT_TRUE(taken.start(error)) << error;
    const std::string port = std::to_string(taken.ports()[0]);
    EXPECT_NE(run({"vendor-sim", "--port", port, "--run-for", "0.1"}), 0);
    EXPECT_TRUE(has(err.str(), ":" + port + ": Address already in use")) << err.str();
    EXPECT_EQ(run({"vendor-sim", "--fault", "hang-up"}), cli::kUsage) << "a fault of a line only";
    EXPECT_EQ(run({"vendor-sim", "--serial", "--fault", "refuse"}), cli::kUsage);
    EXPECT_EQ(run({"vendor-sim", "--serial", "--run-for", "0.2"}), 0) << err.str();
    EXPECT_TRUE(has(out.str(), "TRELLYBRIDGE_COM1=/dev/pts/")) << out.str();
    EXPECT_EQ(run({"vendor-sim", "--https", "--fault", "refuse"}), cli::kUsage);
    // Its certificate files are read as every file from outside: a FIFO cannot hold it.
    std::string fifo = (root / "certificate.fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    testing::ProgramResult https = runCli({"vendor-sim", "--https", "--https-cert", fifo,
                                           "--https-key", fifo, "--https-client-ca", fifo});
    EXPECT_EQ(https.exitCode, 1);
    EXPECT_TRUE(has(https.err, fifo + ": not a regular file")) << https.err;
    EXPECT_EQ(run({"vendor-sim", "--answer-once", "--account", "12345"}), cli::kUsage);
    EXPECT_EQ(
        run({"vendor-sim", "--answer-once", "--account", "12345", "--results", onDriveC("r.dat")}),
        0);
    EXPECT_TRUE(has(readDriveCFile("r.dat"), "PID|1|12345|"));
}

TEST_F(CliTest, WaitingLineSaysWhatIsAwaitedAndForHowLong) {
    RequestState request;
    BridgeConfiguration& c = request.config;
    SessionState& s = request.session;
    c.NetworkBridgeType = "TCPIP";
    c.TCPRemoteHostName = "vendor.example";
    c.TCPRemotePorts = "9000";
    c.AllowedRetries = "3";
    c.TimeDelay = "500";
    s.timeoutTicks = "5";
    s.attemptCount = 2;
    s.elapsedTicks = 4;
    // Attempts 2 and 3 of 6 ticks each are left, less the 4 ticks gone: 8 ticks of 0.5 s.
    EXPECT_EQ(cli::WaitingLine::text(request),
              "waiting for vendor.example:9000, attempt 2 of 3, 4 s left");
    s.remoteIP = "10.0.0.7";
    c.NetworkBridgeType = "SERIAL";
    c.CommPort = "4";
    EXPECT_EQ(cli::WaitingLine::text(request).substr(0, 28), "waiting for COM4, attempt 2 ");
    c.NetworkBridgeType = "<INVALID!>";
    EXPECT_EQ(cli::WaitingLine::text(request), "") << "nothing is awaited";
}

TEST_F(CliTest, HelpDescribesTheCommands) {
    EXPECT_EQ(run({"--version"}), 0);
    EXPECT_EQ(out.str(), std::string("trellybridge ") + tb_version() + "\n");
    // The man page's source: every command's options, every setting with its default.
    EXPECT_EQ(run({"--help-all"}), 0);
    for (const char* part :
         {"--no-defaults", "--request", "--fault", "*Settings*", "  VendorRequestTag\n",
          "default: 126 or 28 (by bridge and format)", "*Exit Status*",
          "Environment:", "TRELLYBRIDGE_DEBUG_LOG_MAX_BYTES", "Files:", "BRIDGEDEBUG.log.1"})
        EXPECT_TRUE(has(out.str(), part)) << part;
}

// Without a display, or with the toolkit not installed or replaceable by others, the
// windows are not shown: the request runs headless and says why. An installed command
// finds the toolkit relative to where it lies. The windows are chosen before the settings
// are checked, which end each run here.
TEST_F(CliTest, WindowsComeOnlyFromATrustedToolkitAndADisplay) {
    std::filesystem::path command = root / "bin" / "trellybridge";
    std::filesystem::create_directories(command.parent_path());
    std::filesystem::copy_file(TRELLYBRIDGE_CLI_PATH, command);
    std::filesystem::path module =
        (command.parent_path() / TRELLYBRIDGE_MODULES_FROM_PROGRAM / "trellybridge-qt.so")
            .lexically_normal();
    const struct {
        bool installed;    // the copy with a display, else the built command without one
        bool uiOption;     // --ui qt, else TRELLYBRIDGE_UI=qt
        int moduleMode;    // -1: not installed
        const char* said;  // null: windows were found
    } cases[] = {
        {false, true, -1, "No windows ("},
        {false, false, -1, "No windows ("},
        {true, true, -1, "the windows need the trellybridge Qt package"},
        {true, true, 0664, "can be changed by its group (mode 0664)"},
        {true, true, 0644, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said ? c.said : "installed");
        if (c.moduleMode >= 0) {
#ifdef TRELLYBRIDGE_QT_MODULE
            std::filesystem::create_directories(module.parent_path());
            std::filesystem::copy_file(TRELLYBRIDGE_QT_MODULE, module,
                                       std::filesystem::copy_options::overwrite_existing);
            ::chmod(module.c_str(), static_cast<mode_t>(c.moduleMode));
#else
            continue;  // a build without Qt has no toolkit to install
#endif
        }
        testing::ProgramRun run{
            withSets({c.installed ? command.string() : TRELLYBRIDGE_CLI_PATH, "get-patient"},
                     kEndsAtOnce),
            c.installed ? Args{"QT_QPA_PLATFORM=offscreen"}
                        : Args{"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="}};
        if (c.uiOption) run.arguments.insert(run.arguments.end(), {"--ui", "qt"});
        if (!c.uiOption) run.environment.push_back("TRELLYBRIDGE_UI=qt");
        testing::ProgramResult result = testing::runProgram(run);
        EXPECT_EQ(result.exitCode, cli::kUsage) << result.err;  // the company number is refused
        if (c.said) {
            EXPECT_TRUE(has(result.err, c.said)) << result.err;
            EXPECT_TRUE(has(result.err, "running headless")) << result.err;
        } else {
            EXPECT_FALSE(has(result.err, "No windows")) << result.err;
        }
    }
}

}  // namespace
}  // namespace trellybridge
