#pragma once
// The table of the system's Japanese texts, in Shift_JIS.
//
// Every Japanese text the program shows or writes stands here once, readable, as a UTF-8
// literal; the table converts all of them to Shift_JIS (code page 932) the first time
// texts() is called, so code elsewhere never holds hex-escaped Japanese.
//
// Adding an entry: add one member to the section of your area, initialised with
// Sjis(u8"..."), e.g.
//     std::string SendDone = Sjis(u8"送信終了");
// then use it as platform::texts().SendDone. Keep the exact characters of the text (half-width
// katakana stay half-width). A literal that has no Shift_JIS form makes texts() throw
// platform::Error naming it, so the first test that touches the table shows the mistake.
// English protocol and error texts are plain literals in the code, not entries here.
#include <string>
#include <string_view>

namespace platform {

// UTF-8 -> Shift_JIS for the table's initialisers; throws platform::Error when the text
// has no Shift_JIS form.
std::string Sjis(std::u8string_view utf8);

struct Texts {
    // ---- settings (profiles, address book, environment, header/footer) ----
    std::string CopyPrefix = Sjis(u8"ｺﾋﾟｰ");
    std::string StandardMark = Sjis(u8"（標準）");
    std::string NotRegistered = Sjis(u8"未登録");
    std::string HeaderPlaceholder = Sjis(u8"ヘッダー部");
    std::string FooterPlaceholder = Sjis(u8"フッター部");
    std::string HeaderEditCaption = Sjis(u8"ヘッダー編集");
    std::string FooterEditCaption = Sjis(u8"フッター編集");
    std::string ProfileListCaption = Sjis(u8"送信ｱﾄﾞﾚｽ設定");
    std::string NewEntryCaption = Sjis(u8"新規登録");
    std::string ModifyEntryCaption = Sjis(u8"登録修正");
    std::string AddressListCaption = Sjis(u8"ｱﾄﾞﾚｽ一覧");
    std::string EnvironmentCaption = Sjis(u8"環境設定");
    // Validation messages (our own wording).
    std::string InvalidProfileName =
        Sjis(u8"登録名に「/」「\\」や制御文字は使えません。また空にはできません。");
    std::string CommaInField = Sjis(u8"「,」は入力できません: ");
    std::string NotShiftJisText = Sjis(u8"この文字はシフトJISで表せないため使えません。");
    std::string InvalidPort = Sjis(u8"ﾎﾟｰﾄには10進数の整数を入力して下さい。");

