#include "app/command_line.h"

#include "services/error.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tdb::app {
namespace {

using namespace std::string_literals;

TEST(WindowHandle, AcceptsOneToEightHexadecimalDigitsOfEitherCase) {
    struct Case {
        std::string text;
        std::uint32_t value;
    };
    const Case cases[] = {
        {"0", 0x0},
        {"1A04B2", 0x1A04B2},
        {"1a04b2", 0x1A04B2},
        {"aBcDeF", 0xABCDEF},
        {"00000001", 0x1},
        {"FFFFFFFF", 0xFFFFFFFF},
        {"80000000", 0x80000000},
        {"4200007", 0x4200007},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseWindowHandle(c.text), c.value);
    }
}

TEST(WindowHandle, RejectsEverythingElseNamingTheParameter) {
    const std::string cases[] = {
        "",   "0x1A",    "$1A", "-1",   "+1",   " 1A", "1A ",  "1 A",  "123456789", "000000000",
        "G1", "1A04B2h", "١",   "ＡＢ", "1A\n", "\t",  "0X10", "1e+3", "1.0",       "1A04B2\0"s};
    for (const auto& text : cases) {
        SCOPED_TRACE(text);
        try {
            parseWindowHandle(text);
            ADD_FAILURE() << "accepted";
        } catch (const Error& e) {
            std::string message = e.what();
            EXPECT_NE(message.find("parámetro 2"), std::string::npos) << message;
        }
    }
}

TEST(WindowHandle, MessageShowsTheValueBoundedAndWithoutControlCharacters) {
    struct Case {
        std::string text;
        std::string shown;
    };
    const Case cases[] = {
        {"0x1A", "\"0x1A\""},
        {"a\tb\x01", "\"a?b?\""},
        {std::string(50, 'z'), "\"" + std::string(40, 'z') + "…\""},
        // Forty two-byte characters fit; the cut never splits one.
        {std::string(30, 'x') + "ñññññññññññññ", "\"" + std::string(30, 'x') + "ññññññññññ…\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            parseWindowHandle(c.text);
            ADD_FAILURE() << "accepted";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.shown), std::string::npos) << e.what();
        }
    }
}

TEST(CommandWord, FoldsOnlyAsciiLettersAndTrimsNothing) {
    struct Case {
        std::string word;
        Command command;
    };
    const Case cases[] = {
        {"exportar", Command::Exportar},
        {"EXPORTAR", Command::Exportar},
        {"ExPoRtAr", Command::Exportar},
        {"importar", Command::Importar},
        {"IMPORTAR", Command::Importar},
        {"exportar ", Command::None},
        {" importar", Command::None},
        {"exportar\n", Command::None},
        {"export", Command::None},
        {"exportars", Command::None},
        {"", Command::None},
        {"ímportar", Command::None},
        {"ÍMPORTAR", Command::None},
        {"exportar\0"s, Command::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        EXPECT_EQ(commandWord(c.word), c.command);
    }
}

TEST(Launch, TwoParametersWithAValidHandleSelectAutomatedMode) {
    struct Case {
        std::vector<std::string> params;
        std::optional<std::uint32_t> handle;
        bool error;
        Command onShow;
    };
    const Case cases[] = {
        {{}, std::nullopt, false, Command::None},
        {{"exportar"}, std::nullopt, false, Command::None},
        {{"exportar", "1A04B2"}, 0x1A04B2, false, Command::Exportar},
        {{"EXPORTAR", "1A04B2"}, 0x1A04B2, false, Command::Exportar},
        {{"importar", "ff"}, 0xFF, false, Command::Importar},
        // Still embedded, but the word with its blank runs nothing.
        {{"exportar ", "1A04B2"}, 0x1A04B2, false, Command::None},
        {{"otra", "10"}, 0x10, false, Command::None},
        // A bad handle is reported and leaves the window interactive, yet the word still runs.
        {{"exportar", "0x1A04B2"}, std::nullopt, true, Command::Exportar},
        {{"importar", ""}, std::nullopt, true, Command::Importar},
        {{"importar", "123456789"}, std::nullopt, true, Command::Importar},
        {{"exportar", "1A04B2", "más"}, std::nullopt, false, Command::None},
        {{"1A04B2", "exportar"}, std::nullopt, true, Command::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.params));
        Launch launch = parseLaunch(c.params);
        EXPECT_EQ(launch.parentHandle, c.handle);
        EXPECT_EQ(launch.automated(), c.handle.has_value());
        EXPECT_EQ(launch.error.has_value(), c.error);
        EXPECT_EQ(showCommand(c.params), c.onShow);
    }
}

TEST(Launch, ForcesTheXcbPlatformOnlyToEmbedUnlessHeadless) {
    struct Case {
        std::vector<std::string> params;
        std::optional<std::string> current;
        std::optional<std::string> forced;
    };
    const Case cases[] = {
        {{"exportar", "1A04B2"}, std::nullopt, "xcb"},
        {{"exportar", "1A04B2"}, "wayland", "xcb"},
        {{"otra", "1A04B2"}, "xcb", "xcb"},
        {{"exportar", "1A04B2"}, "offscreen", std::nullopt},
        {{"exportar", "1A04B2"}, "offscreen:fontengine=freetype", std::nullopt},
        {{"exportar", "1A04B2"}, "minimal", std::nullopt},
        {{"exportar", "0x1A04B2"}, std::nullopt, std::nullopt},
        {{"exportar"}, "wayland", std::nullopt},
        {{}, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.params) + " " + c.current.value_or("-"));
        std::optional<std::string_view> current;
        if (c.current) {
            current = *c.current;
        }
        EXPECT_EQ(forcedPlatform(c.params, current), c.forced);
    }
}

} // namespace
} // namespace tdb::app
