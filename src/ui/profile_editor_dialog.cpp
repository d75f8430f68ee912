#include "ui/profile_editor_dialog.h"

#include <QCheckBox>
#include <QEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <exception>
#include <utility>

#include "platform/texts.h"
#include "settings/profile_connections.h"
#include "ui/connection_tab.h"
#include "ui/qt_text.h"
#include "ui/settings_screen_util.h"
#include "ui/template_editor_dialog.h"

namespace ui {

namespace {

QLineEdit* Field(QWidget* parent) { return OneLineField(parent); }

QLineEdit* PasswordField(QWidget* parent) {
    auto* field = OneLineField(parent);
    field->setEchoMode(QLineEdit::Password);
    // Masked characters show as "*".
    field->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    return field;
}

template <class Button>
Button* Labelled(const std::string& sjis, QWidget* parent) {
    auto* button = new Button(ToQt(sjis), parent);
    button->setAccessibleName(button->text());
    return button;
}

void AddRow(QFormLayout* form, QLineEdit* field, const std::string& label, QWidget* parent) {
    form->addRow(LabelFor(field, label, parent), field);
}

// A stored field's text field on the screen (none for the two flags) and its label.
struct FieldRef {
    QLineEdit* field;
    const std::string* label;
};

}  // namespace

ProfileEditorDialog::ProfileEditorDialog(app::MainScreen& screen, QWidget* parent)
    : QDialog(parent), screen_(screen) {
    const auto& t = platform::texts();

    name_ = Field(this);
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(LabelFor(name_, t.ProfileNameLabel, this));
    nameRow->addWidget(name_);

    tabs_ = new QTabWidget(this);
    tabs_->setAccessibleName(ToQt(t.FtpTab) + QLatin1Char('/') + ToQt(t.MailTab) +
                             QLatin1Char('/') + ToQt(t.ConnectionTab));

    // ---- tab "FTP設定" ----
    auto* ftpPage = new QWidget(tabs_);
    auto* ftpGroup = new QGroupBox(ToQt(t.FtpTab), ftpPage);
    ftpGroup->setAccessibleName(ftpGroup->title());
    ftpHost_ = Field(ftpGroup);
    hostStartFolder_ = Field(ftpGroup);
    ftpUserId_ = Field(ftpGroup);
    ftpPassword_ = PasswordField(ftpGroup);
    ftpShowPassword_ = Labelled<QCheckBox>(t.ShowPasswordBox, ftpGroup);
    auto* ftpForm = new QFormLayout;
    AddRow(ftpForm, ftpHost_, t.FtpHostLabel, ftpGroup);
    AddRow(ftpForm, hostStartFolder_, t.HostStartFolderLabel, ftpGroup);
    AddRow(ftpForm, ftpUserId_, t.FtpUserIdLabel, ftpGroup);
    AddRow(ftpForm, ftpPassword_, t.PasswordLabel, ftpGroup);
    ftpForm->addRow(QString(), ftpShowPassword_);

    auto* directoryGroup = new QGroupBox(ToQt(t.SendDirectoryGroup), ftpGroup);
    directoryGroup->setAccessibleName(directoryGroup->title());
    changeable_ = Labelled<QRadioButton>(t.DirectoryChangeable, directoryGroup);
    fixed_ = Labelled<QRadioButton>(t.DirectoryFixedLabel, directoryGroup);
    sendDirectory_ = Field(directoryGroup);
    sendDirectory_->setAccessibleName(directoryGroup->title());
    auto* directoryLayout = new QGridLayout(directoryGroup);
    directoryLayout->addWidget(changeable_, 0, 0);
    directoryLayout->addWidget(fixed_, 1, 0);
    directoryLayout->addWidget(sendDirectory_, 1, 1);
    auto* ftpGroupLayout = new QVBoxLayout(ftpGroup);
    ftpGroupLayout->addLayout(ftpForm);
    ftpGroupLayout->addWidget(directoryGroup);

    auto* wwwGroup = new QGroupBox(ToQt(t.WwwAddressGroup), ftpPage);
    wwwGroup->setAccessibleName(wwwGroup->title());
    wwwAddress_ = Field(wwwGroup);
    wwwAddress_->setAccessibleName(wwwGroup->title());
    (new QVBoxLayout(wwwGroup))->addWidget(wwwAddress_);

    auto* ftpLayout = new QVBoxLayout(ftpPage);
    ftpLayout->addWidget(ftpGroup);
    ftpLayout->addWidget(wwwGroup);
    ftpLayout->addStretch();
    tabs_->addTab(ftpPage, ToQt(t.FtpTab));

    // ---- tab "Mail設定" ----
    auto* mailPage = new QWidget(tabs_);
    auto* userGroup = new QGroupBox(ToQt(t.UserInfoGroup), mailPage);
    userGroup->setAccessibleName(userGroup->title());
    mailName_ = Field(userGroup);
    mailAddress_ = Field(userGroup);
    replyAddress_ = Field(userGroup);
    auto* userForm = new QFormLayout(userGroup);
    AddRow(userForm, mailName_, t.MailNameLabel, userGroup);
    AddRow(userForm, mailAddress_, t.MailAddressLabel, userGroup);
    AddRow(userForm, replyAddress_, t.ReplyAddressLabel, userGroup);

    auto* smtpGroup = new QGroupBox(ToQt(t.SmtpGroup), mailPage);
    smtpGroup->setAccessibleName(smtpGroup->title());
    smtpServer_ = Field(smtpGroup);
    popAuth_ = Labelled<QCheckBox>(t.PopAuthBox, smtpGroup);
    pop3Server_ = Field(smtpGroup);
    popAccount_ = Field(smtpGroup);
    popPassword_ = PasswordField(smtpGroup);
    popShowPassword_ = Labelled<QCheckBox>(t.ShowPasswordBox, smtpGroup);
    auto* smtpForm = new QFormLayout(smtpGroup);
    AddRow(smtpForm, smtpServer_, t.SmtpServerLabel, smtpGroup);
    smtpForm->addRow(popAuth_);
    AddRow(smtpForm, pop3Server_, t.Pop3ServerLabel, smtpGroup);
    AddRow(smtpForm, popAccount_, t.PopAccountLabel, smtpGroup);
    AddRow(smtpForm, popPassword_, t.PasswordLabel, smtpGroup);
    smtpForm->addRow(QString(), popShowPassword_);

    headerButton_ = Labelled<QPushButton>(t.HeaderEditButton, mailPage);
    footerButton_ = Labelled<QPushButton>(t.FooterEditButton, mailPage);
    auto* textButtons = new QVBoxLayout;
    textButtons->addWidget(headerButton_);
    textButtons->addWidget(footerButton_);
    textButtons->addStretch();
    auto* smtpRow = new QHBoxLayout;
    smtpRow->addWidget(smtpGroup, 1);
    smtpRow->addLayout(textButtons);

    auto* mailLayout = new QVBoxLayout(mailPage);
    mailLayout->addWidget(userGroup);
    mailLayout->addLayout(smtpRow);
    mailLayout->addStretch();
    tabs_->addTab(mailPage, ToQt(t.MailTab));

    // ---- tab "接続": ports, TLS, names, certificates (Connect.dat) ----
    connection_ = new ConnectionTab(tabs_);
    tabs_->addTab(connection_, ToQt(t.ConnectionTab));

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    ok_->setAccessibleName(ok_->text());
    cancel_->setAccessibleName(cancel_->text());
    ok_->setDefault(true);  // Enter in any field is "OK", Esc "Cancel"
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(nameRow);
    layout->addWidget(tabs_);
    layout->addLayout(buttons);

    templateEditor_ = new TemplateEditorDialog(screen_.DataDir(), this);

    connect(ftpShowPassword_, &QCheckBox::toggled, this, [this] { UpdateDependents(); });
    connect(popShowPassword_, &QCheckBox::toggled, this, [this] { UpdateDependents(); });
    connect(popAuth_, &QCheckBox::toggled, this, [this] { UpdateDependents(); });
    connect(fixed_, &QRadioButton::toggled, this, [this] { UpdateDependents(); });
    connect(headerButton_, &QPushButton::clicked, this, &ProfileEditorDialog::EditHeader);
    connect(footerButton_, &QPushButton::clicked, this, &ProfileEditorDialog::EditFooter);
    connect(ok_, &QPushButton::clicked, this, &ProfileEditorDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &ProfileEditorDialog::reject);
    // Coming back from the template editor shows the first tab again.
    connect(templateEditor_, &QDialog::finished, this, [this] { tabs_->setCurrentIndex(0); });

    FillNew();
}

void ProfileEditorDialog::UpdateDependents() {
    ftpPassword_->setEchoMode(ftpShowPassword_->isChecked() ? QLineEdit::Normal
                                                            : QLineEdit::Password);
    popPassword_->setEchoMode(popShowPassword_->isChecked() ? QLineEdit::Normal
                                                            : QLineEdit::Password);
    const bool pop = popAuth_->isChecked();
    for (QLineEdit* field : {pop3Server_, popAccount_, popPassword_}) SetFieldActive(field, pop);
    popShowPassword_->setEnabled(pop);
    SetFieldActive(sendDirectory_, fixed_->isChecked());
}

void ProfileEditorDialog::FillNew() {
    newMode_ = true;
    position_ = 0;
    oldName_.clear();
    setWindowTitle(ToQt(platform::texts().NewEntryCaption));
    setAccessibleName(windowTitle());
    for (QLineEdit* field : {name_, ftpHost_, hostStartFolder_, ftpUserId_, ftpPassword_,
                             wwwAddress_, mailName_, mailAddress_, replyAddress_, smtpServer_,
                             pop3Server_, popAccount_, popPassword_, sendDirectory_})
        field->clear();
    changeable_->setChecked(true);
    popAuth_->setChecked(false);
    connection_->Fill({});
    tabs_->setCurrentIndex(0);
    UpdateDependents();
}

void ProfileEditorDialog::FillModify(std::size_t pos, const std::string& line,
                                     const std::string& oldName) {
    newMode_ = false;
    position_ = pos;
    oldName_ = oldName;
    setWindowTitle(ToQt(platform::texts().ModifyEntryCaption));
    setAccessibleName(windowTitle());
    const settings::TSenderProfile p = settings::ParseProfileLine(line);
    // Lines of the older layout (13 "," at most) carry no POP log-in: their account and
    // password serve nothing and are shown empty. A "," is never a Shift_JIS trail byte.
    const bool older = std::count(line.begin(), line.end(), ',') <= 13;
    name_->setText(ToQt(p.Name));
    ftpHost_->setText(ToQt(p.FtpHost));
    hostStartFolder_->setText(ToQt(p.HostStartFolder));
    ftpUserId_->setText(ToQt(p.FtpUserId));
    ftpPassword_->setText(ToQt(p.FtpPassword));
    wwwAddress_->setText(ToQt(p.WwwAddress));
    mailName_->setText(ToQt(p.MailName));
    mailAddress_->setText(ToQt(p.MailAddress));
    replyAddress_->setText(ToQt(p.ReplyAddress));
    smtpServer_->setText(ToQt(p.SmtpServer));
    popAuth_->setChecked(!older && p.PopAuthOn());
    pop3Server_->setText(older ? QString() : ToQt(p.Pop3Server));
    popAccount_->setText(older ? QString() : ToQt(p.PopAccount));
    popPassword_->setText(older ? QString() : ToQt(p.PopPassword));
    (p.IsDirectoryFixed() ? fixed_ : changeable_)->setChecked(true);
    sendDirectory_->setText(ToQt(p.SendDirectory));
    connection_->Fill(screen_.Connections().ForProfile(oldName));
    tabs_->setCurrentIndex(0);
    UpdateDependents();
}

std::optional<settings::TSenderProfile> ProfileEditorDialog::Entered() const {
    settings::TSenderProfile p;
    const std::array<std::pair<QLineEdit*, std::string*>, 14> fields{{
        {name_, &p.Name},
        {ftpHost_, &p.FtpHost},
        {hostStartFolder_, &p.HostStartFolder},
        {ftpUserId_, &p.FtpUserId},
        {ftpPassword_, &p.FtpPassword},
        {wwwAddress_, &p.WwwAddress},
        {mailName_, &p.MailName},
        {mailAddress_, &p.MailAddress},
        {replyAddress_, &p.ReplyAddress},
        {smtpServer_, &p.SmtpServer},
        {pop3Server_, &p.Pop3Server},
        {popAccount_, &p.PopAccount},
        {popPassword_, &p.PopPassword},
        {sendDirectory_, &p.SendDirectory},
    }};
    for (const auto& [field, value] : fields) {
        auto sjis = TryFromQt(field->text());
        if (!sjis) return std::nullopt;
        *value = std::move(*sjis);
    }
    p.PopAuth = popAuth_->isChecked() ? "1" : "0";
    p.DirectoryFixed = changeable_->isChecked() ? "0" : "1";
    return p;
}

void ProfileEditorDialog::accept() {
    const auto& t = platform::texts();
    const auto entered = Entered();
    if (!entered) {
        ShowNotice(this, t.NotShiftJisText);
        return;
    }
    const settings::TSenderProfile& p = *entered;
    if (!settings::IsValidProfileName(p.Name)) {
        name_->setFocus();
        ShowNotice(this, t.InvalidProfileName);
        return;
    }
    if (const auto index = settings::FindCommaField(p)) {
        // The label of each stored field, and where it sits on the screen.
        const std::array<FieldRef, settings::kProfileFieldCount> refs{{
            {name_, &t.ProfileNameLabel},
            {ftpHost_, &t.FtpHostLabel},
            {hostStartFolder_, &t.HostStartFolderLabel},
            {ftpUserId_, &t.FtpUserIdLabel},
            {ftpPassword_, &t.PasswordLabel},
            {wwwAddress_, &t.WwwAddressGroup},
            {mailName_, &t.MailNameLabel},
            {mailAddress_, &t.MailAddressLabel},
            {replyAddress_, &t.ReplyAddressLabel},
            {smtpServer_, &t.SmtpServerLabel},
            {nullptr, &t.PopAuthBox},
            {pop3Server_, &t.Pop3ServerLabel},
            {popAccount_, &t.PopAccountLabel},
            {popPassword_, &t.PasswordLabel},
            {nullptr, &t.SendDirectoryGroup},
            {sendDirectory_, &t.SendDirectoryGroup},
        }};
        const FieldRef& ref = refs.at(*index);
        if (ref.field) {
            tabs_->setCurrentIndex(*index >= 6 && *index <= 13 ? 1 : 0);
            ref.field->setFocus();
        }
        ShowNotice(this, t.CommaInField + *ref.label);
        return;
    }
    std::string problem;
    const auto connection = connection_->Entered(problem);
    if (!connection) {
        tabs_->setCurrentWidget(connection_);
        ShowNotice(this, problem);
        return;
    }

    settings::ProfileStore& store = screen_.Profiles();
    {
        // A failed move of the header/footer files is reported over the list screen,
        // which stays when this screen closes.
        QWidget* owner = parentWidget() ? parentWidget() : this;
        auto previous = std::exchange(
            store.OnMessage, [owner](const std::string& text) { ShowNotice(owner, text); });
        try {
            settings::SaveProfileWithConnection(
                store, screen_.Connections(),
                newMode_ ? std::nullopt : std::optional<std::size_t>(position_), p, oldName_,
                *connection);
        } catch (const std::exception& e) {
            store.OnMessage = std::move(previous);
            ShowNotice(this, app::MainScreen::ErrorText(e));
            return;
        }
        store.OnMessage = std::move(previous);
    }
    if (fixed_->isChecked()) {
        screen_.View().SetDirectoryText(p.SendDirectory);
        screen_.DirectoryFieldChanged();
    }
    screen_.LoadProfileSettings(screen_.View().SenderText());
    QDialog::accept();
}

void ProfileEditorDialog::EditHeader() { EditTemplate(settings::TemplateKind::Header); }
void ProfileEditorDialog::EditFooter() { EditTemplate(settings::TemplateKind::Footer); }

void ProfileEditorDialog::EditTemplate(settings::TemplateKind kind) {
    if (name_->text().isEmpty()) return;
    const auto name = TryFromQt(name_->text());
    if (!name) {
        ShowNotice(this, platform::texts().NotShiftJisText);
        return;
    }
    // The file is named after the typed name: one that is no plain file name would reach
    // outside the data directory.
    if (!settings::IsValidProfileName(*name)) {
        ShowNotice(this, platform::texts().InvalidProfileName);
        return;
    }
    if (templateEditor_->Load(kind, *name)) templateEditor_->open();
}

bool ProfileEditorDialog::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) tabs_->setCurrentIndex(0);
    return QDialog::event(e);
}

}  // namespace ui
