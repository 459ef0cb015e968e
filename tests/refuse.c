// Runs a command under a seccomp filter that refuses some system calls with EPERM, as containers'
// default profiles refuse unshare(2) and a security module's rules can refuse kill(2) or prctl(2).
// Usage: refuse CALL[,CALL...] COMMAND [ARGUMENT...]   (CALL: unshare, kill or prctl)
#include <errno.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    const struct {
        const char* name;
        unsigned number;
    } known[] = {{"unshare", __NR_unshare}, {"kill", __NR_kill}, {"prctl", __NR_prctl}};
    struct sock_filter filter[8] = {BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr))};
    unsigned short length = 1;
    for (char* call = argc > 2 ? strtok(argv[1], ",") : NULL; call != NULL; call = strtok(NULL, ",")) {
        size_t i = 0;
        while (i < sizeof known / sizeof known[0] && strcmp(call, known[i].name) != 0) {
            ++i;
        }
        if (i == sizeof known / sizeof known[0] || length > 4) {
            argc = 0;
            break;
        }
        filter[length++] = (struct sock_filter)BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, known[i].number, 0, 1);
        filter[length++] = (struct sock_filter)BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM);
    }
    filter[length++] = (struct sock_filter)BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
    struct sock_fprog program = {length, filter};
    if (argc < 3 || length < 4) {
        fprintf(stderr, "usage: refuse unshare|kill|prctl[,...] COMMAND [ARGUMENT...]\n");
        return 2;
    }
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
        perror("refuse: seccomp");
        return 2;
    }
    execvp(argv[2], argv + 2);
    perror(argv[2]);
    return 127;
}
