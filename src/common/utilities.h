#pragma once

#include "common/failure.h"

#include <QString>

#include <optional>
#include <vector>

namespace converter {

class Ui;

// The common error box: the caller's headline, the error's source when it is not the program
// itself, and its description, with the title "Ошибка" and the warning icon. Nothing when no
// error is pending.
void ShowErrorBox(Ui& ui, const std::optional<Failure>& error, const QString& text = {});

// "На обработку затрачено: ..." for a count of whole seconds (negative counts, from an
// operation that passed midnight, get a day added first).
QString FormatElapsedTime(int seconds);

// The clock's seconds since midnight, rounded to a whole second, and the seconds elapsed since
// such a start time (wrapping over midnight).
int SecondsSinceMidnight();
int ElapsedSeconds(int startTime);

// The start time of an operation. Its elapsed time (ElapsedSeconds) leaves out the time spent in
// UserWait scopes since, so that a dialog left open does not count as processing.
int StartOperationClock();
class UserWait {
public:
    UserWait();
    ~UserWait();
    UserWait(const UserWait&) = delete;
    UserWait& operator=(const UserWait&) = delete;

private:
    qint64 start_;
};

// File kinds of the dialogs' filters.
inline constexpr int kTarvelDatabaseFile = 1;
inline constexpr int kTextFile = 2;
inline constexpr int kDoviReferenceFile = 4;
QString GetFileFilter(int kind);

// Through the Ui port; an empty result on cancel.
QString ShowOpenDialog(Ui& ui, const QString& filter, const QString& initialName = {});
QString ShowSaveDialog(Ui& ui, const QString& filter, const QString& initialName = {});

// Path parts. Both "/" and "\" separate folders; the folder keeps its final separator.
inline constexpr int kPathFolder = 1;
inline constexpr int kPathFileName = 2;
inline constexpr int kPathBaseName = 3;
inline constexpr int kPathExtension = 4;
inline constexpr int kPathFolderAndBaseName = 6;
QString SplitPath(const QString& path, int part);

// Removes the six files of a stand database given its main .db file; false (after a message)
// when one cannot be removed.
bool DeleteTarvelDatabase(Ui& ui, const QString& path);

// Sorts `keys` and carries `companion` along; equal keys end in no guaranteed order.
void SortKeysWithCompanion(std::vector<int>& keys, std::vector<int>& companion,
                           bool ascending = true);

}  // namespace converter
