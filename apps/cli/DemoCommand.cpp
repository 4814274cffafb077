// trellybridge demo: fetches sample patients from the built-in vendor simulator over
// TCP/IP (HL7 and STANDARD), through shared folders, over a serial line (a
// pseudo-terminal) and from the web service (HTTPS), searches one by name, and shows
// what came back.
#include <chrono>
#include <iomanip>
#include <ostream>

#include "CliSupport.h"
#include "Commands.h"
#include "DemoWebService.h"
#include "SampleRequest.h"
#include "VendorSimulator.h"
#include "common/XmlHelpers.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/SettingsStore.h"
#include "platform/Toolkit.h"

namespace trellybridge::cli {
namespace {

struct Fetch {
    const char* title;
    GetPatientArguments settings;
};

// The simulator's sample request, as the demo's site has it set up.
GetPatientArguments demoRequest(const std::string& account, const char* bridge, const char* format,
                                int port = 0) {
    GetPatientArguments a = vendorsim::sampleRequest(account, bridge, format, port);
    a.VendorFacility = "DEMO";
    a.TimeDelay = "100";
    // What waits, at once: the log shows a serial answer in a few pieces.
    if (std::string_view(bridge) == "SERIAL") a.InputLength = "0";
    return a;
}

void show(const TrellyBridgeComm& c, std::ostream& out) {
    auto text = [&c](ResultProperty p) { return toUtf8(escapeControls(c.property(p).toText())); };
    using P = ResultProperty;
    out << "    patient    " << text(P::p1PatientLastName) << ", " << text(P::p1PatientFirstName)
        << " " << text(P::p1PatientMiddleInitial) << "  (account " << text(P::p1PatientUniqueID)
        << ", born " << text(P::p1PatientDOB) << ", " << text(P::p1PatientGender) << ")\n";
    out << "    address    " << text(P::p1PatientAddress1) << ", " << text(P::p1PatientCity) << " "
        << text(P::p1PatientState) << " " << text(P::p1PatientPostal) << "\n";
    if (!c.property(P::p2UsualProvider).isEmptyText())
        out << "    physician  " << text(P::p2UsualProvider) << "\n";
    if (!c.property(P::g1GuarantorLastName).isEmptyText())
        out << "    guarantor  " << text(P::g1GuarantorLastName) << ", "
            << text(P::g1GuarantorFirstName) << "\n";
    const P companies[] = {P::i1InsuredCompanyName, P::i2InsuredCompanyName,
                           P::i3InsuredCompanyName};
    const P policies[] = {P::i1InsuredPolicyNumber, P::i2InsuredPolicyNumber,
                          P::i3InsuredPolicyNumber};
    for (int i = 0; i < 3; ++i)
        if (!c.property(companies[i]).isEmptyText())
            out << "    insurance  " << text(companies[i]) << " (policy " << text(policies[i])
                << ")\n";
}

constexpr int kDemoComPort = 9;

// TRELLYBRIDGE_COM<N> names the device while the demo runs, as it would at a site.
class ComPortVariable {
public:
    ComPortVariable(int port, const std::string& device)
        : name_("TRELLYBRIDGE_COM" + std::to_string(port)),
          previous_(process::setEnvironment(name_, device)) {}
    ~ComPortVariable() { process::setEnvironment(name_, previous_); }
    ComPortVariable(const ComPortVariable&) = delete;
    ComPortVariable& operator=(const ComPortVariable&) = delete;

private:
    std::string name_;
    std::optional<std::string> previous_;
};

// GetPatientData: a search by last name over TCP/IP, and the patients it lists.
bool searchByName(std::uint16_t port, const std::string& lastName, std::ostream& out) {
    std::string request =
        "<SearchInfo><SearchOn>NAME</SearchOn><LastName>" + lastName +
        "</LastName></SearchInfo><BridgeParameters><NetworkBridgeType>TCPIP</NetworkBridgeType>"
        "<TCPRemoteHostName>127.0.0.1</TCPRemoteHostName><TCPRemotePorts>" +
        std::to_string(port) +
        "</TCPRemotePorts><AllowedRetries>2</AllowedRetries><SerialTimeout>1</SerialTimeout>"
        "<TimeDelay>100</TimeDelay><Debug>false</Debug></BridgeParameters>";
    TrellyBridgeComm comm;
    auto started = std::chrono::steady_clock::now();
    std::string result = comm.GetPatientData(request);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    comm.closeEnhancedBridgeConnection();
    xml::Document document(result);
    std::vector<xml::Searchable> patients = xml::getXMLElements(document.whole(), "Patient");
    out << (patients.empty() ? "NOT FOUND" : "FOUND    ") << "  " << std::left << std::setw(22)
        << "name search \"" + lastName + "\"" << std::right << std::setw(6) << ms.count()
        << " ms\n";
    for (const xml::Searchable& p : patients) {
        auto value = [&p](const char* tag) {
            return toUtf8(escapeControls(xml::getXMLTagValue(p.text, tag, false)));
        };
        out << "    " << value("PatientID") << "  " << value("LastName") << ", "
            << value("FirstName") << " " << value("MiddleInitial") << "  (born "
            << value("BirthDate") << ")\n";
    }
    out << "\n";
    return !patients.empty();
}

// Runs the fetches against simulators on free loopback ports, in a scratch drive C.
int runDemo(std::ostream& out, std::ostream& err, const std::string& scratch) {
    std::string error;
    vendorsim::SimulatorOptions hl7Options;
    vendorsim::VendorSimulator hl7(hl7Options);
    vendorsim::SimulatorOptions standardOptions;
    standardOptions.format = vendorsim::Format::Standard;
    vendorsim::VendorSimulator standard(standardOptions);
    vendorsim::SimulatorOptions xmlOptions;
    xmlOptions.format = vendorsim::Format::Xml;
    vendorsim::VendorSimulator folders(xmlOptions);
    vendorsim::VendorSimulator serialLine(hl7Options);
    std::string device;
    DemoWebService web;
    if (!hl7.start(error) || !standard.start(error) || !web.start(error) ||
        (device = serialLine.serveSerialLine(error)).empty()) {
        err << "demo: cannot start the vendor simulator: " << error << "\n";
        return 1;
    }
    // The component finds COM port N's device in TRELLYBRIDGE_COM<N>, as at a site.
    ComPortVariable comPort(kDemoComPort, device);
    std::string resultsFolder = scratch + "/results";
    if (!fs::createFolder(resultsFolder) || !folders.dropResultsFiles(resultsFolder)) {
        err << "demo: cannot write the results files into " << resultsFolder << "\n";
        return 1;
    }

    GetPatientArguments shared = demoRequest("30002", "FOLDERS", "XML");
    shared.VendorResultsPath = resultsFolder;
    const Fetch fetches[] = {
        {"TCP/IP, HL7", demoRequest("12345", "TCPIP", "HL7", hl7.ports()[0])},
        {"TCP/IP, STANDARD", demoRequest("20001", "TCPIP", "STANDARD", standard.ports()[0])},
        {"shared folders, XML", shared},
        {"serial line, HL7", demoRequest("20001", "SERIAL", "HL7", kDemoComPort)},
        {"web service, XML", web.settings(demoRequest("20001", "HTTPS", "XML"))},
    };

    int found = 0;
    std::string firstAsFhir;
    for (const Fetch& fetch : fetches) {
        TrellyBridgeComm comm;
        auto started = std::chrono::steady_clock::now();
        bool ok = comm.GetPatient(fetch.settings).isTrue();
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - started);
        out << (ok ? "FOUND    " : "NOT FOUND") << "  " << std::left << std::setw(22) << fetch.title
            << std::right << std::setw(6) << ms.count() << " ms\n";
        if (ok) {
            show(comm, out);
            if (firstAsFhir.empty()) firstAsFhir = comm.patientAsFhir();
            ++found;
        } else {
            comm.ReturnPatient();
            printNotFound(comm, err);
        }
        comm.closeConnection();
        out << "\n";
    }
    bool searched = searchByName(hl7.ports()[0], "RIVERA", out);
    if (std::string problem = TrellyBridgeComm::fhirSystemProblem(); !problem.empty())
        err << "No FHIR Bundle: " << escapeControls(problem) << "\n";
    if (!firstAsFhir.empty())
        out << "The first patient as a FHIR R4 Bundle (get-patient --output fhir):\n"
            << firstAsFhir << "\n\n";
    out << found << " of " << std::size(fetches) << " patients fetched.\n";
    return found == static_cast<int>(std::size(fetches)) && searched ? 0 : 1;
}

}  // namespace

int demo(std::ostream& out, std::ostream& err, const std::string& ui) {
    out << "TrellyBridge demo: fetching sample patients from the built-in vendor simulator "
           "(127.0.0.1)\n\n";
    std::string scratch = fs::makeTemporaryFolder("trellybridge-demo");
    if (scratch.empty()) {
        err << "demo: cannot create a scratch folder\n";
        return 1;
    }
    // Logs and the last good port stay in the scratch folder, not in the user's settings.
    fs::mapDrive('C', scratch);
    platform::setSettingsStore(std::make_shared<platform::MemorySettingsStore>());
    installToolkit(err, true, ui);
    int status = runDemo(out, err, scratch);
    ui::setToolkit(nullptr);
    platform::setSettingsStore(nullptr);
    fs::mapDrive('C', "");
    fs::removeTree(scratch);
    return status;
}

}  // namespace trellybridge::cli
