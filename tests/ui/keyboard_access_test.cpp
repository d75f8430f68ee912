// The screens from the keyboard and through Qt's accessibility interfaces: the tab order of
// every window, what assistive software is told about each control and status line, and a
// send, a resend and a deletion against local servers by key presses alone.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <cstdlib>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "peers/require_server.h"
#include "platform/texts.h"
#include "ui/address_entry_dialog.h"
#include "ui/address_list_dialog.h"
#include "ui/deletion_dialog.h"
#include "ui/environment_dialog.h"
#include "ui/preview_dialog.h"
#include "ui/profile_editor_dialog.h"
#include "ui/profile_list_dialog.h"
#include "ui/qt_text.h"
#include "ui/real_send.h"
#include "ui/resend_dialog.h"
#include "ui/template_editor_dialog.h"
#include "ui/version_window.h"

// Failures show texts readably.
static void PrintTo(const QString& text, std::ostream* out) { *out << text.toStdString(); }

namespace {

namespace fs = std::filesystem;
using platform::texts;
using uitest::Dir;

QString U(const char8_t* text) { return QString::fromUtf8(reinterpret_cast<const char*>(text)); }

QAccessibleInterface* Accessible(QObject* object) {
    return QAccessible::queryAccessibleInterface(object);
}

// Presses Tab from the window's first focus until the focus comes back there; returns the
// accessible names met on the way. Every stop must be named and, where the control holds a
// value, expose it.
QStringList WalkTabOrder(QWidget* window) {
    QStringList names;
    QWidget* first = window->focusWidget();
    EXPECT_TRUE(first) << "nothing has the focus in " << window->windowTitle().toStdString();
    if (!first) return names;
    for (int i = 0; i < 40; ++i) {
        QWidget* focused = window->focusWidget();
        if (i > 0 && focused == first) return names;
        QAccessibleInterface* iface = Accessible(focused);
        EXPECT_TRUE(iface);
        if (!iface) return names;
        const QString name = iface->text(QAccessible::Name);
        EXPECT_FALSE(name.isEmpty())
            << "unnamed focus stop: " << focused->metaObject()->className();
        // Whatever it hands the focus to inside (a list's field, a grid's cell) is named too.
        for (QAccessibleInterface *outer = iface, *inner = iface->focusChild();
             inner && inner != outer; outer = inner, inner = inner->focusChild())
            EXPECT_FALSE(inner->text(QAccessible::Name).isEmpty()) << "in " << name.toStdString();
        if (auto* edit = qobject_cast<QLineEdit*>(focused)) {
            EXPECT_EQ(iface->text(QAccessible::Value), edit->text()) << name.toStdString();
        }
        if (auto* box = qobject_cast<QComboBox*>(focused)) {
            EXPECT_EQ(iface->text(QAccessible::Value), box->currentText()) << name.toStdString();
        }
        if (auto* area = qobject_cast<QPlainTextEdit*>(focused)) {
            EXPECT_EQ(iface->text(QAccessible::Value), area->toPlainText()) << name.toStdString();
        }
        names << name;
        QTest::keyClick(focused, Qt::Key_Tab);
    }
    ADD_FAILURE() << "the tab order never came back to its start";
    return names;
}

// Opened as the program opens it (modal exec); the walk runs inside.
template <class Dialog>
QStringList DialogTabOrder(Dialog& dialog) {
    QStringList names;
    QTimer::singleShot(0, &dialog, [&] {
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
        names = WalkTabOrder(&dialog);
        static_cast<QDialog&>(dialog).reject();
    });
    dialog.exec();
    return names;
}

QStringList Names(std::initializer_list<const char8_t*> names) {
    QStringList list;
    for (const char8_t* n : names) list << U(n);
    return list;
}

TEST(KeyboardAccess, TabOrderOfEveryWindow) {
    Dir data;
    uitest::WriteProfile(data.path(), "t@example.test");
    ui::MainWindow window(data.path());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    // Fields top to bottom, then the toolbar.
    EXPECT_EQ(
        WalkTabOrder(&window).join(" | "),
        Names({u8"送信者", u8"送信者を編集", u8"送信先", u8"送信先を編集", u8"送信ﾌｧｲﾙ", u8"参照",
               u8"送信ﾃﾞｨﾚｸﾄﾘ", u8"件  名", u8"ヘッダー", u8"データ詳細", u8"フッター", u8"送信",
               u8"削除", u8"再送信", u8"ﾌﾟﾚﾋﾞｭｰ", u8"環境設定", u8"終了", u8"ﾊﾞｰｼﾞｮﾝ", u8"ヘルプ"})
            .join(" | "));

    app::MainScreen& screen = window.Screen();
    struct Case {
        const char* window;
        std::function<QStringList()> walk;
        QStringList expected;
    } cases[] = {
        {"deletion",
         [&] {
             ui::DeletionDialog d(screen, &window);
             return DialogTabOrder(d);
         },
         Names({u8"送信履歴", u8"ﾘｽﾄのみ削除", u8"ﾃﾞｰﾀ削除", u8"終了"})},
        {"resend",
         [&] {
             ui::ResendDialog d(screen, &window);
             return DialogTabOrder(d);
         },
         Names({u8"送信履歴", u8"選択", u8"終了"})},
        {"preview",
         [&] {
             ui::PreviewDialog d(screen, &window);
             return DialogTabOrder(d);
         },
         Names({u8"ﾒｰﾙ本文", u8"OK"})},
        {"version",
         [&] {
             ui::VersionWindow d(&window);
             return DialogTabOrder(d);
         },
         Names({u8"OK"})},
        {"address list",
         [&] {
             ui::AddressListDialog d(screen, &window);
             return DialogTabOrder(d);
         },
         Names({u8"ｱﾄﾞﾚｽ一覧", u8"新規", u8"修正", u8"削除", u8"閉じる"})},
        {"address entry",
         [&] {
             ui::AddressEntryDialog d(screen, &window);
             return DialogTabOrder(d);
         },
         Names({u8"氏名", u8"電子ﾒｰﾙｱﾄﾞﾚｽ", u8"登録", u8"Cancel"})},
        {"profile list",
         [&] {
             ui::ProfileListDialog d(screen, &window);
             return DialogTabOrder(d);
         },
         Names({u8"送信者一覧", u8"新規", u8"修正", u8"複製", u8"削除", u8"標準", u8"閉じる"})},
        {"profile editor",
         [&] {
             ui::ProfileEditorDialog d(screen, &window);
             return DialogTabOrder(d);
         },
         // The send directory is off while the directory may be changed.
         Names({u8"登録名", u8"FTP設定", u8"ﾎｽﾄｱﾄﾞﾚｽ", u8"ﾎｽﾄ開始ﾌｫﾙﾀﾞ", u8"ﾕｰｻﾞｰID", u8"ﾊﾟｽﾜｰﾄﾞ",
                u8"ﾊﾟｽﾜｰﾄﾞ表示", u8"変更可", u8"FTPｻｰﾊﾞｰWWWｱﾄﾞﾚｽ", u8"OK", u8"Cancel"})},
        {"environment",
         [&] {
             ui::EnvironmentDialog d(screen, &window);
             return DialogTabOrder(d);
         },
         // One stop per choice (the arrows move inside); the proxy fields are off.
         Names({u8"通常の接続", u8"作成する", u8"パッシブモード", u8"OK", u8"Cancel"})},
        {"template editor",
         [&] {
             ui::TemplateEditorDialog d(data.path(), &window);
             return DialogTabOrder(d);
         },
         Names({u8"本文", u8"OK", u8"Cancel"})},
    };
    for (const auto& c : cases) EXPECT_EQ(c.walk().join(" | "), c.expected.join(" | ")) << c.window;
    window.hide();
}

TEST(KeyboardAccess, ToolbarKeysAreShownInTheTooltips) {
    Dir data;
    ui::MainWindow window(data.path());
    struct Case {
        QAction* action;
        const char* key;
    } cases[] = {
        {window.SendAction(), "Alt+S"},        {window.DeleteAction(), "Alt+D"},
        {window.ResendAction(), "Alt+R"},      {window.PreviewAction(), "Alt+P"},
        {window.EnvironmentAction(), "Alt+E"}, {window.ExitAction(), "Ctrl+Q"},
        {window.VersionAction(), "Alt+V"},     {window.HelpAction(), "F1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.action->shortcut(), QKeySequence(QString::fromLatin1(c.key)));
        const QString shown =
            c.action->text() + " (" + c.action->shortcut().toString(QKeySequence::NativeText) + ")";
        EXPECT_EQ(c.action->toolTip(), shown);
        QToolBar* toolbar = window.findChild<QToolBar*>();
        EXPECT_EQ(toolbar->widgetForAction(c.action)->toolTip(), shown);
    }
    // "終了" has the same key in the windows that have that button.
    ui::DeletionDialog deletion(window.Screen(), &window);
    ui::ResendDialog resend(window.Screen(), &window);
    EXPECT_EQ(deletion.ExitButton()->shortcut(), window.ExitAction()->shortcut());
    EXPECT_EQ(resend.ExitButton()->shortcut(), window.ExitAction()->shortcut());
}

TEST(KeyboardAccess, StatusLinesAndBarsTellAssistiveSoftware) {
    Dir data;
    ui::MainWindow window(data.path());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(Accessible(window.findChild<QToolBar*>())->text(QAccessible::Name),
              U(u8"ツールバー"));
    EXPECT_EQ(Accessible(window.statusBar())->text(QAccessible::Name), U(u8"ステータスバー"));

    auto statusOf = [](QWidget* owner) -> QAccessibleInterface* {
        // The status line is the one status-bar object among the owner's children.
        for (QWidget* w : owner->findChildren<QWidget*>()) {
            QAccessibleInterface* iface = Accessible(w);
            if (iface && iface->role() == QAccessible::StatusBar &&
                w != owner->findChild<QStatusBar*>())
                return iface;
        }
        return nullptr;
    };
    QAccessibleInterface* main = statusOf(&window);
    ASSERT_TRUE(main);
    // What a screen reader is told when the line changes: the events as the bridge gets them.
    static std::vector<std::pair<QAccessible::Event, QString>> announced;
    announced.clear();
    const QAccessible::UpdateHandler before =
        QAccessible::installUpdateHandler([](QAccessibleEvent* event) {
            if (QAccessibleInterface* iface = event->accessibleInterface();
                iface && iface->role() == QAccessible::StatusBar)
                announced.emplace_back(
                    event->type(),
                    event->type() == QAccessible::ValueChanged
                        ? static_cast<QAccessibleValueChangeEvent*>(event)->value().toString()
                        : iface->text(QAccessible::Name));
        });
    window.SetStatus(texts().StatusSendDone);
    QAccessible::installUpdateHandler(before);
    EXPECT_EQ(main->text(QAccessible::Name), U(u8"ステータス：送信終了"));
    EXPECT_EQ(main->text(QAccessible::Value), U(u8"送信終了"));
    // Qt tells assistive software only while some listens: on the offscreen platform never, on
    // a desktop with the accessibility bus switched on (tests/a11y/run_with_bus.sh) always.
    if (std::getenv("FERNLAY_A11Y_BUS")) {
        EXPECT_TRUE(QAccessible::isActive());
        const std::vector<std::pair<QAccessible::Event, QString>> expected = {
            {QAccessible::NameChanged, U(u8"ステータス：送信終了")},
            {QAccessible::ValueChanged, U(u8"送信終了")}};
        EXPECT_EQ(announced, expected);
    }
    window.SetStatus("");
    EXPECT_EQ(main->text(QAccessible::Name), U(u8"ステータス"));

    ui::DeletionDialog deletion(window.Screen(), &window);
    QAccessibleInterface* deleting = statusOf(&deletion);
    ASSERT_TRUE(deleting);
    deletion.SetStatus(texts().StatusConnecting);
    EXPECT_EQ(deleting->text(QAccessible::Name), U(u8"ステータス：接続中"));
    EXPECT_EQ(deleting->text(QAccessible::Value), U(u8"接続中"));
    window.hide();
}

// Presses keys in the modal screens that come up, one step per screen, in order. The keys go
// out from the event loop, so a screen that opens another inside (a question) is driven too.
class KeyScript {
public:
    struct Step {
        std::function<bool(QWidget*)> matches;
        std::vector<QKeyCombination> keys;
    };
    explicit KeyScript(std::vector<Step> steps) : steps_(std::move(steps)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start(20);
    }
    std::size_t Taken() const { return next_; }

private:
    void Poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || next_ >= steps_.size() || modal == last_) return;
        if (!modal->isActiveWindow() || !steps_[next_].matches(modal)) return;
        last_ = modal;
        const std::vector<QKeyCombination> keys = steps_[next_++].keys;
        QTimer::singleShot(0, [target = QPointer<QWidget>(modal), keys, this] {
            for (const QKeyCombination key : keys) {
                if (!target) return;
                QWidget* to = target->focusWidget() ? target->focusWidget() : target.data();
                QTest::keyClick(to, key.key(), key.keyboardModifiers());
            }
            last_ = nullptr;
        });
    }
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    QPointer<QWidget> last_;
    QTimer timer_;
};

