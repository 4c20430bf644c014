// The usual process series of a Prometheus exporter (processor time, memory, descriptors, start
// time) and the program's build info, read from /proc at every scrape.
#pragma once

#include <prometheus/collectable.h>
#include <prometheus/metric_family.h>

#include <vector>

class Process_info : public prometheus::Collectable {
public:
    std::vector<prometheus::MetricFamily> Collect() const override;
};
