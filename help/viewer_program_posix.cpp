#include "help/viewer_program.h"

#include "errors/messages.h"
#include "help/temp_directory.h"
#include "resources/embedded_resource.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
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

// How long a start waits for a written program that a forked child still holds: 2 s in all.
constexpr int kBusyTries = 200;
constexpr useconds_t kBusyWaitMicroseconds = 10'000;

std::string SystemError(const std::string& AText, int AError) { return AText + ": " + std::strerror(AError); }

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
            if (n > 0)
                AErrorOutput.append(buffer, static_cast<std::size_t>(n));
            else if (n == 0)
                pipeOpen = false;
        }
        if (AErrorOutput.size() > 2 * kKeptErrorOutput)
            AErrorOutput.erase(0, AErrorOutput.size() - kKeptErrorOutput);
    }
}

std::string Environment(const char* AName) {
    const char* value = std::getenv(AName);
    return value != nullptr ? value : "";
}

// Where the program may be written: the temporary folder, or, where that is mounted noexec, a
// private folder under $XDG_RUNTIME_DIR, then under the user's cache folder.
std::vector<std::string> ProgramFolders() {
    const std::string tmp = Environment("TMPDIR");
    std::vector<std::string> folders{tmp.empty() ? "/tmp" : tmp};
    if (const std::string runtime = Environment("XDG_RUNTIME_DIR"); !runtime.empty())
        folders.push_back(runtime + "/quorvane");
    const std::string cache = Environment("XDG_CACHE_HOME");
    if (!cache.empty())
        folders.push_back(cache + "/quorvane");
    else if (const std::string home = Environment("HOME"); !home.empty())
        folders.push_back(home + "/.cache/quorvane");
    return folders;
}

bool AllowsPrograms(const std::string& AFolder) {
    if (AFolder != ProgramFolders().front()) mkdir(AFolder.c_str(), 0700);  // our own folder, made on demand
    struct statvfs fs {};
    return statvfs(AFolder.c_str(), &fs) == 0 && (fs.f_flag & ST_NOEXEC) == 0;
}

}  // namespace

void CheckDisplayAvailable() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((x11 == nullptr || *x11 == '\0') && (wayland == nullptr || *wayland == '\0'))
        throw TMessageError(TMessage::NoDisplay);
}

void RunViewerProgram(const std::vector<std::string>& AArguments) {
    CheckDisplayAvailable();
    const EmbeddedResource* program = FindEmbeddedResource("viewer");
    if (program == nullptr || program->size == 0) throw TMessageError(TMessage::ViewerMissing);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error(SystemError("pipe", errno));
    TFd readEnd(fds[0]);
    TFd writeEnd(fds[1]);
    TSpawnActions actions;
    posix_spawn_file_actions_addopen(actions.Get(), STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(actions.Get(), writeEnd.Get(), STDERR_FILENO);
    // The viewer closes every other descriptor it inherits as it starts (tools/viewer/main.cpp).

    // The viewer ends itself when this process goes (no window without its host).
    std::vector<std::string> environment{"QUORVANE_VIEWER_PARENT=" + std::to_string(getpid())};
    for (char** variable = environ; *variable != nullptr; ++variable)
        if (std::strncmp(*variable, "QUORVANE_VIEWER_PARENT=", 23) != 0) environment.emplace_back(*variable);
    std::vector<char*> envp;
    for (std::string& variable : environment) envp.push_back(variable.data());
    envp.push_back(nullptr);

    pid_t child = 0;
    int spawned = EACCES;
    std::string tried;
    for (const std::string& base : ProgramFolders()) {
        tried += (tried.empty() ? "" : ", ") + base;
        if (!AllowsPrograms(base)) continue;
        // Gone as soon as the program runs: the running program needs no file, and nothing is
        // left behind even if this process is killed while the window is open.
        std::unique_ptr<TTempDirectory> folder;
        try {
            folder = std::make_unique<TTempDirectory>(base);
        } catch (const std::runtime_error&) {
            continue;
        }
        const std::string path = folder->Path() + "quorvane-viewer";
        WriteProgram(path, *program);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(path.c_str()));
        for (const std::string& argument : AArguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        // A process the host forked while the program was being written holds it open for
        // writing until it execs or exits, and exec fails with ETXTBSY meanwhile: wait it out.
        for (int tries = 0;; ++tries) {
            spawned = posix_spawn(&child, path.c_str(), actions.Get(), nullptr, argv.data(), envp.data());
            if (spawned != ETXTBSY || tries == kBusyTries) break;
            usleep(kBusyWaitMicroseconds);
        }
        if (spawned != EACCES && spawned != EPERM) break;  // a noexec mount statvfs did not tell
    }
    writeEnd.Close();
    if (spawned != 0)
        throw TMessageError::WithText(TMessage::ViewerStartFailedIn,
                                      SystemError(Message(TMessage::ViewerStartFailedIn, tried), spawned));

    std::string errors;
    const int status = WaitForExit(child, readEnd.Get(), errors);
    if (errors.size() > kKeptErrorOutput) errors.erase(0, errors.size() - kKeptErrorOutput);
    errors = Trimmed(errors);
    const std::string detail = errors.empty() ? std::string() : ": " + errors;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127)  // the loader could not start it
        throw TMessageError::WithText(TMessage::ViewerStartFailed,
                                      Message(TMessage::ViewerStartFailed) + detail);
    if (WIFSIGNALED(status))
        throw TMessageError::WithText(TMessage::ViewerKilled,
                                      Message(TMessage::ViewerKilled, WTERMSIG(status)) + detail);
    throw TMessageError::WithText(TMessage::ViewerExitCode,
                                  Message(TMessage::ViewerExitCode, WEXITSTATUS(status)) + detail);
}

}  // namespace quorvane
