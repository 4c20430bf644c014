// The program's start-up shared by both programs: command line, start banner, configuration and
// devices files, the exchange thread, the run and the exit code of the process; and the daemon's face.
#include "app/startup.h"

#include "core/build_info.h"
#include "core/cfg.h"
#include "core/cfg_file_mode.h"
#include "core/program_end.h"
#include "core/served_devices.h"
#include "app/engine.h"
#include "app/language.h"
#include "app/os_service.h"
#include "common/descriptors.h"
#include "app/link_watch.h"
#include "app/service_control.h"
#include "common/err.h"
#include "common/log_file.h"
#include "metrics/metrics.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstring>

namespace {

Tr format_help{TR_TEXT(
    "main", "%1\n\nОпции командной строки:\n--help, -?, -h, -help, /?, /h, /help и т.п. - выдать этот текст и "
            "выйти\n--cfg=\"файл\" - использовать указанный файл конфигурации (если опция не указана, используется "
            "файл «%2»)\n--log=\"файл\" - использовать указанный файл журнала (если опция не указана, "
            "используется файл «%3»)\n")};
Tr caption_help_lang{TR_TEXT(
    "main", "--lang=en или --lang=ru - язык окон и журнала: английский или русский (если опция не указана, "
            "используется параметр «language» файла конфигурации, а без него - русский)\n")};
Tr errtext_cfg_format{TR_TEXT(
    "main", "Неправильный формат опции «--cfg». Ожидаемый формат: --cfg=\"имя файла конфигурации\".")};
Tr errtext_cfg_twice{TR_TEXT("main", "В командной строке дважды указана одна и та же опция: «--cfg».")};
Tr errtext_log_format{TR_TEXT("main",
                              "Неправильный формат опции «--log». Ожидаемый формат: --log=\"имя файла журнала\".")};
Tr errtext_log_twice{TR_TEXT("main", "В командной строке дважды указана одна и та же опция: «--log».")};
Tr errfmt_unknown_option{TR_TEXT(
    "main", "Неизвестная опция командной строки: «%1». Для получения справки по опциям командной строки "
            "запустите программу с опцией «-h».")};
Tr errfmt_help_not_alone{TR_TEXT(
    "main", "Если в командной строке определена опция «%1», в ней не должно быть никаких других опций или "
            "параметров.")};
Tr format_banner{TR_TEXT("log", "%1, версия %2 (%3), сборка %4 %5: программа запускается...")};

bool is_help_option(const char* text)
{
    static const char* const names[] = {"h", "help", "H", "HELP", "Help", "?"};
    for (const char* name : names)
        if (strcmp(text, name) == 0)
            return true;
    return false;
}

QString help_text()
{
    return QString(format_help.tr())
               .arg(about_program(), QString::fromUtf8(default_cfg_fname), QString::fromUtf8(default_log_fname)) +
           caption_help_lang.tr();
}

// Takes a "--cfg=name" or "--log=name" argument; returns false with the error shown.
bool take_file_option(const char* arg, const char*& fname, bool& seen, Tr& format_error, Tr& twice_error)
{
    const char* rest = arg + 5;  // after "--cfg" or "--log"
    if (rest[0] != '=' || rest[1] == 0) {
        show_error(format_error.tr());
        return false;
    }
    if (seen) {
        show_error(twice_error.tr());
        return false;
    }
    seen = true;
    fname = rest + 1;
    return true;
}

// Reads the command line; returns -1 to go on, or the exit code. The --lang options are taken
// before it; a help option may stand only with them.
int read_command_line(int argc, char** argv, int language_options, Program_face& face)
{
    bool cfg_seen = false;
    bool log_seen = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        bool help = false;
        if (is_language_option(arg))
            continue;
        if (arg[0] == '-' && arg[1] == '-') {
            if (strncmp(arg + 2, "cfg", 3) == 0) {
                if (!take_file_option(arg, cfg_fname, cfg_seen, errtext_cfg_format, errtext_cfg_twice))
                    return exit_command_line;
                continue;
            }
            if (strncmp(arg + 2, "log", 3) == 0) {
                if (!take_file_option(arg, log_fname, log_seen, errtext_log_format, errtext_log_twice))
                    return exit_command_line;
                continue;
            }
            help = is_help_option(arg + 2);
        } else if (arg[0] == '-' || arg[0] == '/') {
            help = is_help_option(arg + 1);
        }
        const QString whole = QString::fromUtf8(arg);
        if (!help) {
            show_error(QString(errfmt_unknown_option.tr()).arg(whole));
            return exit_command_line;
        }
        if (argc - language_options != 2) {
            show_error(QString(errfmt_help_not_alone.tr()).arg(whole));
            return exit_command_line;
        }
        face.show_help(help_text());
        return exit_ok;
    }
    return -1;
}

bool write_banner()
{
    note_program_start();
    return log(QString(format_banner.tr())
                   .arg(QLatin1String(program_name), QLatin1String(program_version), release_date_text(),
                        QLatin1String(build_date), QLatin1String(build_time)));
}

int run_program(Program_face& face)
{
    load_cfg(QString::fromUtf8(cfg_fname));
    // A trace of all traffic writes an entry for every message: the log stays open for them.
    keep_log_open((trace_ws | trace_tcp) & 0x02);
    warn_if_readable_by_others(QString::fromUtf8(cfg_fname));
    use_configured_language();
    served_devices.load();
    check_descriptor_limit();
    const Metrics_endpoint metrics_endpoint;
    Engine engine;
    Engine_stopper stopper(engine);
    const std::unique_ptr<Link_view> view = face.open_view(engine);
    engine.start(QThread::InheritPriority);
    Service_control service(engine, *view);
    return face.exec();
}

}  // namespace

int start_program(int argc, char** argv, Program_face& face)
{
    raise_descriptor_limit();
    keep_spare_descriptor();
    const std::unique_ptr<QCoreApplication> app = face.make_application(argc, argv);
    cfg_fname = default_cfg_fname;
    int language_options = 0;
    int command_line = take_language_option(argc, argv, language_options);
    if (command_line < 0)
        command_line = read_command_line(argc, argv, language_options, face);
    if (command_line >= 0)
        return command_line;
    if (!write_banner())
        return exit_no_log;
    int code = exit_start_failed;
    try {
        code = run_program(face);
    } catch (const std::exception& e) {
        show_exception(e);
    } catch (...) {
        show_debug(0x103);
    }
    log_program_end(code);
    return code;
}

int Program_face::exec()
{
    return QCoreApplication::exec();
}

std::unique_ptr<QCoreApplication> Daemon_face::make_application(int& argc, char** argv)
{
    return std::make_unique<QCoreApplication>(argc, argv);
}

void Daemon_face::show_help(const QString& text)
{
    fputs(text.toLocal8Bit().constData(), stdout);
    fflush(stdout);
}

std::unique_ptr<Link_view> Daemon_face::open_view(Engine&)
{
    return std::make_unique<Link_watch>();
}
