// The settings screens opened from the real main window: each runs modally over it and the
// window's selectors follow what was changed.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <functional>
#include <string>

#include "app/temp_dir.h"
#include "platform/texts.h"
#include "ui/address_entry_dialog.h"
#include "ui/address_list_dialog.h"
#include "ui/environment_dialog.h"
#include "ui/main_window.h"
#include "ui/profile_list_dialog.h"
#include "ui/qt_text.h"

namespace {

using platform::texts;

// Runs act on the modal screen shown by the next modal loop, then closes it if still open.
void OnNextModal(std::function<void(QWidget*)> act) {
    QTimer::singleShot(0, [act] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        act(modal);
        if (modal->isVisible()) modal->close();
    });
}

QStringList Items(ui::MainWindow& window, const std::string& label) {
    for (QComboBox* box : window.findChildren<QComboBox*>()) {
        if (box->accessibleName() != ui::ToQt(label)) continue;
        QStringList items;
        for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
        return items;
    }
    return {QStringLiteral("<no selector>")};
}

TEST(SettingsScreensFromWindow, ProfileListRunsModallyAndSenderSelectorFollows) {
    apptest::TempDir dir;
    dir.Write("User.Inf", "Office,h,/,u,,w,n,m,r,s,0,,,,0,\r\n");
    dir.Write("Defult.ini", "[USER]\r\nDefaultAdress=Office\r\n");
    ui::MainWindow window(dir.path());
    window.show();
    ASSERT_EQ(Items(window, texts().SenderLabel), QStringList{"Office"});

    bool sawList = false;
    OnNextModal([&](QWidget* modal) {
        auto* list = qobject_cast<ui::ProfileListDialog*>(modal);
        sawList = list != nullptr && modal != &window;
        if (!list) return;
        list->SelectRow(0);
        list->DuplicateButton()->click();
        list->CloseButton()->click();
    });
    window.OpenProfileList();
    EXPECT_TRUE(sawList);
    const QString copy = ui::ToQt(texts().CopyPrefix + "Office");
    EXPECT_EQ(Items(window, texts().SenderLabel), (QStringList{"Office", copy}));
    EXPECT_EQ(window.SenderText(), "Office");  // the standard profile stays selected
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(SettingsScreensFromWindow, AddressListRunsModallyAndRecipientSelectorFollows) {
    apptest::TempDir dir;
    ui::MainWindow window(dir.path());
    window.show();
    ASSERT_EQ(Items(window, texts().RecipientLabel), QStringList{ui::ToQt(texts().NotRegistered)});

    bool sawList = false;
    OnNextModal([&](QWidget* modal) {
        auto* list = qobject_cast<ui::AddressListDialog*>(modal);
        sawList = list != nullptr;
        if (!list) return;
        list->NewButton()->click();
        // The entry screen is modal over the list.
        EXPECT_EQ(QApplication::activeModalWidget(), list->Entry());
        list->Entry()->NameField()->setText("Ann");
        list->Entry()->AddressField()->setText("ann@example");
        list->Entry()->RegisterButton()->click();
        list->CloseButton()->click();
    });
    window.OpenAddressList();
    EXPECT_TRUE(sawList);
    EXPECT_EQ(Items(window, texts().RecipientLabel), QStringList{"Ann [ann@example]"});
    EXPECT_EQ(window.RecipientIndex(), 0);
}

TEST(SettingsScreensFromWindow, EnvironmentChoiceMadeThenCancelledStaysInForce) {
    apptest::TempDir dir;
    ui::MainWindow window(dir.path());
    window.show();
    window.Screen().Environment().ProxyHost = "proxy.local";
    window.Screen().Environment().ProxyPort = 0;

    QString shownPort = "<not shown>";
    OnNextModal([&](QWidget* modal) {
        auto* env = qobject_cast<ui::EnvironmentDialog*>(modal);
        if (!env) return;
        env->ProxyButton()->click();
        shownPort = env->PortField()->text();
        env->CancelButton()->click();
    });
    window.EnvironmentAction()->trigger();
    EXPECT_EQ(shownPort, "0");
    EXPECT_TRUE(window.Screen().Environment().UseProxy);
    EXPECT_FALSE(window.Screen().Environment().NormalConnection);
}

}  // namespace
