#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Indexes over the timetable tables, built once per import. Keys are the texts as the table
// engine returns them, compared exactly and with letter case. Whoever fills an index in file
// order gets what a scan from the table's first record would answer: the first record with a
// key wins, a later one never replaces it.
//
// They are built for lookups by the hundred thousand, in no order the memory can foresee: each
// lookup should touch one place. The tables are open-addressed arrays; a key of up to eight
// bytes (every code of the timetabler) is kept inside its slot, so that a lookup costs one hash
// and mostly one probe, with no string built, no allocation and no further memory read.
namespace tdb::importer {

inline constexpr std::uint32_t kNoId = 0xFFFFFFFFu;

// Texts numbered 0, 1, 2 ... in the order they are first added.
class TextIds {
public:
    // What a lookup of one text needs, worked out before the lookup: callers with many texts
    // at hand work out a few, prefetch() their slots, and then look them up, so that the
    // memory reads overlap instead of following one another.
    struct Probe {
        std::uint64_t head; // the text's first eight bytes, zero-padded
        std::uint32_t tag;  // 28 hash bits, then the length of a text of up to 8 bytes
    };
    static Probe probe(std::string_view text);

    // Room for `expected` texts before the table grows.
    explicit TextIds(std::size_t expected = 0);

    // The number of `text`; a text not seen before gets the next one, size() before the call.
    std::uint32_t add(std::string_view text) { return add(text, probe(text)); }
    std::uint32_t add(std::string_view text, const Probe& probe);
    // The number of `text`, or kNoId when it was never added.
    std::uint32_t find(std::string_view text) const { return find(text, probe(text)); }
    std::uint32_t find(std::string_view text, const Probe& probe) const {
        return slots_[slotOf(text, probe)].id;
    }
    // Starts reading the memory a lookup with `probe` will read first.
    void prefetch(const Probe& probe) const { __builtin_prefetch(&slots_[home(probe.tag)]); }
    std::string_view text(std::uint32_t id) const {
        return std::string_view(chars_).substr(starts_[id], starts_[id + 1] - starts_[id]);
    }
    std::size_t size() const { return starts_.size() - 1; }

private:
    struct Slot {
        std::uint64_t head; // as in Probe
        std::uint32_t tag;
        std::uint32_t id; // kNoId: empty
    };
    // The slot a text's probe starts at: the tag holds its hash, so that growing the table
    // never reads a text again.
    std::size_t home(std::uint32_t tag) const { return (tag >> 4) & mask_; }
    std::size_t slotOf(std::string_view text, const Probe& probe) const;
    void rehash(std::size_t slotCount);

    std::string chars_;
    std::vector<std::size_t> starts_{0};
    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
};

// Pairs of numbers (two TextIds numbers, say) to a number: the first value given for a pair is
// kept.
class PairIndex {
public:
    explicit PairIndex(std::size_t expected = 0);

    // Gives the pair its value; false, and nothing changes, when it already has one (or is
    // (kNoId, kNoId), which never has one).
    bool insert(std::uint32_t first, std::uint32_t second, std::uint32_t value);
    // The value of the pair, or kNoId.
    std::uint32_t find(std::uint32_t first, std::uint32_t second) const;
    // Starts reading the memory a lookup of the pair will read first.
    void prefetch(std::uint32_t first, std::uint32_t second) const {
        __builtin_prefetch(&slots_[startOf(first, second)]);
    }
    std::size_t size() const { return count_; }

private:
    struct Slot {
        std::uint32_t first = kNoId; // (kNoId, kNoId): empty
        std::uint32_t second = kNoId;
        std::uint32_t value = 0;
    };
    std::size_t startOf(std::uint32_t first, std::uint32_t second) const;
    std::size_t slotOf(std::uint32_t first, std::uint32_t second) const;
    void rehash(std::size_t slotCount);

    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::size_t count_ = 0;
};

// The hash of the indexes: short codes are one or two words, mixed so that codes differing in
// one character land far apart.
std::uint64_t hashText(std::string_view text);

} // namespace tdb::importer
