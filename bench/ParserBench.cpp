// Messages per second of each answer parser on a realistic answer.
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>

#include "common/ThreadState.h"
#include "formats/Parsers.h"
#include "support/Sandbox.h"
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
    testing::answerReadingSettings(c, format);
}

template <typename Parse>
void run(benchmark::State& state, const std::string& answer, Parse parse) {
    for (auto _ : state) {
        threadState().record.clear();
        parse(answer);
        if (!threadState().patientFound) state.SkipWithError("the answer did not parse");
        benchmark::DoNotOptimize(threadState().record.fields.data());
    }
    state.counters["messages_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(answer.size()));
}

// The realistic answer of three insurances (1,939 bytes), published into the properties
// of the instance as the parser does.
void Hl7Answer(benchmark::State& state) {
    configureFor("HL7");
    TrellyBridgeComm comm;
    run(state, benchInput("hl7-answer-3ins.hl7"),
        [&comm](const std::string& a) { formats::parseHL7Stream(comm, a); });
}
BENCHMARK(Hl7Answer);

// The delimited layout, as the dispatcher hands it over (from the header, last character dropped).
void StandardAnswer(benchmark::State& state) {
    configureFor("STANDARD");
    std::string answer = benchInput("standard-answer-3ins.txt");
    answer.pop_back();
    run(state, answer, [](const std::string& a) { formats::parseStandardStream(a); });
}
BENCHMARK(StandardAnswer);

void ScanAnswer(benchmark::State& state) {
    configureFor("SCAN");
    run(state, benchInput("scan-answer.txt"),
        [](const std::string& a) { formats::parseScanStream(a); });
}
BENCHMARK(ScanAnswer);

void XmlAnswer(benchmark::State& state) {
    configureFor("XML");
    run(state, benchInput("xml-answer-2ins.xml"),
        [](const std::string& a) { formats::parseXMLStream(a); });
}
BENCHMARK(XmlAnswer);

}  // namespace
}  // namespace trellybridge
