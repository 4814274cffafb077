#include <gtest/gtest.h>

#include <set>

#include "component/ComponentDispatch.h"
#include "platform/ObjectRegistry.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

using platform::InvokeStatus;
using platform::MemberKind;

class DispatchTableTest : public testing::TestEnvironment {};

TEST_F(DispatchTableTest, ListsMembersInInterfaceOrder) {
    const auto& members = trellyBridgeCommTable().members();
    // 118 three-accessor properties, the bill-type pair split over three entries, 18 methods,
    // then the three read-only failure properties.
    EXPECT_EQ(members.size(), 118u * 3 + 3 + 18 + 3);
    struct Expected {
        int id;
        const char* name;
        MemberKind kind;
    };
    const Expected expected[] = {
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
    for (const Expected& e : expected) {
        const platform::Member* member = trellyBridgeCommTable().byId(e.id);
        ASSERT_NE(member, nullptr) << e.id;
        EXPECT_EQ(member->name, e.name) << e.id;
        EXPECT_EQ(member->kind, e.kind) << e.id;
    }
    EXPECT_EQ(trellyBridgeCommTable().byId(379), nullptr);
}

TEST_F(DispatchTableTest, EveryResultPropertyHasItsAccessors) {
    std::set<std::string> names;
    for (const auto& member : trellyBridgeCommTable().members())
        if (member.kind == MemberKind::Get) names.insert(member.name);
    EXPECT_EQ(names.size(), static_cast<size_t>(kResultPropertyCount) + 3);
    for (int i = 0; i < kResultPropertyCount; ++i) {
        std::string name(propertyName(static_cast<ResultProperty>(i)));
        EXPECT_TRUE(names.count(name)) << name;
        EXPECT_NE(trellyBridgeCommTable().find(name, MemberKind::PutByReference), nullptr) << name;
        if (name != "p1PatientBillType") {
            EXPECT_NE(trellyBridgeCommTable().find(name, MemberKind::PutByValue), nullptr) << name;
        }
    }
}

TEST_F(DispatchTableTest, AccessorsStoreAndReturnByNameIgnoringCase) {
    registerComponentClasses();
    auto object = platform::ObjectRegistry::instance().create("TRELLYBRIDGE.TRELLYBRIDGECOMM");
    ASSERT_NE(object, nullptr);
    Variant result;
    const Variant smith[] = {Variant("Smith")};
    EXPECT_EQ(object->invoke("P1PATIENTLASTNAME", MemberKind::PutByValue, smith, result),
              InvokeStatus::Ok);
    EXPECT_EQ(object->invoke("p1PatientLastName", MemberKind::Get, {}, result), InvokeStatus::Ok);
    EXPECT_EQ(result, Variant("Smith"));

    auto reference = std::make_shared<Object>();
    const Variant byReference[] = {Variant(reference)};
    EXPECT_EQ(object->invoke("i2InsuredName", MemberKind::PutByReference, byReference, result),
              InvokeStatus::Ok);
    object->invoke("i2InsuredName", MemberKind::Get, {}, result);
    EXPECT_EQ(result.object(), reference);

    const Variant bill[] = {Variant("B1")};
    EXPECT_EQ(object->invoke("p1BillType", MemberKind::PutByValue, bill, result), InvokeStatus::Ok);
    object->invoke("p1PatientBillType", MemberKind::Get, {}, result);
    EXPECT_EQ(result, Variant("B1"));
    EXPECT_EQ(object->invoke("p1BillType", MemberKind::Get, {}, result),
              InvokeStatus::UnknownMember);
    EXPECT_EQ(object->invoke("p1PatientBillType", MemberKind::PutByValue, bill, result),
              InvokeStatus::UnknownMember);
    // The failure properties are read, never written.
    EXPECT_EQ(object->invoke("failurereason", MemberKind::Get, {}, result), InvokeStatus::Ok);
    EXPECT_EQ(result, Variant(""));
    EXPECT_EQ(object->invoke("FailureNotes", MemberKind::PutByValue, bill, result),
              InvokeStatus::UnknownMember);

    EXPECT_EQ(object->invoke("getcontrolversion", MemberKind::Method, {}, result),
              InvokeStatus::Ok);
    EXPECT_EQ(result, Variant(2013.1));
    EXPECT_EQ(object->invoke("GetControlVersion", MemberKind::Method, bill, result),
              InvokeStatus::BadArgumentCount);
    EXPECT_EQ(object->invoke("Nothing", MemberKind::Method, {}, result),
              InvokeStatus::UnknownMember);
    EXPECT_EQ(platform::ObjectRegistry::instance().create("No.Such"), nullptr);
}

}  // namespace
}  // namespace trellybridge