    // ---- settings screens ----
    std::string NewButton = Sjis(u8"新規");
    std::string ModifyButton = Sjis(u8"修正");
    std::string DuplicateButton = Sjis(u8"複製");
    std::string DeleteButton = Sjis(u8"削除");
    std::string StandardButton = Sjis(u8"標準");
    std::string CloseButton = Sjis(u8"閉じる");
    std::string ProfileGridName = Sjis(u8"送信者一覧");
    std::string FtpTab = Sjis(u8"FTP設定");
    std::string MailTab = Sjis(u8"Mail設定");
    std::string ProfileNameLabel = Sjis(u8"登録名");
    std::string FtpHostLabel = Sjis(u8"ﾎｽﾄｱﾄﾞﾚｽ");
    std::string HostStartFolderLabel = Sjis(u8"ﾎｽﾄ開始ﾌｫﾙﾀﾞ");
    std::string FtpUserIdLabel = Sjis(u8"ﾕｰｻﾞｰID");
    std::string PasswordLabel = Sjis(u8"ﾊﾟｽﾜｰﾄﾞ");
    std::string ShowPasswordBox = Sjis(u8"ﾊﾟｽﾜｰﾄﾞ表示");
    std::string SendDirectoryGroup = Sjis(u8"送信先ﾃﾞｨﾚｸﾄﾘ");
    std::string DirectoryChangeable = Sjis(u8"変更可");
    std::string DirectoryFixedLabel = Sjis(u8"変更不可");
    std::string WwwAddressGroup = Sjis(u8"FTPｻｰﾊﾞｰWWWｱﾄﾞﾚｽ");
    std::string UserInfoGroup = Sjis(u8"ﾕｰｻﾞｰ情報");
    std::string MailNameLabel = Sjis(u8"名前");
    std::string MailAddressLabel = Sjis(u8"電子ﾒｰﾙｱﾄﾞﾚｽ");
    std::string ReplyAddressLabel = Sjis(u8"返信ｱﾄﾞﾚｽ");
    std::string SmtpGroup = Sjis(u8"SMTPｻｰﾊﾞｰ設定");
    std::string SmtpServerLabel = Sjis(u8"SMTPｻｰﾊﾞｰ");
    std::string PopAuthBox = Sjis(u8"このｻｰﾊﾞｰはPOP認証が必要");
    std::string Pop3ServerLabel = Sjis(u8"POP3ｻｰﾊﾞｰ");
    std::string PopAccountLabel = Sjis(u8"ｱｶｳﾝﾄ名");
    std::string HeaderEditButton = Sjis(u8"ﾍｯﾀﾞｰ編集");
    std::string FooterEditButton = Sjis(u8"ﾌｯﾀｰ編集");
    std::string TemplateAreaName = Sjis(u8"本文");
    std::string AddressGridName = Sjis(u8"ｱﾄﾞﾚｽ一覧");
    std::string PersonNameLabel = Sjis(u8"氏名");
    std::string RegisterButton = Sjis(u8"登録");
    std::string ConnectionGroup = Sjis(u8"接続設定");
    std::string NormalConnectionButton = Sjis(u8"通常の接続");
    std::string UseProxyButton = Sjis(u8"Ploxyを使用する。");
    std::string ProxyAddressLabel = Sjis(u8"ｱﾄﾞﾚｽ");
    std::string ProxyPortLabel = Sjis(u8"ﾎﾟｰﾄ");
    std::string MissingDirectoryGroup = Sjis(u8"送信先ﾃﾞｨﾚｸﾄﾘが存在しない時");
    std::string CreateDirectoryButton = Sjis(u8"作成する");
    std::string KeepDirectoryButton = Sjis(u8"作成しない");

    // ---- main screen ----
    std::string SenderLabel = Sjis(u8"送信者");
    std::string RecipientLabel = Sjis(u8"送信先");
    std::string EditButton = Sjis(u8"編集");
    std::string FileLabel = Sjis(u8"送信ﾌｧｲﾙ");
    std::string BrowseButton = Sjis(u8"参照");
    std::string DirectoryLabel = Sjis(u8"送信ﾃﾞｨﾚｸﾄﾘ");
    std::string SubjectLabel = Sjis(u8"件  名");
    std::string HeaderAreaName = Sjis(u8"ヘッダー");
    std::string DetailAreaName = Sjis(u8"データ詳細");
    std::string FooterAreaName = Sjis(u8"フッター");
    std::string StatusName = Sjis(u8"ステータス");
    std::string ProgressName = Sjis(u8"進行状況");
    // Names for assistive software (our own wording).
    std::string ToolbarName = Sjis(u8"ツールバー");
    std::string StatusBarName = Sjis(u8"ステータスバー");
    std::string EditSenderName = Sjis(u8"送信者を編集");
    std::string EditRecipientName = Sjis(u8"送信先を編集");
    std::string SendHint = Sjis(u8"送信");
    std::string DeleteHint = Sjis(u8"削除");
    std::string ResendHint = Sjis(u8"再送信");
    std::string PreviewHint = Sjis(u8"ﾌﾟﾚﾋﾞｭｰ");
    std::string EnvironmentHint = Sjis(u8"環境設定");
    std::string ExitHint = Sjis(u8"終了");
    std::string VersionHint = Sjis(u8"ﾊﾞｰｼﾞｮﾝ");
    std::string HelpHint = Sjis(u8"ヘルプ");
    std::string DefaultSubject = Sjis(u8"データ送信の件");
    std::string SelectFilePrompt = Sjis(u8"ﾌｧｲﾙを選択して下さい。");
    std::string VersionCaption = Sjis(u8"バージョン情報");
    std::string DetailRule = Sjis(u8"データ詳細=================================================");
    std::string DetailFileName = Sjis(u8"【ファイル名】：");
    std::string DetailFileSize = Sjis(u8"【ファイル量】：");
    std::string DetailBytes = Sjis(u8"ﾊﾞｲﾄ");
    // Messages (our own wording).
    std::string FileNameNotSjis =
        Sjis(u8"このファイルのパスにはシフトJISで表せない文字が含まれるため選べません。");
    std::string HelpMissing = Sjis(u8"ヘルプファイルが見つかりません: ");
    std::string HelpOpenFailed = Sjis(u8"ヘルプファイルを開けませんでした: ");
    // Data files at start and exit: "「" file "」" + one of these, then the system's reason.
    std::string ReadFailedKept =
        Sjis(u8"を読み込めませんでした。このファイルは終了時にも書き換えず、そのまま残します。");
    std::string ReadFailed = Sjis(u8"を読み込めませんでした。");
    std::string SaveFailed = Sjis(u8"を保存できませんでした。");
    std::string UnreadNotSaved = Sjis(
        u8"は起動時に読み込めなかったため書き換えていません。この間の変更は保存されていません。");
    std::string OthersSaved = Sjis(u8"ほかのファイルは保存しました。");

