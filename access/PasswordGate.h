#pragma once

#include <QString>

class MessageSink;
class RegistryStore;

// The start-up password: the first text ever typed becomes the password, kept
// in plain text in the current user's registry, and later starts must type it.
namespace gate {
inline const QString kKey = QStringLiteral("Software\\Zelvor");
inline const QString kValue = QStringLiteral("ZelvorPass");
constexpr int kMaxStoredLength = 255;

enum Result { NothingEntered = 0, Rejected = 1, Accepted = 2 };
} // namespace gate

// Asks for the password once: a dialog when there is a display, the terminal otherwise.
class PasswordPrompt {
public:
    virtual ~PasswordPrompt() = default;
    // The typed text; empty when the prompt was closed without OK.
    virtual QString PromptPassword() = 0;
};

// 2: accepted (typed text equals the stored one, or first use with a non-empty
// text, which is stored); 1: a password is stored and the text differs; 0: no
// password is stored and nothing was typed. Shows at most one message.
int CheckPassword(PasswordPrompt& prompt, RegistryStore& registry, MessageSink& messages);

// The stored password; empty when none is stored or it cannot be read (a
// value longer than 255 characters counts as unreadable).
QString ReadStoredPassword(const RegistryStore& registry);

// Stores the password, creating the key when missing. Failures are silent.
void StorePassword(RegistryStore& registry, const QString& text);
