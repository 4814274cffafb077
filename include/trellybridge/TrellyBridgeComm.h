// TrellyBridgeComm: fetches one patient's registration data from the practice-management
// system beside the host. Create it, call GetPatient, read the result properties, then
// call closeConnection. Every call runs on the calling thread; instances on one thread
// share that thread's settings and patient record, and each instance has its own
// properties. No exception leaves any member.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "trellybridge/Export.h"
#include "trellybridge/Fields.h"
#include "trellybridge/Variant.h"

namespace trellybridge {

inline constexpr std::string_view kProgId = "TrellyBridge.TrellyBridgeComm";

// The fifty settings of a request, under their argument names. An empty variant lets
// the component's default apply; TimeDelay is "1000" unless given.
struct TRELLYBRIDGE_API GetPatientArguments {
#define TRELLYBRIDGE_MEMBER(name) Variant name;
    TRELLYBRIDGE_GETPATIENT_ARGUMENTS(TRELLYBRIDGE_MEMBER)
#undef TRELLYBRIDGE_MEMBER

    GetPatientArguments() {
        TimeDelay = "1000";
    }
    static constexpr std::size_t kCount = 50;
    // Arguments by position (0 to 49) and by name (without regard to case).
    Variant& at(std::size_t position);
    const Variant& at(std::size_t position) const;
    static std::string_view name(std::size_t position);
    static std::optional<std::size_t> find(std::string_view name);

    // Settings that work for `bridge` and `format` with nothing else given: the groups the
    // settings pages restore for that bridge (the common page and the bridge's own), then
    // what the format needs (HL7: VendorRequestTag "<%DYNAMIC%>", EOFCharacter 28,
    // EOLCharacter 13, EOFRequest "13,28"; STANDARD: "ACCT=", 126, "13,10", "13,10"; SCAN
    // and XML: "<%DYNAMIC%>", 126, "13,10", "13,10"). PatientID and the vendor's address
    // (TCPRemoteHostName; the paths of the file bridges; the HTTPS address) stay empty.
    static GetPatientArguments withDefaults(std::string_view bridge, std::string_view format);
    // Fills every empty setting from withDefaults(NetworkBridgeType, VendorFormatType).
    void fillDefaults();
    // What keeps these settings from making a request, one sentence each ("PatientID is
    // not set"): PatientID, the bridge, the format and the vendor's address are required
    // (VENDOR without VendorRequestPath hands its program the identifier instead), the
    // bridge and format must be known ones, and a value given must be one that can work
    // (TimeDelay, AllowedRetries, TCP/IP ports, an https:// address), as GetPatient itself
    // refuses it. Empty when a request can be made.
    std::vector<std::string> settingProblems() const;
};

// The 119 result properties: the 114 that publish the record, then the other five.
enum class ResultProperty : int {
#define TRELLYBRIDGE_ENUM(name) name,
#define TRELLYBRIDGE_ENUM_I1(field) i1##field,
#define TRELLYBRIDGE_ENUM_I2(field) i2##field,
#define TRELLYBRIDGE_ENUM_I3(field) i3##field,
    TRELLYBRIDGE_RECORD_FIELDS(TRELLYBRIDGE_ENUM)
        TRELLYBRIDGE_INSURANCE_FIELDS(TRELLYBRIDGE_ENUM_I1)
            TRELLYBRIDGE_INSURANCE_FIELDS(TRELLYBRIDGE_ENUM_I2)
                TRELLYBRIDGE_INSURANCE_FIELDS(TRELLYBRIDGE_ENUM_I3)
                    TRELLYBRIDGE_OTHER_PROPERTIES(TRELLYBRIDGE_ENUM)
#undef TRELLYBRIDGE_ENUM
#undef TRELLYBRIDGE_ENUM_I1
#undef TRELLYBRIDGE_ENUM_I2
#undef TRELLYBRIDGE_ENUM_I3
};

inline constexpr int kResultPropertyCount = 119;
inline constexpr int kRecordPropertyCount = 114;

TRELLYBRIDGE_API std::string_view propertyName(ResultProperty property);
// Matches without regard to case; "p1BillType" names p1PatientBillType.
TRELLYBRIDGE_API std::optional<ResultProperty> findProperty(std::string_view name);

// The error a failing call raised, as a COM exception carries it: a number and a
// description in words.
class FailureNotes;

struct CallError {
    int number = 0;
    std::string description;
};

class TRELLYBRIDGE_API TrellyBridgeComm {
public:
    // Runs one request; True when a patient was found. Never throws.
    Variant GetPatient(const GetPatientArguments& arguments);
    Variant GetPatient(
        const Variant& PatientID, const Variant& NetworkBridgeType, const Variant& VendorFacility,
        const Variant& VendorName, const Variant& VendorRequestTag, const Variant& VendorFormatType,
        const Variant& VendorFormatVersion, const Variant& EOFCharacter,
        const Variant& EOLCharacter, const Variant& EOFRequest, const Variant& AllowedRetries,
        const Variant& stripPaddedZeros, const Variant& DisplayProperties,
        const Variant& DisplayDebugger, const Variant& InsuranceOverrides,
        const Variant& CaseSensitivity, const Variant& LogInsuranceEntries, const Variant& HISDSN,
        const Variant& HISBusinessUnit, const Variant& HTTPSOrganizationID,
        const Variant& HTTPSSubjectCN, const Variant& TCPRemoteHostName,
        const Variant& TCPRemotePorts, const Variant& MEDICNumberDefault,
        const Variant& MEDICNumberLength, const Variant& MEDICNumberValidList,
        const Variant& MEDICuseGuarantorAddress, const Variant& CommPort, const Variant& DTR,
        const Variant& RTS, const Variant& EOF_, const Variant& Handshaking,
        const Variant& InputMode, const Variant& NullDiscard, const Variant& BPS,
        const Variant& DataBits, const Variant& Parity, const Variant& StopBits,
        const Variant& FlowControl, const Variant& InputLength, const Variant& InBufferSize,
        const Variant& OutBufferSize, const Variant& RThreshold, const Variant& SThreshold,
        const Variant& SerialTimeout, const Variant& VendorApplicationPath,
        const Variant& VendorRequestPath, const Variant& VendorResultsPath,
        const Variant& NetworkTimeout, const Variant& TimeDelay = Variant("1000"));