    // ---- send workflow ----
    std::string StatusConnecting = Sjis(u8"接続中");
    std::string StatusTransferring = Sjis(u8"転送中");
    std::string ProgressMiddle = Sjis(u8"を転送中（");
    std::string ProgressSlash = Sjis(u8"ﾊﾞｲﾄ／");
    std::string ProgressEnd = Sjis(u8"ﾊﾞｲﾄ）");
    std::string StatusSendDone = Sjis(u8"送信終了");
    std::string StatusNoSendDirectory = Sjis(u8"送信先ﾃﾞｨﾚｸﾄﾘが在りません");
    std::string StatusConnectionClosed = Sjis(u8"接続終了");
    std::string CheckSendFile = Sjis(u8"送信ﾌｧｲﾙを再確認して下さい。");
    std::string RegisterAddressFirst = Sjis(u8"　送信先ｱﾄﾞﾚｽを登録後　");
    std::string RegisterAddressThenSend = Sjis(u8"　送信して下さい。");
    std::string ConfirmOpen = Sjis(u8"【");
    std::string ConfirmClose = Sjis(u8"】を");
    std::string ConfirmRecipient = Sjis(u8"様宛に送信します。");
    std::string ConfirmQuestion = Sjis(u8"よろしいですか？");
    std::string FtpConnectFailed = Sjis(u8"FTP接続に失敗しました。");
    std::string FtpErrorDisconnect = Sjis(u8"FTPでのエラー為切断します。");
    std::string PreviewCaption = Sjis(u8"ﾒｰﾙﾌﾟﾚﾋﾞｭｰ");
    std::string PreviewAreaName = Sjis(u8"ﾒｰﾙ本文");
    std::string OkButton = Sjis(u8"OK");
    std::string StatusMailConnecting = Sjis(u8"ﾒｰﾙｻｰﾊﾞｰへ接続中");
    std::string StatusMailSending = Sjis(u8"ﾒｰﾙｻｰﾊﾞｰへ送信中");
    std::string Pop3ConnectError = Sjis(u8"POP3ｻｰﾊﾞｰ接続ｴﾗｰ");
    std::string Pop3LoginError = Sjis(u8"POP3ｻｰﾊﾞｰﾛｸﾞｲﾝｴﾗｰ");
    // Send log grid, resend selection and deletion window.
    std::string GridDate = Sjis(u8"送信日");
    std::string GridFileName = Sjis(u8"送信ﾌｧｲﾙ名");
    std::string GridRecipient = Sjis(u8"送信宛先");
    std::string LogGridName = Sjis(u8"送信履歴");
    std::string ResendCaption = Sjis(u8"再送信ﾃﾞｰﾀ選択");
    std::string SelectButton = Sjis(u8"選択");
    std::string ExitButton = Sjis(u8"終了");
    std::string DeletionCaption = Sjis(u8"ﾃﾞｰﾀ削除");
    std::string RemoveFromListButton = Sjis(u8"ﾘｽﾄのみ削除");
    std::string DeleteDataButton = Sjis(u8"ﾃﾞｰﾀ削除");
    std::string ConfirmDelete = Sjis(u8"削除します。");
    std::string StatusDeleting = Sjis(u8"削除中");
    std::string StatusNoDirectory = Sjis(u8"ﾃﾞｨﾚｸﾄﾘが在りません");
    std::string FileMissing = Sjis(u8"ﾌｧｲﾙが在りません。");
    std::string StatusDeleteDone = Sjis(u8"削除終了");
    // Messages (our own wording) for failures that would otherwise pass unseen.
    std::string DeleteDirectoryMissing = Sjis(u8"ﾌｧｲﾙのﾃﾞｨﾚｸﾄﾘが在りません。履歴は残します。");
    std::string DeleteFailed = Sjis(u8"ﾌｧｲﾙを削除できませんでした。履歴は残します。");
    std::string Pop3ConnectFailed =
        Sjis(u8"POP3ｻｰﾊﾞｰに接続できませんでした。通知ﾒｰﾙは送信されていません。");
    std::string Pop3LoginFailed =
        Sjis(u8"POP3ｻｰﾊﾞｰにﾛｸﾞｲﾝできませんでした。通知ﾒｰﾙは送信されていません。");
    std::string SmtpConnectFailed =
        Sjis(u8"ﾒｰﾙｻｰﾊﾞｰに接続できませんでした。通知ﾒｰﾙは送信されていません。");
    // Mail submission with TLS and log-in (our own wording). The dialog shows the text and
    // MailNotSent; the error log the text, the host and the server's words.
    std::string MailNotSent = Sjis(u8"通知ﾒｰﾙは送信されていません。");
    std::string SmtpAuthFailed =
        Sjis(u8"SMTP認証に失敗しました。接続設定のSMTP認証のﾕｰｻﾞｰ名とﾊﾟｽﾜｰﾄﾞを確認して下さい。");
    std::string SmtpNoAuth = Sjis(
        u8"SMTPｻｰﾊﾞｰが使える認証方式（PLAIN、LOGIN、CRAM-MD5）を示さないため、認証できません"
        u8"でした。");
    std::string SmtpNoStartTls =
        Sjis(u8"SMTPｻｰﾊﾞｰがSTARTTLSに対応していないため、暗号化して接続できませんでした。");
    std::string SmtpStartTlsRefused = Sjis(u8"SMTPｻｰﾊﾞｰがSTARTTLSを拒否しました。");
    std::string Pop3StlsRefused = Sjis(
        u8"POP3ｻｰﾊﾞｰがSTLSを拒否したため、暗号化して接続できませんでした。通知ﾒｰﾙは送信されて"
        u8"いません。");
    // The SMTP log-in fields as a refusal names them.
    std::string SmtpUserField = Sjis(u8"SMTP認証のﾕｰｻﾞｰ名");
    std::string SmtpPasswordField = Sjis(u8"SMTP認証のﾊﾟｽﾜｰﾄﾞ");

