// Prometheus metrics of the link, every served modem and the command queue, served on metrics_listen;
// the reporting calls are lock-free and do nothing while metrics are off.
#include "metrics/metrics.h"

#include "core/cfg.h"
#include "core/link_state.h"
#include "core/modem_state.h"
#include "core/served_devices.h"
#include "core/shared.h"
#include "common/err.h"
#include "common/log_file.h"
#include "metrics/answer_histogram.h"
#include "metrics/http_endpoint.h"
#include "metrics/process_info.h"
#include "metrics/status_page.h"

#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/registry.h>
#include <prometheus/summary.h>
#include <prometheus/text_serializer.h>

#include <QDateTime>
#include <QHash>
#include <QMutexLocker>
#include <array>
#include <chrono>
#include <map>
#include <mutex>

namespace {

Tr logtext_metrics_serving{TR_TEXT("log", "Метрики для Prometheus доступны по адресу http://%1/metrics.")};
Tr errfmt_metrics_cannot_listen{TR_TEXT("log",
                                        "Не удалось открыть порт метрик для Prometheus «%1» (%2). Программа "
                                        "работает без метрик и пробует открыть порт снова каждые %3 с.")};

const int metrics_bind_retry_s = 5;

using prometheus::Counter;
using prometheus::Family;
using prometheus::Gauge;

// The link state and the main window's three counters, as the exchange thread (and the GUI thread,
// for the modems to serve) last published them: a scrape holds the metrics library's lock, so it
// must not wait for cfg_mutex.
struct Modem_snapshot {
    quint64 eui;
    Modem_state state;
    std::string reason;
    // For the status page.
    QString name;
    quint16 port;
    Port_protocol protocol;
};

struct State_snapshot {
    Link_state link = Link_state::offline;
    // When the link came to that state, in seconds since the epoch.
    qint64 link_since_s = 0;
    // Modems to serve, of them available, of them in use.
    double counts[3] = {0, 0, 0};
    // Every modem to serve, in EUI order.
    std::vector<Modem_snapshot> modems;
};

std::string eui_label(quint64 eui)
{
    return QStringLiteral("%1").arg(eui, 16, 16, QLatin1Char('0')).toUpper().toStdString();
}

// One series per modem to serve, valued 1, its state and reason in the labels.
prometheus::MetricFamily modem_state_family(const std::vector<Modem_snapshot>& modems)
{
    prometheus::MetricFamily family{"ruvo_bridge_modem_state",
                                    "State of each modem to serve (value 1): served, waiting_for_list, "
                                    "not_known_to_server, port_failed, link_down or no_port; reason says why "
                                    "it is not served, in the program's language.",
                                    prometheus::MetricType::Gauge,
                                    {}};
    family.metric.reserve(modems.size());
    for (const Modem_snapshot& modem : modems) {
        prometheus::ClientMetric m;
        m.label = {{"eui", eui_label(modem.eui)}, {"reason", modem.reason}, {"state", modem_state_name(modem.state)}};
        m.gauge.value = 1;
        family.metric.push_back(std::move(m));
    }
    return family;
}

std::mutex snapshot_mutex;
State_snapshot snapshot;
// The clients on each served modem's port, for the status page; under snapshot_mutex.
std::map<quint64, int> clients_on_port;

class Bridge_state : public prometheus::Collectable {
public:
    std::vector<prometheus::MetricFamily> Collect() const override
    {
        State_snapshot state;
        {
            std::lock_guard<std::mutex> lock(snapshot_mutex);
            state = snapshot;
        }
        const double* const counts = state.counts;
        prometheus::ClientMetric link;
        link.gauge.value = static_cast<int>(state.link);
        prometheus::MetricFamily modems{"ruvo_bridge_modems",
                                        "Modems to serve, of them available (known to the server and listened "
                                        "for), of them in use by a client.",
                                        prometheus::MetricType::Gauge,
                                        {}};
        static const char* const states[] = {"configured", "available", "in_use"};
        for (int i = 0; i < 3; ++i) {
            prometheus::ClientMetric m;
            m.label.push_back({"state", states[i]});
            m.gauge.value = counts[i];
            modems.metric.push_back(m);
        }
        return {{"ruvo_bridge_link_state",
                 "State of the link with the RUVO-LoRa server: 0 no link, 1 starting, 2 up.",
                 prometheus::MetricType::Gauge,
                 {link}},
                modems,
                modem_state_family(state.modems)};
    }
};

// Entries of the log file that could not be written.
class Log_losses : public prometheus::Collectable {
public:
    std::vector<prometheus::MetricFamily> Collect() const override
    {
        prometheus::ClientMetric lost;
        lost.counter.value = static_cast<double>(log_entries_lost());
        return {{"ruvo_bridge_log_entries_lost_total",
                 "Log entries that could not be written to the log file (full disk, unwritable file).",
                 prometheus::MetricType::Counter,
                 {lost}}};
    }
};

// Counters kept for every served modem, in the order of their families.
enum Modem_counter {
    frames_to_modem,
    bytes_to_modem,
    bytes_from_modem,
    answers_to_client,
    client_connections,
    client_connections_refused,
    answers_after_given_up,
    answers_after_other_client,
    modem_counter_count
};

const char* const modem_counter_names[][2] = {
    {"ruvo_bridge_frames_to_modem_total", "Client messages sent to the modem in data commands."},
    {"ruvo_bridge_bytes_to_modem_total", "Payload bytes sent to the modem, each with its payload type byte."},
    {"ruvo_bridge_bytes_from_modem_total", "Uplink payload bytes received from the modem, packet headers included."},
    {"ruvo_bridge_answers_to_client_total", "Whole answers of the modem written to its TCP client."},
    {"ruvo_bridge_client_connections_total", "TCP client connections accepted on the modem's port."},
    {"ruvo_bridge_client_connections_refused_total",
     "TCP client connections to the modem's port refused: the peer's address is not in tcp_allow."},
    {"ruvo_bridge_answers_after_given_up_total",
     "Answers of the modem on a raw port that came while no message was owed, after the last one had been given "
     "up unanswered (ws_data_timeout + 60 s): each may be that message's answer, later than its guard time."},
    {"ruvo_bridge_answers_across_clients_after_given_up_total",
     "Answers of the modem on a raw port taken for a message of another client than the one whose message, just "
     "before, had been given up unanswered: if the answer was that message's, later than its guard time, it reached "
     "the wrong client. Raise ws_data_timeout when this grows."},
};

const char* const client_error_kinds[] = {"overflow", "refused", "packet", "read", "header"};
// In the order of metrics::Modbus_answer.
const char* const modbus_answer_kinds[] = {"radio", "merged", "cache"};

struct Modem_series {
    std::array<Counter*, modem_counter_count> counters;
    std::array<Counter*, 5> errors;
    std::array<Counter*, 3> modbus_answers;
    Gauge* last_uplink;
};

}  // namespace

