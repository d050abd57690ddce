// The command line of `tivaro`: usage errors of the real program (exit code 2,
// a message naming the option, nothing sent since no network is touched), its
// help and version, and the CSV reader behind `set --from`.
#include <gtest/gtest.h>

#include "cli/cli_options.h"
#include "cli/text_formats.h"
#include "cli_run.h"

using namespace Qt::StringLiterals;

namespace {

using tivaro::test::CliRun;
using tivaro::test::Tivaro;

struct UsageCase {
    QStringList args;
    const char* message;  // part of the message on stderr
};

TEST(CliUsage, ErrorsExitTwoAndNameTheirCause) {
    const std::string longText(256, 'x');
    const UsageCase cases[] = {
        {{}, "no command given"},
        {{u"scan"_s}, "unknown command 'scan'"},
        {{u"get"_s}, "get: needs one unit address IP"},
        {{u"get"_s, u"198.18.1.10"_s, u"198.18.1.11"_s}, "get: needs one unit address IP"},
        {{u"get"_s, u"198.18.1.256"_s}, "get: '198.18.1.256' is not a dotted IPv4 address"},
        {{u"get"_s, u"unit-1"_s}, "get: 'unit-1' is not a dotted IPv4 address"},
        {{u"discover"_s, u"--wait"_s}, "--wait needs a value"},
        {{u"discover"_s, u"--wait"_s, u"-5"_s}, "--wait: '-5' is not a number of milliseconds"},
        {{u"discover"_s, u"--wait=soon"_s}, "--wait: 'soon' is not a number"},
        {{u"discover"_s, u"--json"_s, u"--csv"_s}, "--json and --csv exclude each other"},
        {{u"discover"_s, u"--frobnicate"_s}, "unknown option '--frobnicate'"},
        {{u"discover"_s, u"--yes"_s}, "--yes does not apply to 'discover'"},
        {{u"switch"_s, u"10.1.2"_s, u"--csv"_s}, "--csv does not apply to 'switch'"},
        {{u"switch"_s, u"10.1"_s}, "switch: '10.1' is not a segment A.B.C"},
        {{u"switch"_s, u"300.1.2"_s, u"--yes"_s}, "switch: '300.1.2' is not a segment A.B.C"},
        {{u"set"_s, u"198.18.1.10"_s, u"--ip"_s, u"10.0.0.256"_s},
         "--ip: '10.0.0.256' is not a dotted IPv4 address"},
        {{u"set"_s, u"198.18.1.10"_s, u"--mask"_s, u"255.255.0"_s},
         "--mask: '255.255.0' is not a dotted IPv4 address"},
        {{u"set"_s, u"198.18.1.10"_s, u"--port-tx"_s, u"70000"_s},
         "--port-tx: 70000 is out of range 5000..65535"},
        {{u"set"_s, u"198.18.1.10"_s, u"--port-rx"_s, u"4999"_s},
         "--port-rx: 4999 is out of range 5000..65535"},
        {{u"set"_s, u"198.18.1.10"_s, u"--mysql-port"_s, u"999"_s},
         "--mysql-port: 999 is out of range 1000..65535"},
        {{u"set"_s, u"198.18.1.10"_s, u"--mysql-port"_s, u"0x0CEA"_s},
         "--mysql-port: '0x0CEA' is not a decimal number"},
        {{u"set"_s, u"198.18.1.10"_s, u"--mysql-user"_s, QString::fromStdString(longText)},
         "--mysql-user: the text is longer than 255 bytes"},
        {{u"set"_s, u"198.18.1.10"_s, u"--mysql-password"_s, u"pass\u20ac"_s},
         "--mysql-password: the character"},
        {{u"set"_s, u"198.18.1.10"_s, u"--dry-run=yes"_s}, "--dry-run takes no value"},
        {{u"set"_s, u"--from"_s, u"units.csv"_s, u"198.18.1.10"_s}, "set: --from takes the units"},
        {{u"set"_s, u"--from"_s, u"units.csv"_s, u"--mysql-user"_s, u"x"_s}, "set: --from takes the units"},
        {{u"my1"_s, u"198.18.1.10"_s, u"--verify"_s}, "--verify does not apply to 'my1'"},
        {{u"my2"_s, u"198.18.1.10"_s, u"--port"_s, u"65536"_s}, "--port: 65536 is out of range 1..65535"},
    };
    for (const UsageCase& c : cases) {
        SCOPED_TRACE((u"tivaro "_s + c.args.join(u' ')).toStdString());
        const CliRun r = Tivaro(c.args);
        EXPECT_EQ(r.code, 2) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
}

TEST(CliUsage, HelpAndVersionGoToStdout) {
    for (const QStringList& args :
         {QStringList{u"--help"_s}, QStringList{u"get"_s, u"-h"_s}, QStringList{u"set"_s, u"--help"_s},
          QStringList{u"switch"_s, u"10.1.2"_s, u"--help"_s}, QStringList{u"--version"_s}}) {
        SCOPED_TRACE(args.join(u' ').toStdString());
        const CliRun r = Tivaro(args);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_TRUE(r.err.empty()) << r.err;
        EXPECT_FALSE(r.out.empty());
    }
    EXPECT_NE(Tivaro({u"set"_s, u"--help"_s}).out.find("--mysql-password"), std::string::npos);
    EXPECT_NE(Tivaro({u"--help"_s}).out.find("5  some rows of a --from file failed"), std::string::npos);
}

TEST(CliCsv, RecordsWithQuotesLineEndsAndBlankLines) {
    std::string error;
    const auto records =
        tivaro::cli::ParseCsv("a,b,c\r\n\n\"x,1\",\"say \"\"hi\"\"\",\n\"two\nlines\",,z", &error);
    ASSERT_TRUE(records) << error;
    ASSERT_EQ(records->size(), 3u);
    EXPECT_EQ((*records)[0].fields, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ((*records)[1].fields, (std::vector<std::string>{"x,1", "say \"hi\"", ""}));
    EXPECT_EQ((*records)[1].line, 3);
    EXPECT_EQ((*records)[2].fields, (std::vector<std::string>{"two\nlines", "", "z"}));
    EXPECT_EQ((*records)[2].line, 4);

    EXPECT_FALSE(tivaro::cli::ParseCsv("a,b\n\"open,c\n", &error));
    EXPECT_EQ(error, "line 2: a quoted field is not closed");
}

}  // namespace
