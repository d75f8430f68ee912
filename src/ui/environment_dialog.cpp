#include "ui/environment_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "platform/texts.h"
#include "ui/qt_text.h"
#include "ui/settings_screen_util.h"

namespace ui {

namespace {

QRadioButton* Radio(const std::string& sjis, QWidget* parent) {
    auto* button = new QRadioButton(ToQt(sjis), parent);
    button->setAccessibleName(button->text());
    return button;
}

// Sets both members of a pair as stored; both may be off, which auto-exclusive buttons
// would refuse.
void SetPair(QRadioButton* first, bool firstOn, QRadioButton* second, bool secondOn) {
    first->setAutoExclusive(false);
    second->setAutoExclusive(false);
    first->setChecked(firstOn);
    second->setChecked(secondOn);
    first->setAutoExclusive(true);
    second->setAutoExclusive(true);
}

}  // namespace

EnvironmentDialog::EnvironmentDialog(app::MainScreen& screen, QWidget* parent)
    : QDialog(parent), env_(screen.Environment()), connections_(screen.Connections()) {
    const auto& t = platform::texts();
    setWindowTitle(ToQt(t.EnvironmentCaption));
    setAccessibleName(windowTitle());

    auto* connection = new QGroupBox(ToQt(t.ConnectionGroup), this);
    connection->setAccessibleName(connection->title());
    normal_ = Radio(t.NormalConnectionButton, connection);
    proxy_ = Radio(t.UseProxyButton, connection);
    address_ = OneLineField(connection);
    port_ = OneLineField(connection);
    auto* connectionLayout = new QGridLayout(connection);
    connectionLayout->addWidget(normal_, 0, 0, 1, 2);
    connectionLayout->addWidget(proxy_, 1, 0, 1, 2);
    connectionLayout->addWidget(LabelFor(address_, t.ProxyAddressLabel, connection), 2, 0);
    connectionLayout->addWidget(address_, 2, 1);
    connectionLayout->addWidget(LabelFor(port_, t.ProxyPortLabel, connection), 3, 0);
    connectionLayout->addWidget(port_, 3, 1);

    auto* directory = new QGroupBox(ToQt(t.MissingDirectoryGroup), this);
    directory->setAccessibleName(directory->title());
    create_ = Radio(t.CreateDirectoryButton, directory);
    keep_ = Radio(t.KeepDirectoryButton, directory);
    auto* directoryLayout = new QVBoxLayout(directory);
    directoryLayout->addWidget(create_);
    directoryLayout->addWidget(keep_);

    auto* data = new QGroupBox(ToQt(t.PassiveModeGroup), this);
    data->setAccessibleName(data->title());
    passive_ = new QCheckBox(ToQt(t.PassiveModeBox), data);
    passive_->setAccessibleName(passive_->text());
    (new QVBoxLayout(data))->addWidget(passive_);

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    ok_->setAccessibleName(ok_->text());
    cancel_->setAccessibleName(cancel_->text());
    ok_->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(connection);
    layout->addWidget(directory);
    layout->addWidget(data);
    layout->addLayout(buttons);

    for (QRadioButton* button : {normal_, proxy_, create_, keep_})
        connect(button, &QRadioButton::toggled, this, [this] { TakeChoices(); });
    connect(normal_, &QRadioButton::clicked, this, [this] { ShowProxyFields(false); });
    connect(proxy_, &QRadioButton::clicked, this, [this] { ShowProxyFields(true); });
    connect(ok_, &QPushButton::clicked, this, &EnvironmentDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &EnvironmentDialog::reject);

    Fill();
}

int EnvironmentDialog::run() {
    Fill();
    return exec();
}

void EnvironmentDialog::Fill() {
    filling_ = true;
    SetPair(normal_, env_.NormalConnection, proxy_, env_.UseProxy);
    SetPair(create_, env_.CreateMissingDirectory, keep_, env_.KeepMissingDirectory);
    filling_ = false;
    passive_->setChecked(connections_.Passive());
    ShowProxyFields(env_.UseProxy);
}

void EnvironmentDialog::ShowProxyFields(bool proxy) {
    address_->setText(proxy ? ToQt(env_.ProxyHost) : QString());
    port_->setText(proxy ? QString::number(env_.ProxyPort) : QString());
    SetFieldActive(address_, proxy);
    SetFieldActive(port_, proxy);
}

void EnvironmentDialog::TakeChoices() {
    if (filling_) return;
    // A click selects one member of a pair and deselects its partner; both buttons are
    // read so the flags always mirror the screen.
    env_.NormalConnection = normal_->isChecked();
    env_.UseProxy = proxy_->isChecked();
    env_.CreateMissingDirectory = create_->isChecked();
    env_.KeepMissingDirectory = keep_->isChecked();
}

void EnvironmentDialog::accept() {
    if (env_.UseProxy) {
        const auto host = TryFromQt(address_->text());
        if (!host) {
            ShowNotice(this, platform::texts().NotShiftJisText);
            address_->setFocus();
            return;
        }
        const auto port = settings::ParsePort(port_->text().toStdString());
        if (!port) {
            // Neither field is taken over until both are valid.
            ShowNotice(this, platform::texts().InvalidPort);
            port_->setFocus();
            port_->selectAll();
            return;
        }
        env_.ProxyHost = *host;
        env_.ProxyPort = *port;
    }
    connections_.SetPassive(passive_->isChecked());
    QDialog::accept();
}

}  // namespace ui
