// trellybridge vendor-sim --https: the vendor's web service on loopback.
#include <CLI/CLI.hpp>
#include <ostream>

#include "CliSupport.h"
#include "Commands.h"
#include "SimulatorOptions.h"
#include "WebService.h"

namespace trellybridge::cli {
namespace {

vendorsim::WebServiceOptions webServiceOptions(const VendorSimOptions& o) {
    vendorsim::WebServiceOptions w;
    w.format = formatOption(o.format);
    if (!vendorsim::parseWebFault(o.fault, w.fault))
        throw UsageError{"--fault " + o.fault +
                         ": with --https one of silent, slow, wrong-certificate, redirect, "
                         "error-page, empty, cut"};
    if (o.ports.size() > 1) throw UsageError{"--https serves on one --port"};
    if (!o.ports.empty()) w.port = portOption(o.ports[0]);
    w.listenAddress = o.listen;
    w.organization = o.organization;
    w.serverCertificate = o.httpsCertificate;
    w.serverKey = o.httpsKey;
    w.clientAuthority = o.httpsClientAuthority;
    w.patients = patientsOption(o.patientsFile, std::move(w.patients));
    return w;
}

}  // namespace

void addWebServiceOptions(CLI::App& c, VendorSimOptions& o) {
    c.add_flag("--https", o.https,
               "Serve the web service (HTTPS, client certificate required) instead of TCP");
    c.add_option("--organization", o.organization,
                 "With --https: the only orgid the service knows (default: any)");
    c.add_option("--https-cert", o.httpsCertificate,
                 "With --https: the server certificate (PEM); default: made at start");
    c.add_option("--https-key", o.httpsKey, "With --https: the server certificate's key (PEM)");
    c.add_option("--https-client-ca", o.httpsClientAuthority,
                 "With --https: the authority client certificates must come from (PEM)");
}

int webServiceSim(const VendorSimOptions& o, std::ostream& out, std::ostream& err,
                  void (*wait)(double runFor)) {
    std::string error;
    std::unique_ptr<vendorsim::WebService> service = vendorsim::loadWebService(
        webServiceOptions(o), [&out](const std::string& line) { out << line << std::endl; }, error);
    if (!service || !service->start(error)) {
        err << "trellybridge vendor-sim: " << error << "\n";
        return 1;
    }
    const vendorsim::ClientFiles& files = service->clientFiles();
    out << "Set NetworkBridgeType=HTTPS VendorApplicationPath=" << service->baseAddress()
        << " VendorRequestPath=patient.asp";
    out << "\nand, in the environment of the client:\n";
    if (!files.certificate.empty()) {
        out << "  TRELLYBRIDGE_CA_FILE=" << files.authority << "\n"
            << "  TRELLYBRIDGE_CLIENT_CERT=" << files.certificate << "\n"
            << "  TRELLYBRIDGE_CLIENT_KEY=" << files.key << "\n"
            << "  (or TRELLYBRIDGE_CLIENT_CERT=" << files.pkcs12 << ", PKCS#12, no key file)\n";
    } else {
        out << "  TRELLYBRIDGE_CA_FILE, TRELLYBRIDGE_CLIENT_CERT and TRELLYBRIDGE_CLIENT_KEY "
               "naming files that match the certificates given\n";
    }
    out << std::flush;
    wait(o.runFor);
    service->stop();
    return 0;
}

}  // namespace trellybridge::cli
