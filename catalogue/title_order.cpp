#include "catalogue/title_order.h"

#include <locale.h>
#include <wctype.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <string_view>

#include "platform/file_names.h"

namespace pelmaro {
namespace {

// The simple upper-case mapping of a UTF-8 locale, read from a locale object made for it, so that
// the process's own locale (often "C" in a desktop program that never calls setlocale) plays no
// part. The first plane is tabled once; the rare characters beyond it ask the locale each time.
class UpperCase {
public:
    UpperCase() {
        for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8", "en_US.utf8"}) {
            locale_ = ::newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr));
            if (locale_ != static_cast<locale_t>(nullptr)) {
                break;
            }
        }
        table_.resize(0x10000);
        for (char32_t c = 0; c < 0x10000; ++c) {
            table_[c] = locale_ != static_cast<locale_t>(nullptr)
                            ? static_cast<char32_t>(::towupper_l(static_cast<wint_t>(c), locale_))
                            : builtinUpperCase(c);
        }
    }
    UpperCase(const UpperCase&) = delete;
    UpperCase& operator=(const UpperCase&) = delete;

    char32_t operator()(char32_t c) const {
        if (c < 0x10000) {
            return table_[c];
        }
        if (locale_ == static_cast<locale_t>(nullptr)) {
            return c;
        }
        return static_cast<char32_t>(::towupper_l(static_cast<wint_t>(c), locale_));
    }

private:
    locale_t locale_ = static_cast<locale_t>(nullptr);
    std::vector<char32_t> table_;
};

const UpperCase& upperCase() {
    static const UpperCase instance;
    return instance;
}

// Counts per position with prefix sums, and the k-th free place among places marked free.
class Fenwick {
public:
    explicit Fenwick(std::size_t size) : tree_(size + 1, 0) {}

    void add(std::size_t index, long delta) {
        for (std::size_t i = index + 1; i < tree_.size(); i += i & (~i + 1)) {
            tree_[i] += delta;
        }
    }
    // The sum over positions 0..index-1.
    long prefix(std::size_t index) const {
        long sum = 0;
        for (std::size_t i = index; i > 0; i -= i & (~i + 1)) {
            sum += tree_[i];
        }
        return sum;
    }
    // The position p where the running sum first exceeds k (all counts 0 or 1).
    std::size_t findKth(long k) const {
        std::size_t pos = 0;
        std::size_t step = 1;
        while (step * 2 < tree_.size()) {
            step *= 2;
        }
        for (; step > 0; step /= 2) {
            if (pos + step < tree_.size() && tree_[pos + step] <= k) {
                pos += step;
                k -= tree_[pos];
            }
        }
        return pos;
    }

private:
    std::vector<long> tree_;
};

}  // namespace

char32_t builtinUpperCase(char32_t c) {
    if (c < 0x80) {
        return static_cast<unsigned char>(upperAZ(static_cast<char>(c)));
    }
    if (c == 0xB5) {
        return 0x39C;
    }
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) {
        return c - 0x20;
    }
    if (c == 0xFF) {
        return 0x178;
    }
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x131) {
            return 'I';
        }
        if (c == 0x17F) {
            return 'S';
        }
        if (c == 0x138 || c == 0x149) {
            return c;
        }
        const bool lowerIsEven = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        return (c % 2 == 0) == lowerIsEven ? c - 1 : c;
    }
    if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) {
        return c - 0x20;
    }
    switch (c) {
        case 0x3C2:
            return 0x3A3;
        case 0x3AC:
            return 0x386;
        case 0x3AD:
        case 0x3AE:
        case 0x3AF:
            return c - 0x25;
        case 0x3CC:
            return 0x38C;
        case 0x3CD:
        case 0x3CE:
            return c - 0x3F;
        default:
            break;
    }
    if (c >= 0x430 && c <= 0x44F) {
        return c - 0x20;
    }
    if (c >= 0x450 && c <= 0x45F) {
        return c - 0x50;
    }
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x4FF)) {
        return c % 2 == 1 ? c - 1 : c;
    }
    if (c >= 0x4C1 && c <= 0x4CE) {
        return c % 2 == 0 ? c - 1 : c;
    }
    if (c == 0x4CF) {
        return 0x4C0;
    }
    return c;
}

std::string titleOrderKey(const std::string& title) {
    const UpperCase& upper = upperCase();
    std::string key;
    key.reserve(title.size());
    for (std::size_t pos = 0; pos < title.size();) {
        const char byte = title[pos];
        if (static_cast<unsigned char>(byte) < 0x80) {
            key += upperAZ(byte);
            ++pos;
            continue;
        }
        char32_t c = 0;
        const std::size_t length = decodeUtf8(title, pos, c);
        if (length == 0) {
            key += byte;  // not UTF-8: the byte stays
            ++pos;
            continue;
        }
        appendUtf8(key, upper(c));
        pos += length;
    }
    return key;
}

