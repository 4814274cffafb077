// The command line against the simulated web service: get-patient with and without the
// client certificate.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "Cli.h"
#include "WebServiceSimulator.h"
#include "cli/CliFixture.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

class HttpsCliTest : public testing::CliFixture {
protected:
    void SetUp() override {
        CliFixture::SetUp();
        for (const char* proxy : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY"})
            ::unsetenv(proxy);
        ::setenv("NO_PROXY", "*", 1);
    }
    void TearDown() override {
        for (const char* v :
             {"TRELLYBRIDGE_CA_FILE", "TRELLYBRIDGE_CLIENT_CERT", "TRELLYBRIDGE_CLIENT_KEY"})
            ::unsetenv(v);
        CliFixture::TearDown();
    }
};

TEST_F(HttpsCliTest, GetPatientFindsThePatientOnlyWithTheClientCertificate) {
    vendorsim::WebServiceOptions options;
    options.format = vendorsim::Format::Hl7;
    vendorsim::WebServiceSimulator service(options);
    std::string error;
    ASSERT_TRUE(service.start(error)) << error;
    ::setenv("TRELLYBRIDGE_CA_FILE", service.clientFiles().authority.c_str(), 1);
    ::setenv("TRELLYBRIDGE_CLIENT_CERT", service.clientFiles().certificate.c_str(), 1);
    ::setenv("TRELLYBRIDGE_CLIENT_KEY", service.clientFiles().key.c_str(), 1);
    GetPatientArguments a = vendorsim::sampleRequest("12345", "HTTPS", "HL7");
    a.VendorApplicationPath = service.baseAddress();
    a.VendorRequestPath = "patient.asp";
    a.AllowedRetries = "0";
    const std::vector<std::string> request =
        testing::withSets({"get-patient"}, testing::settingsOf(a));
    EXPECT_EQ(run(request), cli::kFound) << err.str();
    EXPECT_NE(out.str().find("p1PatientLastName: DOE\n"), std::string::npos) << out.str();

    ::unsetenv("TRELLYBRIDGE_CLIENT_CERT");
    std::vector<std::string> quiet = request;
    quiet.push_back("--quiet");
    EXPECT_EQ(run(quiet), cli::kUnreachable);
    EXPECT_NE(err.str().find("No patient found.\n  "), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("the server asked for a client certificate"), std::string::npos)
        << err.str();
    EXPECT_NE(err.str().find("(1 attempt)"), std::string::npos) << "the TLS failure is told";
}

}  // namespace
}  // namespace trellybridge
