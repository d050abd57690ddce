// Title derivation, the started program path and the last-resort text.
#include <gtest/gtest.h>

#include "shell/app_title.h"

using namespace Qt::StringLiterals;

namespace {

struct TitleCase {
    const char* path;
    const char* title;
};

TEST(AppTitle, DerivedFromProgramFileName) {
    const TitleCase cases[] = {
        {"C:\\Tools\\NetTool.Setup.EXE", "Nettool"},
        {"netTool.exe", "nettool"},
        {"/usr/bin/tivaro-manager", "tivaro-manager"},
        {"/opt/TIVARO-MANAGER", "Tivaro-manager"},
        {"/opt/x.y/Prog", "Prog"},  // a dot in a directory does not cut the name
        {"/opt/.hidden", ""},
        {"/opt/Ä", "Ä"},
        {"/opt/ÄÖÜ.bin", "Äöü"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tivaro::DeriveTitle(QString::fromUtf8(c.path)), QString::fromUtf8(c.title)) << c.path;
}

TEST(AppTitle, StartedPathKeepsTheSpellingUsed) {
    EXPECT_EQ(tivaro::StartedProgramPath(u"./bin/../bin/TIVARO-manager"_s, u"/home/u"_s, u""_s),
              u"/home/u/bin/TIVARO-manager"_s);
    EXPECT_EQ(tivaro::StartedProgramPath(u"/a/b/prog"_s, u"/elsewhere"_s, u""_s), u"/a/b/prog"_s);
    // Found on the search path: the first directory that holds an executable of that name.
    EXPECT_EQ(tivaro::StartedProgramPath(u"sh"_s, u"/"_s, u"/nonexistent:/bin:/usr/bin"_s), u"/bin/sh"_s);
}

TEST(AppTitle, LastResortTextCarriesClassModuleAddressAndFullStop) {
    const QString text = tivaro::LastResortText(u"std::runtime_error"_s, u"tivaro-manager"_s,
                                                reinterpret_cast<const void*>(0xABCD), u"kaputt"_s);
    EXPECT_EQ(text,
              u"Exception std::runtime_error in Modul tivaro-manager bei 000000000000ABCD.\r\nkaputt.\r\n"_s);
    EXPECT_TRUE(tivaro::LastResortText(u"E"_s, u"m"_s, nullptr, u"Ende."_s).endsWith(u"\r\nEnde.\r\n"_s));
}

TEST(AppTitle, ErrorClassNameIsDemangled) {
    EXPECT_EQ(tivaro::ErrorClassName(std::runtime_error("x")), u"std::runtime_error"_s);
}

}  // namespace
