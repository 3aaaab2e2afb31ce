// A private X server for the editor's window test, which opens windows as a host does: Xvfb on
// a display number it picks itself (-displayfd), stopped when the object goes. An empty name
// means it did not start.
#pragma once

#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace guitest {

class Xvfb {
public:
    static bool installed() { return std::system("command -v Xvfb >/dev/null") == 0; }
    explicit Xvfb(const char* screen = "640x480x24") {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid = fork();
        if (pid == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            // -noreset: the server stays as it is when its last client leaves, instead of
            // resetting (and refusing connections meanwhile) between two tests.
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten",
                   "tcp", "-noreset", (char*)nullptr);
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        char c;
        while (read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (!number.empty()) name = ":" + number;
    }
    Xvfb(const Xvfb&) = delete;
    ~Xvfb() {
        if (pid > 0 && kill(pid, SIGTERM) == 0) waitpid(pid, nullptr, 0);
    }
    pid_t pid = -1;
    std::string name;
};

} // namespace guitest
