#pragma once

#include <QString>

#include <cstdio>

// One line of secret input (a password) from a stream: up to the line break
// or the end of input, without echo when the stream is a terminal (a console
// on Windows). A trailing carriage return is dropped; runaway input is cut.
struct SecretLine {
    QString text;
    // Whether the terminal showed the typed line break (it echoed the line).
    bool lineBreakShown = false;
};

SecretLine ReadSecretLine(FILE* in);

// The same from a stream that is not a terminal: the bytes as UTF-8.
SecretLine ReadSecretBytes(FILE* in);
