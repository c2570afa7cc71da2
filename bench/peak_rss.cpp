// Runs a program and prints its peak resident memory in KiB, as the kernel
// counted it for the child (getrusage's ru_maxrss), to standard error:
//
//   bench_peak_rss PROGRAM [ARGUMENTS...]
//
// The program's own output passes through; the exit status is the child's.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_peak_rss PROGRAM [ARGUMENTS...]\n");
        return 2;
    }
    const pid_t child = fork();
    if (child < 0) {
        std::perror("bench_peak_rss: fork");
        return 2;
    }
    if (child == 0) {
        execvp(argv[1], argv + 1);
        std::perror("bench_peak_rss: exec");
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) {
        std::perror("bench_peak_rss: wait");
        return 2;
    }
    std::fprintf(stderr, "peak resident memory %ld KiB\n", usage.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
