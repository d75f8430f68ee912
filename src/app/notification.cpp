#include "app/notification.h"

#include "app/download.h"
#include "app/main_screen.h"

namespace app {

std::vector<std::string> ComposeNotification(const std::vector<std::string>& header,
                                             const std::string& downloadBase,
                                             const std::string& fileName, std::int64_t fileSize,
                                             const std::vector<std::string>& footer,
                                             bool utf8Names) {
    std::vector<std::string> lines = header;
    lines.push_back("");
    lines.push_back(DownloadAddress(downloadBase, fileName, utf8Names));
    lines.push_back("");
    for (auto& line : DetailBlock(fileName, fileSize)) lines.push_back(std::move(line));
    lines.push_back("");
    lines.insert(lines.end(), footer.begin(), footer.end());
    return lines;
}

std::vector<std::string> PreviewLines(const std::vector<std::string>& header,
                                      const std::string& downloadBase,
                                      const std::vector<std::string>& footer) {
    std::vector<std::string> lines = header;
    for (auto& line : DetailTemplateLines(downloadBase)) lines.push_back(std::move(line));
    lines.push_back("");
    lines.insert(lines.end(), footer.begin(), footer.end());
    return lines;
}

std::vector<std::string> PreviewFor(MainScreen& screen) {
    MainView& view = screen.View();
    TSendState& state = screen.State();
    state.DownloadBase =
        BuildDownloadBase(state.CurrentProfile.WwwAddress, view.DirectoryText(), state.Utf8Names);
    return PreviewLines(view.HeaderLines(), state.DownloadBase, view.FooterLines());
}

}  // namespace app
