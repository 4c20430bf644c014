// The process's open descriptors: the limit from getrlimit, and the spare descriptor on /dev/null.
#include "common/descriptors.h"

#include <limits>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// The log, the WebSocket, the devices file being saved, the signal pair, the spare descriptor,
// the standard streams and what Qt and the C library keep open for themselves.
const quint64 descriptors_for_the_program = 64;

int spare_fd = -1;

}  // namespace

quint64 raise_descriptor_limit()
{
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    return descriptor_limit();
}

quint64 descriptor_limit()
{
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return std::numeric_limits<quint64>::max();
    return limit.rlim_cur;
}

quint64 descriptors_needed(quint64 modems)
{
    return 2 * modems + descriptors_for_the_program;
}

quint64 listeners_within_descriptor_limit()
{
    const quint64 limit = descriptor_limit();
    return limit > descriptors_for_the_program ? limit - descriptors_for_the_program : 0;
}

void keep_spare_descriptor()
{
    if (spare_fd < 0)
        spare_fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

bool release_spare_descriptor()
{
    if (spare_fd < 0)
        return false;
    ::close(spare_fd);
    spare_fd = -1;
    return true;
}
