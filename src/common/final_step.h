#pragma once

#include <QString>
#include <QStringList>

// The final step of a staged replacement: its journal, the renames that move the new files in and
// the old ones aside, their undoing, and the recovery of a step a killed run left.
namespace converter {

// The step's plan: the staged files to move in, in order, and the old files that no new one
// replaces, to move aside.
struct ReplacementPlan {
    QStringList in;
    QStringList aside;
};

// The plan of `staged` names (each table's .db after the rest: its arrival makes the table new
// for the GIS) and of the old files to move aside.
ReplacementPlan PlanOf(const QStringList& staged, const QStringList& removals);

// Runs the step from the staging folder `staging` (ending in "/") into `target`: every file of
// the plan is first kept from other programs (where the system lets programs keep files open,
// so that none can open a table in the middle of the step), then the plan is journaled and the
// files renamed. A failure is undone before it is thrown; where the undoing itself fails, the
// journal is turned into an undo journal, so that the next run restores the old files, and the
// message says so.
void RunFinalStep(const QString& target, const QString& staging, const ReplacementPlan& plan);

// What a killed run left in `staging`: a journaled step is completed, an undo journal undone.
// False when there was no journal: the staging folder holds only unfinished new files.
bool RecoverFinalStep(const QString& target, const QString& staging);

// True when `staging` holds the journal of a step that is not finished.
bool StepJournaled(const QString& staging);

}  // namespace converter
