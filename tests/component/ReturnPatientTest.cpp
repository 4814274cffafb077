#include <gtest/gtest.h>

#include "common/Errors.h"
#include "common/ThreadState.h"
#include "support/TestEnvironment.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge {
namespace {

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
    EXPECT_EQ(comm.get_ErrorDescriptions(), comm.get_ErrorCodes());
    EXPECT_EQ(comm.get_p1PatientRelationship(), Variant("old")) << "never filled by the component";
    EXPECT_FALSE(std::filesystem::exists(onDriveC("BRIDGEINSURANCE.log")));
}

TEST_F(ReturnPatientTest, SmallMethodsReportAndReset) {
    ThreadState& state = threadState();
    EXPECT_EQ(comm.GetControlVersion(), Variant(2013.1));
    EXPECT_EQ(comm.GetControlVersion().kind(), Variant::Kind::Double);
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

}  // namespace
}  // namespace trellybridge
