#pragma once

#include "access/PasswordGate.h"

#include <cstdio>

// The password prompt without a display: asks on standard error and reads one
// line from standard input, without echo when that is a terminal. End of input
// counts as closing the prompt without OK.
class ConsolePasswordPrompt : public PasswordPrompt {
public:
    explicit ConsolePasswordPrompt(FILE* in = stdin, FILE* out = stderr) : in_(in), out_(out) {}
    QString PromptPassword() override;

private:
    FILE* in_;
    FILE* out_;
};
