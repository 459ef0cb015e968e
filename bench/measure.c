/* Times whole processes, interleaved (A B C A B C ...) after a warm-up, standard input and output
 * on /dev/null, and prints each command's median wall time and median peak resident memory.
 * Usage: measure RUNS [-jCOPIES] [NAME=VALUE...] COMMAND... [-- ...]...  A command's leading
 * NAME=VALUE words are added to its environment. With -jCOPIES, a run starts that many copies of
 * the command at once and lasts until the last has ended; its memory is the largest copy's. A
 * small process of its own, so that the children's peak memory is theirs, not a large parent's. */
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

extern char** environ;

static int Compare(const void* a, const void* b)
{
    const double x = *(const double*)a, y = *(const double*)b;
    return (x > y) - (x < y);
}

static double Median(double* values, int n)
{
    qsort(values, (size_t)n, sizeof *values, Compare);
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Command {
    char** argv;
    char* env[256];
};

/* The command's own NAME=VALUE words, then the rest of this process's environment. */
static void Prepare(struct Command* command, char** words)
{
    int n = 0;
    for (; *words != NULL && strchr(*words, '=') != NULL && n < 128; ++words) {
        command->env[n++] = *words;
    }
    command->argv = words;
    for (char** e = environ; *e != NULL && n < 255; ++e) {
        int overridden = 0;
        for (int i = 0; command->env[i] != NULL && i < n; ++i) {
            const size_t name = (size_t)(strchr(command->env[i], '=') - command->env[i]) + 1;
            overridden |= strncmp(*e, command->env[i], name) == 0;
        }
        if (!overridden) {
            command->env[n++] = *e;
        }
    }
    command->env[n] = NULL;
}

static int copies = 1;

static void RunOnce(const struct Command* command, double* micros, double* kilobytes)
{
    char** argv = command->argv;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    struct timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (int i = 0; i < copies; ++i) {
        pid_t pid;
        if (posix_spawnp(&pid, argv[0], &actions, NULL, argv, (char**)command->env) != 0) {
            perror(argv[0]);
            exit(1);
        }
    }
    *kilobytes = 0;
    int status;
    struct rusage usage;
    for (int i = 0; i < copies; ++i) {
        wait4(-1, &status, 0, &usage);
        *kilobytes = (double)usage.ru_maxrss > *kilobytes ? (double)usage.ru_maxrss : *kilobytes;
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    posix_spawn_file_actions_destroy(&actions);
    *micros = (double)(end.tv_sec - start.tv_sec) * 1e6 + (double)(end.tv_nsec - start.tv_nsec) / 1e3;
}

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: measure RUNS [-jCOPIES] COMMAND... [-- COMMAND...]...\n");
        return 2;
    }
    const int runs = atoi(argv[1]);
    int first = 2;
    if (strncmp(argv[first], "-j", 2) == 0) {
        copies = atoi(argv[first++] + 2);
    }
    static struct Command commands[16];
    char** starts[16];
    int count = 0;
    starts[count++] = &argv[first];
    for (int i = first; i < argc && count < 16; ++i) {
        if (strcmp(argv[i], "--") == 0) {
            argv[i] = NULL;
            starts[count++] = &argv[i + 1];
        }
    }
    for (int c = 0; c < count; ++c) {
        Prepare(&commands[c], starts[c]);
    }
    double* times = calloc((size_t)(count * runs), sizeof(double));
    double* memory = calloc((size_t)(count * runs), sizeof(double));
    double ignored_time, ignored_memory;
    for (int w = 0; w < runs / 10 + 3; ++w) {
        for (int c = 0; c < count; ++c) {
            RunOnce(&commands[c], &ignored_time, &ignored_memory);
        }
    }
    for (int r = 0; r < runs; ++r) {
        for (int c = 0; c < count; ++c) {
            RunOnce(&commands[c], &times[c * runs + r], &memory[c * runs + r]);
        }
    }
    for (int c = 0; c < count; ++c) {
        printf("%.1f %.0f\n", Median(&times[c * runs], runs), Median(&memory[c * runs], runs));
    }
    return 0;
}
