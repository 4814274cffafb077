// Messages per second of each answer parser, through the same dispatcher a request uses.
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>

#include "common/ThreadState.h"
#include "formats/Parsers.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge {
namespace {

std::string benchInput(const char* name) {
    std::ifstream in(std::string(TRELLYBRIDGE_BENCH_DATA) + "/" + name, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void configureFor(const char* format) {
    BridgeConfiguration& c = threadState().config;
    c = BridgeConfiguration{};
    c.VendorFormatType = format;
    c.NetworkBridgeType = "FOLDERS";
    c.EOLCharacter = "13";
    c.EOFCharacter = "126";
    c.DisplayDebugger = "false";
    c.HTTPSSubjectCN = "<INVALID!>";
    c.PatientID = "12345";
}

void Hl7Answer(benchmark::State& state) {
    std::string answer = benchInput("hl7-answer-3ins.hl7");
    configureFor("HL7");
    TrellyBridgeComm comm;
    for (auto _ : state) {
        threadState().record.clear();
        formats::parseHL7Stream(comm, answer);
        benchmark::DoNotOptimize(threadState().record.fields.data());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(answer.size()));
}
BENCHMARK(Hl7Answer);

}  // namespace
}  // namespace trellybridge
