#include "platform/screen_text.h"

#include <iconv.h>

#include <cerrno>

#include "platform/error.h"

namespace platform {
namespace {

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) {
            throw Error(std::string("iconv: no conversion from ") + from + " to " + to);
        }
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts in; an invalid or unconvertible sequence is replaced by `replacement` and one
    // input byte skipped (one whole character for valid UTF-8 input), or conversion fails
    // when `replacement` is null.
    std::optional<std::string> Run(std::string_view in, const char* replacement, bool utf8Input) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string out;
        std::string buf(in.size() * 3 + 16, '\0');
        char* inp = const_cast<char*>(in.data());
        size_t inleft = in.size();
        while (inleft > 0) {
            char* outp = buf.data();
            size_t outleft = buf.size();
            const size_t rc = iconv(cd_, &inp, &inleft, &outp, &outleft);
            out.append(buf.data(), buf.size() - outleft);
            if (rc != static_cast<size_t>(-1)) break;
            if (errno == E2BIG) continue;
            if (!replacement) return std::nullopt;
            out += replacement;
            size_t skip = 1;
            if (utf8Input && errno == EILSEQ) {
                const auto c = static_cast<unsigned char>(*inp);
                const size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
                bool whole = len <= inleft;
                for (size_t k = 1; whole && k < len; ++k) {
                    whole = (static_cast<unsigned char>(inp[k]) & 0xC0) == 0x80;
                }
                if (whole) skip = len;
            }
            if (skip > inleft) skip = inleft;
            inp += skip;
            inleft -= skip;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        return out;
    }

private:
    iconv_t cd_;
};

Converter& ToUtf8() {
    static thread_local Converter c("UTF-8", "CP932");
    return c;
}
Converter& ToSjis() {
    static thread_local Converter c("CP932", "UTF-8");
    return c;
}

}  // namespace

std::string SjisToUtf8(std::string_view sjis) { return *ToUtf8().Run(sjis, "\xEF\xBF\xBD", false); }

std::optional<std::string> TrySjisToUtf8(std::string_view sjis) {
    return ToUtf8().Run(sjis, nullptr, false);
}

std::string Utf8ToSjis(std::string_view utf8) { return *ToSjis().Run(utf8, "?", true); }

std::optional<std::string> TryUtf8ToSjis(std::string_view utf8) {
    return ToSjis().Run(utf8, nullptr, true);
}

}  // namespace platform
