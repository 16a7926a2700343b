#pragma once

#include "platform/MessageSink.h"

#include <QPointer>
#include <QWidget>

// Messages as modal boxes with an OK button only, for an operator at the
// screen, laid out in the direction of their text. An Arabic text that ends,
// after a blank line, with the technical lines of a fault shows each of them
// in its own direction (Isolated). The box's title is the caption, or
// "Zelvor" when none is given. Any thread may show one: the box
// opens on the window's thread, and the caller waits until it is closed.
class MessageBoxSink : public MessageSink {
public:
    static inline const QString kTitle = QStringLiteral("Zelvor");

    explicit MessageBoxSink(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }
    void Show(const QString& text, const QString& caption = {}) override;
    // Yes and No, No the default.
    bool Ask(const QString& text, const QString& caption = {}) override;

private:
    // The box on the window's thread; its result.
    int Run(const QString& text, const QString& caption, bool question);

    QPointer<QWidget> parent_;
};

// Forwards to another sink that can be exchanged: the start-up run of a
// terminal address writes its messages as lines, the operator's session that
// may follow shows boxes.
class SwitchingMessageSink : public MessageSink {
public:
    explicit SwitchingMessageSink(MessageSink& target) : target_(&target) {}
    void SetTarget(MessageSink& target) { target_ = &target; }
    void Show(const QString& text, const QString& caption = {}) override;
    bool Ask(const QString& text, const QString& caption = {}) override;

private:
    MessageSink* target_;
};
