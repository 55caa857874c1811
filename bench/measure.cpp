// Runs one command with its output discarded and prints what the kernel
// accounted to it: "CPU_SECONDS PEAK_RSS_KIB EXIT_STATUS". A small launcher,
// so that the child's peak RSS before exec is its own few hundred KiB rather
// than a script interpreter's.
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: measure COMMAND [ARG...]\n");
        return 2;
    }
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    if (pid < 0 || wait4(pid, &status, 0, &usage) < 0)
        return 2;
    double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::printf("%.6f %ld %d\n", cpu, usage.ru_maxrss,
                WIFEXITED(status) ? WEXITSTATUS(status) : 128);
    return 0;
}
