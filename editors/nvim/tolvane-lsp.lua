-- Tolvane BASIC in Neovim (0.7 and later): starts `tolvanec lsp` for every buffer of
-- file type tolvane, one server per folder. In init.lua:
--
--   dofile('/usr/share/tolvane/editors/nvim/tolvane-lsp.lua')
--
-- vim.g.tolvane_lsp_cmd names another command (a list), e.g. { '/opt/tolvane/bin/tolvanec', 'lsp' }.
local clients = {}

local function start(buf)
  vim.bo[buf].omnifunc = 'v:lua.vim.lsp.omnifunc'  -- CTRL-X CTRL-O completes from the server
  local cmd = vim.g.tolvane_lsp_cmd or { 'tolvanec', 'lsp' }
  local root = vim.fn.fnamemodify(vim.api.nvim_buf_get_name(buf), ':p:h')
  if vim.lsp.start then
    vim.lsp.start({ name = 'tolvane', cmd = cmd, root_dir = root }, { bufnr = buf })
    return
  end
  local id = clients[root]
  if not id or not vim.lsp.get_client_by_id(id) then
    id = vim.lsp.start_client({ name = 'tolvane', cmd = cmd, root_dir = root })
    clients[root] = id
  end
  if id then
    vim.lsp.buf_attach_client(buf, id)
  end
end

vim.api.nvim_create_autocmd('FileType', {
  pattern = 'tolvane',
  callback = function(args) start(args.buf) end,
})
