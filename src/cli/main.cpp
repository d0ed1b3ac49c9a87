#include "cli/cli_commands.h"
#include "cli/cli_texts.h"
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

int Usage(const QString& problem) {
    if (!problem.isEmpty()) {
        WriteText(stderr, QStringLiteral("dovi2tarvel-cli: ") + problem + QLatin1Char('\n'));
    }
    WriteText(stderr, Cli::usage());
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
                parsed.error = Cli::tr("%1 needs a folder").arg(arg);
                return parsed;
            }
            parsed.programFolder = args[++i];
        } else if (arg == QLatin1String("--overwrite") && allowOverwrite) {
            parsed.overwrite = true;
        } else if (arg == QLatin1String("--decimal-separator") && allowSeparator) {
            const QString value = args.value(++i);
            if (value != QLatin1String(".") && value != QLatin1String(",")) {
                parsed.error = Cli::tr("--decimal-separator needs . or ,");
                return parsed;
            }
            parsed.decimalSeparator = value.front();
        } else if ((arg == QLatin1String("--leshoz") || arg == QLatin1String("--lesnich")) &&
                   allowUnit) {
            if (i + 1 >= args.size()) {
                parsed.error = Cli::tr("%1 needs a value").arg(arg);
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
            parsed.error = Cli::tr("unknown option %1").arg(arg);
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

// --encoding, wherever it stands, sets the bytes of output that is not a console window. The
// exit status when its value is wrong.
std::optional<int> TakeEncoding(QStringList& args) {
    const QLatin1String option("--encoding");
    for (qsizetype i = args.indexOf(option); i >= 0; i = args.indexOf(option, i)) {
        const QString value = args.value(i + 1).toLower();
        if (value == QLatin1String("oem")) {
            SetOutputEncoding(OutputEncoding::Oem);
        } else if (value == QLatin1String("ansi")) {
            SetOutputEncoding(OutputEncoding::Ansi);
        } else if (value == QLatin1String("utf-8")) {
            SetOutputEncoding(OutputEncoding::Utf8);
        } else {
            return Usage(Cli::tr("--encoding needs oem, ansi or utf-8"));
        }
        args.erase(args.begin() + i, args.begin() + i + 2);
    }
    return std::nullopt;
}

// --help and --version end the run; a leading --program-folder sets the folder. The exit status
// when the run ends here.
std::optional<int> TakeLeadingOptions(QStringList& args) {
    if (args.isEmpty()) {
        return Usage(Cli::tr("no command given"));
    }
    if (args.first() == QLatin1String("--help")) {
        WriteText(stdout,
                  Cli::help(QDir::toNativeSeparators(ProgramFolder()), OfficeFolderLines()));
        return 0;
    }
    if (args.first() == QLatin1String("--version")) {
        WriteText(stdout, QStringLiteral("dovi2tarvel-cli " PROJECT_VERSION "\n"));
        return 0;
    }
    if (args.first() == QLatin1String("--program-folder")) {
        if (args.size() < 2) {
            return Usage(Cli::tr("%1 needs a folder").arg(args.first()));
        }
        SetProgramFolder(args[1]);
        args = args.mid(2);
        if (!args.isEmpty() && args.first() == QLatin1String("dump")) {
            return Usage(Cli::tr("dump takes no program folder"));
        }
    }
    if (args.isEmpty()) {
        return Usage(Cli::tr("no command given"));
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
            return Cli::tr("dump needs TABLE_FILE [TABLE]");
        }
        if (p[0].endsWith(QLatin1String(".mdb"), Qt::CaseInsensitive) && p.size() != 2) {
            return Cli::tr("dump of an Access file needs TABLE");
        }
    } else if (command == QLatin1String("import")) {
        if (p.size() != 2 || !parsed.hasLeshoz || !parsed.hasLesnich) {
            return Cli::tr("import needs DOVI_FILE MAIN_DB --leshoz CODE --lesnich NUMBER");
        }
    } else if (command == QLatin1String("years")) {
        if (p.size() != 1) {
            return Cli::tr("years needs MAIN_DB");
        }
    } else if (command == QLatin1String("export")) {
        if (p.size() != 3 || !IsWholeNumber(p[1])) {
            return Cli::tr("export needs MAIN_DB YEAR OUTPUT_FILE (YEAR a number)");
        }
    } else if (command == QLatin1String("form")) {
        if (p.size() != 2) {
            return Cli::tr("form needs NSI_FOLDER TARGET_FOLDER");
        }
    } else if (command == QLatin1String("check")) {
        if (p.size() != 2) {
            return Cli::tr("check needs MAIN_DB REFERENCE_FOLDER");
        }
    } else if (command == QLatin1String("validate")) {
        if (p.isEmpty()) {
            return Cli::tr("validate needs DOVI_FILE...");
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
    return Usage(Cli::tr("unknown command %1").arg(command));
}

}  // namespace

int main(int argc, char* argv[]) {
    // It holds the same DLLs as the window: installers wait for it too.
    MarkProgramRunning();
    PrepareStandardStreams();
    // On Windows Qt takes the arguments from the wide command line, so Cyrillic names arrive whole.
    QCoreApplication application(argc, argv);
    KeepQtDiagnosticsQuiet();
    Cli::installTranslation(application);
    QStringList args = application.arguments().mid(1);
    if (const std::optional<int> status = TakeEncoding(args)) {
        return *status;
    }
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
