// The in-place scanner family over zero-terminated text of 8-bit or 16-bit code units:
// position, line tracking and the generic token readers shared by every parser.
#pragma once

#include "common/err.h"

#include <QString>
#include <cstdint>

template <int bits>
struct Num;
template <>
struct Num<16> {
    typedef std::uint_fast16_t Uint_fast_t;
};
template <>
struct Num<32> {
    typedef std::uint_fast32_t Uint_fast_t;
};

// Texts of the generic readers (translation context "parser").
extern Tr errfmt_sym_expected;    // "ожидается символ «%1»."
extern Tr errfmt_param_again;     // "параметр «%1» уже определён выше по тексту."
extern Tr errtext_dec_expected;   // "ожидается десятичное число"
extern Tr errtext_dec_expected_stop;  // "ожидается десятичное число."
extern Tr errfmt_dec_too_big;     // "число слишком большое (должно быть не более %1)"
extern Tr errfmt_dec_too_small;   // "число слишком маленькое (должно быть не менее %1)."

template <class T>
class Source_str_zero_terminated {
public:
    const T* position = nullptr;
};

template <class T>
class Parser : public Source_str_zero_terminated<T> {
public:
    virtual ~Parser() = default;
    virtual void skip_blank() = 0;
    virtual Err Error(const QString& reason) const = 0;

    void req_sym(char c);
    bool is_assignment(const char* name, bool& seen);

    template <int bits>
    typename Num<bits>::Uint_fast_t req_dec(typename Num<bits>::Uint_fast_t max);
    template <int bits>
    typename Num<bits>::Uint_fast_t req_dec(typename Num<bits>::Uint_fast_t min,
                                            typename Num<bits>::Uint_fast_t max);
};

template <class T>
class Text_parser : public Parser<T> {
public:
    // A place in the text, kept so that a mistake found further on is reported where it is.
    struct Place {
        const T* position;
        const T* line_start;
        quint32 line;
    };
    Place place() const { return {this->position, line_start, line}; }
    void go_back(const Place& to)
    {
        this->position = to.position;
        line_start = to.line_start;
        line = to.line;
    }

    const T* line_start = nullptr;
    quint32 line = 1;
};

enum class Dec_result { no_number, too_big, done };

// Reads an unsigned decimal number at the parser's position; only the digits 0 to 9,
// leading zeros accepted, the character after the number not examined.
template <class V, class M, class P>
Dec_result dec_from_str(P& parser, V& value, M max)
{
    auto p = parser.position;
    if (*p < '0' || *p > '9')
        return Dec_result::no_number;
    V v = 0;
    const M limit = max / 10;
    const unsigned last = static_cast<unsigned>(max % 10);
    for (; *p >= '0' && *p <= '9'; ++p) {
        const unsigned d = static_cast<unsigned>(*p - '0');
        if (v > limit || (v == limit && d > last)) {
            parser.position = p;
            return Dec_result::too_big;
        }
        v = v * 10 + d;
    }
    parser.position = p;
    value = v;
    return Dec_result::done;
}

template <class T>
void Parser<T>::req_sym(char c)
{
    if (*this->position != static_cast<T>(c))
        throw Error(QString(errfmt_sym_expected.tr()).arg(QLatin1Char(c)));
    ++this->position;
}

template <class T>
bool Parser<T>::is_assignment(const char* name, bool& seen)
{
    const T* p = this->position;
    for (const char* n = name; *n; ++n, ++p)
        if (*p != static_cast<T>(*n))
            return false;
    this->position = p;
    if (seen)
        throw Error(QString(errfmt_param_again.tr()).arg(QString::fromUtf8(name)));
    skip_blank();
    req_sym('=');
    skip_blank();
    seen = true;
    return true;
}

template <class T>
template <int bits>
typename Num<bits>::Uint_fast_t Parser<T>::req_dec(typename Num<bits>::Uint_fast_t max)
{
    typename Num<bits>::Uint_fast_t value = 0;
    switch (dec_from_str(*this, value, max)) {
    case Dec_result::no_number:
        throw Error(errtext_dec_expected.tr());
    case Dec_result::too_big:
        throw Error(QString(errfmt_dec_too_big.tr()).arg(static_cast<qulonglong>(max)));
    case Dec_result::done:
        break;
    }
    return value;
}

template <class T>
template <int bits>
typename Num<bits>::Uint_fast_t Parser<T>::req_dec(typename Num<bits>::Uint_fast_t min,
                                                    typename Num<bits>::Uint_fast_t max)
{
    const T* start = this->position;
    typename Num<bits>::Uint_fast_t value = 0;
    switch (dec_from_str(*this, value, max)) {
    case Dec_result::no_number:
        throw Error(errtext_dec_expected_stop.tr());
    case Dec_result::too_big:
        throw Error(QString(errfmt_dec_too_big.tr()).arg(static_cast<qulonglong>(max)));
    case Dec_result::done:
        break;
    }
    if (value < min) {
        this->position = start;
        throw Error(QString(errfmt_dec_too_small.tr()).arg(static_cast<qulonglong>(min)));
    }
    return value;
}
