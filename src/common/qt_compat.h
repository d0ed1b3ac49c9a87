#pragma once

// What differs between Qt 5.15 and Qt 6, so that one code base builds with both: Qt 6 needs
// 64-bit Windows 10 or later, Qt 5.15 still runs on Windows 7 and on 32-bit systems. The code is
// written for Qt 6; this header gives Qt 5 the few parts of it that Qt 5.15 lacks.

#include <QLibraryInfo>
#include <QString>
#include <QtGlobal>

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)

#include <QByteArrayView>

namespace converter {

// Where Qt's own files of a kind are installed: its translations, its plugins.
inline QString QtLibraryPath(QLibraryInfo::LibraryPath which) {
    return QLibraryInfo::path(which);
}

}  // namespace converter

#else

#include <QByteArray>

namespace converter {

inline QString QtLibraryPath(QLibraryInfo::LibraryLocation which) {
    return QLibraryInfo::location(which);
}

}  // namespace converter

// Qt Test's check that a statement throws, as Qt 6.3 names it and orders its arguments.
#define QVERIFY_THROWS_EXCEPTION(exceptiontype, ...) \
    QVERIFY_EXCEPTION_THROWN((__VA_ARGS__), exceptiontype)

// A view of bytes owned elsewhere: the part of Qt 6's class the readers use.
class QByteArrayView {
public:
    constexpr QByteArrayView() noexcept = default;
    constexpr QByteArrayView(const char* data, qsizetype size) noexcept
        : data_(data), size_(size) {}
    QByteArrayView(const QByteArray& bytes) noexcept  // implicit, as in Qt 6
        : data_(bytes.constData()), size_(bytes.size()) {}

    constexpr const char* data() const noexcept { return data_; }
    constexpr const char* constData() const noexcept { return data_; }
    constexpr qsizetype size() const noexcept { return size_; }
    constexpr bool isEmpty() const noexcept { return size_ == 0; }
    constexpr char operator[](qsizetype i) const noexcept { return data_[i]; }
    constexpr const char* begin() const noexcept { return data_; }
    constexpr const char* end() const noexcept { return data_ + size_; }

    constexpr QByteArrayView first(qsizetype n) const noexcept { return {data_, n}; }
    constexpr QByteArrayView last(qsizetype n) const noexcept { return {data_ + size_ - n, n}; }
    constexpr QByteArrayView sliced(qsizetype pos) const noexcept {
        return {data_ + pos, size_ - pos};
    }
    constexpr QByteArrayView sliced(qsizetype pos, qsizetype n) const noexcept {
        return {data_ + pos, n};
    }
    QByteArray toByteArray() const { return QByteArray(data_, static_cast<int>(size_)); }

private:
    const char* data_ = nullptr;
    qsizetype size_ = 0;
};

#endif
