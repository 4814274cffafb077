#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

#include "SampleRequest.h"
#include "common/BridgeConfiguration.h"
#include "common/FailureNote.h"
#include "common/Pace.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

const std::string kScanAnswer = "P_ACT=12345\rP_LNM=DOE\rP_FNM=JOHN\rI_INS=ACME\r";

class FileExchangeTest : public testing::RequestFixture {
protected:
    void SetUp() override {
        TestEnvironment::SetUp();
        std::filesystem::create_directories(driveC / "vendor");
        a = vendorsim::sampleRequest("12345", "", "SCAN");
        a.VendorName = "ACME";
        a.VendorApplicationPath = "c:\\vendor\\vendor.sh";
        a.VendorRequestPath = "c:\\vendor\\request.inq";
        a.VendorResultsPath = "c:\\vendor\\patient.dat";
    }
    // A vendor program: records its arguments, starts a helper, answers after a moment
    // and stays until it is ended.
    void writeVendorProgram() {
        std::string script =
            "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"|/arguments.txt\"\n"
            "echo $$ > \"|/program.pid\"\nsleep 30 & echo $! > \"|/helper.pid\"\n"
            "sleep 0.2\nprintf 'P_ACT=12345\\rP_LNM=DOE\\rP_FNM=JOHN\\r' > \"|/patient.dat.tmp\"\n"
            "mv \"|/patient.dat.tmp\" \"|/patient.dat\"\nwait\n";
        const std::string vendor = onDriveC("vendor");
        for (size_t at = script.find('|'); at != std::string::npos;
             at = script.find('|', at + vendor.size()))
            script.replace(at, 1, vendor);
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
    // Whether the program that wrote `pidFile` still runs (a zombie has ended).
    bool running(const std::string& pidFile) {
        std::string pid = std::to_string(std::stoi(readDriveCFile(pidFile)));
        std::string stat = testing::readHostFile("/proc/" + pid + "/stat");
        size_t end = stat.rfind(')');
        return end != std::string::npos && end + 2 < stat.size() && stat[end + 2] != 'Z';
    }
};

TEST_F(FileExchangeTest, VendorProgramGetsTheRequestFileAndAnswers) {
    writeVendorProgram();
    a.NetworkBridgeType = "VENDOR";
    mode_t previous = ::umask(022);
    EXPECT_TRUE(runOnRealClock("5"));
    ::umask(previous);
    EXPECT_EQ(comm.get_p1PatientLastName(), Variant("DOE"));
    EXPECT_EQ(readDriveCFile("vendor/request.inq"), "ACCT=12345,PGI\r\n\r\n");
    EXPECT_EQ(modeOf(onDriveC("vendor/request.inq")), 0644u) << "readable by other accounts";
    EXPECT_EQ(readDriveCFile("vendor/arguments.txt"), "") << "started without arguments";
    // Neither the program nor what it started outlives the request, and no zombie stays.
    std::string pid = readDriveCFile("vendor/program.pid");
    EXPECT_EQ(::waitpid(std::stoi(pid), nullptr, WNOHANG), -1) << "collected already";
    for (int i = 0; i < 200 && running("vendor/helper.pid"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(running("vendor/helper.pid"));
}

TEST_F(FileExchangeTest, VendorWithoutRequestPathGetsTheIdentifierAsOneArgument) {
    writeVendorProgram();
    a.NetworkBridgeType = "VENDOR";
    a.VendorApplicationPath = onDriveC("vendor/vendor.sh");  // a POSIX path
    a.VendorRequestPath = "";
    a.PatientID = "12345; touch pwned $(id)";
    EXPECT_TRUE(runOnRealClock("5"));  // files are read without checking the account
    EXPECT_EQ(readDriveCFile("vendor/arguments.txt"), "12345; touch pwned $(id)\n");
    EXPECT_FALSE(std::filesystem::exists(onDriveC("vendor/request.inq")));
    EXPECT_FALSE(std::filesystem::exists("pwned"));
}

// With the debugger on, each request leaves its own dump.
TEST_F(FileExchangeTest, FoldersReadsThePatientsFileAndPurgesItOnRequest) {
    writeDriveCFile("results/12345.dat", kScanAnswer);
    a.NetworkBridgeType = "FOLDERS";
    a.VendorResultsPath = "c:\\results";
    a.DisplayDebugger = "true";
    int start = clock.tickCount();
    EXPECT_TRUE(comm.GetPatient(a).isTrue());
    EXPECT_EQ(comm.get_i1InsuredCompanyName(), Variant("ACME"));
    EXPECT_EQ(toolkit->firstLogAt("Reading patient file..."), start + 4000)
        << "after the cleanup step";
    EXPECT_TRUE(std::filesystem::exists(onDriveC("results/12345.dat")))
        << "kept without the purge keyword";
    comm.closeConnection();
    a.VendorResultsPath = "/" + (driveC / "results").string().substr(1);  // a POSIX path
    a.HTTPSSubjectCN = "{purge pat data}";
    // Fast: the file is read once a second look, a tick after the first, finds it unchanged.
    setThreadPace(Pace::Fast);
    toolkit->timedLog.clear();
    start = clock.tickCount();
    EXPECT_TRUE(comm.GetPatient(a).isTrue());
    setThreadPace(std::nullopt);
    EXPECT_EQ(toolkit->firstLogAt("Reading patient file..."), start + 1000);
    EXPECT_FALSE(std::filesystem::exists(onDriveC("results/12345.dat")));
    std::string log = readDriveCFile("BRIDGEDEBUG.log");
    size_t first = log.find("KOLV"), second = log.find("KOLV", first + 1);
    EXPECT_NE(second, std::string::npos);
    EXPECT_NE(log.find("  (n/a for folders style bridge)\r\n"), std::string::npos);
    EXPECT_EQ(log.find("ABORTED"), std::string::npos) << "every step happened";
}

TEST_F(FileExchangeTest, UsbReadsTheResultsFile) {
    writeDriveCFile("vendor/patient.dat", kScanAnswer);
    a.NetworkBridgeType = "USB";
    EXPECT_TRUE(comm.GetPatient(a).isTrue());
    EXPECT_EQ(comm.get_p1PatientFirstName(), Variant("JOHN"));
}

// How often the read step ran: its first line, then one line per further attempt.
int readsIn(const std::vector<std::string>& lines) {
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
        return l.starts_with("Reading patient file...") ||
               (l.starts_with(" Attempt Number ") && l.find("to read patient file") != l.npos);
    }));
}

