#include <gtest/gtest.h>

#include "core/setup_fields.h"
#include "example_settings.h"
#include "protocol/messages.h"

using namespace tivaro;
using namespace Qt::StringLiterals;

namespace {

using tivaro::Bytes;
using tivaro::ModuleSettings;
using tivaro::test::WorkedExampleSettings;

// A settings reply on the wire: "GET", addresses, ports big-endian, three texts.
Bytes ReplyBytes(const ModuleSettings& s, const std::string& url, const std::string& user,
                 const std::string& pass) {
    Bytes b{'G', 'E', 'T'};
    for (const auto* a : {&s.IP_ADDRESS, &s.MASK_ADDRESS, &s.GW_ADDRESS})
        b.insert(b.end(), a->begin(), a->end());
    for (std::uint16_t p : {s.PORT_TX, s.PORT_RX, s.MYSQL_PORT}) {
        b.push_back(static_cast<std::uint8_t>(p >> 8));
        b.push_back(static_cast<std::uint8_t>(p & 0xFF));
    }
    for (const std::string* t : {&url, &user, &pass}) {
        b.push_back(static_cast<std::uint8_t>(t->size()));
        b.insert(b.end(), t->begin(), t->end());
    }
    return b;
}

TEST(SetupFields, DesignValuesCollectAsThePresetWrite) {
    // The dialog opened without any settings reply writes the design values.
    const ModuleSettings s = CollectSettings(SetupFieldValues{});
    EXPECT_EQ(tivaro::FormatIpv4(s.IP_ADDRESS), "0.0.0.0");
    EXPECT_EQ(tivaro::FormatIpv4(s.MASK_ADDRESS), "255.255.255.0");
    EXPECT_EQ(tivaro::FormatIpv4(s.GW_ADDRESS), "0.0.0.0");
    EXPECT_EQ(s.PORT_TX, 5000);
    EXPECT_EQ(s.PORT_RX, 5000);
    EXPECT_EQ(s.MYSQL_PORT, 5000);
    EXPECT_TRUE(s.MYSQL_URL.empty() && s.MYSQL_User.empty() && s.MYSQL_Pass.empty());
    EXPECT_FALSE(s.DHCP_ON);
}

struct PortCase {
    std::uint16_t tx, rx, mysql;
    const char *shownTx, *shownRx, *shownMysql;
};

TEST(SetupFields, FillClampsPortsIntoTheirRanges) {
    const PortCase cases[] = {
        {4000, 22222, 0, "5000", "22222", "1000"},      {5000, 4999, 3306, "5000", "5000", "3306"},
        {65535, 0, 999, "65535", "5000", "1000"},       {1, 65535, 1000, "5000", "65535", "1000"},
        {22223, 5001, 65535, "22223", "5001", "65535"},
    };
    for (const PortCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "reply ports " << c.tx << "/" << c.rx << "/" << c.mysql);
        ModuleSettings s = WorkedExampleSettings();
        s.PORT_TX = c.tx;
        s.PORT_RX = c.rx;
        s.MYSQL_PORT = c.mysql;
        SetupFieldValues f;
        FillFromSettings(f, s);
        EXPECT_EQ(f.PORT_TX, QString::fromUtf8(c.shownTx));
        EXPECT_EQ(f.PORT_RX, QString::fromUtf8(c.shownRx));
        EXPECT_EQ(f.MYSQL_PORT, QString::fromUtf8(c.shownMysql));
        // The write carries what the fields show.
        const ModuleSettings back = CollectSettings(f);
        EXPECT_EQ(QString::number(back.PORT_TX), QString::fromUtf8(c.shownTx));
        EXPECT_EQ(QString::number(back.PORT_RX), QString::fromUtf8(c.shownRx));
        EXPECT_EQ(QString::number(back.MYSQL_PORT), QString::fromUtf8(c.shownMysql));
    }
}

TEST(SetupFields, FillTakesAddressesAndLeavesDhcpAlone) {
    SetupFieldValues f;
    f.IP_ADDRESS = {std::nullopt, 1, std::nullopt, 2};
    f.DHCP_ON = true;
    FillFromSettings(f, WorkedExampleSettings());
    EXPECT_EQ(f.IP_ADDRESS, (Ipv4FieldOctets{192, 168, 1, 50}));
    EXPECT_EQ(f.MASK_ADDRESS, (Ipv4FieldOctets{255, 255, 255, 0}));
    EXPECT_EQ(f.GW_ADDRESS, (Ipv4FieldOctets{192, 168, 1, 1}));
    EXPECT_TRUE(f.DHCP_ON);
}

struct TextCase {
    std::u16string fromReply;  // text of a decoded reply
    QString shown;             // after the fill
};

TEST(SetupFields, FillDropsEveryCharacterAtOrBelowSpace) {
    const TextCase cases[] = {
        {u"db.example", u"db.example"_s},
        {u"my server", u"myserver"_s},
        {u"  a b  ", u"ab"_s},
        {u"a\tb\r\n", u"ab"_s},
        {std::u16string(u"a\0b", 3), u"ab"_s},
        {u"\x01\x1f\x20", u""_s},
        {u"\x21~\x7f\xe4", QString::fromUtf16(u"!~\x7f\xe4")},  // only U+0020 and below go
        {u"", u""_s},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(QString::fromStdU16String(c.fromReply).toStdString());
        ModuleSettings s = WorkedExampleSettings();
        s.MYSQL_URL = s.MYSQL_User = s.MYSQL_Pass = c.fromReply;
        SetupFieldValues f;
        FillFromSettings(f, s);
        EXPECT_EQ(f.MYSQL_URL, c.shown);
        EXPECT_EQ(f.MYSQL_User, c.shown);
        EXPECT_EQ(f.MYSQL_Pass, c.shown);
        EXPECT_EQ(CollectSettings(f).MYSQL_URL, c.shown.toStdU16String());
    }
}

