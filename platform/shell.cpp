// Opening files and addresses with the desktop's opener.
#include <cerrno>
#include <fcntl.h>
#include <strings.h>
#include <cstring>
#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/windows.h"

namespace {
// Runs `xdg-open target` detached: a child forks the opener and leaves at once, so no zombie
// stays behind and the caller does not wait. No shell is involved, so no character of the
// target is interpreted.
bool Spawn(const std::string& target) {
    int pipefd[2];
    if (pipe2(pipefd, O_CLOEXEC) != 0) return false;
    pid_t child = fork();
    if (child < 0) {
        close(pipefd[0]);
        close(pipefd[1]);
        return false;
    }
    if (child == 0) {
        close(pipefd[0]);
        pid_t grandchild = fork();
        if (grandchild == 0) {
            char* const argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(target.c_str()), nullptr};
            execvp("xdg-open", argv);
            // Tell the caller the opener could not be started.
            char code = 1;
            ssize_t ignored = write(pipefd[1], &code, 1);
            (void)ignored;
            _exit(127);
        }
        _exit(grandchild < 0 ? 1 : 0);
    }
    close(pipefd[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    char code = 0;
    ssize_t n;
    while ((n = read(pipefd[0], &code, 1)) < 0 && errno == EINTR) {
    }
    close(pipefd[0]);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && n == 0;
}
}  // namespace

std::intptr_t ShellExecute(HWND, const char* operation, const char* file, const char*, const char*, int) {
    if (!file || !*file) return 2;  // ERROR_FILE_NOT_FOUND
    if (operation && *operation && strcasecmp(operation, "open") != 0) return 31;  // SE_ERR_NOASSOC
    return Spawn(file) ? 42 : 2;
}
