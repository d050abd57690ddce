#include <gtest/gtest.h>

#include "core/explode.h"

using namespace tivaro;
using namespace Qt::StringLiterals;

namespace {

struct ExplodeCase {
    QString separator;
    QString text;
    int limit;
    QStringList pieces;
};

void PrintTo(const ExplodeCase& c, std::ostream* os) {
    *os << "Explode(\"" << c.separator.toStdString() << "\", \"" << c.text.toStdString() << "\", " << c.limit
        << ")";
}

class ExplodeTable : public ::testing::TestWithParam<ExplodeCase> {};

TEST_P(ExplodeTable, GivesThePieces) {
    const ExplodeCase& c = GetParam();
    EXPECT_EQ(Explode(c.separator, c.text, c.limit), c.pieces);
}

const QString kNul(QChar(u'\0'));

INSTANTIATE_TEST_SUITE_P(
    Cases, ExplodeTable,
    ::testing::Values(
        ExplodeCase{u"."_s, u"192.168.1.20"_s, 0, {u"192"_s, u"168"_s, u"1"_s, u"20"_s}},
        ExplodeCase{u"."_s, u""_s, 0, {}}, ExplodeCase{u"."_s, u"abc"_s, -1, {}},
        ExplodeCase{u""_s, u"a.b"_s, 0, {u"a.b"_s}}, ExplodeCase{u""_s, u"a.b"_s, -1, {}},
        ExplodeCase{u"."_s, u"a..b"_s, 0, {u"a"_s, u""_s, u"b"_s}},
        ExplodeCase{u"."_s, u".a"_s, 0, {u""_s, u"a"_s}}, ExplodeCase{u"."_s, u"a.b."_s, 0, {u"a"_s, u"b"_s}},
        ExplodeCase{u"."_s, u"."_s, 0, {u""_s}}, ExplodeCase{u"."_s, u".."_s, 0, {u""_s, u""_s}},
        ExplodeCase{u"."_s, u"1.2.3.4"_s, 2, {u"1"_s, u"2.3.4"_s}},
        ExplodeCase{u"."_s, u"1.2.3.4"_s, 1, {u"1.2.3.4"_s}},
        ExplodeCase{u"."_s, u"1.2.3.4"_s, 9, {u"1"_s, u"2"_s, u"3"_s, u"4"_s}},
        ExplodeCase{u".."_s, u"a...b"_s, 0, {u"a"_s, u".b"_s}},
        ExplodeCase{u"x"_s, u"aXbxc"_s, 0, {u"aXb"_s, u"c"_s}},  // case-sensitive
        ExplodeCase{u"."_s, u"abc"_s, 0, {u"abc"_s}},
        ExplodeCase{u"."_s, u"FE80:0:0:0:20C:29FF:FE12:3456"_s, 0, {u"FE80:0:0:0:20C:29FF:FE12:3456"_s}},
        // The scan stops at the first NUL; what follows is never looked at.
        ExplodeCase{u"."_s, u"1.2"_s + kNul + u".3.4"_s, 0, {u"1"_s, u"2"_s}},
        ExplodeCase{u"."_s, kNul + u"a.b"_s, 0, {}},
        ExplodeCase{u"."_s, u"a.b"_s + kNul + u"c"_s, 2, {u"a"_s, u"b"_s}},
        // With a limit the last piece is the rest of the text up to the NUL.
        ExplodeCase{u"."_s, u"a.b.c"_s + kNul + u".d"_s, 2, {u"a"_s, u"b.c"_s}},
        // Separator longer than the text, and a text that is only separators.
        ExplodeCase{u"..."_s, u"a."_s, 0, {u"a."_s}},
        ExplodeCase{u"ab"_s, u"ababab"_s, 0, {u""_s, u""_s, u""_s}}));

TEST(Explode, ManyPiecesGrowPastTheInitialSlots) {
    QStringList expected;
    QString text;
    for (int i = 0; i < 23; ++i) {
        expected << QString::number(i);
        text += QString::number(i) + u"."_s;
    }
    EXPECT_EQ(Explode(u"."_s, text, 0), expected);
    EXPECT_EQ(Explode(u"."_s, text, 7).size(), 7);
    EXPECT_EQ(Explode(u"."_s, text, 7).last(), text.section(u'.', 6));
}

}  // namespace
