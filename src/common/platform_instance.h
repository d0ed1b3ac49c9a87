#pragma once

// What the installers need to know of a running copy of the program.
namespace converter {

// Marks this process, until it ends, as a running copy of the program: the Windows installer and
// uninstaller refuse to replace or remove the program's files while one runs, since files a
// running program holds cannot be replaced, and a half-replaced program folder would mix two
// versions. The mark is the named mutex "dovi2tarvel-running" (Global\, so that a copy running
// in another user's Remote Desktop session counts; Local\ where the global one cannot be made).
// Nothing elsewhere: packages replace the files of a running program safely.
void MarkProgramRunning();

}  // namespace converter
