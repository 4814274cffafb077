#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <tuple>
#include <vector>

#include "common/ThreadState.h"
#include "platform/FileSystem.h"
#include "platform/ObjectRegistry.h"
#include "support/TestEnvironment.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge {
namespace {

namespace stdfs = std::filesystem;
constexpr const char* kUsbProgId = "U3VitrioClasses.USB";

void writeFile(const stdfs::path& path, const std::string& content) {
    stdfs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

class UsbMethodsTest : public testing::TestEnvironment {
protected:
    void SetUp() override {
        TestEnvironment::SetUp();
        ::unsetenv("TRELLYBRIDGE_USB_COMPONENT");
        platform::ObjectRegistry::instance().remove(kUsbProgId);
    }
    void TearDown() override {
        for (char letter : {'D', 'E', 'F'}) fs::mapDrive(letter, "");
        ::unsetenv("TRELLYBRIDGE_USB_COMPONENT");
        platform::ObjectRegistry::instance().remove(kUsbProgId);
        TestEnvironment::TearDown();
    }
    // A drive letter mapped to a folder of the test (created unless `exists` is false).
    stdfs::path mapDrive(char letter, bool exists = true) {
        stdfs::path folder = root / (std::string("drive_") + letter);
        if (exists) stdfs::create_directories(folder);
        fs::mapDrive(letter, folder.string());
        return folder;
    }
    stdfs::path mediaFolder(const std::string& place, const std::string& name) {
        stdfs::path folder = root / "mounts" / place / fs::currentUserName() / name;
        stdfs::create_directories(folder);
        return folder;
    }
    TrellyBridgeComm comm;
};

TEST_F(UsbMethodsTest, FindsTheFirstReadyDriveThatHoldsTheFile) {
    // What the row shows; whether E and F hold the file and D's folder is missing; the path
    // asked for; the letter found.
    const std::tuple<const char*, bool, bool, bool, const char*, const char*> cases[] = {
        {"both drives hold it", true, true, false, "\\records\\patient.dat", "E"},
        {"only the second holds it", false, true, false, "\\records\\patient.dat", "F"},
        {"a drive mapped to a missing folder", true, false, true, "\\records\\patient.dat", "E"},
        {"no drive holds it", false, false, false, "\\records\\patient.dat", ""},
        {"a step out of the root", false, false, false, "\\..\\outside.dat", ""},
        {"a step out through slashes", false, false, false, "/records/../../outside.dat", ""},
    };
    writeFile(root / "outside.dat", "x");
    for (const auto& [name, onE, onF, dMissing, path, letter] : cases) {
        SCOPED_TRACE(name);
        for (const char* drive : {"drive_D", "drive_E", "drive_F"}) stdfs::remove_all(root / drive);
        mapDrive('D', !dMissing);
        stdfs::path e = mapDrive('E'), f = mapDrive('F');
        if (onE) writeFile(e / "records" / "patient.dat", "E");
        if (onF) writeFile(f / "records" / "patient.dat", "F");
        EXPECT_EQ(comm.findUSBDriveLetter(path).toText(), letter);
        std::vector<char> ready = fs::readyDrives();
        EXPECT_EQ(std::count(ready.begin(), ready.end(), 'D'), dMissing ? 0 : 1);
    }
}

TEST_F(UsbMethodsTest, RemovableMediaTakeTheLettersAfterTheMappedOnes) {
    mapDrive('E');
    stdfs::path stick = mediaFolder("media", "STICK");
    stdfs::path card = mediaFolder("run/media", "CARD");
    writeFile(card / "records" / "patient.dat", "card");

    EXPECT_EQ(fs::readyDrives(), (std::vector<char>{'C', 'E', 'F', 'G'}));
    EXPECT_EQ(comm.findUSBDriveLetter("\\records\\patient.dat"), Variant("G"));
    EXPECT_EQ(fs::hostPath("F:\\x.dat"), (stick / "x.dat").string());
}

// A component the host registers: it keeps what it was given and answers 7.
class RecordingUsbComponent : public platform::Dispatchable {
public:
    explicit RecordingUsbComponent(std::vector<Variant>* received) : received_(received) {}
    const platform::DispatchTable& dispatchTable() const override {
        static const platform::DispatchTable table = [] {
            platform::DispatchTable t;
            t.method("getUSBPatientData");
            return t;
        }();
        return table;
    }
    platform::InvokeStatus invoke(const platform::Member&, std::span<const Variant> arguments,
                                  Variant& result) override {
        received_->assign(arguments.begin(), arguments.end());
        result = Variant(7);
        return platform::InvokeStatus::Ok;
    }

private:
    std::vector<Variant>* received_;
};

TEST_F(UsbMethodsTest, RegisteredComponentGetsTheArgumentsInOrderAndItsResultAsText) {
    std::vector<Variant> received;
    platform::ObjectRegistry::instance().add(
        kUsbProgId, [&] { return std::make_shared<RecordingUsbComponent>(&received); });
    CallError error{99, "stale"};
    EXPECT_EQ(comm.getUSBPatientData("E:\\in.dat", "c:\\out.dat", &error), Variant("7"));
    EXPECT_EQ(received, (std::vector<Variant>{"E:\\in.dat", "c:\\out.dat"}));
    EXPECT_EQ(error.number, 0);
    EXPECT_EQ(error.description, "");
}

TEST_F(UsbMethodsTest, ComponentLibraryNamedInTheEnvironmentIsLoadedAndCalled) {
    ::setenv("TRELLYBRIDGE_USB_COMPONENT", TRELLYBRIDGE_USB_TEST_COMPONENT, 1);
    EXPECT_EQ(comm.getUSBPatientData("E:\\in.dat", "c:\\out.dat"),
              Variant("E:\\in.dat|c:\\out.dat"));
    CallError error;
    EXPECT_EQ(comm.getUSBPatientData("missing", "c:\\out.dat", &error), Variant());
    EXPECT_EQ(error.number, 1017);
    EXPECT_EQ(error.description, "no record on the drive");
}

TEST_F(UsbMethodsTest, ComponentThatCannotBeLoadedFailsTheCallWithTheLoadersWords) {
    // Copies of the component in a folder beside it: the temporary folder's parent can be
    // written by anyone, which alone refuses every library below it.
    stdfs::path own = stdfs::path(TRELLYBRIDGE_USB_TEST_COMPONENT).parent_path() /
                      ("usb-trust-" + std::to_string(::getpid()));
    stdfs::remove_all(own);
    auto copy = [&own](const std::string& name, stdfs::perms mode) {
        stdfs::path to = own / name;
        stdfs::create_directories(to.parent_path());
        stdfs::copy_file(TRELLYBRIDGE_USB_TEST_COMPONENT, to);
        stdfs::permissions(to, mode);
        return to.string();
    };
    // The library named, a part of what the loader said.
    const std::pair<std::string, std::string> cases[] = {
        {(own / "no-such-component.so").string(), "No such file or directory"},
        {TRELLYBRIDGE_USB_TEST_COMPONENT_WITHOUT_ENTRY, "trellybridge_usb_get_patient_data"},
        {"usb_test_component.so", "not an absolute path"},
        {copy("anyone.so", stdfs::perms::all), "anyone.so can be changed by any user"},
    };
    threadState().errorList = "<error id=\"1\" description=\"x\">x</error>\r\n";
    for (const auto& [library, said] : cases) {
        SCOPED_TRACE(library);
        ::setenv("TRELLYBRIDGE_USB_COMPONENT", library.c_str(), 1);
        CallError error;
        EXPECT_EQ(comm.getUSBPatientData("E:\\in.dat", "c:\\out.dat", &error), Variant());
        EXPECT_EQ(error.number, 429);
        EXPECT_NE(error.description.find(said), std::string::npos) << error.description;
        EXPECT_EQ(threadState().errorList, "<error id=\"1\" description=\"x\">x</error>\r\n")
            << "a failed USB call records nothing";
    }
    stdfs::remove_all(own);
}

TEST_F(UsbMethodsTest, ReferenceComponentCopiesThePatientFileFromTheDrivePrivately) {
    stdfs::path e = mapDrive('E');
    const std::string record = "PID|12345|Smith^Anna\r";
    writeFile(e / "records" / "patient.dat", record);
    writeFile(driveC / "patient.txt", "older");
    ::chmod(onDriveC("patient.txt").c_str(), 0644);

    CallError error;
    EXPECT_EQ(comm.getUSBPatientData("E:\\records\\patient.dat", "c:\\patient.txt", &error),
              Variant(std::to_string(record.size())));
    EXPECT_EQ(error.number, 0);
    EXPECT_EQ(readDriveCFile("patient.txt"), record);
    EXPECT_EQ(modeOf(onDriveC("patient.txt")), 0600u);
    EXPECT_EQ(fs::listFolder("c:\\").size(), 1u) << "no temporary file may remain";

    EXPECT_EQ(comm.getUSBPatientData("E:\\records\\gone.dat", "c:\\gone.txt", &error), Variant());
    EXPECT_EQ(error.number, 53);
    EXPECT_EQ(error.description, "File not found: E:\\records\\gone.dat");
    stdfs::create_symlink(root / "outside.dat", e / "records" / "link.dat");
    comm.getUSBPatientData("E:\\records\\link.dat", "c:\\link.txt", &error);
    EXPECT_EQ(error.number, 75) << "a link planted on the drive is not followed";
    EXPECT_FALSE(stdfs::exists(driveC / "link.txt"));
}

}  // namespace
}  // namespace trellybridge