TEST_F(FileExchangeTest, ResultsFilesThatAreNoAnswerAreRetriedAsMissing) {
    ::setenv("TRELLYBRIDGE_MAX_ANSWER_BYTES", "1024", 1);
    const struct {
        const char* name;
        std::function<void(const std::string&)> make;  // makes the results file at this host path
        std::string progressLine;                      // "" when no line is expected
        std::string note;                              // after the results file's host path
    } cases[] = {
        {"past the answer limit",
         [](const std::string& p) { std::ofstream(p) << kScanAnswer << std::string(1024, ' '); },
         " Results file too large: more than 1024 bytes\r\n",
         " is too large: more than 1024 bytes"},
        {"a pipe", [](const std::string& p) { ::mkfifo(p.c_str(), 0600); }, "",
         ": not a regular file"},
        {"a link to an endless device",
         [](const std::string& p) { std::filesystem::create_symlink("/dev/zero", p); }, "",
         ": not a regular file"},
        {"missing", [](const std::string&) {}, "", ": No such file or directory"},
    };
    // Either pace reads as often for a file that is no answer.
    for (Pace pace : {Pace::Scheduled, Pace::Fast})
        for (const auto& k : cases) {
            SCOPED_TRACE(std::string(k.name) + " " + std::string(paceName(pace)));
            setThreadPace(pace);
            std::filesystem::remove_all(driveC / "results");
            std::filesystem::create_directories(driveC / "results");
            std::string results = onDriveC("results/12345.dat");
            k.make(results);
            toolkit->progressLines.clear();
            a.NetworkBridgeType = "FOLDERS";
            a.VendorResultsPath = "c:\\results";
            EXPECT_FALSE(comm.GetPatient(a).isTrue());
            comm.closeConnection();
            EXPECT_EQ(readsIn(toolkit->progressLines), 3) << "AllowedRetries 2: three reads";
            EXPECT_EQ(toolkit->showedLine(k.progressLine), !k.progressLine.empty());
            std::string what = k.note.starts_with(":") ? "could not read results file " + results
                                                       : "results file " + results;
            EXPECT_EQ(testing::threadRequest().failures.text(), what + k.note + " (3 attempts)");
        }
    setThreadPace(std::nullopt);
    ::unsetenv("TRELLYBRIDGE_MAX_ANSWER_BYTES");
}

