#include "ftp/cmd_type.h"

#include <array>

#include "platform/texts.h"

namespace ftp {

namespace {

CmdTypeTexts Make(const char* name, const char* word) {
    const std::string w = word;
    return {name, w + " success", w + " failure", w + " failure",
            "Delete Process " + w + " failure"};
}

std::array<CmdTypeTexts, kCmdTypeCount> Build() {
    std::array<CmdTypeTexts, kCmdTypeCount> t{
        Make("TransChangeDir", "ChangeDir"),
        Make("TransMakeDir", "MakeDir"),
        Make("TransDelete", "Delete"),
        Make("TransRemoveDir", "RemoveDir"),
        Make("TransList", "List"),
        Make("TransRename", "Rename"),
        Make("TransUploadRestore", "UPloadRestore"),
        Make("TransDownRestore", "DownRestore"),
        Make("TransDownload", "Download"),
        Make("TransUpload", "Upload"),
        Make("TransUploadAppend", "UploadAppend"),
        Make("TransReInit", "ReInit"),
        Make("TransAllocate", "Allocate"),
        Make("TransNList", "NList"),
        Make("TransDoCommand", "DoCommand"),
        CmdTypeTexts{"TransPrintDir", "", "", "", ""},
    };
    t[TransChangeDir].send_failure.clear();  // a failed CWD is followed by MKD, not reported
    t[TransUpload].send_success = platform::texts().UploadDone;
    return t;
}

}  // namespace

const CmdTypeTexts& TextsOf(TCmdType code) {
    static const std::array<CmdTypeTexts, kCmdTypeCount> table = Build();
    static const CmdTypeTexts none{};
    return code < kCmdTypeCount ? table[code] : none;
}

}  // namespace ftp
