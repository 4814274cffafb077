// The subcommands of trellybridge besides get-patient.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace trellybridge::cli {

struct VendorSimOptions {
    std::string format = "HL7";
    std::vector<int> ports;
    std::string listen = "127.0.0.1";
    std::string fault = "none";
    std::vector<int> faultPorts;
    int delayMs = 2000;
    int endCode = -1;
    std::string patientsFile;
    std::vector<std::string> polling;  // REQUEST RESULTS
    std::string foldersDir;
    bool answerOnce = false;
    std::string request, account, results;
    double runFor = 0;  // seconds; 0 runs until interrupted
    bool serial = false;
    bool mllp = false;  // strict MLLP over TCP
    // The web service (HTTPS) instead of TCP.
    bool https = false;
    std::string organization;
    std::string httpsCertificate, httpsKey, httpsClientAuthority;
};
void addVendorSimOptions(CLI::App& command, VendorSimOptions& options);
int vendorSim(const VendorSimOptions& options, std::ostream& out, std::ostream& err);
// vendor-sim --https (WebServiceSimCommand.cpp): serves until `wait` returns.
void addWebServiceOptions(CLI::App& command, VendorSimOptions& options);
int webServiceSim(const VendorSimOptions& options, std::ostream& out, std::ostream& err,
                  void (*wait)(double runFor));

int demo(std::ostream& out, std::ostream& err, const std::string& ui = "headless");

struct ParseOptions {
    std::string format;
    std::optional<std::string> configFile;
    std::vector<std::string> settings;
    bool json = false;
    bool noDefaults = false;
    std::string output = "text";
    std::string fhirAccountSystem;
    std::string input;
};
int parseAnswer(const ParseOptions& options, std::ostream& out, std::ostream& err);

struct GetPatientDataOptions {
    std::string request = "-";  // a file, or - for standard input
    bool quiet = false;
};
int getPatientData(const GetPatientDataOptions& options, std::ostream& out, std::ostream& err);

struct ServeOptions {
    std::optional<std::string> configFile;
    std::vector<std::string> settings;
    std::string listen = "127.0.0.1";
    int port = 8443;
    std::string certificate, key, tokens, clientAuthority;
    std::vector<std::string> clientSubjects;
    bool insecureLoopback = false;
    std::string auditLog, auditKey;
    int maxVendorRequests = 4, queue = 16;
    double deadline = 30;  // seconds
    int maxConnections = 1000;
    int requestTimeout = 10, idleTimeout = 15, sendTimeout = 30;  // seconds
    int maxHeaderBytes = 16 * 1024, maxBodyBytes = 8 * 1024;
    std::string fhirAccountSystem;
    bool check = false;
    std::string fixedBundle;
};
// trellybridge serve (ServeCommand.cpp): the FHIR R4 API, until SIGINT or SIGTERM.
void addServeOptions(CLI::App& command, ServeOptions& options);
int serve(const ServeOptions& options, std::ostream& out, std::ostream& err);

}  // namespace trellybridge::cli
