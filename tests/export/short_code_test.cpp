#include "export/short_code.h"
#include "services/cp1252.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

using tdb::ShortCodeList;
using tdb::exporter::AllocateShortCode;
using tdb::exporter::ListEntry;
using tdb::exporter::Trim;

namespace {

std::vector<std::string> allocateAll(const std::vector<std::string>& sources, Trim trim,
                                     ListEntry entry) {
    ShortCodeList list;
    std::vector<std::string> codes;
    for (const auto& s : sources) {
        // Sources are written in UTF-8 here; the rule works on Windows-1252 text.
        codes.push_back(tdb::cp1252::toUtf8(
            AllocateShortCode(tdb::cp1252::fromUtf8(s), list, trim, entry)));
    }
    return codes;
}

struct Case {
    const char* what;
    std::vector<std::string> sources;
    Trim trim;
    ListEntry entry;
    std::vector<std::string> expected;
};

class ShortCodeCases : public ::testing::TestWithParam<Case> {};

TEST_P(ShortCodeCases, HandsOutTheExpectedCodes) {
    const Case& c = GetParam();
    EXPECT_EQ(allocateAll(c.sources, c.trim, c.entry), c.expected) << c.what;
}

const std::vector<Case> kCases = {
    {"short source unchanged, long one cut to 10",
     {"ABC", "ABCDEFGHIJKLM"},
     Trim::No,
     ListEntry::FinalCode,
     {"ABC", "ABCDEFGHIJ"}},
    {"a short base grows with the counter",
     {"ABC", "ABC", "ABC"},
     Trim::No,
     ListEntry::FinalCode,
     {"ABC", "ABC1", "ABC2"}},
    {"a 10-character base loses its last character on a clash",
     {"ABCDEFGHIJ", "ABCDEFGHIJX"},
     Trim::No,
     ListEntry::FinalCode,
     {"ABCDEFGHIJ", "ABCDEFGHI1"}},
    {"a 9-character base keeps its characters",
     {"ABCDEFGHI", "ABCDEFGHI"},
     Trim::No,
     ListEntry::FinalCode,
     {"ABCDEFGHI", "ABCDEFGHI1"}},
    {"letter case is ignored, the new code keeps its own case",
     {"ABC", "abc", "Ñandú", "ÑANDÚ"},
     Trim::No,
     ListEntry::FinalCode,
     {"ABC", "abc1", "Ñandú", "ÑANDÚ1"}},
    {"accents are not letter case",
     {"ANDA", "ÁNDA"},
     Trim::No,
     ListEntry::FinalCode,
     {"ANDA", "ÁNDA"}},
    {"empty sources: empty code, then counters",
     {"", "", ""},
     Trim::No,
     ListEntry::FinalCode,
     {"", "1", "2"}},
    {"the first free counter is taken",
     {"AB", "AB1", "AB"},
     Trim::No,
     ListEntry::FinalCode,
     {"AB", "AB1", "AB2"}},
    {"trim after the cut drops the blank of the tenth character",
     {"AULA DE 1 B", "AULA DE 1 C"},
     Trim::AfterCut,
     ListEntry::FinalCode,
     {"AULA DE 1", "AULA DE 11"}},
};

INSTANTIATE_TEST_SUITE_P(Rule, ShortCodeCases, ::testing::ValuesIn(kCases));

// The allocation under "without trim": a source whose tenth character is a blank. The base keeps
// the blank, which the column cannot tell from padding; on the clash it loses it as its tenth
// character and is numbered.
TEST(ShortCode, TrailingBlankBaseClashesWithItsTrimmedForm) {
    ShortCodeList list;
    EXPECT_EQ(AllocateShortCode("AULA DE 1", list, Trim::No, ListEntry::FinalCode), "AULA DE 1");
    EXPECT_EQ(AllocateShortCode("AULA DE 1 B", list, Trim::No, ListEntry::FinalCode), "AULA DE 11");
}

std::vector<std::string> sameStart(int count) {
    std::vector<std::string> sources;
    for (int i = 0; i < count; ++i) {
        sources.push_back("ABCDEFGHIJ" + std::to_string(i));
    }
    return sources;
}

// Sources sharing their first ten characters, with both list-entry forms: every code differs
// from every earlier one, and the codes follow the numbering as far as it is unique.
TEST(ShortCode, SharedStartsGiveUniqueCodes) {
    for (auto entry : {ListEntry::FinalCode, ListEntry::CodeBeforeCut}) {
        auto codes = allocateAll(sameStart(300), Trim::No, entry);
        EXPECT_EQ(codes[0], "ABCDEFGHIJ");
        EXPECT_EQ(codes[1], "ABCDEFGHI1");
        EXPECT_EQ(codes[9], "ABCDEFGHI9");
        EXPECT_EQ(codes[10], "ABCDEFGH10");
        EXPECT_EQ(codes[11], "ABCDEFGH11");
        EXPECT_EQ(codes[99], "ABCDEFGH99");
        EXPECT_EQ(codes[100], "ABCDEFGH00");
        std::set<std::string> seen;
        for (const auto& code : codes) {
            EXPECT_LE(code.size(), 10u);
            EXPECT_TRUE(seen.insert(code).second) << "duplicate " << code;
        }
    }
}

// A cut code equal to an earlier direct code is not handed out again.
TEST(ShortCode, CutCodeNeverRepeatsADirectCode) {
    std::vector<std::string> sources = sameStart(11);
    sources.insert(sources.begin() + 1, "ABCDEFGH10");
    auto codes = allocateAll(sources, Trim::No, ListEntry::FinalCode);
    EXPECT_EQ(codes[1], "ABCDEFGH10");
    EXPECT_EQ(codes.back(), "ABCDEFGH11");
}

// Ten thousand identical sources stay fast and unique (the search resumes where it stopped).
TEST(ShortCode, ManyClashesOnOneBase) {
    auto codes =
        allocateAll(std::vector<std::string>(10000, "JGP"), Trim::No, ListEntry::FinalCode);
    std::set<std::string> seen(codes.begin(), codes.end());
    EXPECT_EQ(seen.size(), codes.size());
    EXPECT_EQ(codes[1], "JGP1");
    EXPECT_EQ(codes[9999], "JGP9999");
}

} // namespace
