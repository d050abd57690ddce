// Title derivation, the started program path and the last-resort text.
#include <gtest/gtest.h>

#include "shell/app_title.h"

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
    EXPECT_EQ(tivaro::StartedProgramPath("./bin/../bin/TIVARO-manager", "/home/u", ""),
              "/home/u/bin/TIVARO-manager");
    EXPECT_EQ(tivaro::StartedProgramPath("/a/b/prog", "/elsewhere", ""), "/a/b/prog");
    // Found on the search path: the first directory that holds an executable of that name.
    EXPECT_EQ(tivaro::StartedProgramPath("sh", "/", "/nonexistent:/bin:/usr/bin"), "/bin/sh");
}

TEST(AppTitle, LastResortTextCarriesClassModuleAddressAndFullStop) {
    const QString text = tivaro::LastResortText("std::runtime_error", "tivaro-manager",
                                                reinterpret_cast<const void*>(0xABCD), "kaputt");
    EXPECT_EQ(
        text,
        QString("Exception std::runtime_error in Modul tivaro-manager bei 000000000000ABCD.\r\nkaputt.\r\n"));
    EXPECT_TRUE(tivaro::LastResortText("E", "m", nullptr, "Ende.").endsWith("\r\nEnde.\r\n"));
}

TEST(AppTitle, ErrorClassNameIsDemangled) {
    EXPECT_EQ(tivaro::ErrorClassName(std::runtime_error("x")), "std::runtime_error");
}

}  // namespace
