// The time from sending a command to accepting its answer, as a Prometheus histogram that the
// exchange thread fills without taking a lock.
#include "metrics/answer_histogram.h"

#include <algorithm>
#include <limits>

// From 5 ms, a quick answer on the local network, to 30 s, past the longest allowed wait.
const std::array<double, 12> Answer_histogram::bounds = {0.005, 0.01, 0.025, 0.05, 0.1, 0.25,
                                                         0.5,   1,    2.5,   5,    10,  30};

void Answer_histogram::observe(double seconds)
{
    const auto bucket = std::lower_bound(bounds.begin(), bounds.end(), seconds) - bounds.begin();
    counts[static_cast<size_t>(bucket)].fetch_add(1, std::memory_order_relaxed);
    sum.store(sum.load(std::memory_order_relaxed) + seconds, std::memory_order_relaxed);
}

std::vector<prometheus::MetricFamily> Answer_histogram::Collect() const
{
    prometheus::ClientMetric metric;
    quint64 cumulative = 0;
    for (size_t i = 0; i < counts.size(); ++i) {
        cumulative += counts[i].load(std::memory_order_relaxed);
        const double bound = i < bounds.size() ? bounds[i] : std::numeric_limits<double>::infinity();
        metric.histogram.bucket.push_back({cumulative, bound});
    }
    metric.histogram.sample_count = cumulative;
    metric.histogram.sample_sum = sum.load(std::memory_order_relaxed);
    return {{"ruvo_bridge_server_answer_seconds",
             "Time from sending a command to the RUVO-LoRa server to accepting its answer.",
             prometheus::MetricType::Histogram,
             {metric}}};
}
