#include <gtest/gtest.h>

#include "core/explode.h"

using namespace tivaro;

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
        ExplodeCase{".", "192.168.1.20", 0, {"192", "168", "1", "20"}}, ExplodeCase{".", "", 0, {}},
        ExplodeCase{".", "abc", -1, {}}, ExplodeCase{"", "a.b", 0, {"a.b"}}, ExplodeCase{"", "a.b", -1, {}},
        ExplodeCase{".", "a..b", 0, {"a", "", "b"}}, ExplodeCase{".", ".a", 0, {"", "a"}},
        ExplodeCase{".", "a.b.", 0, {"a", "b"}}, ExplodeCase{".", ".", 0, {""}},
        ExplodeCase{".", "..", 0, {"", ""}}, ExplodeCase{".", "1.2.3.4", 2, {"1", "2.3.4"}},
        ExplodeCase{".", "1.2.3.4", 1, {"1.2.3.4"}}, ExplodeCase{".", "1.2.3.4", 9, {"1", "2", "3", "4"}},
        ExplodeCase{"..", "a...b", 0, {"a", ".b"}},
        ExplodeCase{"x", "aXbxc", 0, {"aXb", "c"}},  // case-sensitive
        ExplodeCase{".", "abc", 0, {"abc"}},
        ExplodeCase{".", "FE80:0:0:0:20C:29FF:FE12:3456", 0, {"FE80:0:0:0:20C:29FF:FE12:3456"}},
        // The scan stops at the first NUL; what follows is never looked at.
        ExplodeCase{".", "1.2" + kNul + ".3.4", 0, {"1", "2"}}, ExplodeCase{".", kNul + "a.b", 0, {}},
        ExplodeCase{".", "a.b" + kNul + "c", 2, {"a", "b"}},
        // With a limit the last piece is the rest of the text up to the NUL.
        ExplodeCase{".", "a.b.c" + kNul + ".d", 2, {"a", "b.c"}},
        // Separator longer than the text, and a text that is only separators.
        ExplodeCase{"...", "a.", 0, {"a."}}, ExplodeCase{"ab", "ababab", 0, {"", "", ""}}));

TEST(Explode, ManyPiecesGrowPastTheInitialSlots) {
    QStringList expected;
    QString text;
    for (int i = 0; i < 23; ++i) {
        expected << QString::number(i);
        text += QString::number(i) + ".";
    }
    EXPECT_EQ(Explode(".", text, 0), expected);
    EXPECT_EQ(Explode(".", text, 7).size(), 7);
    EXPECT_EQ(Explode(".", text, 7).last(), text.section('.', 6));
}

}  // namespace
