// Names of the result properties and of the GetPatient arguments.
#include <array>

#include "platform/Dispatch.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge {
namespace {

constexpr std::array<std::string_view, kResultPropertyCount> kPropertyNames = {
#define TRELLYBRIDGE_NAME(name) #name,
#define TRELLYBRIDGE_NAME_I1(field) "i1" #field,
#define TRELLYBRIDGE_NAME_I2(field) "i2" #field,
#define TRELLYBRIDGE_NAME_I3(field) "i3" #field,
    TRELLYBRIDGE_RECORD_FIELDS(TRELLYBRIDGE_NAME)
        TRELLYBRIDGE_INSURANCE_FIELDS(TRELLYBRIDGE_NAME_I1)
            TRELLYBRIDGE_INSURANCE_FIELDS(TRELLYBRIDGE_NAME_I2)
                TRELLYBRIDGE_INSURANCE_FIELDS(TRELLYBRIDGE_NAME_I3)
                    TRELLYBRIDGE_OTHER_PROPERTIES(TRELLYBRIDGE_NAME)
#undef TRELLYBRIDGE_NAME_I1
#undef TRELLYBRIDGE_NAME_I2
#undef TRELLYBRIDGE_NAME_I3
};

// Code spells EOF as EOF_; the published name has no underscore.
constexpr std::string_view publishedName(std::string_view name) {
    return name.ends_with('_') ? name.substr(0, name.size() - 1) : name;
}

constexpr std::array<std::string_view, GetPatientArguments::kCount> kArgumentNames = {
#define TRELLYBRIDGE_ARGUMENT_NAME(name) publishedName(#name),
    TRELLYBRIDGE_GETPATIENT_ARGUMENTS(TRELLYBRIDGE_ARGUMENT_NAME)
#undef TRELLYBRIDGE_ARGUMENT_NAME
#undef TRELLYBRIDGE_NAME
};

constexpr std::array<Variant GetPatientArguments::*, GetPatientArguments::kCount> kArgumentMembers =
    {
#define TRELLYBRIDGE_MEMBER(name) &GetPatientArguments::name,
        TRELLYBRIDGE_GETPATIENT_ARGUMENTS(TRELLYBRIDGE_MEMBER)
#undef TRELLYBRIDGE_MEMBER
};

}  // namespace

std::string_view propertyName(ResultProperty property) {
    return kPropertyNames[static_cast<size_t>(property)];
}

std::optional<ResultProperty> findProperty(std::string_view name) {
    if (platform::equalsIgnoringCase(name, "p1BillType")) return ResultProperty::p1PatientBillType;
    for (size_t i = 0; i < kPropertyNames.size(); ++i)
        if (platform::equalsIgnoringCase(kPropertyNames[i], name))
            return static_cast<ResultProperty>(i);
    return std::nullopt;
}

Variant& GetPatientArguments::at(std::size_t position) {
    return this->*kArgumentMembers.at(position);
}
const Variant& GetPatientArguments::at(std::size_t position) const {
    return this->*kArgumentMembers.at(position);
}
std::string_view GetPatientArguments::name(std::size_t position) {
    return kArgumentNames.at(position);
}
std::optional<std::size_t> GetPatientArguments::find(std::string_view name) {
    for (size_t i = 0; i < kArgumentNames.size(); ++i)
        if (platform::equalsIgnoringCase(kArgumentNames[i], name)) return i;
    return std::nullopt;
}

}  // namespace trellybridge