    // ---- send log, resend and deletion ----

    // ---- mail ----
    // Refusals of a send before anything goes out (our own wording): "「" field "」" reason.
    std::string SubjectField = Sjis(u8"件名");
    std::string FieldOpen = Sjis(u8"「");
    std::string FieldClose = Sjis(u8"」");
    std::string RefusedControlCharacter =
        Sjis(u8"に改行などの制御文字が含まれているため送信できません。");
    std::string RefusedAddress =
        Sjis(u8"のメールアドレスに「<」「>」「,」や空白が含まれているため送信できません。");
    std::string RefusedTooLong = Sjis(u8"が長すぎるため送信できません。");

    // ---- FTP ----
    std::string UploadDone = Sjis(u8"送信終了");  // an upload's success (TransUpload)

    // ---- connections: ports, TLS, certificates (our own wording) ----
    // A failed secure connection: "「" host "」" + the reason.
    std::string TlsUnknownIssuer =
        Sjis(u8"の証明書は信頼された認証局の発行ではありません（自己署名の証明書など）。");
    std::string TlsNameMismatch = Sjis(u8"の証明書は別のホスト名に発行されています。");
    std::string TlsExpired = Sjis(u8"の証明書は有効期限が切れています。");
    std::string TlsNotYetValid = Sjis(u8"の証明書はまだ有効期間に入っていません。");
    std::string TlsCertificateInvalid = Sjis(u8"の証明書を検証できませんでした。");
    std::string TlsCertificateChanged = Sjis(
        u8"の証明書が信頼した証明書から変わっているため接続を中止しました。"
        u8"変更が正しい場合は、接続設定で信頼した証明書を削除して下さい。");
    std::string TlsRefused = Sjis(
        u8"がTLS（暗号化）への切り替えを拒否したため接続を中止しました。"
        u8"パスワードは送信していません。");
    std::string TlsHandshakeFailed = Sjis(u8"との暗号化（TLS）接続を確立できませんでした。");
    // The question before trusting one certificate.
    std::string TrustFingerprint = Sjis(u8"証明書の指紋（SHA-256）：");
    std::string TrustQuestion = Sjis(u8"この証明書を信頼して接続しますか？");
    std::string TrustRemembered = Sjis(u8"（信頼した証明書は送信者の接続設定に保存されます）");
    // A port typed into a server field ("host:port") that is not one.
    std::string RefusedPort = Sjis(u8"のﾎﾟｰﾄ番号が正しくないため送信できません。");
    // Profile editor tab and environment settings.
    std::string ConnectionTab = Sjis(u8"接続");
    std::string FtpConnectionGroup = Sjis(u8"FTP");
    std::string SmtpConnectionGroup = Sjis(u8"SMTP");
    std::string PopConnectionGroup = Sjis(u8"POP3");
    std::string SecurityLabel = Sjis(u8"暗号化");
    std::string PortLabel = Sjis(u8"ﾎﾟｰﾄ");
    std::string NameRuleLabel = Sjis(u8"ﾌｧｲﾙ名");
    std::string FingerprintLabel = Sjis(u8"信頼した証明書");
    std::string ForgetFingerprintButton = Sjis(u8"削除");
    std::string SecurityNone = Sjis(u8"なし");
    std::string FtpExplicitTls = Sjis(u8"明示的TLS (AUTH TLS)");
    std::string FtpImplicitTls = Sjis(u8"暗黙的TLS (FTPS)");
    std::string SmtpStartTls = Sjis(u8"STARTTLS");
    std::string PopStls = Sjis(u8"STLS");
    std::string ImplicitTls = Sjis(u8"SSL/TLS");
    std::string NameRuleShiftJis = Sjis(u8"Shift_JIS");
    std::string NameRuleAutomatic = Sjis(u8"自動（ｻｰﾊﾞｰが対応していればUTF-8）");
    std::string SmtpAuthBox = Sjis(u8"SMTP認証を使う");
    std::string SmtpUserLabel = Sjis(u8"ﾕｰｻﾞｰ名");
    std::string PassiveModeGroup = Sjis(u8"FTPﾃﾞｰﾀ接続");
    std::string PassiveModeBox = Sjis(u8"パッシブモード");
    std::string InvalidConnectionPort = Sjis(u8"ﾎﾟｰﾄには1から65535までの10進数を入力して下さい: ");

    // ---- other screens ----
};

// The one table, converted on first use.
const Texts& texts();

}  // namespace platform
