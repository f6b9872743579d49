#include "import/lookup_index.h"

#include "services/error.h"

#include <bit>
#include <cstring>

namespace tdb::importer {
namespace {

// Texts: half full at most, so that an absent key, common in several lookups, ends its probe
// soon.
std::size_t slotsFor(std::size_t entries) {
    return std::bit_ceil(std::max<std::size_t>(16, 2 * entries));
}

// Pairs, nearly always found: three quarters full at most keeps the table small, and the slots
// a probe runs over are neighbours.
std::size_t pairSlotsFor(std::size_t entries) {
    return std::bit_ceil(std::max<std::size_t>(16, entries + entries / 3 + 1));
}

std::uint64_t mix(std::uint64_t x) {
    x ^= x >> 32;
    x *= 0xD6E8FEB86659FD93ULL;
    x ^= x >> 32;
    return x;
}

std::uint64_t headOf(std::string_view text) {
    std::uint64_t word = 0;
    std::memcpy(&word, text.data(), std::min<std::size_t>(text.size(), 8));
    return word;
}

// The low bits of a tag: the length of a text of up to 8 bytes, 15 for a longer one. With the
// head they make up the whole of a short text.
constexpr std::uint32_t kLengthBits = 0xF;
// Slots addressed by the 28 hash bits of a tag.
constexpr std::size_t kMaxSlots = std::size_t{1} << 28;

} // namespace

std::uint64_t hashText(std::string_view text) {
    if (text.size() <= 8) {
        // One word: a multiplication spreads it upwards, the mix folds it down.
        return mix(headOf(text) * 0x9E3779B97F4A7C15ULL + text.size());
    }
    const char* p = text.data();
    std::size_t n = text.size();
    std::uint64_t h = 0x9E3779B97F4A7C15ULL * (n + 1);
    while (n >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        h = mix(h ^ word);
        p += 8;
        n -= 8;
    }
    if (n > 0) {
        std::uint64_t word = 0;
        std::memcpy(&word, p, n);
        h = mix(h ^ word);
    }
    return mix(h + 0x632BE59BD9B4E019ULL);
}

TextIds::TextIds(std::size_t expected) {
    rehash(std::min(slotsFor(expected), kMaxSlots));
    starts_.reserve(expected + 1);
}

TextIds::Probe TextIds::probe(std::string_view text) {
    const auto hash = static_cast<std::uint32_t>(hashText(text));
    const auto length = static_cast<std::uint32_t>(text.size() <= 8 ? text.size() : kLengthBits);
    return Probe{headOf(text), (hash << 4) | length};
}

std::size_t TextIds::slotOf(std::string_view text, const Probe& probe) const {
    const bool inSlot = text.size() <= 8; // head and length are the whole text
    std::size_t i = home(probe.tag);
    while (true) {
        const Slot& slot = slots_[i];
        if (slot.id == kNoId || (slot.tag == probe.tag && slot.head == probe.head &&
                                 (inSlot || this->text(slot.id) == text))) {
            return i;
        }
        i = (i + 1) & mask_;
    }
}

std::uint32_t TextIds::add(std::string_view text, const Probe& probe) {
    std::size_t i = slotOf(text, probe);
    if (slots_[i].id != kNoId) {
        return slots_[i].id;
    }
    const std::size_t id = size();
    if (2 * (id + 1) > slots_.size()) {
        if (2 * slots_.size() > kMaxSlots) {
            throw Error("Demasiados textos distintos en las tablas del horario (" +
                        std::to_string(id) + ")");
        }
        rehash(2 * slots_.size());
        i = slotOf(text, probe);
    }
    chars_.append(text);
    starts_.push_back(chars_.size());
    slots_[i] = Slot{probe.head, probe.tag, static_cast<std::uint32_t>(id)};
    return static_cast<std::uint32_t>(id);
}

void TextIds::rehash(std::size_t slotCount) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(slotCount, Slot{0, 0, kNoId});
    mask_ = slotCount - 1;
    for (const Slot& slot : old) {
        if (slot.id != kNoId) {
            std::size_t i = home(slot.tag);
            while (slots_[i].id != kNoId) {
                i = (i + 1) & mask_;
            }
            slots_[i] = slot;
        }
    }
}

PairIndex::PairIndex(std::size_t expected) {
    rehash(pairSlotsFor(expected));
}

std::size_t PairIndex::startOf(std::uint32_t first, std::uint32_t second) const {
    const std::uint64_t key = (std::uint64_t{first} << 32) | second;
    return mix(key * 0x9E3779B97F4A7C15ULL) & mask_;
}

std::size_t PairIndex::slotOf(std::uint32_t first, std::uint32_t second) const {
    std::size_t i = startOf(first, second);
    while (true) {
        const Slot& slot = slots_[i];
        if ((slot.first == first && slot.second == second) ||
            (slot.first == kNoId && slot.second == kNoId)) {
            return i;
        }
        i = (i + 1) & mask_;
    }
}

bool PairIndex::insert(std::uint32_t first, std::uint32_t second, std::uint32_t value) {
    if (first == kNoId && second == kNoId) {
        return false; // the one pair that marks an empty slot: never given a value
    }
    std::size_t i = slotOf(first, second);
    if (slots_[i].first == first && slots_[i].second == second) {
        return false;
    }
    if (pairSlotsFor(count_ + 1) > slots_.size()) {
        rehash(2 * slots_.size());
        i = slotOf(first, second);
    }
    slots_[i] = Slot{first, second, value};
    ++count_;
    return true;
}

std::uint32_t PairIndex::find(std::uint32_t first, std::uint32_t second) const {
    if (first == kNoId && second == kNoId) {
        return kNoId;
    }
    const Slot& slot = slots_[slotOf(first, second)];
    return slot.first == first && slot.second == second ? slot.value : kNoId;
}

void PairIndex::rehash(std::size_t slotCount) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(slotCount, Slot{});
    mask_ = slotCount - 1;
    for (const Slot& slot : old) {
        if (slot.first != kNoId || slot.second != kNoId) {
            slots_[slotOf(slot.first, slot.second)] = slot;
        }
    }
}

} // namespace tdb::importer
