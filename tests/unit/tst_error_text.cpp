// The standard error box's text: innermost message and the "." rule.
#include <gtest/gtest.h>

#include <stdexcept>

#include "core/command_boundary.h"

using namespace Qt::StringLiterals;

namespace {

TEST(ErrorText, FullStopRule) {
    struct Case {
        const char* message;
        const char* shown;
    } const cases[] = {
        {"'abc' ist kein gültiger Integer-Wert", "'abc' ist kein gültiger Integer-Wert."},
        {"Socket konnte nicht gebunden werden. Adresse und Port werden bereits verwendet.",
         "Socket konnte nicht gebunden werden. Adresse und Port werden bereits verwendet."},
        {"Socket-Fehler # 10049\r\nDie angeforderte Adresse ist nicht gültig.\r\n",
         "Socket-Fehler # 10049\r\nDie angeforderte Adresse ist nicht gültig.\r\n"},
        {"", ""},
        {"Achtung!", "Achtung!"},
        {"(x)", "(x)"},
        {"a-", "a-"},
        {"a ", "a "},
        {"a,", "a,"},
        {"a/", "a/."},  // "/" is 0x2F, just above "."
        {"a0", "a0."},
        {"ü", "ü."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tivaro::WithFullStop(QString::fromUtf8(c.message)), QString::fromUtf8(c.shown))
            << c.message;
}

TEST(ErrorText, InnermostNonEmptyMessageWins) {
    auto wrapped = [](const char* inner, const char* outer) -> std::exception_ptr {
        try {
            try {
                throw std::runtime_error(inner);
            } catch (...) {
                std::throw_with_nested(std::runtime_error(outer));
            }
        } catch (...) {
            return std::current_exception();
        }
    };
    auto text = [](const std::exception_ptr& p) {
        try {
            std::rethrow_exception(p);
        } catch (const std::exception& e) {
            return tivaro::ErrorMessageText(e);
        }
    };
    EXPECT_EQ(text(wrapped("innen", "außen")), QString::fromUtf8("innen"));
    EXPECT_EQ(text(wrapped("", "außen")), QString::fromUtf8("außen"));
    EXPECT_EQ(tivaro::ErrorMessageText(std::runtime_error("allein")), u"allein"_s);
}

TEST(ErrorText, SilentAbortReachesNoDisplay) {
    int shown = 0;
    tivaro::SetErrorDisplay([&](const std::exception&) { ++shown; });
    tivaro::RunCommand([] { throw tivaro::SilentAbort(); });
    EXPECT_EQ(shown, 0);
    tivaro::RunCommand([] { throw std::runtime_error("x"); });
    EXPECT_EQ(shown, 1);
    tivaro::SetErrorDisplay({});
}

}  // namespace
