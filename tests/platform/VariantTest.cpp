#include <gtest/gtest.h>

#include <optional>

#include "trellybridge/Variant.h"

namespace trellybridge {
namespace {

struct TextCase {
    Variant value;
    std::string text, lower, upper;
};

TEST(Variant, TextOfEachKind) {
    const TextCase cases[] = {
        {Variant(), "", "", ""},
        {Variant(true), "True", "true", "TRUE"},
        {Variant(false), "False", "false", "FALSE"},
        {Variant(20000), "20000", "20000", "20000"},
        {Variant(-7LL), "-7", "-7", "-7"},
        {Variant(2013.1), "2013.1", "2013.1", "2013.1"},
        {Variant(4.0), "4", "4", "4"},
        {Variant("TcpIp"), "TcpIp", "tcpip", "TCPIP"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.value.toText(), c.text);
        EXPECT_EQ(c.value.lowerText(), c.lower);
        EXPECT_EQ(c.value.upperText(), c.upper);
    }
}

struct NumberCase {
    Variant value;
    std::optional<double> strict;
    double lenient;
};

TEST(Variant, StrictConversionFailsWhereLenientYieldsZero) {
    const NumberCase cases[] = {
        {Variant("42"), 42, 42},
        {Variant(" 42 "), 42, 42},
        {Variant("-3.5"), -3.5, -3.5},
        {Variant("+8"), 8, 8},
        {Variant("1e3"), 1000, 1000},
        {Variant("12abc"), std::nullopt, 12},
        {Variant("1 2"), std::nullopt, 12},
        {Variant("abc"), std::nullopt, 0},
        {Variant("<INVALID!>"), std::nullopt, 0},
        {Variant(""), std::nullopt, 0},
        {Variant("-"), std::nullopt, 0},
        {Variant("--5"), std::nullopt, 0},
        {Variant(), 0, 0},
        {Variant(true), -1, -1},
        {Variant(7), 7, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value.toText());
        EXPECT_EQ(c.value.toNumber(), c.strict);
        EXPECT_EQ(c.value.numericValue(), c.lenient);
    }
}

TEST(Variant, WholeNumberRoundsHalvesToEven) {
    EXPECT_EQ(Variant("2.5").toWholeNumber(), 2);
    EXPECT_EQ(Variant("3.5").toWholeNumber(), 4);
    EXPECT_EQ(Variant("3.7").toWholeNumber(), 4);
    EXPECT_EQ(Variant("x").toWholeNumber(), std::nullopt);
}

TEST(Variant, EmptinessAndTruth) {
    EXPECT_TRUE(Variant().isEmptyText());
    EXPECT_TRUE(Variant("").isEmptyText());
    EXPECT_FALSE(Variant(0).isEmptyText());
    EXPECT_TRUE(Variant(true).isTrue());
    EXPECT_FALSE(Variant("True").isTrue());
    EXPECT_EQ(Variant(Variant("a")), Variant("a"));
    EXPECT_NE(Variant(1), Variant("1"));
}

TEST(Variant, HoldsObjectReferences) {
    auto object = std::make_shared<Object>();
    Variant held(object);
    EXPECT_EQ(held.kind(), Variant::Kind::Object);
    EXPECT_EQ(held.object(), object);
    EXPECT_EQ(Variant("x").object(), nullptr);
}

}  // namespace
}  // namespace trellybridge
