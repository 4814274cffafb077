// The component's field lists, each written once and expanded where needed.
#pragma once

// The fifty GetPatient arguments, in call order. The setting EOF is spelt EOF_ in code,
// since <cstdio> takes the plain name; its published name has no underscore.
// clang-format off
#define TRELLYBRIDGE_GETPATIENT_ARGUMENTS(X) \
    X(PatientID)                             \
    X(NetworkBridgeType)                     \
    X(VendorFacility)                        \
    X(VendorName)                            \
    X(VendorRequestTag)                      \
    X(VendorFormatType)                      \
    X(VendorFormatVersion)                   \
    X(EOFCharacter)                          \
    X(EOLCharacter)                          \
    X(EOFRequest)                            \
    X(AllowedRetries)                        \
    X(stripPaddedZeros)                      \
    X(DisplayProperties)                     \
    X(DisplayDebugger)                       \
    X(InsuranceOverrides)                    \
    X(CaseSensitivity)                       \
    X(LogInsuranceEntries)                   \
    X(HISDSN)                                \
    X(HISBusinessUnit)                       \
    X(HTTPSOrganizationID)                   \
    X(HTTPSSubjectCN)                        \
    X(TCPRemoteHostName)                     \
    X(TCPRemotePorts)                        \
    X(MEDICNumberDefault)                    \
    X(MEDICNumberLength)                     \
    X(MEDICNumberValidList)                  \
    X(MEDICuseGuarantorAddress)              \
    X(CommPort)                              \
    X(DTR)                                   \
    X(RTS)                                   \
    X(EOF_)                                  \
    X(Handshaking)                           \
    X(InputMode)                             \
    X(NullDiscard)                           \
    X(BPS)                                   \
    X(DataBits)                              \
    X(Parity)                                \
    X(StopBits)                              \
    X(FlowControl)                           \
    X(InputLength)                           \
    X(InBufferSize)                          \
    X(OutBufferSize)                         \
    X(RThreshold)                            \
    X(SThreshold)                            \
    X(SerialTimeout)                         \
    X(VendorApplicationPath)                 \
    X(VendorRequestPath)                     \
    X(VendorResultsPath)                     \
    X(NetworkTimeout)                        \
    X(TimeDelay)
// clang-format on

// The patient record's scalar fields in publishing order: patient, physician and
// diagnoses (each description before its code), guarantor.
// clang-format off
#define TRELLYBRIDGE_RECORD_FIELDS(X)                 \
    X(p1PatientAltID)                                 \
    X(p1PatientLastName)                              \
    X(p1PatientFirstName)                             \
    X(p1PatientMiddleInitial)                         \
    X(p1PatientUniqueID)                              \
    X(p1PatientAddress1)                              \
    X(p1PatientAddress2)                              \
    X(p1PatientCity)                                  \
    X(p1PatientState)                                 \
    X(p1PatientPostal)                                \
    X(                  \
        p1PatientHomeEmail) \
    X(p1PatientHomePhone)                             \
    X(p1PatientWorkPhone)                             \
    X(p1PatientSSN)                                   \
    X(p1PatientDOB)                                   \
    X(p1PatientGender)                                \
    X(p2UsualProvider)                                \
    X(p2PhysicianUPIN)                                \
    X(p2PhysicianNPI)                                 \
    X(p2PhysicianLicenseNumber)                       \
    X(p2ICD9Description1)                             \
    X(p2ICD9Code1)                                    \
    X(p2ICD9Description2)                             \
    X(p2ICD9Code2)                                    \
    X(p2ICD9Description3)                             \
    X(p2ICD9Code3)                                    \
    X(p2ICD9Description4)                             \
    X(p2ICD9Code4)                                    \
    X(p2ICD9Description5)                             \
    X(p2ICD9Code5)                                    \
    X(p2ICD9Description6)                             \
    X(   \
                        p2ICD9Code6)       \
    X(p2ICD9Description7)                             \
    X(p2ICD9Code7)                                    \
    X(p2ICD9Description8)                             \
    X(p2ICD9Code8)                                    \
    X(p2ICD9Description9)                             \
    X(p2ICD9Code9)                                    \
    X(p2ICD9Description10)                            \
    X(p2ICD9Code10)                                   \
    X(p2ICD9Description11)                            \
    X(p2ICD9Code11)                                   \
    X(p2ICD9Description12)                            \
    X(p2ICD9Code12)                                   \
    X(g1GuarantorLastName)                            \
    X(g1GuarantorFirstName)                           \
    X(g1GuarantorMiddleInitial)                       \
    X(g1GuarantorAddress1)                            \
    X(g1GuarantorAddress2)                            \
    X(g1GuarantorCity)                                \
    X(g1GuarantorState)                               \
    X(g1GuarantorPostal)                              \
    X(g1GuarantorHomePhone)                           \
    X(g1GuarantorWorkPhone)                           \
    X(g1GuarantorSSN)                                 \
    X(g1GuarantorDOB)                                 \
    X(g1GuarantorGender)
// clang-format on

// The nineteen fields of an insurance slot, in publishing order; published with the
// prefix i1, i2 or i3.
// clang-format off
#define TRELLYBRIDGE_INSURANCE_FIELDS(X) \
    X(InsuredName)                       \
    X(InsuredRelationship)               \
    X(InsuredPolicyNumber)               \
    X(InsuredGroupNumber)                \
    X(InsuredClaimType)                  \
    X(InsuredBillCode)                   \
    X(InsuredCompanyName)                \
    X(InsuredCompanyAddress)             \
    X(InsuredCompanyAddress2)            \
    X(InsuredCompanyCity)                \
    X(InsuredCompanyState)               \
    X(InsuredCompanyPostal)              \
    X(InsuredEmployer)                   \
    X(InsuredEmployerAddress1)           \
    X(InsuredEmployerAddress2)           \
    X(InsuredEmployerCity)               \
    X(InsuredEmployerState)              \
    X(InsuredEmployerPostal)             \
    X(InsuredAlternateCompanyName)
// clang-format on

// The five properties that publish no record field.
// clang-format off
#define TRELLYBRIDGE_OTHER_PROPERTIES(X) \
    X(p1PatientRelationship)             \
    X(p1PatientBillType)                 \
    X(DebugDataDump)                     \
    X(ErrorCodes)                        \
    X(ErrorDescriptions)
// clang-format on
