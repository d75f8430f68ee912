#pragma once
// Starts tests/servers/e2e_servers.py (FTP, SMTP and POP3 on free ports of 127.0.0.1) for one
// test and stops it at the end; WritePorts points a profile's connection settings at them.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "settings/connection_settings.h"

#ifndef FERNLAY_SOURCE_DIR
#error "FERNLAY_SOURCE_DIR must be defined"
#endif

namespace apptest {

class LocalServers {
public:
    // Returns with Ready() true once every server answers; Problem() says why not otherwise.
    // readLimit: bytes per second the FTP server accepts for uploads (0 = no limit).
    LocalServers(const std::filesystem::path& work, bool withPop, int readLimit = 0) : work_(work) {
        const std::string limit = std::to_string(readLimit);
        const std::string script =
            std::string(FERNLAY_SOURCE_DIR) + "/tests/servers/e2e_servers.py";
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) {
            problem_ = "pipe failed";
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            // The servers' own logs go beside their files, not into the test output.
            const std::string log = (work / "servers.log").string();
            std::filesystem::create_directories(work);
            if (FILE* l = std::fopen(log.c_str(), "w")) dup2(fileno(l), 2);
            close(in[1]);
            close(out[0]);
            std::vector<const char*> argv{"/usr/bin/python3", script.c_str(), work.c_str()};
            if (!withPop) argv.push_back("--no-pop");
            if (readLimit > 0) {
                argv.push_back("--ftp-read-limit");
                argv.push_back(limit.c_str());
            }
            argv.push_back(nullptr);
            execv(argv[0], const_cast<char* const*>(argv.data()));
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        stdin_ = in[1];
        FILE* f = fdopen(out[0], "r");
        char line[512] = {};
        if (f && fgets(line, sizeof line, f)) {
            std::string text(line);
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
            if (std::sscanf(text.c_str(), "READY ftp=%d smtp=%d pop=%d", &ftpPort_, &smtpPort_,
                            &popPort_) == 3) {
                ready_ = true;
            } else {
                problem_ = text;
            }
        } else {
            problem_ = "server script ended without a word (python3, pyftpdlib, aiosmtpd?)";
        }
        if (f) fclose(f);
    }
    ~LocalServers() {
        if (stdin_ >= 0) close(stdin_);
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
    }
    LocalServers(const LocalServers&) = delete;
    LocalServers& operator=(const LocalServers&) = delete;

    bool Ready() const { return ready_; }
    const std::string& Problem() const { return problem_; }
    int FtpPort() const { return ftpPort_; }
    int SmtpPort() const { return smtpPort_; }
    int PopPort() const { return popPort_; }
    std::filesystem::path FtpHome() const { return work_ / "ftp"; }

    // The profile's entry in dataDir's Connect.dat gets these servers' ports (its other
    // settings stay; without POP3 its port stays as it was).
    void WritePorts(const std::filesystem::path& dataDir, const std::string& profile) const {
        settings::ConnectionStore store(dataDir);
        store.Load();
        settings::TConnectionSettings s = store.ForProfile(profile);
        s.FtpPort = ftpPort_;
        s.SmtpPort = smtpPort_;
        if (popPort_ > 0) s.PopPort = popPort_;
        store.SetProfile(profile, s);
        store.Save();
    }
    std::filesystem::path Maildir() const { return work_ / "Maildir"; }

private:
    std::filesystem::path work_;
    pid_t pid_ = -1;
    int stdin_ = -1;
    bool ready_ = false;
    int ftpPort_ = 0, smtpPort_ = 0, popPort_ = 0;
    std::string problem_;
};

// Every message of the Maildir as read by Python's email package: one JSON line each.
inline std::vector<std::string> ReadMailJson(const std::filesystem::path& maildir) {
    const std::string cmd = "/usr/bin/python3 " + std::string(FERNLAY_SOURCE_DIR) +
                            "/tests/servers/e2e_read_mail.py '" + maildir.string() + "'";
    std::vector<std::string> lines;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return lines;
    std::string current;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) current.append(buf, n);
    pclose(p);
    std::size_t start = 0;
    while (start < current.size()) {
        std::size_t end = current.find('\n', start);
        if (end == std::string::npos) end = current.size();
        if (end > start) lines.push_back(current.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace apptest