bool IsQuestion(QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    return box && box->button(QMessageBox::Yes);
}

TEST(KeyboardAccess, SendResendAndDeleteWithKeysAlone) {
    uitest::RealSend send;
    if (const std::string problem = send.Open("report.txt", 3000, 0, false); !problem.empty())
        FERNLAY_SERVER_UNAVAILABLE(problem);
    ui::MainWindow& window = *send.window;
    const apptest::LocalServers& servers = *send.servers;
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QWidget* start = window.focusWidget();
    ASSERT_TRUE(start);
    // Keys go to the control with the focus once the window is active again (the platform
    // activates it a moment after a job or a dialog ends).
    auto press = [&](Qt::Key key, Qt::KeyboardModifiers modifiers) {
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(window.focusWidget(), key, modifiers);
    };

    // The file chooser is a real modal window here, closed by Enter.
    const auto chosen = send.work.path() / "report.txt";
    window.FileDialog = [&](QWidget* parent) {
        QDialog chooser(parent);
        QTimer::singleShot(50, &chooser, [&] { QTest::keyClick(&chooser, Qt::Key_Escape); });
        chooser.exec();
        return QString::fromStdString(chosen.string());
    };
    // A button's key clicks it a moment later, as a mouse click would look.
    QTest::keyClick(start, Qt::Key_O, Qt::ControlModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.FileText() == chosen.string(); }));
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window)) << "back in the main window";
    EXPECT_EQ(window.focusWidget(), start) << "and on the control that had the focus";

    {
        KeyScript script({{IsQuestion, {Qt::Key_Return}}});
        press(Qt::Key_S, Qt::AltModifier);
        EXPECT_EQ(script.Taken(), 1u);
    }
    EXPECT_EQ(window.Status(), texts().StatusSendDone);
    ASSERT_TRUE(fs::exists(servers.FtpHome() / "www/report.txt"));
    EXPECT_EQ(window.focusWidget(), start) << "the focus survives the send";

    // Resend: choose the logged send with Enter, then send the notification again.
    {
        KeyScript script(
            {{[](QWidget* w) { return qobject_cast<ui::ResendDialog*>(w); }, {Qt::Key_Return}}});
        press(Qt::Key_R, Qt::AltModifier);
        EXPECT_EQ(script.Taken(), 1u);
    }
    EXPECT_TRUE(window.Screen().State().ResendMode);
    {
        KeyScript script({{IsQuestion, {Qt::Key_Return}}});
        press(Qt::Key_S, Qt::AltModifier);
        EXPECT_EQ(script.Taken(), 1u);
    }
    EXPECT_EQ(apptest::ReadMailJson(servers.Maildir()).size(), 2u);

    // Deletion: Alt+D in the window, Enter to confirm, Esc once it has ended.
    {
        auto isDeletion = [](QWidget* w) { return qobject_cast<ui::DeletionDialog*>(w); };
        KeyScript script({
            {isDeletion, {QKeyCombination(Qt::AltModifier, Qt::Key_D)}},
            {IsQuestion, {Qt::Key_Return}},
            {[](QWidget* w) {
                 auto* d = qobject_cast<ui::DeletionDialog*>(w);
                 return d && d->isEnabled() && d->Status() == texts().StatusDeleteDone;
             },
             {Qt::Key_Escape}},
        });
        press(Qt::Key_D, Qt::AltModifier);
        EXPECT_EQ(script.Taken(), 3u);
    }
    EXPECT_FALSE(fs::exists(servers.FtpHome() / "www/report.txt"));
    EXPECT_TRUE(window.Screen().LogList().empty());
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    window.hide();
}

}  // namespace
