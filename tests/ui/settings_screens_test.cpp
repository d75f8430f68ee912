// The settings screens driven on the offscreen platform against a main screen whose window is
// a recording view, in a temporary data directory.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "app/main_screen.h"
#include "app/recording_view.h"
#include "app/temp_dir.h"
#include "platform/screen_text.h"
#include "platform/texts.h"
#include "settings/profile_store.h"
#include "ui/address_entry_dialog.h"
#include "ui/address_list_dialog.h"
#include "ui/connection_tab.h"
#include "ui/environment_dialog.h"
#include "ui/profile_editor_dialog.h"
#include "ui/profile_list_dialog.h"
#include "ui/qt_text.h"
#include "ui/template_editor_dialog.h"

namespace {

using platform::texts;

std::string Join(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\r\n";
    return out;
}

settings::TSenderProfile Profile(const std::string& name, const std::string& fixed = "0",
                                 const std::string& directory = "") {
    settings::TSenderProfile p;
    p.Name = name;
    p.FtpHost = "ftp." + name;
    p.HostStartFolder = "/www";
    p.FtpUserId = "user";
    p.FtpPassword = "secret";
    p.WwwAddress = "http://www.example/";
    p.MailName = "Sender";
    p.MailAddress = "me@example";
    p.ReplyAddress = "reply@example";
    p.SmtpServer = "smtp.example";
    p.PopAuth = "0";
    p.DirectoryFixed = fixed;
    p.SendDirectory = directory;
    return p;
}

std::string Line(const std::string& name, const std::string& fixed = "0",
                 const std::string& directory = "") {
    return settings::FormatProfileLine(Profile(name, fixed, directory));
}

std::string CellText(QTableWidget* grid, int row, int column) {
    const QTableWidgetItem* item = grid->item(row, column);
    return item ? ui::FromQt(item->text()) : std::string();
}

// Text of the message box shown over owner, which is then closed; empty when none shows.
std::string TakeNotice(QWidget* owner) {
    for (QMessageBox* box : owner->findChildren<QMessageBox*>(Qt::FindDirectChildrenOnly)) {
        if (!box->isVisible()) continue;
        std::string text = ui::FromQt(box->text());
        box->close();
        return text;
    }
    return {};
}

// Makes the window inactive and then active again.
void Reactivate(QWidget* window) {
    QWidget other;
    other.show();
    other.activateWindow();
    QApplication::processEvents();
    window->activateWindow();
    QApplication::processEvents();
}

class SettingsScreens : public ::testing::Test {
protected:
    apptest::TempDir dir;
    apptest::RecordingView view;
    std::unique_ptr<app::MainScreen> screen;
    QWidget mainWindow;  // stands in for the main screen the dialogs are modal over

    // Data files as given (nothing written for an empty argument), then start-up.
    void Start(const std::vector<std::string>& profiles = {}, const std::string& standard = "",
               const std::vector<std::string>& addresses = {}, const std::string& ftp = "") {
        if (!profiles.empty()) dir.Write("User.Inf", Join(profiles));
        if (!addresses.empty()) dir.Write("Adress.dat", Join(addresses));
        dir.Write("Defult.ini", "[USER]\r\nDefaultAdress=" + standard + "\r\n" + ftp);
        screen = std::make_unique<app::MainScreen>(view, dir.path());
        screen->StartUp();
        ASSERT_TRUE(view.messages.empty());
        mainWindow.show();
    }

    settings::ProfileStore& Store() { return screen->Profiles(); }
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (std::size_t i = 0; i < Store().size(); ++i) names.push_back(Store().NameAt(i));
        return names;
    }
};

// ---- profile list ----

TEST_F(SettingsScreens, ProfileListShowsRowsWithStandardMarkAndIsModal) {
    Start({Line("Home"), Line("Office")}, "Office");
    ui::ProfileListDialog list(*screen, &mainWindow);
    list.open();
    EXPECT_EQ(QApplication::activeModalWidget(), &list);
    EXPECT_EQ(ui::FromQt(list.windowTitle()), texts().ProfileListCaption);

    QTableWidget* grid = list.Grid();
    EXPECT_FALSE(grid->horizontalHeader()->isVisible());
    EXPECT_EQ(grid->columnWidth(0), 150);
    EXPECT_EQ(grid->columnWidth(1), 99);
    ASSERT_EQ(grid->rowCount(), 2);
    EXPECT_EQ(CellText(grid, 0, 0), "Home");
    EXPECT_EQ(CellText(grid, 0, 1), "");
    EXPECT_EQ(CellText(grid, 1, 0), "Office");
    EXPECT_EQ(CellText(grid, 1, 1), texts().StandardMark);

    // The editor is modal over the list.
    list.NewButton()->click();
    EXPECT_EQ(QApplication::activeModalWidget(), list.Editor());
    list.Editor()->CancelButton()->click();
    EXPECT_EQ(QApplication::activeModalWidget(), &list);
}

