#include "help/viewer_program.h"

#include "help/temp_directory.h"
#include "resources/embedded_resource.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace quorvane {

namespace {

constexpr std::size_t kKeptErrorOutput = 2000;

// Owns a file descriptor.
class TFd {
public:
    explicit TFd(int AFd = -1) : FFd(AFd) {}
    ~TFd() { Close(); }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return FFd; }
    void Close() {
        if (FFd >= 0) close(FFd);
        FFd = -1;
    }

private:
    int FFd;
};

// Owns the spawn file actions.
class TSpawnActions {
public:
    TSpawnActions() { posix_spawn_file_actions_init(&FActions); }
    ~TSpawnActions() { posix_spawn_file_actions_destroy(&FActions); }
    TSpawnActions(const TSpawnActions&) = delete;
    TSpawnActions& operator=(const TSpawnActions&) = delete;
    posix_spawn_file_actions_t* Get() { return &FActions; }

private:
    posix_spawn_file_actions_t FActions;
};

std::string SystemError(const std::string& AText, int AError) {
    return AText + ": " + std::strerror(AError);
}

void WriteProgram(const std::string& APath, const EmbeddedResource& AProgram) {
    TFd fd(open(APath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700));
    if (fd.Get() < 0) throw std::runtime_error(SystemError("Cannot write " + APath, errno));
    std::size_t done = 0;
    while (done < AProgram.size) {
        const ssize_t n = write(fd.Get(), AProgram.data + done, AProgram.size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error(SystemError("Cannot write " + APath, errno));
        done += static_cast<std::size_t>(n);
    }
}

std::string Trimmed(std::string AText) {
    const auto first = AText.find_first_not_of(" \t\r\n");
    const auto last = AText.find_last_not_of(" \t\r\n");
    return first == std::string::npos ? std::string() : AText.substr(first, last - first + 1);
}

// Waits for the child, collecting the end of its error output. The child's own children
// (WebKit's helper processes) may keep the pipe open, so the exit, not the pipe's end, decides.
int WaitForExit(pid_t AChild, int AErrorPipe, std::string& AErrorOutput) {
    bool pipeOpen = true;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(AChild, &status, pipeOpen ? WNOHANG : 0);
        if (done == AChild) {
            char buffer[4096];
            ssize_t n;
            fcntl(AErrorPipe, F_SETFL, O_NONBLOCK);
            while (pipeOpen && (n = read(AErrorPipe, buffer, sizeof buffer)) > 0)
                AErrorOutput.append(buffer, static_cast<std::size_t>(n));
            return status;
        }
        if (done < 0 && errno != EINTR) return 0;  // reaped elsewhere (SIGCHLD ignored): no status
        if (!pipeOpen) continue;
        pollfd p{AErrorPipe, POLLIN, 0};
        if (poll(&p, 1, 200) > 0) {
            char buffer[4096];
            const ssize_t n = read(AErrorPipe, buffer, sizeof buffer);
            if (n > 0) AErrorOutput.append(buffer, static_cast<std::size_t>(n));
            else if (n == 0) pipeOpen = false;
        }
        if (AErrorOutput.size() > 2 * kKeptErrorOutput)
            AErrorOutput.erase(0, AErrorOutput.size() - kKeptErrorOutput);
    }
}

}  // namespace

void CheckDisplayAvailable() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((x11 == nullptr || *x11 == '\0') && (wayland == nullptr || *wayland == '\0'))
        throw std::runtime_error(
            "Нет графического экрана (не заданы DISPLAY и WAYLAND_DISPLAY): окно не может быть "
            "показано");
}

void RunViewerProgram(const std::vector<std::string>& AArguments) {
    CheckDisplayAvailable();
    const EmbeddedResource* program = FindEmbeddedResource("viewer");
    if (program == nullptr || program->size == 0)
        throw std::runtime_error("Программа просмотра отсутствует в компоненте");

    TTempDirectory folder;
    const std::string path = folder.Path() + "quorvane-viewer";
    WriteProgram(path, *program);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error(SystemError("pipe", errno));
    TFd readEnd(fds[0]);
    TFd writeEnd(fds[1]);
    TSpawnActions actions;
    posix_spawn_file_actions_addopen(actions.Get(), STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(actions.Get(), writeEnd.Get(), STDERR_FILENO);
    // The host's own descriptors (ports, sockets, pipes) stay with the host.
    posix_spawn_file_actions_addclosefrom_np(actions.Get(), STDERR_FILENO + 1);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& argument : AArguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    pid_t child = 0;
    const int spawned = posix_spawn(&child, path.c_str(), actions.Get(), nullptr, argv.data(), environ);
    writeEnd.Close();
    if (spawned != 0)
        throw std::runtime_error(SystemError("Не удалось запустить программу просмотра " + path, spawned));

    std::string errors;
    const int status = WaitForExit(child, readEnd.Get(), errors);
    if (errors.size() > kKeptErrorOutput) errors.erase(0, errors.size() - kKeptErrorOutput);
    errors = Trimmed(errors);
    const std::string detail = errors.empty() ? std::string() : ": " + errors;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127)  // the loader could not start it
        throw std::runtime_error("Не удалось запустить программу просмотра" + detail);
    if (WIFSIGNALED(status))
        throw std::runtime_error("Программа просмотра прервана сигналом " +
                                 std::to_string(WTERMSIG(status)) + detail);
    throw std::runtime_error("Программа просмотра завершилась с кодом " +
                             std::to_string(WEXITSTATUS(status)) + detail);
}

}  // namespace quorvane
