#pragma once

#include <QString>

#include <optional>

namespace converter {

class Ui;

// The commands of the check tab. The tab reads its text boxes, calls these and puts what they
// return back into the boxes; the console front end calls the same functions.

// cmdOpenDbCheck, the database browse button: the chosen main table path to put into the database
// box, or nullopt to leave the box as it is (cancelled, missing file or missing elements table,
// each after its message).
std::optional<QString> ChooseCheckDatabase(Ui& ui);

// cmdOpenSpravCheck, the reference browse button: the folder (with its final separator) of the
// chosen table file when both reference tables there pass their checks, otherwise nullopt.
std::optional<QString> ChooseCheckReferenceFolder(Ui& ui);

struct CheckCommandOutcome {
    bool completed = false;     // the check ran to its end
    bool deficiencies = false;  // it found shortcomings (the report is written and shown)
};

// cmdCheckSprav, the run button: checks the two inputs, runs the check in the busy state and ends
// with the outcome message naming the database and the elapsed time.
CheckCommandOutcome RunReferenceCheck(Ui& ui, const QString& databasePath,
                                      const QString& referenceFolder);

}  // namespace converter
