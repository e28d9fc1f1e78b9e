// quorvane-viewer: the component's windows, run by the component and awaited.
//   quorvane-viewer log DIR             the log viewer for the log folder DIR
//   quorvane-viewer help PAGE CAPTION   the help viewer showing the HTML file PAGE
// Exit status 0 when the window was shown and closed; errors go to stderr.
#include "tools/viewer/help_window.h"
#include "tools/viewer/log_window.h"

#include <dirent.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The host's descriptors (ports, sockets, pipes) stay with the host. Closed here rather than by
// the spawn: glibc before 2.34 has no spawn action for it.
void CloseInheritedDescriptors() {
    DIR* folder = opendir("/proc/self/fd");
    if (folder == nullptr) return;
    std::vector<int> inherited;
    while (const dirent* entry = readdir(folder)) {
        const int fd = std::atoi(entry->d_name);
        if (fd > STDERR_FILENO && fd != dirfd(folder)) inherited.push_back(fd);
    }
    closedir(folder);
    for (const int fd : inherited) close(fd);
}

}  // namespace

int main(int argc, char** argv) {
    // Started by the component: the window goes with the process that waits for it.
    if (const char* parent = std::getenv("QUORVANE_VIEWER_PARENT"); parent != nullptr) {
        CloseInheritedDescriptors();
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != static_cast<pid_t>(std::atol(parent))) return 1;  // gone before this line
        unsetenv("QUORVANE_VIEWER_PARENT");
    }
    // Taken before GTK sees the arguments, as it may remove some of them.
    const std::vector<std::string> args(argv, argv + argc);
    const bool logMode = args.size() == 3 && args[1] == "log";
    const bool helpMode = args.size() == 4 && args[1] == "help";
    if (!logMode && !helpMode) {
        std::fprintf(stderr, "usage: quorvane-viewer log DIR | help PAGE CAPTION\n");
        return 64;
    }
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "quorvane-viewer: cannot open the display\n");
        return 2;
    }
    if (logMode) {
        quorvane::TLogWindow window(args[2]);
        window.Show();
        gtk_main();
    } else {
        quorvane::TDocViewWindow window(args[2], args[3]);
        window.Show();
        gtk_main();
    }
    return 0;
}
