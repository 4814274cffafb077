// Fetches one patient over TCP/IP through the C++ class and prints who it is.
//   fetch_patient_cpp HOST PORT PATIENT_ID
// Exit status: 0 found, 1 not found, 2 usage error.
#include <iostream>

#include <trellybridge/TrellyBridgeComm.h>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: " << argv[0] << " HOST PORT PATIENT_ID\n";
        return 2;
    }
    using trellybridge::ResultProperty;
    trellybridge::GetPatientArguments settings;  // every other setting keeps its default
    settings.PatientID = argv[3];
    settings.NetworkBridgeType = "TCPIP";
    settings.VendorRequestTag = "<%DYNAMIC%>";
    settings.VendorFormatType = "HL7";
    settings.EOFCharacter = "28";
    settings.EOLCharacter = "13";
    settings.AllowedRetries = "2";
    settings.DisplayProperties = "false";
    settings.TCPRemoteHostName = argv[1];
    settings.TCPRemotePorts = argv[2];
    settings.SerialTimeout = "2";
    settings.TimeDelay = "200";

    trellybridge::TrellyBridgeComm comm;
    bool found = comm.GetPatient(settings).isTrue();
    if (found) {
        for (ResultProperty p :
             {ResultProperty::p1PatientLastName, ResultProperty::p1PatientFirstName,
              ResultProperty::p1PatientDOB, ResultProperty::i1InsuredCompanyName})
            std::cout << trellybridge::propertyName(p) << ": " << comm.property(p).toText() << '\n';
    } else {
        std::cout << "not found\n" << comm.get_ErrorDescriptions().toText();
    }
    comm.closeConnection();
    return found ? 0 : 1;
}
