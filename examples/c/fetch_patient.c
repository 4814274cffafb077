/* Fetches one patient over TCP/IP through the C interface and prints who it is.
 *   fetch_patient HOST PORT PATIENT_ID
 * Exit status: 0 found, 1 not found, 2 usage or interface error. */
#include <stdio.h>
#include <string.h>

#include <trellybridge/trellybridge.h>

enum { kArgumentCount = 50 };

/* Positions of the GetPatient settings this host gives; the others stay empty, so that
 * the component's defaults apply. */
enum {
    PatientID = 0,
    NetworkBridgeType = 1,
    VendorRequestTag = 4,
    VendorFormatType = 5,
    EOFCharacter = 7,
    EOLCharacter = 8,
    AllowedRetries = 10,
    DisplayProperties = 12,
    TCPRemoteHostName = 21,
    TCPRemotePorts = 22,
    SerialTimeout = 44,
    TimeDelay = 49
};

static void print_property(tb_object* comm, const char* name) {
    tb_variant value;
    tb_variant_init(&value);
    if (tb_get_property(comm, name, &value) == TB_OK && value.kind == TB_TEXT && value.text_length)
        printf("%s: %s\n", name, value.text);
    tb_variant_clear(&value);
}

int main(int argc, char** argv) {
    tb_object* comm = NULL;
    tb_variant arguments[kArgumentCount];
    tb_variant found;
    tb_status status;
    int i;

    if (argc != 4) {
        fprintf(stderr, "usage: %s HOST PORT PATIENT_ID\n", argv[0]);
        return 2;
    }
    status = tb_create("TrellyBridge.TrellyBridgeComm", &comm);
    if (status != TB_OK) {
        fprintf(stderr, "tb_create: %s\n", tb_status_text(status));
        return 2;
    }
    for (i = 0; i < kArgumentCount; ++i) tb_variant_init(&arguments[i]);
    tb_variant_set_text(&arguments[PatientID], argv[3]);
    tb_variant_set_text(&arguments[NetworkBridgeType], "TCPIP");
    tb_variant_set_text(&arguments[VendorRequestTag], "<%DYNAMIC%>");
    tb_variant_set_text(&arguments[VendorFormatType], "HL7");
    tb_variant_set_text(&arguments[EOFCharacter], "28");
    tb_variant_set_text(&arguments[EOLCharacter], "13");
    tb_variant_set_text(&arguments[AllowedRetries], "2");
    tb_variant_set_text(&arguments[DisplayProperties], "false");
    tb_variant_set_text(&arguments[TCPRemoteHostName], argv[1]);
    tb_variant_set_text(&arguments[TCPRemotePorts], argv[2]);
    tb_variant_set_text(&arguments[SerialTimeout], "2");
    tb_variant_set_text(&arguments[TimeDelay], "200");

    tb_variant_init(&found);
    status = tb_invoke(comm, "GetPatient", arguments, kArgumentCount, &found);
    if (status == TB_OK && found.kind == TB_BOOLEAN && found.boolean) {
        print_property(comm, "p1PatientLastName");
        print_property(comm, "p1PatientFirstName");
        print_property(comm, "p1PatientDOB");
        print_property(comm, "i1InsuredCompanyName");
    } else {
        printf("not found\n");
        print_property(comm, "ErrorDescriptions");
    }
    tb_invoke(comm, "closeConnection", NULL, 0, NULL);

    for (i = 0; i < kArgumentCount; ++i) tb_variant_clear(&arguments[i]);
    tb_release(comm);
    if (status != TB_OK) return 2;
    return found.kind == TB_BOOLEAN && found.boolean ? 0 : 1;
}
