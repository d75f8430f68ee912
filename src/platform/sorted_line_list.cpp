#include "platform/sorted_line_list.h"

#include <algorithm>
#include <cstdint>

#include "platform/sjis.h"

namespace platform {
namespace {
bool Less(const std::string& a, const std::string& b) { return sjis::CompareNoCase(a, b) < 0; }

// Sorts lines and drops those equal to an earlier one. What is sorted is, per line, its
// position and the first bytes of its folded text (12 bytes a line, where a stable sort of the
// lines would need a buffer of half of them, 16 bytes): most comparisons end there without
// reaching the lines scattered over the heap. Ties go to the earlier line, so of equal lines
// the first stays, as adding them one by one would leave it.
template <class Index>
void SortOnce(std::vector<std::string>& lines) {
    struct Entry {
        std::uint32_t high, low;  // sjis::FoldedKey
        Index index;
    };
    const std::size_t n = lines.size();
    std::vector<Entry> order(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t key = sjis::FoldedKey(lines[i]);
        order[i] = {static_cast<std::uint32_t>(key >> 32), static_cast<std::uint32_t>(key),
                    static_cast<Index>(i)};
    }
    const auto compare = [&](const Entry& a, const Entry& b) {
        if (a.high != b.high) return a.high < b.high ? -1 : 1;
        if (a.low != b.low) return a.low < b.low ? -1 : 1;
        return sjis::CompareNoCase(lines[a.index], lines[b.index]);
    };
    std::sort(order.begin(), order.end(), [&](const Entry& a, const Entry& b) {
        const int c = compare(a, b);
        return c < 0 || (c == 0 && a.index < b.index);
    });
    const auto kept = std::unique(order.begin(), order.end(), [&](const Entry& a, const Entry& b) {
        return compare(a, b) == 0;
    });
    const std::size_t keep = static_cast<std::size_t>(kept - order.begin());
    // Position p takes the line at order[p].index: follow each cycle of that permutation,
    // moving every line once. The dropped lines fill the places after the kept ones.
    std::vector<bool> placed(n, false);
    for (std::size_t p = 0; p < keep; ++p) placed[order[p].index] = true;
    std::size_t next = keep;
    for (std::size_t i = 0; i < n; ++i) {
        if (!placed[i]) order[next++].index = static_cast<Index>(i);
    }
    std::fill(placed.begin(), placed.end(), false);
    for (std::size_t start = 0; start < n; ++start) {
        if (placed[start]) continue;
        std::string held = std::move(lines[start]);
        std::size_t p = start;
        while (order[p].index != start) {
            lines[p] = std::move(lines[order[p].index]);
            placed[p] = true;
            p = order[p].index;
        }
        lines[p] = std::move(held);
        placed[p] = true;
    }
    lines.resize(keep);
}

}  // namespace

void SortedLineList::SetSorted(bool sorted) {
    if (sorted && !sorted_) {
        sorted_ = true;
        Load(std::move(lines_));
    }
    sorted_ = sorted;
}

std::size_t SortedLineList::Add(std::string line) {
    if (!sorted_) {
        lines_.push_back(std::move(line));
        return lines_.size() - 1;
    }
    const auto it = std::lower_bound(lines_.begin(), lines_.end(), line, Less);
    if (it != lines_.end() && sjis::CompareNoCase(*it, line) == 0) return npos;
    const auto index = static_cast<std::size_t>(it - lines_.begin());
    lines_.insert(it, std::move(line));
    return index;
}

void SortedLineList::Load(std::vector<std::string> lines) {
    lines_ = std::move(lines);
    if (!sorted_) return;
    if (lines_.size() <= UINT32_MAX)
        SortOnce<std::uint32_t>(lines_);
    else
        SortOnce<std::size_t>(lines_);
}

void SortedLineList::Delete(std::size_t index) {
    if (index < lines_.size()) lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index));
}

}  // namespace platform
