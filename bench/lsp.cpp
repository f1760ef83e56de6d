// The language server's answer times, through its pipes as an editor sees them:
//   - completion and hover on Stackmoor's source (game/play.bas inside its program),
//   - a 5,000-line program re-checked after an edit: from the didChange sent to the
//     diagnostics received.
//
//   build/bench/bench_lsp [rounds]
//
// The goals: a completion or hover within 20 ms, a re-check within 100 ms.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "compiler/lsp_client.h"

using json = nlohmann::json;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

// Processor time the process has used (user and system), in milliseconds: on a busy
// machine the answer times above include waiting for a processor, this does not.
double CpuMs(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string f;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> f; ++i)
        if (i == 14 || i == 15) ticks += std::stod(f);
    return ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

void Report(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    auto at = [&](double q) { return ms[std::min(ms.size() - 1, static_cast<size_t>(q * ms.size()))]; };
    std::printf("%-34s n=%4zu  median %7.2f ms  p95 %7.2f ms  max %7.2f ms\n", what, ms.size(), at(0.5), at(0.95),
                ms.back());
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A program of about 5,000 lines: SUBs with loops, branches and calls, and a main
// program that calls every one of them.
std::string BigProgram(int subs) {
    std::string p = "GLOBAL total\nDIM table(100)\nFOR i = 0 TO 99 : table(i) = i : NEXT\n";
    for (int n = 0; n < subs; ++n) p += "total = total + Work" + std::to_string(n) + "(" + std::to_string(n) + ", \"s\")\n";
    for (int n = 0; n < subs; ++n) {
        const std::string k = std::to_string(n);
        p += "SUB Work" + k + "(a, b$)\n  LOCAL sum = 0\n  FOR k = 0 TO a\n    sum = sum + table(MOD(k, 100)) * " + k +
             "\n    IF sum > 1000 THEN\n      sum = sum - 1000\n    ELSEIF sum < 0 THEN\n      sum = 0\n    ENDIF\n"
             "  NEXT\n  SELECT CASE MOD(sum, 3)\n  CASE 0 : total = total + 1\n  CASE 1 : b$ = b$ + \"x\"\n"
             "  CASE ELSE : PRINT b$, 0, 0\n  END SELECT\n  RETURN sum + LEN(b$)\nEND SUB\n";
    }
    return p;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    LspClient lsp;
    lsp.Initialize();

    // Stackmoor: the main file and play.bas open, play.bas checked within its program.
    const std::string game = TOLVANE_SOURCE_DIR "/game/";
    lsp.Open("file://" + game + "stackmoor.bas", ReadFile(game + "stackmoor.bas"));
    const std::string play = "file://" + game + "play.bas";
    const std::string playText = ReadFile(game + "play.bas");
    lsp.Open(play, playText);
    if (lsp.DiagnosticsFor(play) != json::array()) std::printf("warning: play.bas has problems\n");
    // Places at the start and in the middle of names, all over the file.
    std::vector<std::pair<int, int>> places;
    int line = 0;
    for (size_t i = 0, col = 0; i < playText.size(); ++i, ++col) {
        if (playText[i] == '\n') {
            ++line;
            col = static_cast<size_t>(-1);
            continue;
        }
        const bool letter = std::isalpha(static_cast<unsigned char>(playText[i]));
        const bool after = i > 0 && std::isalnum(static_cast<unsigned char>(playText[i - 1]));
        if (letter && !after) places.emplace_back(line, static_cast<int>(col + 2));
    }
    for (const char* method : {"textDocument/completion", "textDocument/hover"}) {
        std::vector<double> ms;
        for (int r = 0; r < rounds; ++r) {
            const auto [l, c] = places[(static_cast<size_t>(r) * 7919) % places.size()];
            const auto t0 = Clock::now();
            json answer = lsp.At(method, play, l, c);
            ms.push_back(Ms(t0, Clock::now()));
            if (answer.contains("error") || answer.contains("timeout")) std::printf("error: %s\n", answer.dump().c_str());
        }
        Report((std::string(method + 13) + " on Stackmoor").c_str(), ms);
    }

    // The big program: an edit that makes a mistake, then one that mends it.
    const std::string big = BigProgram(280);
    const int lines = static_cast<int>(std::count(big.begin(), big.end(), '\n'));
    const std::string uri = "file:///tmp/bench-lsp-big.bas";
    auto t0 = Clock::now();
    lsp.Open(uri, big);
    lsp.DiagnosticsFor(uri);
    std::printf("first check of %d lines: %.2f ms\n", lines, Ms(t0, Clock::now()));
    // Line of "sum = sum + table(...) * 130" in SUB Work130.
    const std::string needle = "table(MOD(k, 100)) * 130\n";
    const size_t at = big.find(needle);
    const int editLine = static_cast<int>(std::count(big.begin(), big.begin() + static_cast<long>(at), '\n'));
    const int editCol = static_cast<int>(at - big.rfind('\n', at) - 1 + needle.size() - 1);
    std::vector<double> ms;
    const int edits = std::max(20, rounds / 4);
    const double cpu0 = CpuMs(lsp.Pid());
    for (int r = 0; r < edits; ++r) {
        const bool mistake = r % 2 == 0;
        const json start = {{"line", editLine}, {"character", editCol}};
        const json end = {{"line", editLine}, {"character", mistake ? editCol : editCol + 9}};
        t0 = Clock::now();
        lsp.Notify("textDocument/didChange",
                   {{"textDocument", {{"uri", uri}, {"version", r + 2}}},
                    {"contentChanges", {{{"range", {{"start", start}, {"end", end}}}, {"text", mistake ? " + nosuch" : ""}}}}});
        json d = lsp.DiagnosticsFor(uri);
        ms.push_back(Ms(t0, Clock::now()));
        if (d.size() != (mistake ? 1u : 0u)) std::printf("unexpected diagnostics: %s\n", d.dump().c_str());
    }
    Report(("re-check of " + std::to_string(lines) + " lines after an edit").c_str(), ms);
    std::printf("server processor time per re-check: %.1f ms\n", (CpuMs(lsp.Pid()) - cpu0) / edits);
    lsp.Request("shutdown", nullptr);
    lsp.Notify("exit", nullptr);
    return lsp.Wait() == 0 ? 0 : 1;
}
