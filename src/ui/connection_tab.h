#pragma once
// The profile editor's tab "接続": every per-profile connection setting — FTP security, port,
// file-name rule and trusted certificate; SMTP security, port, authentication with user and
// password, trusted certificate; POP3 security, port and trusted certificate. Choosing a
// security offers its standard port unless a port of the user's own is entered. The tab never
// sets the editor's size: the described tabs keep theirs, and this one scrolls if need be.
#include <QScrollArea>
#include <optional>
#include <string>

#include "settings/connection_settings.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace ui {

class ConnectionTab : public QScrollArea {
    Q_OBJECT
public:
    explicit ConnectionTab(QWidget* parent);

    void Fill(const settings::TConnectionSettings& settings);
    // The settings as entered; nothing when a field cannot be taken (the message is in
    // `problem`, the field has the focus).
    std::optional<settings::TConnectionSettings> Entered(std::string& problem) const;

    QComboBox* FtpSecurityBox() const { return ftpSecurity_; }
    QLineEdit* FtpPortField() const { return ftpPort_; }
    QComboBox* FtpNamesBox() const { return ftpNames_; }
    QLineEdit* FtpFingerprintField() const { return ftpFingerprint_; }
    QPushButton* FtpForgetButton() const { return ftpForget_; }
    QComboBox* SmtpSecurityBox() const { return smtpSecurity_; }
    QLineEdit* SmtpPortField() const { return smtpPort_; }
    QCheckBox* SmtpAuthBox() const { return smtpAuth_; }
    QLineEdit* SmtpUserField() const { return smtpUser_; }
    QLineEdit* SmtpPasswordField() const { return smtpPassword_; }
    QLineEdit* SmtpFingerprintField() const { return smtpFingerprint_; }
    QPushButton* SmtpForgetButton() const { return smtpForget_; }
    QComboBox* PopSecurityBox() const { return popSecurity_; }
    QLineEdit* PopPortField() const { return popPort_; }
    QLineEdit* PopFingerprintField() const { return popFingerprint_; }
    QPushButton* PopForgetButton() const { return popForget_; }

private:
    void UpdateDependents();

    QComboBox* ftpSecurity_ = nullptr;
    QLineEdit* ftpPort_ = nullptr;
    QComboBox* ftpNames_ = nullptr;
    QLineEdit* ftpFingerprint_ = nullptr;
    QPushButton* ftpForget_ = nullptr;
    QComboBox* smtpSecurity_ = nullptr;
    QLineEdit* smtpPort_ = nullptr;
    QCheckBox* smtpAuth_ = nullptr;
    QLineEdit* smtpUser_ = nullptr;
    QLineEdit* smtpPassword_ = nullptr;
    QLineEdit* smtpFingerprint_ = nullptr;
    QPushButton* smtpForget_ = nullptr;
    QComboBox* popSecurity_ = nullptr;
    QLineEdit* popPort_ = nullptr;
    QLineEdit* popFingerprint_ = nullptr;
    QPushButton* popForget_ = nullptr;
};

}  // namespace ui
