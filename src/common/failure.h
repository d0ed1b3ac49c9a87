#pragma once

#include <QString>

#include <exception>

namespace converter {

// The application's own title: boxes without a title of their own carry it, and an error whose
// source is this title came from the program itself rather than from a storage engine.
inline const QString kApplicationTitle = QStringLiteral("Converter");

// The "current error": thrown by the storage layer and the engine, caught once in each
// operation's handler and shown there with ShowErrorBox.
class Failure : public std::exception {
public:
    explicit Failure(QString description, QString source = kApplicationTitle);

    const QString& source() const { return source_; }
    const QString& description() const { return description_; }
    const char* what() const noexcept override { return what_.constData(); }

private:
    QString source_;
    QString description_;
    QByteArray what_;
};

// Turns the exception being handled into a Failure; call it only inside a catch block.
// Anything that is not a Failure (bad_alloc, a standard exception) keeps its message.
Failure CurrentFailure();

}  // namespace converter