struct StepFailureCase {
    const char* bridge;
    const char* application;
    std::string request;
    const char* results;
    std::string note;  // {C} stands for drive C's host path
    bool debugging = false;
};

// Each fails its step with a note of the step, the path and the reason. A path that cannot
// be used fails before anything is touched; with the debugger on, the user is also told in
// a box that the request could not be sent.
TEST_F(FileExchangeTest, StepFailuresNoteTheStepThePathAndTheReason) {
    // A path taken as a file name would land in the working folder: watch that one.
    std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::path working = root / "working";
    std::filesystem::create_directories(working);
    std::filesystem::current_path(working);
    std::ofstream(working / kInvalidMarker) << kScanAnswer;
    writeDriveCFile("vendor/request.inq", "earlier request");
    writeVendorProgram();
    writeDriveCFile("vendor/plain.sh", "#!/bin/sh\n");
    ::chmod(onDriveC("vendor/plain.sh").c_str(), 0644);
    const char* patient = "c:\\vendor\\patient.dat";
    std::vector<StepFailureCase> cases = {
        {"POLLING", "", "c:\\nowhere\\request.inq", patient,
         "could not write request file {C}/nowhere/request.inq: No such file or directory"},
        {"VENDOR", "c:\\vendor\\plain.sh", "c:\\vendor\\other.inq", patient,
         "could not start vendor program {C}/vendor/plain.sh: Permission denied"},
        {"VENDOR", "c:\\vendor\\none.sh", "c:\\vendor\\other.inq", patient,
         "could not start vendor program {C}/vendor/none.sh: not found", true},
        {"POLLING", "", "", patient, "request path is not usable: <INVALID!>"},
        {"POLLING", "", "", "", "results path is not usable: <INVALID!>"},
        {"POLLING", "", "c:\\vendor\\a\tb.inq", patient,
         "request path is not usable: c:\\vendor\\a?b.inq"},
        {"VENDOR", "", "c:\\vendor\\request.inq", patient,
         "vendor program path is not usable: <INVALID!>"},
        {"USB", "", "", "", "results path is not usable: <INVALID!>"},
        {"USB", "", "", "c:\\vendor\\<patient>.dat",
         "results path is not usable: c:\\vendor\\<patient>.dat"},
    };
    // Characters a Windows file name cannot hold.
    for (const char* name : {"a|b", "what?", "x:y", "*", "\"q\""}) {
        std::string request = std::string("c:\\vendor\\") + name + ".inq";
        cases.push_back(
            {"POLLING", "", request, patient, "request path is not usable: " + request});
    }
    for (const StepFailureCase& k : cases) {
        SCOPED_TRACE(k.note);
        toolkit->progressLines.clear();
        toolkit->messageBoxes.clear();
        a.NetworkBridgeType = k.bridge;
        a.VendorApplicationPath = k.application;
        a.VendorRequestPath = k.request;
        a.VendorResultsPath = k.results;
        a.AllowedRetries = "0";
        a.DisplayDebugger = k.debugging ? "true" : "false";
        EXPECT_FALSE(comm.GetPatient(a).isTrue());
        comm.closeConnection();
        std::string note = k.note;
        if (size_t at = note.find("{C}"); at != std::string::npos)
            note.replace(at, 3, driveC.string());
        EXPECT_EQ(comm.get_FailureReason().toText(), note + " (1 attempt)");
        EXPECT_TRUE(toolkit->showedLine(" " + note + "\r\n"));
        const auto& boxes = toolkit->messageBoxes;
        EXPECT_EQ(std::count(boxes.begin(), boxes.end(),
                             "Attention!: Unable to send patient request") > 0,
                  k.debugging && k.note.starts_with("could not"));
    }
    EXPECT_EQ(testing::readHostFile(working / kInvalidMarker), kScanAnswer) << "not written over";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(working), {}), 1);
    EXPECT_EQ(readDriveCFile("vendor/request.inq"), "earlier request") << "nothing deleted";
    EXPECT_FALSE(std::filesystem::exists(onDriveC("vendor/arguments.txt"))) << "nothing started";
    std::filesystem::current_path(previous);
}

}  // namespace
}  // namespace trellybridge