// How the exchange procedure orders: pass 0 holds the first title and exchanges it with every
// strictly greater one it meets, so the left-to-right record maxima each move to the next
// record's place and the first occurrence of the largest key lands at 0. Each later pass i then
// inserts title i into the ordered prefix before it; the insertion carries every run of equal
// keys greater than title i one place right, and because a run's first member is the one lifted
// out and put down at the run's end, the run turns by one. A title equal to a run joins its end.
//
// So each group of equal keys ends as its members in arrival order (their places after pass 0),
// turned left once for every smaller key that arrived after its first member. Turning a group of
// n members k times is turning it k mod n times, and a member that joins a group turned s times
// sits, in the unturned list, just before the member now first; this gives every member its
// place with prefix sums alone.
std::vector<std::size_t> orderByKeys(const std::vector<std::string>& keys) {
    const std::size_t m = keys.size();
    std::vector<std::size_t> result(m);
    std::iota(result.begin(), result.end(), 0);
    if (m < 2) {
        return result;
    }

    // Pass 0.
    std::vector<std::size_t> arrival(m);
    std::iota(arrival.begin(), arrival.end(), 0);
    std::size_t lastRecord = 0;
    for (std::size_t j = 1; j < m; ++j) {
        if (keys[lastRecord] < keys[j]) {
            arrival[j] = lastRecord;
            lastRecord = j;
        }
    }
    arrival[0] = lastRecord;

    // Rank the distinct keys. Most comparisons are settled by the keys' first eight bytes held
    // as one number, without touching the strings.
    struct Sortable {
        std::uint64_t head;
        std::size_t index;
    };
    std::vector<Sortable> byKey(m);
    for (std::size_t i = 0; i < m; ++i) {
        std::uint64_t head = 0;
        for (std::size_t b = 0; b < 8; ++b) {
            head = (head << 8) | (b < keys[i].size() ? static_cast<unsigned char>(keys[i][b]) : 0u);
        }
        byKey[i] = {head, i};
    }
    std::sort(byKey.begin(), byKey.end(), [&](const Sortable& a, const Sortable& b) {
        if (a.head != b.head) {
            return a.head < b.head;
        }
        const int order = keys[a.index].compare(keys[b.index]);
        return order != 0 ? order < 0 : a.index < b.index;
    });
    std::vector<std::size_t> rank(m);
    std::vector<std::size_t> groupStart;  // the first place of each rank in the final order
    for (std::size_t i = 0; i < m; ++i) {
        const std::size_t element = byKey[i].index;
        if (i == 0 || byKey[i].head != byKey[i - 1].head ||
            keys[element] != keys[byKey[i - 1].index]) {
            groupStart.push_back(i);
        }
        rank[element] = groupStart.size() - 1;
    }
    const std::size_t groups = groupStart.size();
    groupStart.push_back(m);

    // For each group: its members in arrival order, and how many smaller keys had arrived when
    // each of them arrived.
    std::vector<std::size_t> memberSlot(groups, 0);
    std::vector<std::size_t> members(m);  // by group, in arrival order
    std::vector<long> smallerBefore(m);   // parallel to members
    Fenwick arrived(groups);
    for (std::size_t t = 0; t < m; ++t) {
        const std::size_t element = arrival[t];
        const std::size_t g = rank[element];
        const std::size_t slot = groupStart[g] + memberSlot[g]++;
        members[slot] = element;
        smallerBefore[slot] = arrived.prefix(g);
        arrived.add(g, 1);
    }

    // Replay each group's turns and joins on its unturned list.
    std::vector<std::size_t> insertAt;
    std::vector<std::size_t> unturned;
    for (std::size_t g = 0; g < groups; ++g) {
        const std::size_t first = groupStart[g];
        const std::size_t n = groupStart[g + 1] - first;
        const long smallerTotal = static_cast<long>(first);  // every smaller key arrives once
        if (n == 1) {
            result[first] = members[first];
            continue;
        }
        insertAt.assign(n, 0);
        std::size_t turned = 0;  // the unturned list turned left this often is the group now
        for (std::size_t j = 1; j < n; ++j) {
            const long turns = smallerBefore[first + j] - smallerBefore[first + j - 1];
            turned = (turned + static_cast<std::size_t>(turns) % j) % j;
            insertAt[j] = turned;
            ++turned;
        }
        const long lastTurns = smallerTotal - smallerBefore[first + n - 1];
        turned = (turned + static_cast<std::size_t>(lastTurns) % n) % n;

        // Places in the unturned list from the insertion places, the last joiner first.
        Fenwick free(n);
        for (std::size_t p = 0; p < n; ++p) {
            free.add(p, 1);
        }
        unturned.assign(n, 0);
        for (std::size_t j = n; j-- > 0;) {
            const std::size_t place = free.findKth(static_cast<long>(insertAt[j]));
            unturned[place] = members[first + j];
            free.add(place, -1);
        }
        for (std::size_t p = 0; p < n; ++p) {
            result[first + p] = unturned[(turned + p) % n];
        }
    }
    return result;
}

std::vector<std::size_t> orderByTitle(const std::vector<std::string>& titles) {
    std::vector<std::string> keys;
    keys.reserve(titles.size());
    for (const auto& title : titles) {
        keys.push_back(titleOrderKey(title));
    }
    return orderByKeys(keys);
}

}  // namespace pelmaro
