// The simulator's answers, read back by the component's own parsers.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <iterator>
#include <thread>

#include "Answers.h"
#include "SampleRequest.h"
#include "VendorSimulator.h"
#include "formats/Formats.h"
#include "platform/FileSystem.h"
#include "platform/Sockets.h"
#include "session/ProgressWindow.h"
#include "support/TestEnvironment.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge {
namespace {

using namespace vendorsim;

class SimulatorTest : public testing::TestEnvironment {
protected:
    void SetUp() override {
        TestEnvironment::SetUp();
        testing::threadRequest().config.MEDICNumberLength = kInvalidMarker;
        testing::threadRequest().config.HTTPSSubjectCN = kInvalidMarker;
        prepareToReadAnswers();
    }
};

// Every row of the table of formats: its name is the format's, the simulator finds the
// account in the row's request (default tag), and the answer reads back to the patient.
TEST_F(SimulatorTest, EveryFormatReadsBackToTheSamePatient) {
    BridgeConfiguration& c = testing::threadRequest().config;
    for (const formats::Format& row : formats::formats()) {
        Format format{};
        ASSERT_TRUE(parseFormat(row.name, format)) << row.name;
        ASSERT_EQ(formatKindOf(row.name), row.kind) << row.name;
        for (const SamplePatient& patient : builtInPatients()) {
            SCOPED_TRACE(formatName(format) + " " + patient.account);
            c.VendorFormatType = std::string(row.name);
            c.VendorRequestTag = std::string(row.requestTag);
            c.PatientID = patient.account;
            EXPECT_EQ(requestedAccount(format, row.build(c, clock).text), patient.account);
            std::string answer = answerFor(format, patient) + "~~";
            ASSERT_TRUE(session::progressWindow().engine().processResponse(answer));
            TrellyBridgeComm comm;
            comm.ReturnPatient();
            // Every field the format carries comes back as the simulator holds it.
            for (const char* name : {"p1PatientLastName", "p1PatientFirstName", "p1PatientUniqueID",
                                     "p1PatientAddress1", "p1PatientCity", "p1PatientState",
                                     "p1PatientPostal", "p1PatientDOB", "g1GuarantorLastName",
                                     "i1InsuredCompanyName", "i1InsuredPolicyNumber"}) {
                EXPECT_EQ(comm.property(*findProperty(name)).toText(), patient.field(name)) << name;
            }
            if (format != Format::Scan) {
                EXPECT_EQ(comm.get_i2InsuredCompanyName().toText(),
                          patient.field("i2InsuredCompanyName"));
            }
        }
    }
}

// The requests the component builds with each format's default tag are
// EveryFormatReadsBackToTheSamePatient's; these are the ones it does not build.
TEST_F(SimulatorTest, AccountsAreFoundInEachKindOfQuery) {
    const std::tuple<Format, std::string, std::string> cases[] = {
        {Format::Standard, "acct=20001\r\n", "20001"},
        {Format::Xml, "<?xml version=\"1.0\"?><PATIENT id=\"3-77\" CompanyNumber=\"3\" />\r\n",
         "77"},
        {Format::Standard, "  12345 \r\n", "12345"},
    };
    for (const auto& [format, query, account] : cases)
        EXPECT_EQ(requestedAccount(format, query), account) << query;
}

TEST_F(SimulatorTest, PatientFilesAreReadAndChecked) {
    writeDriveCFile(
        "patients.txt",
        "# two patients\n[patient 555]\np1PatientLastName=ROE\ni1InsuredCompanyName=ACME\n\n"
        "[patient 556]\np1patientfirstname=RITA\n");
    std::string error;
    auto patients = readPatientFile(onDriveC("patients.txt"), error);
    ASSERT_TRUE(patients) << error;
    ASSERT_EQ(patients->size(), 2u);
    EXPECT_EQ((*patients)[0].account, "555");
    EXPECT_EQ((*patients)[0].field("i1InsuredCompanyName"), "ACME");
    EXPECT_EQ((*patients)[1].field("p1PatientFirstName"), "RITA")
        << "names match as the component's do";

    writeDriveCFile("bad.txt", "[patient 1]\nnoSuchProperty=1\n");
    EXPECT_FALSE(readPatientFile(onDriveC("bad.txt"), error));
    EXPECT_NE(error.find("noSuchProperty"), std::string::npos);
    EXPECT_FALSE(readPatientFile(onDriveC("missing.txt"), error));
}

TEST_F(SimulatorTest, FileStylesAnswerRequests) {
    SimulatorOptions options;
    options.format = Format::Scan;
    std::string folder = onDriveC("drop");
    ASSERT_TRUE(fs::createFolder(folder));
    VendorSimulator simulator(options);
    EXPECT_TRUE(simulator.dropResultsFiles(folder));
    EXPECT_NE(readDriveCFile("drop/20001.dat").find("P_LNM=RIVERA\r"), std::string::npos);

    writeDriveCFile("request.inq", "ACCT=30002,PGI\r\n");
    std::string error;
    ASSERT_TRUE(answerOnce(options, onDriveC("request.inq"), "", onDriveC("results.dat"), error))
        << error;
    EXPECT_NE(readDriveCFile("results.dat").find("P_LNM=OKAFOR\r"), std::string::npos);
    ASSERT_TRUE(answerOnce(options, "", "99999", onDriveC("results.dat"), error));
    EXPECT_NE(readDriveCFile("results.dat").find("NOT FOUND"), std::string::npos);

    // A pipe as the request file is refused at once instead of waiting for a writer.
    ASSERT_EQ(::mkfifo(onDriveC("pipe.inq").c_str(), 0600), 0);
    EXPECT_FALSE(answerOnce(options, onDriveC("pipe.inq"), "", onDriveC("results.dat"), error));
    EXPECT_EQ(error, "cannot read request file '" + onDriveC("pipe.inq") + "': not a regular file");
}

// Connections past the bound wait to be accepted, and one that has ended holds no thread.
TEST_F(SimulatorTest, ConnectionsAreBoundedAndEndedOnesHoldNoThread) {
    auto threads = [] {
        auto tasks = std::filesystem::directory_iterator("/proc/self/task");
        return static_cast<std::size_t>(std::distance(begin(tasks), end(tasks)));
    };
    const std::size_t before = threads();
    SimulatorOptions options;
    options.fault = Fault::Silent;
    VendorSimulator simulator(options);
    std::string error;
    ASSERT_TRUE(simulator.start(error)) << error;
    std::vector<sockets::Socket> clients;
    for (std::size_t i = 0; i < VendorSimulator::kMaxConnections + 8; ++i) {
        clients.push_back(sockets::createStream());
        ASSERT_TRUE(sockets::connect(clients.back(), sockets::inetAddr("127.0.0.1"),
                                     simulator.ports()[0], 5000));
        sockets::send(clients.back(), "ACCT=1\r\n", 5000);
        // Each is served before the next comes, so the listener's queue never overflows.
        for (int wait = 0;
             wait < 5000 && i < VendorSimulator::kMaxConnections && simulator.queries().size() <= i;
             ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // time to serve too many
    EXPECT_EQ(simulator.queries().size(), VendorSimulator::kMaxConnections);
    EXPECT_LE(threads(), before + 1 + VendorSimulator::kMaxConnections);
    for (sockets::Socket client : clients) sockets::close(client);
    for (int i = 0; i < 500 && simulator.queries().size() < clients.size(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(simulator.queries().size(), clients.size()) << "the waiting ones were served";
    for (int i = 0; i < 500 && threads() > before + 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(threads(), before + 1) << "only the server's own thread";
}

TEST_F(SimulatorTest, PollingRequestsAreAnsweredEndToEnd) {
    SimulatorOptions options;
    options.format = Format::Standard;
    VendorSimulator simulator(options);
    ASSERT_TRUE(fs::createFolder(onDriveC("vendor")));
    simulator.watchRequests(onDriveC("vendor/request.inq"), onDriveC("vendor/patient.dat"));

    GetPatientArguments a = sampleRequest("20001", "POLLING", "STANDARD");
    a.VendorRequestPath = "c:\\vendor\\request.inq";
    a.VendorResultsPath = "c:\\vendor\\patient.dat";
    a.AllowedRetries = "5";
    a.NetworkTimeout = "0";
    a.TimeDelay = "50";
    platform::setClock(nullptr);  // the simulator answers in real time
    TrellyBridgeComm comm;
    bool found = comm.GetPatient(a).isTrue();
    platform::setClock(&clock);
    simulator.stop();
    EXPECT_TRUE(found);
    EXPECT_EQ(comm.get_p1PatientLastName(), Variant("RIVERA"));
}

}  // namespace
}  // namespace trellybridge
