#include "cli/cli_commands.h"
#include "cli/console_ui.h"
#include "cli/dump.h"
#include "common/diagnostics.h"
#include "common/platform_console.h"
#include "common/platform_instance.h"
#include "common/program_folder.h"
#include "export/export_writer.h"

#include <QCoreApplication>
#include <QDir>
#include <QStringList>

#include <cstdio>
#include <optional>

using namespace converter;

namespace {

constexpr int kUsageError = 64;

const char kUsage[] =
    "usage:\n"
    "  dovi2tarvel-cli import DOVI_FILE MAIN_DB --leshoz CODE --lesnich NUMBER [--overwrite]\n"
    "  dovi2tarvel-cli years MAIN_DB\n"
    "  dovi2tarvel-cli export MAIN_DB YEAR OUTPUT_FILE [--overwrite] [--decimal-separator .|,]\n"
    "  dovi2tarvel-cli form NSI_FOLDER TARGET_FOLDER [--overwrite]\n"
    "  dovi2tarvel-cli check MAIN_DB REFERENCE_FOLDER\n"
    "  dovi2tarvel-cli validate DOVI_FILE...\n"
    "  dovi2tarvel-cli dump TABLE_FILE [TABLE]\n"
    "  dovi2tarvel-cli --help | --version\n"
    "Every command but dump also takes --program-folder DIR.\n";

// The rest of --help; the manual page dovi2tarvel-cli(1) says the same at more length.
const char kHelp[] =
    "\n"
    "The converter's operations for scripts and batch work, as the window's tabs run them.\n"
    "\n"
    "commands:\n"
    "  import    build a new stand database MAIN_DB (with its elements and changes tables)\n"
    "            from a Dovi file, for the forest unit CODE (8 digits) and NUMBER (1 to 25)\n"
    "  years     print the change years of MAIN_DB, one a line: its text, a tab, its YEAR\n"
    "  export    write the stands of one change year to a Dovi file (YEAR as years prints\n"
    "            it; the stands without a year, listed as 9999, are never exported)\n"
    "  form      form sptab.db and spfield.db in TARGET_FOLDER from the value books in\n"
    "            NSI_FOLDER\n"
    "  check     check MAIN_DB against the reference tables in REFERENCE_FOLDER\n"
    "  validate  convert each Dovi file as import does, into a temporary database that is\n"
    "            removed; print per file on standard output a block: the report the import\n"
    "            would write, headed \"Файл: \" and the file's path, and the stand count as\n"
    "            its last line; blocks are parted by an empty line\n"
    "  dump      print a Paradox table, or TABLE of an Access file, tab-separated\n"
    "\n"
    "options:\n"
    "  --program-folder DIR     the folder with sprav.mdb, help/ and nsi/, where reports/\n"
    "                           is kept (default: %1); when given, its sprav.mdb is\n"
    "                           used, not an office's own (see dictionary below)\n"
    "  --overwrite              answer Yes when asked whether to overwrite\n"
    "  --decimal-separator .|,  the separator of exported fractional numbers (default:\n"
    "                           the system's)\n"
    "\n"
    "dictionary:\n"
    "  an office's own sprav.mdb, which installers and packages leave alone, is taken from\n"
    "  the first of these folders that holds one, before the program folder's sample:\n"
    "%2"
    "\n"
    "message blocks:\n"
    "  every message box of an operation is written to standard error as a block: a line\n"
    "  \"[KIND] TITLE\" (KIND information, warning, question or message), the message's\n"
    "  lines, for a question a line \"-> Yes\" or \"-> No\", and an empty line.\n"
    "\n"
    "exit status:\n"
    "  0   done (validate: every file clean)\n"
    "  1   done, with faults recorded in the report (validate: the worst file has faults)\n"
    "  2   failed or refused (validate: a file could not be read or converted)\n"
    "  64  wrong command line\n"
    "\n"
    "output:\n"
    "  UTF-8 on Linux and wherever output is redirected to a file or a pipe; on Windows a\n"
    "  console window (cmd.exe, PowerShell) gets wide characters, so Russian text is\n"
    "  readable whatever its code page. Arguments may name files in Cyrillic.\n";

int Usage(const QString& problem) {
    if (!problem.isEmpty()) {
        WriteText(stderr, QStringLiteral("dovi2tarvel-cli: ") + problem + QLatin1Char('\n'));
    }
    WriteText(stderr, QString::fromUtf8(kUsage));
    return kUsageError;
}

// Splits the command line into positional arguments and the options the command allows.
struct Parsed {
    QStringList positional;
    QString programFolder;
    bool overwrite = false;
    QString leshoz, lesnich;
    bool hasLeshoz = false, hasLesnich = false;
    QChar decimalSeparator = SystemDecimalSeparator();
    QString error;
};

Parsed Parse(const QStringList& args, bool allowOverwrite, bool allowUnit, bool allowSeparator,
             bool allowFolder) {
    Parsed parsed;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--program-folder") && allowFolder) {
            if (i + 1 >= args.size()) {
                parsed.error = arg + QStringLiteral(" needs a folder");
                return parsed;
            }
            parsed.programFolder = args[++i];
        } else if (arg == QLatin1String("--overwrite") && allowOverwrite) {
            parsed.overwrite = true;
        } else if (arg == QLatin1String("--decimal-separator") && allowSeparator) {
            const QString value = args.value(++i);
            if (value != QLatin1String(".") && value != QLatin1String(",")) {
                parsed.error = QStringLiteral("--decimal-separator needs . or ,");
                return parsed;
            }
            parsed.decimalSeparator = value.front();
        } else if ((arg == QLatin1String("--leshoz") || arg == QLatin1String("--lesnich")) &&
                   allowUnit) {
            if (i + 1 >= args.size()) {
                parsed.error = arg + QStringLiteral(" needs a value");
                return parsed;
            }
            if (arg == QLatin1String("--leshoz")) {
                parsed.leshoz = args[++i];
                parsed.hasLeshoz = true;
            } else {
                parsed.lesnich = args[++i];
                parsed.hasLesnich = true;
            }
        } else if (arg.startsWith(QLatin1String("--")) && arg.size() > 2) {
            parsed.error = QStringLiteral("unknown option ") + arg;
            return parsed;
        } else {
            parsed.positional.append(arg);
        }
    }
    return parsed;
}

