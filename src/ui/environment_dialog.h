#pragma once
// The environment settings screen (caption "環境設定"): connection choice with the proxy
// address and port, and what a send does when the target directory is missing.
//
// The four radio buttons are the settings themselves: a click changes
// MainScreen::Environment() at once, whether the screen ends with "OK" or "Cancel". Only the
// proxy address and port wait for "OK", as does "パッシブモード" (data connections by PASV).
#include <QDialog>

#include "app/main_screen.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace ui {

class EnvironmentDialog : public QDialog {
    Q_OBJECT
public:
    EnvironmentDialog(app::MainScreen& screen, QWidget* parent);

    // Fills the screen from the settings and shows it modally; returns the dialog result.
    int run();
    // Fills the screen from the settings (done by run(); tests call it before open()).
    void Fill();

    QRadioButton* NormalButton() const { return normal_; }
    QRadioButton* ProxyButton() const { return proxy_; }
    QRadioButton* CreateButton() const { return create_; }
    QRadioButton* KeepButton() const { return keep_; }
    QLineEdit* AddressField() const { return address_; }
    QLineEdit* PortField() const { return port_; }
    QCheckBox* PassiveBox() const { return passive_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

public slots:
    // Takes the address and port over when the proxy is chosen; a port that is not a
    // decimal integer is reported and the screen stays open.
    void accept() override;

private:
    void ShowProxyFields(bool proxy);
    void TakeChoices();

    settings::TEnvironmentSettings& env_;
    settings::ConnectionStore& connections_;
    bool filling_ = false;
    QRadioButton* normal_ = nullptr;
    QRadioButton* proxy_ = nullptr;
    QRadioButton* create_ = nullptr;
    QRadioButton* keep_ = nullptr;
    QLineEdit* address_ = nullptr;
    QLineEdit* port_ = nullptr;
    QCheckBox* passive_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace ui
