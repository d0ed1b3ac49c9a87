#include "formation/reference_formation.h"

#include "common/failure.h"
#include "common/report.h"
#include "common/safe_write.h"
#include "common/utilities.h"
#include "formation/fill_spfield.h"
#include "formation/fill_sptab.h"
#include "formation/formation_errors.h"
#include "formation/formation_tables.h"
#include "reference/dictionary_checks.h"
#include "reference/reference_tables.h"

#include <QDir>
#include <QFileInfo>

namespace converter {

namespace {

// The files a formation replaces in its target folder. The report belongs to the tables it
// describes: a run without faults removes the one of older tables.
const QStringList kFormedFiles{QStringLiteral("sptab.db"), QStringLiteral("sptab.px"),
                               QStringLiteral("spfield.db"), QStringLiteral("spfield.px"),
                               QStringLiteral("sptab_rep.txt")};

bool FormInto(Ui& ui, const QString& folder, const QString& shownFolder,
              const QString& referenceFolder, QString& report, FormationErrors& errors,
              QString& reportsLine) {
    if (!CreateSptabTable(ui, folder) || !CreateSpfieldTable(ui, folder)) {
        return false;
    }
    // Run on the new empty tables, the checks record the positions the rows are written by.
    if (!CheckSpfieldTable(ui, folder) || !CheckSptabTable(ui, folder)) {
        return false;
    }
    errors.reset();
    if (!FillSptab(ui, folder, referenceFolder, report, errors)) {
        return false;
    }
    // The report holds the refusals of both tables, so it is written after both are filled,
    // and also when the indicator table failed, as the value table's faults stand (the report
    // panel keeps them when the new tables are dropped; the copy under reports/ is made only
    // for tables that were put in place).
    const bool filled = FillSpfield(ui, folder, report, errors);
    reportsLine = WriteFormationReport(ui, folder, errors, shownFolder);
    return filled;
}

}  // namespace

bool FormReferenceTables(Ui& ui, const QString& targetFolder, const QString& referenceFolder,
                         QString& report, bool& hadErrors) {
    try {
        FormationErrors errors;
        if (!CheckFieldsTable(ui) || !CheckNsiTable(ui)) {
            return false;
        }
        QStringList outputs;
        for (const QString& name : kFormedFiles) {
            outputs.append(QDir(targetFolder).filePath(name));
        }
        QStringList inputs{DictionaryPath()};
        for (const QFileInfo& book :
             QDir(referenceFolder).entryInfoList({QStringLiteral("*.000")}, QDir::Files)) {
            inputs.append(book.filePath());
        }
        if (RefuseOutputsAmongInputs(ui, outputs, inputs) ||
            RefuseFoldersNamedLikeOutputs(ui, outputs)) {
            return false;
        }
        OperationLock lock;
        if (!lock.acquire(ui, FolderLockPath(targetFolder))) {
            return false;
        }
        // The old tables stay until the new pair is complete.
        StagedReplacement staging(targetFolder, QString::fromLatin1(kReferenceTablesKey));
        QString reportsLine;
        if (!FormInto(ui, staging.folder(), targetFolder, referenceFolder, report, errors,
                      reportsLine)) {
            return false;
        }
        staging.commit(kFormedFiles);
        if (!reportsLine.isEmpty()) {
            CopyPlacedReport(QDir(targetFolder).filePath(QStringLiteral("sptab_rep.txt")),
                             kReportFormation);
        }
        if (!reportsLine.isEmpty()) {
            report += QLatin1Char('\r') + reportsLine;
        }
        hadErrors = errors.hadErrors;
        return true;
    } catch (...) {
        ShowErrorBox(ui, CurrentFailure());
        return false;
    }
}

}  // namespace converter