TEST_F(SettingsScreens, DuplicateCopiesLineAndFilesAndDeleteRemovesThem) {
    dir.Write("Office.hed", "head\r\n");
    dir.Write("Office.fot", "foot\r\n");
    Start({Line("Office")}, "Office");
    ui::ProfileListDialog list(*screen, &mainWindow);
    list.open();

    list.SelectRow(0);
    list.DuplicateButton()->click();
    const std::string copy = texts().CopyPrefix + "Office";
    const std::string copyFile = platform::SjisToUtf8(copy);
    ASSERT_EQ(Names(), (std::vector<std::string>{"Office", copy}));
    EXPECT_EQ(Store().Lines().at(1), texts().CopyPrefix + Line("Office"));
    EXPECT_EQ(CellText(list.Grid(), 1, 0), copy);
    EXPECT_EQ(dir.Read(copyFile + ".hed"), "head\r\n");
    EXPECT_EQ(dir.Read(copyFile + ".fot"), "foot\r\n");
    EXPECT_EQ(TakeNotice(&list), "");

    list.SelectRow(1);
    list.DeleteButton()->click();
    EXPECT_EQ(Names(), std::vector<std::string>{"Office"});
    EXPECT_EQ(list.Grid()->rowCount(), 1);
    EXPECT_FALSE(dir.Exists(copyFile + ".hed"));
    EXPECT_FALSE(dir.Exists(copyFile + ".fot"));
    EXPECT_TRUE(dir.Exists("Office.hed"));
}

TEST_F(SettingsScreens, StandardButtonMovesMarkAndCloseSelectsIt) {
    Start({Line("Alpha"), Line("Beta")}, "Alpha");
    ui::ProfileListDialog list(*screen, &mainWindow);
    list.open();
    list.SelectRow(1);
    list.StandardButton()->click();
    EXPECT_EQ(Store().StandardName(), "Beta");
    EXPECT_EQ(CellText(list.Grid(), 0, 1), "");
    EXPECT_EQ(CellText(list.Grid(), 1, 1), texts().StandardMark);

    list.CloseButton()->click();
    EXPECT_FALSE(list.isVisible());
    EXPECT_EQ(view.SenderText(), "Beta");
    EXPECT_EQ(screen->State().CurrentProfile.Name, "Beta");
}

TEST_F(SettingsScreens, DeletingStandardThenLastProfileRefreshesMainOnEveryClose) {
    Start({Line("Alpha"), Line("Beta", "1", "\\data")}, "Beta");
    ui::ProfileListDialog list(*screen, &mainWindow);
    list.open();
    list.SelectRow(1);
    list.DeleteButton()->click();
    EXPECT_EQ(Store().StandardName(), "Beta");  // the name stays, no row carries the mark
    EXPECT_EQ(CellText(list.Grid(), 0, 1), "");
    list.close();  // the window's close box refreshes like "閉じる"
    EXPECT_EQ(view.senderItems, std::vector<std::string>{"Alpha"});
    EXPECT_EQ(view.SenderText(), "Alpha");
    EXPECT_EQ(view.directoryText, "\\");
    EXPECT_FALSE(view.directoryFixed);

    list.open();
    list.SelectRow(0);
    list.DeleteButton()->click();
    ASSERT_EQ(list.Grid()->rowCount(), 1);  // one empty row
    EXPECT_EQ(CellText(list.Grid(), 0, 0), "");
    // Operations on the empty list do nothing.
    for (QPushButton* b :
         {list.ModifyButton(), list.DuplicateButton(), list.DeleteButton(), list.StandardButton()})
        b->click();
    EXPECT_TRUE(Store().empty());
    EXPECT_FALSE(list.Editor()->isVisible());

    // run() shows the screen modally until it is closed.
    QTimer::singleShot(0, &list, [&list] { list.CloseButton()->click(); });
    list.run();
    EXPECT_EQ(view.senderItems, std::vector<std::string>{texts().NotRegistered});
    EXPECT_TRUE(view.header.empty());
}

TEST_F(SettingsScreens, RenameMovesHeaderAndFooterAndCarriesStandardName) {
    dir.Write("Old.hed", "h\r\n");
    dir.Write("Old.fot", "f\r\n");
    Start({Line("Old", "1", "\\d")}, "Old");
    ui::ProfileListDialog list(*screen, &mainWindow);
    list.open();
    list.SelectRow(0);
    list.ModifyButton()->click();
    ui::ProfileEditorDialog* editor = list.Editor();
    ASSERT_TRUE(editor->isVisible());
    EXPECT_EQ(ui::FromQt(editor->windowTitle()), texts().ModifyEntryCaption);
    EXPECT_EQ(editor->NameField()->text(), "Old");
    EXPECT_EQ(editor->FtpPasswordField()->text(), "secret");  // decoded

    editor->NameField()->setText("New");
    editor->OkButton()->click();
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(TakeNotice(&list), "");
    settings::TSenderProfile renamed = Profile("Old", "1", "\\d");
    renamed.Name = "New";
    EXPECT_EQ(Store().Lines().lines(),
              std::vector<std::string>{settings::FormatProfileLine(renamed)});
    EXPECT_EQ(Store().StandardName(), "New");
    EXPECT_EQ(dir.Read("New.hed"), "h\r\n");
    EXPECT_EQ(dir.Read("New.fot"), "f\r\n");
    EXPECT_FALSE(dir.Exists("Old.hed"));
    EXPECT_FALSE(dir.Exists("Old.fot"));
    EXPECT_EQ(CellText(list.Grid(), 0, 0), "New");
    EXPECT_EQ(CellText(list.Grid(), 0, 1), texts().StandardMark);
    // The fixed directory reached the main screen's field.
    EXPECT_EQ(view.directoryText, "\\d");
}

