#pragma once
// Shift_JIS <-> QString where program texts meet Qt widgets.
#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

namespace ui {

QString ToQt(const std::string& sjis);
// Characters without a Shift_JIS form become "?".
std::string FromQt(const QString& text);
// Nothing when some character has no Shift_JIS form.
std::optional<std::string> TryFromQt(const QString& text);

// A message box's text: the workflow breaks lines with a lone CR (or CR LF), which a box
// would not show.
QString BoxText(const std::string& sjis);

// Lines of a multi-line text area. Each line is followed by a line break, as in the files,
// so a trailing empty line survives; reading drops only the piece after the last break.
QString JoinAreaLines(const std::vector<std::string>& lines);
std::vector<std::string> SplitAreaLines(const QString& text);

}  // namespace ui
