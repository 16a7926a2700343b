#include "platform/AnsiCodePage.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <string_view>

namespace {

constexpr const char* kAnsiName = "WINDOWS-1256";

// One iconv descriptor per direction, opened on first use. Conversions run on one
// thread in the program; the mutex keeps the shared descriptors safe elsewhere.
struct Converter {
    iconv_t cd = reinterpret_cast<iconv_t>(-1);
    std::mutex lock;
    Converter(const char* to, const char* from) : cd(iconv_open(to, from)) {}
    ~Converter()
    {
        if (cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(cd);
    }
    bool ok() const { return cd != reinterpret_cast<iconv_t>(-1); }
};

Converter& toAnsi()
{
    static Converter c(kAnsiName, "UTF-8");
    return c;
}

Converter& fromAnsi()
{
    static Converter c("UTF-8", kAnsiName);
    return c;
}

// Length of the UTF-8 sequence that starts with this byte (1 for a stray byte).
std::size_t utf8Length(unsigned char lead)
{
    if (lead >= 0xF0)
        return 4;
    if (lead >= 0xE0)
        return 3;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

// Converts in through conv. Input that has no output is stepped over by
// skipLength bytes and written as replacement.
QByteArray convert(Converter& conv, const QByteArray& in, std::string_view replacement,
                   std::size_t (*skipLength)(unsigned char))
{
    std::lock_guard guard(conv.lock);
    iconv(conv.cd, nullptr, nullptr, nullptr, nullptr);
    // Four bytes of output per byte of input is enough either way (Windows-1256
    // to UTF-8 takes at most three, and a replacement is never longer than the
    // input it stands for times three).
    QByteArray out(in.size() * 4, Qt::Uninitialized);
    char* src = const_cast<char*>(in.constData());
    size_t srcLeft = size_t(in.size());
    char* dst = out.data();
    size_t dstLeft = size_t(out.size());
    while (srcLeft > 0) {
        if (iconv(conv.cd, &src, &srcLeft, &dst, &dstLeft) != size_t(-1))
            break;
        if (errno != EILSEQ && errno != EINVAL)
            break;
        const size_t skip = std::min(srcLeft, skipLength(static_cast<unsigned char>(*src)));
        src += skip;
        srcLeft -= skip;
        dst = std::copy(replacement.begin(), replacement.end(), dst);
        dstLeft -= replacement.size();
        iconv(conv.cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.truncate(qsizetype(dst - out.data()));
    return out;
}

} // namespace

QByteArray ConvertToAnsi(const QString& text)
{
    Converter& conv = toAnsi();
    if (!conv.ok()) {
        QByteArray out;
        for (QChar c : text)
            out.append(c.unicode() < 0x80 ? char(c.unicode()) : '?');
        return out;
    }
    // A character without a byte becomes "?"; the whole UTF-8 sequence is stepped over.
    return convert(conv, text.toUtf8(), "?", utf8Length);
}

QString ConvertFromAnsi(const QByteArray& bytes)
{
    Converter& conv = fromAnsi();
    if (!conv.ok())
        return QString::fromLatin1(bytes);
    // A byte without a character (none in Windows-1256, but be safe): U+FFFD.
    return QString::fromUtf8(
        convert(conv, bytes, "\xEF\xBF\xBD", [](unsigned char) -> std::size_t { return 1; }));
}
