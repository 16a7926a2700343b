#pragma once

#include <QString>
#include <QStringView>

#include <string_view>

// Text that came from outside (a terminal's error text or version, a device
// record's address) made safe to show in a log line or a notification:
// control characters, line and paragraph separators and the bidirectional
// embedding, override and isolate marks each become "?", so such text can
// neither start a line of its own nor disguise the text around it. Longer
// texts are cut at maxChars with "...".
QString ShownText(QStringView text, qsizetype maxChars = 200);
// The same for UTF-8 bytes (invalid sequences become U+FFFD).
QString ShownText(std::string_view utf8, qsizetype maxChars = 200);