// The office's dictionary folders, one an indented line, for --help.
QString OfficeFolderLines() {
    QStringList folders = DictionaryFolders();
    folders.removeLast();  // the program folder
    QString lines;
    for (const QString& folder : folders) {
        lines += QStringLiteral("    ") + QDir::toNativeSeparators(folder) + QLatin1Char('\n');
    }
    return lines;
}

// --help and --version end the run; a leading --program-folder sets the folder. The exit status
// when the run ends here.
std::optional<int> TakeLeadingOptions(QStringList& args) {
    if (args.isEmpty()) {
        return Usage("no command given");
    }
    if (args.first() == QLatin1String("--help")) {
        WriteText(stdout, QString::fromUtf8(kUsage) +
                              QString::fromUtf8(kHelp).arg(
                                  QDir::toNativeSeparators(ProgramFolder()), OfficeFolderLines()));
        return 0;
    }
    if (args.first() == QLatin1String("--version")) {
        WriteText(stdout, QStringLiteral("dovi2tarvel-cli " PROJECT_VERSION "\n"));
        return 0;
    }
    if (args.first() == QLatin1String("--program-folder")) {
        if (args.size() < 2) {
            return Usage("--program-folder needs a folder");
        }
        SetProgramFolder(args[1]);
        args = args.mid(2);
        if (!args.isEmpty() && args.first() == QLatin1String("dump")) {
            return Usage("dump takes no program folder");
        }
    }
    if (args.isEmpty()) {
        return Usage("no command given");
    }
    return std::nullopt;
}

bool IsWholeNumber(const QString& text) {
    bool ok = false;
    text.toInt(&ok);
    return ok;
}