TEST_F(SettingsScreens, RenameOntoExistingHeaderReportsAndKeepsOldFile) {
    dir.Write("A.hed", "a\r\n");
    dir.Write("B.hed", "b\r\n");
    Start({Line("A")}, "A");
    ui::ProfileListDialog list(*screen, &mainWindow);
    list.open();
    list.ModifyButton()->click();
    list.Editor()->NameField()->setText("B");
    list.Editor()->OkButton()->click();
    EXPECT_EQ(TakeNotice(&list), "Error renaming file!");
    EXPECT_EQ(Names(), std::vector<std::string>{"B"});  // the save went on
    EXPECT_EQ(dir.Read("A.hed"), "a\r\n");
    EXPECT_EQ(dir.Read("B.hed"), "b\r\n");
}

TEST_F(SettingsScreens, CancelledRenameChangesNothing) {
    dir.Write("A.hed", "a\r\n");
    Start({Line("A")}, "A");
    ui::ProfileListDialog list(*screen, &mainWindow);
    list.open();
    list.ModifyButton()->click();
    list.Editor()->NameField()->setText("B");
    list.Editor()->CancelButton()->click();
    EXPECT_EQ(Store().Lines().lines(), std::vector<std::string>{Line("A")});
    EXPECT_EQ(Store().StandardName(), "A");
    EXPECT_TRUE(dir.Exists("A.hed"));
    EXPECT_FALSE(dir.Exists("B.hed"));
}

// ---- profile editor ----

TEST_F(SettingsScreens, EditorRefusesUnusableNamesAndCommasWithMessage) {
    Start();
    const auto& t = texts();
    struct Case {
        const char* what;
        QString name;
        QLineEdit* (ui::ProfileEditorDialog::*field)() const;
        QString value;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"slash", "a/b", nullptr, {}, t.InvalidProfileName},
        {"backslash", "..\\x", nullptr, {}, t.InvalidProfileName},
        {"control character", "a\tb", nullptr, {}, t.InvalidProfileName},
        {"empty", "", nullptr, {}, t.InvalidProfileName},
        {"dot dot", "..", nullptr, {}, t.InvalidProfileName},
        {"comma in name", "a,b", nullptr, {}, t.CommaInField + t.ProfileNameLabel},
        {"comma in host", "ok", &ui::ProfileEditorDialog::FtpHostField, "h,x",
         t.CommaInField + t.FtpHostLabel},
        {"comma in mail name", "ok", &ui::ProfileEditorDialog::MailNameField, "x,y",
         t.CommaInField + t.MailNameLabel},
        {"comma in POP account", "ok", &ui::ProfileEditorDialog::PopAccountField, "p,q",
         t.CommaInField + t.PopAccountLabel},
        {"no Shift_JIS form", "ok", &ui::ProfileEditorDialog::SmtpServerField,
         QString::fromUtf8("\xF0\x9F\x98\x80"), t.NotShiftJisText},
    };
    ui::ProfileListDialog list(*screen, &mainWindow);
    list.open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        list.NewButton()->click();
        ui::ProfileEditorDialog* editor = list.Editor();
        editor->NameField()->setText(c.name);
        if (c.field) (editor->*c.field)()->setText(c.value);
        editor->OkButton()->click();
        EXPECT_EQ(TakeNotice(editor), c.message);
        EXPECT_TRUE(editor->isVisible());
        EXPECT_TRUE(Store().empty());
        editor->CancelButton()->click();
    }

    // A "," in the send directory (the last field) is stored whole.
    list.NewButton()->click();
    list.Editor()->NameField()->setText("ok");
    list.Editor()->FixedButton()->click();
    list.Editor()->SendDirectoryField()->setText("a,b");
    list.Editor()->OkButton()->click();
    EXPECT_EQ(TakeNotice(list.Editor()), "");
    ASSERT_TRUE(Store().FindProfile("ok"));
    EXPECT_EQ(Store().FindProfile("ok")->SendDirectory, "a,b");
}