class Metrics {
public:
    Metrics();
    void add_modem(quint64 eui, quint16 port);
    void remove_modem(quint64 eui);
    // The series of a served modem; null when it has none.
    Modem_series* modem(quint64 eui);
    void count(quint64 eui, Modem_counter counter, double amount = 1);
    void start_answer_clock();
    void stop_answer_clock();
    // In the endpoint's thread: the text of every series, and the status page.
    Http_answer scrape();
    Http_answer page() const;

    // The endpoint's own figures, first in a scrape.
    const std::shared_ptr<prometheus::Registry> endpoint_registry = std::make_shared<prometheus::Registry>();
    const std::shared_ptr<prometheus::Registry> registry = std::make_shared<prometheus::Registry>();
    const std::shared_ptr<Bridge_state> state = std::make_shared<Bridge_state>();
    const std::shared_ptr<Answer_histogram> answers = std::make_shared<Answer_histogram>();
    const std::shared_ptr<Process_info> process = std::make_shared<Process_info>();
    const std::shared_ptr<Log_losses> log_losses = std::make_shared<Log_losses>();
    Counter& link_connects;
    Counter& link_failures;
    Gauge& queue_length;
    // By metrics::Site_result.
    std::array<Counter*, 3> site_requests;

private:
    // Every collectable, in the order of a scrape.
    std::vector<prometheus::MetricFamily> collect() const;

