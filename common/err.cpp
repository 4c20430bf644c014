// The log file and its dumps, exceptions that log themselves, internal-error codes,
// the way errors reach the user and the holders of translatable texts.
#include "common/err.h"

#include "common/descriptors.h"
#include "common/hex.h"
#include "common/log_file.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QMutexLocker>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

const char default_log_fname[] = "ruvo_bridge.log";
const char* log_fname = default_log_fname;
QMutex mutex_log;
const char ERR_WHAT[] = "Error (class Err).";

namespace {

// The registries of the translatable texts; constant-initialized, so holders made before them
// in another file's initialization still find them.
Tr* first_tr = nullptr;
Tr_with_hint* first_tr_with_hint = nullptr;

Tr format_debug{TR_TEXT("log", "Неожиданная ошибка №%1.%2.")};
Tr errfmt_std_exception{TR_TEXT("log", "%1 Ошибка (std::exception): «%2».")};

// Shows errors to the user; null until the user interface installs its box.
Error_box error_box = nullptr;

const size_t max_hex_dump = 100000;
const size_t long_hex_dump = 99999;
const size_t max_text_dump = 300000;

// Room for the prefix, "0x{", the digit pairs with their blanks and "...}" or "}".
const size_t hex_dump_extra = 4;

void put_hex_byte(char*& out, unsigned char byte)
{
    *out++ = hex_table_uppercase[byte >> 4];
    *out++ = hex_table_uppercase[byte & 0x0F];
}

bool prefix_fits(size_t prefix_len)
{
    return prefix_len <= std::numeric_limits<size_t>::max() - 3 * max_hex_dump - hex_dump_extra;
}

// Appends one entry whose text is given as UTF-8 bytes.
// When the process has run out of descriptors, the spare one makes room for this entry,
// which is most likely the one that says so.
bool write_entry(const QByteArray& text)
{
    const QByteArray entry = stamped_log_entry(text);
    QMutexLocker lock(&mutex_log);
    Log_file::Result result = program_log.append(log_fname, entry);
    if (result == Log_file::not_opened && release_spare_descriptor())
        result = program_log.append(log_fname, entry);
    if (result == Log_file::not_opened) {
        fputs("Error in logging.\n", stdout);
        fflush(stdout);
    } else {
        keep_spare_descriptor();
    }
    if (result != Log_file::written)
        program_log.lost(entry);
    return result != Log_file::not_opened;
}

// The dumps go to the log byte for byte: a text dump shows the data exactly as it came, even
// where a decoder would have replaced an overlong or surrogate form.
void log_bytes(const char* text, size_t size)
{
    write_entry(QByteArray::fromRawData(text, static_cast<int>(size)));
}

// Which of the bytes that follow a lead byte are a continuation (10xxxxxx).
bool continuations(const unsigned char* p, size_t count)
{
    for (size_t i = 1; i <= count; ++i)
        if ((p[i] & 0xC0) != 0x80)
            return false;
    return true;
}

}  // namespace

Tr::Tr(const char* context, const char* source)
    : context(context), source(source), translated(QString::fromUtf8(source)), next_holder(first_tr)
{
    first_tr = this;
}

Tr_with_hint::Tr_with_hint(const char* context, const char* caption_source, const char* hint_source)
    : context(context),
      caption_source(caption_source),
      hint_source(hint_source),
      caption(QString::fromUtf8(caption_source)),
      hint(QString::fromUtf8(hint_source)),
      next_holder(first_tr_with_hint)
{
    first_tr_with_hint = this;
}

void translate_texts()
{
    for (Tr* t = first_tr; t; t = t->next_holder)
        t->translated = QCoreApplication::translate(t->context, t->source, nullptr, -1);
    for (Tr_with_hint* t = first_tr_with_hint; t; t = t->next_holder) {
        t->caption = QCoreApplication::translate(t->context, t->caption_source, nullptr, -1);
        t->hint = QCoreApplication::translate(t->context, t->hint_source, nullptr, -1);
    }
}

Err::Err(const QString& message) : text(message)
{
    log(text);
}

const char* Err::what() const noexcept
{
    return ERR_WHAT;
}

Debug::Debug(unsigned short code) : Err(debug_errtext(code)) {}

bool is_err(const std::exception& e)
{
    return e.what() == ERR_WHAT;
}

bool log(const QString& text)
{
    return write_entry(text.toUtf8());
}

bool log(const char* text)
{
    return log(text ? QString::fromUtf8(text) : QString());
}

void log_null_data(const char* prefix, size_t prefix_len)
{
    log(QString::fromUtf8(prefix, static_cast<int>(prefix_len)) + QStringLiteral("NULL"));
}

void log_nonempty_data(const char* prefix, size_t prefix_len, const unsigned char* data, size_t size)
{
    const bool cut = size > max_hex_dump;
    const size_t dumped = cut ? long_hex_dump : size;
    const size_t room = prefix_len + 3 * (cut ? max_hex_dump : size) + hex_dump_extra;
    char* buf = new (std::nothrow) char[room];
    if (!buf) {
        log("log_data: insufficient memory.");
        return;
    }
    char* out = buf;
    memcpy(out, prefix, prefix_len);
    out += prefix_len;
    memcpy(out, "0x{", 3);
    out += 3;
    for (size_t i = 0; i < dumped; ++i) {
        if (i)
            *out++ = ' ';
        put_hex_byte(out, data[i]);
    }
    if (cut) {
        memcpy(out, "...", 3);
        out += 3;
    }
    *out++ = '}';
    log_bytes(buf, static_cast<size_t>(out - buf));
    delete[] buf;
}