TEST_F(SettingsScreens, EditorDependentControlsAndWhatOkStores) {
    // An older-layout line (13 ",") with a POP account and password that serve nothing.
    const std::string older = "Old,h,/s,u," + settings::EncodePassword("pw") +
                              ",w,n,m,r,smtp,acct," + settings::EncodePassword("pp") + ",0,";
    Start({older}, "Old");
    ui::ProfileListDialog list(*screen, &mainWindow);
    list.open();
    ui::ProfileEditorDialog* e = list.Editor();
    const QColor grey = QApplication::palette().color(QPalette::Button);

    list.ModifyButton()->click();
    EXPECT_FALSE(e->PopAuthBox()->isChecked());
    for (QLineEdit* f : {e->Pop3ServerField(), e->PopAccountField(), e->PopPasswordField()}) {
        EXPECT_EQ(f->text(), "");
        EXPECT_FALSE(f->isEnabled());
        EXPECT_EQ(f->palette().color(QPalette::Base), grey);
    }
    EXPECT_FALSE(e->PopShowPasswordBox()->isEnabled());
    EXPECT_TRUE(e->ChangeableButton()->isChecked());
    EXPECT_FALSE(e->SendDirectoryField()->isEnabled());
    e->FtpShowPasswordBox()->setChecked(true);
    EXPECT_EQ(e->FtpPasswordField()->echoMode(), QLineEdit::Normal);
    // Whenever the editor becomes active, "FTP設定" is in front.
    e->Tabs()->setCurrentIndex(1);
    Reactivate(e);
    EXPECT_EQ(e->Tabs()->currentIndex(), 0);
    e->CancelButton()->click();

    // "新規" after "修正": empty fields, new caption, the show-password tick kept.
    list.NewButton()->click();
    EXPECT_EQ(ui::FromQt(e->windowTitle()), texts().NewEntryCaption);
    EXPECT_EQ(e->NameField()->text(), "");
    EXPECT_EQ(e->FtpHostField()->text(), "");
    EXPECT_EQ(e->FtpPasswordField()->text(), "");
    EXPECT_TRUE(e->FtpShowPasswordBox()->isChecked());
    EXPECT_EQ(e->FtpPasswordField()->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(e->PopPasswordField()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(e->PopPasswordField()->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter,
                                                        nullptr, e->PopPasswordField()),
              '*');

    // Ticking POP enables its fields; unticking disables them but keeps the text.
    e->NameField()->setText("Kept");
    e->PopAuthBox()->click();
    EXPECT_TRUE(e->Pop3ServerField()->isEnabled());
    EXPECT_TRUE(e->PopShowPasswordBox()->isEnabled());
    EXPECT_NE(e->Pop3ServerField()->palette().color(QPalette::Base), grey);
    e->Pop3ServerField()->setText("pop");
    e->PopAccountField()->setText("acc");
    e->PopPasswordField()->setText("pw");
    e->PopAuthBox()->click();
    EXPECT_FALSE(e->Pop3ServerField()->isEnabled());
    // "変更不可" enables the directory field, "変更可" greys it; its text is stored either way.
    e->FixedButton()->click();
    EXPECT_TRUE(e->SendDirectoryField()->isEnabled());
    e->SendDirectoryField()->setText("\\x");
    e->ChangeableButton()->click();
    EXPECT_FALSE(e->SendDirectoryField()->isEnabled());
    EXPECT_EQ(e->SendDirectoryField()->palette().color(QPalette::Base), grey);
    e->OkButton()->click();
    EXPECT_FALSE(e->isVisible());
    const auto kept = Store().FindProfile("Kept");
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->PopAuth, "0");
    EXPECT_EQ(kept->Pop3Server, "pop");
    EXPECT_EQ(kept->PopAccount, "acc");
    EXPECT_EQ(kept->PopPassword, "pw");
    EXPECT_EQ(kept->DirectoryFixed, "0");
    EXPECT_EQ(kept->SendDirectory, "\\x");
}

TEST_F(SettingsScreens, FirstSavedProfileBecomesStandardAndFixedDirectoryReachesMain) {
    Start();
    ui::ProfileListDialog list(*screen, &mainWindow);
    list.open();
    list.NewButton()->click();
    ui::ProfileEditorDialog* e = list.Editor();
    const std::string name = platform::Sjis(u8"本社");
    e->NameField()->setText(ui::ToQt(name));
    e->FixedButton()->click();
    e->SendDirectoryField()->setText("\\data");
    e->OkButton()->click();
    EXPECT_EQ(Store().StandardName(), name);
    // The selector still shows "未登録", so only the editor set the directory field.
    EXPECT_EQ(view.directoryText, "\\data");
    list.close();
    EXPECT_EQ(view.SenderText(), name);
    EXPECT_TRUE(view.directoryFixed);
}

// ---- tab "接続" ----

