// A real editor as the client: Debian's Neovim, headless, with its own LSP client,
// started the way the README tells users to (editors/nvim/tolvane-lsp.lua and the Vim
// files of editors/vim). It opens a program with mistakes; what it got from the server
// (diagnostics, a completion list, a hover) and the syntax groups it shows are written
// to a file and checked here.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/harness.h"

using json = nlohmann::json;

namespace {

const char* const kProgram = R"BAS(' a program with mistakes
SETTINGS TITLE "nvim"
LOADSPRITE lives, 1
x = lo
lives = 3
SUB Tick(n)
  RETURN n
END SUB
)BAS";

const char* const kScript = R"LUA(
local out = {}
vim.g.tolvane_lsp_cmd = { TOLVANEC, 'lsp' }
dofile(SOURCE .. '/editors/nvim/tolvane-lsp.lua')
vim.cmd('edit ' .. PROGRAM)
out.filetype = vim.bo.filetype
out.attached = vim.wait(60000, function() return #vim.lsp.buf_get_clients(0) > 0 end, 20)
out.diagnosed = vim.wait(60000, function() return #vim.diagnostic.get(0) > 0 end, 20)
out.diagnostics = {}
for _, d in ipairs(vim.diagnostic.get(0)) do
  table.insert(out.diagnostics, { lnum = d.lnum, col = d.col, message = d.message })
end
local function ask(method, row, col)
  vim.api.nvim_win_set_cursor(0, { row, col })
  local answers = vim.lsp.buf_request_sync(0, method, vim.lsp.util.make_position_params(), 60000)
  for _, a in pairs(answers or {}) do
    if a.result then return a.result end
  end
  return {}
end
out.completion = {}
local c = ask('textDocument/completion', 4, 6)
for _, item in ipairs(c.items or c) do table.insert(out.completion, item.label) end
local h = ask('textDocument/hover', 3, 2)
out.hover = (h.contents and h.contents.value) or ''
out.syntax = {}
for _, p in ipairs({ { 1, 1 }, { 2, 16 }, { 3, 1 }, { 5, 9 }, { 6, 1 }, { 6, 5 }, { 4, 1 } }) do
  table.insert(out.syntax, vim.fn.synIDattr(vim.fn.synID(p[1], p[2], 1), 'name'))
end
vim.fn.writefile({ vim.fn.json_encode(out) }, RESULT)
vim.cmd('qa!')
)LUA";

std::string LuaString(const std::string& s) { return "'" + s + "'"; }

TEST(NeovimClient, ShowsTheServersDiagnosticsCompletionHoverAndTheSyntax) {
    TempDir dir;
    const std::string program = WriteText(dir / "game.bas", kProgram), result = dir / "result.json";
    const std::string script = WriteText(dir / "test.lua", "local TOLVANEC = " + LuaString(TOLVANEC_PATH) +
                                                               "\nlocal SOURCE = " + LuaString(TOLVANE_SOURCE_DIR) +
                                                               "\nlocal PROGRAM = " + LuaString(program) +
                                                               "\nlocal RESULT = " + LuaString(result) + kScript);
    const std::string home = dir.path.string();
    const std::string cmd = "cd '" + home + "' && HOME='" + home + "' XDG_CONFIG_HOME='" + home + "/config' XDG_DATA_HOME='" +
                            home + "/data' XDG_STATE_HOME='" + home + "/state' XDG_CACHE_HOME='" + home +
                            "/cache' timeout 240 nvim --headless --clean --cmd 'set rtp^=" TOLVANE_SOURCE_DIR
                            "/editors/vim' -c 'luafile " + script + "' > '" + home + "/nvim.log' 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << ReadText(dir / "nvim.log");
    const json out = json::parse(ReadText(result));
    EXPECT_EQ(out["filetype"], "tolvane");
    EXPECT_EQ(out["attached"], true);
    ASSERT_EQ(out["diagnosed"], true);
    ASSERT_EQ(out["diagnostics"].size(), 2u) << out.dump();
    EXPECT_EQ(out["diagnostics"][0]["lnum"], 2);
    EXPECT_EQ(out["diagnostics"][0]["col"], 11);
    EXPECT_EQ(out["diagnostics"][0]["message"], "argument 1 of LOADSPRITE (file) must be a string, not a number");
    EXPECT_EQ(out["diagnostics"][1]["lnum"], 3);
    const std::string second = out["diagnostics"][1]["message"];
    EXPECT_NE(second.find("'lo'"), std::string::npos) << second;
    std::set<std::string> labels(out["completion"].begin(), out["completion"].end());
    for (const char* want : {"LOADSPRITE", "LOADSOUND", "LOCAL", "lives"}) EXPECT_TRUE(labels.count(want)) << want;
    EXPECT_FALSE(labels.count("Tick"));  // does not start with "lo"
    EXPECT_NE(out["hover"].get<std::string>().find("LOADSPRITE(file$, sprite)"), std::string::npos) << out["hover"];
    EXPECT_EQ(out["syntax"], json({"tolvaneComment", "tolvaneString", "tolvaneCommand", "tolvaneNumber",
                                   "tolvaneStatement", "tolvaneSubName", ""}));
}

}  // namespace
