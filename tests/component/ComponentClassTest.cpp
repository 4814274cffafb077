// The class's members as a host calls them: ReturnPatient and the small methods, the
// dispatch table, the USB methods.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <tuple>
#include <vector>

#include "common/Errors.h"
#include "component/ComponentDispatch.h"
#include "component/LastRequest.h"
#include "platform/FileSystem.h"
#include "platform/ObjectRegistry.h"
#include "support/TestEnvironment.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge {
namespace {

using platform::InvokeStatus;
using platform::MemberKind;

class ReturnPatientTest : public testing::TestEnvironment {
protected:
    void SetUp() override {
        TestEnvironment::SetUp();
        RequestState& state = lastRequest();
        state.config.PatientID = "1-42";
        state.config.LogInsuranceEntries = 20000;
        state.debugDataDump = "RAW";
        // Every scalar field and published insurance field holds its own name.
        for (int i = 0; i < kRecordFieldCount; ++i)
            state.record.fields[static_cast<size_t>(i)] =
                std::string(fieldName(static_cast<RecordField>(i)));
        for (int slot = 0; slot < kPublishedInsuranceSlots; ++slot)
            for (int f = 0; f < kInsuranceFieldCount; ++f)
                state.record.insured(slot, static_cast<InsuranceField>(f)) =
                    "i" + std::to_string(slot + 1) +
                    std::string(fieldName(static_cast<InsuranceField>(f)));
        lastRequest().reasons().record(static_cast<errc>(999), "earlier failure");
    }
    TrellyBridgeComm comm;
};

TEST_F(ReturnPatientTest, FoundPatientPublishesEveryFieldUnderItsName) {
    lastRequest().patientFound = true;
    comm.ReturnPatient();
    for (int i = 0; i < kRecordPropertyCount; ++i) {
        auto property = static_cast<ResultProperty>(i);
        EXPECT_EQ(comm.property(property), Variant(std::string(propertyName(property))));
    }
    EXPECT_EQ(comm.get_DebugDataDump(), Variant("RAW"));
    EXPECT_EQ(comm.get_ErrorCodes(), Variant(lastRequest().errorList));
    EXPECT_EQ(comm.get_ErrorDescriptions(), comm.get_ErrorCodes());
}

TEST_F(ReturnPatientTest, FoundPatientLogsEachInsuranceWithACompanyWhenTheLogSizeIsANumber) {
    RequestState& state = lastRequest();
    state.patientFound = true;
    state.record.insured(0, InsuranceField::InsuredCompanyPostal) = "123456789";
    state.record.insured(1, InsuranceField::InsuredCompanyName) = "";
    state.record.insured(2, InsuranceField::InsuredCompanyPostal) = "1234";
    comm.ReturnPatient();
    EXPECT_EQ(
        readDriveCFile("BRIDGEINSURANCE.log"),
        "20261206 09:41|i3InsuredCompanyName|i3InsuredCompanyAddress|i3InsuredCompanyCity|"
        "i3InsuredCompanyState|1234|1234|i3InsuredAlternateCompanyName|i3InsuredCompanyAddress2|"
        "i3InsuredPolicyNumber|i3InsuredGroupNumber|i3InsuredEmployer|1-42\r\n"
        "20261206 09:41|i1InsuredCompanyName|i1InsuredCompanyAddress|i1InsuredCompanyCity|"
        "i1InsuredCompanyState|12345|123456789|i1InsuredAlternateCompanyName|"
        "i1InsuredCompanyAddress2|i1InsuredPolicyNumber|i1InsuredGroupNumber|i1InsuredEmployer|"
        "1-42\r\n");

    // A log size that is no number: published, but neither logged nor with errors.
    std::filesystem::remove(onDriveC("BRIDGEINSURANCE.log"));
    state.config.LogInsuranceEntries = "many";
    TrellyBridgeComm other;
    other.ReturnPatient();
    EXPECT_EQ(other.get_p1PatientLastName(), Variant("p1PatientLastName"));
    EXPECT_EQ(other.get_ErrorCodes(), Variant(""));
    EXPECT_FALSE(std::filesystem::exists(onDriveC("BRIDGEINSURANCE.log")));

    // A lock held elsewhere costs the request one bounded wait, not one per insurance.
    fs::FileLock held = fs::FileLock::acquire(onDriveC("BRIDGEINSURANCE.log.lock"), 0);
    ASSERT_TRUE(held.held());
    state.config.LogInsuranceEntries = 20000;
    const int started = clock.tickCount();
    other.ReturnPatient();
    EXPECT_EQ(clock.tickCount() - started, 5000);
    EXPECT_EQ(testing::occurrences(other.get_ErrorCodes().toText(), "id=\"400\""), 1);
}

TEST_F(ReturnPatientTest, NotFoundEmptiesEveryResultAndWritesNoLog) {
    for (int i = 0; i < kResultPropertyCount; ++i)
        comm.setProperty(static_cast<ResultProperty>(i), "old");
    comm.ReturnPatient();
    for (int i = 0; i < kRecordPropertyCount; ++i)
        EXPECT_EQ(comm.property(static_cast<ResultProperty>(i)), Variant("")) << i;
    EXPECT_EQ(comm.get_DebugDataDump(), Variant(""));
    EXPECT_EQ(comm.get_ErrorCodes(),
              Variant("<error id=\"999\" description=\"earlier failure\">earlier "
                      "failure</error>\r\n"));
    EXPECT_EQ(comm.get_p1PatientRelationship(), Variant("old")) << "never filled by the component";
    EXPECT_FALSE(std::filesystem::exists(onDriveC("BRIDGEINSURANCE.log")));
}

TEST_F(ReturnPatientTest, SmallMethodsReportAndReset) {
    RequestState& state = lastRequest();
    state.session.completionCode = 1;
    EXPECT_EQ(comm.VerifySerialSettings(), Variant(true));
    state.patientFound = true;
    state.session.attemptCount = 3;
    state.session.elapsedTicks = 9;
    state.session.rawDataReceived = "x";
    comm.closeConnection();
    EXPECT_EQ(comm.VerifySerialSettings(), Variant(false));
    EXPECT_FALSE(state.patientFound);
    EXPECT_EQ(state.session.attemptCount, 0);
    EXPECT_EQ(state.session.elapsedTicks, 0);
    EXPECT_EQ(state.session.rawDataReceived, "");

    comm.resetGlobalValues();
    EXPECT_EQ(state.record[RecordField::p1PatientLastName], "");
    EXPECT_EQ(state.record.insured(2, InsuranceField::InsuredName), "");
    EXPECT_EQ(state.debugDataDump, "RAW") << "not part of the record";
}

TEST_F(ReturnPatientTest, InstancesOnOneThreadPublishTheSameRecord) {
    lastRequest().patientFound = true;
    TrellyBridgeComm other;
    comm.ReturnPatient();
    other.ReturnPatient();
    other.put_p1PatientCity("changed");
    EXPECT_EQ(comm.get_p1PatientCity(), Variant("p1PatientCity")) << "properties are per instance";
    EXPECT_EQ(other.get_p1PatientFirstName(), comm.get_p1PatientFirstName());

    // A record without its account number is named in FHIR by the PatientID its own
    // request asked for, not by what a later request on the thread asks.
    lastRequest().record.fields[static_cast<size_t>(RecordField::p1PatientUniqueID)].clear();
    comm.ReturnPatient();
    lastRequest().config.PatientID = "2-77";
    other.ReturnPatient();
    EXPECT_NE(comm.patientAsFhir().find("\"1-42\""), std::string::npos);
    EXPECT_EQ(comm.patientAsFhir().find("2-77"), std::string::npos);
    EXPECT_NE(other.patientAsFhir().find("\"2-77\""), std::string::npos);
}

TEST_F(ReturnPatientTest, GuarantorAddressReplacesThePatients) {
    PatientRecord& record = lastRequest().record;
    EXPECT_TRUE(useGuarantorAddress(record));
    EXPECT_EQ(record[RecordField::p1PatientAddress1], "g1GuarantorAddress1");
    EXPECT_EQ(record[RecordField::p1PatientAddress2], "g1GuarantorAddress2");
    EXPECT_EQ(record[RecordField::p1PatientCity], "g1GuarantorCity");
    EXPECT_EQ(record[RecordField::p1PatientState], "g1GuarantorState");
    EXPECT_EQ(record[RecordField::p1PatientPostal], "g1GuarantorPostal");
    EXPECT_EQ(record[RecordField::p1PatientLastName], "p1PatientLastName");
}

class DispatchTableTest : public testing::TestEnvironment {};

TEST_F(DispatchTableTest, ListsMembersInInterfaceOrder) {
    const auto& members = trellyBridgeCommTable().members();
    // 118 three-accessor properties, the bill-type pair split over three entries, 18 methods,
    // then the three read-only failure properties.
    EXPECT_EQ(members.size(), 118u * 3 + 3 + 18 + 3);
    // The id, the name, the kind.
    const std::tuple<int, const char*, MemberKind> expected[] = {
        {1, "DebugDataDump", MemberKind::PutByValue},
        {2, "DebugDataDump", MemberKind::PutByReference},
        {3, "DebugDataDump", MemberKind::Get},
        {4, "ErrorCodes", MemberKind::PutByValue},
        {10, "i3InsuredRelationship", MemberKind::PutByValue},
        {304, "p1PatientLastName", MemberKind::PutByValue},
        {307, "VerifySerialSettings", MemberKind::Method},
        {308, "GetPatient", MemberKind::Method},
        {309, "closeConnection", MemberKind::Method},
        {313, "p1BillType", MemberKind::PutByValue},
        {314, "p1PatientBillType", MemberKind::PutByReference},
        {315, "p1PatientBillType", MemberKind::Get},
        {316, "ReturnPatient", MemberKind::Method},
        {375, "SetCommonParameters", MemberKind::Method},
        {376, "FailureReason", MemberKind::Get},
        {378, "FailureKind", MemberKind::Get},
    };
    for (const auto& [id, name, kind] : expected) {
        const platform::Member* member = trellyBridgeCommTable().byId(id);
        ASSERT_NE(member, nullptr) << id;
        EXPECT_EQ(member->name, name) << id;
        EXPECT_EQ(member->kind, kind) << id;
    }
    EXPECT_EQ(trellyBridgeCommTable().byId(379), nullptr);
}

// Names in any case, the bill type's two names, the unknown members and classes: CApi.FromC.
TEST_F(DispatchTableTest, ReferencesAndReadOnlyMembers) {
    registerComponentClasses();
    auto object = platform::ObjectRegistry::instance().create("TRELLYBRIDGE.TRELLYBRIDGECOMM");
    ASSERT_NE(object, nullptr);
    Variant result;
    auto reference = std::make_shared<Object>();
    const Variant byReference[] = {Variant(reference)};
    EXPECT_EQ(object->invoke("i2InsuredName", MemberKind::PutByReference, byReference, result),
              InvokeStatus::Ok);
    object->invoke("i2InsuredName", MemberKind::Get, {}, result);
    EXPECT_EQ(result.object(), reference);

    const Variant bill[] = {Variant("B1")};
    for (const char* readOnly : {"p1PatientBillType", "FailureNotes"})
        EXPECT_EQ(object->invoke(readOnly, MemberKind::PutByValue, bill, result),
                  InvokeStatus::UnknownMember)
            << readOnly;
    EXPECT_EQ(object->invoke("GetControlVersion", MemberKind::Method, bill, result),
              InvokeStatus::BadArgumentCount);
}

namespace stdfs = std::filesystem;
constexpr const char* kUsbProgId = "U3VitrioClasses.USB";

void writeFile(const stdfs::path& path, const std::string& content) {
    stdfs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

class UsbMethodsTest : public testing::TestEnvironment {
protected:
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

TEST_F(UsbMethodsTest, RegisteredComponentGetsTheArgumentsInOrderAndItsResultAsText) {
    // A component the host registers: it keeps what it was given and answers 7.
    struct Recording : platform::Dispatchable {
        platform::DispatchTable table;
        std::vector<Variant> received;
        const platform::DispatchTable& dispatchTable() const override { return table; }
        InvokeStatus invoke(const platform::Member&, std::span<const Variant> arguments,
                            Variant& result) override {
            received.assign(arguments.begin(), arguments.end());
            result = Variant(7);
            return InvokeStatus::Ok;
        }
    };
    auto component = std::make_shared<Recording>();
    component->table.method("getUSBPatientData");
    platform::ObjectRegistry::instance().add(kUsbProgId, [component] { return component; });
    CallError error{99, "stale"};
    EXPECT_EQ(comm.getUSBPatientData("E:\\in.dat", "c:\\out.dat", &error), Variant("7"));
    EXPECT_EQ(component->received, (std::vector<Variant>{"E:\\in.dat", "c:\\out.dat"}));
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
    lastRequest().errorList = "<error id=\"1\" description=\"x\">x</error>\r\n";
    for (const auto& [library, said] : cases) {
        SCOPED_TRACE(library);
        ::setenv("TRELLYBRIDGE_USB_COMPONENT", library.c_str(), 1);
        CallError error;
        EXPECT_EQ(comm.getUSBPatientData("E:\\in.dat", "c:\\out.dat", &error), Variant());
        EXPECT_EQ(error.number, 429);
        EXPECT_NE(error.description.find(said), std::string::npos) << error.description;
        EXPECT_EQ(lastRequest().errorList, "<error id=\"1\" description=\"x\">x</error>\r\n")
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
