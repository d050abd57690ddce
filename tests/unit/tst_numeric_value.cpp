// The number rule of numeric fields and the field model's clamping.
#include <gtest/gtest.h>

#include "core/numeric_field_model.h"
#include "core/numeric_value.h"

using namespace Qt::StringLiterals;

namespace {

struct ParseCase {
    const char* text;
    std::optional<std::int32_t> value;
};

TEST(ParseInteger, ReadsTheTextAsASigned32BitInteger) {
    const ParseCase cases[] = {
        {"0", 0},
        {"192", 192},
        {"-1", -1},
        {"+7", 7},
        {"   42", 42},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"99999999999", std::nullopt},
        {"$FF", 255},
        {"$ff", 255},
        {"x1A", 26},
        {"X1a", 26},
        {"0x10", 16},
        {"0X10", 16},
        {"-$10", -16},
        {"$FFFFFFFF", -1},
        {"$80000000", INT32_MIN},
        {"$100000000", std::nullopt},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"-", std::nullopt},
        {"$", std::nullopt},
        {"0x", std::nullopt},
        {"12 ", std::nullopt},
        {"12a", std::nullopt},
        {"1.5", std::nullopt},
        {"--1", std::nullopt},
        {"\t5", std::nullopt},
        {"FF", std::nullopt},
        {"abc", std::nullopt},
        {"0012", 12},
    };
    for (const ParseCase& c : cases)
        EXPECT_EQ(tivaro::ParseInteger(QString::fromUtf8(c.text)), c.value) << '"' << c.text << '"';
}

TEST(StrToInt, UnreadableTextRaisesTheGermanConversionError) {
    EXPECT_EQ(tivaro::StrToInt(u"22222"_s), 22222);
    try {
        tivaro::StrToInt(u"abc"_s);
        FAIL() << "no error";
    } catch (const tivaro::ConvertError& e) {
        EXPECT_STREQ(e.what(), "''abc'' ist kein gültiger Integer-Wert");
    }
}

TEST(NumericFieldModel, ValueIsReadFromTheTextAtEveryUse) {
    tivaro::NumericFieldModel unbounded{192};
    EXPECT_EQ(unbounded.Text(), u"192"_s);
    unbounded.SetText(u"abc"_s);
    EXPECT_EQ(unbounded.Text(), u"abc"_s);
    EXPECT_EQ(unbounded.Value(), 0);
    unbounded.SetText(u"-5000"_s);
    EXPECT_EQ(unbounded.Value(), -5000);  // bounds 0..0 clamp nothing
    unbounded.SetValue(70000);
    EXPECT_EQ(unbounded.Text(), u"70000"_s);

    tivaro::NumericFieldModel port{22222, 0, 65535};
    port.SetText(u"junk"_s);
    EXPECT_EQ(port.Value(), 0);  // the lower bound
    port.SetText(u"70000"_s);
    EXPECT_EQ(port.Value(), 70000);  // reading does not clamp

    tivaro::NumericFieldModel lowBound{5, 3, 9};
    lowBound.SetText(u"x"_s);
    EXPECT_EQ(lowBound.Value(), 3);
}

TEST(NumericFieldModel, WritesStepsAndLeavingClampIntoTheBounds) {
    struct Case {
        const char* text;
        int step;
        bool leave;
        const char* after;
    };
    const Case cases[] = {
        {"70000", 0, true, "65535"},
        {"-3", 0, true, "0"},
        {"500", 0, true, "500"},  // in range: the text stays as typed
        {"$10", 0, true, "$10"},
        {"junk", 0, true, "junk"},  // unreadable text stays on leaving
        {"65535", 1, false, "65535"},
        {"0", -1, false, "0"},
        {"100", 1, false, "101"},
        {"junk", 1, false, "1"},  // unreadable reads as the lower bound 0, then +1
        {"70000", -1, false, "65535"},
    };
    for (const Case& c : cases) {
        tivaro::NumericFieldModel m{0, 0, 65535};
        m.SetText(QString::fromUtf8(c.text));
        if (c.step) m.Step(c.step);
        if (c.leave) m.Leave();
        EXPECT_EQ(m.Text(), QString::fromUtf8(c.after)) << c.text << " step " << c.step;
    }
    tivaro::NumericFieldModel m{0, 0, 65535};
    m.SetValue(-1);
    EXPECT_EQ(m.Value(), 0);
    m.SetValue(1 << 20);
    EXPECT_EQ(m.Value(), 65535);

    tivaro::NumericFieldModel unbounded{0};
    unbounded.SetText(u"300"_s);
    unbounded.Leave();
    unbounded.Step(-1);
    EXPECT_EQ(unbounded.Text(), u"299"_s);
}

TEST(NumericFieldModel, ChangesAreReportedOnlyWhenTheTextChanges) {
    tivaro::NumericFieldModel m{1};
    int changes = 0;
    m.SetOnChanged([&] { ++changes; });
    m.SetText(u"1"_s);
    m.SetValue(1);
    EXPECT_EQ(changes, 0);
    m.SetValue(2);
    m.Step(1);
    EXPECT_EQ(changes, 2);
}

}  // namespace
