// GetPatient over HTTPS against the simulated web service on loopback, with an
// authority, server and client certificates made at test time. The run loop ticks on the
// virtual clock; each call waits in real time, bounded by the settings.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>

#include "SampleRequest.h"
#include "WebServiceSimulator.h"
#include "common/FailureNote.h"
#include "platform/EventLoop.h"
#include "platform/FileSystem.h"
#include "platform/peer/Certificates.h"
#include "session/ProgressWindow.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

using vendorsim::Format;
using vendorsim::WebFault;
using vendorsim::WebServiceOptions;
using vendorsim::WebServiceSimulator;

constexpr const char* kCertificateVariables[] = {"TRELLYBRIDGE_CA_FILE", "TRELLYBRIDGE_CLIENT_CERT",
                                                 "TRELLYBRIDGE_CLIENT_KEY",
                                                 "TRELLYBRIDGE_CLIENT_KEY_PASSWORD_FILE"};

std::string story() {
    std::string all;
    for (const std::string& line : testing::threadRequest().failures.story()) all += line + "\n";
    return all;
}

class HttpsBridgeTest : public testing::RequestFixture {
protected:
    void SetUp() override {
        TestEnvironment::SetUp();
        for (const char* proxy :
             {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            ::unsetenv(proxy);
        ::setenv("NO_PROXY", "*", 1);
        ::setenv("no_proxy", "*", 1);
        a = vendorsim::sampleRequest("12345", "HTTPS", "XML");
        a.HTTPSOrganizationID = "ORG1";
        a.VendorRequestPath = "p.asp";
        a.AllowedRetries = "0";
    }
    void TearDown() override {
        for (const char* variable : kCertificateVariables) ::unsetenv(variable);
        service.reset();
        TestEnvironment::TearDown();
    }
    // Starts the service and gives the client what it needs to trust and be trusted.
    WebServiceSimulator& serve(WebServiceOptions options = {}) {
        service = std::make_unique<WebServiceSimulator>(std::move(options));
        std::string error;
        EXPECT_TRUE(service->start(error)) << error;
        const vendorsim::ClientFiles& files = service->clientFiles();
        ::setenv("TRELLYBRIDGE_CA_FILE", files.authority.c_str(), 1);
        ::setenv("TRELLYBRIDGE_CLIENT_CERT", files.certificate.c_str(), 1);
        ::setenv("TRELLYBRIDGE_CLIENT_KEY", files.key.c_str(), 1);
        a.VendorApplicationPath = service->baseAddress() + "svc";
        return *service;
    }
    int requestCount() const { return static_cast<int>(service->requests().size()); }

    std::unique_ptr<WebServiceSimulator> service;
};

TEST_F(HttpsBridgeTest, PostsEveryFieldFormEncodedToTheJoinedAddress) {
    WebServiceSimulator& web = serve();
    a.PatientID = "1&orgid=X y";
    EXPECT_FALSE(fetch());
    ASSERT_EQ(requestCount(), 1);
    peer::HttpsRequest sent = web.requests()[0];
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.path, "/svcp.asp");
    EXPECT_EQ(sent.query, "") << "nothing travels in the address";
    auto pragma = sent.headers.find("Pragma");
    ASSERT_NE(pragma, sent.headers.end());
    EXPECT_EQ(pragma->second, "no-cache");
    EXPECT_EQ(sent.fields.count("orgid"), 1u);
    EXPECT_EQ(sent.fields.find("orgid")->second, "ORG1");
    EXPECT_EQ(sent.fields.find("pid")->second, "1&orgid=X y");
}

TEST_F(HttpsBridgeTest, ErrorElementsAreRecognisedInAnyCaseAndEachIsExamined) {
    const struct {
        const char* name;
        std::string answer;
        std::vector<std::string> reasons;  // in the failure notes and the progress log, in order
    } cases[] = {
        {"upper case without the period",
         "<ERROR>Invalid logon</ERROR>",
         {"error 201: VELQUIN Service: invalid logon"}},
        {"two elements",
         "<errors><error>The Orvel Velquin API is not available for this organization.</error>"
         "<Error> invalid or missing DIGITAL ID </Error></errors>",
         {"error 203: VELQUIN Service: invalid or missing vendor organization ID.",
          "error 202: VELQUIN Service: missing client certificate or incorrect organization ID"}},
        {"patient not found",
         "<error>Patient not found.</error>",
         {"error 204: VELQUIN Service: could not locate 12345 on vendor system."}},
        {"an error the service does not document",
         "<error>Try again later</error>",
         {"the web service reported an error: Try again later."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WebServiceOptions options;
        options.answer = c.answer;
        serve(options);
        toolkit->progressLines.clear();
        EXPECT_FALSE(fetch());
        std::vector<std::string> lines = testing::threadRequest().failures.story();
        ASSERT_EQ(lines.size(), c.reasons.size()) << story();
        for (size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i], c.reasons[i] + " (1 attempt)");
            std::string said = c.reasons[i].substr(c.reasons[i].find(": ") + 2);
            EXPECT_TRUE(toolkit->showedText(said.substr(0, said.find(':')))) << said;
        }
        // While an attempt runs the error list takes nothing, as hosts have always seen it.
        EXPECT_EQ(comm.get_ErrorCodes().toText().find("VELQUIN"), std::string::npos);
        comm.closeConnection();
    }
}

TEST_F(HttpsBridgeTest, AnsweredErrorsAreRetriedEveryNetworkTimeoutPlusOneTicks) {
    WebServiceOptions options;
    options.answer = "<error>Patient not found.</error>";
    serve(options);
    a.AllowedRetries = "2";
    a.NetworkTimeout = "5";
    EXPECT_FALSE(fetch());
    EXPECT_EQ(requestCount(), 3);
    EXPECT_EQ(toolkit->firstLogAt("Preparing to send HTTPS request to "), 0);
    EXPECT_EQ(toolkit->firstLogAt(" Attempt Number 1 of 2 to read patient stream..."), 6000);
    EXPECT_EQ(toolkit->firstLogAt(" Attempt Number 2 of 2 to read patient stream..."), 12000);
    EXPECT_EQ(session::progressWindow().engine().ticksRun, 18);
    EXPECT_EQ(testing::threadRequest().failures.text(),
              "VELQUIN Service: could not locate 12345 on vendor system. (3 attempts)");
}

// Credentials of this machine's own that cannot work are a settings error: the request ends
// at once, with no attempt after the first.
TEST_F(HttpsBridgeTest, OnlyAVerifiedServerAndAnAcceptedClientCertificateFindThePatient) {
    const struct {
        const char* name;
        const char* change;  // what differs from a trusted server and a plain client key
        const char* kind;    // the failure kind; empty: found
        const char* reason;
    } cases[] = {
        {"server from an authority the client does not trust", "stranger", "unreachable",
         "error 2: "},
        {"server certificate for another host", "elsewhere", "unreachable", "error 2: "},
        {"no client certificate", "no client", "unreachable",
         "the server asked for a client certificate"},
        {"client certificate as PKCS#12", "pkcs12", "", ""},
        {"both verified", "", "", ""},
        // Never a prompt on the terminal for a passphrase: the call fails at once.
        {"an encrypted key without its passphrase", "encrypted", "settings",
         "error 2: the client key is encrypted"},
        {"an encrypted key with its passphrase file", "passphrase 0600", "", ""},
        {"a passphrase file others can read", "passphrase 0644", "settings", "(mode 0600)"},
        {"a wrong passphrase", "passphrase wrong", "settings",
         "error 2: the client certificate or"},
        // Opening a FIFO would wait for a writer that never comes.
        {"a FIFO as the authorities", "TRELLYBRIDGE_CA_FILE", "settings",
         "error 2: TRELLYBRIDGE_CA_FILE"},
        {"a FIFO as the client certificate", "TRELLYBRIDGE_CLIENT_CERT", "settings",
         "not a regular file"},
        {"a device as the key", "TRELLYBRIDGE_CLIENT_KEY /dev/zero", "settings",
         "TRELLYBRIDGE_CLIENT_KEY /dev/zero: not a regular file"},
    };
    std::string error;
    auto stranger = peer::CertificateAuthority::make(root.string(), "stranger", error);
    ASSERT_TRUE(stranger) << error;
    std::string fifo = (root / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string passphrase = (root / "passphrase").string();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string change = c.change;
        WebServiceOptions options;
        if (change == "elsewhere") options.serverNames = {"elsewhere.invalid"};
        const vendorsim::ClientFiles& files = serve(options).clientFiles();
        if (change == "stranger")
            ::setenv("TRELLYBRIDGE_CA_FILE", stranger->certificateFile().c_str(), 1);
        if (change == "no client") ::unsetenv("TRELLYBRIDGE_CLIENT_CERT");
        if (change == "pkcs12") {
            ::setenv("TRELLYBRIDGE_CLIENT_CERT", files.pkcs12.c_str(), 1);
            ::unsetenv("TRELLYBRIDGE_CLIENT_KEY");
        }
        if (change == "encrypted" || change.starts_with("passphrase"))
            ::setenv("TRELLYBRIDGE_CLIENT_KEY", files.encryptedKey.c_str(), 1);
        ::unsetenv("TRELLYBRIDGE_CLIENT_KEY_PASSWORD_FILE");
        if (change.starts_with("passphrase")) {
            ASSERT_TRUE(fs::writeFileAtomically(
                passphrase, (change.ends_with("wrong") ? "wrong" : files.passphrase) + "\n",
                change.ends_with("0644") ? 0644 : 0600, fs::ExistingMode::Replace));
            ::setenv("TRELLYBRIDGE_CLIENT_KEY_PASSWORD_FILE", passphrase.c_str(), 1);
        }
        if (change.starts_with("TRELLYBRIDGE_")) {
            size_t space = change.find(' ');
            ::setenv(change.substr(0, space).c_str(),
                     space == std::string::npos ? fifo.c_str() : change.c_str() + space + 1, 1);
        }
        testing::threadRequest().failures.clear();
        EXPECT_EQ(fetch(), *c.kind == '\0') << story();
        EXPECT_EQ(comm.get_FailureKind(), Variant(c.kind));
        if (*c.kind) {
            EXPECT_NE(story().find(c.reason), std::string::npos) << story();
            EXPECT_EQ(comm.get_p1PatientLastName(), Variant(""));
        }
        if (std::string(c.kind) == "settings") {
            EXPECT_EQ(session::progressWindow().engine().ticksRun, 0) << "ended at once";
        }
        comm.closeConnection();
    }
}

TEST_F(HttpsBridgeTest, EveryFaultIsAFailedAttemptWithinTheCallBound) {
    const struct {
        const char* name;
        WebFault fault;
        const char* reason;  // part of the failure note
        int requests = 1;    // how many reached the service
        const char* maxAnswerBytes = nullptr;
    } cases[] = {
        {"a redirect", WebFault::Redirect,
         "error 25: the web service redirected (HTTP status 302)"},
        {"a silent service", WebFault::Silent, "error 20: "},
        {"a trickling answer", WebFault::Slow, "error 20: "},
        {"a certificate from an unknown authority", WebFault::WrongCertificate,
         "error 2: the server's certificate is not trusted here (name its authority in "
         "TRELLYBRIDGE_CA_FILE): ",
         0},
        {"an error page", WebFault::ErrorPage, "error 2: the web service answered HTTP status 500"},
        {"an empty body", WebFault::EmptyBody, "answered with an empty body"},
        {"a connection reset mid-body", WebFault::CutShort,
         "error 2: the answer was cut off after"},
        {"an answer past the limit", WebFault::None,
         "error 2: the answer is larger than 1024 bytes", 1, "1024"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WebServiceOptions options;
        options.fault = c.fault;
        serve(options);
        testing::threadRequest().failures.clear();
        if (c.maxAnswerBytes) ::setenv("TRELLYBRIDGE_MAX_ANSWER_BYTES", c.maxAnswerBytes, 1);
        auto started = std::chrono::steady_clock::now();
        EXPECT_FALSE(fetch());
        ::unsetenv("TRELLYBRIDGE_MAX_ANSWER_BYTES");
        // Guards a hang only: each fault ends within the 1 s network time-out.
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
        EXPECT_NE(story().find(c.reason), std::string::npos) << story();
        EXPECT_TRUE(toolkit->showedText(testing::threadRequest().failures.text().substr(0, 20)))
            << "in the progress log";
        EXPECT_EQ(requestCount(), c.requests);
        comm.closeConnection();
    }
}

TEST_F(HttpsBridgeTest, AnswerThatEndsTheSessionAtLoadLeavesNoTimerCallingTheService) {
    WebServiceOptions options;
    options.answer = "THIS IS NOT A PATIENT";
    serve(options);
    a.AllowedRetries = "2";
    EXPECT_FALSE(fetch());
    EXPECT_TRUE(toolkit->showedText("  THIS IS NOT A PATIENT"));
    EXPECT_FALSE(session::progressWindow().engine().NetworkTimer.enabled());
    for (int turn = 0; turn < 5; ++turn) ui::EventLoop::current().runOnce(0);
    EXPECT_EQ(requestCount(), 1);
}

TEST_F(HttpsBridgeTest, FindsThePatientWithTheSettingsPagesDefaults) {
    WebServiceOptions options;
    options.format = Format::Standard;
    serve(options);
    GetPatientArguments site = testing::pageDefaultArguments();
    site.PatientID = "12345";
    site.NetworkBridgeType = "HTTPS";
    site.VendorApplicationPath = service->baseAddress();
    site.VendorRequestPath = "patient.asp";
    EXPECT_TRUE(comm.GetPatient(site).isTrue()) << story();
    EXPECT_EQ(comm.get_p1PatientLastName(), Variant("DOE"));
    EXPECT_EQ(comm.get_i2InsuredCompanyName(), Variant("HEARTLAND MUTUAL"));
    EXPECT_EQ(session::progressWindow().engine().ticksRun, 0) << "found at load, before any tick";
    ASSERT_EQ(requestCount(), 1);
    EXPECT_EQ(service->requests()[0].body,
              "orgid=&pid=12345&logon=orvel&password=kxv482&format=orvel")
        << "an organisation never set is sent empty";
    std::string debugLog = readDriveCFile("BRIDGEDEBUG.log");  // the debugger is on by default
    EXPECT_NE(debugLog.find("password=********"), std::string::npos) << debugLog;
    EXPECT_EQ(debugLog.find("kxv482"), std::string::npos) << "the password is masked";
}

}  // namespace
}  // namespace trellybridge
