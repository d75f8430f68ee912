#include "ui/qt_text.h"

#include "platform/screen_text.h"

namespace ui {

QString ToQt(const std::string& sjis) { return QString::fromStdString(platform::SjisToUtf8(sjis)); }

std::string FromQt(const QString& text) { return platform::Utf8ToSjis(text.toStdString()); }

std::optional<std::string> TryFromQt(const QString& text) {
    return platform::TryUtf8ToSjis(text.toStdString());
}

QString BoxText(const std::string& sjis) {
    QString text = ToQt(sjis);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QString JoinAreaLines(const std::vector<std::string>& lines) {
    QString text;
    for (const auto& line : lines) {
        text += ToQt(line);
        text += QLatin1Char('\n');
    }
    return text;
}

std::vector<std::string> SplitAreaLines(const QString& text) {
    std::vector<std::string> lines;
    if (text.isEmpty()) return lines;
    QStringList pieces = text.split(QLatin1Char('\n'));
    if (pieces.back().isEmpty()) pieces.removeLast();
    for (const auto& piece : pieces) lines.push_back(FromQt(piece));
    return lines;
}

}  // namespace ui
