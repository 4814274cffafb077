// Messages per second of each answer parser on a realistic answer; and the time per
// element of answers that repeat their elements 1, 10 and 100 times (and of the hostile
// answers a broken or malicious vendor could send), which stays flat when parsing is
// linear in the answer.
#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

#include "common/RequestState.h"
#include "component/RecordPublishing.h"
#include "formats/AnswerDispatch.h"
#include "formats/Codecs.h"
#include "session/Session.h"
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

// The request the answers are read into, as a session reads them.
RequestState& request() {
    static RequestState state;
    return state;
}

void configureFor(const char* format) {
    BridgeConfiguration& c = request().config;
    c = BridgeConfiguration{};
    testing::answerReadingSettings(c, format);
    request().settings = readRequestSettings(c);  // read once, as a request's are
}

// A parser as a request runs it, its found flag applied.
template <auto parser>
void parseOnThread(const std::string& answer) {
    request().patientFound =
        parser(answer, request().config, session::parseContext(request())).found.value_or(false);
}

// The HL7 parser publishing the record into `comm`, as the public method does.
auto hl7Into(TrellyBridgeComm& comm) {
    return [publish = formats::RecordObserver([&comm](const PatientRecord& record) {
                publishRecord(comm, record);
            })](const std::string& answer) {
        request().patientFound = formats::parseHL7Stream(answer, request().config,
                                                         session::parseContext(request()), publish)
                                     .found.value_or(false);
    };
}

template <typename Parse>
void run(benchmark::State& state, const std::string& answer, Parse parse) {
    for (auto _ : state) {
        request().record.clear();
        parse(answer);
        if (!request().patientFound) state.SkipWithError("the answer did not parse");
        benchmark::DoNotOptimize(request().record.fields.data());
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
    run(state, benchInput("hl7-answer-3ins.hl7"), hl7Into(comm));
}
BENCHMARK(Hl7Answer);

// One pass over the answer a byte at a time: each byte compared with the segment end and
// counted, four bytes a step in four counts so that no step waits for the one before. It
// is kept a byte at a time (GCC would make it a vector search): the least that a reader
// looking at each byte in turn does, which the parse is measured against.
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("no-tree-vectorize")))
#endif
size_t
bytePass(std::string_view answer) {
    size_t counts[4] = {}, i = 0;
    for (; i + 4 <= answer.size(); i += 4)
        for (size_t lane = 0; lane < 4; ++lane) counts[lane] += answer[i + lane] == '\r';
    for (; i < answer.size(); ++i) counts[0] += answer[i] == '\r';
    return counts[0] + counts[1] + counts[2] + counts[3];
}

// The HL7 answer as Hl7Answer reads it and one byte pass over the same bytes, in turn in
// each iteration so that both see the same load: parse_in_byte_passes is the parse's cost
// counted in byte passes (its median over the repetitions is the figure).
void Hl7AnswerAgainstBytePass(benchmark::State& state) {
    configureFor("HL7");
    TrellyBridgeComm comm;
    std::string answer = benchInput("hl7-answer-3ins.hl7");
    auto parse = hl7Into(comm);
    using Clock = std::chrono::steady_clock;
    Clock::duration parsing{}, passing{};
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        request().record.clear();
        parse(answer);
        Clock::time_point parsed = Clock::now();
        benchmark::DoNotOptimize(bytePass(answer));
        passing += Clock::now() - parsed;
        parsing += parsed - start;
        if (!request().patientFound) state.SkipWithError("the answer did not parse");
    }
    auto perIteration = [&](Clock::duration total) {
        return std::chrono::duration<double, std::nano>(total).count() /
               static_cast<double>(state.iterations());
    };
    state.counters["parse_ns"] = perIteration(parsing);
    state.counters["byte_pass_ns"] = perIteration(passing);
    state.counters["parse_in_byte_passes"] = perIteration(parsing) / perIteration(passing);
}
BENCHMARK(Hl7AnswerAgainstBytePass)->Repetitions(5)->ReportAggregatesOnly(true);

