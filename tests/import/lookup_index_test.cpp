#include "import/lookup_index.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tdb::importer {
namespace {

TEST(TextIds, NumbersTextsInTheOrderFirstAddedAndComparesThemExactly) {
    // Short texts live inside the table's slots: texts that differ only in their length, in a
    // NUL, in letter case or past their eighth byte must stay apart.
    const std::vector<std::string> texts = {"",
                                            "A",
                                            "a",
                                            "AB",
                                            std::string("AB\0", 3),
                                            "ABCDEFGH",
                                            "ABCDEFGHI",
                                            "ABCDEFGHJ",
                                            std::string("\0", 1),
                                            "ABCDEFGH ",
                                            "M123456789012345678901234567890",
                                            "M123456789012345678901234567891",
                                            "é€"};
    TextIds ids;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(ids.add(texts[i]), i) << i;
    }
    EXPECT_EQ(ids.size(), texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(ids.add(texts[i]), i) << "a second add keeps the first number";
        EXPECT_EQ(ids.find(texts[i]), i);
        EXPECT_EQ(ids.text(static_cast<std::uint32_t>(i)), texts[i]);
    }
    for (const std::string absent : {"B", "ab", "ABC", "ABCDEFG", "ABCDEFGHK", "ABCDEFGH  ",
                                     "M12345678901234567890123456789"}) {
        EXPECT_EQ(ids.find(absent), kNoId) << absent;
    }
    EXPECT_EQ(ids.find(std::string("A\0", 2)), kNoId);
}

// Many texts, the table growing many times over, against a standard map.
TEST(TextIds, AgreesWithAStandardMapThroughGrowth) {
    std::mt19937 random(7);
    std::unordered_map<std::string, std::uint32_t> expected;
    TextIds ids(4);
    std::vector<std::string> added;
    for (int i = 0; i < 60000; ++i) {
        std::string text(1 + random() % 14, ' ');
        for (char& c : text) {
            c = static_cast<char>('0' + random() % 12); // few characters: many repeats
        }
        const auto [it, inserted] = expected.try_emplace(text, expected.size());
        EXPECT_EQ(ids.add(text), it->second);
        if (inserted) {
            added.push_back(text);
        }
    }
    ASSERT_EQ(ids.size(), expected.size());
    for (std::size_t id = 0; id < added.size(); ++id) {
        ASSERT_EQ(ids.find(added[id]), id);
        ASSERT_EQ(ids.text(static_cast<std::uint32_t>(id)), added[id]);
    }
    EXPECT_EQ(ids.find("X"), kNoId);
}

TEST(PairIndex, TheFirstValueOfAPairIsKept) {
    PairIndex index(2);
    EXPECT_TRUE(index.insert(1, 2, 10));
    EXPECT_FALSE(index.insert(1, 2, 20)) << "a later record with the same pair loses";
    EXPECT_TRUE(index.insert(2, 1, 30)) << "the order within the pair matters";
    EXPECT_TRUE(index.insert(0, 0, 0));
    EXPECT_TRUE(index.insert(kNoId, 5, 40)) << "one half unknown is still a pair";
    EXPECT_FALSE(index.insert(kNoId, kNoId, 50));
    EXPECT_EQ(index.find(1, 2), 10u);
    EXPECT_EQ(index.find(2, 1), 30u);
    EXPECT_EQ(index.find(0, 0), 0u);
    EXPECT_EQ(index.find(kNoId, 5), 40u);
    EXPECT_EQ(index.find(kNoId, kNoId), kNoId);
    EXPECT_EQ(index.find(1, 3), kNoId);
    EXPECT_EQ(index.size(), 4u);

    // Growing keeps every pair and its first value.
    std::mt19937 random(3);
    std::unordered_map<std::uint64_t, std::uint32_t> expected;
    PairIndex grown;
    for (std::uint32_t value = 0; value < 50000; ++value) {
        const std::uint32_t first = random() % 300;
        const std::uint32_t second = random() % 400;
        const bool inserted =
            expected.try_emplace((std::uint64_t{first} << 32) | second, value).second;
        EXPECT_EQ(grown.insert(first, second, value), inserted);
    }
    for (const auto& [key, value] : expected) {
        ASSERT_EQ(grown.find(static_cast<std::uint32_t>(key >> 32),
                             static_cast<std::uint32_t>(key & 0xFFFFFFFF)),
                  value);
    }
    EXPECT_EQ(grown.size(), expected.size());
}

} // namespace
} // namespace tdb::importer