// The usage complaint when the command's positional arguments do not fit it; null when they do
// (or the command is unknown).
QString ArgumentsProblem(const QString& command, const Parsed& parsed) {
    const QStringList& p = parsed.positional;
    if (command == QLatin1String("dump")) {
        if (p.size() < 1 || p.size() > 2) {
            return "dump needs TABLE_FILE [TABLE]";
        }
        if (p[0].endsWith(QLatin1String(".mdb"), Qt::CaseInsensitive) && p.size() != 2) {
            return "dump of an Access file needs TABLE";
        }
    } else if (command == QLatin1String("import")) {
        if (p.size() != 2 || !parsed.hasLeshoz || !parsed.hasLesnich) {
            return "import needs DOVI_FILE MAIN_DB --leshoz CODE --lesnich NUMBER";
        }
    } else if (command == QLatin1String("years")) {
        if (p.size() != 1) {
            return "years needs MAIN_DB";
        }
    } else if (command == QLatin1String("export")) {
        if (p.size() != 3 || !IsWholeNumber(p[1])) {
            return "export needs MAIN_DB YEAR OUTPUT_FILE (YEAR a number)";
        }
    } else if (command == QLatin1String("form")) {
        if (p.size() != 2) {
            return "form needs NSI_FOLDER TARGET_FOLDER";
        }
    } else if (command == QLatin1String("check")) {
        if (p.size() != 2) {
            return "check needs MAIN_DB REFERENCE_FOLDER";
        }
    } else if (command == QLatin1String("validate")) {
        if (p.isEmpty()) {
            return "validate needs DOVI_FILE...";
        }
    }
    return {};
}

// Runs a command whose arguments fit it; its exit status.
int RunCommand(const QString& command, const Parsed& parsed, ConsoleUi& ui) {
    const QStringList& p = parsed.positional;
    if (command == QLatin1String("dump")) {
        return DumpTable(p[0], p.value(1), stdout, stderr);
    }
    if (command == QLatin1String("import")) {
        return CliImport(ui, p[0], p[1], parsed.leshoz, parsed.lesnich);
    }
    if (command == QLatin1String("years")) {
        return CliYears(ui, p[0], stdout);
    }
    if (command == QLatin1String("export")) {
        return CliExport(ui, p[0], p[1].toInt(), p[2], parsed.decimalSeparator);
    }
    if (command == QLatin1String("form")) {
        return CliForm(ui, p[0], p[1]);
    }
    if (command == QLatin1String("check")) {
        return CliCheck(ui, p[0], p[1]);
    }
    if (command == QLatin1String("validate")) {
        return CliValidate(ui, p, stdout);
    }
    return Usage(QStringLiteral("unknown command ") + command);
}

}  // namespace

int main(int argc, char* argv[]) {
    // It holds the same DLLs as the window: installers wait for it too.
    MarkProgramRunning();
    PrepareStandardStreams();
    // On Windows Qt takes the arguments from the wide command line, so Cyrillic names arrive whole.
    QCoreApplication application(argc, argv);
    KeepQtDiagnosticsQuiet();
    QStringList args = application.arguments().mid(1);
    if (const std::optional<int> status = TakeLeadingOptions(args)) {
        return *status;
    }

    const QString command = args.takeFirst();
    const bool overwriteAllowed = command == QLatin1String("import") ||
                                  command == QLatin1String("export") ||
                                  command == QLatin1String("form");
    const Parsed parsed =
        Parse(args, overwriteAllowed, command == QLatin1String("import"),
              command == QLatin1String("export"), command != QLatin1String("dump"));
    if (!parsed.error.isEmpty()) {
        return Usage(parsed.error);
    }
    if (!parsed.programFolder.isEmpty()) {
        SetProgramFolder(parsed.programFolder);
    }
    if (const QString problem = ArgumentsProblem(command, parsed); !problem.isEmpty()) {
        return Usage(problem);
    }

    ConsoleUi ui;
    ui.overwrite = parsed.overwrite;
    return RunCommand(command, parsed, ui);
}