// The delimited layout, as the dispatcher hands it over (from the header, last character dropped).
void StandardAnswer(benchmark::State& state) {
    configureFor("STANDARD");
    std::string answer = benchInput("standard-answer-3ins.txt");
    answer.pop_back();
    run(state, answer, parseOnThread<formats::parseStandardStream>);
}
BENCHMARK(StandardAnswer);

void ScanAnswer(benchmark::State& state) {
    configureFor("SCAN");
    run(state, benchInput("scan-answer.txt"), parseOnThread<formats::parseScanStream>);
}
BENCHMARK(ScanAnswer);

void XmlAnswer(benchmark::State& state) {
    configureFor("XML");
    run(state, benchInput("xml-answer-2ins.xml"), parseOnThread<formats::parseXMLStream>);
}
BENCHMARK(XmlAnswer);

// ---- Scaling: the repeated parts of each realistic answer, repeated `times` times ----

std::vector<std::string> splitAt(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) parts.push_back(part);
    return parts;
}

std::string repeated(const std::string& part, int times, const std::string& between = "") {
    std::string out;
    for (int i = 0; i < times; ++i) out += (i ? between : "") + part;
    return out;
}

// An answer and how many elements (segments, repetitions, records, lines, XML elements)
// it holds that the scaling multiplies.
struct ScaledAnswer {
    std::string text;
    long elements = 0;
};

// PV1-7 repetitions, DG1 segments and IN1/IN2 pairs, each `times` times (the parser
// finds segments wherever they stand in the answer, so the repeated ones follow the others).
ScaledAnswer scaledHl7(int times) {
    ScaledAnswer a;
    std::string repeatedSegments;
    for (const std::string& segment : splitAt(benchInput("hl7-answer-3ins.hl7"), '\r')) {
        std::string tag = segment.substr(0, 3);
        if (tag == "DG1" || tag == "IN1" || tag == "IN2") {
            repeatedSegments += segment + "\r";
            a.elements += times;
        } else if (tag == "PV1") {
            std::vector<std::string> fields = splitAt(segment, '|');
            a.elements += times * static_cast<long>(splitAt(fields[7], '~').size());
            fields[7] = repeated(fields[7], times, "~");
            for (size_t i = 0; i < fields.size(); ++i) a.text += (i ? "|" : "") + fields[i];
            a.text += "\r";
        } else {
            a.text += segment + "\r";
        }
    }
    a.text += repeated(repeatedSegments, times);
    return a;
}

// Every record but the header, `times` times.
ScaledAnswer scaledStandard(int times) {
    ScaledAnswer a;
    std::string answer = benchInput("standard-answer-3ins.txt");
    size_t body = answer.find("\r\n") + 2;
    std::string records = answer.substr(body);
    a.text = answer.substr(0, body) + repeated(records, times);
    a.text.pop_back();  // as the dispatcher hands it over
    a.elements = times * static_cast<long>(std::count(records.begin(), records.end(), '\r'));
    return a;
}

ScaledAnswer scaledScan(int times) {
    std::string lines = benchInput("scan-answer.txt");
    return {repeated(lines, times),
            times * static_cast<long>(std::count(lines.begin(), lines.end(), '\r'))};
}

// Everything inside the PATIENT element, `times` times.
ScaledAnswer scaledXml(int times) {
    std::string answer = benchInput("xml-answer-2ins.xml");
    size_t from = answer.find("<P1"), to = answer.find("</PATIENT>");
    std::string body = answer.substr(from, to - from);
    long elements = 0;
    for (size_t i = 0; i + 1 < body.size(); ++i)
        if (body[i] == '<' && std::isalpha(static_cast<unsigned char>(body[i + 1]))) ++elements;
    return {answer.substr(0, from) + repeated(body, times) + answer.substr(to), times * elements};
}

