// The command line of `tivaro`: usage errors of the real program (exit code 2,
// a message naming the option, nothing sent since no network is touched), its
// help and version, and the CSV reader behind `set --from`.
#include <gtest/gtest.h>

#include "cli/cli_options.h"
#include "cli/text_formats.h"
#include "cli_run.h"

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
        {{"scan"}, "unknown command 'scan'"},
        {{"get"}, "get: needs one unit address IP"},
        {{"get", "198.18.1.10", "198.18.1.11"}, "get: needs one unit address IP"},
        {{"get", "198.18.1.256"}, "get: '198.18.1.256' is not a dotted IPv4 address"},
        {{"get", "unit-1"}, "get: 'unit-1' is not a dotted IPv4 address"},
        {{"discover", "--wait"}, "--wait needs a value"},
        {{"discover", "--wait", "-5"}, "--wait: '-5' is not a number of milliseconds"},
        {{"discover", "--wait=soon"}, "--wait: 'soon' is not a number"},
        {{"discover", "--json", "--csv"}, "--json and --csv exclude each other"},
        {{"discover", "--frobnicate"}, "unknown option '--frobnicate'"},
        {{"discover", "--yes"}, "--yes does not apply to 'discover'"},
        {{"switch", "10.1.2", "--csv"}, "--csv does not apply to 'switch'"},
        {{"switch", "10.1"}, "switch: '10.1' is not a segment A.B.C"},
        {{"switch", "300.1.2", "--yes"}, "switch: '300.1.2' is not a segment A.B.C"},
        {{"set", "198.18.1.10", "--ip", "10.0.0.256"}, "--ip: '10.0.0.256' is not a dotted IPv4 address"},
        {{"set", "198.18.1.10", "--mask", "255.255.0"}, "--mask: '255.255.0' is not a dotted IPv4 address"},
        {{"set", "198.18.1.10", "--port-tx", "70000"}, "--port-tx: 70000 is out of range 5000..65535"},
        {{"set", "198.18.1.10", "--port-rx", "4999"}, "--port-rx: 4999 is out of range 5000..65535"},
        {{"set", "198.18.1.10", "--mysql-port", "999"}, "--mysql-port: 999 is out of range 1000..65535"},
        {{"set", "198.18.1.10", "--mysql-port", "0x0CEA"}, "--mysql-port: '0x0CEA' is not a decimal number"},
        {{"set", "198.18.1.10", "--mysql-user", QString::fromStdString(longText)},
         "--mysql-user: the text is longer than 255 bytes"},
        {{"set", "198.18.1.10", "--mysql-password", "pass\u20ac"}, "--mysql-password: the character"},
        {{"set", "198.18.1.10", "--dry-run=yes"}, "--dry-run takes no value"},
        {{"set", "--from", "units.csv", "198.18.1.10"}, "set: --from takes the units"},
        {{"set", "--from", "units.csv", "--mysql-user", "x"}, "set: --from takes the units"},
        {{"my1", "198.18.1.10", "--verify"}, "--verify does not apply to 'my1'"},
        {{"my2", "198.18.1.10", "--port", "65536"}, "--port: 65536 is out of range 1..65535"},
    };
    for (const UsageCase& c : cases) {
        SCOPED_TRACE(("tivaro " + c.args.join(' ')).toStdString());
        const CliRun r = Tivaro(c.args);
        EXPECT_EQ(r.code, 2) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
}

TEST(CliUsage, HelpAndVersionGoToStdout) {
    for (const QStringList& args :
         {QStringList{"--help"}, QStringList{"get", "-h"}, QStringList{"set", "--help"},
          QStringList{"switch", "10.1.2", "--help"}, QStringList{"--version"}}) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const CliRun r = Tivaro(args);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_TRUE(r.err.empty()) << r.err;
        EXPECT_FALSE(r.out.empty());
    }
    EXPECT_NE(Tivaro({"set", "--help"}).out.find("--mysql-password"), std::string::npos);
    EXPECT_NE(Tivaro({"--help"}).out.find("5  some rows of a --from file failed"), std::string::npos);
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