// Every connection setting of the tab: shown from the profile's entry, kept on "Cancel",
// stored under the saved name on "OK" (a rename carries it), duplicated and deleted with the
// profile; a standard port is offered for a chosen security unless a port of one's own stands.
TEST_F(SettingsScreens, ConnectionTabStoresOnOkKeepsOnCancelAndFollowsTheProfile) {
    dir.Write("Connect.dat",
              "P\tOffice\tftp.port=2121\tftp.security=explicit"
              "\tftp.fingerprint=AB:CD\r\n");
    Start({Line("Office")}, "Office");
    const settings::TConnectionSettings before = screen->Connections().ForProfile("Office");
    ui::ProfileListDialog list(*screen, &mainWindow);
    list.open();
    ui::ProfileEditorDialog* e = list.Editor();
    ui::ConnectionTab* c = e->Connection();
    EXPECT_EQ(ui::FromQt(e->Tabs()->tabText(2)), texts().ConnectionTab);

    auto change = [&] {
        list.SelectRow(0);
        list.ModifyButton()->click();
        EXPECT_EQ(c->FtpSecurityBox()->currentIndex(), 1);
        EXPECT_EQ(c->FtpPortField()->text(), "2121");
        EXPECT_EQ(c->FtpFingerprintField()->text(), "AB:CD");
        EXPECT_EQ(c->SmtpPortField()->text(), "25");
        EXPECT_FALSE(c->SmtpUserField()->isEnabled());
        c->FtpSecurityBox()->setCurrentIndex(2);  // implicit: 2121 is the user's own
        EXPECT_EQ(c->FtpPortField()->text(), "2121");
        c->FtpNamesBox()->setCurrentIndex(1);
        c->SmtpSecurityBox()->setCurrentIndex(1);  // STARTTLS offers 587 over the standard 25
        EXPECT_EQ(c->SmtpPortField()->text(), "587");
        c->SmtpAuthBox()->click();
        EXPECT_TRUE(c->SmtpUserField()->isEnabled());
        c->SmtpUserField()->setText("taro");
        c->SmtpPasswordField()->setText("pw");
        c->PopSecurityBox()->setCurrentIndex(2);
        EXPECT_EQ(c->PopPortField()->text(), "995");
        ASSERT_TRUE(c->FtpForgetButton()->isEnabled());
        c->FtpForgetButton()->click();
        EXPECT_EQ(c->FtpFingerprintField()->text(), "");
        EXPECT_FALSE(c->FtpForgetButton()->isEnabled());
    };
    change();
    e->CancelButton()->click();
    EXPECT_EQ(screen->Connections().ForProfile("Office"), before);

    change();
    // A port that is none keeps the screen open on the tab.
    c->PopPortField()->setText("0");
    e->OkButton()->click();
    EXPECT_TRUE(e->isVisible());
    EXPECT_EQ(e->Tabs()->currentWidget(), c);
    EXPECT_NE(TakeNotice(e).find(texts().InvalidConnectionPort), std::string::npos);
    c->PopPortField()->setText("995");
    e->NameField()->setText("Branch");
    e->OkButton()->click();
    ASSERT_FALSE(e->isVisible());
    settings::TConnectionSettings expected;
    expected.FtpPort = 2121;
    expected.FtpSecurity = settings::TSecurity::Implicit;
    expected.FtpNames = settings::TNameRule::Automatic;
    expected.SmtpPort = 587;
    expected.SmtpSecurity = settings::TSecurity::Explicit;
    expected.SmtpAuth = true;
    expected.SmtpUser = "taro";
    expected.SmtpPassword = "pw";
    expected.PopPort = 995;
    expected.PopSecurity = settings::TSecurity::Implicit;
    EXPECT_EQ(screen->Connections().ForProfile("Branch"), expected);
    EXPECT_EQ(screen->Connections().ForProfile("Office"), settings::TConnectionSettings{});

    list.SelectRow(0);
    list.DuplicateButton()->click();
    const std::string copy = texts().CopyPrefix + "Branch";
    EXPECT_EQ(screen->Connections().ForProfile(copy), expected);
    list.SelectRow(static_cast<int>(*Store().FindProfileIndex("Branch")));
    list.DeleteButton()->click();
    EXPECT_EQ(screen->Connections().ForProfile("Branch"), settings::TConnectionSettings{});
    EXPECT_EQ(screen->Connections().ForProfile(copy), expected);
}

// The described tabs keep their size: the new tab never widens or heightens the editor.
TEST_F(SettingsScreens, ConnectionTabLeavesTheEditorSizeAlone) {
    Start();
    ui::ProfileListDialog list(*screen, &mainWindow);
    ui::ProfileEditorDialog* e = list.Editor();
    const QSize with = e->sizeHint();
    e->Tabs()->removeTab(2);
    EXPECT_EQ(e->sizeHint(), with);
}

// ---- header/footer template editor ----

TEST_F(SettingsScreens, TemplateEditorCreatesFileWithPlaceholderAndOkCancel) {
    Start({Line("Office")}, "Office");
    ui::ProfileListDialog list(*screen, &mainWindow);
    list.open();
    list.ModifyButton()->click();
    ui::ProfileEditorDialog* e = list.Editor();
    ui::TemplateEditorDialog* t = e->TemplateEditor();

    e->Tabs()->setCurrentIndex(1);
    e->HeaderButton()->click();
    ASSERT_TRUE(t->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), t);
    EXPECT_EQ(ui::FromQt(t->windowTitle()), texts().HeaderEditCaption);
    EXPECT_EQ(dir.Read("Office.hed"), "");  // created at once
    EXPECT_EQ(ui::FromQt(t->Area()->toPlainText()), texts().HeaderPlaceholder + "\n");
    t->OkButton()->click();
    EXPECT_EQ(dir.Read("Office.hed"), texts().HeaderPlaceholder + "\r\n");
    EXPECT_EQ(e->Tabs()->currentIndex(), 0);  // back on "FTP設定"

    e->FooterButton()->click();
    EXPECT_EQ(ui::FromQt(t->windowTitle()), texts().FooterEditCaption);
    EXPECT_EQ(ui::FromQt(t->Area()->toPlainText()), texts().FooterPlaceholder + "\n");
    t->CancelButton()->click();
    EXPECT_EQ(dir.Read("Office.fot"), "");

    // Saved even though the profile editor is then cancelled.
    e->CancelButton()->click();
    EXPECT_TRUE(dir.Exists("Office.hed"));
}

TEST_F(SettingsScreens, TemplateEditorRewritesLinesWithCrLfAndAddsNothing) {
    dir.Write("P.fot", "one\r\ntwo\nthree\r\n");
    Start({Line("P")}, "P");
    ui::ProfileListDialog list(*screen, &mainWindow);
    list.open();
    list.ModifyButton()->click();
    ui::ProfileEditorDialog* e = list.Editor();
    ui::TemplateEditorDialog* t = e->TemplateEditor();

    e->FooterButton()->click();
    EXPECT_EQ(t->Area()->toPlainText(), "one\ntwo\nthree\n");
    t->OkButton()->click();
    EXPECT_EQ(dir.Read("P.fot"), "one\r\ntwo\r\nthree\r\n");

    e->FooterButton()->click();
    t->Area()->setPlainText("x\ny");  // last line typed without a line break
    t->OkButton()->click();
    EXPECT_EQ(dir.Read("P.fot"), "x\r\ny");

    // The typed name decides the file, even before the rename is saved.
    e->NameField()->setText("Q");
    e->FooterButton()->click();
    EXPECT_TRUE(dir.Exists("Q.fot"));
    t->CancelButton()->click();
    EXPECT_EQ(dir.Read("P.fot"), "x\r\ny");
}