// Time per element (and elements per second): flat from 1x to 100x when linear.
template <typename Parse>
void runScaled(benchmark::State& state, const ScaledAnswer& answer, Parse parse) {
    run(state, answer.text, parse);
    state.SetItemsProcessed(state.iterations() * answer.elements);
    state.counters["elements"] = static_cast<double>(answer.elements);
    state.counters["time_per_element"] = benchmark::Counter(
        static_cast<double>(answer.elements),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void PerElementHl7(benchmark::State& state) {
    configureFor("HL7");
    TrellyBridgeComm comm;
    runScaled(state, scaledHl7(static_cast<int>(state.range(0))), hl7Into(comm));
}
BENCHMARK(PerElementHl7)->ArgName("times")->Arg(1)->Arg(10)->Arg(100);

void PerElementStandard(benchmark::State& state) {
    configureFor("STANDARD");
    runScaled(state, scaledStandard(static_cast<int>(state.range(0))),
              parseOnThread<formats::parseStandardStream>);
}
BENCHMARK(PerElementStandard)->ArgName("times")->Arg(1)->Arg(10)->Arg(100);

void PerElementScan(benchmark::State& state) {
    configureFor("SCAN");
    runScaled(state, scaledScan(static_cast<int>(state.range(0))),
              parseOnThread<formats::parseScanStream>);
}
BENCHMARK(PerElementScan)->ArgName("times")->Arg(1)->Arg(10)->Arg(100);

void PerElementXml(benchmark::State& state) {
    configureFor("XML");
    runScaled(state, scaledXml(static_cast<int>(state.range(0))),
              parseOnThread<formats::parseXMLStream>);
}
BENCHMARK(PerElementXml)->ArgName("times")->Arg(1)->Arg(10)->Arg(100);

// ---- Hostile answers: one kind of element repeated tens of thousands of times ----

const std::string kXmlPatient =
    "<P1 LastName=\"DOE\" FirstName=\"JOHN\" UniqueID=\"12345\" SSN=\"123-45-6789\">"
    "<ADDRESS Street1=\"1 MAIN ST\" City=\"SPRINGFIELD\" State=\"IL\" Postal=\"62701\"/></P1>";

ScaledAnswer hostile(int kind) {
    constexpr int n = 10000;
    std::string address = "<ADDRESS Street1=\"1 MAIN ST\" City=\"SPRINGFIELD\" State=\"IL\"/>";
    switch (kind) {
        case 0:  // empty P1 elements before the real one (no closing tag: each ends at "/>")
            return {"<PATIENT>" + repeated("<P1/>", n) +
                        "<P1 LastName=\"DOE\" FirstName=\"JOHN\" UniqueID=\"12345\"/></PATIENT>",
                    n + 2};
        case 1:  // ADDRESS elements inside the patient
            return {"<PATIENT><P1 LastName=\"DOE\">" + repeated(address, n) + "</P1></PATIENT>",
                    n + 1};
        case 2:  // guarantors
            return {"<PATIENT>" + kXmlPatient +
                        repeated("<G1 LastName=\"ROE, RICHARD, R\">" + address + "</G1>", n) +
                        "</PATIENT>",
                    2 * n + 2};
        case 3:  // companies inside one insurance
            return {"<PATIENT>" + kXmlPatient + "<I Name=\"DOE,JOHN\">" +
                        repeated("<COMPANY Name=\"ACME\">" + address + "</COMPANY>", n) +
                        "</I></PATIENT>",
                    2 * n + 3};
        default: {  // PV1-7 repetitions
            constexpr int repetitions = 30000;
            return {"MSH|^~\\&|PMS\rPID|1|12345||12345|DOE^JOHN^Q\rPV1|1|O|||||" +
                        repeated("1234567^SMITH^JOHN^Q^^^^^^^^^UPIN", repetitions, "~") + "|\r",
                    repetitions};
        }
    }
}

void HostileAnswer(benchmark::State& state) {
    int kind = static_cast<int>(state.range(0));
    ScaledAnswer answer = hostile(kind);
    static const char* const kNames[] = {"10000 empty P1", "10000 ADDRESS in P1", "10000 G1",
                                         "10000 COMPANY in I", "30000 PV1-7 repetitions"};
    state.SetLabel(kNames[kind]);
    if (kind < 4) {
        configureFor("XML");
        runScaled(state, answer, parseOnThread<formats::parseXMLStream>);
    } else {
        configureFor("HL7");
        TrellyBridgeComm comm;
        runScaled(state, answer, hl7Into(comm));
    }
}
BENCHMARK(HostileAnswer)->ArgName("kind")->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace trellybridge
