// The UTF-8 scanners of the configuration and devices files: blanks, line ends, comments,
// double-quoted string literals, and the scanner that owns the whole text of one file.
#pragma once

#include "text/parser.h"

#include <QByteArray>
#include <QChar>
#include <QString>

class Utf8_text_parser : public Text_parser<char> {
public:
    // Where the characters of a string literal go. The literal is read twice: the first pass
    // checks and measures (consider), the second stores (put), so the result is allocated once.
    class Dst {
    public:
        virtual void consider(unsigned long code) = 0;
        virtual void allocate() = 0;
        virtual void put(unsigned long code) = 0;

    protected:
        ~Dst() = default;
    };

    // Starts scanning a zero-terminated text that the caller keeps alive; steps over a UTF-8
    // byte order mark and refuses the marks of UTF-16 and UTF-32.
    void init(const char* text);
    void skip_blank() override;
    // Steps to the start of the next line, or to the terminating 0.
    void skip_line();
    // When the text at the position begins with the word, steps over it (a plain prefix test).
    bool get_word(const char* word);

    // Reads a literal (adjacent pieces joined) into dst; false with nothing read when the
    // position is not on a double quote.
    bool get_utf8_string(Dst& dst);
    bool get_printable_utf8_string(QString& out);
    QString req_printable_utf8_string();

    // Escape readers: the position stands on the backslash and is not moved.
    unsigned long req_escape_u16() const;
    unsigned long req_escape_u32() const;
    unsigned long req_escape_x(const char*& end) const;
    bool get_octal_escape(unsigned long& value, const char*& end) const;

private:
    void new_line(const char* next);
    void skip_multibyte_blank();
    unsigned measure_literal(Dst& dst);
    void fill_literal(Dst& dst, unsigned pieces);
    unsigned long literal_char(const char*& end) const;
    unsigned long escape(const char*& end) const;
    unsigned long escape_digits(int digits, Tr& errfmt_byte, Tr& errfmt_end) const;
    unsigned long utf8_char(const char*& end) const;
    void step_over_char(const char* end);
};

// Decodes a literal into a QString; the position errors come from the parser.
class Dst_utf16 : public Utf8_text_parser::Dst {
public:
    Dst_utf16(Utf8_text_parser& parser, QString& result) : parser(parser), result(result) {}
    void consider(unsigned long code) override;
    void allocate() override;
    void put(unsigned long code) override;

    Utf8_text_parser& parser;
    QString& result;
    qint32 size = 0;
    QChar* fill = nullptr;
    QChar* end = nullptr;
};

// As Dst_utf16, but control characters and line separators are refused.
class Dst_printable_utf16 : public Dst_utf16 {
public:
    using Dst_utf16::Dst_utf16;
    void consider(unsigned long code) override;
};

// Scans the whole text of one file, which it owns; errors name the file, line and character.
class Utf8_file_parser : public Utf8_text_parser {
public:
    explicit Utf8_file_parser(const QString& file_name);
    Err Error(const QString& reason) const override;
    // The error of an unknown name at the position: the reason, then the name as written.
    Err unknown_name_error(const QString& reason) const;

    QString file_name;
    QByteArray text;
};
