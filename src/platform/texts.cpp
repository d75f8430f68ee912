#include "platform/texts.h"

#include <iconv.h>

#include <cerrno>

#include "platform/error.h"

namespace platform {

std::string Sjis(std::u8string_view utf8) {
    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw Error("iconv: CP932 conversion is not available");
    std::string in(reinterpret_cast<const char*>(utf8.data()), utf8.size());
    std::string out(in.size() * 2 + 4, '\0');
    char* inp = in.data();
    size_t inleft = in.size();
    char* outp = out.data();
    size_t outleft = out.size();
    const size_t rc = iconv(cd, &inp, &inleft, &outp, &outleft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1)) throw Error("text has no Shift_JIS form: " + in);
    out.resize(out.size() - outleft);
    return out;
}

const Texts& texts() {
    static const Texts table;
    return table;
}

}  // namespace platform
