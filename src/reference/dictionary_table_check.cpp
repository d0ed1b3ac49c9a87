#include "reference/dictionary_table_check.h"

#include "common/failure.h"
#include "common/ui.h"
#include "common/utilities.h"
#include "storage/database.h"

#include <QDir>

#include <optional>

namespace converter {

bool CheckTableColumns(Ui& ui, const TableColumnsCheck& check,
                       const std::vector<RequiredColumn>& columns) {
    bool result = false;
    std::optional<Failure> failure;
    RecordsetPtr recordset;
    try {
        recordset = OpenRecordset(check.connectionString, check.tableName, kSourceTable);
        if (CheckConnected(ui, recordset.get())) {
            for (const RequiredColumn& column : columns) {
                *column.position = FindFieldIndex(column.lookupName, recordset.get());
            }
            // Every missing column on a line of its own, so that one message tells the whole fix.
            QString missing;
            for (const RequiredColumn& column : columns) {
                if (*column.position < 0) {
                    missing += column.messageName + QLatin1Char('\r');
                }
            }
            if (missing.isEmpty()) {
                result = true;
            } else {
                ui.showMessage(check.missingPrefix + missing + QStringLiteral("Путь: ") +
                                   QDir::toNativeSeparators(check.path),
                               QStringLiteral("Ошибка"), MessageIcon::Warning);
            }
        }
    } catch (...) {
        failure = CurrentFailure();
        result = false;
    }
    CloseRecordset(recordset);
    ShowErrorBox(ui, failure, check.failureText);
    return result;
}

}  // namespace converter
