// A private X server for tests that open windows as a host does: Xvfb on a display number it
// picks itself (-displayfd), stopped when the object goes.
#pragma once

#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace guitest {

// The Xvfb program on the PATH, or "" when it is not installed.
inline std::string findXvfb() {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        std::string dir =
            dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::string candidate = (dir.empty() ? "." : dir) + "/Xvfb";
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return "";
}

class Xvfb {
public:
    // An empty name after construction means the server did not start.
    explicit Xvfb(const std::string& binary, const char* screen = "640x480x24") {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid = fork();
        if (pid == 0) {
            close(fds[0]);
            std::string fd = std::to_string(fds[1]);
            // -noreset: the server stays as it is when its last client leaves, instead of
            // resetting (and refusing connections meanwhile) between two tests.
            execl(binary.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen,
                  "-nolisten", "tcp", "-noreset", (char*)nullptr);
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
    Xvfb& operator=(const Xvfb&) = delete;
    ~Xvfb() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            int status;
            waitpid(pid, &status, 0);
        }
    }
    pid_t pid = -1;
    std::string name;
};

} // namespace guitest
