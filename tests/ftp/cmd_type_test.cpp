#include "ftp/cmd_type.h"

#include <gtest/gtest.h>

namespace {

using ftp::TextsOf;

TEST(CmdType, TextsOfTheWindowsPerCode) {
    struct Row {
        ftp::TCmdType code;
        const char* name;
        const char* success;
        const char* failure;
        const char* delete_status;
        const char* delete_log;
    } rows[] = {
        {ftp::TransChangeDir, "TransChangeDir", "ChangeDir success", "", "ChangeDir failure",
         "Delete Process ChangeDir failure"},
        {ftp::TransMakeDir, "TransMakeDir", "MakeDir success", "MakeDir failure", "MakeDir failure",
         "Delete Process MakeDir failure"},
        {ftp::TransDelete, "TransDelete", "Delete success", "Delete failure", "Delete failure",
         "Delete Process Delete failure"},
        {ftp::TransUploadRestore, "TransUploadRestore", "UPloadRestore success",
         "UPloadRestore failure", "UPloadRestore failure", "Delete Process UPloadRestore failure"},
        // 送信終了 in Shift_JIS
        {ftp::TransUpload, "TransUpload", "\x91\x97\x90\x4D\x8F\x49\x97\xB9", "Upload failure",
         "Upload failure", "Delete Process Upload failure"},
        {ftp::TransDoCommand, "TransDoCommand", "DoCommand success", "DoCommand failure",
         "DoCommand failure", "Delete Process DoCommand failure"},
        {ftp::TransPrintDir, "TransPrintDir", "", "", "", ""},
    };
    for (const auto& r : rows) {
        const auto& t = TextsOf(r.code);
        EXPECT_EQ(t.name, r.name);
        EXPECT_EQ(t.send_success, r.success) << r.name;
        EXPECT_EQ(t.send_failure, r.failure) << r.name;
        EXPECT_EQ(t.delete_failure, r.delete_status) << r.name;
        EXPECT_EQ(t.delete_error_log, r.delete_log) << r.name;
    }
    EXPECT_EQ(TextsOf(static_cast<ftp::TCmdType>(16)).name, "");
}

}  // namespace
