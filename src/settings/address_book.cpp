#include "settings/address_book.h"

#include "platform/data_dir.h"
#include "platform/one_line.h"
#include "platform/texts.h"

namespace settings {
namespace fs = std::filesystem;

TAddressEntry ParseAddressLine(std::string_view line) {
    const std::size_t comma = line.find(',');
    if (comma == std::string_view::npos) return {std::string(line), std::string()};
    return {std::string(line.substr(0, comma)), std::string(line.substr(comma + 1))};
}

std::string FormatAddressLine(const TAddressEntry& e) { return e.Name + "," + e.Address; }

std::string RecipientLabel(const TAddressEntry& e) { return e.Name + " [" + e.Address + "]"; }

bool NameHasComma(const TAddressEntry& e) { return e.Name.find(',') != std::string::npos; }

AddressBook::AddressBook(fs::path dataDir) : dataDir_(std::move(dataDir)) {}

void AddressBook::Load() {
    const fs::path path = platform::ResolveInDir(dataDir_, kAddressFileName);
    lines_.Clear();
    if (platform::Absent(path)) {
        platform::CreateEmpty(path);
        lines_.SetSorted(false);
        return;
    }
    lines_.SetSorted(true);
    lines_.Load(platform::ReadLines(path));
}

void AddressBook::Save() const {
    platform::WriteLines(platform::ResolveInDir(dataDir_, kAddressFileName), lines_.lines());
}

namespace {
// A line break would split the entry into two lines of the book.
void RequireOneLineFields(const TAddressEntry& e) {
    platform::RequireOneLine(e.Name, "the address book name");
    platform::RequireOneLine(e.Address, "the address book address");
}
}  // namespace

std::size_t AddressBook::Add(const TAddressEntry& e) {
    RequireOneLineFields(e);
    return lines_.Add(FormatAddressLine(e));
}

std::size_t AddressBook::Modify(std::size_t pos, const TAddressEntry& e) {
    RequireOneLineFields(e);
    lines_.Delete(pos);
    return Add(e);
}

void AddressBook::Delete(std::size_t pos) { lines_.Delete(pos); }

TAddressEntry AddressBook::Entry(std::size_t pos) const { return ParseAddressLine(lines_.at(pos)); }

std::vector<std::string> AddressBook::SelectorItems() const {
    std::vector<std::string> items;
    for (const auto& line : lines_.lines()) items.push_back(RecipientLabel(ParseAddressLine(line)));
    if (items.empty()) items.push_back(platform::texts().NotRegistered);
    return items;
}

std::vector<AddressGridRow> AddressBook::GridRows() const {
    std::vector<AddressGridRow> rows;
    for (const auto& line : lines_.lines()) {
        auto e = ParseAddressLine(line);
        rows.push_back({std::move(e.Name), std::move(e.Address)});
    }
    if (rows.empty()) rows.push_back({});
    return rows;
}

}  // namespace settings
