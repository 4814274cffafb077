// The HL7 members of the class: the primitives as variants, and the public parser, which
// publishes into the instance it runs on.
#include <gtest/gtest.h>

#include "common/ThreadState.h"
#include "support/TestEnvironment.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge {
namespace {

class Hl7MethodsTest : public testing::TestEnvironment {
protected:
    void SetUp() override {
        TestEnvironment::SetUp();
        BridgeConfiguration& c = threadState().config;
        c.EOLCharacter = "13";
        c.DisplayDebugger = "false";
        c.VendorFormatType = "HL7";
        c.NetworkBridgeType = "FOLDERS";
        c.PatientID = "12345";
    }
};

TEST_F(Hl7MethodsTest, ClassMethodsWrapThePrimitives) {
    TrellyBridgeComm comm;
    EXPECT_EQ(comm.getHL7Field("PID|1||12345^^^A|", "|", 3), Variant("|12345^^^A|"));
    EXPECT_EQ(comm.getHL7SubField("|DOE^JOHN^Q|", "|", "^", 2), Variant("^JOHN^"));
    EXPECT_EQ(comm.getHL7Record("A\rPID|1\r", "PID", 1), Variant("PID|1\r"));
    EXPECT_EQ(comm.verifySubFields("|A^B|", "^", 2), Variant(true));
    EXPECT_EQ(comm.getASCII("126"), Variant("~"));
    EXPECT_EQ(comm.getASCII("abc"), Variant());
}

TEST_F(Hl7MethodsTest, AComponentLookupThatCannotBeMadeEndsTheExchange) {
    SessionState& s = threadState().session;
    s.completionCode = 1;
    s.elapsedTicks = 4;
    threadState().config.EOLCharacter = "13,10";
    threadState().config.DisplayDebugger = "true";
    TrellyBridgeComm comm;
    EXPECT_EQ(comm.getHL7SubField("|DOE^JOHN|", "|", "^", 1), Variant(""));
    EXPECT_EQ(s.completionCode, 0);
    EXPECT_EQ(s.elapsedTicks, 0);
    ASSERT_EQ(toolkit->messageBoxes.size(), 2u);
    EXPECT_EQ(toolkit->messageBoxes[1], "Attention!: ERROR capturing HL7 <subfield>");

    // The parser ends its segments at the carriage return whatever the setting says.
    s.completionCode = 1;
    s.elapsedTicks = 4;
    EXPECT_EQ(comm.parseHL7Stream("MSH|^~\\&|X\rPID|1|12345|||DOE^JOHN\r"), Variant(true));
    EXPECT_EQ(comm.property(ResultProperty::p1PatientLastName), Variant("DOE"));
    EXPECT_EQ(s.completionCode, 1);
    EXPECT_EQ(s.elapsedTicks, 4);
    EXPECT_EQ(toolkit->messageBoxes.size(), 2u);
}

TEST_F(Hl7MethodsTest, TheParserPublishesTheRecordAsReadBeforeTheGuarantorIsSubstituted) {
    threadState().config.HTTPSSubjectCN = "{USE IN1 FOR GT1}";
    TrellyBridgeComm comm;
    EXPECT_EQ(comm.parseHL7Stream("MSH|^~\\&|X\rPID|1|12345|||DOE^JOHN\rGT1|1||ROE^RICHARD\r"
                                  "IN1|1|P|C|ACME||||||||||||SMITH^ANN\r"),
              Variant(true));
    EXPECT_EQ(comm.property(ResultProperty::p1PatientLastName), Variant("DOE"));
    EXPECT_EQ(comm.property(ResultProperty::i1InsuredCompanyName), Variant("ACME"));
    EXPECT_EQ(comm.property(ResultProperty::g1GuarantorLastName), Variant("ROE"))
        << "the substitution changes the record only";
    EXPECT_EQ(threadState().record[RecordField::g1GuarantorLastName], "SMITH");
    EXPECT_EQ(threadState().debugDataDump.substr(0, 4), "MSH|");
}

TEST_F(Hl7MethodsTest, AnIdentifierThatDoesNotMatchIsNoPatient) {
    threadState().config.NetworkBridgeType = "TCPIP";
    threadState().config.PatientID = "999";
    threadState().session.completionCode = 1;
    TrellyBridgeComm comm;
    EXPECT_EQ(comm.parseHL7Stream("MSH|^~\\&|X\rPID|1|12345|||DOE^JOHN\r"), Variant(false));
    EXPECT_FALSE(threadState().patientFound);
    EXPECT_EQ(threadState().session.completionCode, 0);
    ASSERT_FALSE(toolkit->messageBoxes.empty());
    EXPECT_EQ(toolkit->messageBoxes.front(),
              "Patient ID returned does not match ID submitted.\r999 <--> 12345");
    EXPECT_EQ(comm.property(ResultProperty::p1PatientLastName), Variant("DOE"))
        << "published before the check";
}

}  // namespace
}  // namespace trellybridge
