" Tolvane BASIC: comments start with an apostrophe; names may end in '$'.
if exists("b:did_ftplugin")
  finish
endif
let b:did_ftplugin = 1

setlocal commentstring='\ %s
setlocal comments=:'
setlocal iskeyword+=$
let b:undo_ftplugin = "setlocal commentstring< comments< iskeyword<"
