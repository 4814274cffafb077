// The parser reads through indexes built once per message. Fields and repetitions must be
// exactly what the positional primitives yield, on well-formed answers and on arbitrary
// text alike; segments and components follow rules of their own (see the format cases).
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "common/BridgeConfiguration.h"
#include "formats/Hl7Primitives.h"
#include "formats/Hl7SegmentIndex.h"
#include "support/TestEnvironment.h"

namespace trellybridge {
namespace {

class Hl7IndexDifferentialTest : public testing::TestEnvironment {
protected:
    // Compares every field and repetition lookup in the segments of `message`.
    void compareEverything(const std::string& message, std::initializer_list<std::string_view> tags,
                           long occurrences, long levels) {
        levels_ = levels;
        for (std::string_view tag : tags)
            for (long occurrence = -1; occurrence <= occurrences; ++occurrence)
                compareFields(hl7::getHL7Record(message, tag, occurrence));
        compareFields(message);  // text of any other shape
        compareComponents(message, tags, occurrences);
    }

    // Components found in a message index's bits are those found by searching the field.
    void compareComponents(const std::string& message, std::initializer_list<std::string_view> tags,
                           long occurrences) {
        hl7::MessageIndex index(message, tags);
        for (size_t tag = 0; tag < tags.size(); ++tag)
            for (long occurrence = 1; occurrence <= occurrences; ++occurrence) {
                hl7::SegmentIndex fields = index.segment(tag, occurrence);
                for (long level = 0; level <= levels_; ++level)
                    for (long part = 0; part <= 6; ++part)
                        ASSERT_EQ(fields.components(level).component(part),
                                  hl7::ComponentIndex(fields.field(level)).component(part))
                            << tag << " " << occurrence << " " << level << " " << part;
            }
    }

    void compareFields(std::string_view segment) {
        hl7::SegmentIndex fields(segment);
        for (long level = levels_; level >= -1; --level) {  // asked out of order on purpose
            std::string_view field = fields.field(level);
            ASSERT_EQ(field, hl7::getHL7Field(segment, "|", level)) << level;
            compareRepetitions(field);
        }
    }

    long levels_ = 0;
    BridgeConfiguration config;