TEST(SetupFields, CollectTrimsTextsAtTheEndsOnly) {
    const std::pair<QString, std::u16string> cases[] = {
        {u"my server"_s, u"my server"},
        {u"  my  server \t"_s, u"my  server"},
        {u"\t\r\n"_s, u""},
        {u"a"_s + QChar(u'\0') + u"b"_s, std::u16string(u"a\0b", 3)},
        {QString(QChar(u'\0')) + u"x"_s + QChar(u'\0'), u"x"},
    };
    for (const auto& [typed, written] : cases) {
        SCOPED_TRACE(typed.toStdString());
        SetupFieldValues f;
        f.MYSQL_URL = f.MYSQL_User = f.MYSQL_Pass = typed;
        const ModuleSettings s = CollectSettings(f);
        EXPECT_EQ(s.MYSQL_URL, written);
        EXPECT_EQ(s.MYSQL_User, written);
        EXPECT_EQ(s.MYSQL_Pass, written);
    }
}

TEST(SetupFields, CollectReadsNumericTextsWithTheFieldMinimum) {
    const std::tuple<QString, std::uint16_t, std::uint16_t> cases[] = {
        // typed text, MYSQL_PORT written, PORT_TX written
        {u""_s, 1000, 5000},         {u"abc"_s, 1000, 5000},     {u"3306x"_s, 1000, 5000},
        {u"3306"_s, 3306, 5000},     {u" 3306"_s, 3306, 5000},   {u"$CEA"_s, 3306, 5000},
        {u"0x5BCF"_s, 23503, 23503}, {u"65535"_s, 65535, 65535},
    };
    for (const auto& [text, mysql, tx] : cases) {
        SCOPED_TRACE(text.toStdString());
        SetupFieldValues f;
        f.MYSQL_PORT = f.PORT_TX = text;
        const ModuleSettings s = CollectSettings(f);
        EXPECT_EQ(s.MYSQL_PORT, mysql);
        EXPECT_EQ(s.PORT_TX, tx);
    }
}

TEST(SetupFields, CollectReadsBlankOctetsAsZero) {
    SetupFieldValues f;
    f.IP_ADDRESS = {192, 168, std::nullopt, std::nullopt};
    f.MASK_ADDRESS = {std::nullopt, std::nullopt, std::nullopt, std::nullopt};
    f.GW_ADDRESS = {std::nullopt, 0, 255, std::nullopt};
    const ModuleSettings s = CollectSettings(f);
    EXPECT_EQ(tivaro::FormatIpv4(s.IP_ADDRESS), "192.168.0.0");
    EXPECT_EQ(tivaro::FormatIpv4(s.MASK_ADDRESS), "0.0.0.0");
    EXPECT_EQ(tivaro::FormatIpv4(s.GW_ADDRESS), "0.0.255.0");
}

TEST(SetupFields, ReplyBytesFilledThenWrittenBack) {
    // A reply with a clamped port, spaces and a NUL in the server, a
    // 40-character user (longer than anyone may type) and a tabbed password.
    ModuleSettings s = WorkedExampleSettings();
    s.PORT_TX = 4000;
    s.MYSQL_PORT = 0;
    const std::string url("d b\0x", 5);
    const std::string user(40, 'u');
    const auto parsed = tivaro::ParseSettingsReply(ReplyBytes(s, url, user, "\tpw\t"));
    ASSERT_TRUE(parsed.has_value());
    SetupFieldValues f;
    FillFromSettings(f, *parsed);
    EXPECT_EQ(f.MYSQL_URL, u"dbx"_s);
    EXPECT_EQ(f.MYSQL_User, QString(40, u'u'));

    const Bytes write = tivaro::BuildSettingsWrite(CollectSettings(f));
    Bytes expected{'S',  'E',  'T', 192, 168, 1, 50,   255,  255,
                   255,  0,    192, 168, 1,   1, 0x13, 0x88,  // PORT_TX 5000 (4000 clamped)
                   0x56, 0xCE,                                // PORT_RX 22222
                   0x03, 0xE8,                                // MYSQL_PORT 1000 (0 clamped)
                   3,    'd',  'b', 'x', 40};
    expected.insert(expected.end(), user.begin(), user.end());
    expected.insert(expected.end(), {2, 'p', 'w', 0});  // password, then DHCP_ON off
    EXPECT_EQ(write, expected);
    EXPECT_EQ(write.size(), 25u + 3 + 40 + 2);
}

TEST(SetupFields, DhcpIsAlwaysCarried) {
    SetupFieldValues f;
    EXPECT_EQ(tivaro::BuildSettingsWrite(CollectSettings(f)).back(), 0);
    f.DHCP_ON = true;
    EXPECT_EQ(tivaro::BuildSettingsWrite(CollectSettings(f)).back(), 1);
}

}  // namespace
