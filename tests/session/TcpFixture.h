// What the TCP/IP session tests share: a request for patient 12345 in HL7 2.3 from a vendor
// on loopback, as a site sets it up, and a fetch that fails its test if the session never ends.
#pragma once

#include <gtest/gtest.h>

#include "support/TestEnvironment.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge::testing {

class TcpFixture : public TestEnvironment {
protected:
    void SetUp() override {
        TestEnvironment::SetUp();
        a.PatientID = "12345";
        a.NetworkBridgeType = "TCPIP";
        a.TCPRemoteHostName = "127.0.0.1";
        a.VendorName = "MEDIC";
        a.VendorFacility = "LAB1";
        a.VendorFormatType = "HL7";
        a.VendorFormatVersion = "2.3";
        a.VendorRequestTag = "<%DYNAMIC%>";
        a.EOFCharacter = "28";
        a.EOLCharacter = "13";
        a.AllowedRetries = "2";
        a.DisplayProperties = "false";
        a.DisplayDebugger = "false";
        a.SerialTimeout = "1";
        a.TimeDelay = "1000";
    }
    bool fetch() {
        bool found = comm.GetPatient(a).isTrue();
        EXPECT_FALSE(toolkit->loopCutShort) << "the session never ended";
        return found;
    }

    GetPatientArguments a;
    TrellyBridgeComm comm;
};

}  // namespace trellybridge::testing