    // Every repetition there is, and a few levels beyond, in the order the parser asks.
    void compareRepetitions(std::string_view field) {
        std::optional<char> terminator = hl7::componentTerminator(config);
        hl7::RepetitionIndex repetitions(field, terminator);
        long count = hl7::countOccurrences(field, "~");
        ASSERT_EQ(static_cast<long>(repetitions.separators()), count);
        for (long level = -1; level <= count + 3; ++level)
            ASSERT_EQ(repetitions.repetition(level),
                      terminator ? hl7::getHL7SubField(field, "|", "~", level, *terminator) : "")
                << level;
    }
};

TEST_F(Hl7IndexDifferentialTest, AgreesOnEveryAnswerKeptAsData) {
    for (const char* eol : {"13", "126", "10"}) {
        config.EOLCharacter = eol;
        for (const auto& file :
             std::filesystem::directory_iterator(std::string(TRELLYBRIDGE_FORMAT_DATA) + "/hl7")) {
            if (file.path().extension() != ".answer") continue;
            const std::string answer = testing::readHostFile(file.path());
            SCOPED_TRACE(file.path().filename().string() + " EOL " + eol);
            compareEverything(answer + "\r\r", {"PID", "PV1", "DG1|", "GT1", "IN1", "IN2"}, 4, 64);
            compareEverything(answer, {"PID", "IN1"}, 2, 64);
        }
    }
}

// Arbitrary text, and repetitions at the edges getHL7SubField's counting has: a "~" first
// or last, none at all, the terminator itself a "~" (EOLCharacter 126), and more than are
// held inline.
TEST_F(Hl7IndexDifferentialTest, AgreesOnArbitraryTextAndRepetitionsAtEveryEdge) {
    std::string many = "|";
    for (int i = 0; i < 150; ++i) many += "R" + std::to_string(i) + (i % 7 ? "^x~" : "~");
    const std::string edges[] = {"",     "~",        "~~",        "|~|",      "~A~",
                                 "A~B",  "|A~B~|",   "|A^B~C^D|", "~A|B~",    "|A~B\r",
                                 "|A~B", "||~||",    "~|",        "|~",       "A~B~\rC",
                                 many,   many + "~", "~" + many,  many + "\r"};
    const std::string alphabet = "||||^^^~\r\r\nAPIDVGTN12~ ";
    std::mt19937 random(20261206);
    for (const char* eol : {"13", "126", "124", "13,10"}) {
        config.EOLCharacter = eol;
        for (const std::string& text : edges) {
            SCOPED_TRACE(::testing::PrintToString(text) + " EOL " + eol);
            compareRepetitions(text);
        }
        for (int round = 0; round < 100; ++round) {
            std::string text;
            size_t length = random() % 160;
            for (size_t i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
            SCOPED_TRACE(::testing::PrintToString(text));
            compareEverything(text, {"PID", "IN1", "|", "A", "||"}, 3, 24);
            compareRepetitions(text);  // text of any shape, not only fields
        }
    }
}

// The fastest marking this processor has marks what the portable one marks, at every
// length around a chunk's edge and on every answer kept as data.
TEST_F(Hl7IndexDifferentialTest, FastestMarkingAgreesWithThePortableOne) {
    std::vector<std::string> texts;
    for (const auto& file :
         std::filesystem::directory_iterator(std::string(TRELLYBRIDGE_FORMAT_DATA) + "/hl7"))
        texts.push_back(testing::readHostFile(file.path()));
    std::mt19937 random(8);
    const std::string alphabet = "|^~\r\nA\x80\xff";
    for (size_t length = 0; length < 200; ++length) {
        std::string text;
        for (size_t i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
        texts.push_back(text);
    }
    for (const std::string& text : texts) {
        size_t words = (text.size() + 63) / 64;
        std::vector<hl7::CharacterMarks> fastest(words), portable(words);
        hl7::markCharacters(text, fastest.data());
        hl7::markCharacters(text, portable.data(), hl7::Marking::Portable);
        ASSERT_EQ(fastest, portable) << ::testing::PrintToString(text);
    }
}

// More places than are held inline, at every alignment of the eight-byte scan.
TEST_F(Hl7IndexDifferentialTest, AgreesBeyondThePlacesHeldInline) {
    std::mt19937 random(7);
    for (size_t offset = 0; offset < 9; ++offset) {
        std::string segment = std::string(offset, 'x') + "IN1";
        for (int field = 0; field < 100; ++field)
            segment += "|" + std::string(random() % 3, 'v') + (random() % 4 == 0 ? "^w" : "");
        segment += "\r";
        std::string message = segment + segment + "\r";
        SCOPED_TRACE(offset);
        compareEverything(message, {"|", "IN1", "^"}, 240, 0);
        levels_ = 104;
        compareFields(std::string_view(message).substr(offset, segment.size() - offset));
    }
}

// Segments and components beyond the places the indexes hold inline.
TEST_F(Hl7IndexDifferentialTest, SegmentsAndComponentsBeyondThePlacesHeldInline) {
    std::string message = "MSH|^~\\&|X\r", field = "|";
    for (int i = 1; i <= 100; ++i) {
        message += "IN1|" + std::to_string(i) + "\r";
        field += "C" + std::to_string(i) + "^";
    }
    field.back() = '~';
    field += "R2|";
    hl7::MessageIndex index(message, {"PID", "IN1"});
    EXPECT_EQ(index.record(1, 100), "IN1|100\r");
    EXPECT_EQ(index.record(1, 101), "");
    hl7::ComponentIndex components(field);
    EXPECT_EQ(components.component(99), "^C99^");
    EXPECT_EQ(components.component(100), "^C100~");
    EXPECT_EQ(components.component(101), "");
}

}  // namespace
}  // namespace trellybridge
