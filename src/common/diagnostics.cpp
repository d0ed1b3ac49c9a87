#include "common/diagnostics.h"

#include <QtGlobal>

namespace converter {

namespace {

QtMessageHandler qtDefault = nullptr;

void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg || type == QtCriticalMsg) {
        qtDefault(type, context, text);
    }
}

}  // namespace

void KeepQtDiagnosticsQuiet() {
    if (qEnvironmentVariableIsSet("DOVI2TARVEL_DEBUG")) {
        return;
    }
    qtDefault = qInstallMessageHandler(QuietHandler);
}

}  // namespace converter