    // Publishes the thread's result into this instance's properties.
    Variant ReturnPatient();
    // Clears the thread's patient record.
    Variant resetGlobalValues();
    // Ends a GetPatient request: the found flag and session counters are cleared.
    Variant closeConnection();
    // The same for a GetPatientData request.
    Variant closeEnhancedBridgeConnection();
    // True when the last session obtained an answer.
    Variant VerifySerialSettings();
    // The floating-point number 2013.1.
    Variant GetControlVersion();
    // Searches the vendor system by patient identifier, name or social security number:
    // `mRequest` holds <UserInfo>, <SearchInfo> and <BridgeParameters> sections; the
    // result is the vendor's <Result> with a <RecordCount>, or a <Result> naming the
    // error, or empty text. Never throws. End the search with closeEnhancedBridgeConnection.
    std::string GetPatientData(std::string_view mRequest);
    // Reads the sections of the last GetPatientData request into the thread's settings.
    Variant SetGlobalValues();
    // Normalises the thread's settings after SetGlobalValues.
    Variant SetCommonParameters();

    // The HL7 answer parser: fills the thread's record and this instance's properties;
    // True when the answer held the patient asked for.
    Variant parseHL7Stream(const Variant& HL7AStream);
    // The positional HL7 primitives; each search returns the value wrapped in its
    // delimiters ("|12345|"), or empty text.
    Variant getHL7Record(const Variant& HL7Stream, const Variant& HL7Tag,
                         const Variant& SequentialOccurrence);
    Variant getHL7Field(const Variant& HL7Stream, const Variant& HL7Tag, const Variant& HL7Level);
    Variant getHL7SubField(const Variant& HL7Stream, const Variant& HL7OuterTag,
                           const Variant& HL7Tag, const Variant& HL7Level);
    Variant verifySubFields(const Variant& HL7Stream, const Variant& HL7Tag,
                            const Variant& HL7Level);
    // The one-character text with the given code. Text that is no code from 0 to 255 fails
    // the call, as it always has: `error` gets 13 "Type mismatch" or 5 "Invalid procedure
    // call or argument" and the result is empty.
    Variant getASCII(const Variant& ASCIIDelimitedString, CallError* error = nullptr);

    // The letter of the first ready drive (mapped drives, then removable media) whose
    // root holds `USBEncryptedPath` ("\records\patient.dat"), or empty text. Never fails.
    Variant findUSBDriveLetter(const Variant& USBEncryptedPath);
    // Has the USB patient-record component "U3VitrioClasses.USB" read the record at
    // `InputFilePath` into `OutputFilePath`; returns the component's result as text.
    // When the component cannot be made or its call fails, the result is empty, `error`
    // (when given) receives the number and description, and nothing is recorded in
    // ErrorCodes. Never throws.
    Variant getUSBPatientData(const Variant& InputFilePath, const Variant& OutputFilePath,
                              CallError* error = nullptr);