void log_data(const char* prefix, const unsigned char* data, size_t size)
{
    if (!prefix) {
        log_debug(0x001);
        return;
    }
    const size_t prefix_len = strlen(prefix);
    if (!prefix_fits(prefix_len)) {
        log_debug(0x002);
        return;
    }
    if (size == 0)
        log(QString::fromUtf8(prefix, static_cast<int>(prefix_len)) + QStringLiteral("{}"));
    else if (!data)
        log_null_data(prefix, prefix_len);
    else
        log_nonempty_data(prefix, prefix_len, data, size);
}

void log_utf8(const char* prefix, const unsigned char* data, size_t size)
{
    if (!prefix) {
        log_debug(0x003);
        return;
    }
    const size_t prefix_len = strlen(prefix);
    if (!prefix_fits(prefix_len)) {
        log_debug(0x004);
        return;
    }
    if (size == 0) {
        log(QString::fromUtf8(prefix, static_cast<int>(prefix_len)) + QStringLiteral("«»"));
        return;
    }
    if (!data) {
        log_null_data(prefix, prefix_len);
        return;
    }
    if (size > max_text_dump || !is_printable_utf8(data, size)) {
        log_nonempty_data(prefix, prefix_len, data, size);
        return;
    }
    // "«" and "»" take two bytes each in UTF-8; one more byte spare.
    char* buf = new (std::nothrow) char[prefix_len + size + 5];
    if (!buf) {
        log("log_utf8: insufficient memory.");
        return;
    }
    char* out = buf;
    memcpy(out, prefix, prefix_len);
    out += prefix_len;
    memcpy(out, "\xC2\xAB", 2);
    out += 2;
    memcpy(out, data, size);
    out += size;
    memcpy(out, "\xC2\xBB", 2);
    out += 2;
    log_bytes(buf, static_cast<size_t>(out - buf));
    delete[] buf;
}

void log_utf8(const QString& prefix, const QString& text)
{
    const QByteArray p = prefix.toUtf8();
    const QByteArray t = text.toUtf8();
    log_utf8(p.constData(), reinterpret_cast<const unsigned char*>(t.constData()),
             static_cast<size_t>(t.size()));
}

bool is_printable_utf8(const unsigned char* data, size_t size)
{
    const unsigned char* p = data;
    const unsigned char* end = data + size;
    while (p < end) {
        const unsigned char c = *p;
        const size_t left = static_cast<size_t>(end - p);
        if (c < 0x20 || c == 0x7F)
            return false;
        if (c < 0x80) {
            ++p;
        } else if (c < 0xC0) {
            return false;
        } else if (c < 0xE0) {
            if (left < 2 || !continuations(p, 1))
                return false;
            if (c == 0xC2 && (p[1] < 0xA0 || p[1] == 0xAB || p[1] == 0xBB))
                return false;
            p += 2;
        } else if (c < 0xF0) {
            if (left < 3 || !continuations(p, 2))
                return false;
            if (c == 0xE2 && p[1] == 0x80 && (p[2] == 0xA8 || p[2] == 0xA9))
                return false;
            if (c == 0xEF && p[1] == 0xBB && p[2] == 0xBF)
                return false;
            p += 3;
        } else if (c < 0xF8) {
            if (left < 4 || !continuations(p, 3))
                return false;
            p += 4;
        } else {
            return false;
        }
    }
    return true;
}

QString debug_errtext(unsigned short code)
{
    return QString(format_debug.tr()).arg(code >> 8).arg(code & 0xFF);
}

void log_debug(unsigned short code)
{
    log(debug_errtext(code));
}

void show_debug(unsigned short code, QWidget* parent)
{
    const QString text = debug_errtext(code);
    log(text);
    show_error(text, parent);
}

void log_exception(const std::exception& e, const char* handler)
{
    const QString where = QString::fromUtf8(handler ? handler : "Exception handler (NULL).");
    if (is_err(e))
        log(where);
    else
        log(QString(errfmt_std_exception.tr()).arg(where, QString::fromUtf8(e.what())));
}

void log_exception(const std::exception& e, const QString& handler)
{
    const QByteArray text = handler.toUtf8();
    log_exception(e, text.constData());
}

void set_error_box(Error_box box)
{
    error_box = box;
}

void show_error(const QString& text, QWidget* parent)
{
    if (error_box) {
        error_box(text, parent);
        return;
    }
    fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    fflush(stderr);
}

void show_exception(const std::exception& e, QWidget* parent)
{
    if (is_err(e)) {
        show_error(static_cast<const Err&>(e).message(), parent);
        return;
    }
    const QString text = QString::fromUtf8(e.what());
    log(text);
    show_error(text, parent);
}
