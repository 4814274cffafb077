// What the TCP/IP session tests share: the simulator's sample request for patient 12345 in
// HL7 2.3 from a vendor on loopback, named in the MSH as MEDIC at LAB1.
#pragma once

#include "SampleRequest.h"
#include "support/TestEnvironment.h"

namespace trellybridge::testing {

class TcpFixture : public RequestFixture {
protected:
    void SetUp() override {
        TestEnvironment::SetUp();
        a = vendorsim::sampleRequest("12345", "TCPIP", "HL7");
        a.VendorName = "MEDIC";
        a.VendorFacility = "LAB1";
    }
};

}  // namespace trellybridge::testing
