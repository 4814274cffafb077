#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "common/ThreadState.h"
#include "platform/Process.h"
#include "support/TestEnvironment.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge {
namespace {

const std::string kScanAnswer = "P_ACT=12345\rP_LNM=DOE\rP_FNM=JOHN\rI_INS=ACME\r";

class FileExchangeTest : public testing::TestEnvironment {
protected:
    void SetUp() override {
        TestEnvironment::SetUp();
        std::filesystem::create_directories(driveC / "vendor");
        a.PatientID = "12345";
        a.VendorRequestTag = "<%DYNAMIC%>";
        a.VendorFormatType = "SCAN";
        a.VendorName = "ACME";
        a.EOFCharacter = "126";
        a.EOLCharacter = "13";
        a.AllowedRetries = "2";
        a.DisplayProperties = "false";
        a.DisplayDebugger = "false";
        a.NetworkTimeout = "1";
        a.TimeDelay = "1000";
        a.VendorApplicationPath = "c:\\vendor\\vendor.sh";
        a.VendorRequestPath = "c:\\vendor\\request.inq";
        a.VendorResultsPath = "c:\\vendor\\patient.dat";
    }
    void TearDown() override {
        for (int i = 0; i < 200 && process::reapFinished() > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        TestEnvironment::TearDown();
    }
    // A vendor program: records its arguments, then answers after a moment.
    void writeVendorProgram() {
        std::string script =
            "#!/bin/sh\n"
            "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" +
            onDriveC("vendor/arguments.txt") +
            "\"\n"
            "sleep 0.2\n"
            "printf 'P_ACT=12345\\rP_LNM=DOE\\rP_FNM=JOHN\\r' > \"" +
            onDriveC("vendor/patient.dat.tmp") +
            "\"\n"
            "mv \"" +
            onDriveC("vendor/patient.dat.tmp") + "\" \"" + onDriveC("vendor/patient.dat") + "\"\n";
        writeDriveCFile("vendor/vendor.sh", script);
        ::chmod(onDriveC("vendor/vendor.sh").c_str(), 0700);
    }
    // The vendor answers in real time, so these requests run on the real clock.
    // After the send the run loop waits in whole seconds, so a few attempts suffice.
    bool runOnRealClock(const char* retries) {
        platform::setClock(nullptr);
        a.TimeDelay = "50";
        a.NetworkTimeout = "0";
        a.AllowedRetries = retries;
        bool found = comm.GetPatient(a).isTrue();
        platform::setClock(&clock);
        return found;
    }
    GetPatientArguments a;
    TrellyBridgeComm comm;
};

TEST_F(FileExchangeTest, VendorProgramGetsTheRequestFileAndAnswers) {
    writeVendorProgram();
    a.NetworkBridgeType = "VENDOR";
    EXPECT_TRUE(runOnRealClock("5"));
    EXPECT_EQ(comm.get_p1PatientLastName(), Variant("DOE"));
    EXPECT_EQ(readDriveCFile("vendor/request.inq"), "ACCT=12345,PGI\r\n\r\n");
    EXPECT_EQ(readDriveCFile("vendor/arguments.txt"), "") << "started without arguments";
}

TEST_F(FileExchangeTest, VendorWithoutRequestPathGetsTheIdentifierAsOneArgument) {
    writeVendorProgram();
    a.NetworkBridgeType = "VENDOR";
    a.VendorApplicationPath = onDriveC("vendor/vendor.sh");  // a POSIX path
    a.VendorRequestPath = "";
    a.PatientID = "12345; touch pwned $(id)";
    a.VendorFormatType = "CSV";  // the answer will not parse; the argument is what matters
    runOnRealClock("0");
    for (int i = 0; i < 200 && !std::filesystem::exists(onDriveC("vendor/arguments.txt")); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(readDriveCFile("vendor/arguments.txt"), "12345; touch pwned $(id)\n");
    EXPECT_FALSE(std::filesystem::exists(onDriveC("vendor/request.inq")));
    EXPECT_FALSE(std::filesystem::exists("pwned"));
}

TEST_F(FileExchangeTest, MissingVendorProgramCannotSend) {
    a.NetworkBridgeType = "VENDOR";
    a.DisplayDebugger = "true";
    a.AllowedRetries = "0";
    EXPECT_FALSE(comm.GetPatient(a).isTrue());
    bool noticed = false;
    for (const std::string& box : toolkit->messageBoxes)
        noticed = noticed || box == "Attention!: Unable to send patient request";
    EXPECT_TRUE(noticed);
}

TEST_F(FileExchangeTest, PollingWritesTheWholeHl7Request) {
    a.NetworkBridgeType = "POLLING";
    a.VendorFormatType = "HL7";
    a.AllowedRetries = "0";
    comm.GetPatient(a);
    std::string request = readDriveCFile("vendor/request.inq");
    EXPECT_EQ(request.substr(0, 5), "\vMSH|");
    EXPECT_EQ(request.substr(request.size() - 4), "\r\x1c\r\n")
        << "the HL7 trailer, then the line end";
}

TEST_F(FileExchangeTest, FoldersReadsThePatientsFileOnTheFirstRead) {
    writeDriveCFile("results/12345.dat", kScanAnswer);
    a.NetworkBridgeType = "FOLDERS";
    a.VendorResultsPath = "c:\\results";
    int start = clock.tickCount();
    EXPECT_TRUE(comm.GetPatient(a).isTrue());
    EXPECT_EQ(comm.get_i1InsuredCompanyName(), Variant("ACME"));
    EXPECT_EQ(toolkit->firstLogAt("Reading patient file..."), start + 4000)
        << "after the cleanup step";
    EXPECT_TRUE(std::filesystem::exists(onDriveC("results/12345.dat")))
        << "kept without the purge keyword";
}

TEST_F(FileExchangeTest, PurgeKeywordRemovesTheResultsFileAfterAParse) {
    writeDriveCFile("results/12345.dat", kScanAnswer);
    a.NetworkBridgeType = "FOLDERS";
    a.VendorResultsPath = "/" + (driveC / "results").string().substr(1);  // a POSIX path
    a.HTTPSSubjectCN = "{purge pat data}";
    EXPECT_TRUE(comm.GetPatient(a).isTrue());
    EXPECT_FALSE(std::filesystem::exists(onDriveC("results/12345.dat")));
}

TEST_F(FileExchangeTest, UsbReadsTheResultsFile) {
    writeDriveCFile("vendor/patient.dat", kScanAnswer);
    a.NetworkBridgeType = "USB";
    EXPECT_TRUE(comm.GetPatient(a).isTrue());
    EXPECT_EQ(comm.get_p1PatientFirstName(), Variant("JOHN"));
}

TEST_F(FileExchangeTest, ResultsFileThatDoesNotParseEndsTheSessionAtOnce) {
    writeDriveCFile("results/12345.dat", "half a file");
    a.NetworkBridgeType = "FOLDERS";
    a.VendorFormatType = "XML";
    a.VendorResultsPath = "c:\\results\\";
    a.AllowedRetries = "5";
    int start = clock.tickCount();
    EXPECT_FALSE(comm.GetPatient(a).isTrue());
    EXPECT_EQ(clock.tickCount() - start, 4000) << "the first read ends it";
    EXPECT_NE(toolkit->firstLogAt("  half a file"), -1);
}

TEST_F(FileExchangeTest, DebuggingLeavesOneDumpPerRequest) {
    writeDriveCFile("results/12345.dat", kScanAnswer);
    a.NetworkBridgeType = "FOLDERS";
    a.VendorResultsPath = "c:\\results";
    a.DisplayDebugger = "true";
    comm.GetPatient(a);
    comm.closeConnection();
    comm.GetPatient(a);
    std::string log = readDriveCFile("BRIDGEDEBUG.log");
    size_t first = log.find("KOLV"), second = log.find("KOLV", first + 1);
    EXPECT_NE(second, std::string::npos);
    EXPECT_NE(log.find("  (n/a for folders style bridge)\r\n"), std::string::npos);
    EXPECT_NE(log.find("started parsing:"), std::string::npos);
    EXPECT_EQ(log.find("ABORTED"), std::string::npos) << "every step happened";
}

}  // namespace
}  // namespace trellybridge
