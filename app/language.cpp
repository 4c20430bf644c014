// The language of the program's texts: the --lang= option, the configuration's choice, and the
// translator of the English texts, which is built into the program as a resource.
#include "app/language.h"

#include "core/cfg.h"
#include "common/err.h"
#include "core/exit_codes.h"

#include <QCoreApplication>
#include <QTranslator>
#include <cstring>

namespace {

Tr errtext_lang_format{TR_TEXT("main",
                               "Неправильный формат опции «--lang». Ожидаемый формат: --lang=en или --lang=ru.")};
Tr errtext_lang_twice{TR_TEXT("main", "В командной строке дважды указана одна и та же опция: «--lang».")};
Tr errfmt_lang_unknown{TR_TEXT("main",
                               "Неизвестный язык в опции «--lang»: «%1». Знаю только языки «en» (английский) и «ru» "
                               "(русский).")};

const char english[] = "en";
const char english_translation[] = ":/translations/ruvo_bridge_en.qm";

// The English translator, owned by the application; null while the texts are Russian.
QTranslator* translator = nullptr;
bool chosen_on_command_line = false;

// The translator belongs to one application object; a new one (tests make several) starts Russian.
void forget_translator()
{
    translator = nullptr;
    translate_texts();
}

bool install_english()
{
    if (translator)
        return true;
    auto* loaded = new QTranslator(QCoreApplication::instance());
    if (!loaded->load(QString::fromLatin1(english_translation))) {
        delete loaded;
        return false;
    }
    QObject::connect(loaded, &QObject::destroyed, forget_translator);
    QCoreApplication::installTranslator(loaded);
    translator = loaded;
    return true;
}

// The translator leaves the application when it is destroyed.
void remove_english()
{
    delete translator;
}

// Checks one --lang= argument; the error text, or an empty one when the language is known.
QString language_option_error(const char* arg, bool seen)
{
    const char* rest = arg + 6;  // after "--lang"
    if (rest[0] != '=' || rest[1] == 0)
        return errtext_lang_format.tr();
    if (seen)
        return errtext_lang_twice.tr();
    const QString code = QString::fromUtf8(rest + 1);
    if (!is_language(code))
        return QString(errfmt_lang_unknown.tr()).arg(code);
    return QString();
}

}  // namespace

bool use_language(const QString& code)
{
    if (code == QLatin1String(english)) {
        Q_INIT_RESOURCE(translations);
        if (!install_english())
            return false;
    } else {
        remove_english();
    }
    translate_texts();
    return true;
}

bool is_language_option(const char* arg)
{
    return strncmp(arg, "--lang", 6) == 0;
}

int take_language_option(int argc, char** argv, int& options)
{
    options = 0;
    const char* chosen = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (!is_language_option(argv[i]))
            continue;
        const QString error = language_option_error(argv[i], chosen != nullptr);
        if (!error.isEmpty()) {
            show_error(error);
            return exit_command_line;
        }
        chosen = argv[i] + 7;  // after "--lang="
        ++options;
    }
    chosen_on_command_line = chosen != nullptr;
    // The log is not written before the command line is read.
    if (chosen && !use_language(QString::fromUtf8(chosen))) {
        show_error(debug_errtext(0x104));
        return exit_command_line;
    }
    return -1;
}

void use_configured_language()
{
    if (chosen_on_command_line || cfg_language.isEmpty())
        return;
    if (!use_language(cfg_language))
        throw Debug(0x105);
}
