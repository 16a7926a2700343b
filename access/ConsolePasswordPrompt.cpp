#include "access/ConsolePasswordPrompt.h"

#include "platform/SecretLine.h"

QString ConsolePasswordPrompt::PromptPassword()
{
    std::fputs("Password (كلمة السر): ", out_);
    std::fflush(out_);
    const SecretLine line = ReadSecretLine(in_);
    // Ends the prompt's line, unless the terminal echoed the typed line break:
    // a log that captures the prompt must not run it into the next line.
    if (!line.lineBreakShown)
        std::fputc('\n', out_);
    return line.text;
}