    // The record this instance last published (GetPatient, ReturnPatient) as a FHIR R4
    // Bundle of type "collection", in JSON text (UTF-8): the Patient, Practitioner,
    // Conditions, the guarantor and subscribers, Coverages and their Organizations.
    // `identifierSystem` is the system of the account number identifier (when empty, the
    // one TRELLYBRIDGE_FHIR_ACCOUNT_SYSTEM names, else "urn:trellybridge:account").
    // Empty text when no patient was found (the record is empty), or when
    // fhirSystemProblem refuses the system. Never throws.
    std::string patientAsFhir(std::string_view identifierSystem = {}) const;
    // Why patientAsFhir refuses that system (not an absolute URI in printable ASCII),
    // naming where it came from; empty text when it takes it.
    static std::string fhirSystemProblem(std::string_view identifierSystem = {});

    const Variant& property(ResultProperty which) const {
        return properties_[static_cast<std::size_t>(which)];
    }
    void setProperty(ResultProperty which, Variant value) {
        properties_[static_cast<std::size_t>(which)] = std::move(value);
    }
    void setPropertyText(ResultProperty which, std::string_view text) {
        properties_[static_cast<std::size_t>(which)].assignText(text);
    }

    // The three accessors of each property, as a dispatch client sees them.
#define TRELLYBRIDGE_ACCESSORS(name)              \
    Variant get_##name() const {                  \
        return property(ResultProperty::name);    \
    }                                             \
    void put_##name(const Variant& value) {       \
        setProperty(ResultProperty::name, value); \
    }                                             \
    void putref_##name(const Variant& value) {    \
        setProperty(ResultProperty::name, value); \
    }
#define TRELLYBRIDGE_ACCESSORS_I1(field) TRELLYBRIDGE_ACCESSORS(i1##field)
#define TRELLYBRIDGE_ACCESSORS_I2(field) TRELLYBRIDGE_ACCESSORS(i2##field)
#define TRELLYBRIDGE_ACCESSORS_I3(field) TRELLYBRIDGE_ACCESSORS(i3##field)
    TRELLYBRIDGE_RECORD_FIELDS(TRELLYBRIDGE_ACCESSORS)
    TRELLYBRIDGE_INSURANCE_FIELDS(TRELLYBRIDGE_ACCESSORS_I1)
    TRELLYBRIDGE_INSURANCE_FIELDS(TRELLYBRIDGE_ACCESSORS_I2)
    TRELLYBRIDGE_INSURANCE_FIELDS(TRELLYBRIDGE_ACCESSORS_I3)
    TRELLYBRIDGE_ACCESSORS(p1PatientRelationship)
    TRELLYBRIDGE_ACCESSORS(DebugDataDump)
    TRELLYBRIDGE_ACCESSORS(ErrorCodes)
    TRELLYBRIDGE_ACCESSORS(ErrorDescriptions)
#undef TRELLYBRIDGE_ACCESSORS
#undef TRELLYBRIDGE_ACCESSORS_I1
#undef TRELLYBRIDGE_ACCESSORS_I2
#undef TRELLYBRIDGE_ACCESSORS_I3

    // Why the last request failed, beside the 119 properties (read-only; GetPatient,
    // ReturnPatient and GetPatientData set them): the latest failure in words, empty when
    // the patient was found; every failure of the request, one per line, oldest first;
    // and what the failure says about the vendor: "not on file" (it answered without the
    // patient), "unreachable" (no answer: name look-up, connect, TLS, time-out, answer
    // too large), "settings" (the request could not be made), "refused" (it answered the
    // query with an error), "unreadable" (its answer could not be read in the format set)
    // or "incomplete" (its answer stopped before its end), empty when found.
    Variant get_FailureReason() const {
        return Variant(failureReason_);
    }
    Variant get_FailureNotes() const {
        return Variant(failureNotes_);
    }
    Variant get_FailureKind() const {
        return Variant(failureKind_);
    }

    // The bill type is written under one name and read under another.
    void put_p1BillType(const Variant& value) {
        setProperty(ResultProperty::p1PatientBillType, value);
    }
    void putref_p1PatientBillType(const Variant& value) {
        setProperty(ResultProperty::p1PatientBillType, value);
    }
    Variant get_p1PatientBillType() const {
        return property(ResultProperty::p1PatientBillType);
    }

private:
    void publishFailure(const FailureNotes& notes, bool found);

    std::array<Variant, kResultPropertyCount> properties_;
    std::string failureReason_, failureNotes_, failureKind_;
    std::string publishedFor_;  // the PatientID of the request whose record is published
};

}  // namespace trellybridge
