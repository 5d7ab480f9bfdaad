#include "BenchRun.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

struct MemorySample {
    uint64_t anonymous = 0; // resident anonymous memory now
    uint64_t highWater = 0; // the kernel's high-water mark of the resident set of this image
};

// A running process's memory, from /proc (zeros when it is gone).
static MemorySample SampleMemory(pid_t pid)
{
    MemorySample sample;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, 8, "RssAnon:") == 0)
            sample.anonymous = std::strtoull(line.c_str() + 8, nullptr, 10) * 1024;
        else if (line.compare(0, 6, "VmHWM:") == 0)
            sample.highWater = std::strtoull(line.c_str() + 6, nullptr, 10) * 1024;
    return sample;
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

    // posix_spawn rather than fork: the parent waits until the program is running, so no sample
    // ever sees a copy of this process (whose memory holds whole payload files at times), and
    // a program that cannot be started is an error here rather than a silent exit status.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output, 1);
    posix_spawn_file_actions_adddup2(&actions, output, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        close(output);
        measure.output = "cannot run " + argv.at(0) + ": " + std::strerror(spawned) + "\n";
        return measure;
    }
    int status = 0;
    struct rusage usage;
    std::memset(&usage, 0, sizeof usage);
    for (;;) {
        pid_t ended = wait4(pid, &status, WNOHANG, &usage);
        if (ended == pid || ended < 0)
            break;
        // The high-water mark is read from the running image, not from the rusage at its end,
        // which also counts the memory of the process it was started from.
        MemorySample sample = SampleMemory(pid);
        measure.peakPrivateBytes = std::max(measure.peakPrivateBytes, sample.anonymous);
        measure.peakRssBytes = std::max(measure.peakRssBytes, sample.highWater);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    measure.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    measure.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    measure.userSeconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6;
    measure.systemSeconds = usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
    measure.minorFaults = static_cast<uint64_t>(usage.ru_minflt);

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
