// How the program ended and after how long it ran: the reason noted where the end is decided, the
// entry written where the run actually ends.
#include "core/program_end.h"

#include "common/err.h"
#include "core/exit_codes.h"

#include <QElapsedTimer>
#include <atomic>

namespace {

Tr logfmt_program_end{TR_TEXT("log", "Программа завершила работу: %1. Время работы: %2 (ч:мм:сс).")};
Tr caption_end_exit_button{TR_TEXT("log", "нажата кнопка «Выйти»")};
Tr caption_end_window_closed{TR_TEXT("log", "закрыто главное окно (Alt+F4 или кнопка закрытия окна)")};
Tr caption_end_exit_at_once{TR_TEXT("log", "нажата кнопка «Выйти немедленно»")};
Tr logfmt_end_signal{TR_TEXT("log", "получен сигнал %1")};
Tr caption_end_start_failed{TR_TEXT("log", "запуск не удался")};
Tr caption_end_fatal_error{TR_TEXT("log", "аварийное завершение")};

QElapsedTimer run_clock;
// The reason noted, as the enumeration's value plus one; 0 while none is.
std::atomic<int> noted{0};
std::atomic<bool> logged{false};

QString reason_text(Program_end how)
{
    switch (how) {
    case Program_end::exit_button:
        return caption_end_exit_button.tr();
    case Program_end::window_closed:
        return caption_end_window_closed.tr();
    case Program_end::exit_at_once:
        return caption_end_exit_at_once.tr();
    case Program_end::sigterm:
        return logfmt_end_signal.tr().arg(QLatin1String("SIGTERM"));
    case Program_end::sigint:
        return logfmt_end_signal.tr().arg(QLatin1String("SIGINT"));
    case Program_end::start_failed:
        return caption_end_start_failed.tr();
    case Program_end::fatal_error:
        break;
    }
    return caption_end_fatal_error.tr();
}

// Hours are not wrapped into days: a long run reads as e.g. 1234:05:06.
QString run_length_text(qint64 run_ms)
{
    const qint64 seconds = qMax<qint64>(run_ms, 0) / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

void note_program_start()
{
    run_clock.start();
    noted = 0;
    logged = false;
}

void note_program_end(Program_end how)
{
    int none = 0;
    noted.compare_exchange_strong(none, static_cast<int>(how) + 1);
}

void log_program_end(int exit_code)
{
    if (logged.exchange(true))
        return;
    const int reason = noted.load();
    Program_end how = Program_end::fatal_error;
    if (exit_code == exit_start_failed)
        how = Program_end::start_failed;
    else if (exit_code == exit_ok && reason != 0)
        how = static_cast<Program_end>(reason - 1);
    log(program_end_text(how, run_clock.isValid() ? run_clock.elapsed() : 0));
}

QString program_end_text(Program_end how, qint64 run_ms)
{
    return logfmt_program_end.tr().arg(reason_text(how), run_length_text(run_ms));
}