TEST_F(SettingsScreens, TemplateButtonsNeedAUsableName) {
    Start();
    ui::ProfileEditorDialog editor(*screen, &mainWindow);
    editor.FillNew();
    editor.open();
    editor.HeaderButton()->click();  // empty name: nothing happens
    EXPECT_FALSE(editor.TemplateEditor()->isVisible());
    EXPECT_EQ(TakeNotice(&editor), "");

    editor.NameField()->setText("../outside");
    editor.FooterButton()->click();
    EXPECT_EQ(TakeNotice(&editor), texts().InvalidProfileName);
    EXPECT_FALSE(editor.TemplateEditor()->isVisible());
    EXPECT_FALSE(std::filesystem::exists(dir.path().parent_path() / "outside.fot"));
}

// ---- address book ----

TEST_F(SettingsScreens, AddressListAddModifyDeleteWithSelectorFollowing) {
    Start({}, "", {"Bob,bob@example"});
    ui::AddressListDialog list(*screen, &mainWindow);
    list.open();
    EXPECT_EQ(QApplication::activeModalWidget(), &list);
    QTableWidget* grid = list.Grid();
    EXPECT_EQ(ui::FromQt(grid->horizontalHeaderItem(0)->text()), texts().MailNameLabel);
    EXPECT_EQ(ui::FromQt(grid->horizontalHeaderItem(1)->text()), texts().MailAddressLabel);
    EXPECT_EQ(grid->columnWidth(0), 100);
    EXPECT_EQ(grid->columnWidth(1), 160);

    list.NewButton()->click();
    ui::AddressEntryDialog* entry = list.Entry();
    EXPECT_EQ(QApplication::activeModalWidget(), entry);
    EXPECT_EQ(ui::FromQt(entry->windowTitle()), texts().NewEntryCaption);
    entry->NameField()->setText("Alice");
    entry->AddressField()->setText("alice@example,second");  // "," in the address is kept
    entry->RegisterButton()->click();
    EXPECT_FALSE(entry->isVisible());
    ASSERT_EQ(grid->rowCount(), 2);
    EXPECT_EQ(CellText(grid, 0, 0), "Alice");
    EXPECT_EQ(CellText(grid, 0, 1), "alice@example,second");

    list.SelectRow(1);
    list.ModifyButton()->click();
    EXPECT_EQ(ui::FromQt(entry->windowTitle()), texts().ModifyEntryCaption);
    EXPECT_EQ(entry->NameField()->text(), "Bob");
    EXPECT_EQ(entry->AddressField()->text(), "bob@example");
    entry->AddressField()->setText("bob@new");
    entry->RegisterButton()->click();
    EXPECT_EQ(CellText(grid, 1, 1), "bob@new");

    list.SelectRow(0);
    list.DeleteButton()->click();
    ASSERT_EQ(grid->rowCount(), 1);
    EXPECT_EQ(CellText(grid, 0, 0), "Bob");

    list.CloseButton()->click();
    EXPECT_EQ(view.recipientItems, std::vector<std::string>{"Bob [bob@new]"});
    EXPECT_EQ(view.recipientIndex, 0);

    list.open();
    list.DeleteButton()->click();
    EXPECT_EQ(grid->rowCount(), 1);
    EXPECT_EQ(CellText(grid, 0, 0), "");
    list.ModifyButton()->click();  // empty book: nothing
    EXPECT_FALSE(entry->isVisible());
    list.close();
    EXPECT_EQ(view.recipientItems, std::vector<std::string>{texts().NotRegistered});
}

TEST_F(SettingsScreens, AddressEntryRefusesCommaInNameAndCancelChangesNothing) {
    Start({}, "", {"Bob,bob@example"});
    ui::AddressListDialog list(*screen, &mainWindow);
    list.open();
    ui::AddressEntryDialog* entry = list.Entry();
    list.ModifyButton()->click();
    entry->NameField()->setText("Bob, Jr.");
    entry->RegisterButton()->click();
    EXPECT_EQ(TakeNotice(entry), texts().CommaInField + texts().PersonNameLabel);
    EXPECT_TRUE(entry->isVisible());
    entry->CancelButton()->click();
    EXPECT_EQ(screen->Addresses().Lines().lines(), std::vector<std::string>{"Bob,bob@example"});
}

// ---- line breaks at every door ----

// Pastes text into a field as the user's Ctrl+V would.
void Paste(QLineEdit* field, const QString& text) {
    QApplication::clipboard()->setText(text);
    field->setFocus();
    field->end(false);
    field->paste();
}

