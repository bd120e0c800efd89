// bench_scanner_spawn RESULT OUTPUT COMMAND [ARGUMENTS...]
// Runs COMMAND with its output to the file OUTPUT and writes "wall-ms peak-kB minor-faults
// exit-status" to RESULT. The kernel's peak of a process includes that of the process it was
// forked from, so the benchmark measures through this small one rather than from itself.

#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_scanner_spawn RESULT OUTPUT COMMAND [ARGUMENTS...]\n");
        return 2;
    }
    timespec start {};
    clock_gettime(CLOCK_MONOTONIC, &start);
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (out < 0 || null < 0 || dup2(out, 1) < 0 || dup2(null, 2) < 0)
            _exit(126);
        execvp(argv[3], argv + 3);
        _exit(127);
    }
    int status = 0;
    rusage usage {};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid)
        return 1;
    timespec end {};
    clock_gettime(CLOCK_MONOTONIC, &end);
    FILE* result = std::fopen(argv[1], "w");
    if (!result)
        return 1;
    std::fprintf(result, "%.3f %ld %ld %d\n", (end.tv_sec - start.tv_sec) * 1e3 + (end.tv_nsec - start.tv_nsec) / 1e6,
                 usage.ru_maxrss, usage.ru_minflt, WIFEXITED(status) ? WEXITSTATUS(status) : 128);
    return std::fclose(result) == 0 ? 0 : 1;
}