    Counter& bytes_transferred;
    Counter& scrapes;
    prometheus::Summary& scrape_latency;
    std::array<Family<Counter>*, modem_counter_count> modem_counters;
    Family<Counter>& client_errors;
    Family<Counter>& modbus_answers;
    Family<Gauge>& last_uplink;
    QHash<quint64, Modem_series> modems;
    std::chrono::steady_clock::time_point sent_at;
    bool answer_awaited = false;
};

namespace {

Metrics* active = nullptr;

Family<Counter>& counter_family(prometheus::Registry& registry, const char* name, const char* help)
{
    return prometheus::BuildCounter().Name(name).Help(help).Register(registry);
}

Family<Gauge>& gauge_family(prometheus::Registry& registry, const char* name, const char* help)
{
    return prometheus::BuildGauge().Name(name).Help(help).Register(registry);
}

// The site port's requests by result, in the order of metrics::Site_result.
std::array<Counter*, 3> site_counters(prometheus::Registry& registry)
{
    Family<Counter>& family = counter_family(registry, "ruvo_bridge_site_requests_total",
                                             "Modbus requests on the site port (modbus_site_port) by result: routed "
                                             "(handed to a modem), no_route (exception 0x0A at once: no modem "
                                             "served for the unit id), broadcast (unit id 0, sent nowhere).");
    return {&family.Add({{"result", "routed"}}), &family.Add({{"result", "no_route"}}),
            &family.Add({{"result", "broadcast"}})};
}

}  // namespace

Metrics::Metrics()
    : link_connects(counter_family(*registry, "ruvo_bridge_link_connects_total",
                                   "Connection attempts to the RUVO-LoRa server.")
                        .Add({})),
      link_failures(counter_family(*registry, "ruvo_bridge_link_failures_total",
                                   "Links with the RUVO-LoRa server, or attempts to make one, ended by an error.")
                        .Add({})),
      queue_length(gauge_family(*registry, "ruvo_bridge_queue_length", "Commands waiting in the queue to be sent.")
                       .Add({})),
      site_requests(site_counters(*registry)),
      bytes_transferred(counter_family(*endpoint_registry, "exposer_transferred_bytes_total",
                                       "Transferred bytes to metrics services")
                            .Add({})),
      scrapes(counter_family(*endpoint_registry, "exposer_scrapes_total", "Number of times metrics were scraped")
                  .Add({})),
      scrape_latency(prometheus::BuildSummary()
                         .Name("exposer_request_latencies")
                         .Help("Latencies of serving scrape requests, in microseconds")
                         .Register(*endpoint_registry)
                         .Add({}, prometheus::Summary::Quantiles{{0.5, 0.05}, {0.9, 0.01}, {0.99, 0.001}})),
      client_errors(counter_family(*registry, "ruvo_bridge_client_errors_total",
                                   "Exchanges with a TCP client ended by an error, by kind: overflow (message "
                                   "longer than max_frame), refused (frame refused by the server), packet (bad "
                                   "uplink packet), read (read error), header (malformed Modbus TCP header).")),
      modbus_answers(counter_family(*registry, "ruvo_bridge_modbus_requests_total",
                                    "Modbus requests to the modem answered, by how: radio (the modem's answer to "
                                    "this request), merged (the answer to an identical read asked at the same "
                                    "time), cache (an answer kept from an identical read within cache_ms).")),
      last_uplink(gauge_family(*registry, "ruvo_bridge_last_uplink_timestamp_seconds",
                               "Time of the modem's last uplink message, in seconds since the epoch; 0 when none."))
{
    for (size_t i = 0; i < modem_counters.size(); ++i)
        modem_counters[i] = &counter_family(*registry, modem_counter_names[i][0], modem_counter_names[i][1]);
}