// A pasted CR, LF or NUL would split the stored line (a profile losing its later fields, a
// bogus recipient after a restart). Every one-line field of the settings screens takes them
// out, so what is stored is the pasted text on one line.
TEST_F(SettingsScreens, PastedLineBreaksAndNulNeverReachTheStores) {
    Start();
    const QString hostile = QStringLiteral("a\r\nBcc: b") + QChar(0) + QStringLiteral("c\nd\re");
    const std::string clean = "aBcc: bcde";
    using Field = QLineEdit* (ui::ProfileEditorDialog::*)() const;
    const std::pair<Field, std::size_t> profileFields[] = {
        {&ui::ProfileEditorDialog::NameField, 0},
        {&ui::ProfileEditorDialog::FtpHostField, 1},
        {&ui::ProfileEditorDialog::HostStartFolderField, 2},
        {&ui::ProfileEditorDialog::FtpUserIdField, 3},
        {&ui::ProfileEditorDialog::FtpPasswordField, 4},
        {&ui::ProfileEditorDialog::WwwAddressField, 5},
        {&ui::ProfileEditorDialog::MailNameField, 6},
        {&ui::ProfileEditorDialog::MailAddressField, 7},
        {&ui::ProfileEditorDialog::ReplyAddressField, 8},
        {&ui::ProfileEditorDialog::SmtpServerField, 9},
        {&ui::ProfileEditorDialog::Pop3ServerField, 11},
        {&ui::ProfileEditorDialog::PopAccountField, 12},
        {&ui::ProfileEditorDialog::PopPasswordField, 13},
        {&ui::ProfileEditorDialog::SendDirectoryField, 15},
    };
    ui::ProfileListDialog list(*screen, &mainWindow);
    list.open();
    ui::ProfileEditorDialog* editor = list.Editor();
    for (const auto& [field, index] : profileFields) {
        const std::string name = "P" + std::to_string(index);
        SCOPED_TRACE(settings::kProfileFieldNames[index]);
        list.NewButton()->click();
        editor->PopAuthBox()->setChecked(true);
        editor->FixedButton()->click();
        editor->NameField()->setText(QString::fromStdString(name));
        Paste((editor->*field)(), hostile);
        EXPECT_EQ(ui::FromQt((editor->*field)()->text()), index == 0 ? name + clean : clean);
        editor->OkButton()->click();
        EXPECT_EQ(TakeNotice(editor), "");
        const auto stored = Store().FindProfile(index == 0 ? name + clean : name);
        ASSERT_TRUE(stored);
        EXPECT_EQ(settings::ProfileField(*stored, index), index == 0 ? name + clean : clean);
    }
    list.close();

    ui::AddressListDialog addresses(*screen, &mainWindow);
    addresses.open();
    ui::AddressEntryDialog* entry = addresses.Entry();
    addresses.NewButton()->click();
    Paste(entry->NameField(), hostile);
    Paste(entry->AddressField(), QStringLiteral("x@example\r\nRCPT TO:<y@example>"));
    entry->RegisterButton()->click();
    EXPECT_FALSE(entry->isVisible());
    EXPECT_EQ(screen->Addresses().Lines().lines(),
              std::vector<std::string>{clean + ",x@exampleRCPT TO:<y@example>"});
    addresses.close();

    ui::EnvironmentDialog environment(*screen, &mainWindow);
    environment.ProxyButton()->click();
    Paste(environment.AddressField(), QStringLiteral("proxy.example\r\n"));
    environment.PortField()->setText(QStringLiteral("8021\n"));
    environment.OkButton()->click();
    EXPECT_EQ(screen->Environment().ProxyHost, "proxy.example");
    EXPECT_EQ(screen->Environment().ProxyPort, 8021);

    // Written back and read again, every profile and the entry are still one line each.
    ASSERT_TRUE(screen->SaveOnExit());
    app::MainScreen again(view, dir.path());
    again.StartUp();
    EXPECT_EQ(again.Profiles().size(), std::size(profileFields));
    EXPECT_EQ(again.Addresses().size(), 1u);
}

// ---- environment settings ----

TEST_F(SettingsScreens, EnvironmentChoicesTakeEffectAtOnceEvenAfterCancel) {
    Start();
    settings::TEnvironmentSettings& env = screen->Environment();
    ui::EnvironmentDialog dialog(*screen, &mainWindow);
    dialog.Fill();
    dialog.open();
    EXPECT_EQ(QApplication::activeModalWidget(), &dialog);
    EXPECT_TRUE(dialog.NormalButton()->isChecked());
    EXPECT_TRUE(dialog.CreateButton()->isChecked());
    const QColor grey = QApplication::palette().color(QPalette::Button);
    for (QLineEdit* f : {dialog.AddressField(), dialog.PortField()}) {
        EXPECT_FALSE(f->isEnabled());
        EXPECT_EQ(f->text(), "");
        EXPECT_EQ(f->palette().color(QPalette::Base), grey);
    }

    dialog.ProxyButton()->click();
    EXPECT_TRUE(env.UseProxy);
    EXPECT_FALSE(env.NormalConnection);
    EXPECT_TRUE(dialog.AddressField()->isEnabled());
    EXPECT_EQ(dialog.PortField()->text(), "0");
    dialog.KeepButton()->click();
    EXPECT_TRUE(env.KeepMissingDirectory);
    EXPECT_FALSE(env.CreateMissingDirectory);
    dialog.AddressField()->setText("proxy.local");
    dialog.PortField()->setText("8021");
    dialog.CancelButton()->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(env.UseProxy);
    EXPECT_TRUE(env.KeepMissingDirectory);
    EXPECT_EQ(env.ProxyHost, "");  // address and port wait for "OK"
    EXPECT_EQ(env.ProxyPort, 0);
    EXPECT_EQ(screen->SaveOnExit(), true);
    const std::string ini = dir.Read("Defult.ini");
    for (const char* key : {"R1=0", "R2=1", "R3=0", "R4=1"})
        EXPECT_NE(ini.find(key), std::string::npos) << key;
}

