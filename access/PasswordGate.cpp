#include "access/PasswordGate.h"

#include "platform/MessageSink.h"
#include "platform/RegistryStore.h"
#include "resources/OperatorTexts.h"

QString ReadStoredPassword(const RegistryStore& registry)
{
    const std::optional<QString> value = registry.QueryValue(gate::kKey, gate::kValue);
    if (!value)
        return {};
    // The text ends at its first zero unit, as a stored string does.
    const qsizetype zero = value->indexOf(QChar(0));
    const QString text = zero < 0 ? *value : value->left(zero);
    return text.size() > gate::kMaxStoredLength ? QString() : text;
}

void StorePassword(RegistryStore& registry, const QString& text)
{
    if (registry.CreateKey(gate::kKey))
        registry.SetValue(gate::kKey, gate::kValue, text);
}

int CheckPassword(PasswordPrompt& prompt, RegistryStore& registry, MessageSink& messages)
{
    const QString stored = ReadStoredPassword(registry);
    const QString typed = prompt.PromptPassword();
    if (!stored.isEmpty()) {
        if (typed == stored)
            return gate::Accepted;
        messages.Show(optext::kWrongPassword);
        return gate::Rejected;
    }
    if (!typed.isEmpty()) {
        StorePassword(registry, typed);
        return gate::Accepted;
    }
    messages.Show(optext::kEnterPassword);
    return gate::NothingEntered;
}
