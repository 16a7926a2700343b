#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// A failure reported by the database driver (a connection that cannot be made,
// a statement the server rejects, a connection lost on the way). Text() is the
// driver's own message, shown to the operator as it is; State() its SQLSTATE
// where the program read it (empty otherwise).
class DatabaseError : public std::exception {
public:
    explicit DatabaseError(QString text, QString state = {})
        : text_(std::move(text)), state_(std::move(state)), utf8_(text_.toUtf8())
    {
    }
    const QString& Text() const { return text_; }
    const QString& State() const { return state_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString text_;
    QString state_;
    QByteArray utf8_;
};