void Metrics::add_modem(quint64 eui, quint16 port)
{
    remove_modem(eui);
    const prometheus::Labels labels{{"eui", eui_label(eui)},
                                    {"port", std::to_string(port)}};
    Modem_series series;
    for (size_t i = 0; i < series.counters.size(); ++i)
        series.counters[i] = &modem_counters[i]->Add(labels);
    for (size_t i = 0; i < series.errors.size(); ++i) {
        prometheus::Labels with_kind = labels;
        with_kind["kind"] = client_error_kinds[i];
        series.errors[i] = &client_errors.Add(with_kind);
    }
    for (size_t i = 0; i < series.modbus_answers.size(); ++i) {
        prometheus::Labels with_how = labels;
        with_how["answered"] = modbus_answer_kinds[i];
        series.modbus_answers[i] = &modbus_answers.Add(with_how);
    }
    series.last_uplink = &last_uplink.Add(labels);
    modems.insert(eui, series);
}

void Metrics::remove_modem(quint64 eui)
{
    const auto it = modems.find(eui);
    if (it == modems.end())
        return;
    for (size_t i = 0; i < it->counters.size(); ++i)
        modem_counters[i]->Remove(it->counters[i]);
    for (Counter* c : it->errors)
        client_errors.Remove(c);
    for (Counter* c : it->modbus_answers)
        modbus_answers.Remove(c);
    last_uplink.Remove(it->last_uplink);
    modems.erase(it);
}

Modem_series* Metrics::modem(quint64 eui)
{
    const auto it = modems.find(eui);
    return it == modems.end() ? nullptr : &*it;
}

void Metrics::count(quint64 eui, Modem_counter counter, double amount)
{
    if (Modem_series* m = modem(eui))
        m->counters[counter]->Increment(amount);
}

void Metrics::start_answer_clock()
{
    sent_at = std::chrono::steady_clock::now();
    answer_awaited = true;
}

void Metrics::stop_answer_clock()
{
    if (!answer_awaited)
        return;
    answer_awaited = false;
    answers->observe(std::chrono::duration<double>(std::chrono::steady_clock::now() - sent_at).count());
}

std::vector<prometheus::MetricFamily> Metrics::collect() const
{
    std::vector<prometheus::MetricFamily> families;
    for (const prometheus::Collectable* c : std::initializer_list<const prometheus::Collectable*>{
             endpoint_registry.get(), registry.get(), state.get(), answers.get(), process.get(), log_losses.get()}) {
        std::vector<prometheus::MetricFamily> more = c->Collect();
        std::move(more.begin(), more.end(), std::back_inserter(families));
    }
    return families;
}

Http_answer Metrics::scrape()
{
    using std::chrono::steady_clock;
    const steady_clock::time_point start = steady_clock::now();
    const std::string text = prometheus::TextSerializer().Serialize(collect());
    Http_answer answer{"text/plain; charset=utf-8", QByteArray::fromStdString(text)};
    scrape_latency.Observe(std::chrono::duration<double, std::micro>(steady_clock::now() - start).count());
    bytes_transferred.Increment(answer.body.size());
    scrapes.Increment();
    return answer;
}

namespace {

// A per-modem family's values by the eui label, summed over its other labels.
QHash<QString, double> by_modem(const std::vector<prometheus::MetricFamily>& families, const char* name)
{
    QHash<QString, double> values;
    for (const prometheus::MetricFamily& family : families) {
        if (family.name != name)
            continue;
        for (const prometheus::ClientMetric& m : family.metric)
            for (const prometheus::ClientMetric::Label& label : m.label)
                if (label.name == "eui")
                    values[QString::fromStdString(label.value)] +=
                        family.type == prometheus::MetricType::Gauge ? m.gauge.value : m.counter.value;
    }
    return values;
}

}  // namespace

