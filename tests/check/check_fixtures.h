#pragma once

// Builders of the Paradox tables the check tests need, written through the program's own
// database layer as the import and the formation write them.

#include "reference/reference_tables.h"
#include "storage/database.h"
#include "storage/recordset.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTest>
#include <QVariant>

#include <vector>

namespace converter::testing {

using Rows = std::vector<std::vector<QVariant>>;

// Runs the statements on the folder of `tablePath`, then appends `rows` (values in column order).
inline void CreateTable(const QString& tablePath, const QStringList& statements, const Rows& rows) {
    const QString connection = BuildConnectionString(kParadoxFolder, tablePath);
    for (const QString& statement : statements) {
        ExecuteStatement(connection, statement);
    }
    if (rows.empty()) {
        return;
    }
    const QString name = QFileInfo(tablePath).completeBaseName();
    RecordsetPtr table =
        OpenRecordset(connection, QLatin1Char('[') + name + QLatin1Char(']'), kSourceTable);
    for (const auto& row : rows) {
        table->addNew();
        for (size_t i = 0; i < row.size(); ++i) {
            table->setValue(static_cast<int>(i), row[i]);
        }
        table->update();
    }
    table->close();
}

// SPFIELD.DB rows: FieldName, Text, EdIzm, SpNum, ShortText.
inline void CreateSpfield(const QString& folder, const Rows& rows, bool keyed = true) {
    QStringList statements{kCreateSpfieldTable};
    if (keyed) {
        statements.append(kCreateSpfieldIndex);
    }
    CreateTable(folder + QStringLiteral("/spfield.db"), statements, rows);
}

// SPTAB.DB rows: SpNum, Code, ShortName, NAME.
inline void CreateSptab(const QString& folder, const Rows& rows, bool keyed = true) {
    QStringList statements{kCreateSptabTable};
    if (keyed) {
        statements.append(kCreateSptabIndex);
    }
    CreateTable(folder + QStringLiteral("/sptab.db"), statements, rows);
}

// Renames a table's files as a Windows copy often names them: SPTAB.DB, SPTAB.PX.
inline void UpperCaseTableFiles(const QString& folder, const QString& table) {
    for (const QString& extension : {QStringLiteral(".db"), QStringLiteral(".px")}) {
        const QString from = folder + QLatin1Char('/') + table + extension;
        if (QFile::exists(from)) {
            QVERIFY(QFile::rename(from, folder + QLatin1Char('/') + (table + extension).toUpper()));
        }
    }
}

}  // namespace converter::testing
