/* Runs a command many times and prints the medians of its wall time, CPU time (user and
 * system) and peak resident memory: the cost of the whole command as a user or a script
 * that calls it pays it. Plain C and small, so that its own footprint stays out of the
 * child's figures (a child's peak memory counts its parent's until it execs).
 *   command_runs LABEL RUNS PROGRAM [ARGUMENT...]
 * PROGRAM is looked up along PATH; its output goes to /dev/null; every run must exit 0. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

extern char** environ;

static int ascending(const void* a, const void* b) {
    double x = *(const double*)a, y = *(const double*)b;
    return (x > y) - (x < y);
}

static double median(double* values, int count) {
    qsort(values, (size_t)count, sizeof *values, ascending);
    return count % 2 ? values[count / 2] : (values[count / 2 - 1] + values[count / 2]) / 2;
}

static double milliseconds(struct timeval t) {
    return t.tv_sec * 1e3 + t.tv_usec / 1e3;
}

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: command_runs LABEL RUNS PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    int runs = atoi(argv[2]);
    if (runs < 1 || runs > 10000) {
        fprintf(stderr, "command_runs: RUNS must be 1 to 10000\n");
        return 2;
    }
    double* wall = calloc((size_t)runs, sizeof *wall);
    double* cpu = calloc((size_t)runs, sizeof *cpu);
    double* peak = calloc((size_t)runs, sizeof *peak);
    if (!wall || !cpu || !peak) return 1;
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    for (int i = 0; i < runs; ++i) {
        struct timespec start, end;
        clock_gettime(CLOCK_MONOTONIC, &start);
        pid_t child;
        if (posix_spawnp(&child, argv[3], &quiet, NULL, argv + 3, environ) != 0) {
            perror(argv[3]);
            return 1;
        }
        int status = 0;
        struct rusage usage;
        if (wait4(child, &status, 0, &usage) != child) {
            perror("wait4");
            return 1;
        }
        clock_gettime(CLOCK_MONOTONIC, &end);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            fprintf(stderr, "command_runs: %s: run %d did not exit with status 0\n", argv[1],
                    i + 1);
            return 1;
        }
        wall[i] = (end.tv_sec - start.tv_sec) * 1e3 + (end.tv_nsec - start.tv_nsec) / 1e6;
        cpu[i] = milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime);
        peak[i] = usage.ru_maxrss / 1024.0;
    }
    printf("%-34s %9.2f ms %9.2f ms %9.1f MiB\n", argv[1], median(wall, runs), median(cpu, runs),
           median(peak, runs));
    return 0;
}
