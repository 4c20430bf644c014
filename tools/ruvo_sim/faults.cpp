// Reading "fault ..." commands into the set of faults the server commits.
#include "faults.h"

#include "virtual_device.h"

#include <functional>

namespace {

const QStringList commands = {
    QStringLiteral("auth_req"),
    QStringLiteral("get_device_appdata_req"),
    QStringLiteral("send_data_req"),
};

std::optional<QString> optional_text(const QString& text)
{
    if (text.isEmpty())
        return std::nullopt;
    return text;
}

std::optional<int> count_word(const QString& word)
{
    bool ok = false;
    const int value = word.toInt(&ok);
    if (!ok || value < 0)
        return std::nullopt;
    return value;
}

// A delay that may be left out, 0 then.
std::optional<int> ms_or_zero(const QString& word)
{
    return word.isEmpty() ? std::optional<int>(0) : count_word(word);
}

template<class E>
std::optional<E> named_mode(const QHash<QString, E>& names, const QString& word)
{
    const auto found = names.find(word);
    if (found == names.end())
        return std::nullopt;
    return *found;
}

std::optional<Append_fault> parse_append_fault(const QString& word)
{
    static const QHash<QString, Append_fault> names = {
        {QStringLiteral("none"), Append_fault::none},
        {QStringLiteral("false"), Append_fault::refused},
        {QStringLiteral("wrong_eui"), Append_fault::wrong_eui},
        {QStringLiteral("two"), Append_fault::two},
        {QStringLiteral("empty"), Append_fault::empty},
        {QStringLiteral("missing"), Append_fault::missing},
    };
    return named_mode(names, word);
}

std::optional<Batch_fault> parse_batch_fault(const QString& word)
{
    static const QHash<QString, Batch_fault> names = {
        {QStringLiteral("none"), Batch_fault::none},
        {QStringLiteral("short"), Batch_fault::short_answer},
        {QStringLiteral("reordered"), Batch_fault::reordered},
    };
    return named_mode(names, word);
}

// Sets a fault that takes one mode word, or tells which words it takes.
template<class E>
QString set_mode(const std::optional<E>& mode, E& fault, const char* usage)
{
    if (!mode)
        return QLatin1String(usage);
    fault = *mode;
    return QString();
}

// The words of "fault NAME ARG1 ARG2..." as a handler sees them.
struct Fault_args {
    Faults& faults;
    const Command_words& command;
    QString arg(int n) const { return command.word(1 + n); }
    QString text_from(int n) const { return command.rest(1 + n); }
};

QString need_command(const QString& word)
{
    return commands.contains(word) ? QString()
                                   : QStringLiteral("unknown command name (auth_req, get_device_appdata_req, send_data_req): ") + word;
}

QString close_after(const Fault_args& a, bool abort)
{
    const std::optional<int> n = count_word(a.arg(1));
    if (!n || *n == 0)
        return QStringLiteral("a message count of at least 1 is needed");
    a.faults.close_after = *n;
    a.faults.close_by_abort = abort;
    return QString();
}

QString no_answer(const Fault_args& a)
{
    const QString reason = need_command(a.arg(1));
    if (reason.isEmpty())
        a.faults.no_answer.insert(a.arg(1));
    return reason;
}

QString delay(const Fault_args& a)
{
    QString reason = need_command(a.arg(1));
    const std::optional<int> ms = count_word(a.arg(2));
    if (reason.isEmpty() && !ms)
        reason = QStringLiteral("a delay in milliseconds is needed");
    if (reason.isEmpty())
        a.faults.delay_ms.insert(a.arg(1), *ms);
    return reason;
}

QString reject_login(const Fault_args& a)
{
    a.faults.reject.insert(commands[0], optional_text(a.text_from(1)));
    return QString();
}

QString reject(const Fault_args& a)
{
    const QString reason = need_command(a.arg(1));
    if (reason.isEmpty())
        a.faults.reject.insert(a.arg(1), optional_text(a.text_from(2)));
    return reason;
}

QString append_status(const Fault_args& a)
{
    return set_mode(parse_append_fault(a.arg(1)), a.faults.append_status,
                    "append_status takes false, wrong_eui, two, empty, missing or none");
}

QString batch_answer(const Fault_args& a)
{
    return set_mode(parse_batch_fault(a.arg(1)), a.faults.batch_answer, "batch_answer takes short, reordered or none");
}

QString uplink_bad(const Fault_args& a)
{
    return set_mode(parse_uplink_fault(a.arg(1)), a.faults.uplink,
                    "uplink_bad takes out_of_order, size, total, packets or none");
}

// A fault of one modem: its EUI, then a number for the table, or a reason when either is wrong.
QString modem_fault(const Fault_args& a, QHash<quint64, int>& table, std::optional<int> number, const char* needed)
{
    const std::optional<quint64> eui = parse_eui(a.arg(1));
    if (!eui)
        return QStringLiteral("an EUI of 16 hexadecimal digits is needed: ") + a.arg(1);
    if (!number)
        return QLatin1String(needed);
    table.insert(*eui, *number);
    return QString();
}

QString modem_delay(const Fault_args& a)
{
    return modem_fault(a, a.faults.modem_delay_ms, count_word(a.arg(2)), "a delay in milliseconds is needed");
}

QString repeat_next(const Fault_args& a)
{
    return modem_fault(a, a.faults.repeat_next, ms_or_zero(a.arg(2)), "a delay in milliseconds is needed");
}

QString lose_next(const Fault_args& a)
{
    return modem_fault(a, a.faults.lose_next, count_word(a.arg(2)), "the number of the packet to lose is needed, from 0");
}

QString copy_next(const Fault_args& a)
{
    return modem_fault(a, a.faults.copy_next, count_word(a.arg(2)), "a delay in milliseconds is needed");
}

QString replay_next(const Fault_args& a)
{
    return modem_fault(a, a.faults.replay_next, ms_or_zero(a.arg(2)), "a delay in milliseconds is needed");
}

// Counting starts afresh whenever the fault is set.
QString lose_every(const Fault_args& a)
{
    const QString reason =
        modem_fault(a, a.faults.lose_every, count_word(a.arg(2)), "a count of answers is needed, 0 to end");
    if (reason.isEmpty())
        a.faults.answers_counted.remove(*parse_eui(a.arg(1)));
    return reason;
}

} // namespace

QString apply_fault(Faults& faults, const Command_words& command)
{
    using Handler = std::function<QString(const Fault_args&)>;
    static const QHash<QString, Handler> handlers = {
        {QStringLiteral("close_after"), [](const Fault_args& a) { return close_after(a, false); }},
        {QStringLiteral("abort_after"), [](const Fault_args& a) { return close_after(a, true); }},
        {QStringLiteral("no_answer"), no_answer},
        {QStringLiteral("delay"), delay},
        {QStringLiteral("reject_login"), reject_login},
        {QStringLiteral("reject"), reject},
        {QStringLiteral("append_status"), append_status},
        {QStringLiteral("batch_answer"), batch_answer},
        {QStringLiteral("uplink_bad"), uplink_bad},
        {QStringLiteral("modem_delay"), modem_delay},
        {QStringLiteral("repeat_next"), repeat_next},
        {QStringLiteral("lose_next"), lose_next},
        {QStringLiteral("copy_next"), copy_next},
        {QStringLiteral("replay_next"), replay_next},
        {QStringLiteral("lose_every"), lose_every},
    };
    const Fault_args args{faults, command};
    const auto handler = handlers.find(args.arg(0));
    if (handler == handlers.end())
        return QStringLiteral("unknown fault: ") + args.arg(0);
    return (*handler)(args);
}
