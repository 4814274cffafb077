#include "VendorSimulator.h"

#include <chrono>

#include "Search.h"
#include "common/AnswerLimit.h"
#include "platform/FileSystem.h"
#include "platform/Sockets.h"

namespace trellybridge::vendorsim {
namespace {

constexpr int kPollMs = 100;    // how often idle waits look at the stop flag
constexpr int kSendMs = 10000;  // a client that never reads cannot hold the simulator

// What keeps a request from being exactly one MLLP block; empty text when it is one.
std::string mllpProblem(const std::string& query) {
    if (query.empty() || query[0] != '\v') return "it does not start with VT";
    size_t end = query.find("\x1c\r");
    if (end == std::string::npos) return "it does not end with FS CR";
    if (end + 2 != query.size())
        return std::to_string(query.size() - end - 2) + " bytes follow the block's FS CR";
    if (query.find_first_of("\v\x1c", 1) < end) return "a VT or FS inside the message";
    return {};
}

std::string_view mllpContent(std::string_view block) {
    return block.substr(1, block.find('\x1c') - 1);
}

int occurrences(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

}  // namespace

void pause(int ms, const std::atomic<bool>& stopping) {
    for (int waited = 0; waited < ms && !stopping; waited += kPollMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(kPollMs, ms - waited)));
}

namespace {
const std::pair<std::string_view, Fault> kFaultNames[] = {
    {"none", Fault::None},          {"refuse", Fault::Refuse},
    {"silent", Fault::Silent},      {"slow", Fault::Slow},
    {"split", Fault::Split},        {"wrong-patient", Fault::WrongPatient},
    {"garbage", Fault::Garbage},    {"close", Fault::CloseAtOnce},
    {"hang-up", Fault::HangUp},     {"cut", Fault::Cut},
    {"error-ack", Fault::ErrorAck}, {"reject-ack", Fault::RejectAck},
};
}  // namespace

std::string faultNames() {
    std::string names;
    for (const auto& [text, value] : kFaultNames)
        names += (names.empty() ? "" : ", ") + std::string(text);
    return names;
}

bool parseFault(std::string_view name, Fault& fault) {
    for (const auto& [text, value] : kFaultNames)
        if (text == name) {
            fault = value;
            return true;
        }
    return false;
}

VendorSimulator::VendorSimulator(SimulatorOptions options, Log log)
    : options_(std::move(options)), log_(std::move(log)) {}

VendorSimulator::~VendorSimulator() {
    stop();
}

void VendorSimulator::say(const std::string& line) const {
    if (log_) log_(line);
}

Fault VendorSimulator::faultOn(std::uint16_t port) const {
    if (options_.faultPorts.empty() || options_.faultPorts.count(port)) return options_.fault;
    return Fault::None;
}

bool VendorSimulator::start(std::string& error) {
    std::uint32_t address = sockets::inetAddr(options_.listenAddress);
    if (address == sockets::kAddressNone) {
        error = "not an IPv4 address: " + options_.listenAddress;
        return false;
    }
    for (std::uint16_t wanted : options_.ports) {
        int listener = sockets::listenOn(address, wanted);
        if (listener == sockets::kInvalidSocket) {
            std::string why = sockets::lastErrorText();
            error = "cannot listen on " + options_.listenAddress + ":" + std::to_string(wanted) +
                    (why.empty() ? "" : ": " + why);
            stop();
            return false;
        }
        std::uint16_t port = sockets::localPort(listener);
        ports_.push_back(port);
        bool refuse = options_.fault == Fault::Refuse &&
                      (options_.faultPorts.empty() || options_.faultPorts.count(port) ||
                       options_.faultPorts.count(wanted));
        if (refuse) {
            sockets::close(listener);  // the port stays known but nobody answers on it
            say("port " + std::to_string(port) + " refuses connections");
            continue;
        }
        listeners_.push_back({listener, port});
        say("listening on " + options_.listenAddress + ":" + std::to_string(port) + " (" +
            formatName(options_.format) + ")");
    }
    server_ = std::thread([this] { serve(); });
    return true;
}

void VendorSimulator::stop() {
    stopping_ = true;
    if (server_.joinable()) server_.join();
    if (watcher_.joinable()) watcher_.join();
    if (lineServer_.joinable()) lineServer_.join();
    std::vector<std::thread> handlers;
    {
        std::lock_guard lock(mutex_);
        for (int connection : connections_) sockets::shutdown(connection, 2);
        handlers.swap(handlers_);
    }
    for (std::thread& handler : handlers) handler.join();
    for (auto& [listener, port] : listeners_) sockets::close(listener);
    listeners_.clear();
}

std::vector<std::string> VendorSimulator::queries() const {
    std::lock_guard lock(mutex_);
    return queries_;
}

void VendorSimulator::serve() {
    while (!stopping_) {
        bool idle = true;
        for (auto& [listener, port] : listeners_) {
            if (sockets::waitReadable(listener, listeners_.size() == 1 ? kPollMs : 0) != 1)
                continue;
            idle = false;
            int connection = sockets::accept(listener);
            if (connection == sockets::kInvalidSocket) continue;
            std::lock_guard lock(mutex_);
            connections_.push_back(connection);
            handlers_.emplace_back([this, connection, p = port] { handle(connection, p); });
        }
        if (idle && listeners_.size() != 1) pause(kPollMs, stopping_);
    }
}

const SamplePatient* VendorSimulator::find(const std::string& account) const {
    for (const SamplePatient& patient : options_.patients)
        if (patient.account == account) return &patient;
    return nullptr;
}

std::string VendorSimulator::answer(const std::string& query, Fault fault) const {
    std::string account = requestedAccount(options_.format, query);
    if (options_.format == Format::Hl7 && (fault == Fault::ErrorAck || fault == Fault::RejectAck)) {
        say("query for account '" + account + "': refused");
        return refusalAnswer(fault == Fault::RejectAck);
    }
    const SamplePatient* patient = find(account);
    if (fault == Fault::WrongPatient && !options_.patients.empty()) {
        patient = &options_.patients.front();
        for (const SamplePatient& other : options_.patients)
            if (other.account != account) {
                patient = &other;
                break;
            }
    }
    say("query for account '" + account +
        "': " + (patient ? "answering with " + patient->account : "not found"));
    return patient ? answerFor(options_.format, *patient)
                   : notFoundAnswer(options_.format, account);
}

std::string VendorSimulator::readQuery(int connection) const {
    auto endsWith = [](const std::string& text, std::string_view end) {
        return text.size() >= end.size() &&
               text.compare(text.size() - end.size(), end.size(), end) == 0;
    };
    // A client that sends nothing more within three seconds has said all it will.
    std::string query, chunk;
    while (!stopping_ && !endsWith(query, "\r\n") &&
           !(options_.mllp && endsWith(query, "\x1c\r"))) {
        if (sockets::waitReadable(connection, 3000) != 1 ||
            sockets::receive(connection, chunk, 10000) <= 0)
            break;
        query += chunk;
        if (query.size() > maxAnswerBytes()) break;
    }
    return query;
}

void VendorSimulator::handle(int connection, std::uint16_t port) {
    Fault fault = faultOn(port);
    if (fault != Fault::CloseAtOnce) {
        std::string query = readQuery(connection);
        {
            std::lock_guard lock(mutex_);
            queries_.push_back(query);
        }
        std::string notBlock = options_.mllp ? mllpProblem(query) : std::string();
        if (!notBlock.empty()) say("not an MLLP block, not answered: " + notBlock);
        std::string reply = notBlock.empty() ? this->reply(query, fault) : std::string();
        if (!notBlock.empty()) {
            // A strict listener does not act on what is not a block.
        } else if (fault == Fault::Silent) {
            std::string ignored;
            while (!stopping_ && sockets::waitReadable(connection, kPollMs) != 1) {
            }
        } else {
            if (fault == Fault::Slow) pause(options_.delayMs, stopping_);
            if (fault == Fault::Split) {
                size_t half = reply.size() / 2;
                sockets::send(connection, reply.substr(0, half), kSendMs);
                pause(options_.splitDelayMs, stopping_);
                reply = reply.substr(half);
            }
            if (fault == Fault::Cut) reply.resize(reply.size() / 2);
            sockets::send(connection, reply, kSendMs);
            // Let the client read and close first, as a vendor system does; a cut answer
            // is followed by the close at once.
            std::string rest;
            if (fault != Fault::Cut && sockets::waitReadable(connection, 5000) == 1)
                sockets::receive(connection, rest, 10000);
        }
    }
    std::lock_guard lock(mutex_);
    std::erase(connections_, connection);
    sockets::close(connection);
}

std::string VendorSimulator::reply(const std::string& query, Fault fault, bool onSerialLine) const {
    char end =
        static_cast<char>(options_.endCode.value_or(options_.format == Format::Hl7 ? 28 : 126));
    std::string garbage = "THIS IS NOT A PATIENT RECORD\r";
    if (options_.mllp)
        return "\v" +
               (fault == Fault::Garbage ? garbage
                                        : answer(std::string(mllpContent(query)), fault)) +
               "\x1c\r";
    if (fault == Fault::Garbage) return garbage + end;
    if (isSearchRequest(query)) {
        // A search is answered alike in every format: its </Result> ends the answer.
        std::string result = searchAnswer(options_.patients, query, ++searches_);
        say("search: answering with " + std::to_string(occurrences(result, "<Patient>")) +
            " patient(s)");
        return onSerialLine ? result + end : result;
    }
    std::string text = answer(query, fault) + end;
    if (options_.format == Format::Hl7 && !options_.endCode) text += '\r';
    return text;
}

std::string VendorSimulator::fileAnswer(const std::string& account) const {
    const SamplePatient* patient = find(account);
    return patient ? answerFor(options_.format, *patient)
                   : notFoundAnswer(options_.format, account);
}

bool VendorSimulator::dropResultsFiles(const std::string& folder) const {
    bool ok = true;
    for (const SamplePatient& patient : options_.patients)
        ok = fs::writeFileAtomically(folder + "/" + patient.account + ".dat",
                                     fileAnswer(patient.account)) &&
             ok;
    return ok;
}

void VendorSimulator::watchRequests(const std::string& requestPath,
                                    const std::string& resultsPath) {
    watcher_ = std::thread([this, requestPath, resultsPath] {
        while (!stopping_) {
            fs::RegularFileRead request = fs::readRegularFile(requestPath, maxAnswerBytes());
            if (request) {
                fs::removeFile(requestPath);
                std::string account = requestedAccount(options_.format, *request.content);
                say("request file for account '" + account + "'");
                fs::writeFileAtomically(resultsPath, fileAnswer(account));
            }
            pause(kPollMs, stopping_);
        }
    });
}

bool answerOnce(const SimulatorOptions& options, const std::string& requestPath,
                const std::string& account, const std::string& resultsPath, std::string& error) {
    VendorSimulator simulator(options);
    std::string wanted = account;
    if (wanted.empty()) {
        // Never a pipe or a device: the simulator must not wait on a request for ever.
        fs::RegularFileRead request = fs::readRegularFile(requestPath, maxAnswerBytes());
        if (!request) {
            error = "cannot read request file '" + requestPath + "': " + request.reason;
            return false;
        }
        wanted = requestedAccount(options.format, *request.content);
    }
    if (!fs::writeFileAtomically(resultsPath, simulator.fileAnswer(wanted))) {
        error = "cannot write results file '" + resultsPath + "'";
        return false;
    }
    return true;
}

}  // namespace trellybridge::vendorsim
