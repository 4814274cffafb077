#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "Cli.h"
#include "CliSupport.h"
#include "VendorSimulator.h"
#include "cli/CliFixture.h"
#include "common/Text.h"
#include "common/ThreadState.h"
#include "formats/Formats.h"
#include "platform/SerialPort.h"
#include "platform/Sockets.h"
#include "platform/Toolkit.h"
#include "support/FhirValidation.h"
#include "support/RunProgram.h"
#include "support/ScriptedPeer.h"
#include "support/TestEnvironment.h"
#include "trellybridge/trellybridge.h"

namespace trellybridge {
namespace {

class CliTest : public testing::CliFixture {};

using testing::kEndsAtOnce;
using testing::withSets;

// A request for patient 12345 in HL7 from the simulator on loopback.
std::vector<std::string> tcpSettings(const std::string& port, const std::string& retries = "2") {
    GetPatientArguments a = vendorsim::sampleRequest("12345", "TCPIP", "HL7", std::stoi(port));
    a.AllowedRetries = retries;
    return testing::settingsOf(a);
}

struct UsageCase {
    std::vector<std::string> arguments;
    std::string named;                  // what the message must name
    const char* answerLimit = nullptr;  // TRELLYBRIDGE_MAX_ANSWER_BYTES for the run
};

TEST_F(CliTest, BadInputIsAUsageError) {
    writeDriveCFile("search.txt", "LastName=Doe\n");
    const UsageCase cases[] = {
        {{"get-patient", "--set", "NoSuchSetting=1"}, "NoSuchSetting"},
        {{"get-patient", "--set", "PatientID"}, "PatientID"},
        {{"get-patient", "--config", "/nonexistent/bridge.conf"}, "/nonexistent/bridge.conf"},
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
        {{"get-patient-data", "--request", onDriveC("missing.xml")}, "missing.xml"},
        {{"get-patient-data", "--request", onDriveC("search.txt")}, "not XML"},
        {{"no-such-command"}, "no-such-command"},
        {{}, "subcommand"},
        {{"get-patient"}, "TRELLYBRIDGE_MAX_ANSWER_BYTES", "0"},
        {{"get-patient-data"}, "TRELLYBRIDGE_MAX_ANSWER_BYTES", "18446744073709551615"},
        {{"parse", "--format", "HL7", "-"}, "TRELLYBRIDGE_MAX_ANSWER_BYTES", "-1"},
    };
    for (const UsageCase& c : cases) {
        SCOPED_TRACE(c.named);
        if (c.answerLimit) ::setenv("TRELLYBRIDGE_MAX_ANSWER_BYTES", c.answerLimit, 1);
        EXPECT_EQ(run(c.arguments), cli::kUsage);
        ::unsetenv("TRELLYBRIDGE_MAX_ANSWER_BYTES");
        EXPECT_NE(err.str().find(c.named), std::string::npos) << err.str();
    }
}

struct BadFileCase {
    const char* name;
    std::vector<std::string> arguments;  // after the program
    std::string named;                   // what the message must say
    bool skipAsRoot = false;             // permissions do not stop root
};

// Each runs the real program with its memory and time bounded: before these were
// refused, /dev/zero as a config file was read without end.
TEST_F(CliTest, UnusableFilesAreUsageErrorsBeforeAnyRequest) {
    std::string folder = root.string();
    std::string big = (root / "big.conf").string();
    std::ofstream(big) << std::string(1024 * 1024, '#') << "\n";
    std::string locked = (root / "locked.conf").string();
    std::ofstream(locked) << "PatientID=1\n";
    ::chmod(locked.c_str(), 0);
    std::string fifo = (root / "answer.fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string answer = (root / "answer.hl7").string();
    std::ofstream(answer) << "MSH|^~\\&|X\rPID|1|12345|||DOE^JOHN\r";
    const BadFileCase cases[] = {
        {"config is a device", {"get-patient", "--config", "/dev/zero"}, "not a regular file"},
        {"config over 1 MiB", {"get-patient", "--config", big}, "larger than 1048576"},
        {"config unreadable", {"get-patient", "--config", locked}, "Permission denied", true},
        {"config name empty", {"get-patient", "--config", ""}, "empty"},
        {"parse config is a device",
         {"parse", "--format", "HL7", "--config", "/dev/zero", answer},
         "not a regular file"},
        {"unknown format", {"parse", "--format", "CSV", answer}, "CSV"},
        {"answer is a folder", {"parse", "--format", "HL7", folder}, "is a directory"},
        {"answer is a FIFO", {"parse", "--format", "HL7", fifo}, "not a regular file"},
    };
    for (const BadFileCase& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.skipAsRoot && ::geteuid() == 0) continue;
        testing::ProgramRun run;
        run.arguments = {TRELLYBRIDGE_CLI_PATH};
        run.arguments.insert(run.arguments.end(), c.arguments.begin(), c.arguments.end());
        if (c.arguments[0] == "get-patient") run.arguments = withSets(run.arguments, kEndsAtOnce);
        run.memoryBytes = 512ull << 20;
        testing::ProgramResult result = testing::runProgram(run);
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.exitCode, cli::kUsage) << result.err;
        EXPECT_NE(result.err.find(c.named), std::string::npos) << result.err;
        EXPECT_EQ(result.err.find("style bridge"), std::string::npos) << "no request ran";
        EXPECT_EQ(result.out, "");
    }
}

TEST_F(CliTest, AnswerOnStandardInputIsHeldToTheAnswerLimit) {
    std::string answer = (root / "answer.hl7").string();
    std::ofstream(answer) << "MSH|^~\\&|X\rPID|1|12345|||DOE^JOHN" << std::string(1024, ' ')
                          << "\r";
    testing::ProgramRun run;
    run.arguments = {TRELLYBRIDGE_CLI_PATH, "parse", "--format", "HL7", "-"};
    run.standardInput = answer;
    run.environment = {"TRELLYBRIDGE_MAX_ANSWER_BYTES=1024"};
    testing::ProgramResult result = testing::runProgram(run);
    EXPECT_EQ(result.exitCode, cli::kUsage) << result.err;
    EXPECT_NE(result.err.find("larger than 1024 bytes"), std::string::npos) << result.err;
}

TEST_F(CliTest, VendorControlCharactersAreShownEscaped) {
    const std::string nul(1, '\0');
    writeDriveCFile("answer.hl7",
                    "MSH|^~\\&|X\rPID|1|12345|||DO\x1B]0;owned\x07"
                    "E^JO" +
                        nul + "HN\x7F\rIN1|1|P|C|AC\x1B[2JME\r");
    EXPECT_EQ(run({"parse", "--format", "HL7", "--set", "EOLCharacter=13", onDriveC("answer.hl7")}),
              cli::kFound)
        << err.str();
    EXPECT_NE(out.str().find("p1PatientLastName: DO\\x1B]0;owned\\x07E\n"), std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("p1PatientFirstName: JOHN\\x7F\n"), std::string::npos)
        << "the NUL dropped by the parser, the DEL escaped";
    EXPECT_NE(out.str().find("i1InsuredCompanyName: AC\\x1B[2JME\n"), std::string::npos);
    for (char c : out.str() + err.str())
        EXPECT_FALSE((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F)
            << "raw control character " << static_cast<int>(c);

    EXPECT_EQ(run({"parse", "--format", "HL7", "--set", "EOLCharacter=13", "--json",
                   onDriveC("answer.hl7")}),
              cli::kFound);
    EXPECT_EQ(nlohmann::json::parse(out.str())["properties"]["p1PatientLastName"],
              "DO\x1B]0;owned\x07"
              "E")
        << "JSON keeps the text, escaped its own way";
}

TEST_F(CliTest, ProgressLinesBreakOnlyAtTheirOwnLineEnds) {
    const std::pair<std::string, std::string> cases[] = {
        {"Connected\r\n", "Connected\n"},
        {"first\r\nsecond\r\n", "first\nsecond\n"},
        {"status", "status\n"},
        {"\r\n", ""},
        {"vendor \x1B]0;title\x07 said\r\n", "vendor \\x1B]0;title\\x07 said\n"},
        {"bare\rreturn\nand feed\r\n", "bare\\x0Dreturn\\x0Aand feed\n"},
        {std::string("nul\0\x7F", 5), "nul\\x00\\x7F\n"},
    };
    for (const auto& [line, shown] : cases) {
        SCOPED_TRACE(shown);
        std::ostringstream progress;
        auto toolkit = cli::installProgressToolkit(progress, false);
        ui::toolkit().progress(ui::ProgressKind::Log, line);
        EXPECT_EQ(progress.str(), shown);
        ui::setToolkit(nullptr);
    }
}

TEST_F(CliTest, ConfigFileLinesAndSetsCombine) {
    std::string path = (root / "bridge.conf").string();
    std::ofstream(path)
        << "# a site's settings\n[bridge]\npatientid = 7-42\nNetworkBridgeType=TCPIP\n"
           "VendorFormatType=HL7\nAllowedRetries=2\nDisplayProperties=false\n"
           "MEDICNumberDefault=1\nBogus\n";
    EXPECT_EQ(run({"get-patient", "--config", path}), cli::kUsage);
    EXPECT_NE(err.str().find("bridge.conf:9"), std::string::npos) << err.str();

    std::ofstream(path) << "patientid = 7-42\nNetworkBridgeType=TCPIP\nVendorFormatType=HL7\n"
                           "AllowedRetries=2\nDisplayProperties=false\nMEDICNumberDefault=1\n";
    EXPECT_EQ(run({"get-patient", "--config", path, "--set", "MEDICNumberValidList=1,2", "--set",
                   "TCPRemoteHostName=127.0.0.1"}),
              cli::kUsage);
    EXPECT_NE(err.str().find(
                  "error 310: ORVEL Parameter: 7 is not a valid company number for current user"),
              std::string::npos)
        << err.str();
}

TEST_F(CliTest, JsonHoldsEveryPropertyByName) {
    EXPECT_EQ(run(withSets({"get-patient", "--json", "--quiet"}, kEndsAtOnce)), cli::kUsage);
    auto json = nlohmann::json::parse(out.str());
    EXPECT_EQ(json["errors"][0]["code"], 311);
    EXPECT_NE(json["errors"][0]["description"].get<std::string>().find("company number"),
              std::string::npos);
    EXPECT_EQ(json["found"], false);
    EXPECT_EQ(json["properties"].size(), 119u);
    EXPECT_EQ(json["properties"]["p1PatientLastName"], "");
    EXPECT_NE(json["properties"]["ErrorCodes"].get<std::string>().find("id=\"311\""),
              std::string::npos);
}

TEST_F(CliTest, GetPatientFetchesOverTcpAndPrintsThePatient) {
    std::string port = startVendor();
    EXPECT_EQ(run(withSets({"get-patient"}, tcpSettings(port))), cli::kFound) << err.str();
    EXPECT_NE(out.str().find("p1PatientLastName: DOE\n"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("i2InsuredCompanyName: HEARTLAND MUTUAL\n"), std::string::npos);
    EXPECT_NE(err.str().find("TCPIP style bridge..."), std::string::npos)
        << "progress goes to stderr";

    EXPECT_EQ(run(withSets({"get-patient", "--output", "FHIR", "--quiet"}, tcpSettings(port))),
              cli::kFound);
    EXPECT_NE(out.str().find("\"family\": \"DOE\""), std::string::npos) << out.str();
    EXPECT_EQ(testing::fhirProblems({{"get-patient --output fhir", out.str()}}), "");

    // The required settings alone find the patient.
    const std::vector<std::string> required = {"PatientID=12345", "NetworkBridgeType=TCPIP",
                                               "TCPRemoteHostName=127.0.0.1",
                                               "TCPRemotePorts=" + port, "VendorFormatType=hl7"};
    EXPECT_EQ(run(withSets({"get-patient", "--quiet", "--fast"}, required)), cli::kFound)
        << err.str();
    EXPECT_NE(out.str().find("p1PatientLastName: DOE\n"), std::string::npos) << out.str();
    // Bare, as a host calling GetPatient with the same five: the INVALID marker of
    // AllowedRetries ends the request before anything is sent.
    EXPECT_EQ(run(withSets({"get-patient", "--quiet", "--fast", "--no-defaults"}, required)),
              cli::kUsage);
    EXPECT_NE(err.str().find("AllowedRetries is not set"), std::string::npos) << err.str();
}

TEST_F(CliTest, FastGivesTheSameResultSoonerWithDefaultTimers) {
    std::vector<std::string> settings = tcpSettings(startVendor());
    std::erase(settings, "SerialTimeout=1");  // the default five ticks of a second
    std::string results[2];
    int elapsed[2];
    for (int fast = 0; fast < 2; ++fast) {
        std::vector<std::string> command = {"get-patient", "--json", "--quiet"};
        if (fast) command.push_back("--fast");
        int started = clock.tickCount();
        EXPECT_EQ(run(withSets(command, settings)), cli::kFound) << err.str();
        elapsed[fast] = clock.tickCount() - started;
        results[fast] = out.str();
    }
    EXPECT_EQ(results[1], results[0]);
    EXPECT_EQ(elapsed[1], 0) << "no tick waited for";
    EXPECT_GE(elapsed[0], 5000);
    EXPECT_EQ(std::getenv("TRELLYBRIDGE_PACE"), nullptr) << "--fast is for its command only";
}

struct SerialLineCase {
    vendorsim::Format format;
    vendorsim::Fault fault;
    const char* expected;  // in stdout when found, else the reason in stderr
};

// The line's framing and split reads are SerialSessionTest's; here, the command finds the
// device the environment names and says how the request ended.
TEST_F(CliTest, GetPatientOverASerialLineWithTheComPortInTheEnvironment) {
    using vendorsim::Fault;
    using vendorsim::Format;
    const SerialLineCase cases[] = {
        {Format::Hl7, Fault::None, "p1PatientLastName: DOE\n"},
        // The line went away mid-answer (and then the device with it).
        {Format::Hl7, Fault::HangUp, "COM1"},
        {Format::Hl7, Fault::Garbage, "No patient found."},
    };
    for (const SerialLineCase& c : cases) {
        SCOPED_TRACE(vendorsim::formatName(c.format) + " fault " + std::to_string(int(c.fault)));
        vendorsim::SimulatorOptions options;
        options.format = c.format;
        options.fault = c.fault;
        vendorsim::VendorSimulator vendor(options);
        std::string error;
        std::string device = vendor.serveSerialLine(error);
        ASSERT_FALSE(device.empty()) << error;
        GetPatientArguments a =
            vendorsim::sampleRequest("12345", "SERIAL", vendorsim::formatName(c.format), 1);
        a.InputLength = "1";
        a.TimeDelay = "100";
        std::vector<std::string> settings = testing::settingsOf(a);
        testing::ProgramRun program;
        program.arguments = withSets({TRELLYBRIDGE_CLI_PATH, "get-patient", "--quiet"}, settings);
        program.environment = {"TRELLYBRIDGE_COM1=" + device};
        testing::ProgramResult result = testing::runProgram(program);
        bool found = c.fault == Fault::None;
        int status = found                      ? cli::kFound
                     : c.fault == Fault::HangUp ? cli::kUnreachable
                                                : cli::kNotFound;
        EXPECT_EQ(result.exitCode, status) << result.err;
        EXPECT_NE((found ? result.out : result.err).find(c.expected), std::string::npos)
            << result.out << result.err;
    }
}

struct QuietFailureCase {
    const char* name;
    std::function<std::string()> port;  // starts the vendor, gives its port
    std::string allowedRetries;
    std::string reason;  // "{port}" stands for the vendor's port
    int status;
    std::string patientId = "12345";
};

TEST_F(CliTest, QuietFailuresStillSayWhy) {
    auto vendor = [this](vendorsim::Fault fault) {
        return [this, fault] {
            vendorsim::SimulatorOptions options;
            options.fault = fault;
            return startVendor(options);
        };
    };
    std::unique_ptr<testing::ScriptedPeer> resetting;
    auto resetsEveryConnection = [&] {
        resetting = std::make_unique<testing::ScriptedPeer>(
            std::vector<testing::ScriptedPeer::Script>(3, testing::resetsAfterRequest));
        return std::to_string(resetting->port());
    };
    const QuietFailureCase cases[] = {
        {"refused", vendor(vendorsim::Fault::Refuse), "2",
         "could not connect to 127.0.0.1 port {port}: Connection refused (3 attempts)",
         cli::kUnreachable},
        {"silent", vendor(vendorsim::Fault::Silent), "2", "no answer from 127.0.0.1 port {port} (",
         cli::kUnreachable},
        {"reset", resetsEveryConnection, "2",
         "could not receive from 127.0.0.1 port {port}: Connection reset by peer (3 attempts)",
         cli::kUnreachable},
        {"garbage", vendor(vendorsim::Fault::Garbage), "2",
         "the answer from 127.0.0.1 port {port} holds no patient 12345", cli::kNotFound},
        {"not on file", vendor(vendorsim::Fault::None), "2",
         "the answer from 127.0.0.1 port {port} holds no patient 99999", cli::kNotFound, "99999"},
        {"retry count no number", vendor(vendorsim::Fault::None), "x",
         "the request was not sent: AllowedRetries is not a number: x", cli::kUsage},
    };
    for (const QuietFailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string port = c.port();
        std::vector<std::string> settings = tcpSettings(port, c.allowedRetries);
        settings.push_back("PatientID=" + c.patientId);
        EXPECT_EQ(run(withSets({"get-patient", "--quiet", "--json"}, settings)), c.status);
        std::string reason = c.reason;
        if (size_t at = reason.find("{port}"); at != std::string::npos) reason.replace(at, 6, port);
        EXPECT_NE(err.str().find("No patient found.\n  " + reason), std::string::npos) << err.str();
        // --json carries the same reason, and every note of the request.
        auto json = nlohmann::json::parse(out.str());
        EXPECT_NE(json["failure"].get<std::string>().find(reason), std::string::npos) << json;
        ASSERT_FALSE(json["failure_notes"].empty());
        EXPECT_NE(json["failure_notes"].back().get<std::string>().find(reason), std::string::npos);
    }
}

struct VendorResultCase {
    const char* what;
    std::string answer;
    bool onTerminal;
    int status;
    std::string printed;
};

TEST_F(CliTest, GetPatientDataCountsThePatientsAndEscapesVendorTextOnATerminal) {
    const std::string named =
        "<Result><TransactionID>1</TransactionID><Patient><LastName>DO"
        "\x1B]0;owned\x07"
        "E</LastName></Patient></Result>";
    const VendorResultCase cases[] = {
        {"the vendor's own count and no patient",
         "<Result><RecordCount>7</RecordCount><TransactionID>1</TransactionID></Result>", false,
         cli::kNotFound,
         "<Result><RecordCount>7</RecordCount><TransactionID>1</TransactionID><RecordCount>0"
         "</RecordCount></Result>\n"},
        {"vendor text on a terminal", named, true, cli::kFound,
         "<Result><TransactionID>1</TransactionID><RecordCount>1</RecordCount><Patient><LastName>"
         "DO\\x1B]0;owned\\x07E</LastName></Patient></Result>\n"},
        {"vendor text into a file or pipe", named, false, cli::kFound,
         "<Result><TransactionID>1</TransactionID><RecordCount>1</RecordCount><Patient><LastName>"
         "DO\x1B]0;owned\x07"
         "E</LastName></Patient></Result>\n"},
    };
    for (const VendorResultCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::string answer = c.answer;
        testing::ScriptedPeer vendor([answer](sockets::Socket connection) {
            testing::readRequest(connection);
            sockets::send(connection, answer, 2000);
        });
        writeDriveCFile("search.xml",
                        "<SearchInfo><SearchOn>NAME</SearchOn><LastName>Doe</LastName>"
                        "</SearchInfo><BridgeParameters><NetworkBridgeType>TCPIP"
                        "</NetworkBridgeType><TCPRemoteHostName>127.0.0.1</TCPRemoteHostName>"
                        "<TCPRemotePorts>" +
                            std::to_string(vendor.port()) +
                            "</TCPRemotePorts><AllowedRetries>0</AllowedRetries><Debug>false"
                            "</Debug></BridgeParameters>");
        std::vector<std::string> command = {"get-patient-data", "--quiet", "--request",
                                            onDriveC("search.xml")};
        if (!c.onTerminal) {
            EXPECT_EQ(run(command), c.status) << err.str();
            EXPECT_EQ(out.str(), c.printed);
            continue;
        }
        // Standard output on a pseudo-terminal for the run, as a user at one sees it.
        serial::PseudoTerminal terminal;
        std::string error;
        ASSERT_TRUE(terminal.open(error)) << error;
        int shown = ::open(terminal.devicePath().c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(shown, 0);
        std::cout.flush();
        int saved = ::dup(STDOUT_FILENO);
        ::dup2(shown, STDOUT_FILENO);
        command.insert(command.begin(), "trellybridge");
        std::vector<const char*> argv;
        for (const std::string& a : command) argv.push_back(a.c_str());
        int status = cli::run(static_cast<int>(argv.size()), argv.data(), std::cout, err);
        std::cout.flush();
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
        ::close(shown);
        std::string printed;
        for (int reads = 0; reads < 20 && printed.size() < c.printed.size(); ++reads)
            terminal.read(printed, 200);
        EXPECT_EQ(status, c.status) << err.str();
        EXPECT_EQ(printed, c.printed);
    }
}

TEST_F(CliTest, DemoFetchesEverySamplePatient) {
    platform::setClock(nullptr);  // the simulator's serial line answers in real time
    EXPECT_EQ(run({"demo"}), cli::kFound) << err.str();
    platform::setClock(&clock);
    EXPECT_NE(out.str().find("5 of 5 patients fetched."), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("DOE, JOHN Q"), std::string::npos);
    EXPECT_NE(out.str().find("name search \"RIVERA\""), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("    20001  RIVERA, ANA"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("FOUND      web service, XML"), std::string::npos);
}

// A saved answer read with the site's settings: a keyword drops the insurance; the wrong
// format finds nothing.
TEST_F(CliTest, ParseReadsASavedAnswerWithTheSitesSettings) {
    writeDriveCFile("answer.hl7", "MSH|^~\\&|X\rPID|1|12345|||DOE^JOHN\rIN1|1|P|C|ACME\r");
    EXPECT_EQ(run({"parse", "--format", "HL7", "--set", "HTTPSSubjectCN={NO INS}", "--json",
                   onDriveC("answer.hl7")}),
              cli::kFound);
    EXPECT_EQ(nlohmann::json::parse(out.str())["properties"]["i1InsuredCompanyName"], "");
    EXPECT_EQ(run({"parse", "--format", "XML", onDriveC("answer.hl7")}), cli::kNotFound);
    for (const formats::Format& format : formats::formats())  // any case, as a user types it
        EXPECT_NE(run({"parse", "--format", text::lower(format.name), onDriveC("answer.hl7")}),
                  cli::kUsage)
            << format.name;
}

TEST_F(CliTest, VendorSimulatorRunsForAWhileAndRejectsBadOptions) {
    EXPECT_EQ(run({"vendor-sim", "--format", "SCAN", "--run-for", "0.2"}), 0) << err.str();
    EXPECT_NE(out.str().find("listening on 127.0.0.1:"), std::string::npos);
    EXPECT_EQ(run({"vendor-sim", "--format", "CSV"}), cli::kUsage);
    EXPECT_EQ(run({"vendor-sim", "--fault", "explode"}), cli::kUsage);
    EXPECT_NE(err.str().find("(the modes are none, refuse, silent, slow"), std::string::npos)
        << err.str();
    vendorsim::VendorSimulator taken({});
    std::string error;
    ASSERT_TRUE(taken.start(error)) << error;
    EXPECT_NE(run({"vendor-sim", "--port", std::to_string(taken.ports()[0]), "--run-for", "0.1"}),
              0);
    EXPECT_NE(err.str().find(":" + std::to_string(taken.ports()[0]) + ": Address already in use"),
              std::string::npos)
        << err.str();
    EXPECT_EQ(run({"vendor-sim", "--fault", "hang-up"}), cli::kUsage) << "a fault of a line only";
    EXPECT_EQ(run({"vendor-sim", "--serial", "--fault", "refuse"}), cli::kUsage);
    EXPECT_EQ(run({"vendor-sim", "--serial", "--run-for", "0.2"}), 0) << err.str();
    EXPECT_NE(out.str().find("TRELLYBRIDGE_COM1=/dev/pts/"), std::string::npos) << out.str();
    EXPECT_EQ(run({"vendor-sim", "--https", "--fault", "refuse"}), cli::kUsage);
    EXPECT_EQ(run({"vendor-sim", "--answer-once", "--account", "12345"}), cli::kUsage);
    EXPECT_EQ(
        run({"vendor-sim", "--answer-once", "--account", "12345", "--results", onDriveC("r.dat")}),
        0);
    EXPECT_NE(readDriveCFile("r.dat").find("PID|1|12345|"), std::string::npos);
}

TEST_F(CliTest, WaitingLineSaysWhatIsAwaitedAndForHowLong) {
    BridgeConfiguration& c = threadState().config;
    SessionState& s = threadState().session;
    c.NetworkBridgeType = "TCPIP";
    c.TCPRemoteHostName = "vendor.example";
    c.TCPRemotePorts = "9000";
    c.AllowedRetries = "3";
    c.TimeDelay = "500";
    s.timeoutTicks = "5";
    s.attemptCount = 2;
    s.elapsedTicks = 4;
    // Attempts 2 and 3 of 6 ticks each are left, less the 4 ticks gone: 8 ticks of 0.5 s.
    EXPECT_EQ(cli::WaitingLine::text(),
              "waiting for vendor.example:9000, attempt 2 of 3, 4 s left");
    s.remoteIP = "10.0.0.7";
    c.NetworkBridgeType = "SERIAL";
    c.CommPort = "4";
    EXPECT_EQ(cli::WaitingLine::text().substr(0, 28), "waiting for COM4, attempt 2 ");
    c.NetworkBridgeType = "<INVALID!>";
    EXPECT_EQ(cli::WaitingLine::text(), "") << "nothing is awaited";
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
        EXPECT_NE(out.str().find(part), std::string::npos) << part;
}

// Without a display the windows cannot be shown: the request runs headless and says why,
// whether the toolkit came from --ui or from TRELLYBRIDGE_UI.
TEST(UiOption, QtWithoutADisplayRunsHeadlessAndSaysWhy) {
    const std::vector<std::string> noDisplay = {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="};
    const std::vector<std::string> request =
        testing::withSets({TRELLYBRIDGE_CLI_PATH, "get-patient"}, testing::kEndsAtOnce);
    struct Case {
        const char* what;
        std::vector<std::string> extraArguments, extraEnvironment;
    };
    const Case cases[] = {
        {"option", {"--ui", "qt"}, {}},
        {"environment", {}, {"TRELLYBRIDGE_UI=qt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testing::ProgramRun run;
        run.arguments = request;
        run.arguments.insert(run.arguments.end(), c.extraArguments.begin(), c.extraArguments.end());
        run.environment = noDisplay;
        run.environment.insert(run.environment.end(), c.extraEnvironment.begin(),
                               c.extraEnvironment.end());
        testing::ProgramResult result = testing::runProgram(run);
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.exitCode, cli::kUsage) << result.err;  // the company number is refused
        EXPECT_NE(result.err.find("No windows ("), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("running headless"), std::string::npos) << result.err;
    }
}

class UiModuleTest : public testing::TestEnvironment {};

// An installed command finds the Qt toolkit where installing puts it, relative to where
// the command lies; it says which package is missing, and refuses a toolkit that others
// could have replaced.
TEST_F(UiModuleTest, InstalledCommandLoadsTheToolkitBesideItOnlyWhenTrusted) {
    std::filesystem::path command = root / "bin" / "trellybridge";
    std::filesystem::create_directories(command.parent_path());
    std::filesystem::copy_file(TRELLYBRIDGE_CLI_PATH, command);
    std::filesystem::path module =
        (command.parent_path() / TRELLYBRIDGE_MODULES_FROM_PROGRAM / "trellybridge-qt.so")
            .lexically_normal();
    struct Case {
        const char* what;
        int moduleMode;  // -1: not installed
        const char* said;
    };
    const Case cases[] = {
        {"not installed", -1, "the windows need the trellybridge Qt package"},
        {"writable by its group", 0664, "can be changed by its group (mode 0664)"},
        {"installed", 0644, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
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
        testing::ProgramRun run;
        run.arguments = testing::withSets({command.string(), "get-patient", "--ui", "qt"},
                                          testing::kEndsAtOnce);
        run.environment = {"QT_QPA_PLATFORM=offscreen"};
        testing::ProgramResult result = testing::runProgram(run);
        // The windows are chosen before the settings are checked, which end it here.
        EXPECT_EQ(result.exitCode, cli::kUsage) << result.err;
        if (c.said) {
            EXPECT_NE(result.err.find(c.said), std::string::npos) << result.err;
            EXPECT_NE(result.err.find("running headless"), std::string::npos) << result.err;
        } else {
            EXPECT_EQ(result.err.find("No windows"), std::string::npos) << result.err;
        }
    }
}

}  // namespace
}  // namespace trellybridge
