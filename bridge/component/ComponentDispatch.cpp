#include "component/ComponentDispatch.h"

#include <mutex>
#include <string_view>

#include "formats/Hl7Primitives.h"
#include "platform/ObjectRegistry.h"

namespace trellybridge {
namespace {

using platform::InvokeStatus;
using platform::MemberKind;

// The dispatch interface as published: properties by name, methods marked "method ".
constexpr std::string_view kInterfaceOrder[] = {
    "DebugDataDump",
    "ErrorCodes",
    "ErrorDescriptions",
    "i3InsuredRelationship",
    "i3InsuredPolicyNumber",
    "i3InsuredName",
    "i3InsuredGroupNumber",
    "i3InsuredEmployerState",
    "i3InsuredEmployerPostal",
    "i3InsuredEmployerCity",
    "i3InsuredEmployerAddress2",
    "i3InsuredEmployerAddress1",
    "i3InsuredEmployer",
    "i3InsuredCompanyState",
    "i3InsuredCompanyPostal",
    "i3InsuredCompanyName",
    "i3InsuredCompanyCity",
    "i3InsuredCompanyAddress",
    "i3InsuredClaimType",
    "i2InsuredRelationship",
    "i2InsuredPolicyNumber",
    "i2InsuredName",
    "i2InsuredGroupNumber",
    "i2InsuredEmployerState",
    "i2InsuredEmployerPostal",
    "i2InsuredEmployerCity",
    "i2InsuredEmployerAddress1",
    "i2InsuredEmployerAddress2",
    "i2InsuredEmployer",
    "i2InsuredCompanyState",
    "i2InsuredCompanyPostal",
    "i2InsuredCompanyName",
    "i2InsuredCompanyCity",
    "i2InsuredCompanyAddress",
    "i2InsuredClaimType",
    "i1InsuredEmployerPostal",
    "i1InsuredEmployerState",
    "i1InsuredEmployerCity",
    "i1InsuredEmployerAddress2",
    "i1InsuredEmployerAddress1",
    "i1InsuredEmployer",
    "i1InsuredCompanyPostal",
    "i1InsuredCompanyState",
    "i1InsuredCompanyCity",
    "i1InsuredCompanyAddress",
    "i1InsuredCompanyName",
    "i1InsuredClaimType",
    "i1InsuredGroupNumber",
    "i1InsuredPolicyNumber",
    "i1InsuredRelationship",
    "i1InsuredName",
    "g1GuarantorWorkPhone",
    "g1GuarantorHomePhone",
    "g1GuarantorPostal",
    "g1GuarantorState",
    "g1GuarantorCity",
    "g1GuarantorAddress2",
    "g1GuarantorAddress1",
    "g1GuarantorMiddleInitial",
    "g1GuarantorFirstName",
    "g1GuarantorLastName",
    "p2ICD9Code9",
    "p2ICD9Code12",
    "p2ICD9Code11",
    "p2ICD9Code10",
    "p2ICD9Code8",
    "p2ICD9Description12",
    "p2ICD9Description11",
    "p2ICD9Description10",
    "p2ICD9Description9",
    "p2ICD9Description8",
    "p2ICD9Description7",
    "p2ICD9Code6",
    "p2ICD9Code7",
    "p2ICD9Description6",
    "p2ICD9Code5",
    "p2ICD9Description5",
    "p2ICD9Code4",
    "p2ICD9Description4",
    "p2ICD9Code3",
    "p2ICD9Description3",
    "p2ICD9Code2",
    "p2ICD9Description2",
    "p2ICD9Code1",
    "p2ICD9Description1",
    "p2PhysicianLicenseNumber",
    "p2PhysicianUPIN",
    "p2UsualProvider",
    "p1PatientGender",
    "p1PatientDOB",
    "p1PatientWorkPhone",
    "p1PatientHomePhone",
    "p1PatientPostal",
    "p1PatientState",
    "p1PatientCity",
    "p1PatientAddress1",
    "p1PatientAddress2",
    "p1PatientSSN",
    "p1PatientUniqueID",
    "p1PatientMiddleInitial",
    "p1PatientFirstName",
    "p1PatientLastName",
    "method VerifySerialSettings",
    "method GetPatient",
    "method closeConnection",
    "p1PatientRelationship",
    "p1BillType",
    "p1PatientBillType",
    "method ReturnPatient",
    "i3InsuredCompanyAddress2",
    "i3InsuredAlternateCompanyName",
    "i2InsuredCompanyAddress2",
    "i2InsuredAlternateCompanyName",
    "i1InsuredCompanyAddress2",
    "i1InsuredAlternateCompanyName",
    "p2PhysicianNPI",
    "method GetControlVersion",
    "g1GuarantorSSN",
    "g1GuarantorDOB",
    "g1GuarantorGender",
    "method findUSBDriveLetter",
    "method resetGlobalValues",
    "method getUSBPatientData",
    "method parseHL7Stream",
    "method getHL7Field",
    "method getHL7SubField",
    "method getHL7Record",
    "method getASCII",
    "method verifySubFields",
    "i3InsuredBillCode",
    "i2InsuredBillCode",
    "i1InsuredBillCode",
    "p1PatientHomeEmail",
    "p1PatientAltID",
    "method GetPatientData",
    "method closeEnhancedBridgeConnection",
    "method SetGlobalValues",
    "method SetCommonParameters",
};

// Why a request failed; not among the 119 result properties.
constexpr std::string_view kFailureProperties[] = {"FailureReason", "FailureNotes", "FailureKind"};

platform::DispatchTable buildTable() {
    platform::DispatchTable table;
    constexpr std::string_view kMethod = "method ";
    for (std::string_view entry : kInterfaceOrder) {
        if (entry.starts_with(kMethod))
            table.method(std::string(entry.substr(kMethod.size())));
        else if (entry == "p1BillType")
            table.accessor("p1BillType", MemberKind::PutByValue);
        else if (entry == "p1PatientBillType")
            table.accessor("p1PatientBillType", MemberKind::PutByReference)
                .accessor("p1PatientBillType", MemberKind::Get);
        else
            table.property(std::string(entry));
    }
    // Read-only additions after the published interface, so that its numbering stays.
    for (std::string_view extra : kFailureProperties)
        table.accessor(std::string(extra), MemberKind::Get);
    return table;
}

}  // namespace

const platform::DispatchTable& trellyBridgeCommTable() {
    static const platform::DispatchTable table = buildTable();
    return table;
}

std::vector<std::string_view> publishedPropertyNames() {
    std::vector<std::string_view> names;
    for (std::string_view entry : kInterfaceOrder)
        if (!entry.starts_with("method ") && entry != "p1BillType") names.push_back(entry);
    return names;
}

InvokeStatus TrellyBridgeCommObject::invoke(const platform::Member& member,
                                            std::span<const Variant> arguments, Variant& result) {
    result = Variant();
    if (member.kind == MemberKind::Method) return invokeMethod(member.name, arguments, result);
    auto property = findProperty(member.name);
    if (!property) return invokeFailureProperty(member, arguments, result);
    if (member.kind == MemberKind::Get) {
        if (!arguments.empty()) return InvokeStatus::BadArgumentCount;
        result = comm_.property(*property);
        return InvokeStatus::Ok;
    }
    if (arguments.size() != 1) return InvokeStatus::BadArgumentCount;
    comm_.setProperty(*property, arguments[0]);
    return InvokeStatus::Ok;
}

InvokeStatus TrellyBridgeCommObject::invokeFailureProperty(const platform::Member& member,
                                                           std::span<const Variant> arguments,
                                                           Variant& result) const {
    if (member.kind != MemberKind::Get) return InvokeStatus::UnknownMember;
    if (!arguments.empty()) return InvokeStatus::BadArgumentCount;
    if (member.name == "FailureReason")
        result = comm_.get_FailureReason();
    else if (member.name == "FailureNotes")
        result = comm_.get_FailureNotes();
    else if (member.name == "FailureKind")
        result = comm_.get_FailureKind();
    else
        return InvokeStatus::UnknownMember;
    return InvokeStatus::Ok;
}

std::optional<InvokeStatus> TrellyBridgeCommObject::invokeHl7Method(const std::string& name,
                                                                    std::span<const Variant> a,
                                                                    Variant& result) {
    auto expect = [&](size_t count) { return a.size() == count; };
    if (name == "parseHL7Stream") {
        if (!expect(1)) return InvokeStatus::BadArgumentCount;
        result = comm_.parseHL7Stream(a[0]);
    } else if (name == "getHL7Record") {
        if (!expect(3)) return InvokeStatus::BadArgumentCount;
        result = comm_.getHL7Record(a[0], a[1], a[2]);
    } else if (name == "getHL7Field") {
        if (!expect(3)) return InvokeStatus::BadArgumentCount;
        result = comm_.getHL7Field(a[0], a[1], a[2]);
    } else if (name == "getHL7SubField") {
        if (!expect(4)) return InvokeStatus::BadArgumentCount;
        result = comm_.getHL7SubField(a[0], a[1], a[2], a[3]);
    } else if (name == "verifySubFields") {
        if (!expect(3)) return InvokeStatus::BadArgumentCount;
        result = comm_.verifySubFields(a[0], a[1], a[2]);
    } else if (name == "getASCII") {
        if (!expect(1)) return InvokeStatus::BadArgumentCount;
        CallError error;
        result = comm_.getASCII(a[0], &error);
        if (error.number != 0) return raise(error.number, std::move(error.description));
    } else {
        return std::nullopt;
    }
    return InvokeStatus::Ok;
}

InvokeStatus TrellyBridgeCommObject::invokeMethod(const std::string& name,
                                                  std::span<const Variant> arguments,
                                                  Variant& result) {
    if (name == "GetPatient") {
        // The last argument (TimeDelay) is optional.
        if (arguments.size() != GetPatientArguments::kCount &&
            arguments.size() != GetPatientArguments::kCount - 1)
            return InvokeStatus::BadArgumentCount;
        GetPatientArguments call;
        for (size_t i = 0; i < arguments.size(); ++i) call.at(i) = arguments[i];
        result = comm_.GetPatient(call);
        return InvokeStatus::Ok;
    }
    if (auto status = invokeHl7Method(name, arguments, result)) return *status;
    if (name == "GetPatientData") {
        if (arguments.size() != 1) return InvokeStatus::BadArgumentCount;
        result = Variant(comm_.GetPatientData(arguments[0].toText()));
        return InvokeStatus::Ok;
    }
    if (name == "findUSBDriveLetter") {
        if (arguments.size() != 1) return InvokeStatus::BadArgumentCount;
        result = comm_.findUSBDriveLetter(arguments[0]);
        return InvokeStatus::Ok;
    }
    if (name == "getUSBPatientData") {
        if (arguments.size() != 2) return InvokeStatus::BadArgumentCount;
        CallError error;
        result = comm_.getUSBPatientData(arguments[0], arguments[1], &error);
        // The component's failure is the failure of this call, as COM raises it.
        if (error.number != 0) return raise(error.number, std::move(error.description));
        return InvokeStatus::Ok;
    }
    using NoArgumentMethod = Variant (TrellyBridgeComm::*)();
    static const std::pair<std::string_view, NoArgumentMethod> kMethods[] = {
        {"ReturnPatient", &TrellyBridgeComm::ReturnPatient},
        {"resetGlobalValues", &TrellyBridgeComm::resetGlobalValues},
        {"closeConnection", &TrellyBridgeComm::closeConnection},
        {"closeEnhancedBridgeConnection", &TrellyBridgeComm::closeEnhancedBridgeConnection},
        {"VerifySerialSettings", &TrellyBridgeComm::VerifySerialSettings},
        {"GetControlVersion", &TrellyBridgeComm::GetControlVersion},
        {"SetCommonParameters", &TrellyBridgeComm::SetCommonParameters},
        {"SetGlobalValues", &TrellyBridgeComm::SetGlobalValues},
    };
    for (const auto& [methodName, method] : kMethods) {
        if (methodName != name) continue;
        if (!arguments.empty()) return InvokeStatus::BadArgumentCount;
        result = (comm_.*method)();
        return InvokeStatus::Ok;
    }
    return InvokeStatus::NotImplemented;
}

void registerComponentClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        platform::ObjectRegistry::instance().add(
            kProgId, [] { return std::make_shared<TrellyBridgeCommObject>(); });
    });
}

}  // namespace trellybridge
