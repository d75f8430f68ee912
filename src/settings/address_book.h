#pragma once
// The address book "Adress.dat": one line per recipient, name, ",", address. The name ends
// at the first ","; the address is the rest of the line.
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sorted_line_list.h"

namespace settings {

inline constexpr std::string_view kAddressFileName = "Adress.dat";

struct TAddressEntry {
    std::string Name;
    std::string Address;
    bool operator==(const TAddressEntry&) const = default;
};

TAddressEntry ParseAddressLine(std::string_view line);
std::string FormatAddressLine(const TAddressEntry& e);
// name + " [" + address + "]"
std::string RecipientLabel(const TAddressEntry& e);
// True when the name holds a "," (which would move part of it into the address).
bool NameHasComma(const TAddressEntry& e);

struct AddressGridRow {
    std::string Name;
    std::string Address;
};

class AddressBook {
public:
    explicit AddressBook(std::filesystem::path dataDir);

    // Reads "Adress.dat" into a sorted list; when it is missing creates it empty and keeps
    // the list unsorted for this run. Throws FileError.
    void Load();
    void Save() const;

    // Return where the line landed, or npos when a sorted book dropped it as equal. A name
    // or address with a CR, LF or NUL is refused (platform::Error) and nothing changes.
    std::size_t Add(const TAddressEntry& e);
    std::size_t Modify(std::size_t pos, const TAddressEntry& e);
    // Out of range does nothing.
    void Delete(std::size_t pos);

    std::size_t size() const { return lines_.size(); }
    bool empty() const { return lines_.empty(); }
    TAddressEntry Entry(std::size_t pos) const;  // throws std::out_of_range
    const platform::SortedLineList& Lines() const { return lines_; }

    // One recipient label per entry, or the single item "未登録".
    std::vector<std::string> SelectorItems() const;
    // One row per entry, or one empty row.
    std::vector<AddressGridRow> GridRows() const;

private:
    std::filesystem::path dataDir_;
    platform::SortedLineList lines_;
};

}  // namespace settings
