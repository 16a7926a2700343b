#include "platform/NotificationSink.h"

#include "platform/MessageSink.h"

bool StreamNotificationSink::write(const TrayNote& note)
{
    WriteProgramLine(stream_, note.title + QStringLiteral(": ") + note.text);
    if (alsoShow_)
        alsoShow_(note);
    return true;
}
