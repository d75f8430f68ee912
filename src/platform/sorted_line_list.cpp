#include "platform/sorted_line_list.h"

#include <algorithm>

#include "platform/sjis.h"

namespace platform {
namespace {
bool Less(const std::string& a, const std::string& b) { return sjis::CompareNoCase(a, b) < 0; }
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
    // Stable, so of equal lines the earliest stays first and survives the unique step.
    std::stable_sort(lines_.begin(), lines_.end(), Less);
    const auto last = std::unique(lines_.begin(), lines_.end(), [](const auto& a, const auto& b) {
        return sjis::CompareNoCase(a, b) == 0;
    });
    lines_.erase(last, lines_.end());
}

void SortedLineList::Delete(std::size_t index) {
    if (index < lines_.size()) lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index));
}

}  // namespace platform
