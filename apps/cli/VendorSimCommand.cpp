// trellybridge vendor-sim: serves sample patients as a vendor system would.
#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <csignal>
#include <ostream>
#include <thread>

#include "CliSupport.h"
#include "Commands.h"
#include "SimulatorOptions.h"
#include "VendorSimulator.h"
#include "WebService.h"

namespace trellybridge::cli {
namespace {

std::atomic<bool> interrupted{false};
extern "C" void onSignal(int) {
    interrupted = true;
}

vendorsim::SimulatorOptions simulatorOptions(const VendorSimOptions& o) {
    vendorsim::SimulatorOptions s;
    s.format = formatOption(o.format);
    if (!vendorsim::parseFault(o.fault, s.fault))
        throw UsageError{"--fault " + o.fault + ": unknown fault mode (the modes are " +
                         vendorsim::faultNames() + ")"};
    s.listenAddress = o.listen;
    if (!o.ports.empty()) s.ports.clear();
    for (int port : o.ports) s.ports.push_back(portOption(port));
    for (int port : o.faultPorts) s.faultPorts.insert(static_cast<std::uint16_t>(port));
    s.delayMs = o.delayMs;
    s.mllp = o.mllp;
    if (o.endCode >= 0) s.endCode = o.endCode;
    s.patients = patientsOption(o.patientsFile, std::move(s.patients));
    return s;
}

void waitUntilInterrupted(double runFor) {
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    auto until = std::chrono::steady_clock::now() +
                 std::chrono::milliseconds(static_cast<long long>(runFor * 1000));
    while (!interrupted && (runFor <= 0 || std::chrono::steady_clock::now() < until))
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

}  // namespace

void addVendorSimOptions(CLI::App& c, VendorSimOptions& o) {
    c.add_option("--format", o.format, "Answer format: HL7 (default), STANDARD, SCAN or XML");
    c.add_option("--port", o.ports, "TCP port to listen on (repeatable; 0 picks a free one)")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    c.add_option("--listen", o.listen, "Address to listen on (default 127.0.0.1)");
    c.add_option("--fault", o.fault,
                 "Rehearse a failure: refuse, silent, slow, split, wrong-patient, garbage, close,\n"
                 "cut (half the answer, then the close), error-ack and reject-ack (HL7 AE and AR\n"
                 "acknowledgements); on a serial line also hang-up (half the answer, then the\n"
                 "device goes away)");
    c.add_option("--fault-port", o.faultPorts,
                 "Port the fault applies to (repeatable; default every port)")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    c.add_option("--delay", o.delayMs, "Delay of the slow fault in milliseconds (default 2000)");
    c.add_option("--end-code", o.endCode,
                 "Character code that ends an answer (default 28 for HL7, else 126)");
    c.add_option("--patients", o.patientsFile,
                 "Patient file: [patient ACCOUNT] sections of property=value lines");
    c.add_option("--polling", o.polling,
                 "Answer request files: REQUEST RESULTS (the POLLING bridge)")
        ->expected(2);
    c.add_option("--folders", o.foldersDir,
                 "Write ACCOUNT.dat for every patient into this folder (FOLDERS bridge)");
    c.add_flag("--answer-once", o.answerOnce,
               "Answer one request and exit (the program the VENDOR bridge starts)");
    c.add_option("--request", o.request, "With --answer-once: the request file to read");
    c.add_option("--account", o.account,
                 "With --answer-once: the account asked for (instead of --request)");
    c.add_option("--results", o.results, "With --answer-once: the results file to write");
    c.add_flag("--mllp", o.mllp,
               "Speak MLLP strictly over TCP: answer only a request that is one block\n"
               "(VT message FS CR), in a block of its own; say so when a request is not one");
    c.add_flag("--serial", o.serial,
               "Answer on a pseudo-terminal instead of TCP: prints the device to point\n"
               "TRELLYBRIDGE_COM<N> at");
    c.add_option("--run-for", o.runFor,
                 "Stop after this many seconds (default: until interrupted)");
    addWebServiceOptions(c, o);
    c.footer(
        "Built-in sample patients: 12345 (DOE, JOHN Q; two insurances), 20001 (RIVERA, ANA L),\n"
        "30002 (OKAFOR, EMEKA). Listens on 127.0.0.1 unless --listen says otherwise.");
}

int vendorSim(const VendorSimOptions& o, std::ostream& out, std::ostream& err) {
    if (o.https) return webServiceSim(o, out, err, waitUntilInterrupted);
    vendorsim::SimulatorOptions options = simulatorOptions(o);
    if (o.answerOnce) {
        if (o.results.empty() || (o.request.empty() && o.account.empty()))
            throw UsageError{"--answer-once needs --results and --request or --account"};
        std::string error;
        if (!vendorsim::answerOnce(options, o.request, o.account, o.results, error)) {
            err << "trellybridge vendor-sim: " << error << "\n";
            return 1;
        }
        return 0;
    }

    vendorsim::VendorSimulator simulator(
        options, [&out](const std::string& line) { out << line << std::endl; });
    std::string error;
    if (!o.serial && options.fault == vendorsim::Fault::HangUp)
        throw UsageError{"--fault hang-up: a fault of a serial line (--serial)"};
    if (o.serial) {
        if (o.mllp) throw UsageError{"--mllp: MLLP is spoken over TCP, not on a serial line"};
        if (options.fault == vendorsim::Fault::Refuse ||
            options.fault == vendorsim::Fault::CloseAtOnce ||
            options.fault == vendorsim::Fault::Cut)
            throw UsageError{"--fault " + o.fault + ": not a fault of a serial line"};
        std::string device = simulator.serveSerialLine(error);
        if (device.empty()) {
            err << "trellybridge vendor-sim: " << error << "\n";
            return 1;
        }
        out << "point a COM port at it: TRELLYBRIDGE_COM1=" << device
            << " trellybridge get-patient --set NetworkBridgeType=SERIAL --set CommPort=1 ..."
            << std::endl;
    } else if (!simulator.start(error)) {
        err << "trellybridge vendor-sim: " << error << "\n";
        return 1;
    }
    if (!o.foldersDir.empty()) {
        if (!simulator.dropResultsFiles(o.foldersDir)) {
            err << "trellybridge vendor-sim: cannot write results files into " << o.foldersDir
                << "\n";
            return 1;
        }
        out << "results files written into " << o.foldersDir << " (ACCOUNT.dat per patient)"
            << std::endl;
    }
    if (o.polling.size() == 2) {
        simulator.watchRequests(o.polling[0], o.polling[1]);
        out << "answering request files at " << o.polling[0] << " into " << o.polling[1]
            << std::endl;
    }

    waitUntilInterrupted(o.runFor);
    simulator.stop();
    return 0;
}

}  // namespace trellybridge::cli
