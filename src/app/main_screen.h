#pragma once
// The main screen's logic: start-up, the selectors and fields, and writing every list back at
// exit. It owns the lists for the whole run; sub-screens change them in place through the
// accessors and then ask for the matching refresh (FillProfileSelector, FillRecipientSelector,
// LoadProfileSettings).
#include <array>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "app/main_view.h"
#include "app/send_state.h"
#include "platform/sorted_line_list.h"
#include "settings/address_book.h"
#include "settings/connection_settings.h"
#include "settings/environment_settings.h"
#include "settings/profile_store.h"

namespace app {

class MainScreen {
public:
    MainScreen(MainView& view, std::filesystem::path dataDir);

    // Removes stale temporaries of earlier writes, reads every data file and fills the
    // screen. A file that cannot be read leaves its list empty and is never written back;
    // one message names every such file and the start goes on with the others.
    void StartUp();
    // Writes Defult.ini, User.Inf, Adress.dat, Log.dat and Connect.dat whole, except those
    // that could not be read at start. A file that cannot be written is named in one message
    // (and in the error log) and the others are written all the same. True when every file
    // that was read has been written.
    bool SaveOnExit();

    void FillProfileSelector();
    // After the profile list screen closes: as at start, FillProfileSelector and, when the
    // list is not empty, the selected profile's settings and then its texts again (so the
    // detail area shows the newly loaded profile's address).
    void RefreshProfiles();
    void LoadProfileSettings(const std::string& name);
    void LoadProfileTexts();
    void FillRecipientSelector();
    void BrowseFile();
    void DrawDetailTemplate();

    // Control changes made by the user.
    void SenderTextChanged();
    void RecipientChanged();
    void FileFieldChanged();
    void DirectoryFieldChanged();

    // Message text of a failure, in Shift_JIS for the message box.
    static std::string ErrorText(const std::exception& e);

    settings::ProfileStore& Profiles() { return profiles_; }
    settings::AddressBook& Addresses() { return addresses_; }
    settings::TEnvironmentSettings& Environment() { return environment_; }
    // Ports, TLS and name rules per profile and per log record, and passive mode.
    settings::ConnectionStore& Connections() { return connections_; }
    // The send log; its record format belongs to the send log code.
    platform::SortedLineList& LogList() { return log_; }
    TSendState& State() { return state_; }
    MainView& View() { return view_; }
    const std::filesystem::path& DataDir() const { return dataDir_; }

    // The files read at start and written at exit.
    enum class DataFile { Ini, Profiles, Addresses, Log, Connections };
    // False when the file could not be read at start: it is left as it is.
    bool WasRead(DataFile file) const { return !unread_[static_cast<std::size_t>(file)]; }

private:
    // Runs one load step; a failure marks the file unread and is noted for the message.
    template <class Load>
    void LoadStep(DataFile file, Load&& load);
    void Note(std::string text);
    // What SaveOnExit would write into Defult.ini, to tell whether an unread one was changed.
    std::string IniState() const;

    MainView& view_;
    std::filesystem::path dataDir_;
    TSendState state_;
    settings::ProfileStore profiles_;
    settings::AddressBook addresses_;
    settings::TEnvironmentSettings environment_;
    settings::ConnectionStore connections_;
    platform::SortedLineList log_;
    std::array<bool, 5> unread_{};
    std::string iniAtStart_;
    std::vector<std::string>* startNotes_ = nullptr;  // set while StartUp collects messages
};

}  // namespace app
