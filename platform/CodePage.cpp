#include "platform/CodePage.h"

#include <iconv.h>

#include <cerrno>
#include <mutex>

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

bool isAscii(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

// Length of the UTF-8 sequence that starts with this byte (1 for a stray byte).
int utf8Length(unsigned char lead)
{
    if (lead >= 0xF0)
        return 4;
    if (lead >= 0xE0)
        return 3;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

} // namespace

QByteArray ToAnsi(const QString& text)
{
    if (isAscii(text))
        return text.toLatin1();

    Converter& conv = toAnsi();
    const QByteArray in = text.toUtf8();
    QByteArray out;
    if (!conv.ok()) {
        for (QChar c : text)
            out.append(c.unicode() < 0x80 ? char(c.unicode()) : '?');
        return out;
    }
    std::lock_guard guard(conv.lock);
    iconv(conv.cd, nullptr, nullptr, nullptr, nullptr);
    out.resize(in.size());
    char* src = const_cast<char*>(in.constData());
    size_t srcLeft = size_t(in.size());
    char* dst = out.data();
    size_t dstLeft = size_t(out.size());
    while (srcLeft > 0) {
        if (iconv(conv.cd, &src, &srcLeft, &dst, &dstLeft) != size_t(-1))
            break;
        if (errno == EILSEQ || errno == EINVAL) {
            // No byte for this character: write "?" and step over the character.
            const size_t skip =
                std::min(srcLeft, size_t(utf8Length(static_cast<unsigned char>(*src))));
            src += skip;
            srcLeft -= skip;
            *dst++ = '?';
            --dstLeft;
            iconv(conv.cd, nullptr, nullptr, nullptr, nullptr);
        } else {
            break; // E2BIG cannot happen: UTF-8 never shrinks below one byte per char
        }
    }
    out.truncate(int(dst - out.data()));
    return out;
}

QString FromAnsi(const QByteArray& bytes)
{
    bool ascii = true;
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii)
        return QString::fromLatin1(bytes);

    Converter& conv = fromAnsi();
    if (!conv.ok())
        return QString::fromLatin1(bytes);
    std::lock_guard guard(conv.lock);
    iconv(conv.cd, nullptr, nullptr, nullptr, nullptr);
    QByteArray out(bytes.size() * 4, Qt::Uninitialized);
    char* src = const_cast<char*>(bytes.constData());
    size_t srcLeft = size_t(bytes.size());
    char* dst = out.data();
    size_t dstLeft = size_t(out.size());
    while (srcLeft > 0) {
        if (iconv(conv.cd, &src, &srcLeft, &dst, &dstLeft) != size_t(-1))
            break;
        // A byte without a character (none in Windows-1256, but be safe): U+FFFD.
        ++src;
        --srcLeft;
        static const char replacement[] = "\xEF\xBF\xBD";
        for (char r : std::string_view(replacement, 3)) {
            *dst++ = r;
            --dstLeft;
        }
        iconv(conv.cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.truncate(int(dst - out.data()));
    return QString::fromUtf8(out);
}
