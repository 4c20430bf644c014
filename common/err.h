// The log file and its dumps, exceptions that log themselves, internal-error codes,
// the way errors reach the user and the holders of translatable texts.
#pragma once

#include <QMutex>
#include <QString>
#include <cstddef>
#include <exception>

class QWidget;

extern const char default_log_fname[];
extern const char* log_fname;
extern QMutex mutex_log;
extern const char ERR_WHAT[];

// Marks the context and source text of a holder for lupdate, which knows TR_TEXT and TR_HINT as
// QT_TRANSLATE_NOOP (scripts/update_translations.sh): Tr name{TR_TEXT("context", "source")} and
// Tr_with_hint name{TR_TEXT("context", "caption"), TR_HINT("context", "hint")}, the same context in both.
#define TR_TEXT(context, source) context, source
#define TR_HINT(context, source) source

// A translatable text: the source text itself in Russian, the translation of the chosen language
// otherwise (see app/language.h). Every holder joins one registry when it is made (all are made
// before main) and is translated with all the others by translate_texts(), which the language's
// choice calls in the GUI thread before the exchange thread starts; from then on both threads
// only read the texts.
struct Tr {
    Tr(const char* context, const char* source);
    const QString& tr() const { return translated; }

    const char* context;
    const char* source;
    QString translated;
    Tr* next_holder;
};

// A translatable caption with its tooltip, both translated with every Tr.
struct Tr_with_hint {
    Tr_with_hint(const char* context, const char* caption_source, const char* hint_source);
    const QString& get_caption() const { return caption; }
    const QString& get_hint() const { return hint; }

    const char* context;
    const char* caption_source;
    const char* hint_source;
    QString caption;
    QString hint;
    Tr_with_hint* next_holder;
};

// Translates every holder into the language of the translators now installed.
void translate_texts();

// An exception with a complete message for the user or the log; logged when made.
class Err : public std::exception {
public:
    explicit Err(const QString& message);
    const char* what() const noexcept override;
    const QString& message() const { return text; }

protected:
    // For a fault whose catcher decides whether it is news (one that lasts is logged once).
    struct Unlogged {};
    Err(const QString& message, Unlogged) : text(message) {}

private:
    QString text;
};

// An Err built from an internal-error code: a state that only a fault of the program can cause.
class Debug : public Err {
public:
    explicit Debug(unsigned short code);
};

bool is_err(const std::exception& e);

bool log(const QString& text);
bool log(const char* text);
void log_data(const char* prefix, const unsigned char* data, size_t size);
void log_utf8(const char* prefix, const unsigned char* data, size_t size);
void log_utf8(const QString& prefix, const QString& text);
void log_null_data(const char* prefix, size_t prefix_len);
void log_nonempty_data(const char* prefix, size_t prefix_len, const unsigned char* data, size_t size);
bool is_printable_utf8(const unsigned char* data, size_t size);

QString debug_errtext(unsigned short code);
void log_debug(unsigned short code);
void show_debug(unsigned short code, QWidget* parent = nullptr);

void log_exception(const std::exception& e, const char* handler);
void log_exception(const std::exception& e, const QString& handler);

// Shows an error text to the user: the user interface installs its message box (ui/error_box.h);
// until then the text goes to the standard error stream. GUI thread only.
typedef void (*Error_box)(const QString& text, QWidget* parent);
void set_error_box(Error_box box);
void show_error(const QString& text, QWidget* parent = nullptr);
void show_exception(const std::exception& e, QWidget* parent = nullptr);
