// What the tests share: a private temporary folder that goes away with its owner,
// whole files read and written at once, programs on the runtime run as child
// processes, and the runtime started once per test process.
#pragma once

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gfx2d/prism.h"
#include "tolvane.h"

inline std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes the bytes and gives the path back.
inline std::string WriteText(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
}
// Four bytes, little-endian.
inline std::string U32(uint32_t x) { return {char(x), char(x >> 8), char(x >> 16), char(x >> 24)}; }

struct TempDir {
    std::filesystem::path path;
    TempDir() {
        std::string t = (std::filesystem::temp_directory_path() / "tolvane-test-XXXXXX").string();
        path = mkdtemp(t.data());
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

struct ChildResult {
    int status = -1;  // exit status, or -1 when it did not exit normally
    std::string out, err;
    std::string log;  // the error log it wrote (empty when none)
    // The exit status and the output, to compare in one go.
    std::string Outcome() const { return std::to_string(status) + " " + out; }
};

// Runs the program with the arguments (words for the shell) and extra "NAME=value"
// environment entries, in a fresh temporary folder given as TMPDIR so its error log
// can be read. A non-empty priorLog is placed there as the log of an earlier run.
inline ChildResult RunProgram(const std::string& program, const std::string& args,
                              const std::vector<std::string>& env = {}, const std::string& priorLog = "") {
    TempDir dir;
    if (!priorLog.empty()) WriteText(dir / "ErrorLog.txt", priorLog);
    std::string cmd = "exec env 'TMPDIR=" + dir.path.string() + "'";
    for (const std::string& e : env) cmd += " '" + e + "'";
    cmd += " '" + program + "' " + args + " >" + (dir / "out") + " 2>" + (dir / "err");
    const int st = std::system(cmd.c_str());
    return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, ReadText(dir / "out"), ReadText(dir / "err"),
            ReadText(dir / "ErrorLog.txt")};
}

// The folder of the test binaries; the build's programs are one above it.
inline std::filesystem::path TestBinDir() { return std::filesystem::read_symlink("/proc/self/exe").parent_path(); }

// The scenario program (support/scenario_prog.cpp), built beside the test binary.
inline ChildResult RunScenario(const std::string& scenario, const std::vector<std::string>& env = {},
                               const std::string& priorLog = "") {
    return RunProgram((TestBinDir() / "scenario_prog").string(), scenario, env, priorLog);
}

// Starts the runtime (window, GL context, service objects) once per test process.
inline void StartRuntimeOnce() {
    if (!pPrsm) {
        ASSERT_TRUE(__GlobalInit("Tolvane tests"));
    }
}

// A UDP port on 127.0.0.1 that nothing uses at the moment.
inline int FreeUdpPort() {
    // A session's host takes the TCP port of the same number too (for browsers): a port
    // free for both.
    for (;;) {
        const int s = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
        close(s);
        const int t = socket(AF_INET, SOCK_STREAM, 0);
        a.sin_addr.s_addr = htonl(INADDR_ANY);
        const bool tcpFree = bind(t, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        close(t);
        if (tcpFree) return ntohs(a.sin_port);
    }
}
