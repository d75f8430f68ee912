#pragma once
// The sender profile editor (caption "新規登録" or "登録修正"): every field of one profile on
// the tabs "FTP設定" and "Mail設定", and its connection settings on the tab "接続". "OK"
// checks the entry, saves it through the profile store (the connection settings under the
// saved name) and updates the main screen; the header and footer buttons open the template
// editor for the name currently typed.
#include <QDialog>
#include <cstddef>
#include <string>

#include "app/main_screen.h"
#include "settings/header_footer.h"
#include "settings/profile_store.h"

class QCheckBox;
class QLineEdit;
class QProxyStyle;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace ui {

class ConnectionTab;
class TemplateEditorDialog;

class ProfileEditorDialog : public QDialog {
    Q_OBJECT
public:
    ProfileEditorDialog(app::MainScreen& screen, QWidget* parent);

    // Prepare the visit; the caller shows the screen (open() or exec()).
    void FillNew();
    // The profile of the line at pos; oldName is the name the list showed for it.
    void FillModify(std::size_t pos, const std::string& line, const std::string& oldName);

    // The profile as the fields stand (Shift_JIS), or nothing when a field holds a character
    // without a Shift_JIS form.
    std::optional<settings::TSenderProfile> Entered() const;

    bool IsNewMode() const { return newMode_; }
    TemplateEditorDialog* TemplateEditor() const { return templateEditor_; }

    // Controls, in screen order.
    QLineEdit* NameField() const { return name_; }
    QTabWidget* Tabs() const { return tabs_; }
    QLineEdit* FtpHostField() const { return ftpHost_; }
    QLineEdit* HostStartFolderField() const { return hostStartFolder_; }
    QLineEdit* FtpUserIdField() const { return ftpUserId_; }
    QLineEdit* FtpPasswordField() const { return ftpPassword_; }
    QCheckBox* FtpShowPasswordBox() const { return ftpShowPassword_; }
    QRadioButton* ChangeableButton() const { return changeable_; }
    QRadioButton* FixedButton() const { return fixed_; }
    QLineEdit* SendDirectoryField() const { return sendDirectory_; }
    QLineEdit* WwwAddressField() const { return wwwAddress_; }
    QLineEdit* MailNameField() const { return mailName_; }
    QLineEdit* MailAddressField() const { return mailAddress_; }
    QLineEdit* ReplyAddressField() const { return replyAddress_; }
    QLineEdit* SmtpServerField() const { return smtpServer_; }
    QCheckBox* PopAuthBox() const { return popAuth_; }
    QLineEdit* Pop3ServerField() const { return pop3Server_; }
    QLineEdit* PopAccountField() const { return popAccount_; }
    QLineEdit* PopPasswordField() const { return popPassword_; }
    QCheckBox* PopShowPasswordBox() const { return popShowPassword_; }
    QPushButton* HeaderButton() const { return headerButton_; }
    QPushButton* FooterButton() const { return footerButton_; }
    ConnectionTab* Connection() const { return connection_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

public slots:
    // Refuses a name that cannot be a file name and a "," that would shift the stored
    // fields (message, screen stays open); otherwise saves and closes.
    void accept() override;
    void EditHeader();
    void EditFooter();

protected:
    bool event(QEvent* e) override;

private:
    void EditTemplate(settings::TemplateKind kind);
    void UpdateDependents();

    app::MainScreen& screen_;
    bool newMode_ = true;
    std::size_t position_ = 0;
    std::string oldName_;
    TemplateEditorDialog* templateEditor_ = nullptr;
    QProxyStyle* maskStyle_ = nullptr;

    QLineEdit* name_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QLineEdit* ftpHost_ = nullptr;
    QLineEdit* hostStartFolder_ = nullptr;
    QLineEdit* ftpUserId_ = nullptr;
    QLineEdit* ftpPassword_ = nullptr;
    QCheckBox* ftpShowPassword_ = nullptr;
    QRadioButton* changeable_ = nullptr;
    QRadioButton* fixed_ = nullptr;
    QLineEdit* sendDirectory_ = nullptr;
    QLineEdit* wwwAddress_ = nullptr;
    QLineEdit* mailName_ = nullptr;
    QLineEdit* mailAddress_ = nullptr;
    QLineEdit* replyAddress_ = nullptr;
    QLineEdit* smtpServer_ = nullptr;
    QCheckBox* popAuth_ = nullptr;
    QLineEdit* pop3Server_ = nullptr;
    QLineEdit* popAccount_ = nullptr;
    QLineEdit* popPassword_ = nullptr;
    QCheckBox* popShowPassword_ = nullptr;
    QPushButton* headerButton_ = nullptr;
    QPushButton* footerButton_ = nullptr;
    ConnectionTab* connection_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace ui
