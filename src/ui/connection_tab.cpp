#include "ui/connection_tab.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <functional>

#include "platform/texts.h"
#include "settings/environment_settings.h"
#include "ui/qt_text.h"
#include "ui/settings_screen_util.h"

namespace ui {

namespace {

using settings::TSecurity;

// The boxes list the choices in the order of TSecurity / TNameRule.
QComboBox* Choices(const std::vector<const std::string*>& items, QWidget* parent) {
    auto* box = new QComboBox(parent);
    for (const std::string* item : items) box->addItem(ToQt(*item));
    return box;
}

TSecurity SecurityAt(const QComboBox* box) { return static_cast<TSecurity>(box->currentIndex()); }

QGroupBox* Group(const std::string& title, QWidget* parent) {
    auto* group = new QGroupBox(ToQt(title), parent);
    group->setAccessibleName(group->title());
    return group;
}

// A read-only field for a trusted fingerprint and the button that forgets it, as a form row.
void AddFingerprintRow(QFormLayout* form, const std::string& protocol, QLineEdit*& field,
                       QPushButton*& forget, QWidget* parent) {
    const auto& t = platform::texts();
    field = new QLineEdit(parent);
    field->setReadOnly(true);
    forget = new QPushButton(ToQt(t.ForgetFingerprintButton), parent);
    forget->setAccessibleName(ToQt(t.FingerprintLabel + t.ForgetFingerprintButton));
    QObject::connect(forget, &QPushButton::clicked, field, &QLineEdit::clear);
    auto* row = new QHBoxLayout;
    row->addWidget(field, 1);
    row->addWidget(forget);
    form->addRow(LabelFor(field, t.FingerprintLabel, parent), row);
    field->setAccessibleName(ToQt(protocol + t.FingerprintLabel));
}

void AddLabelled(QFormLayout* form, QWidget* field, const std::string& label, QWidget* parent) {
    form->addRow(LabelFor(field, label, parent), field);
}

void AddLabelled(QFormLayout* form, QComboBox* box, const std::string& label, QWidget* parent) {
    form->addRow(LabelFor(box, label, parent), box);
    box->view()->setAccessibleName(box->accessibleName());
}

// Choosing a security puts its standard port in, unless the field holds a port of the user's
// own (one that is no standard port of the protocol).
void OfferPorts(QComboBox* security, QLineEdit* port, int (*standard)(TSecurity)) {
    QObject::connect(security, &QComboBox::currentIndexChanged, port, [=](int) {
        const QString text = port->text().trimmed();
        bool own = !text.isEmpty();
        for (TSecurity s : {TSecurity::None, TSecurity::Explicit, TSecurity::Implicit})
            if (text == QString::number(standard(s))) own = false;
        if (!own) port->setText(QString::number(standard(SecurityAt(security))));
    });
}

std::optional<int> PortOf(const QLineEdit* field) {
    const auto value = settings::ParsePort(field->text().toStdString());
    if (!value || *value < 1 || *value > 65535) return std::nullopt;
    return *value;
}

}  // namespace

ConnectionTab::ConnectionTab(QWidget* parent) : QScrollArea(parent) {
    const auto& t = platform::texts();
    setAccessibleName(ToQt(t.ConnectionTab));
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    // The described tabs decide the editor's size.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    auto* page = new QWidget(this);

    auto* ftp = Group(t.FtpConnectionGroup, page);
    ftpSecurity_ = Choices({&t.SecurityNone, &t.FtpExplicitTls, &t.FtpImplicitTls}, ftp);
    ftpPort_ = new QLineEdit(ftp);
    ftpNames_ = Choices({&t.NameRuleShiftJis, &t.NameRuleAutomatic}, ftp);
    auto* ftpForm = new QFormLayout(ftp);
    AddLabelled(ftpForm, ftpSecurity_, t.SecurityLabel, ftp);
    AddLabelled(ftpForm, ftpPort_, t.PortLabel, ftp);
    AddLabelled(ftpForm, ftpNames_, t.NameRuleLabel, ftp);
    AddFingerprintRow(ftpForm, t.FtpConnectionGroup, ftpFingerprint_, ftpForget_, ftp);

    auto* smtp = Group(t.SmtpConnectionGroup, page);
    smtpSecurity_ = Choices({&t.SecurityNone, &t.SmtpStartTls, &t.ImplicitTls}, smtp);
    smtpPort_ = new QLineEdit(smtp);
    smtpAuth_ = new QCheckBox(ToQt(t.SmtpAuthBox), smtp);
    smtpAuth_->setAccessibleName(smtpAuth_->text());
    smtpUser_ = new QLineEdit(smtp);
    smtpPassword_ = new QLineEdit(smtp);
    smtpPassword_->setEchoMode(QLineEdit::Password);
    auto* smtpForm = new QFormLayout(smtp);
    AddLabelled(smtpForm, smtpSecurity_, t.SecurityLabel, smtp);
    AddLabelled(smtpForm, smtpPort_, t.PortLabel, smtp);
    smtpForm->addRow(smtpAuth_);
    AddLabelled(smtpForm, smtpUser_, t.SmtpUserLabel, smtp);
    AddLabelled(smtpForm, smtpPassword_, t.PasswordLabel, smtp);
    AddFingerprintRow(smtpForm, t.SmtpConnectionGroup, smtpFingerprint_, smtpForget_, smtp);

    auto* pop = Group(t.PopConnectionGroup, page);
    popSecurity_ = Choices({&t.SecurityNone, &t.PopStls, &t.ImplicitTls}, pop);
    popPort_ = new QLineEdit(pop);
    auto* popForm = new QFormLayout(pop);
    AddLabelled(popForm, popSecurity_, t.SecurityLabel, pop);
    AddLabelled(popForm, popPort_, t.PortLabel, pop);
    AddFingerprintRow(popForm, t.PopConnectionGroup, popFingerprint_, popForget_, pop);

    auto* layout = new QGridLayout(page);
    layout->addWidget(ftp, 0, 0);
    layout->addWidget(pop, 1, 0);
    layout->addWidget(smtp, 0, 1, 2, 1);
    layout->setRowStretch(2, 1);
    setWidget(page);

    OfferPorts(ftpSecurity_, ftpPort_, &settings::DefaultFtpPort);
    OfferPorts(smtpSecurity_, smtpPort_, &settings::DefaultSmtpPort);
    OfferPorts(popSecurity_, popPort_, &settings::DefaultPopPort);
    connect(smtpAuth_, &QCheckBox::toggled, this, [this] { UpdateDependents(); });
    for (QLineEdit* f : {ftpFingerprint_, smtpFingerprint_, popFingerprint_})
        connect(f, &QLineEdit::textChanged, this, [this] { UpdateDependents(); });
    Fill({});
}

void ConnectionTab::UpdateDependents() {
    const bool auth = smtpAuth_->isChecked();
    SetFieldActive(smtpUser_, auth);
    SetFieldActive(smtpPassword_, auth);
    ftpForget_->setEnabled(!ftpFingerprint_->text().isEmpty());
    smtpForget_->setEnabled(!smtpFingerprint_->text().isEmpty());
    popForget_->setEnabled(!popFingerprint_->text().isEmpty());
}

void ConnectionTab::Fill(const settings::TConnectionSettings& s) {
    // Boxes first: their change would offer a port over the stored one.
    ftpSecurity_->setCurrentIndex(static_cast<int>(s.FtpSecurity));
    smtpSecurity_->setCurrentIndex(static_cast<int>(s.SmtpSecurity));
    popSecurity_->setCurrentIndex(static_cast<int>(s.PopSecurity));
    ftpNames_->setCurrentIndex(static_cast<int>(s.FtpNames));
    ftpPort_->setText(QString::number(s.FtpPort));
    smtpPort_->setText(QString::number(s.SmtpPort));
    popPort_->setText(QString::number(s.PopPort));
    ftpFingerprint_->setText(QString::fromStdString(s.FtpFingerprint));
    smtpFingerprint_->setText(QString::fromStdString(s.SmtpFingerprint));
    popFingerprint_->setText(QString::fromStdString(s.PopFingerprint));
    smtpAuth_->setChecked(s.SmtpAuth);
    smtpUser_->setText(ToQt(s.SmtpUser));
    smtpPassword_->setText(ToQt(s.SmtpPassword));
    UpdateDependents();
}

std::optional<settings::TConnectionSettings> ConnectionTab::Entered(std::string& problem) const {
    const auto& t = platform::texts();
    settings::TConnectionSettings s;
    const std::pair<QLineEdit*, int*> ports[] = {
        {ftpPort_, &s.FtpPort}, {smtpPort_, &s.SmtpPort}, {popPort_, &s.PopPort}};
    const std::string* names[] = {&t.FtpConnectionGroup, &t.SmtpConnectionGroup,
                                  &t.PopConnectionGroup};
    for (std::size_t i = 0; i < 3; ++i) {
        const auto port = PortOf(ports[i].first);
        if (!port) {
            problem = t.InvalidConnectionPort + *names[i] + " " + t.PortLabel;
            ports[i].first->setFocus();
            return std::nullopt;
        }
        *ports[i].second = *port;
    }
    const auto user = TryFromQt(smtpUser_->text());
    const auto password = TryFromQt(smtpPassword_->text());
    if (!user || !password) {
        problem = t.NotShiftJisText;
        (user ? smtpPassword_ : smtpUser_)->setFocus();
        return std::nullopt;
    }
    s.FtpSecurity = SecurityAt(ftpSecurity_);
    s.FtpNames = static_cast<settings::TNameRule>(ftpNames_->currentIndex());
    s.FtpFingerprint = ftpFingerprint_->text().toStdString();
    s.SmtpSecurity = SecurityAt(smtpSecurity_);
    s.SmtpAuth = smtpAuth_->isChecked();
    s.SmtpUser = *user;
    s.SmtpPassword = *password;
    s.SmtpFingerprint = smtpFingerprint_->text().toStdString();
    s.PopSecurity = SecurityAt(popSecurity_);
    s.PopFingerprint = popFingerprint_->text().toStdString();
    return s;
}

}  // namespace ui
