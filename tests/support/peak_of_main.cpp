// peak_of PROGRAM [ARG…]: runs the program as its child, its output
// discarded, and prints how it ended and the most memory it held
// ("exit 0 peak 25104" in KB, or "signal 9 peak …"). A child's peak as the kernel counts it includes what
// its parent held when it was forked, so the parent is this small program,
// not the test that asks.
#include <cstdio>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    const pid_t pid = fork();
    if (pid < 0)
        return 2;
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execv(argv[1], argv + 1);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return 2;
    if (WIFEXITED(status))
        std::printf("exit %d peak %ld\n", WEXITSTATUS(status), usage.ru_maxrss);
    else
        std::printf("signal %d peak %ld\n", WTERMSIG(status), usage.ru_maxrss);
    return 0;
}