TEST_F(SettingsScreens, EnvironmentOkTakesProxyOnlyWithDecimalPort) {
    Start();
    settings::TEnvironmentSettings& env = screen->Environment();
    env.SelectUseProxy();
    env.ProxyHost = "old.proxy";
    env.ProxyPort = 21;
    ui::EnvironmentDialog dialog(*screen, &mainWindow);
    dialog.Fill();
    dialog.open();
    EXPECT_EQ(dialog.AddressField()->text(), "old.proxy");
    EXPECT_EQ(dialog.PortField()->text(), "21");

    dialog.AddressField()->setText("new.proxy");
    for (const char* bad : {"", "abc", "80x", "0x50", " 80", "8.5", "99999999999"}) {
        SCOPED_TRACE(bad);
        dialog.PortField()->setText(bad);
        dialog.OkButton()->click();
        EXPECT_EQ(TakeNotice(&dialog), texts().InvalidPort);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(env.ProxyHost, "old.proxy");
        EXPECT_EQ(env.ProxyPort, 21);
    }
    dialog.PortField()->setText("8021");
    dialog.OkButton()->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(env.ProxyHost, "new.proxy");
    EXPECT_EQ(env.ProxyPort, 8021);

    // With the normal connection chosen, "OK" leaves address and port as they were.
    dialog.Fill();
    dialog.open();
    dialog.NormalButton()->click();
    EXPECT_EQ(dialog.AddressField()->text(), "");
    EXPECT_FALSE(dialog.PortField()->isEnabled());
    dialog.OkButton()->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(env.UseProxy);
    EXPECT_EQ(env.ProxyHost, "new.proxy");
    EXPECT_EQ(env.ProxyPort, 8021);
}

// "パッシブモード" is taken by "OK" only, and written to Connect.dat at exit.
TEST_F(SettingsScreens, EnvironmentPassiveModeOkStoresCancelKeeps) {
    Start();
    ui::EnvironmentDialog dialog(*screen, &mainWindow);
    dialog.Fill();
    dialog.open();
    EXPECT_FALSE(dialog.PassiveBox()->isChecked());
    dialog.PassiveBox()->click();
    dialog.CancelButton()->click();
    EXPECT_FALSE(screen->Connections().Passive());

    dialog.Fill();
    dialog.open();
    EXPECT_FALSE(dialog.PassiveBox()->isChecked());
    dialog.PassiveBox()->click();
    dialog.OkButton()->click();
    EXPECT_TRUE(screen->Connections().Passive());
    ASSERT_TRUE(screen->SaveOnExit());
    EXPECT_NE(dir.Read("Connect.dat").find("passive=1"), std::string::npos);
    dialog.Fill();
    EXPECT_TRUE(dialog.PassiveBox()->isChecked());
}

TEST_F(SettingsScreens, EnvironmentShowsBothMembersOffAsLoaded) {
    Start({}, "", {}, "[FTP]\r\nR1=0\r\nR2=0\r\nR3=0\r\nR4=0\r\n");
    ui::EnvironmentDialog dialog(*screen, &mainWindow);
    dialog.Fill();
    for (QRadioButton* b :
         {dialog.NormalButton(), dialog.ProxyButton(), dialog.CreateButton(), dialog.KeepButton()})
        EXPECT_FALSE(b->isChecked()) << b->text().toStdString();
    const auto& env = screen->Environment();
    EXPECT_FALSE(env.NormalConnection || env.UseProxy || env.CreateMissingDirectory ||
                 env.KeepMissingDirectory);
}

// ---- accessibility ----

TEST_F(SettingsScreens, EveryControlHasAnAccessibleName) {
    Start();
    ui::ProfileListDialog profileList(*screen, &mainWindow);
    ui::AddressListDialog addressList(*screen, &mainWindow);
    ui::EnvironmentDialog environment(*screen, &mainWindow);
    const std::vector<QWidget*> screens = {
        &profileList, profileList.Editor(), profileList.Editor()->TemplateEditor(),
        &addressList, addressList.Entry(),  &environment};
    for (QWidget* s : screens) {
        EXPECT_FALSE(s->accessibleName().isEmpty()) << s->metaObject()->className();
        int controls = 0;
        for (QWidget* w : s->findChildren<QWidget*>()) {
            const bool control = qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractButton*>(w) ||
                                 qobject_cast<QAbstractItemView*>(w) ||
                                 qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QGroupBox*>(w) ||
                                 qobject_cast<QTabWidget*>(w);
            // Parts Qt builds inside a grid or tab bar name themselves.
            bool inner = false;
            for (QWidget* p = w->parentWidget(); p && p != s; p = p->parentWidget())
                inner = inner || qobject_cast<QAbstractItemView*>(p) || qobject_cast<QTabBar*>(p) ||
                        qobject_cast<QDialog*>(p);
            if (!control || inner || qobject_cast<QDialog*>(w)) continue;
            ++controls;
            EXPECT_FALSE(w->accessibleName().isEmpty())
                << s->metaObject()->className() << ": " << w->metaObject()->className() << " "
                << w->objectName().toStdString();
        }
        EXPECT_GT(controls, 0);
    }
}

}  // namespace
