#pragma once
// The main screen's logic: start-up, the selectors and fields, and writing every list back at
// exit. It owns the lists for the whole run; sub-screens change them in place through the
// accessors and then ask for the matching refresh (FillProfileSelector, FillRecipientSelector,
// LoadProfileSettings).
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

    // Reads every data file and fills the screen; a read failure is shown as a message and
    // the remaining steps are skipped.
    void StartUp();
    // Writes Defult.ini, User.Inf, Adress.dat, Log.dat and Connect.dat whole. On failure shows the message,
    // writes nothing further and returns false (the screen stays open).
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

private:
    MainView& view_;
    std::filesystem::path dataDir_;
    TSendState state_;
    settings::ProfileStore profiles_;
    settings::AddressBook addresses_;
    settings::TEnvironmentSettings environment_;
    settings::ConnectionStore connections_;
    platform::SortedLineList log_;
};

}  // namespace app
