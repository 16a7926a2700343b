#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// A failure reported by the database driver (a connection that cannot be made,
// a statement the server rejects, a connection lost on the way). Text() is the
// driver's own message, shown to the operator as it is.
class DatabaseError : public std::exception {
public:
    explicit DatabaseError(QString text) : text_(std::move(text)), utf8_(text_.toUtf8()) {}
    const QString& Text() const { return text_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString text_;
    QByteArray utf8_;
};
