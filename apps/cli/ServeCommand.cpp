// trellybridge serve: the practice system as a read-only FHIR R4 API.
#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdlib>
#include <ostream>

#include "Cli.h"
#include "CliSupport.h"
#include "Commands.h"
#include "FhirApi.h"
#include "FrontModule.h"
#include "platform/FileSystem.h"

namespace trellybridge::cli {
namespace {

constexpr char kDefaultAccountSystem[] = "urn:trellybridge:account";
// The most a fixed Bundle (the measuring floor) may hold.
constexpr std::size_t kMaxFixedBundleBytes = std::size_t{1024} * 1024;

// The site's settings, complete but for PatientID, which each request brings. A service
// writes no debug log (it holds patient data) and shows no settings pages unless the
// site's file says so.
GetPatientArguments siteSettings(const ServeOptions& o) {
    GetPatientArguments site = settingsFrom(o.configFile, o.settings);
    if (!site.PatientID.isEmptyText())
        throw UsageError{"PatientID comes with each request: leave it out of the site's settings"};
    for (Variant* quiet : {&site.DisplayDebugger, &site.DisplayProperties})
        if (quiet->isEmptyText()) *quiet = "false";
    site.PatientID = "0";
    completeSettings(site, false);
    site.PatientID = Variant();
    return site;
}

std::string accountSystem(const ServeOptions& o) {
    std::string system = o.fhirAccountSystem;
    if (system.empty())
        if (const char* site = std::getenv("TRELLYBRIDGE_FHIR_ACCOUNT_SYSTEM")) system = site;
    if (system.empty()) system = kDefaultAccountSystem;
    if (std::string problem = TrellyBridgeComm::fhirSystemProblem(system); !problem.empty())
        throw UsageError{escapeControls(problem)};
    return system;
}

std::size_t positive(int value, const char* option) {
    if (value < 1) throw UsageError{std::string(option) + " must be 1 or more"};
    return static_cast<std::size_t>(value);
}

platform::server::FrontOptions frontOptions(const ServeOptions& o) {
    platform::server::FrontOptions f;
    f.listenAddress = o.listen;
    if (o.port < 0 || o.port > 65535) throw UsageError{"--port must be from 0 to 65535"};
    f.port = static_cast<std::uint16_t>(o.port);
    f.plainHttp = o.insecureLoopback;
    f.certificateFile = o.certificate;
    f.keyFile = o.key;
    f.clientAuthorityFile = o.clientAuthority;
    f.clientSubjects = o.clientSubjects;
    f.tokensFile = o.tokens;
    f.auditLogFile = o.auditLog;
    f.auditKeyFile = o.auditKey;
    f.maxConnections = positive(o.maxConnections, "--max-connections");
    // Besides the requests at the vendor and in line for it, workers free for the
    // answers that need no vendor (metadata, refusals).
    f.workers =
        positive(o.maxVendorRequests, "--max-vendor-requests") + positive(o.queue, "--queue") + 4;
    f.pendingRequests = 2 * f.workers;
    f.limits.maxHeadBytes = positive(o.maxHeaderBytes, "--max-header-bytes");
    f.limits.maxBodyBytes = static_cast<std::size_t>(std::max(0, o.maxBodyBytes));
    f.timeouts.requestSeconds = static_cast<int>(positive(o.requestTimeout, "--request-timeout"));
    f.timeouts.idleSeconds = static_cast<int>(positive(o.idleTimeout, "--idle-timeout"));
    f.timeouts.sendSeconds = static_cast<int>(positive(o.sendTimeout, "--send-timeout"));
    return f;
}

fhirserver::ApiSettings apiSettings(const ServeOptions& o, GetPatientArguments site) {
    fhirserver::ApiSettings a;
    a.site = std::move(site);
    a.accountSystem = accountSystem(o);
    if (!(o.deadline >= 1 && o.deadline <= 600))
        throw UsageError{"--deadline must be from 1 to 600 seconds"};
    a.deadline = std::chrono::milliseconds(static_cast<long long>(o.deadline * 1000));
    a.vendorRequests = positive(o.maxVendorRequests, "--max-vendor-requests");
    a.waiting = positive(o.queue, "--queue");
    a.tokens = !o.tokens.empty();
    a.certificates = !o.clientAuthority.empty() && !o.insecureLoopback;
    if (!o.fixedBundle.empty()) {
        fs::RegularFileRead file = fs::readRegularFile(o.fixedBundle, kMaxFixedBundleBytes);
        if (!file) throw UsageError{"--fixed-bundle " + o.fixedBundle + ": " + file.reason};
        a.fixedBundle = std::move(*file.content);
    }
    return a;
}

int check(const ServeOptions& o, platform::server::FrontOptions front, std::ostream& out,
          std::ostream& err) {
    fhirserver::FrontModuleCall call;
    call.action = fhirserver::FrontModuleCall::Action::Check;
    call.options = std::move(front);
    std::string error;
    if (!fhirserver::callFrontModule(call, error)) call.problems = {error};
    for (const std::string& problem : call.problems)
        err << "trellybridge serve: " << escapeControls(problem) << "\n";
    if (!call.problems.empty()) return kUsage;
    out << "trellybridge serve: the configuration can serve"
        << (o.insecureLoopback ? " (plain HTTP on loopback)" : "") << "\n";
    return 0;
}

}  // namespace

void addServeOptions(CLI::App& c, ServeOptions& o) {
    c.add_option_function<std::string>(
        "--config", [&o](const std::string& file) { o.configFile = file; },
        "The site's bridge settings: a file of NAME=VALUE lines, as get-patient --config reads");
    c.add_option("--set", o.settings, "One bridge setting, NAME=VALUE (repeatable)")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    c.add_option("--listen", o.listen, "The address to listen on (default 127.0.0.1)");
    c.add_option("--port", o.port, "The port to listen on (default 8443; 0 picks a free one)");
    c.add_option("--certificate", o.certificate, "The server's certificate chain (PEM)");
    c.add_option("--key", o.key, "Its private key (PEM, no passphrase, not readable by others)");
    c.add_option("--tokens", o.tokens,
                 "Bearer tokens: NAME TOKEN lines, mode 0600, owned by the service's account");
    c.add_option("--client-ca", o.clientAuthority,
                 "Accept client certificates from this authority (PEM)");
    c.add_option("--client-subject", o.clientSubjects,
                 "With --client-ca: only this subject (RFC 2253, repeatable)")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    c.add_flag("--insecure-loopback", o.insecureLoopback,
               "Plain HTTP instead of TLS, on a loopback address only");
    c.add_option("--audit-log", o.auditLog, "Append the audit lines here (default: stderr)");
    c.add_option("--audit-key", o.auditKey,
                 "The key of the identifier hash in the audit lines (mode 0600; default: new "
                 "each run)");
    c.add_option("--max-vendor-requests", o.maxVendorRequests,
                 "Vendor requests at once (default 4)");
    c.add_option("--queue", o.queue, "Requests waiting for the vendor; 503 beyond (default 16)");
    c.add_option("--deadline", o.deadline,
                 "Seconds from a request's arrival to its answer (default 30; 504 after)");
    c.add_option("--max-connections", o.maxConnections,
                 "Open connections; the longest idle one makes room beyond (default 1000)");
    c.add_option("--request-timeout", o.requestTimeout,
                 "Seconds for the TLS handshake and for each request to arrive (default 10)");
    c.add_option("--idle-timeout", o.idleTimeout,
                 "Seconds a kept-alive connection may wait for its next request (default 15)");
    c.add_option("--send-timeout", o.sendTimeout,
                 "Seconds for each answer to be taken by the client (default 30)");
    c.add_option("--max-header-bytes", o.maxHeaderBytes,
                 "The most a request line and headers may hold (default 16384; 431 beyond)");
    c.add_option("--max-body-bytes", o.maxBodyBytes,
                 "The most a request body may hold (default 8192; 413 beyond)");
    c.add_option("--fhir-account-system", o.fhirAccountSystem,
                 "The system of the account number identifier (default: "
                 "TRELLYBRIDGE_FHIR_ACCOUNT_SYSTEM, else urn:trellybridge:account)");
    c.add_flag("--check", o.check,
               "Check the settings, certificates, key, tokens and audit files, then exit: 0 "
               "when they can serve, 2 with the reasons");
    // The service with a fixed patient and no vendor: the floor of its load figures.
    c.add_option("--fixed-bundle", o.fixedBundle)->group("");
    c.footer(
        "Serves GET /metadata, /Patient?identifier=, /Patient?family=&given=&birthdate= (TCPIP\n"
        "and SERIAL bridges), /Patient/{id} and /Patient/{id}/$everything. Ends on SIGINT or\n"
        "SIGTERM after the requests under way; SIGHUP rereads the tokens and reopens the\n"
        "audit log. Exit status: 0 stopped, 2 configuration error.");
}

int serve(const ServeOptions& o, std::ostream& out, std::ostream& err) {
    // Before any thread starts: the signals are waited for, never delivered.
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : {SIGHUP, SIGINT, SIGTERM}) sigaddset(&signals, signal);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    GetPatientArguments site = siteSettings(o);
    platform::server::FrontOptions front = frontOptions(o);
    fhirserver::ApiSettings settings = apiSettings(o, std::move(site));
    if (o.check) return check(o, std::move(front), out, err);

    std::string bridge = settings.site.NetworkBridgeType.toText();
    std::string format = settings.site.VendorFormatType.toText();
    std::size_t vendorRequests = settings.vendorRequests;
    fhirserver::FhirApi api(std::move(settings));
    fhirserver::FrontModuleCall call;
    call.action = fhirserver::FrontModuleCall::Action::Make;
    call.options = front;
    call.handler = [&api](const platform::server::Request& r) { return api.answer(r); };
    call.refusal = fhirserver::refusal;
    std::string error;
    if (!fhirserver::callFrontModule(call, error) || !call.frontEnd->start(error)) {
        err << "trellybridge serve: " << escapeControls(error) << "\n";
        return kUsage;
    }
    out << "trellybridge serve: FHIR R4 at " << (o.insecureLoopback ? "http" : "https") << "://"
        << (front.listenAddress.find(':') != std::string::npos ? "[" + front.listenAddress + "]"
                                                               : front.listenAddress)
        << ":" << call.frontEnd->port() << "/ for the " << bridge << " vendor in " << format << ", "
        << vendorRequests << " vendor requests at once" << std::endl;
    call.frontEnd->serveUntilStopped();
    return 0;
}

}  // namespace trellybridge::cli
