// The usual process series of a Prometheus exporter (processor time, memory, descriptors, start
// time) and the program's build info, read from /proc at every scrape.
#include "metrics/process_info.h"

#include "core/build_info.h"

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

prometheus::MetricFamily one_value(const char* name, const char* help, prometheus::MetricType type, double value)
{
    prometheus::ClientMetric metric;
    if (type == prometheus::MetricType::Counter)
        metric.counter.value = value;
    else
        metric.gauge.value = value;
    return {name, help, type, {metric}};
}

prometheus::MetricFamily gauge(const char* name, const char* help, double value)
{
    return one_value(name, help, prometheus::MetricType::Gauge, value);
}

// The fields of /proc/self/stat after the command name, which may itself hold blanks; the
// first of them is the state, field 3 of the whole line.
std::vector<std::string> stat_fields()
{
    std::ifstream in("/proc/self/stat");
    const std::string line((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto name_end = line.rfind(')');
    std::istringstream rest(name_end == std::string::npos ? std::string() : line.substr(name_end + 1));
    return {std::istream_iterator<std::string>(rest), std::istream_iterator<std::string>()};
}

double stat_field(const std::vector<std::string>& fields, size_t number)
{
    const size_t i = number - 3;
    return i < fields.size() ? std::strtod(fields[i].c_str(), nullptr) : 0;
}

// The time of the system's boot, in seconds since the epoch.
double boot_time()
{
    std::ifstream in("/proc/stat");
    std::string word;
    while (in >> word)
        if (word == "btime") {
            double seconds = 0;
            in >> seconds;
            return seconds;
        }
    return 0;
}

double open_fds()
{
    DIR* dir = opendir("/proc/self/fd");
    if (!dir)
        return 0;
    double count = 0;
    while (const dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.')
            ++count;
    closedir(dir);
    // The descriptor of the listing itself does not count.
    return count - 1;
}

double max_fds()
{
    rlimit limit{};
    return getrlimit(RLIMIT_NOFILE, &limit) == 0 ? static_cast<double>(limit.rlim_cur) : 0;
}

prometheus::MetricFamily build_info()
{
    prometheus::MetricFamily family = gauge("ruvo_bridge_build_info", "Version of the running program; always 1.", 1);
    family.metric.front().label.push_back({"version", program_version});
    return family;
}

}  // namespace

std::vector<prometheus::MetricFamily> Process_info::Collect() const
{
    const std::vector<std::string> stat = stat_fields();
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    const double page = static_cast<double>(sysconf(_SC_PAGESIZE));
    return {
        one_value("process_cpu_seconds_total", "Total user and system CPU time spent in seconds.",
                  prometheus::MetricType::Counter, (stat_field(stat, 14) + stat_field(stat, 15)) / ticks),
        gauge("process_resident_memory_bytes", "Resident memory size in bytes.", stat_field(stat, 24) * page),
        gauge("process_virtual_memory_bytes", "Virtual memory size in bytes.", stat_field(stat, 23)),
        gauge("process_start_time_seconds", "Start time of the process since unix epoch in seconds.",
              boot_time() + stat_field(stat, 22) / ticks),
        gauge("process_open_fds", "Number of open file descriptors.", open_fds()),
        gauge("process_max_fds", "Maximum number of open file descriptors.", max_fds()),
        build_info(),
    };
}
