#include <gtest/gtest.h>

#include <tuple>

#include "common/Errors.h"
#include "common/ThreadState.h"
#include "component/ComponentDispatch.h"
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
        ThreadState& state = threadState();
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
        threadState().reasons().record(static_cast<errc>(999), "earlier failure");
    }
    TrellyBridgeComm comm;
};

TEST_F(ReturnPatientTest, FoundPatientPublishesEveryFieldUnderItsName) {
    threadState().patientFound = true;
    comm.ReturnPatient();
    for (int i = 0; i < kRecordPropertyCount; ++i) {
        auto property = static_cast<ResultProperty>(i);
        EXPECT_EQ(comm.property(property), Variant(std::string(propertyName(property))));
    }
    EXPECT_EQ(comm.get_DebugDataDump(), Variant("RAW"));
    EXPECT_EQ(comm.get_ErrorCodes(), Variant(threadState().errorList));
    EXPECT_EQ(comm.get_ErrorDescriptions(), comm.get_ErrorCodes());
}

TEST_F(ReturnPatientTest, FoundPatientLogsEachInsuranceWithACompany) {
    ThreadState& state = threadState();
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
}

TEST_F(ReturnPatientTest, UnconvertibleLogSizePublishesWithoutLogOrErrors) {
    threadState().patientFound = true;
    threadState().config.LogInsuranceEntries = "many";
    comm.ReturnPatient();
    EXPECT_EQ(comm.get_p1PatientLastName(), Variant("p1PatientLastName"));
    EXPECT_EQ(comm.get_ErrorCodes(), Variant(""));
    EXPECT_FALSE(std::filesystem::exists(onDriveC("BRIDGEINSURANCE.log")));
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
    ThreadState& state = threadState();
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
    threadState().patientFound = true;
    TrellyBridgeComm other;
    comm.ReturnPatient();
    other.ReturnPatient();
    other.put_p1PatientCity("changed");
    EXPECT_EQ(comm.get_p1PatientCity(), Variant("p1PatientCity")) << "properties are per instance";
    EXPECT_EQ(other.get_p1PatientFirstName(), comm.get_p1PatientFirstName());

    // A record without its account number is named in FHIR by the PatientID its own
    // request asked for, not by what a later request on the thread asks.
    threadState().record.fields[static_cast<size_t>(RecordField::p1PatientUniqueID)].clear();
    comm.ReturnPatient();
    threadState().config.PatientID = "2-77";
    other.ReturnPatient();
    EXPECT_NE(comm.patientAsFhir().find("\"1-42\""), std::string::npos);
    EXPECT_EQ(comm.patientAsFhir().find("2-77"), std::string::npos);
    EXPECT_NE(other.patientAsFhir().find("\"2-77\""), std::string::npos);
}

TEST_F(ReturnPatientTest, GuarantorAddressReplacesThePatients) {
    PatientRecord& record = threadState().record;
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

}  // namespace
}  // namespace trellybridge
