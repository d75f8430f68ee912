#pragma once
// The in-memory form of the profile list, the address book and the send log.
//
// Sorted mode: lines ordered by their whole text compared without regard to single-byte
// letter case (sjis::CompareNoCase), and a line equal to one present (ignoring case) is not
// added. Unsorted mode (the file was missing at start): lines keep insertion order and
// duplicates are kept.
#include <cstddef>
#include <string>
#include <vector>

namespace platform {

class SortedLineList {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    explicit SortedLineList(bool sorted = true) : sorted_(sorted) {}

    bool Sorted() const { return sorted_; }
    // Switching to sorted sorts the present lines and drops equal ones.
    void SetSorted(bool sorted);

    // Index where the line now stands, or npos when a sorted list dropped it as equal.
    std::size_t Add(std::string line);
    // Replaces the content with lines as if each were added in order (so of lines equal
    // ignoring case the first stays), sorting once instead of line by line.
    void Load(std::vector<std::string> lines);
    // Removes the line at index; an index out of range does nothing.
    void Delete(std::size_t index);
    void Clear() { lines_.clear(); }

    std::size_t size() const { return lines_.size(); }
    bool empty() const { return lines_.empty(); }
    // Throws std::out_of_range for a bad index.
    const std::string& at(std::size_t index) const { return lines_.at(index); }
    const std::vector<std::string>& lines() const { return lines_; }

private:
    std::vector<std::string> lines_;
    bool sorted_;
};

}  // namespace platform