Http_answer Metrics::page() const
{
    State_snapshot state;
    std::map<quint64, int> clients;
    {
        std::lock_guard<std::mutex> lock(snapshot_mutex);
        state = snapshot;
        clients = clients_on_port;
    }
    const std::vector<prometheus::MetricFamily> families = registry->Collect();
    const QHash<QString, double> answers = by_modem(families, "ruvo_bridge_answers_to_client_total");
    const QHash<QString, double> errors = by_modem(families, "ruvo_bridge_client_errors_total");
    const QHash<QString, double> last_uplink = by_modem(families, "ruvo_bridge_last_uplink_timestamp_seconds");
    Page_view view;
    view.link = state.link;
    view.link_since_s = state.link_since_s;
    view.now_s = QDateTime::currentSecsSinceEpoch();
    std::copy(std::begin(state.counts), std::end(state.counts), view.counts);
    view.modems.reserve(state.modems.size());
    for (const Modem_snapshot& modem : state.modems) {
        const QString eui = QString::fromStdString(eui_label(modem.eui));
        const auto on_port = clients.find(modem.eui);
        view.modems.push_back({modem.eui, modem.name, modem.port, modem.protocol,
                               {modem.state, QString::fromStdString(modem.reason)},
                               on_port == clients.end() ? 0 : on_port->second, answers.value(eui),
                               errors.value(eui), last_uplink.value(eui)});
    }
    return {"text/html; charset=utf-8", status_page(view)};
}

void metrics::publish_state()
{
    State_snapshot state;
    state.link = link_state(ws_flags);
    state.counts[0] = devices_in_cfg.size();
    state.counts[1] = tcp_servers.size();
    state.counts[2] = clients_number;
    // Worked out only while metrics are on (the endpoint publishes once as it starts): a site of many
    // modems without metrics pays nothing for them at each change.
    if (active) {
        const QVector<Modem_status> statuses = read_modem_statuses();
        state.modems.reserve(statuses.size());
        auto status = statuses.constBegin();
        auto listed = devices_on_lora.constBegin();
        for (auto it = devices_in_cfg.constBegin(); it != devices_in_cfg.constEnd(); ++it, ++status) {
            while (listed != devices_on_lora.constEnd() && listed->eui < it.key())
                ++listed;
            const bool named = listed != devices_on_lora.constEnd() && listed->eui == it.key();
            state.modems.push_back({it.key(), status->state, status->reason.toStdString(),
                                    named ? listed->name : QString(), it->tcp_port, it->protocol});
        }
    }
    std::lock_guard<std::mutex> lock(snapshot_mutex);
    const bool same_link = state.link == snapshot.link && snapshot.link_since_s;
    state.link_since_s = same_link ? snapshot.link_since_s : QDateTime::currentSecsSinceEpoch();
    snapshot = std::move(state);
}

void metrics::port_clients(quint64 eui, int count)
{
    if (!active)
        return;
    std::lock_guard<std::mutex> lock(snapshot_mutex);
    if (count)
        clients_on_port[eui] = count;
    else
        clients_on_port.erase(eui);
}

void metrics::link_connecting()
{
    if (active)
        active->link_connects.Increment();
}

void metrics::link_failed()
{
    if (active)
        active->link_failures.Increment();
}

void metrics::queued(int change)
{
    if (active)
        active->queue_length.Increment(change);
}

void metrics::queue_emptied()
{
    if (active)
        active->queue_length.Set(0);
}

void metrics::command_sent()
{
    if (active)
        active->start_answer_clock();
}

