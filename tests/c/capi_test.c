/* The C interface as a host written in C uses it. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "trellybridge/trellybridge.h"

static int failures = 0;

#define CHECK(condition)                                                                  \
    do {                                                                                  \
        if (!(condition)) {                                                               \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            ++failures;                                                                   \
        }                                                                                 \
    } while (0)

int main(void) {
    tb_object* comm = NULL;
    tb_variant value, result, problems, arguments[50], settings[50];
    char version[32];
    size_t i, count = 0;
    int code = 0;

    CHECK(tb_create("No.Such.Class", &comm) == TB_UNKNOWN_CLASS);
    CHECK(comm == NULL);
    CHECK(tb_create("trellybridge.trellybridgecomm", &comm) == TB_OK);
    if (!comm) return 1;

    tb_variant_init(&result);
    CHECK(tb_invoke(comm, "GetControlVersion", NULL, 0, &result) == TB_OK);
    CHECK(result.kind == TB_DOUBLE && fabs(result.real - 2013.1) < 1e-9);
    tb_variant_clear(&result);

    /* Properties: write by value and read back; the bill type's two names. */
    tb_variant_init(&value);
    tb_variant_set_text(&value, "Smith");
    CHECK(tb_put_property(comm, "p1PatientLastName", &value) == TB_OK);
    CHECK(tb_get_property(comm, "P1PATIENTLASTNAME", &result) == TB_OK && result.kind == TB_TEXT &&
          strcmp(result.text, "Smith") == 0);
    tb_variant_clear(&result);
    tb_variant_set_text(&value, "B7");
    CHECK(tb_put_property(comm, "p1BillType", &value) == TB_OK);
    CHECK(tb_get_property(comm, "p1PatientBillType", &result) == TB_OK && result.kind == TB_TEXT &&
          strcmp(result.text, "B7") == 0);
    tb_variant_clear(&result);
    CHECK(tb_get_property(comm, "p1BillType", &result) == TB_UNKNOWN_MEMBER);
    CHECK(tb_get_property(comm, "NoSuchProperty", &result) == TB_UNKNOWN_MEMBER);
    tb_variant_clear(&value);

    /* The published record as FHIR: the name just written, under the host's system. */
    CHECK(tb_patient_as_fhir(comm, "urn:example:mrn", &result) == TB_OK);
    CHECK(result.kind == TB_TEXT && strstr(result.text, "\"family\": \"Smith\"") != NULL);
    CHECK(tb_patient_as_fhir(comm, NULL, NULL) == TB_INVALID_ARGUMENT);
    tb_variant_clear(&result);
    /* The site's system from the environment; a system that is no URI is refused. */
    setenv("TRELLYBRIDGE_FHIR_ACCOUNT_SYSTEM", "urn:oid:2.16.840.1.113883.19.5", 1);
    tb_variant_set_text(&value, "42");
    CHECK(tb_put_property(comm, "p1PatientUniqueID", &value) == TB_OK);
    CHECK(tb_patient_as_fhir(comm, NULL, &result) == TB_OK && result.kind == TB_TEXT &&
          strstr(result.text, "\"urn:oid:2.16.840.1.113883.19.5\"") != NULL);
    tb_variant_clear(&result);
    setenv("TRELLYBRIDGE_FHIR_ACCOUNT_SYSTEM", "account numbers", 1);
    CHECK(tb_patient_as_fhir(comm, NULL, &result) == TB_INVALID_ARGUMENT);
    CHECK(tb_patient_as_fhir(comm, "urn:oid:1.2.x", &result) == TB_INVALID_ARGUMENT);
    unsetenv("TRELLYBRIDGE_FHIR_ACCOUNT_SYSTEM");
    tb_variant_clear(&value);

    /* A request that ends before its session: HL7 with a company not in the list. */
    for (i = 0; i < 50; ++i) tb_variant_init(&arguments[i]);
    tb_variant_set_text(&arguments[0], "7-42");  /* PatientID */
    tb_variant_set_text(&arguments[1], "TCPIP"); /* NetworkBridgeType */
    tb_variant_set_text(&arguments[5], "HL7");   /* VendorFormatType */
    tb_variant_set_integer(&arguments[10], 2);   /* AllowedRetries */
    tb_variant_set_boolean(&arguments[12], 0);   /* DisplayProperties */
    tb_variant_set_text(&arguments[23], "1");    /* MEDICNumberDefault */
    tb_variant_set_text(&arguments[25], "1");    /* MEDICNumberValidList */
    CHECK(tb_invoke(comm, "GetPatient", arguments, 50, &result) == TB_OK);
    CHECK(result.kind == TB_BOOLEAN && result.boolean == 0);
    tb_variant_clear(&result);
    CHECK(tb_invoke(comm, "GetPatient", arguments, 3, &result) == TB_BAD_ARGUMENT_COUNT);

    /* The error is published by ReturnPatient, and nobody is handed over as FHIR. */
    CHECK(tb_invoke(comm, "ReturnPatient", NULL, 0, NULL) == TB_OK);
    CHECK(tb_patient_as_fhir(comm, NULL, &result) == TB_OK && result.kind == TB_EMPTY);
    CHECK(tb_error_count(comm, &count) == TB_OK && count == 1);
    CHECK(tb_error_entry(comm, 0, &code, &value) == TB_OK && code == 310);
    CHECK(value.kind == TB_TEXT && strstr(value.text, "7 is not a valid company") != NULL);
    CHECK(tb_error_entry(comm, 1, &code, &value) == TB_INVALID_ARGUMENT);
    tb_variant_clear(&value);
    /* A failed call's number and words: a USB component not named by an absolute path. */
    setenv("TRELLYBRIDGE_USB_COMPONENT", "usb_test_component.so", 1);
    CHECK(tb_invoke(comm, "getUSBPatientData", arguments, 2, &result) == TB_FAILED);
    CHECK(tb_last_error(comm, &code, &value) == TB_OK && code == 429);
    CHECK(value.kind == TB_TEXT && strstr(value.text, "not an absolute path") != NULL);
    tb_variant_clear(&value);

    /* The defaults and the required settings, as a host without a settings file uses them. */
    snprintf(version, sizeof version, "%d.%d", TRELLYBRIDGE_VERSION_MAJOR,
             TRELLYBRIDGE_VERSION_MINOR);
    CHECK(strcmp(tb_version(), version) == 0);
    for (i = 0; i < 50; ++i) tb_variant_init(&settings[i]);
    tb_variant_init(&problems);
    tb_variant_set_text(&settings[1], "tcpip"); /* NetworkBridgeType */
    tb_variant_set_text(&settings[5], "HL7");   /* VendorFormatType */
    tb_variant_set_text(&settings[7], "3");     /* EOFCharacter: given, so kept */
    CHECK(tb_fill_defaults(settings, 50) == TB_OK);
    CHECK(settings[4].kind == TB_TEXT && strcmp(settings[4].text, "<%DYNAMIC%>") == 0);
    CHECK(settings[7].kind == TB_TEXT && strcmp(settings[7].text, "3") == 0);
    CHECK(settings[8].kind == TB_TEXT && strcmp(settings[8].text, "13") == 0);
    CHECK(settings[22].kind == TB_TEXT && strcmp(settings[22].text, "9991") == 0);
    CHECK(settings[0].kind == TB_EMPTY);  /* PatientID is the host's to give */
    CHECK(settings[21].kind == TB_EMPTY); /* and so is the vendor's address */
    CHECK(tb_setting_problems(settings, 50, &problems) == TB_OK);
    CHECK(problems.kind == TB_TEXT &&
          strcmp(problems.text, "PatientID is not set\nTCPRemoteHostName is not set") == 0);
    CHECK(tb_fill_defaults(settings, 3) == TB_BAD_ARGUMENT_COUNT);
    for (i = 0; i < 50; ++i) tb_variant_clear(&settings[i]);
    tb_variant_clear(&problems);
    /* VENDOR needs no request file (its program is handed the identifier); a value that can
     * never work is named. */
    tb_variant_set_text(&settings[0], "12345");
    tb_variant_set_text(&settings[1], "VENDOR");
    tb_variant_set_text(&settings[5], "SCAN");
    tb_variant_set_text(&settings[10], "-1");                     /* AllowedRetries */
    tb_variant_set_text(&settings[45], "/opt/vendor/ask");        /* VendorApplicationPath */
    tb_variant_set_text(&settings[47], "/opt/vendor/answer.dat"); /* VendorResultsPath */
    CHECK(tb_setting_problems(settings, 50, &problems) == TB_OK);
    CHECK(problems.kind == TB_TEXT &&
          strcmp(problems.text, "AllowedRetries must be a whole number of 0 or more, not \"-1\"") ==
              0);
    for (i = 0; i < 50; ++i) tb_variant_clear(&settings[i]);
    tb_variant_clear(&problems);
    CHECK(tb_set_pace("Fast") == TB_OK && tb_set_pace("slow") == TB_INVALID_ARGUMENT);
    CHECK(tb_set_pace(NULL) == TB_OK);

    /* The names a host passes and reads, as the component spells them, up to a NULL. */
    CHECK(strcmp(tb_setting_name(0), "PatientID") == 0);
    CHECK(strcmp(tb_setting_name(30), "EOF") == 0);
    CHECK(strcmp(tb_setting_name(49), "TimeDelay") == 0 && tb_setting_name(50) == NULL);
    CHECK(strcmp(tb_property_name(0), "DebugDataDump") == 0);
    CHECK(tb_property_name(118) != NULL && tb_property_name(119) == NULL);
    for (i = 0; tb_property_name(i); ++i) {
        CHECK(tb_get_property(comm, tb_property_name(i), &result) == TB_OK);
        tb_variant_clear(&result);
    }

    /* A search whose timer cannot run answers with the reason, without a session. */
    tb_variant_set_text(&value, "<BridgeParameters><TimeDelay>0</TimeDelay></BridgeParameters>");
    CHECK(tb_invoke(comm, "GetPatientData", &value, 1, &result) == TB_OK && result.kind == TB_TEXT);
    tb_variant_clear(&result);
    tb_variant_clear(&value);
    CHECK(tb_invoke(comm, "GetPatientData", NULL, 0, &result) == TB_BAD_ARGUMENT_COUNT);
    CHECK(tb_invoke(comm, "NoSuchMethod", NULL, 0, &result) == TB_UNKNOWN_MEMBER);

    for (i = 0; i < 50; ++i) tb_variant_clear(&arguments[i]);
    tb_variant_clear(&result);
    tb_release(comm);
    if (failures == 0) printf("C interface: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
