// The HL7 answer: the parser called directly, and the indexes it reads through. Fields and
// repetitions are held equal to the primitives; segments start where a segment starts and
// end at their carriage return, and a component never holds a separator.
#include <algorithm>
#include <string_view>

#include "FuzzSupport.h"
#include "formats/Hl7Primitives.h"
#include "formats/Hl7SegmentIndex.h"

using namespace trellybridge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    std::string answer = fuzzing::answerOf("HL7", data, size);
    formats::parseHL7Stream(answer, fuzzing::request().config,
                            session::parseContext(fuzzing::request()));
    std::optional<char> terminator = hl7::componentTerminator(fuzzing::request().config);

    hl7::MessageIndex index(answer, {"PID", "IN1", "DG1"});
    const std::string_view tags[] = {"PID", "IN1", "DG1"};
    // Two segments of each tag are held to where segments start and end, the first one's
    // first twelve fields, six components and four repetitions to the primitives: later
    // ones take the same paths, and comparing every one (each primitive call searching
    // from the start again) took most of the target's time.
    for (size_t t = 0; t < 3; ++t) {
        for (long occurrence = 1; occurrence <= 2; ++occurrence) {
            std::string_view record = index.record(t, occurrence);
            if (record.empty()) break;  // and so is every later one
            size_t at = static_cast<size_t>(record.data() - answer.data());
            bool starts = at == 0 || answer[at - 1] == '\r' || answer[at - 1] == '\n';
            if (!starts || !record.starts_with(tags[t]) || record[tags[t].size()] != '|' ||
                record.find('\r') != record.size() - 1)
                __builtin_trap();
            if (occurrence > 1) continue;
            hl7::SegmentIndex fields = index.segment(t, occurrence);
            // Up to one field past the last, where both give empty text.
            long last =
                std::min(12L, static_cast<long>(std::count(record.begin(), record.end(), '|')));
            for (long level = 0; level <= last + 1; ++level) {
                std::string_view field = fields.field(level);
                if (field != hl7::getHL7Field(record, "|", level)) __builtin_trap();
                // Components from the index's bits are those a search of the field finds.
                hl7::ComponentIndex components = fields.components(level), searched(field);
                for (long part = 0; part <= 5; ++part) {
                    std::string_view inside = components.component(part);
                    if (inside != searched.component(part) ||
                        (inside.size() > 2 &&
                         inside.substr(1, inside.size() - 2).find_first_of("^~") != field.npos))
                        __builtin_trap();
                }
                hl7::RepetitionIndex repetitions(field, terminator);
                for (long part = 0; terminator && part <= 3; ++part)
                    if (repetitions.repetition(part) !=
                        hl7::getHL7SubField(field, "|", "~", part, *terminator))
                        __builtin_trap();
            }
        }
    }
    return 0;
}
