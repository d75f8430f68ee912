#pragma once
// A main window over a fresh data directory with one sender profile "demo" and one recipient,
// against local FTP and SMTP servers: shared by the screen tests that send for real.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QTest>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/send_e2e_servers.h"
#include "platform/data_dir.h"
#include "platform/screen_text.h"
#include "settings/header_footer.h"
#include "settings/profile_store.h"
#include "ui/main_window.h"

namespace uitest {

namespace fs = std::filesystem;

inline std::string S(const char* utf8) { return platform::Utf8ToSjis(utf8); }

class Dir {
public:
    Dir() {
        path_ = fs::temp_directory_path() / ("fernlay-send-ui-" + std::to_string(::getpid()) + "-" +
                                             std::to_string(counter_++));
        fs::create_directories(path_);
    }
    ~Dir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    static inline int counter_ = 0;
    fs::path path_;
};

inline void WriteProfile(const fs::path& dir, const std::string& recipient,
                         const std::string& ftpUser = "fern",
                         const std::string& ftpPassword = "ftppass") {
    settings::TSenderProfile p;
    p.Name = "demo";
    p.FtpHost = "127.0.0.1";
    p.HostStartFolder = "/www";
    p.FtpUserId = ftpUser;
    p.FtpPassword = ftpPassword;
    p.WwwAddress = "files.example.test/fern/";
    p.MailName = S("山田");
    p.MailAddress = "sender@example.test";
    p.ReplyAddress = "sender@example.test";
    p.SmtpServer = "127.0.0.1";
    p.PopAuth = "0";
    p.Pop3Server = "127.0.0.1";
    p.DirectoryFixed = "0";
    platform::WriteLines(dir / "User.Inf", {settings::FormatProfileLine(p)});
    platform::WriteLines(dir / "Defult.ini", {"[USER]", "DefaultAdress=demo"});
    platform::WriteLines(dir / "Adress.dat", {S("田中") + "," + recipient});
    platform::WriteLines(settings::HeaderPath(dir, "demo"), {S("いつもお世話になっております。")});
    platform::WriteLines(settings::FooterPath(dir, "demo"), {S("山田")});
}

// A main window over a fresh data directory with one profile, local FTP and SMTP servers (the
// FTP one throttled so that a send can be watched while it runs) and a file already chosen.
struct RealSend {
    Dir data, work;
    std::unique_ptr<apptest::LocalServers> servers;
    std::unique_ptr<ui::MainWindow> window;

    // Empty when everything is up; otherwise why the servers could not start.
    // chooseFile: the file is chosen as "参照" would; otherwise the file dialog returns it.
    std::string Open(const char* fileName, std::size_t size, int ftpBytesPerSecond,
                     bool chooseFile = true) {
        WriteProfile(data.path(), "tanaka@example.test");
        servers =
            std::make_unique<apptest::LocalServers>(work.path() / "srv", false, ftpBytesPerSecond);
        if (!servers->Ready()) return "FTP and SMTP on 127.0.0.1: " + servers->Problem();
        servers->WritePorts(data.path(), "demo");
        const fs::path file = work.path() / fs::path(fileName);
        std::ofstream(file, std::ios::binary) << std::string(size, 'a');
        window = std::make_unique<ui::MainWindow>(data.path());
        window->FileDialog = [file](QWidget*) { return QString::fromStdString(file.string()); };
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        if (chooseFile) window->Screen().BrowseFile();
        return {};
    }
};

}  // namespace uitest
