// A vendor system to fetch patients from before the real one is at hand, and to rehearse
// its failures: it answers TCP queries in one of the four formats, answers request
// files (POLLING, or once as the program the VENDOR bridge starts), and drops
// <account>.dat results files for the FOLDERS bridge. It listens on 127.0.0.1 unless told
// otherwise.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Answers.h"
#include "SamplePatients.h"
#include "platform/SerialPort.h"

namespace trellybridge::vendorsim {

enum class Fault {
    None,
    Refuse,        // nothing listens on the port: connections are refused
    Silent,        // accepts and reads the query, never answers
    Slow,          // answers after `delayMs`
    Split,         // answers in two packets `splitDelayMs` apart
    WrongPatient,  // answers with another patient
    Garbage,       // answers with text that is no patient
    CloseAtOnce,   // accepts and closes without a word
    HangUp,        // sends half the answer, then the line goes away
    Cut,           // sends half the answer, then closes the connection
    ErrorAck,      // answers an HL7 query with an error acknowledgement (AE)
    RejectAck,     // answers an HL7 query with a reject acknowledgement (AR)
};
bool parseFault(std::string_view name, Fault& fault);
// Every mode parseFault knows, "none, refuse, silent, ...".
std::string faultNames();

struct SimulatorOptions {
    Format format = Format::Hl7;
    std::string listenAddress = "127.0.0.1";
    std::vector<std::uint16_t> ports{0};  // 0 picks a free port
    Fault fault = Fault::None;
    std::set<std::uint16_t> faultPorts;  // empty: the fault applies to every port
    int delayMs = 2000;
    int splitDelayMs = 1000;
    std::optional<int> endCode;  // end-of-answer character; 28 for HL7, 126 otherwise
    // Speaks MLLP strictly: answers only a request that is exactly one block (VT, the
    // message, FS CR), in a block of its own.
    bool mllp = false;
    std::vector<SamplePatient> patients = builtInPatients();
};

class VendorSimulator {
public:
    using Log = std::function<void(const std::string&)>;
    explicit VendorSimulator(SimulatorOptions options, Log log = {});
    ~VendorSimulator();
    VendorSimulator(const VendorSimulator&) = delete;
    VendorSimulator& operator=(const VendorSimulator&) = delete;

    // Starts listening; false with `error` set when a port cannot be had.
    bool start(std::string& error);
    void stop();
    // The ports in the order configured, those that refuse included.
    std::vector<std::uint16_t> ports() const { return ports_; }
    // The bytes of every query received, oldest first.
    std::vector<std::string> queries() const;

    // Answers requests on a new pseudo-terminal until stopped (the SERIAL bridge); the
    // device the component is to open, or empty text with `error` set.
    std::string serveSerialLine(std::string& error);

    // Answers request files dropped at `requestPath` until stopped (the POLLING style).
    void watchRequests(const std::string& requestPath, const std::string& resultsPath);
    // The answer text for an account, as a results file holds it.
    std::string fileAnswer(const std::string& account) const;
    // Writes <account>.dat for every patient into `folder` (the FOLDERS style).
    bool dropResultsFiles(const std::string& folder) const;

private:
    const SamplePatient* find(const std::string& account) const;
    std::string answer(const std::string& query, Fault fault) const;
    // The request as it arrives over TCP: up to its CR LF (or a block's FS CR under MLLP),
    // or what came before the client fell quiet.
    std::string readQuery(int connection) const;
    // The bytes sent back for a query: the answer and its end character, or the fault's.
    // A search's result ends with its closing tag, and on a serial line with the end
    // character too (`onSerialLine`).
    std::string reply(const std::string& query, Fault fault, bool onSerialLine = false) const;
    void serveLine();
    void serve();
    void handle(int connection, std::uint16_t port);
    Fault faultOn(std::uint16_t port) const;
    void say(const std::string& line) const;

    SimulatorOptions options_;
    Log log_;
    std::vector<std::uint16_t> ports_;
    std::vector<std::pair<int, std::uint16_t>> listeners_;
    std::atomic<bool> stopping_{false};
    std::thread server_, watcher_, lineServer_;
    std::unique_ptr<serial::PseudoTerminal> line_;
    mutable std::mutex mutex_;
    std::vector<std::thread> handlers_;
    std::vector<int> connections_;
    std::vector<std::string> queries_;
    mutable std::atomic<int> searches_{0};  // the transaction number of the last search answered
};

// Sleeps `ms`, or less when `stopping` is set meanwhile.
void pause(int ms, const std::atomic<bool>& stopping);

// The VENDOR program: answers one request (read from `requestPath`, or the account given)
// into `resultsPath`.
bool answerOnce(const SimulatorOptions& options, const std::string& requestPath,
                const std::string& account, const std::string& resultsPath, std::string& error);

}  // namespace trellybridge::vendorsim
