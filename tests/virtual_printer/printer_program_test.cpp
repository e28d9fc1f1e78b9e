// quorvane-printer as a program: port on the first line, --jobs, SIGTERM, --idle-exit, --help.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/virtual_printer/printer_test_support.h"

namespace quorvane::test {
namespace {

namespace fs = std::filesystem;

struct Child {
    pid_t pid = -1;
    TFileDescriptor out;
};

Child Spawn(const std::vector<std::string>& args) {
    std::string exe = QUORVANE_PRINTER_EXE;
    int fds[2];
    EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    Child c;
    c.pid = ::fork();
    if (c.pid == 0) {
        ::dup2(fds[1], 1);
        std::vector<char*> argv{exe.data()};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(exe.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    c.out.Reset(fds[0]);
    return c;
}

int WaitExit(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int ReadPort(int fd) {
    std::string line;
    char ch;
    while (::read(fd, &ch, 1) == 1 && ch != '\n') line += ch;
    return std::atoi(line.c_str());
}

TEST(PrinterProgram, ServesJobsAndStopsCleanly) {
    fs::path dir = TempDir("prog");
    Child jobs =
        Spawn({"--listen", "127.0.0.1:0", "--jobs", "1", "--out", (dir / "out").string(), "--copies"});
    int port = ReadPort(jobs.out.Get());
    ASSERT_GT(port, 0);
    {
        TFileDescriptor c = Connect(port);
        Send(c.Get(), "SIZE 20 mm,10 mm\r\nCLS\r\nPRINT 1,2\r\n");
    }
    EXPECT_EQ(WaitExit(jobs.pid), 0);
    EXPECT_TRUE(fs::exists(dir / "out" / "label-0002.png"));
    EXPECT_TRUE(fs::exists(dir / "out" / "job-0001.bin"));

    Child term = Spawn({"--listen", "127.0.0.1:0"});
    ASSERT_GT(ReadPort(term.out.Get()), 0);
    ::kill(term.pid, SIGTERM);
    EXPECT_EQ(WaitExit(term.pid), 0);

    Child idle = Spawn({"--listen", "127.0.0.1:0", "--idle-exit", "0.2"});
    EXPECT_EQ(WaitExit(idle.pid), 0);

    Child help = Spawn({"--help"});
    std::string text = Receive(help.out.Get(), 1 << 16);
    EXPECT_EQ(WaitExit(help.pid), 0);
    for (const char* option : {"--listen", "--pty", "--journal", "--status", "--status-script", "--mechanics",
                               "--baud", "--ribbon", "--out", "--dpi", "--copies", "--jobs", "--idle-exit"})
        EXPECT_NE(text.find(option), std::string::npos) << option;
    Child version = Spawn({"--version"});
    text = Receive(version.out.Get(), 1 << 16);
    EXPECT_EQ(WaitExit(version.pid), 0);
    EXPECT_TRUE(text.rfind("quorvane-printer ", 0) == 0 && text.find('.') != std::string::npos) << text;

    // Every usage error exits 2; a port beyond 65535 is refused, not wrapped.
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--dpi", "250"},
                                               {"--listen", "127.0.0.1:70000"},
                                               {"--listen", "127.0.0.1:-1"},
                                               {"--jobs", "2x"},
                                               {"--idle-exit", "soon"},
                                               {"--status", "zz"},
                                               {"--baud", "9600"},  // no pseudo-terminal to pace
                                               {"--bogus"}}) {
        Child bad = Spawn(args);
        EXPECT_EQ(WaitExit(bad.pid), 2) << args[0] << " " << args.back();
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace quorvane::test