void metrics::frame_sent(quint64 eui, size_t bytes)
{
    if (!active)
        return;
    active->start_answer_clock();
    active->count(eui, frames_to_modem);
    active->count(eui, bytes_to_modem, static_cast<double>(bytes + 1));
}

void metrics::frame_answered(quint64 eui, bool accepted)
{
    if (!accepted)
        client_error(eui, Client_error::refused);
}

void metrics::answer_accepted()
{
    if (active)
        active->stop_answer_clock();
}

void metrics::modem_added(quint64 eui, quint16 port)
{
    if (active)
        active->add_modem(eui, port);
}

void metrics::modem_removed(quint64 eui)
{
    if (!active)
        return;
    active->remove_modem(eui);
    std::lock_guard<std::mutex> lock(snapshot_mutex);
    clients_on_port.erase(eui);
}

void metrics::client_connected(quint64 eui)
{
    if (active)
        active->count(eui, client_connections);
}

void metrics::client_refused(quint64 eui)
{
    if (active)
        active->count(eui, client_connections_refused);
}

void metrics::client_error(quint64 eui, Client_error kind)
{
    if (!active)
        return;
    if (Modem_series* m = active->modem(eui))
        m->errors[static_cast<size_t>(kind)]->Increment();
}

void metrics::uplink_received(quint64 eui, size_t bytes)
{
    if (!active)
        return;
    if (Modem_series* m = active->modem(eui)) {
        m->counters[bytes_from_modem]->Increment(static_cast<double>(bytes));
        m->last_uplink->SetToCurrentTime();
    }
}

void metrics::answer_to_client(quint64 eui)
{
    if (active)
        active->count(eui, answers_to_client);
}

void metrics::late_answer(quint64 eui, Late_answer kind)
{
    if (active)
        active->count(eui, kind == Late_answer::after_given_up ? answers_after_given_up : answers_after_other_client);
}

void metrics::site_request(Site_result result)
{
    if (active)
        active->site_requests[static_cast<size_t>(result)]->Increment();
}

void metrics::modbus_answered(quint64 eui, Modbus_answer how, size_t count)
{
    if (!active || !count)
        return;
    if (Modem_series* m = active->modem(eui))
        m->modbus_answers[static_cast<size_t>(how)]->Increment(static_cast<double>(count));
}

Metrics_endpoint::Metrics_endpoint()
{
    if (metrics_listen.isEmpty())
        return;
    metrics.reset(new Metrics);
    active = metrics.get();
    // The modems to serve change in this thread; the rest is published where it changes.
    const auto publish = [] {
        QMutexLocker lock(&cfg_mutex);
        metrics::publish_state();
    };
    publish();
    QObject::connect(&served_devices, &Served_devices::changed, &bind_retry, publish);
    Metrics* const served = metrics.get();
    http.reset(new Http_endpoint([served](Http_target target) {
        return target == Http_target::metrics ? served->scrape() : served->page();
    }));
    QString why;
    if (serve(why))
        return;
    log(QString(errfmt_metrics_cannot_listen.tr())
            .arg(metrics_listen, why)
            .arg(metrics_bind_retry_s));
    QObject::connect(&bind_retry, &QTimer::timeout, [this] {
        QString ignored;
        if (serve(ignored))
            bind_retry.stop();
    });
    bind_retry.start(metrics_bind_retry_s * 1000);
}

Metrics_endpoint::~Metrics_endpoint()
{
    // The server stops before the metrics it reads are gone.
    http.reset();
    active = nullptr;
}

bool Metrics_endpoint::serve(QString& why)
{
    const int colon = metrics_listen.lastIndexOf(QLatin1Char(':'));
    const QHostAddress address(metrics_listen.left(colon));
    const quint16 port = metrics_listen.mid(colon + 1).toUShort();
    listening = http->listen(address, port, why);
    if (!listening)
        return false;
    log(QString(logtext_metrics_serving.tr()).arg(metrics_listen));
    return true;
}
