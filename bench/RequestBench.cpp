// The cost of a request: one whole GetPatient over TCP/IP against a loopback vendor, the
// CPU a request spends waiting on a silent vendor, and ReturnPatient against a long
// insurance log, and building a search request from a hostile section.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>

#include "Answers.h"
#include "SampleRequest.h"
#include "VendorSimulator.h"
#include "component/CommandLine.h"
#include "platform/FileSystem.h"
#include "session/ProgressWindow.h"
#include "session/SearchRequest.h"
#include "support/Sandbox.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge {
namespace {

// A scratch drive C and in-memory settings, so nothing of the user's is touched.
using Scratch = testing::Sandbox;

// The simulator's sample request at the timers' defaults, the local address named.
GetPatientArguments tcpRequest(std::uint16_t port) {
    GetPatientArguments a = vendorsim::sampleRequest("12345", "TCPIP", "HL7", port);
    a.SerialTimeout = a.NetworkTimeout = Variant();
    a.HTTPSSubjectCN = "{LOCAL IP:127.0.0.1}";
    return a;
}

// Wall time of a whole request next to the ticks the run loop needed: the steps wait for
// their ticks (and the connect step sets the timer to one second), the rest is the
// engine's own cost.
void GetPatientOverTcp(benchmark::State& state) {
    Scratch scratch;
    vendorsim::VendorSimulator vendor({});
    std::string error;
    if (!vendor.start(error)) return state.SkipWithError(error.c_str());
    GetPatientArguments request = tcpRequest(vendor.ports()[0]);
    request.TimeDelay = "1";
    request.SerialTimeout = "0";
    double ticks = 0;
    for (auto _ : state) {
        TrellyBridgeComm comm;
        if (!comm.GetPatient(request).isTrue()) state.SkipWithError("the patient was not found");
        ticks += session::progressWindow().engine().ticksRun;
        comm.closeConnection();
    }
    state.counters["ticks_per_request"] = ticks / static_cast<double>(state.iterations());
}
BENCHMARK(GetPatientOverTcp)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// A loopback fetch in each pace: arguments are (fast, quick timer). The quick timer is
// TimeDelay 1 with SerialTimeout 0; otherwise the defaults (SerialTimeout 5, TimeDelay
// 1000) apply.
void Pace(benchmark::State& state) {
    Scratch scratch;
    vendorsim::VendorSimulator vendor({});
    std::string error;
    if (!vendor.start(error)) return state.SkipWithError(error.c_str());
    GetPatientArguments request = tcpRequest(vendor.ports()[0]);
    if (state.range(1) != 0) {
        request.TimeDelay = "1";
        request.SerialTimeout = "0";
    }
    if (state.range(0) != 0)
        ::setenv("TRELLYBRIDGE_PACE", "fast", 1);
    else
        ::unsetenv("TRELLYBRIDGE_PACE");
    for (auto _ : state) {
        TrellyBridgeComm comm;
        if (!comm.GetPatient(request).isTrue()) state.SkipWithError("the patient was not found");
        comm.closeConnection();
    }
    ::unsetenv("TRELLYBRIDGE_PACE");
}
BENCHMARK(Pace)
    ->ArgNames({"fast", "quickTimer"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

// A request that waits on a vendor that never answers: the loop sleeps, so the process
// spends next to no CPU while it waits.
void WaitingOnASilentVendor(benchmark::State& state) {
    Scratch scratch;
    vendorsim::SimulatorOptions options;
    options.fault = vendorsim::Fault::Silent;
    vendorsim::VendorSimulator vendor(options);
    std::string error;
    if (!vendor.start(error)) return state.SkipWithError(error.c_str());
    GetPatientArguments request = tcpRequest(vendor.ports()[0]);
    request.TimeDelay = "1000";
    request.SerialTimeout = "1";
    request.AllowedRetries = "6";
    for (auto _ : state) {
        std::clock_t cpuBefore = std::clock();
        auto wallBefore = std::chrono::steady_clock::now();
        TrellyBridgeComm comm;
        if (comm.GetPatient(request).isTrue())
            state.SkipWithError("a silent vendor gave a patient");
        double cpu = static_cast<double>(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
        double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
        state.counters["wait_seconds"] = wall;
        state.counters["process_cpu_percent"] = 100.0 * cpu / wall;
        comm.closeConnection();
    }
}
BENCHMARK(WaitingOnASilentVendor)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// ReturnPatient of a patient with three insurances, the insurance log holding 20,000 lines.
void ReturnPatientWithLongInsuranceLog(benchmark::State& state) {
    Scratch scratch;
    std::string log;
    for (int i = 0; i < 20000; ++i)
        log += "20261206 09:41|COMPANY " + std::to_string(i) +
               "|PO BOX 1|CITY|IL|60601|60601||||GRP|EMP|" + std::to_string(10000 + i) + "\r\n";
    fs::writeFileAtomically("c:\\BRIDGEINSURANCE.log", log);
    vendorsim::SamplePatient patient{"12345", {{"p1PatientUniqueID", "12345"}}};
    for (const char* slot : {"i1", "i2", "i3"})
        patient.fields[std::string(slot) + "InsuredCompanyName"] = std::string("ACME ") + slot;
    GetPatientArguments a = vendorsim::sampleRequest("12345", "FOLDERS", "XML");
    a.LogInsuranceEntries = 20000;
    TrellyBridgeComm comm;
    if (!readAnswerAtHand(comm, a, vendorsim::answerFor(vendorsim::Format::Xml, patient)))
        state.SkipWithError("the answer did not parse");
    for (auto _ : state) comm.ReturnPatient();
}
BENCHMARK(ReturnPatientWithLongInsuranceLog)->Unit(benchmark::kMillisecond);

// A hostile search section: the key tag repeated N times, each followed by the company
// prefix to remove. The time per tag stays flat when building the request is linear.
void SearchRequestWithRepeatedKeyTags(benchmark::State& state) {
    BridgeConfiguration c;
    c.SearchOn = "PID";
    c.PatientID = "3-1001";
    c.MEDICNumberLength = "9";
    std::string section = "<SearchInfo><CompanyID></CompanyID>";
    for (int64_t i = 0; i < state.range(0); ++i) section += "<PatientID>3-1001</PatientID>";
    section += "</SearchInfo>";
    for (auto _ : state) benchmark::DoNotOptimize(session::buildSearchRequest(c, section));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(SearchRequestWithRepeatedKeyTags)->Arg(100)->Arg(1000)->Arg(30000);

}  // namespace
}  // namespace trellybridge
