#include "app/main_screen.h"

#include "app/download.h"
#include "app/error_log.h"
#include "app/refusal.h"
#include "app/send_log.h"
#include "platform/data_dir.h"
#include "platform/error.h"
#include "platform/ini_file.h"
#include "platform/one_line.h"
#include "platform/screen_text.h"
#include "platform/sjis.h"
#include "platform/texts.h"
#include "settings/header_footer.h"

namespace app {

namespace {

bool EndsWithNoCase(std::string_view name, std::string_view end) {
    return name.size() > end.size() &&
           platform::sjis::EqualNoCase(name.substr(name.size() - end.size()), end);
}

// The files this program writes through a temporary, whose leftovers are ours to remove.
bool IsOwnDataFile(std::string_view name) {
    for (const std::string_view own :
         {settings::kIniFileName, settings::kProfileFileName, settings::kAddressFileName,
          kLogFileName, settings::kConnectionFileName}) {
        if (platform::sjis::EqualNoCase(name, own)) return true;
    }
    return EndsWithNoCase(name, ".hed") || EndsWithNoCase(name, ".fot");
}

std::string_view FileNameOf(MainScreen::DataFile file) {
    switch (file) {
        case MainScreen::DataFile::Ini:
            return settings::kIniFileName;
        case MainScreen::DataFile::Profiles:
            return settings::kProfileFileName;
        case MainScreen::DataFile::Addresses:
            return settings::kAddressFileName;
        case MainScreen::DataFile::Log:
            return kLogFileName;
        case MainScreen::DataFile::Connections:
            break;
    }
    return settings::kConnectionFileName;
}

// "「" name "」"
std::string Quoted(std::string_view name) {
    const auto& t = platform::texts();
    return t.FieldOpen + std::string(name) + t.FieldClose;
}

std::string JoinParagraphs(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts) {
        if (!text.empty()) text += "\r\n\r\n";
        text += part;
    }
    return text;
}

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

void MainScreen::Note(std::string text) {
    if (!startNotes_) {
        view_.ShowMessage(text);
        return;
    }
    // The start loads the profile texts twice; one mention is enough.
    for (const std::string& seen : *startNotes_) {
        if (seen == text) return;
    }
    startNotes_->push_back(std::move(text));
}

template <class Load>
void MainScreen::LoadStep(DataFile file, Load&& load) {
    try {
        load();
    } catch (const platform::Error& e) {
        unread_[static_cast<std::size_t>(file)] = true;
        Note(Quoted(FileNameOf(file)) + platform::texts().ReadFailedKept + "\r\n" + ErrorText(e));
    }
}

std::string MainScreen::IniState() const {
    try {
        platform::IniFile scratch{std::filesystem::path()};
        profiles_.WriteStandardName(scratch);
        environment_.Save(scratch);
        return scratch.Text();
    } catch (const platform::Error&) {
        return "?";
    }
}

void MainScreen::StartUp() {
    const auto& t = platform::texts();
    std::vector<std::string> notes;
    startNotes_ = &notes;
    unread_ = {};
    // A write cut short by a kill leaves its temporary (a whole copy, passwords included).
    platform::RemoveStaleTemporaries(dataDir_, IsOwnDataFile);

    LoadStep(DataFile::Ini, [&] {
        const platform::IniFile ini(platform::ResolveInDir(dataDir_, settings::kIniFileName));
        profiles_.SetStandardName(
            ini.ReadString(settings::kStandardSection, settings::kStandardKey));
        environment_.Load(ini);
    });
    if (!WasRead(DataFile::Ini)) iniAtStart_ = IniState();

    view_.SetSubject(t.DefaultSubject);
    state_.ResendMode = false;
    // With no profile at all the directory is free to type; a profile overrides this.
    view_.SetDirectoryFixed(false);
    view_.SetDirectoryText("\\");
    DirectoryFieldChanged();

    // The profiles' name rules decide how the detail area encodes the directory.
    LoadStep(DataFile::Connections, [&] { connections_.Load(); });
    LoadStep(DataFile::Profiles, [&] { profiles_.LoadProfileList(); });
    RefreshProfiles();

    LoadStep(DataFile::Addresses, [&] { addresses_.Load(); });
    FillRecipientSelector();

    view_.SetFileText(t.SelectFilePrompt);
    FileFieldChanged();

    log_ = platform::SortedLineList(true);
    LoadStep(DataFile::Log, [&] { LoadSendLog(log_, dataDir_); });

    startNotes_ = nullptr;
    if (!notes.empty()) view_.ShowMessage(JoinParagraphs(notes));
}

bool MainScreen::SaveOnExit() {
    const auto& t = platform::texts();
    std::vector<std::string> notes;
    bool allWritten = true;
    bool anyWritten = false;
    const auto save = [&](DataFile file, bool changed, const auto& write) {
        if (!WasRead(file)) {
            if (changed) notes.push_back(Quoted(FileNameOf(file)) + t.UnreadNotSaved);
            return;
        }
        try {
            if (write()) anyWritten = true;
        } catch (const platform::Error& e) {
            allWritten = false;
            notes.push_back(Quoted(FileNameOf(file)) + t.SaveFailed + "\r\n" + ErrorText(e));
            try {
                AppendErrorLog(dataDir_, "Save failure: " + ErrorText(e));
            } catch (const platform::Error&) {
                // A full disk takes the error log too; the message still tells.
            }
        }
    };
    save(DataFile::Ini, !WasRead(DataFile::Ini) && IniState() != iniAtStart_, [&] {
        platform::IniFile ini(platform::ResolveInDir(dataDir_, settings::kIniFileName));
        profiles_.WriteStandardName(ini);
        environment_.Save(ini);
        ini.Save();
        return true;
    });
    save(DataFile::Profiles, !profiles_.empty(), [&] {
        profiles_.SaveProfileList();
        return true;
    });
    save(DataFile::Addresses, !addresses_.empty(), [&] {
        addresses_.Save();
        return true;
    });
    save(DataFile::Log, !log_.empty(), [&] {
        SaveSendLog(log_, dataDir_);
        return true;
    });
    save(DataFile::Connections, !connections_.Lines().empty(), [&] { return connections_.Save(); });
    if (!allWritten && anyWritten) notes.push_back(t.OthersSaved);
    if (!notes.empty()) view_.ShowMessage(JoinParagraphs(notes));
    return allWritten;
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
    state_.Utf8Names =
        connections_.ForProfile(profile->Name).FtpNames == settings::TNameRule::Automatic;
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
    // An unreadable text leaves its area empty; the other one and the detail still load.
    const auto load = [&](settings::TemplateKind kind, const char* extension) {
        if (!usable) return std::vector<std::string>();
        try {
            return settings::ReadProfileText(dataDir_, kind, name);
        } catch (const platform::Error& e) {
            Note(Quoted(name + extension) + platform::texts().ReadFailed + "\r\n" + ErrorText(e));
            return std::vector<std::string>();
        }
    };
    view_.SetHeaderLines({});
    view_.SetHeaderLines(load(settings::TemplateKind::Header, ".hed"));
    view_.SetFooterLines({});
    view_.SetFooterLines(load(settings::TemplateKind::Footer, ".fot"));
    DrawDetailTemplate();
}

void MainScreen::DrawDetailTemplate() {
    state_.DownloadBase = BuildDownloadBase(state_.CurrentProfile.WwwAddress, view_.DirectoryText(),
                                            state_.Utf8Names);
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
    // A line break in a file name would split its log record and the STOR command.
    if (platform::HasLineBreakOrNul(*sjisPath)) {
        view_.ShowMessage(
            RefusalMessage(platform::texts().FileLabel, RefusalReason::ControlCharacter));
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
