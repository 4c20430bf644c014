// The time from sending a command to accepting its answer, as a Prometheus histogram that the
// exchange thread fills without taking a lock.
#pragma once

#include <prometheus/collectable.h>
#include <prometheus/metric_family.h>

#include <QtGlobal>
#include <array>
#include <atomic>
#include <vector>

class Answer_histogram : public prometheus::Collectable {
public:
    // Called by the exchange thread only, so the sum needs no read-modify-write.
    void observe(double seconds);
    std::vector<prometheus::MetricFamily> Collect() const override;

private:
    static const std::array<double, 12> bounds;
    // Observations per bucket, not cumulative; the last one is above every bound.
    std::array<std::atomic<quint64>, 13> counts{};
    std::atomic<double> sum{0};
};
