#include "BenchRun.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

// Anonymous resident memory of a running process, from /proc (0 when it is gone).
static uint64_t PrivateResident(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, 8, "RssAnon:") == 0)
            return std::strtoull(line.c_str() + 8, nullptr, 10) * 1024;
    return 0;
}

RunMeasure RunMeasured(const std::vector<std::string>& argv)
{
    RunMeasure measure;
    char outputName[] = "/tmp/lumivo-bench-XXXXXX";
    int output = mkstemp(outputName);
    if (output < 0) {
        measure.output = "cannot create a temporary file";
        return measure;
    }
    unlink(outputName);

    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    // Made before the fork: the child only writes it when the program cannot be started.
    std::string cannotRun = "cannot run " + argv.at(0) + ": ";
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        dup2(output, 1);
        dup2(output, 2);
        int none = open("/dev/null", O_RDONLY);
        dup2(none, 0);
        execvp(args[0], args.data());
        const char* reason = std::strerror(errno);
        ssize_t ignored = write(2, cannotRun.data(), cannotRun.size());
        ignored = write(2, reason, std::strlen(reason));
        ignored = write(2, "\n", 1);
        (void)ignored;
        _exit(127);
    }
    if (pid < 0)
        measure.output = cannotRun + std::strerror(errno) + "\n";
    int status = 0;
    struct rusage usage;
    std::memset(&usage, 0, sizeof usage);
    if (pid > 0) {
        for (;;) {
            pid_t ended = wait4(pid, &status, WNOHANG, &usage);
            if (ended == pid || ended < 0)
                break;
            measure.peakPrivateBytes = std::max(measure.peakPrivateBytes, PrivateResident(pid));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    measure.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    measure.exitCode = pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    measure.userSeconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6;
    measure.systemSeconds = usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
    measure.peakRssBytes = static_cast<uint64_t>(usage.ru_maxrss) * 1024;

    lseek(output, 0, SEEK_SET);
    char buffer[4096];
    ssize_t got;
    while ((got = read(output, buffer, sizeof buffer)) > 0)
        measure.output.append(buffer, static_cast<size_t>(got));
    close(output);
    return measure;
}

int RunShell(const std::string& command)
{
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
