// config.ini as read from disk: UTF-16LE bytes (after the byte-order mark)
// into text, the text into device records with their passwords deciphered.
#include "platform/CodePage.h"
#include "settings/CCrypt.h"
#include "settings/SettingsFile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CCrypt crypt;
    const QString text =
        FromUtf16Le(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    CConnServerList devices;
    ParseSettingsText(text, devices, crypt);
    OfferedNames(devices);
    return 0;
}
