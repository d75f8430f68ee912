#include "app/main_screen.h"

#include "app/download.h"
#include "platform/data_dir.h"
#include "platform/error.h"
#include "platform/ini_file.h"
#include "platform/screen_text.h"
#include "platform/sjis.h"
#include "platform/texts.h"
#include "settings/header_footer.h"

namespace app {

namespace {
constexpr std::string_view kLogFileName = "Log.dat";
}  // namespace

MainScreen::MainScreen(MainView& view, std::filesystem::path dataDir)
    : view_(view),
      dataDir_(std::move(dataDir)),
      profiles_(dataDir_),
      addresses_(dataDir_),
      connections_(dataDir_),
      log_(true) {}

std::string MainScreen::ErrorText(const std::exception& e) {
    // Our errors carry English text and UTF-8 paths; anything already Shift_JIS passes as is.
    const std::string text = e.what();
    if (auto sjis = platform::TryUtf8ToSjis(text)) return *sjis;
    return text;
}

void MainScreen::StartUp() {
    const auto& t = platform::texts();
    try {
        const platform::IniFile ini(platform::ResolveInDir(dataDir_, settings::kIniFileName));
        profiles_.SetStandardName(
            ini.ReadString(settings::kStandardSection, settings::kStandardKey));
        environment_.Load(ini);

        view_.SetSubject(t.DefaultSubject);
        state_.ResendMode = false;
        // With no profile at all the directory is free to type; a profile overrides this.
        view_.SetDirectoryFixed(false);
        view_.SetDirectoryText("\\");
        DirectoryFieldChanged();

        profiles_.LoadProfileList();
        RefreshProfiles();

        addresses_.Load();
        FillRecipientSelector();

        view_.SetFileText(t.SelectFilePrompt);
        FileFieldChanged();

        log_ = platform::SortedLineList(true);
        const auto logPath = platform::ResolveInDir(dataDir_, kLogFileName);
        if (platform::FileExists(logPath)) {
            for (auto& line : platform::ReadLines(logPath)) log_.Add(std::move(line));
        }
        connections_.Load();
    } catch (const platform::Error& e) {
        view_.ShowMessage(ErrorText(e));
    }
}

bool MainScreen::SaveOnExit() {
    try {
        platform::IniFile ini(platform::ResolveInDir(dataDir_, settings::kIniFileName));
        profiles_.WriteStandardName(ini);
        environment_.Save(ini);
        ini.Save();
        profiles_.SaveProfileList();
        addresses_.Save();
        // Log records hold the encoded FTP password.
        platform::WriteLines(platform::ResolveInDir(dataDir_, kLogFileName), log_.lines(),
                             platform::FileMode::OwnerOnly);
        connections_.Save();
        return true;
    } catch (const platform::Error& e) {
        view_.ShowMessage(ErrorText(e));
        return false;
    }
}

void MainScreen::FillProfileSelector() {
    view_.SetSenderItems(profiles_.SelectorItems());
    view_.SetSenderIndex(profiles_.empty() ? 0 : static_cast<int>(profiles_.StandardPosition()));
    LoadProfileTexts();
}

void MainScreen::RefreshProfiles() {
    FillProfileSelector();
    if (!profiles_.empty()) {
        LoadProfileSettings(view_.SenderText());
        LoadProfileTexts();
    }
}

void MainScreen::LoadProfileSettings(const std::string& name) {
    const auto profile = profiles_.FindProfile(name);
    if (!profile) return;
    state_.CurrentProfile = *profile;
    if (!profile->IsDirectoryFixed()) {
        view_.SetDirectoryFixed(false);
        view_.SetDirectoryText("\\");
    } else {
        view_.SetDirectoryFixed(true);
        state_.DirectoryText = profile->SendDirectory;
        view_.SetDirectoryText(profile->SendDirectory);
    }
    DirectoryFieldChanged();
}

void MainScreen::LoadProfileTexts() {
    if (profiles_.empty()) {
        view_.SetHeaderLines({});
        view_.SetFooterLines({});
        view_.SetDetailLines({});
        return;
    }
    const std::string name = view_.SenderText();
    // Typed text such as "../x" must not reach outside the data directory.
    const bool usable = settings::IsValidProfileName(name);
    view_.SetHeaderLines({});
    if (usable) {
        view_.SetHeaderLines(
            settings::ReadProfileText(dataDir_, settings::TemplateKind::Header, name));
    }
    view_.SetFooterLines({});
    if (usable) {
        view_.SetFooterLines(
            settings::ReadProfileText(dataDir_, settings::TemplateKind::Footer, name));
    }
    DrawDetailTemplate();
}

void MainScreen::DrawDetailTemplate() {
    state_.DownloadBase =
        BuildDownloadBase(state_.CurrentProfile.WwwAddress, view_.DirectoryText());
    view_.SetDetailLines(DetailTemplateLines(state_.DownloadBase));
}

void MainScreen::FillRecipientSelector() {
    view_.SetRecipientItems(addresses_.SelectorItems());
    view_.SetRecipientIndex(0);
}

void MainScreen::BrowseFile() {
    const auto chosen = view_.AskOpenFileName();
    if (!chosen) return;
    // Every text is held in Shift_JIS and the send opens the file again from that form,
    // so the path must survive the round trip unchanged.
    const auto sjisPath = platform::TryUtf8ToSjis(*chosen);
    if (!sjisPath || platform::SjisToUtf8(*sjisPath) != *chosen) {
        view_.ShowMessage(platform::texts().FileNameNotSjis);
        return;
    }
    view_.SetFileText(*sjisPath);
    FileFieldChanged();
    const std::size_t slash = platform::sjis::RFind(*sjisPath, '/');
    state_.FileName = slash == platform::sjis::npos ? *sjisPath : sjisPath->substr(slash + 1);
    state_.LocalPath = *sjisPath;
    state_.ResendMode = false;
}

void MainScreen::SenderTextChanged() {
    LoadProfileSettings(view_.SenderText());
    LoadProfileTexts();
    state_.ResendMode = false;
}

void MainScreen::RecipientChanged() { state_.TransferOk = true; }

void MainScreen::FileFieldChanged() {
    view_.SetStatus("");
    if (view_.FileText() != state_.FileName) state_.ResendMode = false;
}

void MainScreen::DirectoryFieldChanged() {
    state_.ResendMode = false;
    // The detail area follows the download address of the directory as typed.
    if (!profiles_.empty()) DrawDetailTemplate();
}

}  // namespace app
