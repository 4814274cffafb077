// The parts of trellybridge serve that read what others send, each through its own seam:
// the framing of a request, the Patient ids, the API's reading of a request, the tokens
// file, a vendor's search result and failures. The service itself is tested as a whole,
// over TLS, by test_serve.py.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "ApiRequest.h"
#include "Bundles.h"
#include "Outcomes.h"
#include "PatientIds.h"
#include "SearchResults.h"
#include "VendorQueries.h"
#include "platform/server/BearerTokens.h"
#include "platform/server/RequestFraming.h"

namespace trellybridge::fhirserver {
namespace {

using platform::server::Framing;
using State = Framing::State;

TEST(ServeFraming, OneRequestWithinItsLimits) {
    const std::string get = "GET /metadata HTTP/1.1\r\nHost: a\r\n\r\n";
    const std::string body = "GET / HTTP/1.1\r\nContent-Length: 2\r\n\r\nab";
    std::string many = "GET /Patient?";
    for (int i = 0; i < 101; ++i) many += "p=1&";
    many += " HTTP/1.1\r\n\r\n";
    std::string headers = "GET / HTTP/1.1\r\n";
    for (int i = 0; i < 101; ++i) headers += "A: b\r\n";
    headers += "\r\n";
    const struct {
        std::string input;
        State state;
        int status;            // when refused
        std::size_t consumed;  // when complete
    } rows[] = {
        {get, State::Complete, 0, get.size()},
        {"\r\n\r\n" + get, State::Complete, 0, get.size() + 4},
        {get + get, State::Complete, 0, get.size()},
        {"GET /metadata HTTP/1.1\r\nHost: a\r\n", State::Incomplete, 0, 0},
        {"GET /metadata HTTP/1.1\r\nX: " + std::string(17000, 'a'), State::Refused, 431, 0},
        {"GET /" + std::string(9000, 'a'), State::Refused, 414, 0},
        {many, State::Refused, 400, 0},
        {headers, State::Refused, 431, 0},
        {"GET /metadata HTTP/2.0\r\n\r\n", State::Refused, 400, 0},
        {"GET http://a/metadata HTTP/1.1\r\n\r\n", State::Refused, 400, 0},
        {"GET /a b HTTP/1.1\r\n\r\n", State::Refused, 400, 0},
        {"GET / HTTP/1.1\r\n folded\r\n\r\n", State::Refused, 400, 0},
        {"GET / HTTP/1.1\r\nA: b\x01\r\n\r\n", State::Refused, 400, 0},
        {"GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", State::Refused, 400, 0},
        {"GET / HTTP/1.1\r\nContent-Length: 9000\r\n\r\n", State::Refused, 413, 0},
        {"GET / HTTP/1.1\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nab", State::Refused, 400,
         0},
        {"GET / HTTP/1.1\r\nContent-Length: -1\r\n\r\n", State::Refused, 400, 0},
        {"GET / HTTP/1.1\r\nContent-Length: 4\r\n\r\nab", State::Incomplete, 0, 0},
        {body + "GET", State::Complete, 0, body.size()},
    };
    for (const auto& row : rows) {
        Framing framing = platform::server::frameRequest(row.input, {});
        SCOPED_TRACE(row.input.substr(0, 60));
        EXPECT_EQ(framing.state, row.state) << framing.reason;
        EXPECT_EQ(framing.status, row.status);
        EXPECT_EQ(framing.consumed, row.consumed);
    }
    // Headers the service never honours are not handed on.
    Framing dropped = platform::server::frameRequest(
        "GET / HTTP/1.1\r\nRange: bytes=0-,0-\r\nA: b\r\nexpect: 100-continue\r\n\r\n", {});
    EXPECT_EQ(dropped.request, "GET / HTTP/1.1\r\nA: b\r\n\r\n");
}

TEST(ServePatientIds, AccountNumbersAndIdsTurnIntoEachOther) {
    const std::pair<const char*, const char*> rows[] = {
        {"12345", "12345"}, {"ABC-1001", "ABC-1001"}, {"A_7", "A.5F7"},
        {"A.1", "A.2E1"},   {"x*#", "x.2A.23"},       {"..1", ".2E.2E1"},
    };
    for (const auto& [account, id] : rows) {
        EXPECT_EQ(accountProblem(account), "") << account;
        EXPECT_EQ(idOfAccount(account), id);
        EXPECT_EQ(accountOfId(id), account);
    }
    EXPECT_EQ(idOfAccount(std::string(40, '_')), std::nullopt);  // 120 characters as an id
    for (const char* id :
         {"", "..", ".2F", ".41", "a.4", ".2e", ".2E", ".7C1", ".201", "a b", "12345\n"})
        EXPECT_EQ(accountOfId(id), std::nullopt) << id;
    EXPECT_EQ(accountOfId(std::string(65, '1')), std::nullopt);
    for (const char* account :
         {"", "1|2", "1^2", "a b", "<1>", "1&2", "a/b", "1\x7F", "...", "\xE9"})
        EXPECT_NE(accountProblem(account), "") << account;
}

TEST(ServeApiRequest, EachRequestIsReadOrRefused) {
    using Kind = ApiRequest::Kind;
    const std::string system = "urn:trellybridge:account";
    const struct {
        const char* method;
        const char* path;
        std::vector<std::pair<std::string, std::string>> parameters;
        const char* accept;
        Kind kind;
        int status;
        const char* value;  // the account, SSN or family name read
    } rows[] = {
        {"GET", "/metadata", {}, "", Kind::Metadata, 0, ""},
        {"HEAD", "/metadata", {{"_format", "json"}}, "*/*", Kind::Metadata, 0, ""},
        {"POST", "/metadata", {}, "", Kind::Refused, 405, ""},
        {"GET", "/metadata", {{"x", "1"}}, "", Kind::Refused, 400, ""},
        {"GET", "/metadata", {}, "application/fhir+xml", Kind::Refused, 406, ""},
        {"GET", "/metadata", {{"_format", "xml"}}, "", Kind::Refused, 406, ""},
        {"GET", "/Patient/12345", {}, "application/fhir+json", Kind::Read, 0, "12345"},
        {"GET", "/Patient/A.5F7/$everything", {}, "", Kind::Everything, 0, "A_7"},
        {"GET", "/Patient/$everything", {}, "", Kind::Refused, 404, ""},
        {"GET", "/Patient/12345", {{"_count", "1"}}, "", Kind::Refused, 400, ""},
        {"GET", "/Observation/1", {}, "", Kind::Refused, 404, ""},
        {"GET",
         "/Patient",
         {{"identifier", "12345"}, {"_count", "5"}},
         "",
         Kind::SearchAccount,
         0,
         "12345"},
        {"GET", "/Patient", {{"identifier", system + "|A-1"}}, "", Kind::SearchAccount, 0, "A-1"},
        {"GET",
         "/Patient",
         {{"identifier", std::string(kSsnSystem) + "|123-45-6789"}},
         "",
         Kind::SearchSsn,
         0,
         "123456789"},
        {"GET",
         "/Patient",
         {{"identifier", std::string(kSsnSystem) + "|12345"}},
         "",
         Kind::Refused,
         400,
         ""},
        {"GET", "/Patient", {{"identifier", "|12345"}}, "", Kind::Refused, 400, ""},
        {"GET", "/Patient", {{"identifier", "urn:other|12345"}}, "", Kind::Refused, 400, ""},
        {"GET",
         "/Patient",
         {{"identifier", "12345"}, {"family", "DOE"}},
         "",
         Kind::Refused,
         400,
         ""},
        {"GET",
         "/Patient",
         {{"family", "M\xC3\xBCller-Smith"}},
         "",
         Kind::SearchName,
         0,
         "M\xFCller-Smith"},
        {"GET",
         "/Patient",
         {{"family", "doe"}, {"birthdate", "eq1960-01-01"}},
         "",
         Kind::SearchName,
         0,
         "doe"},
        {"GET", "/Patient", {{"given", "Jo"}}, "", Kind::SearchName, 0, ""},
        {"GET", "/Patient", {{"birthdate", "1960-01-01"}}, "", Kind::Refused, 400, ""},
        {"GET",
         "/Patient",
         {{"family", "doe"}, {"birthdate", "1960-13-01"}},
         "",
         Kind::Refused,
         400,
         ""},
        {"GET", "/Patient", {{"family", "a<b"}}, "", Kind::Refused, 400, ""},
        {"GET", "/Patient", {{"family", "\xE2\x82\xAC"}}, "", Kind::Refused, 400, ""},
        {"GET", "/Patient", {{"family", "a"}, {"family", "b"}}, "", Kind::Refused, 400, ""},
        {"GET", "/Patient", {{"family:exact", "a"}}, "", Kind::Refused, 400, ""},
        {"GET", "/Patient", {{"name", "a"}}, "", Kind::Refused, 400, ""},
        {"GET", "/Patient", {{"family", ""}}, "", Kind::Refused, 400, ""},
        {"GET", "/Patient", {{"_count", "x"}, {"family", "a"}}, "", Kind::Refused, 400, ""},
        {"GET", "/Patient", {}, "", Kind::Refused, 400, ""},
    };
    for (const auto& row : rows) {
        platform::server::Request request;
        request.method = row.method;
        request.path = row.path;
        request.parameters = row.parameters;
        request.accept = row.accept;
        ApiRequest read = readApiRequest(request, system);
        SCOPED_TRACE(std::string(row.method) + " " + row.path);
        EXPECT_EQ(read.kind, row.kind) << read.why;
        EXPECT_EQ(read.status, row.status);
        EXPECT_EQ(read.account + read.ssn + read.family, row.value);
    }
}

TEST(ServeTokens, TheFileNamesEachTokenAndRefusesWeakOnes) {
    const std::string good = "0123456789abcdef0123456789abcdef";
    const struct {
        std::string text;
        std::size_t tokens;
        const char* problem;  // part of the first problem, "" for none
    } rows[] = {
        {"# who may read\n\norders " + good + "\r\nbilling  " + good + "x\n", 2, ""},
        {"orders short", 0, "must be 22 to 512"},
        {"orders " + good + " more", 0, "must be 22 to 512"},
        {"or ders " + good, 0, "must be 22 to 512"},
        {"ord/ers " + good, 0, "the name must be"},
        {"orders " + good + "\norders " + good + "x", 1, "given twice"},
        {"orders " + good + "\nbilling " + good, 1, "another name's token"},
        {"# nobody\n", 0, "holds no token"},
    };
    for (const auto& row : rows) {
        std::vector<std::string> problems;
        auto tokens = platform::server::BearerTokens::parse(row.text, problems);
        SCOPED_TRACE(row.text);
        EXPECT_EQ(tokens.size(), row.tokens);
        if (*row.problem)
            EXPECT_TRUE(!problems.empty() && problems[0].find(row.problem) != std::string::npos)
                << ::testing::PrintToString(problems);
        else
            EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
    }
    std::vector<std::string> problems;
    auto tokens = platform::server::BearerTokens::parse(rows[0].text, problems);
    EXPECT_EQ(tokens.nameOf(good), "orders");
    EXPECT_EQ(tokens.nameOf(good + "x"), "billing");
    for (const std::string& wrong : {std::string(), good.substr(1), good + "y", good + " "})
        EXPECT_EQ(tokens.nameOf(wrong), std::nullopt) << wrong;
}

TEST(ServeVendorAnswers, FailuresHaveTheirStatus) {
    const struct {
        const char* kind;
        const char* notes;
        bool fileBridge;
        int status;
    } rows[] = {
        {"not on file", "", false, 404},
        {"unreachable", "error 328: no answer from 127.0.0.1 port 9 (3 attempts)\n", false, 504},
        {"unreachable", "error 320: could not connect\nerror 20: timed out", false, 504},
        {"unreachable", "error 328: no answer\nerror 320: could not connect", false, 502},
        {"unreachable", "could not read results file a.dat: No such file", true, 504},
        {"unreachable", "could not read results file a.dat: No such file", false, 502},
        {"refused", "error 102: AR", false, 502},
        {"unreadable", "", true, 502},
        {"incomplete", "error 327: cut", false, 502},
        {"settings", "", false, 500},
    };
    for (const auto& row : rows) {
        VendorAnswer answer;
        answer.failureKind = row.kind;
        answer.failureNotes = row.notes;
        platform::server::Response response = failureResponse(answer, row.fileBridge);
        EXPECT_EQ(response.status, row.status) << row.kind << " " << row.notes;
        EXPECT_EQ(nlohmann::json::parse(response.body)["resourceType"], "OperationOutcome");
        EXPECT_FALSE(response.outcome.empty());
    }
}

TEST(ServeSearch, TheVendorsListBecomesPatientsAndTheRequestCarriesTheSettings) {
    std::size_t listed = 0;
    std::vector<ListedPatient> patients = listedPatients(
        "<Result><RecordCount>3</RecordCount><Patient><PatientID>12345</PatientID><LastName>"
        "O&apos;NEIL</LastName><lastname>x</LASTNAME><BirthDate>19600101</BirthDate></Patient>"
        "<patient kind=\"b\"><PatientID>A_7</PatientID><Empty/></patient><Patient>",
        1, listed);
    EXPECT_EQ(listed, 2u);
    ASSERT_EQ(patients.size(), 1u);
    EXPECT_EQ(patients[0].at("LastName"), "O'NEIL");
    EXPECT_EQ(patients[0].at("lastname"), "x");
    nlohmann::json bundle = nlohmann::json::parse(patientBundle(patients[0], "urn:example:mrn"));
    nlohmann::json patient = bundle["entry"][0]["resource"];
    EXPECT_EQ(patient["birthDate"], "1960-01-01");
    EXPECT_EQ(patient["identifier"][0]["system"], "urn:example:mrn");
    nlohmann::json alone = nlohmann::json::parse(patientAlone(bundle.dump(), "12345"));
    EXPECT_EQ(alone["id"], "12345");

    GetPatientArguments site = GetPatientArguments::withDefaults("TCPIP", "HL7");
    site.TCPRemoteHostName = "pm.example";
    ApiRequest search;
    search.kind = ApiRequest::Kind::SearchName;
    search.family = "DOE";
    std::string request = searchRequest(site, search);
    for (const char* part : {"<SearchOn>NAME</SearchOn><LastName>DOE</LastName>",
                             "<TCPRemoteHostName>pm.example</TCPRemoteHostName>",
                             "<VendorRequestTag><%DYNAMIC%></VendorRequestTag>",
                             "<Debug>true</Debug>", "<EOF>", "<BitsPerSecond>"})
        EXPECT_NE(request.find(part), std::string::npos) << part;
    EXPECT_EQ(request.find("PatientID"), std::string::npos);
    EXPECT_TRUE(bridgeSearches("tcpip") && bridgeSearches("SERIAL") && !bridgeSearches("HTTPS"));
}

}  // namespace
}  // namespace trellybridge::fhirserver
