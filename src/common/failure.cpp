#include "common/failure.h"

#include <new>
#include <stdexcept>

namespace converter {

Failure::Failure(QString description, QString source)
    : source_(std::move(source)), description_(std::move(description)) {
    what_ = (source_ + QStringLiteral(": ") + description_).toUtf8();
}

Failure CurrentFailure() {
    try {
        throw;
    } catch (const Failure& failure) {
        return failure;
    } catch (const std::bad_alloc&) {
        return Failure(QStringLiteral("Недостаточно памяти"));
    } catch (const std::exception& e) {
        return Failure(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        return Failure(QStringLiteral("Неизвестная ошибка"));
    }
}

}  // namespace converter
